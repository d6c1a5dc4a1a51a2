#!/usr/bin/env bash
# The installer's whole life under Wine's msiexec, in a prefix of its own: the package built
# from this build's trees and its tables; an install whose registration fails and is rolled
# back; the install, its files, the provider's registration and a signature through the
# installed provider and bridge; a repair; an upgrade to a higher version; the uninstall.
# Wine's own bcrypt keeps no provider registration, so the prefix's system folder gets the
# registration stand-in and msiexec runs with WINEDLLOVERRIDES=bcrypt=n,b.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
bin=$build_root/x64/bin
work=$build_root/x64/installer_test
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
failures=0

check() {  # check DESCRIPTION COMMAND...: runs the command, counts a failure
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
stop() { echo "FAILED: $*"; exit 1; }

rm -rf "$work" && mkdir -p "$work"
version=$(sed -n 's/.*define SendaroVersion = "\([^"]*\)".*/\1/p' \
  "$build_root/x64/packaging/sendaro_version.wxi")
upgrade_version=${version%.*}.$((${version##*.} + 1))
msi=$work/Sendaro-$version-x64.msi
upgrade_msi=$work/Sendaro-$upgrade_version-x64.msi
bash "$root/scripts/build-msi.sh" --output "$msi" || stop "the package does not build"
bash "$root/scripts/build-msi.sh" --output "$upgrade_msi" --version "$upgrade_version" ||
  stop "the upgrade package does not build"

# --- The tables.
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
has_row() { table "$1" | grep -qxP "$2"; }
placed() {  # placed FILE DIRECTORY ATTRIBUTES: FILE's component installs it there, that bitness
  awk -F'\t' -v name="$1" -v dir="$2" -v attributes="$3" '
    FNR == NR { if ($3 == name) component[$2] = 1; next }
    ($1 in component) && $3 == dir && $4 == attributes { found = 1 }
    END { exit !found }' <(table File) <(table Component)
}
for file in Sendaro.exe flutter_windows.dll system_tray_plugin.dll MurakoKspConfig.exe; do
  check "$file in the program folder" placed "$file" INSTALLDIR 256
done
for file in murako_ksp.dll murako_sign_bridge.dll; do
  check "$file x64 in the 64-bit system folder" placed "$file" System64Folder 256
  check "$file x86 in the 32-bit system folder" placed "$file" SystemFolder 0
done
data_files=$(find "$bin/data" -type f | wc -l)
check "every file of data/ ($data_files) is packaged" [ "$(table File | wc -l)" -eq $((8 + data_files)) ]
check "per-machine" has_row Property 'ALLUSERS\t1'
check "Start-menu shortcut" has_row Shortcut 'SendaroStartMenu\tProgramMenuFolder\tSendaro\tSendaroProgram\t\[#SendaroExe\].*'
# 3090 = deferred (1024) + not impersonated (2048) + an installed program (18).
check "registration: deferred, as the system" has_row CustomAction 'RegisterProvider\t3090\tMurakoKspConfigExe\t-register\t'
check "unregistration: deferred, as the system" has_row CustomAction 'UnregisterProvider\t3154\tMurakoKspConfigExe\t-unregister\t'
# 3410 = the same + rollback (256) + ignore its result (64).
check "a rolled-back install unregisters" has_row CustomAction 'UndoRegisterProvider\t3410\tMurakoKspConfigExe\t-unregister\t'
sequence() { table InstallExecuteSequence | awk -F'\t' -v action="$1" '$1 == action { print $3 }'; }
check "registration after the files are installed" [ "$(sequence RegisterProvider)" -gt "$(sequence InstallFiles)" ]
check "unregistration before the files are removed" [ "$(sequence UnregisterProvider)" -lt "$(sequence RemoveFiles)" ]
check "older versions removed before the new files arrive" \
  [ "$(sequence RemoveExistingProducts)" -lt "$(sequence InstallInitialize)" ]
check "x64 package" bash -c "msiinfo suminfo '$msi' | grep -q 'x64;1033'"

# --- A fresh prefix with the registration stand-in, the signing service double.
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEARCH=win64
trap 'wineserver -k >/dev/null 2>&1; bash "$root/scripts/service-double.sh" stop $$ >/dev/null' EXIT
bash "$root/scripts/service-double.sh" start $$ || stop "the signing service double does not start"
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null
wineboot -i >/dev/null 2>&1 </dev/null
drive=$WINEPREFIX/drive_c
program=$drive/Program\ Files/Sendaro
system64=$drive/windows/system32
system32=$drive/windows/syswow64
provider_key='HKLM\SYSTEM\CurrentControlSet\Control\Cryptography\Providers\Murako KSP'
msiexec() { WINEDLLOVERRIDES=bcrypt=n,b "$wine64" msiexec "$@" /qn; }
registered() { "$wine64" reg query "$provider_key\\UM\\00010001" >/dev/null 2>&1; }
products() {
  "$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -cP '^\s+DisplayName\s+REG_SZ\s+Sendaro$'
}
installed_version() {
  "$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *DisplayVersion *REG_SZ *//p'
}
nothing_installed() {
  [ ! -e "$program" ] && [ -z "$(find "$drive" -iname 'murako_*.dll' -o -iname 'Sendaro.lnk')" ] &&
    ! registered && [ "$(products)" -eq 0 ]
}
# The user's installed certificates and credential entries, counted.
user_state() {
  "$wine64" reg query 'HKCU\Software' /s 2>/dev/null | tr -d '\r' |
    grep -ciE 'SystemCertificates\\My\\Certificates\\[0-9A-F]{40}$|Credential Manager\\'
}
# -check through the router stand-in, from a copy of the installed tool.
provider_check() {
  local folder=$drive/provider_check
  rm -rf "$folder" && mkdir -p "$folder"
  cp "$program/MurakoKspConfig.exe" "$bin/cng_router_stand_in/ncrypt.dll" "$folder/"
  WINEDLLOVERRIDES=ncrypt=n,b "$wine64" 'C:\provider_check\MurakoKspConfig.exe' -check | tr -d '\r'
}

# --- A registration that fails rolls the install back: a bcrypt.dll without the registration
# functions makes -register fail.
cp "$bin/cng_router_stand_in/ncrypt.dll" "$system64/bcrypt.dll"
msiexec /i "$msi"
check "a failing registration fails the install" [ $? -ne 0 ]
check "and leaves nothing installed" nothing_installed

# --- Install.
cp "$bin/cng_router_stand_in/bcrypt.dll" "$system64/bcrypt.dll"
msiexec /i "$msi"
check "install exits 0" [ $? -eq 0 ]
for file in Sendaro.exe flutter_windows.dll system_tray_plugin.dll MurakoKspConfig.exe; do
  check "$file installed" cmp -s "$bin/$file" "$program/$file"
done
check "data folder installed" diff -r "$bin/data" "$program/data"
for file in murako_ksp.dll murako_sign_bridge.dll; do
  check "$file x64 installed" cmp -s "$bin/$file" "$system64/$file"
  check "$file x86 installed" cmp -s "$build_root/x86/bin/$file" "$system32/$file"
done
check "Start-menu shortcut installed" [ -n "$(find "$drive" -name Sendaro.lnk)" ]
check="$(provider_check)"
echo "$check"
check "-check finds the provider in the system folder" grep -q '\[OK\] DLL existe en System32' <<<"$check"
check "-check finds the provider registered" grep -q '\[OK\] KSP registrado y funcional' <<<"$check"
(cd "$bin" && WINEDLLOVERRIDES=ncrypt=n,b "$wine64" installed_signature_test.exe)
check "a signature through the installed provider and bridge verifies" [ $? -eq 0 ]
user_state_before=$(user_state)

# --- Installing the same version again repairs.
rm "$program/flutter_windows.dll"
"$wine64" reg delete "$provider_key" /f >/dev/null 2>&1
msiexec /i "$msi"
check "installing again exits 0" [ $? -eq 0 ]
check "installing again restores a removed file" cmp -s "$bin/flutter_windows.dll" "$program/flutter_windows.dll"
check "installing again registers the provider again" registered
check "one product after installing again" [ "$(products)" -eq 1 ]

# --- A higher version replaces it.
msiexec /i "$upgrade_msi"
check "upgrade exits 0" [ $? -eq 0 ]
check "one product after the upgrade" [ "$(products)" -eq 1 ]
check "the product is $upgrade_version" [ "$(installed_version)" = "$upgrade_version" ]
check "provider still registered after the upgrade" registered
check "provider still in place after the upgrade" cmp -s "$bin/murako_ksp.dll" "$system64/murako_ksp.dll"

# --- Uninstall.
msiexec /x "$upgrade_msi"
check "uninstall exits 0" [ $? -eq 0 ]
check "uninstall leaves no file, registration or product entry" nothing_installed
check "uninstall leaves the user's certificates and credentials" \
  [ "$user_state_before" -ge 2 -a "$(user_state)" -eq "$user_state_before" ]

echo "installer_test: $failures failed"
[ $failures -eq 0 ]
