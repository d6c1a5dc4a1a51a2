// MurakoKspConfig run as its own process against the CNG router stand-in, with a small fake
// provider installed as the provider image.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "isolated_process.h"
#include "test_environment.h"

namespace {

const wchar_t kProviders[] = L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers";
const wchar_t kStatusKey[] =
    L"SOFTWARE\\Microsoft\\Cryptography\\CNG\\KeyStorageProviders\\Murako KSP";
const wchar_t kKeyStorageContext[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local\\Default\\00010001";

// The provider's 32-bit copy, in SysWOW64 beside the system folder (which a prefix without
// 32-bit Wine lacks: the tests make it).
const char kX86ProviderName[] = "..\\syswow64\\murako_ksp.dll";

std::string Banner(const std::string& title) {
  std::string rule(40, '=');
  return "\n" + rule + "\n  " + title + "\n" + rule + "\n\n";
}

const std::string kUsage = Banner("MURAKO KSP CONFIG TOOL v1.0") +
                           "  Uso:\n"
                           "    MurakoKspConfig.exe -register     Registrar KSP (admin)\n"
                           "    MurakoKspConfig.exe -unregister   Desregistrar KSP (admin)\n"
                           "    MurakoKspConfig.exe -check        Verificar estado\n"
                           "    MurakoKspConfig.exe -enum         Listar KSPs del sistema\n"
                           "\n"
                           "  Requisitos:\n"
                           "    - Windows 10/11 64-bit\n"
                           "    - Permisos de administrador (para -register/-unregister)\n"
                           "    - murako_ksp.dll en C:\\Windows\\System32\\\n"
                           "\n";

const std::string kRegisterHead = Banner("REGISTRAR MURAKO KSP") +
                                  "  [OK] Permisos de administrador confirmados\n"
                                  "  [OK] DLL encontrada en System32\n";

const std::string kVerified = Banner("VERIFICACION") +
                              "  [OK] KSP registrado y funcional\n"
                              "  *** REGISTRO COMPLETADO EXITOSAMENTE ***\n";

void RemoveRegistration() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kProviders) + L"\\Murako KSP").c_str());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kProviders) + L"\\Murako KSP Extra").c_str());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKeyStorageContext);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kStatusKey);
}

// The key the application's status reads, with the provider's image path.
bool StatusKeyWritten() {
  return RegGetValueW(HKEY_LOCAL_MACHINE, kStatusKey, L"Image", RRF_RT_REG_SZ, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

class KspConfigToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveRegistration();
    CreateDirectoryA((SystemFolder() + "..\\syswow64").c_str(), nullptr);
  }
  void TearDown() override { RemoveRegistration(); }

  IsolatedRun Tool(const std::vector<std::string>& arguments) const {
    return tool_.Run(arguments);
  }

  IsolatedProgram tool_{"MurakoKspConfig.exe", {"ncrypt.dll", "bcrypt.dll"}};
};

class KspConfigWithProviderTest : public KspConfigToolTest {
 protected:
  SystemFilePlacement provider_{StandInFolder() + "fake_key_storage_provider.dll",
                                "murako_ksp.dll"};
};

TEST_F(KspConfigToolTest, WithoutCommandOrWithAnUnknownOneShowsTheUsage) {
  IsolatedRun none = Tool({});
  EXPECT_EQ(none.exit_code, 1u);
  EXPECT_EQ(none.output, kUsage);

  IsolatedRun unknown = Tool({"-install", "extra"});
  EXPECT_EQ(unknown.exit_code, 1u);
  EXPECT_EQ(unknown.output, "\nComando no reconocido: -install\n" + kUsage);
}

