#include "service_log_location.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "scoped_srw_exclusive_lock.h"
#include "unique_handle.h"
#include "provider_name.h"

namespace {

constexpr const char* kRootFolder = kMurakoProviderNameUtf8;

// Protected access lists: nothing is inherited from ProgramData, where users may create files.
// Files created inside inherit these entries.
constexpr char kSystemAndAdministrators[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr char kLocalServiceFolder[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;LS)";
constexpr char kNetworkServiceFolder[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;NS)";

constexpr LONG kUnknown = -1;
LONG g_process_account = kUnknown;
LONG g_test_account = kUnknown;

SRWLOCK g_folders_lock = SRWLOCK_INIT;
std::string g_prepared[4];

const char* AccountFolderName(LogAccount account) {
  switch (account) {
    case LogAccount::LocalSystem: return "LocalSystem";
    case LogAccount::LocalService: return "LocalService";
    case LogAccount::NetworkService: return "NetworkService";
    case LogAccount::User: break;
  }
  return nullptr;
}

// The TOKEN_USER of the process token; empty when it cannot be read.
std::vector<BYTE> ProcessTokenUser() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::vector<BYTE> user(size);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return {};
  return user;
}

PSID SidOf(std::vector<BYTE>& token_user) {
  return token_user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(token_user.data())->User.Sid;
}

LogAccount AccountOf(PSID sid) {
  if (sid == nullptr) return LogAccount::User;
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return LogAccount::LocalSystem;
  if (IsWellKnownSid(sid, WinLocalServiceSid)) return LogAccount::LocalService;
  if (IsWellKnownSid(sid, WinNetworkServiceSid)) return LogAccount::NetworkService;
  return LogAccount::User;
}

bool OwnerIsTrusted(HANDLE folder) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueLocalMemory descriptor_block(descriptor);  // `owner` points into it
  std::vector<BYTE> user = ProcessTokenUser();
  PSID self = SidOf(user);
  const bool trusted = owner != nullptr && (IsWellKnownSid(owner, WinLocalSystemSid) ||
                                            IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                            (self != nullptr && EqualSid(owner, self)));
  return trusted;
}

// A real folder (not a link to one) whose owner is SYSTEM, the administrators or this
// process's account: nobody else can have changed its access list.
bool FolderUsable(const std::string& path) {
  UniqueFile folder(CreateFileA(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
  if (!folder) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(folder.get(), &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  return OwnerIsTrusted(folder.get());
}

void CreateProtectedFolder(const std::string& path, const char* access_list) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(access_list, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return;
  }
  const UniqueLocalMemory descriptor_block(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  CreateDirectoryA(path.c_str(), &attributes);
}

std::string ProgramDataFolder() {
  char folder[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("ProgramData", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(folder, length);
}

}  // namespace

LogAccount ProcessLogAccount() {
  LONG known = InterlockedCompareExchange(&g_process_account, kUnknown, kUnknown);
  if (known != kUnknown) return static_cast<LogAccount>(known);
  std::vector<BYTE> user = ProcessTokenUser();
  const LogAccount account = AccountOf(SidOf(user));
  InterlockedExchange(&g_process_account, static_cast<LONG>(account));
  return account;
}

LogAccount CurrentLogAccount() {
  LONG forced = InterlockedCompareExchange(&g_test_account, kUnknown, kUnknown);
  return forced != kUnknown ? static_cast<LogAccount>(forced) : ProcessLogAccount();
}

void SetLogAccountForTesting(const LogAccount* account) {
  ScopedSrwExclusiveLock hold(g_folders_lock);
  for (std::string& folder : g_prepared) folder.clear();
  InterlockedExchange(&g_test_account, account != nullptr ? static_cast<LONG>(*account) : kUnknown);
}

std::string ServiceLogFolder(const std::string& program_data, LogAccount account) {
  const char* name = AccountFolderName(account);
  if (name == nullptr || program_data.empty()) return std::string();
  return program_data + "\\" + kRootFolder + "\\" + name + "\\";
}

std::string PreparedServiceLogFolder(LogAccount account) {
  if (AccountFolderName(account) == nullptr) return std::string();
  ScopedSrwExclusiveLock hold(g_folders_lock);
  std::string& prepared = g_prepared[static_cast<int>(account)];
  if (!prepared.empty()) return prepared;

  const std::string program_data = ProgramDataFolder();
  if (program_data.empty()) return std::string();
  const std::string root = program_data + "\\" + kRootFolder + "\\";
  // Only SYSTEM lays out the tree: a folder a service account created could be taken over by
  // that account, and one a user created is refused below.
  if (account == LogAccount::LocalSystem) {
    CreateProtectedFolder(root, kSystemAndAdministrators);
    CreateProtectedFolder(ServiceLogFolder(program_data, LogAccount::LocalSystem),
                          kSystemAndAdministrators);
    CreateProtectedFolder(ServiceLogFolder(program_data, LogAccount::LocalService),
                          kLocalServiceFolder);
    CreateProtectedFolder(ServiceLogFolder(program_data, LogAccount::NetworkService),
                          kNetworkServiceFolder);
  }
  const std::string folder = ServiceLogFolder(program_data, account);
  if (!FolderUsable(root) || !FolderUsable(folder)) return std::string();
  prepared = folder;
  return prepared;
}

UniqueFile OpenLogFileNoLink(const std::string& path, DWORD access, DWORD disposition) {
  UniqueFile file(CreateFileA(path.c_str(), access | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
  if (!file) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks > 1) {
    return UniqueFile();
  }
  return file;
}
