#!/usr/bin/env bash
# Usage: manual_lists_options.sh PROGRAM MANUAL_SOURCE
# Every long option PROGRAM --help names must be described in the manual page source (as
# roff's \-\-name), and the manual must name no long option that --help does not know.
set -euo pipefail
program=$1
manual=$2

help_options=$("$program" --help | grep -oE -- '(^|[[:space:],/(])--[[:alpha:]][[:alnum:]-]*' |
    sed -E 's/^[^-]//' | sort -u)
count=$(printf '%s\n' "$help_options" | grep -c -- '^--' || true)
if [ "$count" -lt 2 ]; then
    echo "found only $count long options in $program --help" >&2
    exit 1
fi

# Roff source writes a minus as \-; comment lines (.\") do not count.
source_text=$(grep -v '^\.\\"' "$manual")
manual_options=$(printf '%s\n' "$source_text" | sed 's/\\-/-/g' |
    grep -oE -- '--[[:alpha:]][[:alnum:]-]*' | sort -u)

status=0
missing=$(comm -23 <(printf '%s\n' "$help_options") <(printf '%s\n' "$manual_options"))
if [ -n "$missing" ]; then
    echo "$manual does not describe these options of $program --help:" >&2
    printf '  %s\n' $missing >&2
    status=1
fi
unknown=$(comm -13 <(printf '%s\n' "$help_options") <(printf '%s\n' "$manual_options"))
if [ -n "$unknown" ]; then
    echo "$manual names options that $program --help does not list:" >&2
    printf '  %s\n' $unknown >&2
    status=1
fi
# A bare "-" may be set as a hyphen, which cannot be copied into a shell: every minus of an
# option is typed \-.
if printf '%s\n' "$source_text" | sed 's/\\-/\x01/g' | grep -nP -- '--[[:alpha:]]|-\x01|\x01[\x01[:alnum:]]*-' >&2; then
    echo "$manual: write every minus of an option as \\- (lines above)" >&2
    status=1
fi
[ $status -eq 0 ] && echo "$manual describes all $count long options of $program --help"
exit $status
