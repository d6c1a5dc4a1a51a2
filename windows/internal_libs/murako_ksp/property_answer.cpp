#include "property_answer.h"

#include <cstring>
#include <cwchar>

namespace {

SlotResult AnswerSizeQuery(const PropertyAnswer& answer, DWORD needed) {
  const unsigned long size = needed;
  switch (answer.size_in_query) {
    case SizeInQuery::kNumber:
      return Answer(ERROR_SUCCESS, "query size, %s=%lu", answer.label, size);
    case SizeInQuery::kBytes:
      return Answer(ERROR_SUCCESS, "query size, %s=%lu bytes", answer.label, size);
    case SizeInQuery::kNotGiven:
      break;
  }
  return Answer(ERROR_SUCCESS, "query size, %s", answer.label);
}

}  // namespace

std::vector<BYTE> DwordValue(DWORD value) {
  std::vector<BYTE> bytes(sizeof(DWORD));
  memcpy(bytes.data(), &value, sizeof(DWORD));
  return bytes;
}

std::vector<BYTE> TextValue(const wchar_t* text) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(text);
  return std::vector<BYTE>(begin, begin + (wcslen(text) + 1) * sizeof(wchar_t));
}

SlotResult AnswerProperty(const PropertyAnswer& answer, PBYTE output, DWORD output_bytes,
                          DWORD* result_bytes) {
  const DWORD needed = static_cast<DWORD>(answer.value.size());
  *result_bytes = needed;
  if (output == nullptr) return AnswerSizeQuery(answer, needed);
  if (output_bytes < needed) {
    return answer.too_small_names_label ? Answer(NTE_BUFFER_TOO_SMALL, "%s", answer.label)
                                        : Answer(NTE_BUFFER_TOO_SMALL);
  }
  memcpy(output, answer.value.data(), needed);
  return Answer(ERROR_SUCCESS, "%s%s=%s", answer.success_lead, answer.label, answer.shown.c_str());
}
