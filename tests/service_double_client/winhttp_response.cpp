#include "winhttp_response.h"

WinHttpResponse ReadWinHttpResponse(HINTERNET request) {
  WinHttpResponse response;
  DWORD size = sizeof(response.status);
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &response.status, &size,
                      WINHTTP_NO_HEADER_INDEX);
  for (;;) {
    DWORD available = 0, read = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available == 0) break;
    std::string chunk(available, '\0');
    if (!WinHttpReadData(request, &chunk[0], available, &read)) break;
    response.body.append(chunk.data(), read);
  }
  return response;
}
