#!/usr/bin/env bash
# Whether the x86 tree's programs run on this host, asked of the Wine at hand:
#   scripts/x86-runs.sh BUILD_ROOT   runs the x86 tree's probe (BUILD_ROOT/x86/bin/wine_probe.exe)
#                                    through the 32-bit loader in the prefix WINEPREFIX (a running
#                                    session's; the x86 tree's own when unset), and exits 0 when it
#                                    printed its line; prints one line either way, saying why
#   scripts/x86-runs.sh --kernel     exits 0 when this kernel runs 32-bit x86 code at all, for the
#                                    time before anything is built (scripts/setup.sh)
# The kernel alone does not answer it: without Debian's 32-bit Wine, its "wine" wrapper prints a
# hint, runs nothing and exits 0.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# A 91-byte i386 program that only exits. Kernels built with IA-32 emulation may still have it
# off (booted with ia32_emulation=off or its default turned off); that program then fails with
# "Exec format error". Its ELF header gives ABI version 1, which the kernel ignores and the usual
# qemu binfmt handler for i386 does not accept, so only the kernel itself ever runs it.
kernel_runs_32bit() {
  SENDARO_ROOT=$(dirname "$here") python3 - <<'PY'
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
}

if [ "${1:-}" = --kernel ]; then
  kernel_runs_32bit 2>/dev/null
  exit
fi

build=${1:?usage: x86-runs.sh BUILD_ROOT | --kernel}/x86
probe=$build/bin/wine_probe.exe
if [ ! -x "$build/wine-run" ] || [ ! -f "$probe" ]; then
  echo "no x86 probe program yet ($probe): the x86 tree is not built"
  exit 1
fi
expected="wine probe: a 32-bit Windows program ran"
output=$(SENDARO_WINEPREFIX=${WINEPREFIX:-} timeout 120 "$build/wine-run" "$probe" 2>&1 | tr -d '\r')
if grep -qxF "$expected" <<<"$output"; then
  echo "a 32-bit Windows program runs under ${SENDARO_WINE_LOADER:-/usr/lib/wine/wine}"
  exit 0
fi
said=$(grep -m1 . <<<"$output" || true)
said=${said#wine-run: }
kernel=""
kernel_runs_32bit 2>/dev/null || kernel="this kernel runs no 32-bit code; "
echo "${kernel}the 32-bit probe did not run: ${said:-it printed nothing}"
exit 1
