#include "msi_log_output.h"

#include <msiquery.h>

MsiLogOutput::~MsiLogOutput() {
  try {
    Line(pending_);
  } catch (...) {
  }
}

void MsiLogOutput::Print(const std::wstring& text, unsigned short /*colour*/) const {
  pending_ += text;
  size_t end = 0;
  while ((end = pending_.find(L'\n')) != std::wstring::npos) {
    Line(pending_.substr(0, end));
    pending_.erase(0, end + 1);
  }
}

std::wstring EscapedForFormatting(const std::wstring& text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    if (c == L'[' || c == L']' || c == L'{' || c == L'}') {
      escaped += L"[\\";
      escaped += c;
      escaped += L']';
    } else {
      escaped += c;
    }
  }
  return escaped;
}

void MsiLogOutput::Line(const std::wstring& line) const {
  if (line.find_first_not_of(L" =") == std::wstring::npos) return;
  UniqueMsiHandle record(MsiCreateRecord(0));
  if (!record) return;
  // The message is formatted as a template, where "[OK]" would name a property: brackets and
  // braces are written as escapes.
  MsiRecordSetStringW(record.get(), 0, EscapedForFormatting(line).c_str());
  MsiProcessMessage(install_, INSTALLMESSAGE_INFO, record.get());
}
