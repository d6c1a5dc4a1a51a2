# Cross-compiles 64-bit Windows binaries with the posix thread model mingw-w64 compilers
# (std::mutex and thread_local need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(SENDARO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
