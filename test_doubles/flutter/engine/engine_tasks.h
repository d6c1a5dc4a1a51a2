#ifndef FLUTTER_STAND_IN_ENGINE_TASKS_H_
#define FLUTTER_STAND_IN_ENGINE_TASKS_H_

#include "engine_objects.h"

namespace flutter_stand_in {

// The message-only window that PostTask and PostDelayedTask run on.
HWND CreateTaskWindow(FlutterDesktopEngine* engine);

// Runs the tasks queued so far now (FlutterDesktopEngineProcessMessages).
void RunPendingTasks(FlutterDesktopEngine* engine);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_ENGINE_TASKS_H_