TEST_F(KspConfigWithProviderTest, RegistersOnceThenContinuesOverAnExistingRegistration) {
  ASSERT_TRUE(provider_.placed());
  IsolatedRun first = Tool({"-register"});
  EXPECT_EQ(first.exit_code, 0u);
  EXPECT_EQ(first.output, kRegisterHead +
                              "\n[1/3] Registrando proveedor...\n"
                              "  [OK] BCryptRegisterProvider exitoso\n"
                              "\n[2/3] Agregando funcion de contexto...\n"
                              "  [OK] BCryptAddContextFunction exitoso\n"
                              "\n[3/3] Asociando proveedor con funcion...\n"
                              "  [OK] BCryptAddContextFunctionProvider exitoso\n"
                              "  [OK] Clave de estado escrita en KeyStorageProviders\n" +
                              kVerified);
  EXPECT_TRUE(StatusKeyWritten());

  IsolatedRun again = Tool({"-REGISTER"});
  EXPECT_EQ(again.exit_code, 0u);
  EXPECT_EQ(again.output, kRegisterHead +
                              "\n[1/3] Registrando proveedor...\n"
                              "  [WARN] El proveedor ya estaba registrado (continuando...)\n"
                              "\n[2/3] Agregando funcion de contexto...\n"
                              "  [WARN] La funcion de contexto ya existia (continuando...)\n"
                              "\n[3/3] Asociando proveedor con funcion...\n"
                              "  [WARN] El proveedor ya estaba asociado (continuando...)\n"
                              "  [OK] Clave de estado escrita en KeyStorageProviders\n" +
                              kVerified);
}

TEST_F(KspConfigWithProviderTest, EnumMarksOnlyTheExactNameAndCheckReportsTheDll) {
  ASSERT_EQ(Tool({"-register"}).exit_code, 0u);
  HKEY extra = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            (std::wstring(kProviders) + L"\\Murako KSP Extra\\UM").c_str(), 0,
                            nullptr, 0, KEY_WRITE, nullptr, &extra, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(extra);

  IsolatedRun listed = Tool({"-enum"});
  EXPECT_EQ(listed.exit_code, 0u);
  EXPECT_EQ(listed.output, Banner("KSPs REGISTRADOS EN EL SISTEMA") +
                               "  Total: 2 proveedores\n\n"
                               "  [1] Murako KSP  <-- MURAKO\n"
                               "  [2] Murako KSP Extra\n"
                               "\n");

  // The 32-bit copy is checked from the file: a 64-bit library there is no copy 32-bit
  // programs can load.
  std::string dll = SystemFolder() + "murako_ksp.dll";
  SystemFilePlacement x86_copy(dll, kX86ProviderName);
  ASSERT_TRUE(x86_copy.placed());
  unsigned long long kilobytes = ReadFileBytes(dll).size() / 1024;
  IsolatedRun checked = Tool({"-check"});
  EXPECT_EQ(checked.exit_code, 0u);
  EXPECT_EQ(checked.output, Banner("VERIFICAR MURAKO KSP") +
                                "  [OK] DLL existe en System32\n"
                                "       Ruta: " + dll + "\n"
                                "       Tamano: " + std::to_string(kilobytes) + " KB\n"
                                "  [ERROR] La DLL de SysWOW64 no es una DLL de 32 bits\n"
                                "  [OK] KSP registrado y funcional\n"
                                "       Nombre: Murako KSP\n");
}

