#include "simple_display_name.h"

#include "string_conversion.h"

std::string SimpleDisplayName(PCCERT_CONTEXT context, DWORD flags) {
  DWORD size = CertGetNameStringW(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr,
                                  nullptr, 0);
  if (size <= 1) return std::string();
  std::wstring name(size, L'\0');
  size = CertGetNameStringW(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, &name[0],
                            size);
  if (size <= 1) return std::string();
  name.resize(size - 1);
  return WideToUtf8(name);
}
