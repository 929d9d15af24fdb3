#!/usr/bin/env bash
# Installs the build into a temporary prefix and reads the samples through the installed
# plug-in alone: it must land in Qt's plug-ins folder under the prefix and find the installed
# libxqob through its run path.
# usage: installed.sh BUILD PLUGINDIR TEST_PROGRAM
set -euo pipefail
build=$1 plugindir=$2 test_program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
plugin=$prefix/$plugindir/imageformats/libqqob.so
test -f "$plugin" || { echo "no plug-in at $plugin" >&2; exit 1; }
library=$(env -u LD_LIBRARY_PATH ldd "$plugin" | sed -n 's/^\s*libxqob\.so\.1 => \(\S*\).*/\1/p')
case $library in "$prefix"/*) ;; *) echo "installed plug-in finds libxqob at '$library'" >&2; exit 1 ;; esac
QT_PLUGIN_PATH=$prefix/$plugindir "$test_program" \
    --gtest_filter='QtPlugin.ListsTheFormatAndTheMimeType:QtPlugin.SamplesGiveThePixelsOfQobDecode'
