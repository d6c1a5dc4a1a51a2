#include "ksp_config_tool.h"

#include <windows.h>
#include <ncrypt.h>

#include <cwchar>

#include "administrator_check.h"
#include "bcrypt_functions.h"
#include "console_output.h"

namespace {

const wchar_t kProviderName[] = L"Murako KSP";
const wchar_t kProviderImage[] = L"murako_ksp.dll";
const wchar_t kKeyStorageFunction[] = L"KEY_STORAGE";
constexpr ULONG kKeyStorageInterface = 0x00010001;
constexpr NTSTATUS kAlreadyExists = static_cast<NTSTATUS>(0xC0000035);

const ConsoleOutput out;

bool Succeeded(NTSTATUS status) { return status >= 0; }

std::wstring ProviderDllPath() {
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system, length) + L"\\" + kProviderImage;
}

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

bool ConfirmAdministrator() {
  if (!IsRunningAsAdministrator()) {
    out.Error(L"Se requieren permisos de administrador");
    out.Print(L"\n  Ejecuta: Click derecho -> 'Ejecutar como administrador'\n\n");
    return false;
  }
  out.Ok(L"Permisos de administrador confirmados");
  return true;
}

bool LoadFunctions(BCryptFunctions& functions) {
  DWORD error = 0;
  switch (functions.Load(error)) {
    case BCryptFunctions::LoadResult::Loaded: return true;
    case BCryptFunctions::LoadResult::LibraryMissing:
      out.Error(L"No se pudo cargar bcrypt.dll", error);
      return false;
    case BCryptFunctions::LoadResult::FunctionsMissing:
      out.Error(L"Funciones BCrypt no disponibles en esta version de Windows");
      return false;
  }
  return false;
}

// Reports one "already exists"-tolerant step; false when the step failed outright.
bool ReportStep(NTSTATUS status, const wchar_t* success, const wchar_t* already,
                const wchar_t* failure) {
  if (Succeeded(status)) {
    out.Ok(success);
    return true;
  }
  if (status == kAlreadyExists) {
    out.Warning(already);
    return true;
  }
  out.Error(failure, static_cast<unsigned long>(status));
  return false;
}

bool ProviderOpens() {
  NCRYPT_PROV_HANDLE provider = 0;
  if (NCryptOpenStorageProvider(&provider, kProviderName, 0) != ERROR_SUCCESS) return false;
  NCryptFreeObject(provider);
  return true;
}

int Register() {
  out.Banner(L"  REGISTRAR MURAKO KSP\n");
  if (!ConfirmAdministrator()) return 1;
  BCryptFunctions functions;
  if (!LoadFunctions(functions)) return 1;

  std::wstring dll = ProviderDllPath();
  if (GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES) {
    out.Error(L"DLL no encontrada en System32", GetLastError());
    out.Print(L"\n  Copia primero: murako_ksp.dll -> C:\\Windows\\System32\\\n\n");
    return 1;
  }
  out.Ok(L"DLL encontrada en System32");

  wchar_t function[] = L"KEY_STORAGE";
  PWSTR functionList[] = {function};
  CRYPT_INTERFACE_REG keyStorage{kKeyStorageInterface, CRYPT_LOCAL, 1, functionList};
  PCRYPT_INTERFACE_REG interfaces[] = {&keyStorage};
  wchar_t image[] = L"murako_ksp.dll";
  CRYPT_IMAGE_REG userMode{image, 1, interfaces};
  CRYPT_PROVIDER_REG registration{0, nullptr, &userMode, nullptr};

  out.Print(L"\n[1/3] Registrando proveedor...\n");
  if (!ReportStep(functions.RegisterProvider(kProviderName, 0, &registration),
                  L"BCryptRegisterProvider exitoso",
                  L"El proveedor ya estaba registrado (continuando...)",
                  L"BCryptRegisterProvider fallo")) {
    return 1;
  }

  out.Print(L"\n[2/3] Agregando funcion de contexto...\n");
  // A failure here does not stop the registration: the final verification decides.
  ReportStep(functions.AddContextFunction(CRYPT_LOCAL, nullptr, kKeyStorageInterface,
                                          kKeyStorageFunction, CRYPT_PRIORITY_BOTTOM),
             L"BCryptAddContextFunction exitoso",
             L"La funcion de contexto ya existia (continuando...)",
             L"BCryptAddContextFunction fallo");

  out.Print(L"\n[3/3] Asociando proveedor con funcion...\n");
  if (!ReportStep(functions.AddContextFunctionProvider(CRYPT_LOCAL, nullptr, kKeyStorageInterface,
                                                       kKeyStorageFunction, kProviderName,
                                                       CRYPT_PRIORITY_BOTTOM),
                  L"BCryptAddContextFunctionProvider exitoso",
                  L"El proveedor ya estaba asociado (continuando...)",
                  L"BCryptAddContextFunctionProvider fallo")) {
    return 1;
  }

  out.Banner(L"  VERIFICACION\n");
  if (!ProviderOpens()) {
    out.Error(L"KSP registrado pero no responde");
    out.Warning(L"Puede requerir reinicio del sistema");
    return 1;
  }
  out.Ok(L"KSP registrado y funcional");
  out.Print(L"  *** REGISTRO COMPLETADO EXITOSAMENTE ***\n", kColourOk);
  return 0;
}

