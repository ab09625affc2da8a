#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# carillon-demo-image answers --help with its usage, and never takes an option (a name starting
# with "-") for the file or folder to write.
# Usage: demo_image_test.sh CARILLON_DEMO_IMAGE
set -uo pipefail
demo=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

help=$("$demo" --help)
[ $? -eq 0 ] && [[ $help == "usage: carillon-demo-image "* ]] || fail "--help: got [$help]"
for args in "-o" "--out" "--all-slots -d" "--all-slots"; do
    # shellcheck disable=SC2086
    err=$("$demo" $args 2>&1 >/dev/null)
    status=$?
    [ $status -eq 2 ] || fail "$args: exit status $status, not 2"
    [[ $err == *"usage: carillon-demo-image "* ]] || fail "$args: no usage line in [$err]"
done
[ -z "$(ls -A)" ] || fail "files were written: $(ls -A)"
"$demo" demo.bin && [ -s demo.bin ] || fail "demo.bin was not written"
exit $failures
