#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ksp_slot_guard.h"

// How a property's size-query line gives the value's size: (query size, KEY_USAGE),
// (query size, LENGTH=4) or (query size, NAME=22 bytes).
enum class SizeInQuery { kNotGiven, kNumber, kBytes };

// One answerable property: its value, the label its lines name it by, and the value as its
// success line shows it after the label: SUCCESS (LENGTH=2048). The details of its exit lines
// follow from these.
struct PropertyAnswer {
  std::vector<BYTE> value;
  const char* label;
  std::string shown;
  SizeInQuery size_in_query;
  bool too_small_names_label;  // NTE_BUFFER_TOO_SMALL (EXPORT_POLICY)
  const char* success_lead = "";
};

// Property values as CNG hands them out.
std::vector<BYTE> DwordValue(DWORD value);
// UTF-16 with its terminator.
std::vector<BYTE> TextValue(const wchar_t* text);

// The CNG output convention: the size always, the value when the buffer holds it.
SlotResult AnswerProperty(const PropertyAnswer& answer, PBYTE output, DWORD output_bytes,
                          DWORD* result_bytes);
