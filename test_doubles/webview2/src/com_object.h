#pragma once

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <new>
#include <utility>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

// IUnknown for one interface chain: QueryInterface answers IUnknown and the IIDs the object
// names (its interface and each base), AddRef and Release count atomically, and the object
// deletes itself at zero. Objects start with one reference, owned by Make's result.
template <typename Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !Answers(iid)) return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  ULONG references() const { return references_; }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  virtual bool Answers(REFIID iid) const = 0;
  static bool AnyOf(REFIID iid, std::initializer_list<const IID*> iids) {
    for (const IID* candidate : iids) {
      if (IsEqualIID(iid, *candidate)) return true;
    }
    return false;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// mingw-w64's ComPtr::Attach adds a reference (the SDK's does not), so the object's first
// reference is handed over through the constructor and dropped, which is right for both.
template <typename T, typename... Args>
ComPtr<T> Make(Args&&... args) {
  T* created = new (std::nothrow) T(std::forward<Args>(args)...);
  if (created == nullptr) return nullptr;
  ComPtr<T> object(created);
  created->Release();
  return object;
}

// A string for an out-parameter, allocated with CoTaskMemAlloc as COM callers free it.
HRESULT CopyToCoTaskMem(const std::wstring& text, LPWSTR* out);
