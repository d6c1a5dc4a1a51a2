#include "credential_manager.h"

#include <wincred.h>

#include "string_conversion.h"
#include "unique_handle.h"

namespace credential_manager {

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
  UniqueCredential record;
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, record.put())) return GetLastError();
  const uint8_t* begin = record.get()->CredentialBlob;
  blob.assign(begin, begin + record.get()->CredentialBlobSize);
  return ERROR_SUCCESS;
}

DWORD Delete(const std::string& target_name) {
  std::wstring target = Utf8ToWide(target_name);
  return CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace credential_manager
