#pragma once

// Drives murako_ksp.dll the way CNG does (LoadLibrary, GetKeyStorageInterface, table slots) and
// installs the test certificates into the current user's personal store.

#include <windows.h>
#include <wincrypt.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "key_storage_function_table.h"
#include "string_conversion.h"
#include "test_environment.h"

// The provider's function table, from the copy of murako_ksp.dll in the folder "provider" next
// to the test program (loaded once by full path).
const NCRYPT_KEY_STORAGE_FUNCTION_TABLE& Ksp();
HMODULE KspModule();

class ScopedProvider {
 public:
  ScopedProvider();  // opens "Murako KSP"; fails the test when it cannot
  ~ScopedProvider();
  ScopedProvider(const ScopedProvider&) = delete;
  ScopedProvider& operator=(const ScopedProvider&) = delete;
  NCRYPT_PROV_HANDLE get() const { return handle_; }

 private:
  NCRYPT_PROV_HANDLE handle_ = 0;
};

class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  SECURITY_STATUS Open(NCRYPT_PROV_HANDLE provider, const std::wstring& name);
  NCRYPT_KEY_HANDLE get() const { return handle_; }

 private:
  NCRYPT_KEY_HANDLE handle_ = 0;
};

// A key property read with the size query first; empty when the call failed.
std::vector<BYTE> KeyProperty(NCRYPT_KEY_HANDLE key, const wchar_t* name,
                              SECURITY_STATUS* status = nullptr);
DWORD KeyDwordProperty(NCRYPT_KEY_HANDLE key, const wchar_t* name);

// Every key name one full EnumKeys pass yields, in order; the state is released at the end.
std::vector<std::wstring> EnumerateKeyNames(NCRYPT_PROV_HANDLE provider);

// One certificate the tests install, with the store properties it gets.
struct FixtureEntry {
  std::string file;             // DER file name in the fixtures folder, without ".der"
  std::wstring friendly_name;   // empty: no friendly name
  std::wstring container_name;  // empty: no key-provider information; "#" for the thumbprint
};

struct InstalledFixture {
  std::vector<BYTE> der;
  std::vector<BYTE> public_blob;  // the RSA public key blob the export must produce
  std::wstring thumbprint;        // 40 upper-case hexadecimal digits
};

std::string FixtureFolder();
std::vector<BYTE> ReadBinaryFile(const std::string& path);
std::wstring ThumbprintOf(const std::vector<BYTE>& der);
std::wstring Lowercase(std::wstring text);

// Adds certificates to the personal store and removes them again. Wine writes a store only when
// told to commit, and keeps properties only for certificates added in the same session, so each
// change opens the store, deletes an older copy, adds anew, sets the properties and commits.
bool InstallCertificate(const std::vector<BYTE>& der, const std::wstring& friendly_name,
                        const std::wstring& container_name);
bool RemoveCertificate(const std::vector<BYTE>& der);

// Runs this test program again as another process that installs or removes ("install",
// "remove") the fixture certificate `name`; true when it did so.
constexpr char kStoreChangeSwitch[] = "--store-change";
bool ChangeStoreInAnotherProcess(const char* action, const std::string& name);

class FixtureSet {
 public:
  void Install(const std::vector<FixtureEntry>& entries);
  void RemoveAll();
  const InstalledFixture& operator[](const std::string& name) const { return fixtures_.at(name); }
  bool Reinstall(const std::string& name);

 private:
  std::map<std::string, FixtureEntry> entries_;
  std::map<std::string, InstalledFixture> fixtures_;
};

// The personal store as the tests see it independently of the provider: thumbprints of the
// certificates with "Murako" in their friendly name, in store enumeration order; and the
// thumbprints of all certificates with a given subject common name, in that order.
std::vector<std::wstring> MurakoThumbprintsInStore();
std::vector<std::wstring> ThumbprintsWithCommonName(const std::wstring& common_name);

// The provider's debug log, redirected into a private temporary folder while the object lives.
class DebugLogCapture {
 public:
  DebugLogCapture();
  std::string Text() const;
  // True when some line's message (after the time stamp) is exactly `message`.
  bool HasLine(const std::string& message) const;
  bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }
  std::vector<std::string> Messages() const;

 private:
  ScopedTempDirectory directory_;
  ScopedTempPathOverride override_;
};

// Places the stand-in of the folder "bridge_double" or "bridge_partial" next to the test
// program beside the provider as murako_sign_bridge.dll, or none for "bridge_absent"; removes it
// again on destruction. The test program's own folder holds a planted bridge that the provider
// must never load.
class BridgeFolder {
 public:
  explicit BridgeFolder(const char* folder);
  ~BridgeFolder();
  BridgeFolder(const BridgeFolder&) = delete;
  BridgeFolder& operator=(const BridgeFolder&) = delete;
};

// True when `signature` is the fixture key's signature of `raw_hash` (PKCS #1 v1.5 or PSS with
// a salt as long as the hash).
bool VerifiesWith(const InstalledFixture& fixture, const std::vector<BYTE>& raw_hash,
                  const BYTE* signature, DWORD signature_bytes, bool pss);

// Scripts the stand-in through its environment variables; restores them on destruction.
// `signature_bytes` 0 leaves the signature at its own length.
class BridgeScript {
 public:
  BridgeScript(const std::string& mode, int signature_bytes = 0,
               const std::string& error_text = std::string());
  ~BridgeScript();
  BridgeScript(const BridgeScript&) = delete;
  BridgeScript& operator=(const BridgeScript&) = delete;
  void RecordTo(const std::string& path);
};

long BridgeCounter(const char* name);  // TEST_SIGN_BRIDGE_LOADS, TEST_SIGN_BRIDGE_FREES
bool BridgeIsLoaded();
