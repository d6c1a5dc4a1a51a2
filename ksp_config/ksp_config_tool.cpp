#include "ksp_config_tool.h"

#include <windows.h>
#include <ncrypt.h>

#include <cwchar>

#include "bcrypt_functions.h"
#include "console_output.h"
#include "provider_registration.h"
#include "unique_handle.h"
#include "x86_provider_image.h"

namespace {

const ConsoleOutput out;

bool Succeeded(NTSTATUS status) { return status >= 0; }

void PrintUsage() {
  out.Banner(L"  MURAKO KSP CONFIG TOOL v1.0\n");
  out.Print(L"  Uso:\n"
            L"    MurakoKspConfig.exe -register     Registrar KSP (admin)\n"
            L"    MurakoKspConfig.exe -unregister   Desregistrar KSP (admin)\n"
            L"    MurakoKspConfig.exe -check        Verificar estado\n"
            L"    MurakoKspConfig.exe -enum         Listar KSPs del sistema\n"
            L"\n"
            L"  Requisitos:\n"
            L"    - Windows 10/11 64-bit\n"
            L"    - Permisos de administrador (para -register/-unregister)\n"
            L"    - murako_ksp.dll en C:\\Windows\\System32\\\n"
            L"\n");
}

void PrintProviderName() {
  NCryptObject provider;
  if (NCryptOpenStorageProvider(provider.put(), kMurakoProviderName, 0) != ERROR_SUCCESS) return;
  BYTE buffer[512] = {};
  DWORD size = 0;
  if (NCryptGetProperty(provider.get(), NCRYPT_NAME_PROPERTY, buffer,
                        sizeof(buffer) - sizeof(wchar_t), &size, 0) == ERROR_SUCCESS) {
    wchar_t line[300];
    swprintf(line, 300, L"       Nombre: %ls\n", reinterpret_cast<const wchar_t*>(buffer));
    out.Print(line);
  }
}

// "Ruta" and "Tamano" (in KB, rounded down) of a file that exists.
void PrintFileFacts(const std::wstring& path, const WIN32_FILE_ATTRIBUTE_DATA& attributes) {
  unsigned long long size =
      (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
  wchar_t line[MAX_PATH + 64];
  swprintf(line, MAX_PATH + 64, L"       Ruta: %ls\n", path.c_str());
  out.Print(line);
  swprintf(line, MAX_PATH + 64, L"       Tamano: %llu KB\n", size / 1024);
  out.Print(line);
}

// On a 64-bit system, 32-bit programs load the provider from the 32-bit system folder.
void CheckX86Copy() {
  const std::wstring dll = X86ProviderDllPath();
  if (dll.empty()) return;
  switch (InspectX86ProviderFile(dll)) {
    case X86ProviderImage::Missing:
      out.Error(L"DLL de 32 bits NO existe en SysWOW64");
      return;
    case X86ProviderImage::NotX86Library:
      out.Error(L"La DLL de SysWOW64 no es una DLL de 32 bits");
      return;
    case X86ProviderImage::NoEntryPoint:
      out.Error(L"La DLL de SysWOW64 no exporta GetKeyStorageInterface");
      return;
    case X86ProviderImage::Usable:
      break;
  }
  out.Ok(L"DLL de 32 bits existe en SysWOW64");
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (GetFileAttributesExW(dll.c_str(), GetFileExInfoStandard, &attributes)) {
    PrintFileFacts(dll, attributes);
  }
}

int Check() {
  out.Banner(L"  VERIFICAR MURAKO KSP\n");
  std::wstring dll = ProviderDllPath();
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(dll.c_str(), GetFileExInfoStandard, &attributes)) {
    out.Error(L"DLL NO existe en System32");
  } else {
    out.Ok(L"DLL existe en System32");
    PrintFileFacts(dll, attributes);
  }
  CheckX86Copy();
  if (!ProviderOpens()) {
    out.Error(L"KSP NO esta registrado o no funciona");
    return 0;
  }
  out.Ok(L"KSP registrado y funcional");
  PrintProviderName();
  return 0;
}

int Enumerate() {
  out.Banner(L"  KSPs REGISTRADOS EN EL SISTEMA\n");
  BCryptFunctions functions;
  if (!LoadBCryptFunctions(functions, out)) return 1;
  ULONG size = 0;
  PCRYPT_PROVIDERS providers = nullptr;
  NTSTATUS status = functions.EnumRegisteredProviders(&size, &providers);
  if (!Succeeded(status) || providers == nullptr) {
    out.Error(L"No se pudo enumerar proveedores", static_cast<unsigned long>(status));
    return 1;
  }
  wchar_t line[600];
  swprintf(line, 600, L"  Total: %lu proveedores\n\n", providers->cProviders);
  out.Print(line);
  for (ULONG i = 0; i < providers->cProviders; ++i) {
    const wchar_t* name = providers->rgpszProviders[i];
    bool ours = name != nullptr && wcscmp(name, kMurakoProviderName) == 0;
    swprintf(line, 600, ours ? L"  [%lu] %ls  <-- MURAKO\n" : L"  [%lu] %ls\n", i + 1,
             name != nullptr ? name : L"");
    out.Print(line, ours ? kColourOk : kColourNormal);
  }
  functions.FreeBuffer(providers);
  out.Print(L"\n");
  return 0;
}

}  // namespace

ToolCommand ParseToolCommand(const wchar_t* argument) {
  if (argument == nullptr) return ToolCommand::None;
  if (_wcsicmp(argument, L"-register") == 0) return ToolCommand::Register;
  if (_wcsicmp(argument, L"-unregister") == 0) return ToolCommand::Unregister;
  if (_wcsicmp(argument, L"-check") == 0) return ToolCommand::Check;
  if (_wcsicmp(argument, L"-enum") == 0) return ToolCommand::Enum;
  return ToolCommand::Unknown;
}

int RunKspConfigTool(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  switch (ParseToolCommand(argc > 1 ? argv[1] : nullptr)) {
    case ToolCommand::Register: return RegisterKspCommand(out);
    case ToolCommand::Unregister: return UnregisterKspCommand(out);
    case ToolCommand::Check: return Check();
    case ToolCommand::Enum: return Enumerate();
    case ToolCommand::Unknown: {
      std::wstring line = L"\nComando no reconocido: " + std::wstring(argv[1]) + L"\n";
      out.Print(line);
      PrintUsage();
      return 1;
    }
    case ToolCommand::None: break;
  }
  PrintUsage();
  return 1;
}
