#pragma once

// 32-bit x86 builds of the GNU toolchain describe how to unwind each function in a table
// (.eh_frame) that the startup code registers with an unwinder when the library is loaded.
// When the host process already has the toolchain's shared runtime (libgcc_s_dw2-1.dll) loaded,
// as programs built with that toolchain's shared runtime do, the startup code registers the
// table with that DLL instead of with the unwinder linked into the library. Every exception
// the library throws then finds no unwind information, even one caught inside the library,
// and the host process ends in std::terminate. Call from DllMain: on attach the library's own
// unwinder gets the table when it does not know it; on detach it forgets it again. Other
// builds (64-bit, MSVC) need nothing.

#include <windows.h>

#include <cstring>

#include "system_library.h"

#if defined(__GNUC__) && defined(__i386__) && !defined(__SEH__) && \
    !defined(__USING_SJLJ_EXCEPTIONS__)
#define SENDARO_REGISTERS_UNWIND_TABLES 1

extern "C" {
struct SendaroDwarfEhBases {
  void* tbase;
  void* dbase;
  void* func;
};
const void* _Unwind_Find_FDE(void* pc, SendaroDwarfEhBases* bases);
void __register_frame_info(const void* table, void* object);
void* __deregister_frame_info(const void* table);
}

namespace own_unwind_tables {

// The unwinder's record of a registered table (its "struct object", six or seven pointers).
alignas(void*) inline unsigned char g_object[16 * sizeof(void*)];
inline const void* g_registered = nullptr;

// The library's .eh_frame section (its name is cut to eight characters in an image).
inline const void* TableOfThisLibrary(HMODULE module) {
  const BYTE* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD index = 0; index < nt->FileHeader.NumberOfSections; ++index, ++section) {
    if (std::memcmp(section->Name, ".eh_fram", IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return base + section->VirtualAddress;
    }
  }
  return nullptr;
}

inline void Attach() {
  SendaroDwarfEhBases bases{};
  void* code = reinterpret_cast<void*>(&Attach);
  if (_Unwind_Find_FDE(code, &bases) != nullptr) return;
  HMODULE module = ModuleContaining(code);
  const void* table = module != nullptr ? TableOfThisLibrary(module) : nullptr;
  if (table == nullptr) return;
  __register_frame_info(table, g_object);
  g_registered = table;
}

inline void Detach() {
  if (g_registered == nullptr) return;
  __deregister_frame_info(g_registered);
  g_registered = nullptr;
}

}  // namespace own_unwind_tables
#endif

// Call first in DllMain with its reason (nothing a library does while being unloaded throws).
inline void KeepOwnUnwindTables(DWORD reason) {
#if defined(SENDARO_REGISTERS_UNWIND_TABLES)
  if (reason == DLL_PROCESS_ATTACH) own_unwind_tables::Attach();
  if (reason == DLL_PROCESS_DETACH) own_unwind_tables::Detach();
#else
  (void)reason;
#endif
}
