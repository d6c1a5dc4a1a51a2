#include "diagnostics_text.h"

#include <cstdio>

std::string LastLines(const std::string& text, int count) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
  const size_t first = lines.size() > wanted ? lines.size() - wanted : 0;
  std::string tail;
  for (size_t i = first; i < lines.size(); ++i) tail += lines[i] + "\n";
  return tail;
}

std::string StatusHex(long status) {
  // Status codes are 32 bits wide; a 64-bit long must not widen a negative one.
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX",
                static_cast<unsigned long>(static_cast<uint32_t>(status)));
  return text;
}

std::vector<uint8_t> DummyHash() {
  std::vector<uint8_t> hash(32);
  for (size_t i = 0; i < hash.size(); ++i) hash[i] = static_cast<uint8_t>(7 * i);
  return hash;
}

std::string FileTimestampText(int year, int month, int day, int hour, int minute, int second) {
  char text[32];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return text;
}
