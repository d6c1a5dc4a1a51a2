#include "diagnostics.h"

#include <string>
#include <vector>

#include "channel_arguments.h"
#include "diagnostics_text.h"
#include "ksp_registration.h"
#include "ksp_self_test.h"
#include "logger.h"
#include "string_conversion.h"
#include "unique_handle.h"
#include "provider_name.h"

using flutter::EncodableValue;

namespace diagnostics {
namespace {

constexpr wchar_t kDefaultsKey[] =
    L"SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\" MURAKO_PROVIDER_NAME;
constexpr size_t kMaxLogBytes = 64 * 1024 * 1024;

ChannelAnswer Registration(bool (*run)(), const char* start, const char* failure_log,
                           const char* failure_message, const char* success_log,
                           const char* failure_code = "REGISTER_FAILED") {
  LogInfo(start);
  if (!run()) {
    LogError(failure_log);
    return ChannelAnswer::Failure(failure_code, failure_message);
  }
  LogInfo(success_log);
  return ChannelAnswer::Success(Flag(true));
}

EncodableValue Bit(bool value) { return EncodableValue(value ? 1 : 0); }

struct FileFacts {
  std::string timestamp;
  int32_t size = 0;
};

std::optional<FileFacts> ReadFileFacts(const wchar_t* path) {
  UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  FileFacts facts;
  FILETIME written{};
  FILETIME local{};
  SYSTEMTIME time{};
  if (GetFileTime(file.get(), nullptr, nullptr, &written) &&
      FileTimeToLocalFileTime(&written, &local) && FileTimeToSystemTime(&local, &time)) {
    facts.timestamp = FileTimestampText(time.wYear, time.wMonth, time.wDay, time.wHour,
                                        time.wMinute, time.wSecond);
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR)
    facts.size = static_cast<int32_t>(low);
  return facts;
}

struct CandidateFile {
  const char* prefix;
  const wchar_t* path;
  const char* display;
};

const CandidateFile kCandidateFiles[] = {
    {"sign_bridge_source",
     L"D:\\flutter\\sendaro-flutter\\windows\\internal_libs\\murako_sign_"
     L"bridge\\x64\\Release\\murako_sign_bridge.dll",
     "windows/internal_libs/murako_sign_bridge/x64/Release/murako_sign_bridge.dll"},
    {"sign_bridge_bin",
     L"D:\\flutter\\sendaro-flutter\\build\\windows\\x64\\bin\\Release\\murako_sign_bridge.dll",
     "build/windows/x64/bin/Release/murako_sign_bridge.dll"},
    {"sign_bridge_runner",
     L"D:\\flutter\\sendaro-flutter\\build\\windows\\x64\\runner\\Release\\murako_sign_bridge.dll",
     "build/windows/x64/runner/Release/murako_sign_bridge.dll"},
    {"sign_bridge_system32", L"C:\\Windows\\System32\\murako_sign_bridge.dll",
     "C:/Windows/System32/murako_sign_bridge.dll"},
    {"ksp_system32", L"C:\\Windows\\System32\\murako_ksp.dll",
     "C:/Windows/System32/murako_ksp.dll"},
    {"ksp_source",
     L"D:\\flutter\\sendaro-flutter\\windows\\internal_libs\\murako_ksp\\x64\\Release\\murako_ksp."
     L"dll",
     "windows/internal_libs/murako_ksp/x64/Release/murako_ksp.dll"},
};

struct RegistryFinding {
  bool found = false;
  std::string image_path;
};

RegistryFinding FindDefaultsEntry(HKEY root) {
  RegistryFinding finding;
  UniqueRegistryKey key;
  if (RegOpenKeyExW(root, kDefaultsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return finding;
  finding.found = true;
  wchar_t value[261] = {};
  DWORD size = 260 * sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key.get(), L"Image Path", nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    value[size / sizeof(wchar_t) < 260 ? size / sizeof(wchar_t) : 260] = L'\0';
    finding.image_path = WideToUtf8(value).substr(0, 520);
  }
  return finding;
}

std::wstring ProviderLogPath() {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return std::wstring(folder) + L"murako_ksp_debug.log";
}

// The whole file, or empty when it cannot be opened, read or is empty (bounded in size).
std::string ReadSharedFile(const std::wstring& path) {
  if (path.empty()) return std::string();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return std::string();
  // Only the tail is answered, so a very large log is read from its last part.
  if (static_cast<unsigned long long>(size.QuadPart) > kMaxLogBytes) {
    LARGE_INTEGER offset{};
    offset.QuadPart = size.QuadPart - static_cast<LONGLONG>(kMaxLogBytes);
    if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) return std::string();
    size.QuadPart = kMaxLogBytes;
  }
  std::string text(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
    return std::string();
  }
  text.resize(read);
  return text;
}

}  // namespace

ChannelAnswer RegisterKsp(ApplicationHost&, const EncodableValue*) {
  return Registration(RegisterMurakoKspHKCU, "Registering Murako KSP in HKCU (user-level)...",
                      "Failed to register KSP in HKCU",
                      "Failed to register KSP in Windows registry (HKCU)",
                      "KSP registered successfully in HKCU");
}

ChannelAnswer RegisterKspHKLM(ApplicationHost&, const EncodableValue*) {
  return Registration(
      RegisterMurakoKspHKLM, "Registering Murako KSP in HKLM (system-wide, requires admin)...",
      "Failed to register KSP in HKLM", "Failed to register KSP in HKLM. Run app as Administrator.",
      "KSP registered successfully in HKLM");
}

ChannelAnswer RegisterKspHKCU(ApplicationHost&, const EncodableValue*) {
  return Registration(RegisterMurakoKspHKCU, "Registering KSP in HKEY_CURRENT_USER...",
                      "Failed to register KSP in HKCU", "Failed to register KSP in HKCU",
                      "KSP registered in HKCU successfully");
}

ChannelAnswer UnregisterKsp(ApplicationHost&, const EncodableValue*) {
  return Registration(UnregisterMurakoKsp, "Unregistering Murako KSP from Windows registry...",
                      "Failed to unregister KSP", "Failed to unregister KSP from Windows registry",
                      "KSP unregistered successfully", "UNREGISTER_FAILED");
}

ChannelAnswer CheckKspRegistration(ApplicationHost&, const EncodableValue*) {
  return ChannelAnswer::Success(MapOf({{"hkcu", Bit(IsKspRegisteredHKCU())},
                                       {"hklm", Bit(IsKspRegisteredHKLM())},
                                       {"isFullyRegistered", Bit(IsKspRegisteredHKLM())}}));
}

ChannelAnswer CheckKspStatus(ApplicationHost&, const EncodableValue*) {
  LogInfo("Checking KSP status (registration + functionality)...");
  if (!IsKspRegisteredHKLM()) {
    LogInfo("KSP not registered in HKLM");
    return ChannelAnswer::Success(MapOf(
        {{"registered", Flag(false)},
         {"status", Text("not_installed")},
         {"message",
          Text("El certificado digital no esta instalado. Por favor, reinstale la aplicacion.")},
         {"functional", Flag(false)}}));
  }
  EncodableValue answer =
      MapOf({{"registered", Flag(true)},
             {"status", Text("ready")},
             {"message", Text("El sistema esta listo para usar certificados digitales.")},
             {"functional", Flag(true)}});
  NCryptObject provider;
  const SECURITY_STATUS status = NCryptOpenStorageProvider(provider.put(), kMurakoProviderName, 0);
  if (status == ERROR_SUCCESS) {
    LogInfo("KSP is fully functional");
  } else {
    LogWarning("KSP registered but NCryptOpenStorageProvider failed: " + StatusHex(status) +
               " - this should not happen with BCrypt API registration");
    Put(answer, "ncrypt_warning", EncodableValue(static_cast<int32_t>(status)));
  }
  return ChannelAnswer::Success(std::move(answer));
}

ChannelAnswer TestKspDummy(ApplicationHost&, const EncodableValue*) {
  return ChannelAnswer::Success(RunKspSelfTest());
}

ChannelAnswer CheckDllVersions(ApplicationHost&, const EncodableValue*) {
  LogInfo("Checking DLL versions...");
  EncodableValue answer = EncodableValue(flutter::EncodableMap());
  for (const CandidateFile& candidate : kCandidateFiles) {
    const std::optional<FileFacts> facts = ReadFileFacts(candidate.path);
    if (!facts) continue;
    const std::string prefix = candidate.prefix;
    Put(answer, (prefix + "_path").c_str(), Text(candidate.display));
    Put(answer, (prefix + "_timestamp").c_str(), Text(facts->timestamp));
    Put(answer, (prefix + "_size").c_str(), EncodableValue(facts->size));
  }
  return ChannelAnswer::Success(std::move(answer));
}

ChannelAnswer VerifyCertutilKsp(ApplicationHost&, const EncodableValue*) {
  LogInfo("Verifying KSP registration in Windows Registry...");
  const RegistryFinding user = FindDefaultsEntry(HKEY_CURRENT_USER);
  const RegistryFinding machine = FindDefaultsEntry(HKEY_LOCAL_MACHINE);
  LogInfo(std::string("KSP registration: HKCU=") + (user.found ? "YES" : "NO") +
          ", HKLM=" + (machine.found ? "YES" : "NO"));
  return ChannelAnswer::Success(MapOf({{"foundHKCU", Flag(user.found)},
                                       {"foundHKLM", Flag(machine.found)},
                                       {"detailsHKCU", Text(user.image_path)},
                                       {"detailsHKLM", Text(machine.image_path)},
                                       {"found", Flag(user.found || machine.found)}}));
}

ChannelAnswer GetKspLogs(ApplicationHost&, const EncodableValue* arguments) {
  int lines = 50;
  if (const flutter::EncodableMap* map = ArgumentMap(arguments)) {
    if (const auto* count = std::get_if<int32_t>(Lookup(*map, "lines"))) lines = *count;
  }
  // The provider moves its full log to "<name>.1" and starts it again: read across the two.
  const std::wstring path = ProviderLogPath();
  std::string text = path.empty() ? std::string() : ReadSharedFile(path + L".1");
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += ReadSharedFile(path);
  return ChannelAnswer::Success(Text(LastLines(text, lines)));
}

}  // namespace diagnostics
