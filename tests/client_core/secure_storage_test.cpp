#include "secure_storage.h"

#include <windows.h>
#include <wincred.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "credential_race.h"
#include "logger.h"
#include "string_conversion.h"
#include "test_environment.h"

namespace {

// Looks at Credential Manager directly, bypassing the code under test.
struct StoredEntry {
  bool found = false;
  std::string blob;
  std::wstring user_name;
  std::wstring comment;
  DWORD persist = 0;
  DWORD flags = 0;
};

StoredEntry ReadEntry(const std::wstring& target) {
  StoredEntry entry;
  CREDENTIALW* record = nullptr;
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &record)) return entry;
  entry.found = true;
  entry.blob.assign(reinterpret_cast<const char*>(record->CredentialBlob),
                    record->CredentialBlobSize);
  entry.user_name = record->UserName ? record->UserName : L"";
  entry.comment = record->Comment ? record->Comment : L"";
  entry.persist = record->Persist;
  entry.flags = record->Flags;
  CredFree(record);
  return entry;
}

std::string LargeValue(size_t size) {
  std::string value;
  for (size_t i = 0; value.size() < size; ++i) value += "eyJhbGciOiJSUzI1NiJ9." + std::to_string(i);
  value.resize(size);
  return value;
}

// Writes one entry directly, bypassing the code under test.
void WriteEntry(const std::wstring& target, const std::string& blob) {
  CREDENTIALW record{};
  record.Type = CRED_TYPE_GENERIC;
  record.TargetName = const_cast<LPWSTR>(target.c_str());
  record.Persist = CRED_PERSIST_LOCAL_MACHINE;
  record.CredentialBlobSize = static_cast<DWORD>(blob.size());
  record.CredentialBlob = reinterpret_cast<LPBYTE>(const_cast<char*>(blob.data()));
  ASSERT_TRUE(CredWriteW(&record, 0));
}

class SecureStorageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* key :
         {"test_token", "test_large", "test_clave_ñ_✅", "test_probe", "test_race"}) {
      SecureStorage::DeleteToken(key);
    }
  }

  std::string LogFile() const { return ReadFileBytes(temp_.path() + "murako_windows.log"); }
  bool Logged(const std::string& tag, const std::string& message) const {
    return LogFile().find("] [" + tag + "] " + message + "\r\n") != std::string::npos;
  }

  ScopedTempDirectory temp_;
  ScopedTempPathOverride temp_path_{temp_.path()};
};

