#!/usr/bin/env bash
# The main job: sets up and builds everything (x64 and x86), then runs the road from sign-in to
# a verified signature under Wine against the local signing service double:
#   - MurakoKspConfig registers murako_ksp.dll with the CNG router stand-in;
#   - account linking opens the sign-in window; in its embedded browser (the stand-in) a
#     scripted user signs in as the citizen on the double's login page, and the OAuth manager
#     exchanges the redirect's code for tokens at the double's token endpoint;
#   - account linking stores the tokens, fetches the user information and signing identities,
#     and installs the citizen's certificates in the personal store, bound to "Murako KSP",
#     with their thumbprint mappings;
#   - a separate program signs with one of them through CNG, the provider, the signing bridge
#     and the service, with PKCS #1 and PSS, and verifies both signatures with the
#     certificate's public key;
#   - the same for the professional account;
#   - the provider is unregistered, and the installed certificates and credential entries of
#     the run are removed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"
bash scripts/test.sh -R '^sign_in_road_test$' --verbose

# The product's log of the run: the provider and the bridge write it in the temporary folder.
log=$(find "$build_root/x64/wineprefix/drive_c" -name murako_windows.log -print -quit)
if [ -n "$log" ]; then
  echo
  echo "main: the last remote signature in the product's log ($log):"
  start=$(grep -an "MurakoSignHashRemote: Starting remote signature" "$log" | tail -1 | cut -d: -f1)
  if [ -n "$start" ]; then sed -n "$start,/Remote signature successful/p" "$log"; fi
fi
