"""What a PE file needs to work once Windows has loaded it, read from the file alone.

A library is loaded at whatever address is free in the host program, so every DLL must carry
base relocations. Each import a call goes through must resolve to something inside the image:
a linker that drops an import thunk leaves its symbol an absolute zero, and the call jumps to
nowhere. mingw-w64's delay-import libraries keep their descriptors outside the PE directory,
so their address tables are found through the descriptors' symbols: each slot must start out
pointing at a thunk inside the image, in executable code, and carry a base relocation so that
it still does after the image moves.
"""
import re
import subprocess

import pefile

DELAY_DESCRIPTOR_SIZE = 32
IMAGE_SCN_MEM_EXECUTE = 0x20000000


def _symbols(path, nm):
    """(name, type letter, value) of every symbol of the image's COFF symbol table."""
    result = subprocess.run([nm, str(path)], capture_output=True, text=True)
    if result.returncode != 0:
        return []
    found = []
    for line in result.stdout.splitlines():
        match = re.match(r"^([0-9a-fA-F]+)\s+(\S)\s+(\S+)$", line.strip())
        if match:
            found.append((match.group(3), match.group(2), int(match.group(1), 16)))
    return found


def _absolute_zero(symbols):
    return {name for name, kind, value in symbols if kind in "Aa" and value == 0}


def _absolute_zero_slots(symbols):
    """Import slots the linker resolved to an absolute zero."""
    return [f"import slot {name} resolves to an absolute zero"
            for name in sorted(_absolute_zero(symbols)) if name.startswith("__imp_")]


def _slot_names(symbols, base):
    return {value - base: name for name, kind, value in symbols
            if name.startswith("__imp_") and value >= base}


def _relocated_rvas(image):
    rvas = set()
    for block in getattr(image, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type in (pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"],
                              pefile.RELOCATION_TYPE["IMAGE_REL_BASED_DIR64"]):
                rvas.add(entry.rva)
    return rvas


def _executable(image, rva):
    section = image.get_section_by_rva(rva)
    return section is not None and bool(section.Characteristics & IMAGE_SCN_MEM_EXECUTE)


def _delay_descriptors(image, symbols):
    """RVAs of the delay-import descriptors: the PE directory's, then the symbols'."""
    rvas = []
    directory = image.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]]
    if directory.VirtualAddress:
        count = directory.Size // DELAY_DESCRIPTOR_SIZE
        rvas += [directory.VirtualAddress + i * DELAY_DESCRIPTOR_SIZE for i in range(count)]
    base = image.OPTIONAL_HEADER.ImageBase
    rvas += [value - base for name, kind, value in symbols
             if name.lstrip("_").startswith("DELAY_IMPORT_DESCRIPTOR_") and value >= base]
    return sorted(set(rvas))


def _delay_slot_problems(image, descriptor_rva, relocated, symbols):
    fields = image.get_dword_at_rva(descriptor_rva), image.get_dword_at_rva(descriptor_rva + 4)
    attributes, name_rva = fields
    if name_rva == 0:
        return []  # the terminating descriptor
    iat_rva = image.get_dword_at_rva(descriptor_rva + 12)
    int_rva = image.get_dword_at_rva(descriptor_rva + 16)
    base = image.OPTIONAL_HEADER.ImageBase
    if not attributes & 1:  # old layout: virtual addresses, not RVAs
        name_rva, iat_rva, int_rva = name_rva - base, iat_rva - base, int_rva - base
    library = image.get_string_at_rva(name_rva).decode(errors="replace")
    width = 8 if image.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS else 4
    read = image.get_qword_at_rva if width == 8 else image.get_dword_at_rva
    end = base + image.OPTIONAL_HEADER.SizeOfImage
    names, zero = _slot_names(symbols, base), _absolute_zero(symbols)
    problems, index = [], 0
    while read(int_rva + index * width):
        slot = iat_rva + index * width
        target = read(slot)
        name = names.get(slot, "")
        where = f"delay import slot {index} of {library} ({name or f'RVA {slot:#x}'})"
        # Ordinary imports may drop a thunk nobody calls; a delay slot starts out at its thunk.
        if name and name[len("__imp_"):] in zero:
            problems.append(f"{where}: its thunk {name[len('__imp_'):]} is an absolute zero")
        if not base <= target < end or not _executable(image, target - base):
            problems.append(f"{where} points at {target:#x}, not at a thunk inside the image")
        if slot not in relocated:
            problems.append(f"{where} has no base relocation")
        index += 1
    if index == 0:
        problems.append(f"delay imports of {library} list no function")
    return problems


def load_problems(path, must_delay_load):
    """Every reason the image at `path` would fail once loaded, as text."""
    image = pefile.PE(str(path), fast_load=True)
    nm = ("x86_64-w64-mingw32-nm"
          if image.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
          else "i686-w64-mingw32-nm")
    image.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]])
    problems = []
    is_dll = image.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
    relocated = _relocated_rvas(image)
    if is_dll and not relocated:
        problems.append("a DLL without base relocations")
    symbols = _symbols(path, nm)
    problems += _absolute_zero_slots(symbols)
    descriptors = _delay_descriptors(image, symbols)
    if must_delay_load and not descriptors:
        problems.append("no delay-import descriptor found (no PE directory entry, no symbol)")
    for descriptor in descriptors:
        problems += _delay_slot_problems(image, descriptor, relocated, symbols)
    image.close()
    return problems
