#!/usr/bin/env python3
"""Checks the Windows binaries of the build folders given on the command line.

Every .exe and .dll below them may import only Windows system libraries: the provider and the
bridge are loaded into programs we do not control, where a compiler runtime DLL would be
missing; only the main program also imports the Flutter engine and plugin libraries shipped
with it, and programs may import the embedded browser's loader, which ships beside them.
The product's programs, the provider and the installer's actions import statically only
"known DLLs", which Windows never takes from a program's folder; the other system libraries
they use are delay-loaded from the system folder by full path. (The bridge is loaded only by
the provider, with a search limited to its own folder and the system folder, which applies to
its imports too.) Every
library with a module-definition file in the source tree must export exactly
the names that file lists, undecorated (no stdcall "@N" suffix), in every build folder.
Every binary must also work once loaded at any address (pe_load_check). Prints every problem in
full (at most MAX_LOAD_PROBLEMS of one binary's load problems) and one summary line; --verbose lists each library's exports.
"""
import argparse
import pathlib
import re
import subprocess
import sys

import pe_load_check

SYSTEM_LIBRARIES = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "dwmapi.dll",
    "gdi32.dll", "iphlpapi.dll", "kernel32.dll", "msvcrt.dll", "ncrypt.dll", "ntdll.dll",
    "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "secur32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "userenv.dll", "uxtheme.dll", "version.dll", "winhttp.dll", "wintrust.dll",
    "ws2_32.dll",
}
SYSTEM_PREFIXES = ("api-ms-win-",)
# The KnownDLLs of Windows 10 and 11 that the product may import.
KNOWN_DLLS = {
    "advapi32.dll", "combase.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll",
    "msvcrt.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll",
    "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "ws2_32.dll",
}
PRODUCT_BINARIES = {"sendaro.exe", "murakokspconfig.exe", "murako_ksp.dll",
                    "sendaro_install_actions.dll"}
# The main program hosts the Flutter engine: it alone may import the engine library and the
# plugin library installed next to it.
PROGRAM_IMPORTS = {"sendaro.exe": {"flutter_windows.dll", "system_tray_plugin.dll"}}
# The embedded browser's loader ships next to the program that hosts the sign-in window; no
# library loaded into another program may depend on it.
PROGRAM_LIBRARIES = {"webview2loader.dll"}
SKIPPED_SOURCE_DIRS = {".git"}
MAX_LOAD_PROBLEMS = 8


def objdump(path):
    for tool in ("x86_64-w64-mingw32-objdump", "i686-w64-mingw32-objdump"):
        result = subprocess.run([tool, "-p", str(path)], capture_output=True, text=True)
        if result.returncode == 0:
            return result.stdout
    raise RuntimeError(f"objdump cannot read {path}")


def imports(dump):
    return [name.lower() for name in re.findall(r"^\s*DLL Name: (\S+)", dump, re.M)]


def exports(dump):
    table = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\s*\n|\Z)", dump, re.S)
    if not table:
        return []
    return re.findall(r"\[\s*\d+\]\s+(\S+)", table.group(1))


def definition_files(source_root):
    for path in source_root.rglob("*.def"):
        parts = path.relative_to(source_root).parts
        if SKIPPED_SOURCE_DIRS.isdisjoint(parts) and not parts[0].startswith("build"):
            yield path


def parse_definition(path):
    library, names, in_exports = None, [], False
    for raw in path.read_text().splitlines():
        line = raw.split(";", 1)[0].strip()
        if not line:
            continue
        words = line.split()
        if words[0].upper() == "LIBRARY":
            library = words[1].strip('"')
            if not library.lower().endswith(".dll"):
                library += ".dll"
        elif words[0].upper() == "EXPORTS":
            in_exports = True
        elif in_exports:
            names.append(words[0].split("=", 1)[0])
    return library, names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, type=pathlib.Path)
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("folders", nargs="+", type=pathlib.Path)
    args = parser.parse_args()

    failures, checked, tables = [], 0, 0
    for folder in args.folders:
        for binary in sorted(list(folder.rglob("*.exe")) + list(folder.rglob("*.dll"))):
            checked += 1
            allowed = (SYSTEM_LIBRARIES | PROGRAM_IMPORTS.get(binary.name.lower(), set())
                       | (PROGRAM_LIBRARIES if binary.suffix == ".exe" else set()))
            imported = imports(objdump(binary))
            foreign = [name for name in imported
                       if name not in allowed and not name.startswith(SYSTEM_PREFIXES)]
            if foreign:
                failures.append(f"{binary}: imports non-system libraries {', '.join(foreign)}")
            if binary.name.lower() in PRODUCT_BINARIES:
                known = KNOWN_DLLS | PROGRAM_IMPORTS.get(binary.name.lower(), set())
                searched = [name for name in imported
                            if name not in known and not name.startswith(SYSTEM_PREFIXES)]
                if searched:
                    failures.append(f"{binary}: imports libraries that are not known DLLs "
                                    f"{', '.join(searched)}: delay-load them")
            load = pe_load_check.load_problems(binary, binary.name.lower() in PRODUCT_BINARIES)
            failures += [f"{binary}: {problem}" for problem in load[:MAX_LOAD_PROBLEMS]]
            if len(load) > MAX_LOAD_PROBLEMS:
                failures.append(f"{binary}: {len(load) - MAX_LOAD_PROBLEMS} more load problems")

    for definition in definition_files(args.source):
        library, expected = parse_definition(definition)
        if library is None:
            failures.append(f"{definition}: no LIBRARY line")
            continue
        for folder in args.folders:
            binary = folder / library
            # Stand-ins that carry a system DLL's name are kept in a subfolder of their own.
            if not binary.exists():
                nested = sorted(folder.rglob(library))
                binary = nested[0] if len(nested) == 1 else binary
            if not binary.exists():
                failures.append(f"{binary}: missing (declared by {definition.name})")
                continue
            actual = exports(objdump(binary))
            tables += 1
            decorated = [name for name in actual if "@" in name]
            if decorated:
                failures.append(f"{binary}: decorated exports {', '.join(decorated)}")
            if sorted(actual) != sorted(expected):
                failures.append(f"{binary}: exports {sorted(actual)}, expected {sorted(expected)}")
            elif args.verbose:
                print(f"check: {binary} exports {', '.join(sorted(actual))}")

    for failure in failures:
        print(f"check: FAILED {failure}", file=sys.stderr)
    print(f"check: {checked} binaries' imports and {tables} export tables, "
          f"{len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
