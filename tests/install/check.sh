#!/usr/bin/env bash
# Installs the build in BUILD into a temporary prefix, then builds and runs a separate
# project that finds the package with find_package(xqob).
set -euo pipefail
build=$1
source=$(cd "$(dirname "$0")" && pwd)/consumer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_FLAGS="${XQOB_CONSUMER_FLAGS:-}" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer"
test -e "$work/prefix/lib/libxqob.so"
