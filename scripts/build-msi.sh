#!/usr/bin/env bash
# Builds the installer with wixl from the x64 and x86 build trees (built beforehand by
# scripts/build.sh). The version is SENDARO_VERSION of the top-level CMakeLists.txt, through the
# include file CMake generates in build/x64/packaging.
#
# A release package, build/Sendaro-<version>-x64.msi, takes the Flutter engine library, the tray
# plugin library and the data folder from a Flutter application's Windows release build folder
# and the browser loader from the WebView2 SDK; Sendaro's own programs and libraries come from
# the build trees. Without those two folders the package takes the build's stand-ins instead: a
# test package, build/Sendaro-<version>-x64-test.msi, named "Sendaro (test package)". A release
# refuses every file that carries the stand-in mark (test_doubles/stand_in_mark.rc).
#   --flutter-app DIR   the application's release build folder, for example
#                       build/windows/x64/runner/Release: flutter_windows.dll,
#                       system_tray_plugin.dll, data/
#   --webview2-sdk DIR  the WebView2 SDK package (its build/native/x64/WebView2Loader.dll)
#   --output FILE       where to write the package (a test package's name ends in -test.msi)
#   --version X.Y.Z     package another version (tests use it to build an upgrade)
#   --certificate FILE  a code-signing certificate (PEM, optionally followed by its chain) and
#   --key FILE          its private key (PEM): every program and library of the package, then
#                       the package itself, get an Authenticode signature (SHA-256). Without
#                       them nothing is signed.
#   --timestamp URL     an RFC 3161 time-stamping service that countersigns each signature
#                       (none by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
bin64=$build_root/x64/bin
bin86=$build_root/x86/bin
version_include=$build_root/x64/packaging/sendaro_version.wxi
output=
version=
flutter_app=
webview2_sdk=
certificate=
key=
timestamp=

while [ $# -gt 0 ]; do
  case $1 in
    --flutter-app) flutter_app=$2; shift 2 ;;
    --webview2-sdk) webview2_sdk=$2; shift 2 ;;
    --output) output=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --certificate) certificate=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    *) echo "build-msi: unknown argument $1" >&2; exit 2 ;;
  esac
done

fail() { echo "build-msi: $*" >&2; exit 1; }
if [ -n "$certificate$key" ]; then
  [ -f "$certificate" ] && [ -f "$key" ] || fail "signing needs both --certificate and --key files"
  command -v osslsigncode >/dev/null || fail "osslsigncode is missing (scripts/setup.sh installs it)"
fi

[ -f "$version_include" ] || fail "$version_include is missing: configure build/x64 first"
built_version=$(sed -n 's/.*define SendaroVersion = "\([^"]*\)".*/\1/p' "$version_include")
[ -n "$built_version" ] || fail "no SendaroVersion in $version_include"
version=${version:-$built_version}

# Where each file of the package comes from: the program's folder (AppBin), the x64 folder of
# the tool, the provider, the bridge and the actions library (Bin64), the x86 folder (Bin86).
if [ -n "$flutter_app$webview2_sdk" ]; then
  [ -n "$flutter_app" ] && [ -n "$webview2_sdk" ] ||
    fail "a release needs both --flutter-app and --webview2-sdk"
  # Absolute: the package's folders are assembled from links.
  flutter_app=$(cd "$flutter_app" && pwd) && webview2_sdk=$(cd "$webview2_sdk" && pwd) ||
    fail "--flutter-app and --webview2-sdk name folders"
  kind=release
  engine_folder=$flutter_app
  # The SDK package's build/native layout, from the package folder or from build/native itself.
  loader_folder=$webview2_sdk/build/native/x64
  [ -e "$loader_folder/WebView2Loader.dll" ] || loader_folder=$webview2_sdk/x64
  product_name=Sendaro
  suffix=
else
  kind=test
  engine_folder=$bin64
  loader_folder=$bin64
  product_name="Sendaro (test package)"
  suffix=-test
fi
app_files=("$bin64/Sendaro.exe" "$engine_folder/flutter_windows.dll"
           "$engine_folder/system_tray_plugin.dll" "$engine_folder/data"
           "$loader_folder/WebView2Loader.dll")
