#!/usr/bin/env bash
# Runs the Exec line of a .thumbnailer entry the way a file manager does (%s the size, %u the
# file's URI, %o the output PNG) for each sample, at 128 and 256 pixels, and checks the PNG;
# then on a truncated sample, which must fail with the loader's message and leave no PNG.
# With valgrind on PATH the thumbnailer runs under it, and any memory error fails the test.
# usage: thumbnail.sh ENTRY PIXBUF_CHECK SAMPLE...
set -euo pipefail
entry=$1 check=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grep -qx 'MimeType=.*image/x-qob;.*' "$entry"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
wrapper=()
if command -v valgrind >/dev/null; then
    wrapper=(valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite
             --suppressions="$here/thumbnailer.supp")
fi

# Prints the command of the entry for SAMPLE, SIZE and OUTPUT.
thumbnail_command() {
    local uri command
    uri="file://$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    command=${exec_line//%s/$2}
    command=${command//%u/$uri}
    echo "${command//%o/$3}"
}

for sample in "$@"; do
    for size in 128 256; do
        output=$work/$(basename "$sample" .qob)-$size.png
        # shellcheck disable=SC2046
        "${wrapper[@]}" $(thumbnail_command "$sample" "$size" "$output")
        "$check" longer-side "$output" "$size"
    done
done

head -c 2000 "$1" >"$work/cut.qob"
status=0
# shellcheck disable=SC2046
"${wrapper[@]}" $(thumbnail_command "$work/cut.qob" 128 "$work/cut.png") 2>"$work/log" ||
    status=$?
if [ "$status" != 1 ] || ! grep -q 'payload ends after' "$work/log" || [ -e "$work/cut.png" ]; then
    echo "a truncated file: exit status $status (expected 1), thumbnailer said:" >&2
    cat "$work/log" >&2
    exit 1
fi
