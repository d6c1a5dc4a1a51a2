#pragma once

#include <windows.h>
#include <ncrypt.h>

#include <utility>

// Movable owner of one NCrypt provider or key handle (NCryptFreeObject on release).
class NCryptObject {
 public:
  NCryptObject() = default;
  ~NCryptObject() { Reset(); }
  NCryptObject(NCryptObject&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  NCryptObject& operator=(NCryptObject&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  NCryptObject(const NCryptObject&) = delete;
  NCryptObject& operator=(const NCryptObject&) = delete;

  NCRYPT_HANDLE get() const { return handle_; }
  NCRYPT_PROV_HANDLE provider() const { return static_cast<NCRYPT_PROV_HANDLE>(handle_); }
  NCRYPT_KEY_HANDLE key() const { return static_cast<NCRYPT_KEY_HANDLE>(handle_); }
  NCRYPT_PROV_HANDLE* put_provider() {
    Reset();
    return reinterpret_cast<NCRYPT_PROV_HANDLE*>(&handle_);
  }
  NCRYPT_KEY_HANDLE* put_key() {
    Reset();
    return reinterpret_cast<NCRYPT_KEY_HANDLE*>(&handle_);
  }
  void Reset() {
    if (handle_ != 0) NCryptFreeObject(std::exchange(handle_, 0));
  }

 private:
  NCRYPT_HANDLE handle_ = 0;
};
