#include "view_window.h"

#include <string>

#include "engine_module.h"
#include "engine_objects.h"
#include "script_runner.h"

namespace flutter_stand_in {

namespace {

constexpr wchar_t kViewClassName[] = L"FLUTTERVIEW";
constexpr int kLineHeight = 18;
constexpr int kMargin = 8;

void DrawLine(HDC dc, const RECT& client, int index, const std::string& text) {
  RECT line = {kMargin, kMargin + index * kLineHeight, client.right - kMargin,
               kMargin + (index + 1) * kLineHeight};
  std::wstring wide = WideFromUtf8(text);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &line,
            DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_VCENTER);
}

void Paint(HWND window, const FlutterDesktopView* view) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  HBRUSH background = CreateSolidBrush(RGB(24, 36, 58));
  FillRect(dc, &client, background);
  DeleteObject(background);
  HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(240, 240, 240));

  DrawLine(dc, client, 0, "Flutter engine stand-in");
  const ScriptRunner* script = view && view->engine ? view->engine->script.get() : nullptr;
  if (!script) {
    DrawLine(dc, client, 1, "no --script in the Dart entry-point arguments");
  } else {
    DrawLine(dc, client, 1, script->Status());
    // The newest lines that fit below the two header lines.
    const auto& lines = script->RecentLines();
    int room = (client.bottom - 2 * kMargin) / kLineHeight - 2;
    size_t first = room > 0 && lines.size() > static_cast<size_t>(room) ? lines.size() - room : 0;
    int index = 2;
    for (size_t i = first; i < lines.size(); ++i) {
      DrawLine(dc, client, index++, lines[i]);
    }
  }
  SelectObject(dc, old_font);
  EndPaint(window, &paint);
}

LRESULT CALLBACK ViewWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<FlutterDesktopView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT:
      Paint(window, view);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterViewClass() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = ViewWindowProc;
  window_class.hInstance = EngineModule();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kViewClassName;
  RegisterClassExW(&window_class);  // fails harmlessly when already registered
}

}  // namespace

HWND CreateViewWindow(FlutterDesktopView* view, int width, int height) {
  RegisterViewClass();
  return CreateWindowExW(0, kViewClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                         HWND_MESSAGE, nullptr, EngineModule(), view);
}

}  // namespace flutter_stand_in
