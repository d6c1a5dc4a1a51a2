#include "console_output.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

unsigned short ColourOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Ok: return kColourOk;
    case MessageKind::Warning: return kColourWarning;
    case MessageKind::Error: return kColourError;
    default: return kColourNormal;
  }
}

}  // namespace

std::wstring MessageLine(MessageKind kind, const std::wstring& text, unsigned long code) {
  switch (kind) {
    case MessageKind::Ok: return L"  [OK] " + text + L"\n";
    case MessageKind::Warning: return L"  [WARN] " + text + L"\n";
    case MessageKind::Info: return L"  [INFO] " + text + L"\n";
    case MessageKind::Error: break;
  }
  if (code == 0) return L"  [ERROR] " + text + L"\n";
  wchar_t suffix[32];
  swprintf(suffix, 32, L" (0x%08X)\n", static_cast<unsigned>(code));
  return L"  [ERROR] " + text + suffix;
}

std::wstring BannerText(const std::wstring& titleLine) {
  std::wstring rule(40, L'=');
  return L"\n" + rule + L"\n" + titleLine + rule + L"\n\n";
}

void ConsoleOutput::Print(const std::wstring& text, unsigned short colour) const {
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  fflush(stdout);
  if (colour != kColourNormal) SetConsoleTextAttribute(console, colour);
  wprintf(L"%ls", text.c_str());
  fflush(stdout);
  if (colour != kColourNormal) SetConsoleTextAttribute(console, kColourNormal);
}

void ToolOutput::Banner(const std::wstring& titleLine) const {
  Print(BannerText(titleLine), kColourBanner);
}

void ToolOutput::Ok(const std::wstring& text) const {
  Print(MessageLine(MessageKind::Ok, text), ColourOf(MessageKind::Ok));
}

void ToolOutput::Warning(const std::wstring& text) const {
  Print(MessageLine(MessageKind::Warning, text), ColourOf(MessageKind::Warning));
}

void ToolOutput::Info(const std::wstring& text) const {
  Print(MessageLine(MessageKind::Info, text), ColourOf(MessageKind::Info));
}

void ToolOutput::Error(const std::wstring& text, unsigned long code) const {
  Print(MessageLine(MessageKind::Error, text, code), ColourOf(MessageKind::Error));
}
