#pragma once

#include <string>

// The tool's lines. On the console every text goes to standard output through the wide
// formatted output functions; colours are console text attributes and are simply not applied
// when the output is redirected. The installer's registration writes the same lines to its log.
enum ConsoleColour : unsigned short {
  kColourNormal = 7,
  kColourOk = 10,
  kColourBanner = 11,
  kColourError = 12,
  kColourWarning = 14,
};

enum class MessageKind { Ok, Warning, Info, Error };

// "  [OK] text\n", "  [WARN] text\n", "  [INFO] text\n", "  [ERROR] text\n", or for an error
// with a known non-zero code "  [ERROR] text (0x%08X)\n".
std::wstring MessageLine(MessageKind kind, const std::wstring& text, unsigned long code = 0);

// A blank line, 40 "=", the title line, 40 "=", a blank line.
std::wstring BannerText(const std::wstring& titleLine);

class ToolOutput {
 public:
  virtual ~ToolOutput() = default;
  virtual void Print(const std::wstring& text, unsigned short colour = kColourNormal) const = 0;
  void Banner(const std::wstring& titleLine) const;
  void Ok(const std::wstring& text) const;
  void Warning(const std::wstring& text) const;
  void Info(const std::wstring& text) const;
  void Error(const std::wstring& text, unsigned long code = 0) const;
};

class ConsoleOutput : public ToolOutput {
 public:
  void Print(const std::wstring& text, unsigned short colour = kColourNormal) const override;
};
