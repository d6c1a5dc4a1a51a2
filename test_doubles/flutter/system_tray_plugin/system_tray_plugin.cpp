// The tray plugin's Dart half does not exist in the stand-in, so its native half registers
// nothing: the library only has to load and accept the registrar.
#include "system_tray/system_tray_plugin.h"

void SystemTrayPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef /*registrar*/) {}
