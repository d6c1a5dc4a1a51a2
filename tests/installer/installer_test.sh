#!/usr/bin/env bash
# The installer's life under Wine's msiexec in a prefix of its own: the package's tables, an
# install whose registration fails, the install with its files, registration and a signature
# through the installed provider and bridge, a repair, an upgrade, the uninstall. Wine's bcrypt
# keeps no provider registration: the prefix gets the registration stand-in in system32 and
# msiexec runs with WINEDLLOVERRIDES=bcrypt=n,b.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
bin=$build_root/x64/bin
work=$build_root/x64/installer_test
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

rm -rf "$work" && mkdir -p "$work"
version=$(sed -n 's/.*SendaroVersion = "\([^"]*\)".*/\1/p' \
  "$build_root/x64/packaging/sendaro_version.wxi")
upgrade=${version%.*}.$((${version##*.} + 1))
msi=$work/Sendaro-$version-x64.msi
bash "$root/scripts/build-msi.sh" --output "$msi" &&
  bash "$root/scripts/build-msi.sh" --output "$work/upgrade.msi" --version "$upgrade" ||
  { echo "FAILED: the packages do not build"; exit 1; }

table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
row() { table "$1" | grep -qxP "$2"; }
# Each file with its component's folder and attributes (256: a 64-bit component).
placements=$(awk -F'\t' 'FNR == NR { at[$1] = $3 " " $4; next } { print $3, at[$2] }' \
  <(table Component) <(table File))
for expected in "Sendaro.exe INSTALLDIR 256" "flutter_windows.dll INSTALLDIR 256" \
    "system_tray_plugin.dll INSTALLDIR 256" "WebView2Loader.dll INSTALLDIR 256" \
    "MurakoKspConfig.exe INSTALLDIR 256" \
    "murako_ksp.dll System64Folder 256" "murako_sign_bridge.dll System64Folder 256" \
    "murako_ksp.dll SystemFolder 0" "murako_sign_bridge.dll SystemFolder 0"; do
  check "table: $expected" grep -qxF "$expected" <<<"$placements"
done
data_files=$(find "$bin/data" -type f | wc -l)
check "table: all of data/" [ "$(wc -l <<<"$placements")" -eq $((9 + data_files)) ]
check "table: per-machine" row Property 'ALLUSERS\t1'
check "table: x64" grep -q 'x64;' <(msiinfo suminfo "$msi")
check "table: shortcut" \
  row Shortcut 'SendaroStartMenu\tProgramMenuFolder\tSendaro\tSendaroProgram\t\[#SendaroExe\].*'
# 3090: deferred (1024), not impersonated (2048), an installed program (18); 64: result ignored;
# 256: rollback.
check "table: registration" row CustomAction 'RegisterProvider\t3090\tMurakoKspConfigExe\t-register\t'
check "table: unregistration" \
  row CustomAction 'UnregisterProvider\t3154\tMurakoKspConfigExe\t-unregister\t'
check "table: its rollback" \
  row CustomAction 'UndoRegisterProvider\t3410\tMurakoKspConfigExe\t-unregister\t'
sequence=$(table InstallExecuteSequence | sort -t$'\t' -k3n | cut -f1 | tr '\n' ' ')
order='RemoveExistingProducts .*InstallInitialize .*UnregisterProvider .*RemoveFiles .*InstallFiles '
check "table: order" grep -qP "$order.* RegisterProvider " <<<"$sequence"

# No menu entries on this machine for the shortcut.
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES=winemenubuilder.exe=d
trap 'wineserver -k >/dev/null 2>&1; bash "$root/scripts/service-double.sh" stop $$ >/dev/null' EXIT
bash "$root/scripts/service-double.sh" start $$ || exit 1
mkdir -p "$WINEPREFIX" && wineserver -p >/dev/null 2>&1 </dev/null &&
  "$wine64" wineboot -i >/dev/null 2>&1 </dev/null
drive=$WINEPREFIX/drive_c
program="$drive/Program Files/Sendaro"
provider_key='HKLM\SYSTEM\CurrentControlSet\Control\Cryptography\Providers\Murako KSP'
msiexec() { WINEDLLOVERRIDES="$WINEDLLOVERRIDES;bcrypt=n,b" "$wine64" msiexec "$@" /qn; }
registered() { "$wine64" reg query "$provider_key\\UM\\00010001" >/dev/null 2>&1; }
reg_lines() { "$wine64" reg query "$1" /s 2>/dev/null | tr -d '\r' | grep -cP "$2"; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
products() { reg_lines "$uninstall_key" 'DisplayName\s+REG_SZ\s+Sendaro$'; }
nothing_installed() {
  [ ! -e "$program" ] && [ -z "$(find "$drive" -iname 'murako_*.dll' -o -name Sendaro.lnk)" ] &&
    ! registered && [ "$(products)" -eq 0 ]
}
user_state() {
  reg_lines 'HKCU\Software' 'SystemCertificates\\My\\Certificates\\[0-9A-F]{40}$|Credential Manager\\'
}

# A bcrypt.dll without the registration functions makes -register fail.
cp "$bin/cng_router_stand_in/ncrypt.dll" "$drive/windows/system32/bcrypt.dll"
msiexec /i "$msi"
check "a failing registration fails the install" [ $? -ne 0 ]
check "and leaves nothing installed" nothing_installed

cp "$bin/cng_router_stand_in/bcrypt.dll" "$drive/windows/system32/bcrypt.dll"
msiexec /i "$msi"
check "install exits 0" [ $? -eq 0 ]
for file in Sendaro.exe data flutter_windows.dll system_tray_plugin.dll WebView2Loader.dll \
    MurakoKspConfig.exe; do
  check "installed: $file" diff -r "$bin/$file" "$program/$file"
done
for file in murako_ksp.dll murako_sign_bridge.dll; do
  check "installed: $file" cmp "$bin/$file" "$drive/windows/system32/$file"
  check "installed: $file x86" cmp "$build_root/x86/bin/$file" "$drive/windows/syswow64/$file"
done
check "installed: shortcut" [ -n "$(find "$drive" -name Sendaro.lnk)" ]
# -check from a copy of the installed tool next to the router stand-in.
mkdir "$drive/check" &&
  cp "$program/MurakoKspConfig.exe" "$bin/cng_router_stand_in/ncrypt.dll" "$drive/check/"
provider=$("$wine64" 'C:\check\MurakoKspConfig.exe' -check | tr -d '\r')
echo "$provider"
check "-check: provider in System32" grep -q '\[OK\] DLL existe en System32' <<<"$provider"
check "-check: provider registered" grep -q '\[OK\] KSP registrado y funcional' <<<"$provider"
(cd "$bin" &&
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ncrypt=n,b" "$wine64" installed_signature_test.exe)
check "a signature through the installed provider and bridge verifies" [ $? -eq 0 ]
# A 32-bit program signs through the provider in the 32-bit system folder (the bridge beside
# it), with the certificate and token the 64-bit program stored: the provider registration and
# the Credential Manager as a 32-bit process sees them.
if [ "${SENDARO_X86_RUNS:-$(bash "$root/scripts/x86-runs.sh" && echo yes)}" != yes ]; then
  echo "NOT RUN: a 32-bit program signing through SysWOW64 (this kernel runs no 32-bit code)"
else
  thumbprint=$("$wine64" reg query \
    'HKCU\Software\Microsoft\SystemCertificates\My\Certificates' 2>/dev/null |
    tr -d '\r' | grep -oP '\\[0-9A-F]{40}$' | head -1 | tr -d '\\')
  mkdir "$drive/sign32" && cp "$build_root/x86/bin/cng_sign_client.exe" \
    "$build_root/x86/bin/cng_router_stand_in/ncrypt.dll" "$drive/sign32/"
  signed32=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ncrypt=n,b" \
    /usr/lib/wine/wine 'C:\sign32\cng_sign_client.exe' "$thumbprint" | tr -d '\r')
  signed32_status=$?
  echo "$signed32"
  check "a 32-bit program signs through SysWOW64 (PKCS #1 and PSS verified)" \
    [ $signed32_status -eq 0 -a -n "$thumbprint" ]
fi
user_state_before=$(user_state)

rm "$program/flutter_windows.dll" && "$wine64" reg delete "$provider_key" /f >/dev/null 2>&1
msiexec /i "$msi"
check "installing again exits 0" [ $? -eq 0 ]
check "installing again repairs: file" cmp "$bin/flutter_windows.dll" "$program/flutter_windows.dll"
check "installing again repairs: registration" registered

msiexec /i "$work/upgrade.msi"
check "upgrade exits 0" [ $? -eq 0 ]
check "upgrade: one product" [ "$(products)" -eq 1 ]
check "upgrade: $upgrade installed" \
  [ "$(reg_lines "$uninstall_key" "DisplayVersion\s+REG_SZ\s+$upgrade$")" -eq 1 ]
check "upgrade: provider registered" registered

msiexec /x "$work/upgrade.msi"
check "uninstall exits 0" [ $? -eq 0 ]
check "uninstall leaves no file, registration or product" nothing_installed
check "uninstall keeps the user's certificates and credentials" \
  [ "$user_state_before" -ge 2 -a "$(user_state)" -eq "$user_state_before" ]

echo "installer_test: $failures failed"
[ $failures -eq 0 ]
