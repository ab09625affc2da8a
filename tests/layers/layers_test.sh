#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Each library may include only its own headers and those of the layers below it; the engine
# sees no Qt. Compiles a one-line file per case with the include folders the library's own
# sources get, and expects the include to be found or not.
# Usage: layers_test.sh CXX LAYER=DIR:DIR:... ...
set -uo pipefail
cxx=$1
shift
declare -A roots
for arg in "$@"; do
    roots[${arg%%=*}]=${arg#*=}
done
failures=0

expect() {  # expect LAYER HEADER found|missing
    local layer=$1 header=$2 want=$3 flags=() dir out got
    IFS=: read -ra dirs <<<"${roots[$layer]}"
    for dir in "${dirs[@]}"; do
        [ -n "$dir" ] && flags+=("-I$dir")
    done
    out=$(printf '#include %s\n' "$header" |
        "$cxx" -std=c++20 -fPIC -fsyntax-only "${flags[@]}" -x c++ - 2>&1)
    if [ $? -eq 0 ]; then
        got=found
    elif grep -q 'No such file or directory' <<<"$out"; then
        got=missing
    else
        got="an error: $out"
    fi
    if [ "$got" != "$want" ]; then
        echo "FAILED: $layer including $header: want $want, got $got"
        failures=$((failures + 1))
    fi
}

expect core '"core/image.h"' found
expect core '"search/slot_search.h"' missing
expect core '<QString>' missing
expect search '"core/slots.h"' found
expect search '"patch/patch_builder.h"' missing
expect search '"eeprom/relocation.h"' missing
expect patch '"search/slot_search.h"' found
expect patch '"vkp/reader.h"' found
expect vkp '"core/image.h"' found
expect vkp '"search/slot_search.h"' missing
expect vkp '"patch/patch_builder.h"' missing
expect search '"vkp/reader.h"' missing
expect core '"vkp/reader.h"' missing
expect patch '"eeprom/block_list.h"' missing
expect eeprom '"search/block_header.h"' found
expect eeprom '"patch/make_patch.h"' missing
if [ -n "${roots[platform]:-}" ]; then
    expect platform '<QString>' found
    expect platform '<QWidget>' missing
    expect platform '"patch/patch_run.h"' missing
fi

[ "$failures" -eq 0 ] && echo "every layer sees what it may and no more"
[ "$failures" -eq 0 ]
