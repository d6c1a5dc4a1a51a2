#include "credential_manager.h"

#include <wincred.h>

#include <memory>

#include "string_conversion.h"

namespace credential_manager {
namespace {

struct CredFreeDeleter {
  void operator()(CREDENTIALW* record) const { CredFree(record); }
};
using CredentialRecord = std::unique_ptr<CREDENTIALW, CredFreeDeleter>;

}  // namespace

DWORD Write(const std::string& target_name, const CredentialBytes& blob) {
  std::wstring target = Utf8ToWide(target_name);
  std::wstring user = Utf8ToWide(kUserName);
  std::wstring comment = Utf8ToWide(kComment);

  CREDENTIALW record{};
  record.Type = CRED_TYPE_GENERIC;
  record.TargetName = &target[0];
  record.Persist = CRED_PERSIST_LOCAL_MACHINE;
  record.Flags = 0;
  record.UserName = &user[0];
  record.Comment = &comment[0];
  record.CredentialBlobSize = static_cast<DWORD>(blob.size());
  record.CredentialBlob = const_cast<LPBYTE>(blob.data());
  return CredWriteW(&record, 0) ? ERROR_SUCCESS : GetLastError();
}

DWORD Read(const std::string& target_name, CredentialBytes& blob) {
  std::wstring target = Utf8ToWide(target_name);
  CREDENTIALW* raw = nullptr;
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &raw)) return GetLastError();
  CredentialRecord record(raw);
  const uint8_t* begin = record->CredentialBlob;
  blob.assign(begin, begin + record->CredentialBlobSize);
  return ERROR_SUCCESS;
}

DWORD Delete(const std::string& target_name) {
  std::wstring target = Utf8ToWide(target_name);
  return CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace credential_manager
