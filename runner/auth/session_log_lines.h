#pragma once

#include <vector>

#include "token_response.h"

// Writes lines decided by pure code through the logger, each at its own level.
void WriteSessionLogLines(const std::vector<TokenLogLine>& lines);
