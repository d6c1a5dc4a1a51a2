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
msi=$work/Sendaro-$version-x64-test.msi
# The copies of the provider and the bridge tell themselves apart by the time stamp in their PE
# headers: the upgrade package is built from a build root of links whose provider and bridge
# are copies with a stamp of their own.
pe_stamp() {  # pe_stamp FILE [STAMP]: prints the file's stamp, or writes STAMP (hexadecimal)
  python3 - "$@" <<'PYTHON'
import struct, sys
with open(sys.argv[1], "r+b") as image:
    image.seek(0x3C)
    image.seek(struct.unpack("<I", image.read(4))[0] + 8)
    if len(sys.argv) > 2:
        image.write(struct.pack("<I", int(sys.argv[2], 16)))
    else:
        print("%08X" % struct.unpack("<I", image.read(4))[0])
PYTHON
}
new_stamp=5E0DA1A0
upgrade_root=$work/upgrade-build
for arch in x64 x86; do
  mkdir -p "$upgrade_root/$arch/bin" && ln -s "$build_root/$arch/bin/"* "$upgrade_root/$arch/bin/"
  for file in murako_ksp.dll murako_sign_bridge.dll; do
    copy=$upgrade_root/$arch/bin/$file
    rm "$copy" && cp "$build_root/$arch/bin/$file" "$copy" && pe_stamp "$copy" $new_stamp
  done
done
ln -s "$build_root/x64/packaging" "$upgrade_root/x64/packaging"
old_stamp=$(pe_stamp "$bin/murako_ksp.dll")
old_stamp86=$(pe_stamp "$build_root/x86/bin/murako_ksp.dll")
old_bridge_stamp=$(pe_stamp "$bin/murako_sign_bridge.dll")
old_bridge_stamp86=$(pe_stamp "$build_root/x86/bin/murako_sign_bridge.dll")
bash "$root/scripts/build-msi.sh" --output "$msi" &&
  SENDARO_BUILD_ROOT=$upgrade_root bash "$root/scripts/build-msi.sh" \
    --output "$work/upgrade-test.msi" --version "$upgrade" ||
  { echo "FAILED: the packages do not build"; exit 1; }
[ "$old_stamp" != $new_stamp ] && [ "$old_stamp86" != $new_stamp ] &&
  [ "$old_bridge_stamp" != $new_stamp ] && [ "$old_bridge_stamp86" != $new_stamp ] ||
  { echo "FAILED: the build's own copies carry the upgrade's stamp"; exit 1; }

# A release from a fixture application folder and a fixture WebView2 SDK folder carries their
# files byte for byte; a stand-in in either folder stops it, named.
fixture=$work/release
fixture_files=(app/{flutter_windows.dll,system_tray_plugin.dll,data/app.so,data/icudtl.dat}
               app/data/flutter_assets/fonts/Icons.otf sdk/build/native/x64/WebView2Loader.dll)
mkdir -p "$fixture/app/data/flutter_assets/fonts" "$fixture/sdk/build/native/x64"
for file in "${fixture_files[@]}"; do echo "fixture $file" > "$fixture/$file"; done
release() {  # release APP_FOLDER SDK_FOLDER OUTPUT
  bash "$root/scripts/build-msi.sh" --flutter-app "$1" --webview2-sdk "$2" --output "$3"
}
release "$fixture/app" "$fixture/sdk" "$fixture/Sendaro-$version-x64.msi" >/dev/null &&
  msiinfo extract "$fixture/Sendaro-$version-x64.msi" sendaro.cab > "$fixture/files.cab" &&
  mkdir "$fixture/files" && gcab -x -C "$fixture/files" "$fixture/files.cab" >/dev/null ||
  echo "FAILED: the release does not build"
sums() { find "$@" -type f -exec sha256sum {} + | cut -d' ' -f1 | sort; }
carried=$(sums "$fixture/files")
for file in "${fixture_files[@]/#/$fixture/}" "$bin/Sendaro.exe" "$bin/MurakoKspConfig.exe" \
    "$build_root/x86/bin/murako_ksp.dll"; do
  check "release: carries ${file#$build_root/}" grep -qxF "$(sums "$file")" <<<"$carried"
