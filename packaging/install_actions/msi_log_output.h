#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

#include "console_output.h"
#include "unique_handle.h"

// `text` with every bracket and brace escaped, so that formatting a message gives it back.
std::wstring EscapedForFormatting(const std::wstring& text);

using UniqueMsiHandle = UniqueAny<MSIHANDLE, MsiCloseHandle>;

// The configuration tool's lines written to the installation log, one information message per
// line; blank lines and the banners' rules are left out, colours dropped. A last line without
// its line end is written when the object goes away.
class MsiLogOutput : public ToolOutput {
 public:
  explicit MsiLogOutput(MSIHANDLE install) : install_(install) {}
  ~MsiLogOutput() override;
  MsiLogOutput(const MsiLogOutput&) = delete;
  MsiLogOutput& operator=(const MsiLogOutput&) = delete;

  void Print(const std::wstring& text, unsigned short colour = kColourNormal) const override;
  // One message, as it is (never read as a format with properties in brackets).
  void Line(const std::wstring& line) const;

 private:
  MSIHANDLE install_;
  mutable std::wstring pending_;
};