TEST_F(KspConfigWithProviderTest, UnregisterRemovesTheProviderAndASecondRunReportsIt) {
  ASSERT_EQ(Tool({"-register"}).exit_code, 0u);
  const std::string head = Banner("DESREGISTRAR MURAKO KSP") +
                           "  [OK] Permisos de administrador confirmados\n"
                           "\n[1/3] Removiendo asociacion proveedor-funcion...\n";
  const std::string middle = "\n[2/3] Verificando funcion de contexto...\n"
                             "  [INFO] Funcion KEY_STORAGE compartida, no se elimina\n"
                             "\n[3/3] Desregistrando proveedor...\n";
  IsolatedRun removed = Tool({"-unregister"});
  EXPECT_EQ(removed.exit_code, 0u);
  EXPECT_EQ(removed.output, head + "  [OK] BCryptRemoveContextFunctionProvider exitoso\n" + middle +
                                "  [OK] BCryptUnregisterProvider exitoso\n"
                                "  [OK] Clave de estado eliminada de KeyStorageProviders\n"
                                "  *** KSP DESREGISTRADO EXITOSAMENTE ***\n");
  EXPECT_FALSE(StatusKeyWritten());

  // A status key left behind (by the application's own unregistration, for example) goes
  // although CNG no longer knows the provider.
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kStatusKey, L"Image", REG_SZ, L"x", 4),
            ERROR_SUCCESS);
  IsolatedRun again = Tool({"-unregister"});
  EXPECT_EQ(again.exit_code, 1u);
  EXPECT_EQ(again.output, head + "  [WARN] No se pudo remover (puede que no existiera)\n" + middle +
                              "  [ERROR] BCryptUnregisterProvider fallo (0xC0000225)\n"
                              "  [OK] Clave de estado eliminada de KeyStorageProviders\n");
  EXPECT_FALSE(StatusKeyWritten());

  IsolatedRun checked = Tool({"-check"});
  EXPECT_EQ(checked.exit_code, 0u);
  EXPECT_NE(checked.output.find("  [ERROR] KSP NO esta registrado o no funciona\n"),
            std::string::npos);
}

TEST_F(KspConfigToolTest, RegisterStopsWhenTheProviderDllIsMissing) {
  SystemFilePlacement absent("", "murako_ksp.dll");
  SystemFilePlacement x86_absent("", kX86ProviderName);
  IsolatedRun result = Tool({"-register"});
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_EQ(result.output, Banner("REGISTRAR MURAKO KSP") +
                               "  [OK] Permisos de administrador confirmados\n"
                               "  [ERROR] DLL no encontrada en System32 (0x00000002)\n"
                               "\n  Copia primero: murako_ksp.dll -> C:\\Windows\\System32\\\n\n");

  IsolatedRun checked = Tool({"-check"});
  EXPECT_EQ(checked.exit_code, 0u) << "-check only reports";
  EXPECT_EQ(checked.output, Banner("VERIFICAR MURAKO KSP") +
                                "  [ERROR] DLL NO existe en System32\n"
                                "  [ERROR] DLL de 32 bits NO existe en SysWOW64\n"
                                "  [ERROR] KSP NO esta registrado o no funciona\n");
}

TEST_F(KspConfigToolTest, RegisteredImageThatIsNoProviderFailsTheVerification) {
  // A DLL without GetKeyStorageInterface under the provider's image name.
  SystemFilePlacement notAProvider(StandInFolder() + "bcrypt.dll", "murako_ksp.dll");
  IsolatedRun result = Tool({"-register"});
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_NE(result.output.find(Banner("VERIFICACION") +
                               "  [ERROR] KSP registrado pero no responde\n"
                               "  [WARN] Puede requerir reinicio del sistema\n"),
            std::string::npos)
      << result.output;
}

// Wine always runs as an administrator; a token whose Administrators group is for denying only
// is what a user without elevation has.
TEST_F(KspConfigToolTest, RegisterWithoutAdministratorRightsShowsTheElevationHint) {
  HANDLE processToken = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &processToken));
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                       &administrators));
  SID_AND_ATTRIBUTES denied{administrators, 0};
  HANDLE restricted = nullptr;
  ASSERT_TRUE(CreateRestrictedToken(processToken, 0, 1, &denied, 0, nullptr, 0, nullptr,
                                    &restricted));
  for (const char* command : {"-register", "-unregister"}) {
    IsolatedRun result = tool_.Run({command}, restricted);
    EXPECT_EQ(result.exit_code, 1u) << command;
    EXPECT_NE(result.output.find("  [ERROR] Se requieren permisos de administrador\n"
                                 "\n  Ejecuta: Click derecho -> 'Ejecutar como administrador'\n\n"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("[OK]"), std::string::npos);
  }
  CloseHandle(restricted);
  FreeSid(administrators);
  CloseHandle(processToken);
}

}  // namespace
