#!/usr/bin/env bash
# Runs the x86 CTest tree inside a small QEMU guest (software emulation) whose Debian kernel runs
# 32-bit code, for machines whose own kernel runs none (scripts/x86-runs.sh).
#   scripts/x86-guest.sh image                        builds the guest image once, or finds it,
#                                                     and prints its folder
#   scripts/x86-guest.sh run BUILD_ROOT [CTEST_ARGS]  boots it once and runs
#                                                     ctest --test-dir BUILD_ROOT/x86 in it
# The image is cached outside the clone, keyed by a hash of its recipe (the functions below
# whose names start with recipe_, the package list and the kernel version), in
# ${SENDARO_GUEST_CACHE:-/var/cache/sendaro/x86-guest}/KEY/, so other clones and CI runs on the
# same machine reuse it. The guest sees the source root and BUILD_ROOT at their host paths (the
# CTest files and the wine-run wrapper hold absolute paths), keeps its own Wine prefix, made at
# image build, and runs the service double on its own loopback. Its console is the output; ctest's
# exit code comes back through a shared folder and is this script's exit code.
#   SENDARO_GUEST_TIMEOUT   seconds a whole run may take before QEMU is killed (default 2400)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
cache_root=${SENDARO_GUEST_CACHE:-/var/cache/sendaro/x86-guest}
suite=bookworm
guest_prefix=/var/lib/sendaro/wineprefix
packages=(
  wine wine64 wine32:i386 libgnutls30:i386 xvfb xauth
  python3 python3-flask python3-authlib python3-cryptography
  cmake bash procps iproute2 util-linux coreutils
)
# Modules the initramfs loads, with what they depend on, to reach the disk and the shares.
modules=(virtio_pci virtio_blk crc32c_generic ext4 9pnet_virtio 9p)

say() { echo "x86-guest: $*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The bookworm mirror apt uses on this machine (deb822 sources or the one-line format).
host_mirror() {
  local mirror
  mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v suite="$suite" '
    /^URIs:/ { uri = $2 } /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) print uri }
    /^$/ { uri = "" }' | head -1)
  [ -n "$mirror" ] || mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    2>/dev/null | awk -v suite="$suite" '$1 == "deb" && $0 ~ " " suite " " {
      for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' | head -1)
  echo "${mirror:-http://deb.debian.org/debian}"
}

# The ABI version of Debian's current kernel for this suite, e.g. 6.1.0-57.
kernel_version() {
  local version
  version=$(apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: linux-image-\(.*\)-amd64$/\1/p' | head -1)
  if [ -z "$version" ]; then
    as_root apt-get update -q >/dev/null
    version=$(apt-cache depends linux-image-amd64 |
      sed -n 's/^ *Depends: linux-image-\(.*\)-amd64$/\1/p' | head -1)
  fi
  [ -n "$version" ] || fail "no linux-image-amd64 package known to apt"
  echo "$version"
}

# --- the recipe: everything that goes into the image ---------------------------------------

# The guest's first program after the initramfs: mounts, loopback, then the job the kernel
# command line names (sendaro.mode=prefix at image build, sendaro.mode=run for a test run).
recipe_guest_init() {
  cat <<'INIT'
#!/bin/bash
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb
off() { sync; echo o >/proc/sysrq-trigger; sleep 10; }
die() { echo "x86-guest: FAILED in the guest: $*"; off; }
mount -t proc proc /proc 2>/dev/null; mount -t sysfs sys /sys 2>/dev/null
mount -t devtmpfs dev /dev 2>/dev/null; mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp; mount -t tmpfs tmpfs /run
echo 1 >/proc/sys/kernel/sysrq
echo sendaro-x86-guest >/proc/sys/kernel/hostname
ip link set lo up || die "loopback not up"
mkdir -p /run/sendaro
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 out /run/sendaro ||
  die "no shared folder 'out'"
case " $(cat /proc/cmdline) " in
  *" sendaro.mode=prefix "*) bash /run/sendaro/job.sh >/run/sendaro/prefix.log 2>&1
                             echo $? >/run/sendaro/status ;;
  *" sendaro.mode=run "*) bash /run/sendaro/job.sh; echo $? >/run/sendaro/status ;;
  *) die "no sendaro.mode on the kernel command line" ;;
esac
umount /run/sendaro
off
INIT
}

