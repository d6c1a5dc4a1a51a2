#pragma once

#include <string>

// Text for a log line: control characters (C0, DEL, the C1 range, the Unicode line and paragraph
// separators) are written as "\xNN" or "\uNNNN", so that no value starts a line of its own or
// moves a terminal's cursor; everything else stays as it came. The one rule of every log of the
// product: the main program's and the bridge's, and the provider's debug log.
std::string EscapeForLog(const std::string& text);
