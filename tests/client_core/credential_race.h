#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

// Shared by secure_storage_test (the writer) and credential_probe (the reader in another
// process): the values the writer stores, each one telling a reader exactly what it must look
// like, and the counters the two processes pace each other with.

constexpr size_t kRaceValueSize = 6000;  // three credential parts
constexpr long kRaceWrites = 1000;
constexpr long kRaceReads = 10000;

// Write `number` of the race: its number, then letters that depend on the number and the
// position, so a part of another write never fits.
inline std::string RaceValue(long number) {
  std::string value = "race-" + std::to_string(number) + "|";
  for (size_t position = value.size(); position < kRaceValueSize; ++position) {
    value += static_cast<char>('A' + (number * 31 + static_cast<long>(position)) % 26);
  }
  return value;
}

// The number of a value RaceValue made, or -1 for anything else.
inline long RaceNumber(const std::string& value) {
  if (value.compare(0, 5, "race-") != 0) return -1;
  const long number = std::atol(value.c_str() + 5);
  return value == RaceValue(number) ? number : -1;
}

struct RaceCounters {
  volatile LONG reads;
  volatile LONG writer_done;
};
