#!/usr/bin/env bash
# Builds the installer build/Sendaro-<version>-x64.msi with wixl from the x64 and x86 build
# trees (built beforehand by scripts/build.sh). The version is SENDARO_VERSION of the top-level
# CMakeLists.txt, through the include file CMake generates in build/x64/packaging.
#   --output FILE       where to write the package
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
certificate=
key=
timestamp=

while [ $# -gt 0 ]; do
  case $1 in
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
output=${output:-$build_root/Sendaro-$version-x64.msi}

# What the package takes from the x64 build (besides the data folder) and from the x86 build.
files64=(Sendaro.exe flutter_windows.dll system_tray_plugin.dll WebView2Loader.dll
         MurakoKspConfig.exe murako_ksp.dll murako_sign_bridge.dll sendaro_install_actions.dll)
files86=(murako_ksp.dll murako_sign_bridge.dll)
for file in "$bin64/data" "${files64[@]/#/$bin64/}" "${files86[@]/#/$bin86/}"; do
  [ -e "$file" ] || fail "$file is missing: build it before packaging"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$version" != "$built_version" ]; then
  sed "s/\"$built_version\"/\"$version\"/" "$version_include" > "$work/sendaro_version.wxi"
else
  cp "$version_include" "$work/sendaro_version.wxi"
fi

# One product code per version, derived from the upgrade code in sendaro.wxs: the same version
# installed again is the same product, which repairs it.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$root/packaging/sendaro.wxs")
product_code=$(/usr/bin/python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade_code" "$version")

# The data folder's tree, empty folders included.
(cd "$bin64" && /usr/bin/python3 "$root/packaging/folder_fragment.py" data AppBin INSTALLDIR \
  SendaroData) > "$work/data.wxs"

# Signs FILE in place: Authenticode, SHA-256, countersigned when a time-stamping service is named.
sign() {
  osslsigncode sign -certs "$certificate" -key "$key" -h sha256 -n Sendaro \
    ${timestamp:+-ts "$timestamp"} -in "$1" -out "$1.signed" >/dev/null ||
    fail "cannot sign $1"
  mv "$1.signed" "$1"
}
is_pe() { [ "$(head -c 2 "$1")" = MZ ]; }

# wixl resolves only relative sources (against the working folder): the trees are linked in,
# or, for a signed package, copies of what it takes are, with every PE file signed.
if [ -n "$certificate" ]; then
  mkdir "$work/x64" "$work/x86"
  cp -r "$bin64/data" "${files64[@]/#/$bin64/}" "$work/x64/"
  cp "${files86[@]/#/$bin86/}" "$work/x86/"
  while IFS= read -r -d '' file; do
    if is_pe "$file"; then sign "$file"; fi
  done < <(find "$work/x64" "$work/x86" -type f -print0)
else
  ln -s "$bin64" "$work/x64"
  ln -s "$bin86" "$work/x86"
fi
mkdir -p "$(dirname "$output")"
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
(cd "$work" && wixl -a x64 -I "$work" -D ProductCode="$product_code" -D AppBin=x64 \
  -D Bin64=x64 -D Bin86=x86 -o "$output" "$root/packaging/sendaro.wxs" data.wxs)
# wixl writes Execute="rollback" custom actions as immediate ones: mark them as rollback actions
# (deferred 1024 + rollback 256 + not impersonated 2048 + library in the Binary table 1 +
# ignore 64).
msibuild "$output" -q "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'UndoRegisterProvider' OR \`Action\` = 'UndoUnregisterProvider'"
if [ -n "$certificate" ]; then
  sign "$output"
  echo "build-msi: $output (version $version, signed)"
else
  echo "build-msi: $output (version $version)"
fi
