#!/usr/bin/env bash
# Usage: completion_test.sh COMPLETION_FILE PROGRAM
# Loads the bash completion for pelmora-cli and asks it what it offers, the way bash does on
# Tab: COMP_WORDS and COMP_CWORD set, the registered function called, COMPREPLY read.
set -uo pipefail
export LC_ALL=C
completion=$1
program=$2

# shellcheck source=/dev/null
source "$completion" || exit 1
failures=0

registered=$(complete -p pelmora-cli 2>/dev/null)
if [[ $registered != "complete -F "*" pelmora-cli" ]]; then
    echo "not registered for pelmora-cli: '$registered'" >&2
    exit 1
fi
function=${registered#complete -F }
function=${function% pelmora-cli}

# complete WORD... : the words of the command line, the last one being completed.
complete_words() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    "$function" pelmora-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" \
        2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}

expect() {
    local wanted=$1
    shift
    local got
    got=$(complete_words "$@")
    if [[ $got != "$wanted" ]]; then
        echo "completing '$*': wanted '$wanted', got '$got'" >&2
        failures=$((failures + 1))
    fi
}

expect "--no-dither" --no-d
expect "--verbose --version" --ver
expect "--window-options" -o out --win
expect "overwrite rename skip" --existing ""
expect "skip" --existing s
expect "16" --bits 1
expect "24" --bits = 2          # --bits=2 as bash splits it at '='
expect "0 1 2 3 4" --channel ""
expect "" --jobs ""

# Every long option of --help completes from its own name, new ones included.
options=$("$program" --help | grep -oE -- '(^|[[:space:],/(])--[[:alpha:]][[:alnum:]-]*' |
    sed -E 's/^[^-]//' | sort -u)
count=0
for option in $options; do
    count=$((count + 1))
    got=" $(complete_words "$option") "
    if [[ $got != *" $option "* ]]; then
        echo "completing '$option' does not offer it: '$got'" >&2
        failures=$((failures + 1))
    fi
done
all=$(complete_words --)
if ((count < 10)) || [[ $(wc -w <<<"$all") -ne $count ]]; then
    echo "'--' offers $(wc -w <<<"$all") options, --help lists $count" >&2
    failures=$((failures + 1))
fi

# Folders after -o; MP3 files in any letter case and folders elsewhere.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/albums" "$dir/a folder"
touch "$dir/a.mp3" "$dir/B.MP3" "$dir/notes.txt" "$dir/albums/c.mp3"
expect "$dir/a folder $dir/albums" -o "$dir/"
expect "$dir/a folder $dir/albums" --output = "$dir/"
expect "$dir/B.MP3 $dir/a folder $dir/a.mp3 $dir/albums" --bits 8 "$dir/"
expect "$dir/albums/c.mp3" -o out "$dir/albums/"

# The options are read from the program's --help at Tab time, so an option added there
# completes at once.
printf '#!/bin/sh\necho "  -o, --output DIR\n      --existing WHAT  overwrite, skip or rename"\n' \
    >"$dir/newer-cli"
chmod +x "$dir/newer-cli"
program=$dir/newer-cli
expect "--existing" --exi
expect "--existing --output -o" -

if ((failures > 0)); then
    echo "$failures completion checks failed" >&2
    exit 1
fi
echo "completion offers all $count long options, option values, folders and MP3 files"
