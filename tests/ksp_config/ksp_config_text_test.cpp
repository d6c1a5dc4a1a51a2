#include <gtest/gtest.h>

#include "console_output.h"
#include "ksp_config_tool.h"

TEST(KspConfigTextTest, MessageLinesCarryTheirMarkerAndAKnownCode) {
  EXPECT_EQ(MessageLine(MessageKind::Ok, L"hecho"), L"  [OK] hecho\n");
  EXPECT_EQ(MessageLine(MessageKind::Warning, L"ojo"), L"  [WARN] ojo\n");
  EXPECT_EQ(MessageLine(MessageKind::Info, L"dato"), L"  [INFO] dato\n");
  EXPECT_EQ(MessageLine(MessageKind::Error, L"fallo"), L"  [ERROR] fallo\n");
  EXPECT_EQ(MessageLine(MessageKind::Error, L"fallo", 0xC0000035), L"  [ERROR] fallo (0xC0000035)\n");
  EXPECT_EQ(MessageLine(MessageKind::Error, L"fallo", 2), L"  [ERROR] fallo (0x00000002)\n");
}

TEST(KspConfigTextTest, BannerIsTitleBetweenTwoRulesOfFortySigns) {
  std::wstring rule(40, L'=');
  EXPECT_EQ(BannerText(L"  TITULO\n"), L"\n" + rule + L"\n  TITULO\n" + rule + L"\n\n");
}

TEST(KspConfigTextTest, CommandsIgnoreCase) {
  EXPECT_EQ(ParseToolCommand(L"-register"), ToolCommand::Register);
  EXPECT_EQ(ParseToolCommand(L"-REGISTER"), ToolCommand::Register);
  EXPECT_EQ(ParseToolCommand(L"-UnRegister"), ToolCommand::Unregister);
  EXPECT_EQ(ParseToolCommand(L"-Check"), ToolCommand::Check);
  EXPECT_EQ(ParseToolCommand(L"-ENUM"), ToolCommand::Enum);
  EXPECT_EQ(ParseToolCommand(L"register"), ToolCommand::Unknown);
  EXPECT_EQ(ParseToolCommand(L"-register2"), ToolCommand::Unknown);
  EXPECT_EQ(ParseToolCommand(nullptr), ToolCommand::None);
}