# The initramfs's /init (busybox): the modules, the disk, then the root's own init.
recipe_initramfs_init() {
  cat <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
die() { echo "x86-guest: FAILED in the initramfs: $*"; sync; poweroff -f; }
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
while read -r module; do
  # One that does not fit this CPU (an accelerated variant) leaves the generic one to serve.
  insmod "/modules/$module" || echo "x86-guest: warning: insmod $module failed"
done </modules/order
waited=0
until [ -b /dev/vda ]; do
  [ $waited -ge 100 ] && die "no disk /dev/vda"
  sleep 0.1; waited=$((waited + 1))
done
mkdir -p /newroot
mount -t ext4 -o rw /dev/vda /newroot || die "cannot mount /dev/vda"
[ -x /newroot/sbin/sendaro-init ] || die "no /sbin/sendaro-init on the disk"
umount /proc /sys /dev
exec switch_root /newroot /sbin/sendaro-init
INIT
}

# The Wine prefix the test programs use, made once inside the guest (it runs 32-bit code).
recipe_prefix_job() {
  cat <<JOB
set -eu
export WINEPREFIX=$guest_prefix WINEARCH=win64 WINEDEBUG=-all DISPLAY=:90
Xvfb :90 -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
sleep 1
rm -rf "\$WINEPREFIX"; mkdir -p "\$WINEPREFIX"
/usr/lib/wine/wine64 wineboot -i
# A crashing program prints its backtrace and exits instead of waiting on a dialog.
/usr/lib/wine/wine64 reg add 'HKCU\\Software\\Wine\\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
wineserver -w  # the server saves the registry as it exits
test -d "\$WINEPREFIX/drive_c/windows/syswow64"
echo prefix made
JOB
}

