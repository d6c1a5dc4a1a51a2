#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages; skips what is present.
set -euo pipefail

packages=(
  cmake make python3
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64
  googletest nlohmann-json3-dev
  python3-flask python3-authlib python3-cryptography python3-pefile
  xvfb xauth
  squid
  imagemagick
  wixl msitools
  osslsigncode openssl gcab
  clang-14 libclang-rt-14-dev llvm-14
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
else
  echo "setup: all packages present"
fi

# The x86 tree's programs run under Debian's 32-bit Wine, next to the 64-bit one, where the
# kernel runs 32-bit code, and in a QEMU guest elsewhere.
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
x86_runs=true
bash "$(dirname "$0")/x86-runs.sh" || x86_runs=false
if ! $x86_runs || [ "${SENDARO_X86_GUEST:-}" = 1 ]; then
  # Where it does not (or when asked to), the x86 tests run in a QEMU guest (scripts/x86-guest.sh).
  guest_packages=(qemu-system-x86 debootstrap e2fsprogs kmod cpio busybox-static)
  guest_missing=()
  for package in "${guest_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      guest_missing+=("$package")
  done
  if [ ${#guest_missing[@]} -gt 0 ]; then
    echo "setup: installing ${guest_missing[*]} for the x86 guest"
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
      "${guest_missing[@]}"
  fi
fi
if ! $x86_runs; then
  echo "setup: this kernel runs no 32-bit code: the x86 tests run in a QEMU guest"
elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "setup: installing wine32:i386"
  # The x64 build and tests need none of it: a failure here only leaves the x86 tests unrunnable.
  if ! { "${sudo_cmd[@]}" dpkg --add-architecture i386 &&
         "${sudo_cmd[@]}" apt-get update -q &&
         DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q \
           --no-install-recommends wine32:i386; }; then
    echo "setup: WARNING: wine32:i386 could not be installed; the x86 tests cannot run"
  fi
fi
