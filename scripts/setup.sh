#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages; skips what is present.
#   scripts/setup.sh           both parts below, one after the other
#   scripts/setup.sh --x64     what the build and the x64 tree's tests need (amd64 packages only)
#   scripts/setup.sh --x86     the x86 tree's road: Debian's 32-bit Wine beside the 64-bit one where
#                              this kernel runs 32-bit code and it can be installed, else the QEMU
#                              guest's packages and its image (scripts/x86-guest.sh); its last line
#                              says which road and why
#   scripts/setup.sh --guest   the QEMU guest's packages only
# Every apt call rides out a mirror in the middle of a synchronisation: apt's own retries, then
# whole attempts a pause apart. No call here removes a package.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

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
guest_packages=(qemu-system-x86 debootstrap e2fsprogs kmod cpio busybox-static)
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64
attempts=${SENDARO_APT_ATTEMPTS:-3}
pause=${SENDARO_APT_PAUSE:-30}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing_of() {  # missing_of PACKAGE...: those not installed, one per line
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

# apt_get COMMAND ARGS...: apt-get with its own retries, and the whole call again after a pause.
apt_get() {
  local attempt
  for attempt in $(seq 1 "$attempts"); do
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -q -o Acquire::Retries=5 "$@" && return 0
    if [ "$attempt" -lt "$attempts" ]; then
      echo "setup: apt-get $1 failed (attempt $attempt of $attempts); again in $pause s"
      sleep "$pause"
    fi
  done
  return 1
}

# install_missing WHAT PACKAGE...: the packages not yet installed, from amd64 indexes only, so that
# an i386 index caught mid-synchronisation never holds them up.
install_missing() {
  local what=$1 missing
  shift
  mapfile -t missing < <(missing_of "$@")
  if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present$what"
    return
  fi
  echo "setup: installing ${missing[*]}$what"
  apt_get update -o APT::Architectures=amd64
  apt_get install -o APT::Architectures=amd64 -y --no-install-recommends --no-remove "${missing[@]}"
}

install_x64() { install_missing "" "${packages[@]}"; }
install_guest() { install_missing " for the x86 guest" "${guest_packages[@]}"; }

loaders_present() { [ -x "$loader64" ] && [ -x "$loader32" ]; }

# The main suite's version of PACKAGE (not the security or updates suite's).
main_suite_version() {
  apt-cache madison "$1" | awk -F' [|] ' -v suite="$suite" '
    { split($3, where, " "); if (where[2] ~ "^" suite "/") { gsub(/ /, "", $2); print $2; exit } }'
}

# Debian's 32-bit Wine beside the 64-bit one. While the i386 index of the security suite is being
# synchronised its libraries cannot match their amd64 versions; the main suite's versions match
# across architectures, once the amd64 libraries newer there are asked for at the same version.
install_wine32() {
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  # A failed index leaves the ones that did download usable: the install is tried all the same.
  apt_get update || true
  if apt_get install -y --no-install-recommends --no-remove wine32:i386 && loaders_present; then
    return 0
  fi
  echo "setup: wine32:i386 did not install from the current indexes; trying $suite's own versions"
  local gst=libgstreamer-plugins-base1.0-0 version
  version=$(main_suite_version "$gst")
  local pinned=()
  [ -n "$version" ] && pinned=("$gst=$version" "$gst:i386=$version")
  apt_get install -y --no-install-recommends --no-remove -t "$suite" --allow-downgrades \
    wine64 libwine wine32:i386 "${pinned[@]}" && loaders_present
}

# x86_road: installs what the x86 tree's road needs; the last line says which road and why.
x86_road() {
  local why
  if [ "${SENDARO_X86_GUEST:-}" = 1 ]; then
    why="SENDARO_X86_GUEST=1 asks for it"
  elif ! bash "$here/x86-runs.sh" --kernel; then
    why="this kernel runs no 32-bit code"
  elif loaders_present; then
    echo "setup: x86 tree: on this host: Debian's 32-bit Wine is installed ($loader32)"
    return
  elif install_wine32; then
    echo "setup: x86 tree: on this host: Debian's 32-bit Wine installed ($loader32)"
    return
  else
    why="Debian's 32-bit Wine could not be installed"
  fi
  [ -x "$loader64" ] || { echo "setup: FAILED: the 64-bit Wine loader $loader64 is gone"; return 1; }
  install_guest
  local started=$SECONDS
  bash "$here/x86-guest.sh" image >/dev/null
  echo "setup: x86 tree: in a QEMU guest: $why (guest image ready after $((SECONDS - started)) s)"
}

case "${1:-}" in
  --x64) install_x64 ;;
  --x86) x86_road ;;
  --guest) install_guest ;;
  '') install_x64; x86_road ;;
  *) echo "usage: $0 [--x64 | --x86 | --guest]" >&2; exit 2 ;;
esac
