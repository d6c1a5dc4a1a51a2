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

void MsiLogOutput::Line(const std::wstring& line) const {
  if (line.find_first_not_of(L" =") == std::wstring::npos) return;
  UniqueMsiHandle record(MsiCreateRecord(1));
  if (!record) return;
  // The text goes in field 1 behind the template "[1]": as the template itself, "[OK]" would
  // be read as a property.
  MsiRecordSetStringW(record.get(), 0, L"[1]");
  MsiRecordSetStringW(record.get(), 1, line.c_str());
  MsiProcessMessage(install_, INSTALLMESSAGE_INFO, record.get());
}
