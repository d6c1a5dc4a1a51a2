#ifndef FLUTTER_STAND_IN_VIEW_WINDOW_H_
#define FLUTTER_STAND_IN_VIEW_WINDOW_H_

#include <windows.h>

struct FlutterDesktopView;

namespace flutter_stand_in {

// The view's child window ("FLUTTERVIEW"), created under HWND_MESSAGE until the application
// re-parents it. It paints the engine's recent script lines, so a screenshot shows the run.
HWND CreateViewWindow(FlutterDesktopView* view, int width, int height);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_VIEW_WINDOW_H_
