#ifndef FLUTTER_TEXTURE_REGISTRAR_H_
#define FLUTTER_TEXTURE_REGISTRAR_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "flutter_export.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopTextureRegistrar* FlutterDesktopTextureRegistrarRef;

typedef enum {
  kFlutterDesktopPixelBufferTexture,
  kFlutterDesktopGpuSurfaceTexture
} FlutterDesktopTextureType;

typedef enum {
  kFlutterDesktopGpuSurfaceTypeNone,
  // A DXGI shared handle.
  kFlutterDesktopGpuSurfaceTypeDxgiSharedHandle,
  // An ID3D11Texture2D.
  kFlutterDesktopGpuSurfaceTypeD3d11Texture2D
} FlutterDesktopGpuSurfaceType;

typedef enum {
  kFlutterDesktopPixelFormatNone,
  kFlutterDesktopPixelFormatRGBA8888,
  kFlutterDesktopPixelFormatBGRA8888
} FlutterDesktopPixelFormat;

typedef struct {
  const uint8_t* buffer;
  size_t width;
  size_t height;
  // Called, when not null, once the engine no longer reads |buffer|.
  void (*release_callback)(void* release_context);
  void* release_context;
} FlutterDesktopPixelBuffer;

typedef struct {
  // sizeof(FlutterDesktopGpuSurfaceDescriptor).
  size_t struct_size;
  // A HANDLE or an ID3D11Texture2D*, as the texture's surface type says.
  void* handle;
  size_t width;
  size_t height;
  size_t visible_width;
  size_t visible_height;
  FlutterDesktopPixelFormat format;
  // Called, when not null, once the engine has opened |handle|.
  void (*release_callback)(void* release_context);
  void* release_context;
} FlutterDesktopGpuSurfaceDescriptor;

// Called, possibly on another thread, for the frame of the given size.
typedef const FlutterDesktopPixelBuffer* (*FlutterDesktopPixelBufferTextureCallback)(
    size_t width,
    size_t height,
    void* user_data);

typedef const FlutterDesktopGpuSurfaceDescriptor* (*FlutterDesktopGpuSurfaceTextureCallback)(
    size_t width,
    size_t height,
    void* user_data);

typedef struct {
  FlutterDesktopPixelBufferTextureCallback callback;
  void* user_data;
} FlutterDesktopPixelBufferTextureConfig;

typedef struct {
  // sizeof(FlutterDesktopGpuSurfaceTextureConfig).
  size_t struct_size;
  FlutterDesktopGpuSurfaceType type;
  FlutterDesktopGpuSurfaceTextureCallback callback;
  void* user_data;
} FlutterDesktopGpuSurfaceTextureConfig;

typedef struct {
  FlutterDesktopTextureType type;
  union {
    FlutterDesktopPixelBufferTextureConfig pixel_buffer_config;
    FlutterDesktopGpuSurfaceTextureConfig gpu_surface_config;
  };
} FlutterDesktopTextureInfo;

// The new texture's id, or -1 when the texture cannot be registered.
FLUTTER_EXPORT int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar,
    const FlutterDesktopTextureInfo* info);

// |callback|, when not null, runs once the texture is gone (also for an unknown id).
FLUTTER_EXPORT void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar,
    int64_t texture_id,
    void (*callback)(void* user_data),
    void* user_data);

// False when no texture has |texture_id|.
FLUTTER_EXPORT bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef texture_registrar,
    int64_t texture_id);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // FLUTTER_TEXTURE_REGISTRAR_H_