int Unregister() {
  out.Banner(L"  DESREGISTRAR MURAKO KSP\n");
  if (!ConfirmAdministrator()) return 1;
  BCryptFunctions functions;
  if (!LoadFunctions(functions)) return 1;

  out.Print(L"\n[1/3] Removiendo asociacion proveedor-funcion...\n");
  if (functions.RemoveContextFunctionProvider != nullptr) {
    NTSTATUS status = functions.RemoveContextFunctionProvider(
        CRYPT_LOCAL, nullptr, kKeyStorageInterface, kKeyStorageFunction, kProviderName);
    if (Succeeded(status)) {
      out.Ok(L"BCryptRemoveContextFunctionProvider exitoso");
    } else {
      out.Warning(L"No se pudo remover (puede que no existiera)");
    }
  }

  out.Print(L"\n[2/3] Verificando funcion de contexto...\n");
  // Other providers use the KEY_STORAGE function too, so it stays.
  out.Info(L"Funcion KEY_STORAGE compartida, no se elimina");

  out.Print(L"\n[3/3] Desregistrando proveedor...\n");
  NTSTATUS status = functions.UnregisterProvider(kProviderName);
  if (!Succeeded(status)) {
    out.Error(L"BCryptUnregisterProvider fallo", static_cast<unsigned long>(status));
    return 1;
  }
  out.Ok(L"BCryptUnregisterProvider exitoso");
  out.Print(L"  *** KSP DESREGISTRADO EXITOSAMENTE ***\n", kColourOk);
  return 0;
}

void PrintProviderName() {
  NCRYPT_PROV_HANDLE provider = 0;
  if (NCryptOpenStorageProvider(&provider, kProviderName, 0) != ERROR_SUCCESS) return;
  BYTE buffer[512] = {};
  DWORD size = 0;
  if (NCryptGetProperty(provider, NCRYPT_NAME_PROPERTY, buffer, sizeof(buffer) - sizeof(wchar_t),
                        &size, 0) == ERROR_SUCCESS) {
    wchar_t line[300];
    swprintf(line, 300, L"       Nombre: %ls\n", reinterpret_cast<const wchar_t*>(buffer));
    out.Print(line);
  }
  NCryptFreeObject(provider);
}

int Check() {
  out.Banner(L"  VERIFICAR MURAKO KSP\n");
  std::wstring dll = ProviderDllPath();
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(dll.c_str(), GetFileExInfoStandard, &attributes)) {
    out.Error(L"DLL NO existe en System32");
  } else {
    out.Ok(L"DLL existe en System32");
    unsigned long long size =
        (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    wchar_t line[MAX_PATH + 64];
    swprintf(line, MAX_PATH + 64, L"       Ruta: %ls\n", dll.c_str());
    out.Print(line);
    swprintf(line, MAX_PATH + 64, L"       Tamano: %llu KB\n", size / 1024);
    out.Print(line);
  }
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
  if (!LoadFunctions(functions)) return 1;
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
    bool ours = name != nullptr && wcscmp(name, kProviderName) == 0;
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
    case ToolCommand::Register: return Register();
    case ToolCommand::Unregister: return Unregister();
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
