# Third-party code comes from the build machine's Debian packages, never from the tree.

# nlohmann JSON is header only. Only its own folder is put on the include path: the whole of
# /usr/include would let Linux headers shadow the Windows ones.
set(SENDARO_NLOHMANN_DIR "/usr/include/nlohmann" CACHE PATH "Folder holding nlohmann/json.hpp")
if(NOT EXISTS ${SENDARO_NLOHMANN_DIR}/json.hpp)
  message(FATAL_ERROR "nlohmann JSON not found in ${SENDARO_NLOHMANN_DIR} (package nlohmann-json3-dev)")
endif()
set(_nlohmann_include ${CMAKE_BINARY_DIR}/external_include)
file(MAKE_DIRECTORY ${_nlohmann_include})
file(CREATE_LINK ${SENDARO_NLOHMANN_DIR} ${_nlohmann_include}/nlohmann SYMBOLIC COPY_ON_ERROR)
add_library(sendaro_nlohmann_json INTERFACE)
target_include_directories(sendaro_nlohmann_json SYSTEM INTERFACE ${_nlohmann_include})

# GoogleTest built from source with the same toolchain as the product.
set(SENDARO_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
macro(sendaro_add_googletest)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SENDARO_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(_gtest_target gtest gtest_main gmock gmock_main)
    if(TARGET ${_gtest_target})
      set_target_properties(${_gtest_target} PROPERTIES SENDARO_THIRD_PARTY ON)
    endif()
  endforeach()
endmacro()