done
mixed=$fixture/mixed
cp -r "$fixture/app" "$mixed" && cp -r "$fixture/sdk" "$mixed/sdk" &&
  cp "$bin/"{flutter_windows,system_tray_plugin}.dll "$mixed/" &&
  cp "$bin/WebView2Loader.dll" "$mixed/sdk/build/native/x64/"
refused=$(release "$mixed" "$mixed/sdk" "$mixed.msi" 2>&1); refused_status=$?
stand_in='(sdk/build/native/x64/WebView2Loader|flutter_windows|system_tray_plugin)\.dll'
check "release: refuses the three stand-ins, naming each" [ $refused_status -ne 0 -a \
  ! -e "$mixed.msi" -a "$(grep -cE "^build-msi: $mixed/$stand_in is a test" <<<"$refused")" -eq 3 ]

# A package signed with a throwaway code-signing certificate from a CA made here: osslsigncode
# accepts the signature of the package, of every program and library it installs and of the
# library its custom actions run from.
signing=$work/signing
mkdir -p "$signing/files" && (
  cd "$signing" &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
      -subj "/CN=Sendaro test CA" -addext basicConstraints=critical,CA:TRUE &&
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
      -subj "/CN=Sendaro test signer" &&
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
      -out signer.pem -extfile <(printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n') &&
    cat signer.pem ca.pem > chain.pem) >/dev/null 2>&1 &&
  bash "$root/scripts/build-msi.sh" --output "$signing/signed-test.msi" \
    --certificate "$signing/chain.pem" --key "$signing/signer.key" >/dev/null &&
  msiinfo extract "$signing/signed-test.msi" sendaro.cab > "$signing/files.cab" &&
  gcab -x -C "$signing/files" "$signing/files.cab" >/dev/null &&
  msiinfo extract "$signing/signed-test.msi" Binary.InstallActions > "$signing/files/actions.dll" ||
  echo "FAILED: the signed package does not build"
verified() { osslsigncode verify -CAfile "$signing/ca.pem" -in "$1" >/dev/null 2>&1; }
signed_files=0
while IFS= read -r -d '' file; do
  [ "$(head -c 2 "$file")" = MZ ] || continue
  signed_files=$((signed_files + 1))
  check "signed: ${file#$signing/files/}" verified "$file"
done < <(find "$signing/files" -type f -print0)
check "signed: all ten programs and libraries" [ $signed_files -eq 10 ]
check "signed: the package" verified "$signing/signed-test.msi"

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
check "table: never restarts the machine by itself" row Property 'REBOOT\tReallySuppress'
check "table: named a test package" row Property 'ProductName\tSendaro \(test package\)'
check "table: x64" grep -q 'x64;' <(msiinfo suminfo "$msi")
check "table: shortcut" \
  row Shortcut 'SendaroStartMenu\tProgramMenuFolder\tSendaro\tSendaroProgram\t\[#SendaroExe\].*'
# The registration actions are entries of the library in the Binary table (1), deferred (1024),
# not impersonated (2048); 64: result ignored; 256: rollback.
check "table: registration" \
  row CustomAction 'RegisterProvider\t3073\tInstallActions\tRegisterProvider\t'
check "table: unregistration" \
  row CustomAction 'UnregisterProvider\t3137\tInstallActions\tUnregisterProvider\t'
check "table: its rollback" \
  row CustomAction 'UndoRegisterProvider\t3393\tInstallActions\tUnregisterProvider\t'
check "table: the actions' library" row Binary 'InstallActions\t.*'
check "table: registration on install and upgrade only" \
  row InstallExecuteSequence 'RegisterProvider\tNOT Installed AND NOT REMOVE\t\d+'
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
# A crash prints its backtrace and fails the check instead of waiting on a dialog.
"$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >/dev/null 2>&1 </dev/null
drive=$WINEPREFIX/drive_c
program="$drive/Program Files/Sendaro"
provider_key='HKLM\SYSTEM\CurrentControlSet\Control\Cryptography\Providers\Murako KSP'
msiexec() { WINEDLLOVERRIDES="$WINEDLLOVERRIDES;bcrypt=n,b" "$wine64" msiexec "$@" /qn; }
status_key='HKLM\SOFTWARE\Microsoft\Cryptography\CNG\KeyStorageProviders\Murako KSP'
registered() {
  "$wine64" reg query "$provider_key\\UM\\00010001" >/dev/null 2>&1 ||
    "$wine64" reg query "$status_key" >/dev/null 2>&1
}
reg_lines() { "$wine64" reg query "$1" /s 2>/dev/null | tr -d '\r' | grep -cP "$2"; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
products() { reg_lines "$uninstall_key" 'DisplayName\s+REG_SZ\s+Sendaro \(test package\)$'; }
nothing_installed() {  # nothing_installed [FILE...]: nothing is left but the files named
  [ ! -e "$program" ] && ! registered && [ "$(products)" -eq 0 ] &&
    [ "$(find "$drive" -iname 'murako_*.dll' -o -name Sendaro.lnk | sort)" = \
      "$(printf '%s\n' "$@" | sed '/^$/d' | sort)" ]
}
user_state() {
  reg_lines 'HKCU\Software' 'SystemCertificates\\My\\Certificates\\[0-9A-F]{40}$|Credential Manager\\'
}

logged() { grep -qP "$2" "$work/$1.log"; }  # logged LOG PATTERN: a line of that msiexec log
not() { ! "$@"; }
action_ran() { logged "$1" "Action start [0-9:]+: $2\b"; }
webview2_key='SOFTWARE\Microsoft\EdgeUpdate\Clients\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'

# A bcrypt.dll without the registration functions makes the registration fail.
cp "$bin/cng_router_stand_in/ncrypt.dll" "$drive/windows/system32/bcrypt.dll"
msiexec /i "$msi" /l*v "$work/failing.log"
check "a failing registration fails the install" [ $? -ne 0 ]
check "and leaves nothing installed" nothing_installed
check "the log has the registration's error" \
  logged failing 'Funciones BCrypt no disponibles en esta version de Windows'
check "the log says the browser runtime is missing" logged failing 'WebView2 Runtime not found'

cp "$bin/cng_router_stand_in/bcrypt.dll" "$drive/windows/system32/bcrypt.dll"
"$wine64" reg add "HKLM\\$webview2_key" /v pv /d 120.0.2210.91 /reg:32 /f >/dev/null
msiexec /i "$msi" /l*v "$work/install.log"
check "install exits 0" [ $? -eq 0 ]
check "install: the registration action ran" action_ran install RegisterProvider
check "install: its lines are in the log" logged install 'KSP registrado y funcional'
check "install: the log names the browser runtime" \
  logged install 'WebView2 Runtime found: 120\.0\.2210\.91 \(HKLM, 32-bit view\)'
for file in Sendaro.exe data flutter_windows.dll system_tray_plugin.dll WebView2Loader.dll \
    MurakoKspConfig.exe; do
  check "installed: $file" diff -r "$bin/$file" "$program/$file"
done
for file in murako_ksp.dll murako_sign_bridge.dll; do
  check "installed: $file" cmp "$bin/$file" "$drive/windows/system32/$file"
  check "installed: $file x86" cmp "$build_root/x86/bin/$file" "$drive/windows/syswow64/$file"
done
check "installed: shortcut" [ -n "$(find "$drive" -name Sendaro.lnk)" ]
# The installed program, as a user opens it after the install: its provider status without any
# registration of its own.
printf '%s\n' '{"channel": "com.murako.native_bridge", "method": "checkKspRegistration"}' \
  '{"channel": "com.murako.native_bridge", "method": "checkKspStatus"}' '{"await": "all"}' \
  '{"window": "destroy"}' > "$work/status.jsonl"
status_run=Z:${work//\//\\}\\status
timeout 120 "$wine64" 'C:\Program Files\Sendaro\Sendaro.exe' "--script=$status_run.jsonl" \
  "--transcript=$status_run.transcript.jsonl" >/dev/null 2>&1 </dev/null
answered() { grep -qF "$1" "$work/status.transcript.jsonl"; }
check "installed: the program finds the provider registered" \
  answered '"result":{"hkcu":0,"hklm":1,"isFullyRegistered":1}'
check "installed: and ready, without an NCrypt warning" \
  answered '"message":"El sistema esta listo para usar certificados digitales.","registered":true'

# The program's unregistration, then the tool's: the status reads "not_installed". The tool
# registers again for the uninstall.
tool() { WINEDLLOVERRIDES="$WINEDLLOVERRIDES;bcrypt=n,b" "$wine64" \
  'C:\Program Files\Sendaro\MurakoKspConfig.exe' "$@" | tr -d '\r'; }
run_program() {  # run_program NAME METHOD...: the installed program calls the methods, then ends
  local method
  for method in "${@:2}"; do
    echo "{\"channel\": \"com.murako.native_bridge\", \"method\": \"$method\"}"
  done > "$work/$1.jsonl"
  printf '%s\n' '{"await": "all"}' '{"window": "destroy"}' >> "$work/$1.jsonl"
  local run=Z:${work//\//\\}\\$1
  timeout 120 "$wine64" 'C:\Program Files\Sendaro\Sendaro.exe' "--script=$run.jsonl" \
    "--transcript=$run.transcript.jsonl" >/dev/null 2>&1 </dev/null
}
run_program unregister unregisterKsp
tool -unregister > "$work/unregister.out"
run_program status_after checkKspStatus
check "unregistered by the program and the tool: the status reads not_installed" \
  grep -qF '"registered":false,"status":"not_installed"' "$work/status_after.transcript.jsonl"
check "registered again by the tool" eval 'tool -register | grep -q "KSP registrado y funcional"'

# -check by the installed tool, which takes ncrypt.dll from the system folder (there the router
# stand-in, under the override), never the decoy planted beside it: that one has no NCrypt
# functions.
system_ncrypt=$drive/windows/system32/ncrypt.dll
cp "$system_ncrypt" "$work/ncrypt.wine" && cp "$bin/cng_router_stand_in/ncrypt.dll" "$system_ncrypt" &&
  cp "$bin/cng_router_stand_in/bcrypt.dll" "$program/ncrypt.dll"
provider=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ncrypt=n,b" \
  "$wine64" 'C:\Program Files\Sendaro\MurakoKspConfig.exe' -check | tr -d '\r')
rm "$program/ncrypt.dll" && cp "$work/ncrypt.wine" "$system_ncrypt"
echo "$provider"
check "-check: provider in System32" grep -q '\[OK\] DLL existe en System32' <<<"$provider"
check "-check: the 32-bit provider in SysWOW64" \
  grep -q '\[OK\] DLL de 32 bits existe en SysWOW64' <<<"$provider"
check "-check: provider registered" grep -q '\[OK\] KSP registrado y funcional' <<<"$provider"
(cd "$bin" &&
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ncrypt=n,b" "$wine64" installed_signature_test.exe)
check "a signature through the installed provider and bridge verifies" [ $? -eq 0 ]
# A 32-bit program signs through the provider in the 32-bit system folder (the bridge beside
# it), with the certificate and token the 64-bit program stored: the provider registration and
# the Credential Manager as a 32-bit process sees them.
# SENDARO_X86_RUNS=yes only once a 32-bit Windows program has run under this host's Wine
# (scripts/test.sh); otherwise the test run's closing lines say what was left out.
not_checked() {  # not_checked WHAT: one line, and in the test run's closing lines
  echo "NOT CHECKED: $1"
  [ -z "${SENDARO_NOT_CHECKED:-}" ] || echo "$1" >>"$SENDARO_NOT_CHECKED"
}
thumbprint=$("$wine64" reg query \
  'HKCU\Software\Microsoft\SystemCertificates\My\Certificates' 2>/dev/null |
  tr -d '\r' | grep -oP '\\[0-9A-F]{40}$' | head -1 | tr -d '\\')
# Signing programs with the router stand-in beside them, for each bitness.
mkdir "$drive/sign64" "$drive/sign32" &&
  cp "$bin/cng_sign_client.exe" "$bin/cng_router_stand_in/ncrypt.dll" "$drive/sign64/" &&
  cp "$build_root/x86/bin/cng_sign_client.exe" \
    "$build_root/x86/bin/cng_router_stand_in/ncrypt.dll" "$drive/sign32/"
x86_runs=${SENDARO_X86_RUNS:-no}
if [ "$x86_runs" != yes ]; then
  not_checked "the installer test's 32-bit signature through SysWOW64 (no 32-bit Wine on this host)"
else
  signed32=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ncrypt=n,b" \
    /usr/lib/wine/wine 'C:\sign32\cng_sign_client.exe' "$thumbprint" | tr -d '\r')
  signed32_status=$?
  echo "$signed32"
  check "a 32-bit program signs through SysWOW64 (PKCS #1 and PSS verified)" \
    [ $signed32_status -eq 0 -a -n "$thumbprint" ]
fi
user_state_before=$(user_state)

# A repair ("msiexec /fa", which Wine's msiexec cannot start, is this) puts back a missing file
# and runs no registration action.
rm "$program/flutter_windows.dll"
msiexec /i "$msi" REINSTALL=ALL REINSTALLMODE=omus /l*v "$work/repair.log"
check "repair exits 0" [ $? -eq 0 ]
check "repair: file" cmp "$bin/flutter_windows.dll" "$program/flutter_windows.dll"
check "repair: the log names its actions" action_ran repair InstallFiles
check "repair: no registration action" \
  not logged repair 'Action start [0-9:]+: (Undo)?(Un)?[Rr]egisterProvider'
check "repair: the registration stays" registered

# Programs that hold the provider loaded through the upgrade and the uninstall, as browsers,
# signtool and services do: each signs at every line written to it and names the copies it
# signed with ("copies: provider STAMP, bridge STAMP").
declare -A holder_fd holder_pid
holders=(h64)
[ "$x86_runs" = yes ] && holders+=(h32)
start_holder() {  # start_holder NAME: h64.../h32... run the 64-bit/32-bit program
  local loader=$wine64 folder=sign64 fd
  [ "${1:0:3}" = h32 ] && loader=/usr/lib/wine/wine folder=sign32
  mkfifo "$work/$1.in"
  # Without the other programs' inputs: each must see only its own writer.
  (for fd in "${holder_fd[@]}"; do eval "exec $fd>&-"; done
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ncrypt=n,b" exec "$loader" \
      "C:\\$folder\\cng_sign_client.exe" "$thumbprint" --hold
  ) <"$work/$1.in" >"$work/$1.out" 2>/dev/null &
  holder_pid[$1]=$!
  exec {fd}>"$work/$1.in"
  holder_fd[$1]=$fd
}
rounds() { grep -c '^copies:' "$work/$1.out"; }
signed_rounds() {  # signed_rounds NAME COUNT: waits for COUNT rounds, the last one verified
  local i
  for i in $(seq 240); do [ "$(rounds "$1")" -ge "$2" ] && break; sleep 0.5; done
  [ "$(rounds "$1")" -ge "$2" ] &&
    grep -B1 '^copies:' "$work/$1.out" | tail -2 | head -1 | grep -q '^PSS: signed'
}
sign_again() {  # sign_again NAME: one more round, waited for
  local target=$(($(rounds "$1") + 1))
  echo sign >&"${holder_fd[$1]}"
  signed_rounds "$1" $target
}
copies() { grep '^copies:' "$work/$1.out" | tail -1 | tr -d '\r'; }
for_bits() { [ "${1:0:3}" = h32 ] && echo "$2" || echo "$3"; }  # for_bits NAME X86 X64
signed_with() {  # signed_with NAME PROVIDER BRIDGE: the last round's copies
  [ "$(copies "$1")" = "copies: provider $2, bridge $3" ]
}
stop_holder() {  # stop_holder NAME: ends the program; its exit code goes to holder_status
  echo end >&"${holder_fd[$1]}"
  eval "exec ${holder_fd[$1]}>&-"
  unset "holder_fd[$1]"
  wait "${holder_pid[$1]}"
  holder_status=$?
}
# Windows ends every program at a restart, then carries out the file operations left for it;
# wineboot -r does the latter.
restart() {
  wineserver -k >/dev/null 2>&1; wineserver -w
  "$wine64" wineboot -r >/dev/null 2>&1 </dev/null
}
# msiexec's exit code as a Unix exit status keeps its low byte: 3010 is 194.
exit_code() { [ $1 -eq $((3010 & 255)) ] && echo 3010 || echo $1; }

for holder in "${holders[@]}"; do
  start_holder $holder
  old=$(for_bits $holder "$old_stamp86" "$old_stamp")
  old_bridge=$(for_bits $holder "$old_bridge_stamp86" "$old_bridge_stamp")
  check "$holder signs with the installed copies" \
    eval 'signed_rounds $holder 1 && signed_with $holder $old $old_bridge'
done
# The 64-bit program signs all through the upgrade.
rm -f "$work/upgraded"
(fed=0
  while [ ! -e "$work/upgraded" ]; do
    echo sign && fed=$((fed + 1)) && echo $fed >"$work/fed" && sleep 0.5
  done) >&"${holder_fd[h64]}" &
feeder=$!
msiexec /i "$work/upgrade-test.msi" /l*v "$work/upgrade.log"
upgrade_status=$(exit_code $?)
touch "$work/upgraded" && wait $feeder
echo "upgrade exit code: $upgrade_status"
# Between the old product's removal and the new files no bridge is there: a signature then is
# refused (NTE_INTERNAL_ERROR), never answered with a wrong one, and the program lives on.
during=$(cat "$work/fed")
signed_rounds h64 $((during + 1))
verified=$(($(grep -c '^PSS: signed' "$work/h64.out") - 1))
refused=$(grep -c '^PKCS1: NCryptSignHash failed: 0x8009002D' "$work/h64.out")
echo "h64 during the upgrade: $during signatures, $verified verified, $refused refused"
check "h64 signed all through the upgrade: each signature verified or refused" \
  [ $during -gt 1 -a $((verified + refused)) -eq $during -a "$(rounds h64)" -eq $((during + 1)) ]
check "upgrade: finished, asking for a restart for the provider in use (3010)" \
  [ "$upgrade_status" = 3010 ]
check "upgrade: one product" [ "$(products)" -eq 1 ]
check "upgrade: $upgrade installed" \
  [ "$(reg_lines "$uninstall_key" "DisplayVersion\s+REG_SZ\s+$upgrade$")" -eq 1 ]
check "upgrade: provider registered" registered
for holder in "${holders[@]}"; do
  old=$(for_bits $holder "$old_stamp86" "$old_stamp")
  check "$holder, which holds the old provider, signs with it and the new bridge" \
    eval 'sign_again $holder && signed_with $holder $old $new_stamp'
  stop_holder $holder
  echo "$holder: $(copies $holder), exit code $holder_status"
done
not_checked "Restart Manager closing Sendaro for the upgrade (Wine's msiexec has none)"

# After the restart the new provider is in place; with an old bridge (one still in use at the
# upgrade, replaced only at the restart) it signs too.
restart
for holder in "${holders[@]}"; do
  start_holder $holder.new
  check "$holder.new, started after the restart, signs with the new copies" \
    eval 'signed_rounds $holder.new 1 && signed_with $holder.new $new_stamp $new_stamp'
  folder=$drive/windows/$(for_bits $holder syswow64 system32)
  old_bridge=$(for_bits $holder "$build_root/x86/bin" "$bin")/murako_sign_bridge.dll
  cp "$folder/murako_sign_bridge.dll" "$work/new_bridge.dll" &&
    cp "$old_bridge" "$folder/murako_sign_bridge.dll"
  check "$holder.new signs with the new provider and the old bridge" \
    eval 'sign_again $holder.new && signed_with $holder.new $new_stamp $(pe_stamp "$old_bridge")'
  cp "$work/new_bridge.dll" "$folder/murako_sign_bridge.dll"
done

msiexec /x "$work/upgrade-test.msi" /l*v "$work/uninstall.log"
uninstall_status=$(exit_code $?)
echo "uninstall exit code: $uninstall_status"
check "uninstall exits 0 or 3010" [ "$uninstall_status" = 0 -o "$uninstall_status" = 3010 ]
check "uninstall: the unregistration ran" logged uninstall 'BCryptUnregisterProvider exitoso'
for holder in "${holders[@]/%/.new}"; do
  sign_again $holder
  last_line=$(grep -v '^copies' "$work/$holder.out" | tail -1 | tr -d '\r')
  echo "$holder after the uninstall: $last_line"
  stop_holder $holder
  check "$holder: no signature without the bridge, and no crash (exit code $holder_status)" \
    [ $holder_status -eq 5 ]
done
# Wine's msiexec leaves a file it cannot delete, and leaves nothing for the restart.
held=()
for holder in "${holders[@]}"; do
  held+=("$drive/windows/$(for_bits $holder syswow64 system32)/murako_ksp.dll")
done
restart
check "uninstall leaves no file, registration or product but the providers then in use" \
  nothing_installed "${held[@]}"
not_checked "the removal at the restart, and 3010, for a provider in use at the uninstall \
(Wine's msiexec leaves the file and answers $uninstall_status)"
check "uninstall keeps the user's certificates and credentials" \
  [ "$user_state_before" -ge 2 -a "$(user_state)" -eq "$user_state_before" ]

echo "installer_test: $failures failed"
[ $failures -eq 0 ]
