#!/usr/bin/env bash
# Loads the bash completion of orvasm into bash with the bash-completion
# package, as an interactive shell would, and checks what it offers for
# words as readline splits them ("--listing=" is three words). Exits 77 when
# bash-completion is not installed.
#
# usage: completion_test.sh COMPLETION ORVASM
set -uo pipefail
completion=$(realpath "$1")
orvasm=$(realpath "$2")
package=/usr/share/bash-completion/bash_completion
if [ ! -f "$package" ]; then
    echo "bash-completion is not installed: skipped"
    exit 77
fi

# shellcheck disable=SC1090
source "$package"
source "$completion"

# compopt only works inside a real completion; record what was asked.
compopt() { options_set+=" $1 $2"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch -- game.orv game.lst --local.orv
mkdir sub

failures=0
# check EXPECTED LINE: completes LINE, typed after "orvasm " with the cursor
# at its end, and compares the offered words, sorted, and the options set
# with compopt, with EXPECTED.
check() {
    local expected=$1 line=$2
    # Words as readline splits them: at blanks, and "=" is a word of its own.
    local spaced=${line//=/ = }
    read -ra COMP_WORDS <<<"$orvasm $spaced"
    [[ $line == *" " || -z $line ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$orvasm $line"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    options_set=""
    _orvasm "$orvasm" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got="$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr "\n" " " | sed "s/ $//")"
    got+="${options_set:+ |$options_set}"
    if [ "$got" != "$expected" ]; then
        echo "orvasm $line: got '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
}

check "--listing= --locations" "--l"
check "--depfile= | -o nospace" "--dep"
check "--help" "--he"
check "--local.orv game.lst game.orv sub | -o filenames" "--listing="
check "game.lst game.orv | -o filenames" "--listing=ga"
check "game.lst game.orv | -o filenames" "in.orv --depfile ga"
check "--local.orv game.lst game.orv sub | -o filenames" "in.orv "
check "--local.orv | -o filenames" "-- --l"
check "" "--locations="

if [ "$failures" -ne 0 ]; then
    echo "$failures completions differ"
    exit 1
fi
echo "the completion offers the options and file names"
