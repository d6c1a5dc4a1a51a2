#!/usr/bin/env bash
# summary-required.sh SUMMARY COMMAND [ARGS...]: runs a test command and passes its output on; an
# exit 0 without the fixed text SUMMARY in that output fails, because then the tests never ran.
# The output goes through a file, not a pipe: a background process the test leaves behind would
# keep a pipe open, and the run waiting on it.
set -uo pipefail
summary=$1
shift
output=$(mktemp)
trap 'cat "$output"; rm -f "$output"' EXIT
status=0
"$@" >"$output" 2>&1 || status=$?
if [ $status -eq 0 ] && ! grep -qF -- "$summary" "$output"; then
  echo "test: $(basename "$1") exited 0 without its summary \"$summary\": its tests did not run" \
    >>"$output"
  status=1
fi
exit $status
