# Build conventions for every Windows target of the project.

if(NOT WIN32)
  message(FATAL_ERROR "Sendaro is Windows code: configure with a toolchain file from cmake/ "
                      "or with Visual Studio.")
endif()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

# The provider and the bridge are loaded into processes we do not control, so no binary may
# depend on a compiler runtime DLL: the C and C++ runtimes are linked statically.
if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  add_compile_options(/W4 /utf-8 /EHsc)
else()
  add_compile_options(-Wall -Wextra -Wno-unknown-pragmas -Wno-cast-function-type)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
# Our own code only: third-party targets built from source carry SENDARO_THIRD_PARTY.
if(SENDARO_WARNINGS_AS_ERRORS)
  add_compile_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:SENDARO_THIRD_PARTY>>>:$<IF:$<CXX_COMPILER_ID:MSVC>,/WX,-Werror>>")
endif()

if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  # Test programs run under Wine through a wrapper that owns the test run's prefix.
  set(SENDARO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(SENDARO_WINE_LOADER wine)
    set(SENDARO_WINE_BITS 32)
    set(SENDARO_WINE_PACKAGE "Debian's wine32:i386")
  else()
    set(SENDARO_WINE_LOADER wine64)
    set(SENDARO_WINE_BITS 64)
    set(SENDARO_WINE_PACKAGE "Debian's wine64")
  endif()
  set(SENDARO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# A shared library with its exports taken from a module-definition file only; the names stay
# undecorated in the 32-bit build as well (no stdcall "@N" suffixes).
function(sendaro_add_export_library target def_file)
  add_library(${target} SHARED ${ARGN} ${def_file})
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(NOT MSVC)
    # The provider loads the bridge for every signature. Sections aligned to pages in the file
    # can be mapped as they are rather than copied in, and the static runtime's debug sections
    # are left out: under Wine that takes a third off each load (1.4 ms to 1.0 ms).
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--file-alignment,4096
                        -Wl,--strip-debug)
  endif()
endfunction()

# A stand-in library of test_doubles/: an export library that carries the stand-in mark in its
# version resource (test_doubles/stand_in_mark.rc), by which scripts/build-msi.sh keeps it out of
# a release package.
set(SENDARO_STAND_IN_MARK ${CMAKE_CURRENT_LIST_DIR}/../test_doubles/stand_in_mark.rc)
function(sendaro_add_stand_in_library target def_file)
  sendaro_add_export_library(${target} ${def_file} ${ARGN} ${SENDARO_STAND_IN_MARK})
endfunction()

# A GoogleTest program run under Wine by CTest; one process per program. It passes only with
# its own summary line printed (cmake/wine-run.in).
function(sendaro_add_wine_test name target)
  add_test(NAME ${name} COMMAND ${CMAKE_BINARY_DIR}/wine-run --test $<TARGET_FILE:${target}> ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# A test written as a script (COMMAND...): it passes only with its own closing line, the fixed
# text `summary`, printed.
function(sendaro_add_script_test name summary)
  add_test(NAME ${name}
           COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/summary-required.sh ${summary} ${ARGN})
endfunction()

# Makes `target` (a program or a library of the product) load the named system libraries, which
# are not "known DLLs", on first use and by their full path in the system folder (the hook in
# windows/internal_libs/common/system_delay_load.cpp), never through a search that starts in the
# folder of the program: sendaro_delay_load_system_libraries(Sendaro crypt32 winhttp ...).
# MSVC delay-loads with /DELAYLOAD. mingw-w64's ld has no such option: a delay-import library is
# made from the import library's names with dlltool, and its members are linked as object files,
# ahead of everything else, so that no call resolves to the ordinary import library. Not as an
# archive: for an archive member, the i686 ld keeps only the import slot and drops the thunk it
# points at when no code calls the thunk by name, so the slot would start out as an absolute zero
# and the first call through it would jump to the image base.
set(SENDARO_DELAY_LOAD_HOOK ${CMAKE_CURRENT_LIST_DIR}/../windows/internal_libs/common/system_delay_load.cpp)

# `dll` names the library the imports are taken from at run time (by default `library`).
function(sendaro_delay_import_objects library dll out)
  set(folder ${CMAKE_BINARY_DIR}/delay_load/${dll})
  set(archive ${CMAKE_BINARY_DIR}/delay_load/lib${dll}_delay.a)
  if(NOT EXISTS ${folder}/complete)
    file(REMOVE_RECURSE ${folder})
    file(MAKE_DIRECTORY ${folder})
    find_library(SENDARO_IMPORT_LIBRARY_${library} NAMES ${library} REQUIRED)
    execute_process(COMMAND ${CMAKE_NM} ${SENDARO_IMPORT_LIBRARY_${library}}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY ERROR_QUIET)
    # "__imp_Name" on x64, "__imp__Name@N" on x86.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX MATCHALL " I __imp__[^\n]+" imports "${symbols}")
      string(REPLACE " I __imp__" "" imports "${imports}")
      set(kill_at --kill-at)
    else()
      string(REGEX MATCHALL " I __imp_[^\n]+" imports "${symbols}")
      string(REPLACE " I __imp_" "" imports "${imports}")
      set(kill_at)
    endif()
    list(REMOVE_DUPLICATES imports)
    # mingw-w64's ncrypt import library also lists the BCrypt functions, which a Windows ncrypt.dll
    # need not export: they belong to bcrypt.dll and its own delay-import library.
    if(library STREQUAL "ncrypt")
      list(FILTER imports EXCLUDE REGEX "^BCrypt")
    endif()
    list(JOIN imports "\n" exports)
    file(WRITE ${CMAKE_BINARY_DIR}/delay_load/${dll}.def
         "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} ${kill_at}
                            --input-def ${CMAKE_BINARY_DIR}/delay_load/${dll}.def
                            --dllname ${dll}.dll --output-delaylib ${archive}
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_AR} x ${archive} WORKING_DIRECTORY ${folder}
                    COMMAND_ERROR_IS_FATAL ANY)
    file(TOUCH ${folder}/complete)
  endif()
  # The head's, the thunks' and the tail's sections must meet in that order, which the member
  # names ("_h", "_s00001", "_t") give when sorted.
  file(GLOB objects ${folder}/*.o)
  list(SORT objects)
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

function(sendaro_delay_load_system_libraries target)
  target_sources(${target} PRIVATE ${SENDARO_DELAY_LOAD_HOOK})
  target_link_libraries(${target} PRIVATE sendaro_internal_libs_common)
  foreach(library ${ARGN})
    # "crypt32=other" takes crypt32's functions from other.dll (a test's missing library).
    set(dll ${library})
    if(library MATCHES "^(.+)=(.+)$")
      set(library ${CMAKE_MATCH_1})
      set(dll ${CMAKE_MATCH_2})
    endif()
    if(MSVC)
      target_link_options(${target} PRIVATE /DELAYLOAD:${dll}.dll)
      target_link_libraries(${target} PRIVATE ${library})
    else()
      sendaro_delay_import_objects(${library} ${dll} objects)
      target_link_options(${target} PRIVATE ${objects})
    endif()
  endforeach()
  if(MSVC)
    target_link_libraries(${target} PRIVATE delayimp)
  endif()
endfunction()
