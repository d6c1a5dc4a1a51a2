#include "ksp_slot_guard.h"

#include <cstdarg>
#include <cstdio>

namespace {

struct NamedStatus {
  SECURITY_STATUS status;
  const char* name;
};

const NamedStatus kStatusNames[] = {
    {ERROR_SUCCESS, "SUCCESS"},
    {NTE_NO_MEMORY, "NTE_NO_MEMORY"},
    {NTE_NOT_FOUND, "NTE_NOT_FOUND"},
    {NTE_BAD_KEYSET, "NTE_BAD_KEYSET"},
    {NTE_FAIL, "NTE_FAIL"},
    {NTE_INVALID_HANDLE, "NTE_INVALID_HANDLE"},
    {NTE_INVALID_PARAMETER, "NTE_INVALID_PARAMETER"},
    {NTE_BUFFER_TOO_SMALL, "NTE_BUFFER_TOO_SMALL"},
    {NTE_NOT_SUPPORTED, "NTE_NOT_SUPPORTED"},
    {NTE_NO_MORE_ITEMS, "NTE_NO_MORE_ITEMS"},
    {NTE_INTERNAL_ERROR, "NTE_INTERNAL_ERROR"},
};

// null for a status the provider never answers with.
const char* StatusName(SECURITY_STATUS status) {
  for (const NamedStatus& named : kStatusNames) {
    if (named.status == status) return named.name;
  }
  return nullptr;
}

bool IsSilent(const ExitLineForm& form, const SlotResult& result) {
  switch (form.silent) {
    case ExitLineForm::Silent::kWithoutDetail:
      return result.detail[0] == '\0';
    case ExitLineForm::Silent::kOnSuccess:
      return result.status == ERROR_SUCCESS;
    case ExitLineForm::Silent::kNever:
      break;
  }
  return false;
}

void WriteStatusNameLine(const char* start, const char* name, const ExitLineForm& form,
                         const SlotResult& result) {
  char code[16];
  snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(result.status));
  const char* status_name = StatusName(result.status);
  const char* status = status_name != nullptr ? status_name : code;
  if (result.detail[0] == '\0') {
    KspLog("%s%s: %s", start, name, status);
  } else if (result.status == ERROR_SUCCESS &&
             form.success_detail == ExitLineForm::SuccessDetail::kAfterSpace) {
    KspLog("%s%s: %s %s", start, name, status, result.detail);
  } else {
    KspLog("%s%s: %s (%s)", start, name, status, result.detail);
  }
}

const ExitLineForm kRefusalExitLine{ExitLineForm::Start::kEntryAndExit};

}  // namespace

SlotResult Answer(SECURITY_STATUS status, const char* detail_format, ...) {
  SlotResult result{status};
  va_list arguments;
  va_start(arguments, detail_format);
  KspFormatInto(result.detail, detail_format, arguments);
  va_end(arguments);
  return result;
}

void WriteExitLine(const char* function_name, const ExitLineForm& form,
                   const SlotResult& result) noexcept {
  if (IsSilent(form, result)) return;
  const char* start = form.start == ExitLineForm::Start::kEntryAndExit ? ">>> " : "<<< ";
  const char* name = form.names != nullptr ? form.names : function_name;
  switch (form.content) {
    case ExitLineForm::Content::kStatusCode:
      KspLog("%s%s: status=0x%X", start, name, static_cast<unsigned>(result.status));
      return;
    case ExitLineForm::Content::kDetailOnly:
      KspLog("%s%s: %s", start, name, result.detail);
      return;
    case ExitLineForm::Content::kStatusName:
      WriteStatusNameLine(start, name, form, result);
      return;
  }
}

void WriteBarrierFailureLine(const char* function_name, const ExitLineForm& form,
                             const char* what) noexcept {
  ExitLineForm usual;
  usual.start = form.start;
  WriteExitLine(function_name, usual, Answer(NTE_INTERNAL_ERROR, "%s", what));
}

SECURITY_STATUS RefuseSlot(const char* function_name, const char* reason) noexcept {
  return GuardSlot(
      function_name, [&] { return Answer(NTE_NOT_SUPPORTED, "%s", reason); }, kRefusalExitLine);
}
