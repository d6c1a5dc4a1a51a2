// A minimal Flutter host for the engine stand-in's tests: one top-level window with the view
// as its child and a method channel "test/echo":
//   "echo"  answers its arguments (and then again, which the wrapper ignores);  "fail"  answers
//   the error FAILED with the arguments as details;  "later"  answers "late" from the message
//   loop;  "textures"  answers what the engine's texture registrar says to a texture it does not
//   know: [registered id, frame marked, unregistration completed];  "after_engine"  is answered
//   once the engine is gone (the answer must be dropped);  anything else: not implemented.
// Destroying the window destroys the view controller, as a real runner does, and ends the
// program with exit code 0.
#include <windows.h>
#include <shellapi.h>

#include <flutter/dart_project.h>
#include <flutter/encodable_value.h>
#include <flutter/flutter_view_controller.h>
#include <flutter/method_channel.h>
#include <flutter/standard_method_codec.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using flutter::EncodableValue;
using Result = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr UINT kAnswerLater = WM_APP + 7;

std::unique_ptr<flutter::FlutterViewController> controller;
std::unique_ptr<flutter::MethodChannel<EncodableValue>> channel;
std::vector<Result> deferred;
std::vector<Result> after_engine;

std::vector<std::string> EntrypointArguments() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 1; arguments && i < count; ++i) {
    int length = WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(length > 0 ? length : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, &text[0], length, nullptr, nullptr);
    text.resize(text.size() - 1);
    utf8.push_back(text);
  }
  LocalFree(arguments);
  return utf8;
}

void HandleCall(HWND window, const flutter::MethodCall<EncodableValue>& call, Result result) {
  const EncodableValue& arguments = call.arguments() ? *call.arguments() : EncodableValue();
  if (call.method_name() == "echo") {
    result->Success(arguments);
    result->Success();
  } else if (call.method_name() == "textures") {
    FlutterDesktopTextureRegistrarRef textures = FlutterDesktopRegistrarGetTextureRegistrar(
        controller->engine()->GetRegistrarForPlugin("textures"));
    FlutterDesktopTextureInfo info = {};
    info.type = kFlutterDesktopPixelBufferTexture;
    int64_t id = FlutterDesktopTextureRegistrarRegisterExternalTexture(textures, &info);
    bool marked = FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(textures, 7);
    bool unregistered = false;
    FlutterDesktopTextureRegistrarUnregisterExternalTexture(
        textures, 7, [](void* done) { *static_cast<bool*>(done) = true; }, &unregistered);
    result->Success(EncodableValue(flutter::EncodableList{
        EncodableValue(id), EncodableValue(marked), EncodableValue(unregistered)}));
  } else if (call.method_name() == "after_engine") {
    after_engine.push_back(std::move(result));
  } else if (call.method_name() == "fail") {
    result->Error("FAILED", "asked to fail", arguments);
  } else if (call.method_name() == "later") {
    deferred.push_back(std::move(result));
    PostMessageW(window, kAnswerLater, 0, 0);
  } else {
    result->NotImplemented();
  }
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (controller) {
    if (auto handled = controller->HandleTopLevelWindowProc(window, message, wparam, lparam)) {
      return *handled;
    }
  }
  switch (message) {
    case kAnswerLater:
      for (Result& result : deferred) {
        result->Success(EncodableValue("late"));
      }
      deferred.clear();
      return 0;
    case WM_SIZE:
      if (controller && controller->view()) {
        MoveWindow(controller->view()->GetNativeWindow(), 0, 0, LOWORD(lparam), HIWORD(lparam),
                   TRUE);
      }
      return 0;
    case WM_DESTROY:
      channel.reset();
      controller.reset();
      for (Result& result : after_engine) {
        result->Success(EncodableValue("too late"));
      }
      after_engine.clear();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateHostWindow(HINSTANCE instance) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = HostWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = L"FLUTTER_STAND_IN_ECHO_HOST";
  RegisterClassW(&window_class);
  return CreateWindowExW(0, window_class.lpszClassName, L"Flutter stand-in echo host",
                         WS_OVERLAPPEDWINDOW, 10, 10, 640, 420, nullptr, nullptr, instance,
                         nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HWND window = CreateHostWindow(instance);
  if (!window) {
    return 1;
  }
  RECT client;
  GetClientRect(window, &client);
  flutter::DartProject project(L"data");
  project.set_dart_entrypoint_arguments(EntrypointArguments());
  controller = std::make_unique<flutter::FlutterViewController>(client.right, client.bottom,
                                                                project);
  if (!controller->engine() || !controller->view()) {
    return 1;
  }
  channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      controller->engine()->messenger(), "test/echo",
      &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler([window](const auto& call, Result result) {
    HandleCall(window, call, std::move(result));
  });

  HWND view = controller->view()->GetNativeWindow();
  SetParent(view, window);
  MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
  controller->engine()->SetNextFrameCallback([window] { ShowWindow(window, SW_SHOWNORMAL); });
  controller->ForceRedraw();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
