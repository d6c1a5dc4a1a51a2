#ifndef FLUTTER_STAND_IN_API_GUARD_H_
#define FLUTTER_STAND_IN_API_GUARD_H_

#include <exception>
#include <iostream>

namespace flutter_stand_in {

// Runs the body of an exported function; no exception leaves the library.
template <typename Result, typename Body>
Result Guarded(const char* function, Result on_failure, Body body) {
  try {
    return body();
  } catch (const std::exception& error) {
    std::cerr << function << ": " << error.what() << std::endl;
  } catch (...) {
    std::cerr << function << ": unknown exception" << std::endl;
  }
  return on_failure;
}

template <typename Body>
void GuardedVoid(const char* function, Body body) {
  Guarded(function, 0, [&body] {
    body();
    return 0;
  });
}

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_API_GUARD_H_
