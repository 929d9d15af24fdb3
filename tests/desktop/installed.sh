#!/usr/bin/env bash
# Installs the build into a temporary prefix and loads a sample through the installed loader
# alone: the loader must find the installed libxqob through its run path, and the MIME entry
# and the thumbnailer entry must be where desktops look for them.
# usage: installed.sh BUILD PIXBUF_CHECK QUERY_LOADERS SAMPLE LONGER_SIDE
set -euo pipefail
build=$1 check=$2 query_loaders=$3 sample=$4 longer_side=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/share/mime/packages/xqob.xml"
test -f "$prefix/share/thumbnailers/xqob.thumbnailer"
loaders=$(find "$prefix" -name libpixbufloader-qob.so)
test "$(echo "$loaders" | wc -l)" = 1
case $loaders in */gdk-pixbuf-2.0/*/loaders/libpixbufloader-qob.so) ;; *) exit 1 ;; esac
"$query_loaders" "$loaders" >"$work/loaders.cache"
grep -q '"image/x-qob"' "$work/loaders.cache"
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
# The run path, not the build tree, must lead the installed loader to the installed library.
library=$(env -u LD_LIBRARY_PATH ldd "$loaders" | sed -n 's/^\s*libxqob\.so\.1 => \(\S*\).*/\1/p')
case $library in "$prefix"/*) ;; *) echo "installed loader finds libxqob at '$library'" >&2; exit 1 ;; esac
GDK_PIXBUF_MODULE_FILE=$work/loaders.cache XDG_DATA_DIRS=$prefix/share:/usr/share \
    "$check" longer-side "$sample" "$longer_side"
