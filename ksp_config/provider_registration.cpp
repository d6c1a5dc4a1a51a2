#include "provider_registration.h"

#include <windows.h>
#include <ncrypt.h>

#include "administrator_check.h"
#include "cng_provider_key.h"
#include "registry_key.h"
#include "unique_handle.h"

namespace {

const wchar_t kKeyStorageFunction[] = L"KEY_STORAGE";
constexpr ULONG kKeyStorageInterface = 0x00010001;
constexpr NTSTATUS kAlreadyExists = static_cast<NTSTATUS>(0xC0000035);

bool Succeeded(NTSTATUS status) { return status >= 0; }

bool ConfirmAdministrator(const ToolOutput& out) {
  if (!IsRunningAsAdministrator()) {
    out.Error(L"Se requieren permisos de administrador");
    out.Print(L"\n  Ejecuta: Click derecho -> 'Ejecutar como administrador'\n\n");
    return false;
  }
  out.Ok(L"Permisos de administrador confirmados");
  return true;
}

}  // namespace

bool LoadBCryptFunctions(BCryptFunctions& functions, const ToolOutput& out) {
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

namespace {

// Reports one "already exists"-tolerant step; false when the step failed outright.
bool ReportStep(const ToolOutput& out, NTSTATUS status, const wchar_t* success,
                const wchar_t* already, const wchar_t* failure) {
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

// The application reads the provider's status from the machine's CNG provider key, which
// Windows does not read: it is written and removed together with the registration, in the 64-bit
// view, where the application looks.
bool WriteStatusKey(const ToolOutput& out) {
  RegistryKey key;
  LONG status = key.Create(HKEY_LOCAL_MACHINE, kCngProviderKeyPath, KEY_WOW64_64KEY);
  if (status == ERROR_SUCCESS) status = key.SetString(L"Image", kProviderImagePath);
  if (status != ERROR_SUCCESS) {
    out.Error(L"No se pudo escribir la clave de estado en KeyStorageProviders",
              static_cast<unsigned long>(status));
    return false;
  }
  out.Ok(L"Clave de estado escrita en KeyStorageProviders");
  return true;
}

void RemoveStatusKey(const ToolOutput& out) {
  const LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kCngProviderKeyPath, KEY_WOW64_64KEY, 0);
  if (status == ERROR_SUCCESS) {
    out.Ok(L"Clave de estado eliminada de KeyStorageProviders");
  } else if (status != ERROR_FILE_NOT_FOUND) {
    out.Warning(L"No se pudo eliminar la clave de estado de KeyStorageProviders");
  }
}

}  // namespace

bool ProviderOpens() {
  NCryptObject provider;
  return NCryptOpenStorageProvider(provider.put(), kMurakoProviderName, 0) == ERROR_SUCCESS;
}

int RegisterKspCommand(const ToolOutput& out) {
  out.Banner(L"  REGISTRAR MURAKO KSP\n");
  if (!ConfirmAdministrator(out)) return 1;
  BCryptFunctions functions;
  if (!LoadBCryptFunctions(functions, out)) return 1;

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
  wchar_t image[] = MURAKO_PROVIDER_IMAGE;
  CRYPT_IMAGE_REG userMode{image, 1, interfaces};
  CRYPT_PROVIDER_REG registration{0, nullptr, &userMode, nullptr};

  out.Print(L"\n[1/3] Registrando proveedor...\n");
  if (!ReportStep(out, functions.RegisterProvider(kMurakoProviderName, 0, &registration),
                  L"BCryptRegisterProvider exitoso",
                  L"El proveedor ya estaba registrado (continuando...)",
                  L"BCryptRegisterProvider fallo")) {
    return 1;
  }

  out.Print(L"\n[2/3] Agregando funcion de contexto...\n");
  // A failure here does not stop the registration: the final verification decides.
  ReportStep(out,
             functions.AddContextFunction(CRYPT_LOCAL, nullptr, kKeyStorageInterface,
                                          kKeyStorageFunction, CRYPT_PRIORITY_BOTTOM),
             L"BCryptAddContextFunction exitoso",
             L"La funcion de contexto ya existia (continuando...)",
             L"BCryptAddContextFunction fallo");

  out.Print(L"\n[3/3] Asociando proveedor con funcion...\n");
  if (!ReportStep(out,
                  functions.AddContextFunctionProvider(CRYPT_LOCAL, nullptr, kKeyStorageInterface,
                                                       kKeyStorageFunction, kMurakoProviderName,
                                                       CRYPT_PRIORITY_BOTTOM),
                  L"BCryptAddContextFunctionProvider exitoso",
                  L"El proveedor ya estaba asociado (continuando...)",
                  L"BCryptAddContextFunctionProvider fallo") ||
      !WriteStatusKey(out)) {
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

int UnregisterKspCommand(const ToolOutput& out) {
  out.Banner(L"  DESREGISTRAR MURAKO KSP\n");
  if (!ConfirmAdministrator(out)) return 1;
  BCryptFunctions functions;
  if (!LoadBCryptFunctions(functions, out)) return 1;

  out.Print(L"\n[1/3] Removiendo asociacion proveedor-funcion...\n");
  if (functions.RemoveContextFunctionProvider != nullptr) {
    NTSTATUS status = functions.RemoveContextFunctionProvider(
        CRYPT_LOCAL, nullptr, kKeyStorageInterface, kKeyStorageFunction, kMurakoProviderName);
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
  NTSTATUS status = functions.UnregisterProvider(kMurakoProviderName);
  // The status key goes whatever CNG answers: a provider it no longer knows (removed by the
  // application's own unregistration, for example) must not read as registered.
  if (!Succeeded(status)) {
    out.Error(L"BCryptUnregisterProvider fallo", static_cast<unsigned long>(status));
    RemoveStatusKey(out);
    return 1;
  }
  out.Ok(L"BCryptUnregisterProvider exitoso");
  RemoveStatusKey(out);
  out.Print(L"  *** KSP DESREGISTRADO EXITOSAMENTE ***\n", kColourOk);
  return 0;
}

std::wstring ProviderDllPath() {
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system, length) + L"\\" + kProviderImageName;
}
