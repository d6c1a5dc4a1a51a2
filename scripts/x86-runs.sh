#!/usr/bin/env bash
# Exits 0 when this machine's kernel runs 32-bit x86 programs, and so 32-bit Wine: it executes a
# 91-byte i386 program that only exits. Kernels built with IA-32 emulation may still have it off
# (booted with ia32_emulation=off or its default turned off); that program then fails with
# "Exec format error". Its ELF header gives ABI version 1, which the kernel ignores and the usual
# qemu binfmt handler for i386 does not accept, so only the kernel itself ever runs it.
set -euo pipefail
SENDARO_ROOT=$(cd "$(dirname "$0")/.." && pwd) exec python3 - <<'PY'
import os, struct, subprocess, sys, tempfile
code = bytes([0x31, 0xDB, 0x31, 0xC0, 0x40, 0xCD, 0x80])  # exit(0) through int 0x80
base, size = 0x08048000, 52 + 32 + 7
header = b"\x7fELF" + bytes([1, 1, 1, 0, 1]) + bytes(7) + struct.pack(
    "<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
# The temporary folder first, the working copy where that one is mounted without execution.
for place in (None, os.environ["SENDARO_ROOT"]):
    with tempfile.TemporaryDirectory(dir=place) as folder:
        probe = os.path.join(folder, "i386-probe")
        with open(probe, "wb") as out:
            out.write(header + segment + code)
        os.chmod(probe, 0o755)
        try:
            sys.exit(subprocess.run([probe], timeout=10).returncode)
        except PermissionError:
            continue
        except (OSError, subprocess.TimeoutExpired):
            sys.exit(1)
sys.exit(1)
PY
