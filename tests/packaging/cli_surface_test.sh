#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The command line's completion and manual page keep up with the program: every command and
# option that `carillon-cli --help` lists is completed and documented, and completion gives
# slot numbers and file names where they belong.
# Usage: cli_surface_test.sh CARILLON_CLI COMPLETION_SCRIPT MANUAL_PAGE_SOURCE
set -uo pipefail
cli=$1
completion=$2
manual=$3
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# shellcheck source=/dev/null
source "$completion"
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'  # bash's default
complete_line() {  # prints the answers for a line with the cursor at its end, one a line
    COMP_LINE=$1
    COMP_POINT=${#1}
    COMPREPLY=()
    _carillon_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {  # expect LINE ANSWERS...: the answers, in any order, and nothing else
    local got want
    got=$(complete_line "$1")
    want=$(shift; printf '%s\n' "$@" | sort)
    [ "$got" = "$want" ] || fail "completing \"$1\": got [${got//$'\n'/ }], want [${want//$'\n'/ }]"
}

commands=$("$cli" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "no command found in carillon-cli --help"
for cmd in $commands; do
    options=$("$cli" "$cmd" --help | grep -oE '(^|[ ,])--[a-z][a-z-]*' | sed 's/^[ ,]*//' | sort -u)
    [ "$(complete_line "carillon-cli ${cmd:0:3}")" = "$cmd" ] || fail "${cmd:0:3} does not complete to $cmd"
    offered=$(complete_line "carillon-cli $cmd image.bin --")
    for option in $options; do
        grep -qx -- "$option" <<<"$offered" || fail "$cmd $option is not completed"
        grep -qF -- "*$option*" "$manual" || fail "$cmd $option is not in the manual page"
    done
    grep -qE -- "^\*$cmd\* _[A-Z]+_" "$manual" || fail "$cmd is not in the manual page"
done

cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch fanfare.si3 flash.bin
mkdir saved
expect "carillon-cli pa" patch
expect "carillon-cli --ver" --version
expect "carillon-cli patch flash.bin --slot 1" 1= 10= 11= 12= 13= 14= 15= 16= 17= 18=
expect "carillon-cli patch flash.bin --name 1" 1= 10=
# Bash replaces only what follows the "=", so the answer is the file name alone.
expect "carillon-cli patch flash.bin --slot 14=fa" fanfare.si3
expect "carillon-cli patch flash.bin --per-slot s" saved
expect "carillon-cli patch fl" flash.bin
expect "carillon-cli export flash.bin --slot 1" 1 10 11 12 13 14 15 16 17 18
expect "carillon-cli export flash.bin --all " saved
expect "carillon-cli check flash.bin f" fanfare.si3 flash.bin
expect "carillon-cli apply flash.bin changes.vkp --out s" saved
expect "carillon-cli diff flash.bin flash.bin --title " 

if [ "$failures" -ne 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "completion and manual page match carillon-cli"