recipe_build() {  # recipe_build FOLDER KERNEL_VERSION MIRROR
  local work=$1 kver=$2 mirror=$3 rootfs=$1/root kroot=$1/kernel-root
  say "building the guest image in $work (kernel $kver, mirror $mirror)"
  mkdir -p "$kroot" "$work/initramfs"/{bin,modules,proc,sys,dev}
  (cd "$work" && apt-get download "linux-image-$kver-amd64" 2>&1 | grep -v '^W: Download is' || true)
  dpkg-deb -x "$work"/linux-image-"$kver"-amd64_*.deb "$kroot"
  depmod -b "$kroot" "$kver-amd64"
  cp "$kroot/boot/vmlinuz-$kver-amd64" "$work/kernel"

  # The initramfs: busybox and the listed modules in dependency order.
  cp /bin/busybox "$work/initramfs/bin/busybox"
  modprobe -d "$kroot" -S "$kver-amd64" --show-depends -a "${modules[@]}" |
    awk '$1 == "insmod" { print $2 }' | awk '!seen[$0]++' |
    while read -r module; do
      cp "$module" "$work/initramfs/modules/"
      basename "$module" >>"$work/initramfs/modules/order"
    done
  recipe_initramfs_init >"$work/initramfs/init"
  chmod 755 "$work/initramfs/init"
  (cd "$work/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"

  # The root: minbase, then Wine of both bitnesses and what the tests use.
  debootstrap --variant=minbase "$suite" "$rootfs" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log" >&2; fail "debootstrap"; }
  mount -t proc proc "$rootfs/proc"
  local status=0
  chroot "$rootfs" /bin/bash -c '
    set -e
    dpkg --add-architecture i386
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" ||
      { dpkg --configure -a || true; }  # 32-bit helpers may fail where 32-bit code runs not
    apt-get clean; rm -rf /var/lib/apt/lists/*' _ "${packages[@]}" >"$work/apt.log" 2>&1 ||
    status=$?
  umount "$rootfs/proc"
  [ $status -eq 0 ] || { tail -30 "$work/apt.log" >&2; fail "package install in the guest root"; }
  chroot "$rootfs" sh -c 'command -v ctest && command -v Xvfb && command -v wineserver &&
    test -x /usr/lib/wine/wine64 && test -x /usr/lib/wine/wine' >/dev/null ||
    fail "the guest root lacks ctest, Xvfb or Wine"
  recipe_guest_init >"$rootfs/sbin/sendaro-init"
  chmod 755 "$rootfs/sbin/sendaro-init"
  mkdir -p "$rootfs$guest_prefix"
  mke2fs -q -t ext4 -d "$rootfs" -L sendaro "$work/root.img" 6G
  rm -rf "$rootfs" "$kroot" "$work/initramfs" "$work"/linux-image-*.deb

  # First boot, without snapshot: the prefix is saved in the image.
  mkdir -p "$work/out"
  recipe_prefix_job >"$work/out/job.sh"
  local started=$SECONDS
  guest_boot "$work" prefix off "$work/out" 900 >"$work/prefix-console.log" 2>&1 || true
  if [ "$(cat "$work/out/status" 2>/dev/null)" != 0 ]; then
    cat "$work/prefix-console.log" "$work/out/prefix.log" >&2 2>/dev/null || true
    fail "making the Wine prefix in the guest"
  fi
  say "Wine prefix made in the guest in $((SECONDS - started)) s"
  e2fsck -fn "$work/root.img" >/dev/null 2>&1 || fail "the image's file system is damaged"
  rm -rf "$work/out"
}

# --- running ---------------------------------------------------------------------------------

# guest_boot IMAGE_DIR MODE SNAPSHOT(on|off) OUT_DIR TIMEOUT [TAG=PATH...]: one boot; the console
# is this function's output. Exits 124 when the timeout killed QEMU.
guest_boot() {
  local image=$1 mode=$2 snapshot=$3 out=$4 limit=$5
  shift 5
  local shares=(-virtfs "local,path=$out,mount_tag=out,security_model=none") share
  for share in "$@"; do
    shares+=(-virtfs "local,path=${share#*=},mount_tag=${share%%=*},security_model=none")
  done
  # The snapshot overlay goes to TMPDIR, beside the shared folder.
  TMPDIR=$(dirname "$out") timeout --kill-after=10 "$limit" qemu-system-x86_64 \
    -accel tcg,thread=multi -cpu max,-smap -m 2048 -smp 2 -nographic -no-reboot -nic none \
    -kernel "$image/kernel" -initrd "$image/initramfs.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 sendaro.mode=$mode" \
    -drive "file=$image/root.img,if=virtio,format=raw,snapshot=$snapshot" \
    "${shares[@]}" </dev/null
}

image_key() {
  local kver=$1
  { declare -f recipe_guest_init recipe_initramfs_init recipe_prefix_job recipe_build guest_boot
    printf '%s\n' "$suite" "$kver" "$guest_prefix" "${packages[@]}" "${modules[@]}"
  } | sha256sum | cut -c1-16
}

# Prints the image's folder, building it first when the cache has none for this recipe.
image() {
  local kver key folder
  kver=$(kernel_version)
  key=$(image_key "$kver")
  folder=$cache_root/$key
  if [ ! -f "$folder/root.img" ]; then
    if [ "$(id -u)" -ne 0 ]; then
      sudo -E bash "$0" image >/dev/null
    else
      mkdir -p "$cache_root"
      exec 8>"$cache_root/.lock"
      flock 8  # another run building the same image: wait, then take its result
      if [ ! -f "$folder/root.img" ]; then
        local work started=$SECONDS
        rm -rf "$cache_root"/.build-*
        work=$(mktemp -d "$cache_root/.build-$key-XXXX")
        # A process of its own, so that errexit holds in every step of the recipe.
        bash "$0" build-into "$work" "$kver" "$(host_mirror)" >&2 ||
          { umount "$work/root/proc" 2>/dev/null || true; rm -rf "$work"; fail "image build"; }
        rm -rf "$folder"
        mv "$work" "$folder"  # only a complete image ever gets the key's name
        say "guest image built in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
      fi
      exec 8>&-
    fi
  fi
  [ -f "$folder/root.img" ] || fail "no guest image in $folder"
  echo "$folder"
}

run() {
  local build_root
  build_root=$(cd "${1:?usage: x86-guest.sh run BUILD_ROOT [CTEST_ARGS...]}" && pwd)
  shift
  [ -f "$build_root/x86/CTestTestfile.cmake" ] || fail "no x86 CTest tree in $build_root/x86"
  command -v qemu-system-x86_64 >/dev/null ||
    fail "qemu-system-x86_64 is missing (bash scripts/setup.sh --guest installs it)"
  local folder
  folder=$(image)
  run_dir=$(mktemp -d "${TMPDIR:-/tmp}/sendaro-x86-guest-XXXX")
  trap 'rm -rf "$run_dir"' EXIT
  local out=$run_dir/share
  mkdir "$out"
  # The source root, and the build root when it lies outside it, at their own paths.
  local shares=("src=$root") mounts=("src $root")
  case "$build_root/" in
    "$root"/*) ;;
    *) shares+=("build=$build_root"); mounts+=("build $build_root") ;;
  esac
  {
    echo 'set -u'
    echo 'o=trans=virtio,version=9p2000.L,msize=512000,cache=mmap'
    # The shorter path first, so one inside the other is mounted over it.
    printf '%s\n' "${mounts[@]}" | awk '{ print length($2), $0 }' | sort -n | cut -d' ' -f2- |
      while read -r tag path; do
        printf 'mkdir -p %q && mount -t 9p -o "$o" %q %q || ' "$path" "$tag" "$path"
        printf '{ echo "x86-guest: FAILED in the guest: cannot mount %q"; exit 97; }\n' "$path"
      done
    printf 'exec bash %q guest-run %q' "$root/scripts/x86-guest.sh" "$build_root"
    printf ' %q' "$@"
    echo
  } >"$out/job.sh"
  local limit=${SENDARO_GUEST_TIMEOUT:-2400} started=$SECONDS boot_status=0
  say "booting the guest ($folder), at most $limit s"
  guest_boot "$folder" run on "$out" "$limit" "${shares[@]}" |
    sed -u 's/\r$//; s/\x1b[[][0-9;?]*[a-zA-Z]//g; s/\x1bc//g' ||
    boot_status=${PIPESTATUS[0]}
  say "guest run took $((SECONDS - started)) s"
  if [ "$boot_status" -eq 124 ] || [ "$boot_status" -eq 137 ]; then
    fail "the guest run exceeded $limit s (SENDARO_GUEST_TIMEOUT); QEMU was killed"
  fi
  local status
  status=$(cat "$out/status" 2>/dev/null || true)
  case "$status" in
    ''|*[!0-9]*) fail "the guest gave no exit code (QEMU exited with $boot_status)" ;;
  esac
  return "$status"
}

# Inside the guest: Xvfb, one persistent wineserver on the guest's prefix, then ctest.
guest_run() {
  local build_root=$1
  shift
  export WINEPREFIX=$guest_prefix SENDARO_WINEPREFIX=$guest_prefix WINEARCH=win64 WINEDEBUG=-all
  export SENDARO_X86_RUNS=yes SENDARO_BUILD_ROOT=$build_root DISPLAY=:90 TMPDIR=/tmp
  Xvfb :90 -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
  sleep 1
  echo "x86-guest: guest up $(cut -d' ' -f1 /proc/uptime) s after its kernel started"
  # Wine maps the programs' images: pages of an image mapped from the 9p share came up empty
  # (a crash at the first import thunk), so every folder of programs and libraries runs from a
  # guest-local copy at the same path.
  local dir
  find "$build_root/x86" \( -path '*/CMakeFiles' -o -path "$build_root/x86/wineprefix" \) \
      -prune -o \( -name '*.exe' -o -name '*.dll' \) -printf '%h\n' | sort -u |
    while read -r dir; do
      case "$dir/" in "${copied:-//}"/*) continue ;; esac  # inside a folder copied already
      copied=$dir
      mkdir -p "/tmp/x86-local$dir" && cp -a "$dir/." "/tmp/x86-local$dir/" &&
        mount --bind "/tmp/x86-local$dir" "$dir" ||
        { echo "x86-guest: FAILED in the guest: no local copy of $dir"; exit 96; }
    done || return 96
  local started=$SECONDS
  wineserver -p >/dev/null 2>&1
  /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 ||
    { echo "x86-guest: FAILED in the guest: wineboot"; return 98; }
  echo "x86-guest: Wine session started in $((SECONDS - started)) s"
  local probe
  probe=$(bash "$root/scripts/x86-runs.sh" "$build_root") ||
    { echo "x86-guest: FAILED in the guest: $probe"; return 95; }
  local status=0
  ctest --test-dir "$build_root/x86" --output-on-failure "$@" || status=$?
  wineserver -k >/dev/null 2>&1 || true
  return $status
}

case "${1:-}" in
  image) image ;;
  run) shift; run "$@" ;;
  guest-run) shift; guest_run "$@" ;;
  build-into) shift; recipe_build "$@" ;;
  *) echo "usage: $0 image | run BUILD_ROOT [CTEST_ARGS...]" >&2; exit 2 ;;
esac
