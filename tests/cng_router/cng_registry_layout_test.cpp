#include "cng_registry_layout.h"

#include <bcrypt.h>

#include <gtest/gtest.h>

using namespace cng_registry;

TEST(CngRegistryLayoutTest, MultiStringsRoundTripAndStopAtTheEmptyString) {
  std::vector<std::wstring> items = {L"KEY_STORAGE", L"Murako KSP"};
  std::vector<BYTE> data = BuildMultiString(items);
  EXPECT_EQ(data.size(), (11 + 1 + 10 + 1 + 1) * sizeof(wchar_t));
  EXPECT_EQ(ParseMultiString(data), items);
  EXPECT_TRUE(ParseMultiString(BuildMultiString({})).empty());

  // A value written without its closing NULs still yields its strings.
  std::wstring loose = L"A";
  std::vector<BYTE> raw(reinterpret_cast<const BYTE*>(loose.data()),
                        reinterpret_cast<const BYTE*>(loose.data()) + sizeof(wchar_t));
  EXPECT_EQ(ParseMultiString(raw), std::vector<std::wstring>{L"A"});
}

TEST(CngRegistryLayoutTest, PositionsPlaceAtTopIndexOrBottom) {
  std::vector<std::wstring> items = {L"a", L"b"};
  EXPECT_EQ(InsertAt(items, L"x", 0), (std::vector<std::wstring>{L"x", L"a", L"b"}));
  EXPECT_EQ(InsertAt(items, L"x", 1), (std::vector<std::wstring>{L"a", L"x", L"b"}));
  EXPECT_EQ(InsertAt(items, L"x", CRYPT_PRIORITY_BOTTOM),
            (std::vector<std::wstring>{L"a", L"b", L"x"}));
  EXPECT_TRUE(ContainsIgnoringCase(items, L"B"));
  EXPECT_EQ(RemoveIgnoringCase(items, L"A"), std::vector<std::wstring>{L"b"});
  EXPECT_EQ(InterfaceKeyName(0x00010001), L"00010001");
}
