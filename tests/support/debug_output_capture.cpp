#include "debug_output_capture.h"

namespace {
DebugOutputCapture* g_active_capture = nullptr;
std::mutex g_active_mutex;
}  // namespace

DebugOutputCapture::DebugOutputCapture() {
  std::lock_guard<std::mutex> lock(g_active_mutex);
  g_active_capture = this;
  handler_ = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler);
}

DebugOutputCapture::~DebugOutputCapture() {
  RemoveVectoredExceptionHandler(handler_);
  std::lock_guard<std::mutex> lock(g_active_mutex);
  g_active_capture = nullptr;
}

std::vector<std::string> DebugOutputCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

LONG CALLBACK DebugOutputCapture::Handler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  std::lock_guard<std::mutex> lock(g_active_mutex);
  if (g_active_capture != nullptr) {
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    std::lock_guard<std::mutex> lines_lock(g_active_capture->mutex_);
    g_active_capture->lines_.emplace_back(text);
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}
