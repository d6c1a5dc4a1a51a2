// The engine library's texture registrar. The stand-in draws no textures, so it answers as the
// engine does for a texture it does not know: nothing can be registered (-1), no frame can be
// marked (false), and unregistering completes at once.
#include <flutter_windows.h>

#include <iostream>

#include "api_guard.h"
#include "engine_objects.h"

using flutter_stand_in::GuardedVoid;

// Defined with C linkage also where an older SDK header does not declare them.
extern "C" {

FlutterDesktopTextureRegistrarRef FlutterDesktopRegistrarGetTextureRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar ? &registrar->engine->texture_registrar : nullptr;
}

int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef /*texture_registrar*/,
    const FlutterDesktopTextureInfo* /*info*/) {
  GuardedVoid(__func__, [] {
    std::cerr << "FlutterDesktopTextureRegistrarRegisterExternalTexture: the stand-in engine "
                 "draws no textures"
              << std::endl;
  });
  return -1;
}

bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef /*texture_registrar*/,
    int64_t /*texture_id*/) {
  return false;
}

#if FLUTTER_SDK_HAS_TEXTURE_UNREGISTER_CALLBACK
void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef /*texture_registrar*/,
    int64_t /*texture_id*/,
    void (*callback)(void* user_data),
    void* user_data) {
  GuardedVoid(__func__, [&] {
    if (callback) {
      callback(user_data);
    }
  });
}
#else
bool FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef /*texture_registrar*/,
    int64_t /*texture_id*/) {
  return false;
}
#endif

}  // extern "C"