x64_files=("$bin64/"{MurakoKspConfig.exe,murako_ksp.dll,murako_sign_bridge.dll}
           "$bin64/sendaro_install_actions.dll")
x86_files=("$bin86/"{murako_ksp.dll,murako_sign_bridge.dll})
for file in "${app_files[@]}" "${x64_files[@]}" "${x86_files[@]}"; do
  [ -e "$file" ] || fail "$file is missing: build it before packaging"
done

output=${output:-$build_root/Sendaro-$version-x64$suffix.msi}
case $kind:$output in
  test:*-test.msi) ;;
  test:*) fail "a package built from the stand-ins is a test package: its name ends in -test.msi" ;;
  release:*-test.msi) fail "a release package's name does not end in -test.msi" ;;
esac

# Stand-ins carry the value name "SendaroStandIn" in their version resource (UTF-16 there).
if [ $kind = release ]; then
  marked=$(find -L "${app_files[@]}" "${x64_files[@]}" "${x86_files[@]}" -type f -print0 |
    /usr/bin/python3 -c 'import sys
mark = "SendaroStandIn".encode("utf-16-le")
for path in sys.stdin.buffer.read().split(b"\0"):
    if path and mark in open(path, "rb").read():
        print(path.decode())')
  if [ -n "$marked" ]; then
    while IFS= read -r file; do
      echo "build-msi: $file is a test stand-in, which a release cannot carry" >&2
    done <<<"$marked"
    exit 1
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$version" != "$built_version" ]; then
  sed "s/\"$built_version\"/\"$version\"/" "$version_include" > "$work/sendaro_version.wxi"
else
  cp "$version_include" "$work/sendaro_version.wxi"
fi

# One product code per version and kind, derived from the upgrade code in sendaro.wxs: the same
# version installed again is the same product, which repairs it, and a test package never
# repairs a release into one with stand-ins.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$root/packaging/sendaro.wxs")
product_code=$(/usr/bin/python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade_code" \
  "$version${suffix}")

# The data folder's tree, empty folders included.
(cd "$engine_folder" && /usr/bin/python3 "$root/packaging/folder_fragment.py" data AppBin \
  INSTALLDIR SendaroData) > "$work/data.wxs"

# Signs FILE in place: Authenticode, SHA-256, countersigned when a time-stamping service is named.
sign() {
  osslsigncode sign -certs "$certificate" -key "$key" -h sha256 -n Sendaro \
    ${timestamp:+-ts "$timestamp"} -in "$1" -out "$1.signed" >/dev/null ||
    fail "cannot sign $1"
  mv "$1.signed" "$1"
}
is_pe() { [ "$(head -c 2 "$1")" = MZ ]; }

# wixl resolves only relative sources (against the working folder): each folder of the package
# is assembled there from links to the files, or, for a signed package, from copies of them with
# every PE file signed.
place() {  # place FOLDER FILE...
  mkdir -p "$work/$1"
  local folder=$1
  shift
  if [ -n "$certificate" ]; then
    cp -r "$@" "$work/$folder/"
  else
    ln -s "$@" "$work/$folder/"
  fi
}
place app "${app_files[@]}"
place x64 "${x64_files[@]}"
place x86 "${x86_files[@]}"
if [ -n "$certificate" ]; then
  while IFS= read -r -d '' file; do
    if is_pe "$file"; then sign "$file"; fi
  done < <(find "$work/app" "$work/x64" "$work/x86" -type f -print0)
fi
mkdir -p "$(dirname "$output")"
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
(cd "$work" && wixl -a x64 -I "$work" -D ProductCode="$product_code" \
  -D ProductName="$product_name" -D AppBin=app -D Bin64=x64 -D Bin86=x86 -o "$output" \
  "$root/packaging/sendaro.wxs" data.wxs)
# wixl writes Execute="rollback" custom actions as immediate ones: mark them as rollback actions
# (deferred 1024 + rollback 256 + not impersonated 2048 + library in the Binary table 1 +
# ignore 64).
msibuild "$output" -q "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'UndoRegisterProvider' OR \`Action\` = 'UndoUnregisterProvider'"
if [ -n "$certificate" ]; then
  sign "$output"
  echo "build-msi: $output ($kind package, version $version, signed)"
else
  echo "build-msi: $output ($kind package, version $version)"
fi
