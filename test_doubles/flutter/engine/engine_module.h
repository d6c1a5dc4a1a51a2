#ifndef FLUTTER_STAND_IN_ENGINE_MODULE_H_
#define FLUTTER_STAND_IN_ENGINE_MODULE_H_

#include <windows.h>

#include <string>

namespace flutter_stand_in {

// This library's module handle: the instance its window classes are registered under.
HMODULE EngineModule();

// UTF-8 as UTF-16 for Windows calls; invalid sequences become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_ENGINE_MODULE_H_
