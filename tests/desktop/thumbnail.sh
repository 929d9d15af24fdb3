#!/usr/bin/env bash
# Runs the Exec line of a .thumbnailer entry the way a file manager does (%s the size, %u the
# file's URI, %o the output PNG) for each sample, at 128 and 256 pixels, and checks the PNG.
# usage: thumbnail.sh ENTRY PIXBUF_CHECK SAMPLE...
set -euo pipefail
entry=$1 check=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
exec_line=$(sed -n 's/^Exec=//p' "$entry")
grep -qx 'MimeType=.*image/x-qob;.*' "$entry"
for sample in "$@"; do
    for size in 128 256; do
        output=$work/$(basename "$sample" .qob)-$size.png
        uri="file://$(cd "$(dirname "$sample")" && pwd)/$(basename "$sample")"
        command=${exec_line//%s/$size}
        command=${command//%u/$uri}
        command=${command//%o/$output}
        # shellcheck disable=SC2086
        $command
        "$check" longer-side "$output" "$size"
    done
done