TEST_F(SecureStorageTest, StoresOneGenericEntryWithTheFixedAttributes) {
  ASSERT_TRUE(SecureStorage::StoreToken("test_token", "abc.def"));
  StoredEntry entry = ReadEntry(L"Murako_Sendaro_test_token");
  ASSERT_TRUE(entry.found);
  EXPECT_EQ(entry.blob, "abc.def");
  EXPECT_EQ(entry.user_name, L"MurakoUser");
  EXPECT_EQ(entry.comment, L"Murako Sendaro - OAuth Token");
  EXPECT_EQ(entry.persist, static_cast<DWORD>(CRED_PERSIST_LOCAL_MACHINE));
  EXPECT_EQ(entry.flags, 0u);
  EXPECT_FALSE(ReadEntry(L"Murako_Sendaro_test_token#1").found);
  EXPECT_TRUE(Logged("INFO", "SecureStorage::StoreToken - Storing token for key: test_token"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::StoreCredential - Successfully stored credential"));
  EXPECT_EQ(LogFile().find("abc.def"), std::string::npos) << "values are never logged";
}

TEST_F(SecureStorageTest, ReplacesReadsBackAndDeletesTwice) {
  ASSERT_TRUE(SecureStorage::StoreToken("test_token", "first value"));
  ASSERT_TRUE(SecureStorage::StoreToken("test_token", "second"));
  EXPECT_EQ(SecureStorage::GetToken("test_token"), std::optional<std::string>("second"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::RetrieveCredential - Successfully retrieved "
                             "credential (6 bytes)"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::GetToken - Token retrieved successfully"));

  EXPECT_TRUE(SecureStorage::DeleteToken("test_token"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::DeleteCredential - Successfully deleted credential"));
  EXPECT_TRUE(SecureStorage::DeleteToken("test_token"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::DeleteCredential - Credential not found "
                             "(already deleted)"));
  EXPECT_FALSE(SecureStorage::GetToken("test_token").has_value());
  EXPECT_TRUE(Logged("INFO", "SecureStorage::RetrieveCredential - Credential not found"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::GetToken - Token not found"));
}

TEST_F(SecureStorageTest, BinaryBlobsRoundTripExactly) {
  std::vector<uint8_t> data = {0x00, 0xFF, 0x10, 0x00, 0x80};
  ASSERT_TRUE(SecureStorage::StoreCredential("test_token", data));
  std::vector<uint8_t> output = {1, 2, 3};
  ASSERT_TRUE(SecureStorage::RetrieveCredential("test_token", output));
  EXPECT_EQ(output, data);
}

TEST_F(SecureStorageTest, NonAsciiKeyIsStoredUnderItsUtf16Name) {
  ASSERT_TRUE(SecureStorage::StoreToken("test_clave_ñ_✅", "valor"));
  StoredEntry entry = ReadEntry(L"Murako_Sendaro_test_clave_\u00f1_\u2705");
  ASSERT_TRUE(entry.found);
  EXPECT_EQ(entry.blob, "valor");
  EXPECT_EQ(SecureStorage::GetToken("test_clave_ñ_✅"), std::optional<std::string>("valor"));
}

TEST_F(SecureStorageTest, EmptyKeysAndValuesAreRefusedBeforeCredentialManager) {
  EXPECT_FALSE(SecureStorage::StoreCredential("", {1, 2}));
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::StoreCredential - Key is empty"));
  std::vector<uint8_t> output = {9};
  EXPECT_FALSE(SecureStorage::RetrieveCredential("", output));
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::RetrieveCredential - Key is empty"));
  EXPECT_EQ(output, std::vector<uint8_t>{9});
  EXPECT_FALSE(SecureStorage::DeleteCredential(""));
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::DeleteCredential - Key is empty"));
  EXPECT_FALSE(ReadEntry(L"Murako_Sendaro_").found);

  ASSERT_TRUE(SecureStorage::StoreToken("test_token", "kept"));
  EXPECT_FALSE(SecureStorage::StoreToken("test_token", ""));
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::StoreToken - Token is empty"));
  EXPECT_FALSE(SecureStorage::StoreCredential("test_token", {}));
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::StoreCredential - Data is empty"));
  EXPECT_EQ(ReadEntry(L"Murako_Sendaro_test_token").blob, "kept");
}

TEST_F(SecureStorageTest, ValuesAboveTheBlobLimitRoundTripOverContinuationEntries) {
  std::string large = LargeValue(2560 * 4 + 123);
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", large));
  EXPECT_EQ(ReadEntry(L"Murako_Sendaro_test_large").blob.size(), 2560u);
  EXPECT_TRUE(ReadEntry(L"Murako_Sendaro_test_large#4").found);
  EXPECT_FALSE(ReadEntry(L"Murako_Sendaro_test_large#5").found);
  EXPECT_EQ(SecureStorage::GetToken("test_large"), std::optional<std::string>(large));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::RetrieveCredential - Successfully retrieved "
                             "credential (" + std::to_string(large.size()) + " bytes)"));

  // A shorter value leaves no stale continuation behind.
  std::string exact = LargeValue(2559);
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", exact));
  EXPECT_FALSE(ReadEntry(L"Murako_Sendaro_test_large#1").found);
  EXPECT_EQ(SecureStorage::GetToken("test_large"), std::optional<std::string>(exact));

  // The next long value goes to the other slot; the previous one's parts stay whole, so a
  // reader that read the previous first part still gets that whole value.
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", large));
  const std::string previous_first = ReadEntry(L"Murako_Sendaro_test_large").blob;
  const std::string next = LargeValue(2560 * 2);
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", next));
  EXPECT_TRUE(ReadEntry(L"Murako_Sendaro_test_large#b2").found);
  EXPECT_EQ(SecureStorage::GetToken("test_large"), std::optional<std::string>(next));
  WriteEntry(L"Murako_Sendaro_test_large", previous_first);
  EXPECT_EQ(SecureStorage::GetToken("test_large"), std::optional<std::string>(large));

  EXPECT_TRUE(SecureStorage::DeleteToken("test_large"));
  for (const wchar_t* target : {L"Murako_Sendaro_test_large", L"Murako_Sendaro_test_large#1",
                                L"Murako_Sendaro_test_large#4", L"Murako_Sendaro_test_large#b1"}) {
    EXPECT_FALSE(ReadEntry(target).found) << WideToUtf8(target);
  }
}

TEST_F(SecureStorageTest, PartsOfTwoWritesOrAMissingPartReadAsAbsent) {
  // Writes alternate between the two slots of continuations: "#1", "#b1", "#1", ...
  const std::string stale = LargeValue(7000);
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", stale));
  const std::string stale_continuation = ReadEntry(L"Murako_Sendaro_test_large#1").blob;
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", std::string(7000, 'n')));
  ASSERT_TRUE(SecureStorage::StoreToken("test_large", std::string(7000, 'm')));
  WriteEntry(L"Murako_Sendaro_test_large#1", stale_continuation);
  EXPECT_FALSE(SecureStorage::GetToken("test_large").has_value());
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::RetrieveCredential - Stored parts do not match "
                              "(part 1 belongs to another write), treating the credential as "
                              "absent"));

  ASSERT_TRUE(SecureStorage::StoreToken("test_large", stale));
  ASSERT_TRUE(CredDeleteW(L"Murako_Sendaro_test_large#b2", CRED_TYPE_GENERIC, 0));
  EXPECT_FALSE(SecureStorage::GetToken("test_large").has_value());
  EXPECT_TRUE(Logged("ERROR", "SecureStorage::RetrieveCredential - Stored parts do not match "
                              "(part 2 is missing), treating the credential as absent"));
  EXPECT_TRUE(Logged("INFO", "SecureStorage::GetToken - Token not found"));
}

TEST_F(SecureStorageTest, ValuesWrittenInEarlierLayoutsStillRead) {
  const std::string value = LargeValue(2560 * 2 + 40);
  WriteEntry(L"Murako_Sendaro_test_large", value.substr(0, 2560));
  WriteEntry(L"Murako_Sendaro_test_large#1", value.substr(2560, 2560));
  WriteEntry(L"Murako_Sendaro_test_large#2", value.substr(5120));
  EXPECT_EQ(SecureStorage::GetToken("test_large"), std::optional<std::string>(value));

  // Framed, before the second slot: the header's magic "\xFFMKF" and continuations "#1", ...
  const uint32_t length = static_cast<uint32_t>(value.size());
  std::string header = std::string("\xFF" "MKF") + std::string(reinterpret_cast<const char*>(&length), 4) +
                       std::string(8, '\x07');
  WriteEntry(L"Murako_Sendaro_test_large", header + value.substr(0, 2544));
  for (size_t index = 1; index <= 2; ++index) {
    const uint32_t number = static_cast<uint32_t>(index);
    WriteEntry(L"Murako_Sendaro_test_large#" + std::to_wstring(index),
               std::string("\xFF" "MKC") + std::string(reinterpret_cast<const char*>(&number), 4) +
                   std::string(8, '\x07') + value.substr(2544 * index, 2544));
  }
  EXPECT_EQ(SecureStorage::GetToken("test_large"), std::optional<std::string>(value));
}

TEST_F(SecureStorageTest, AnotherProcessReadsWhatThisOneWrote) {
  std::string large = LargeValue(9000);
  ASSERT_TRUE(SecureStorage::StoreToken("test_probe", large));
  ProcessResult read = RunProgram("credential_probe.exe", {"test_probe"});
  EXPECT_EQ(read.exit_code, 0u);
  EXPECT_EQ(read.standard_output, large);

  ASSERT_TRUE(SecureStorage::StoreToken("test_clave_ñ_✅", "valor"));
  read = RunProgram("credential_probe.exe", {"test_clave_ñ_✅"});
  EXPECT_EQ(read.exit_code, 0u);
  EXPECT_EQ(read.standard_output, "valor");

  ASSERT_TRUE(SecureStorage::DeleteToken("test_probe"));
  EXPECT_EQ(RunProgram("credential_probe.exe", {"test_probe"}).exit_code, 1u);
}

// While this process rewrites a value of three parts, a reader in another process gets either
// the value before a write or the value after it: never a mix of the two, a part short, or
// nothing. The reader keeps pace: the writer waits for ten reads between two writes.
TEST_F(SecureStorageTest, ReadsInAnotherProcessNeverMeetAHalfWrittenValue) {
  const std::wstring mapping_name = L"Local\\sendaro_credential_race_" +
                                    std::to_wstring(GetCurrentProcessId());
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(RaceCounters), mapping_name.c_str());
  ASSERT_NE(mapping, nullptr);
  auto* counters = static_cast<RaceCounters*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(RaceCounters)));
  ASSERT_NE(counters, nullptr);
  SetMinimumLogLevel(4);
  ASSERT_TRUE(SecureStorage::StoreToken("test_race", RaceValue(0)));
  long failed_writes = 0;
  std::thread writer([&] {
    for (long number = 1; number <= kRaceWrites; ++number) {
      const ULONGLONG deadline = GetTickCount64() + 5000;  // a reader that stopped early
      while (counters->reads < number * (kRaceReads / kRaceWrites) && GetTickCount64() < deadline) {
        Sleep(1);
      }
      if (!SecureStorage::StoreToken("test_race", RaceValue(number))) ++failed_writes;
    }
    InterlockedExchange(&counters->writer_done, 1);
  });
  ProcessResult read = RunProgram("credential_probe.exe",
                                  {"race", "test_race", WideToUtf8(mapping_name)});
  InterlockedExchange(&counters->writer_done, 1);
  writer.join();
  SetMinimumLogLevel(1);
  UnmapViewOfFile(counters);
  CloseHandle(mapping);
  EXPECT_EQ(failed_writes, 0);
  EXPECT_EQ(read.exit_code, 0u) << read.standard_output;
  std::printf("%s", read.standard_output.c_str());
}

}  // namespace
