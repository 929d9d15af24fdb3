#!/usr/bin/env bash
# Installs the build in BUILD into a temporary prefix, then:
# - checks that it holds the public library and nothing internal;
# - builds and runs a separate CMake project that finds the package with find_package(xqob)
#   and links the C++ header over the shared library (xqob::xqob) and a C program against
#   the static one (xqob::xqob_static), and finds no internal target;
# - builds the C sample check with nothing but cc and pkg-config against the prefix, with a
#   run path, without one (run with LD_LIBRARY_PATH) and with the static library, as the
#   README's install recipe says, and runs each on every sample.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
archives=$(find "$prefix" -name '*.a' -printf '%f ')
if [ "$archives" != "libxqob.a " ]; then
    echo "the installed tree holds other archives than libxqob.a: $archives" >&2
    exit 1
fi
if grep -rqE 'xqob_(api|decoder|encoder|coder)\b' "$(dirname "$(find "$prefix" -name xqobConfig.cmake)")"; then
    echo "the installed package names an internal target" >&2
    exit 1
fi
cmake -S "$here/consumer" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_FLAGS="${XQOB_CONSUMER_FLAGS:-}" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer"
"$work/build/consumer_c"

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name xqob.pc)")
libdir=$(pkg-config --variable=libdir xqob)
test -e "$libdir/xqob-vkm.so"
readelf -d "$libdir/libxqob.so" | grep -q 'SONAME.*\[libxqob\.so\.1\]'
test "$(pkg-config --modversion xqob)" = "$("$work/build/consumer" | sed -n 's/^xqob \([^:]*\):.*/\1/p')"

# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror -o "$work/samples" "$root/tests/capi_samples.c" \
    $(pkg-config --cflags --libs xqob) -Wl,-rpath,"$libdir"
"$work/samples" "$root"/samples/*.qob
# shellcheck disable=SC2046
cc -std=c99 -o "$work/samples-env" "$root/tests/capi_samples.c" $(pkg-config --cflags --libs xqob)
LD_LIBRARY_PATH=$libdir "$work/samples-env" "$root"/samples/*.qob >/dev/null

# shellcheck disable=SC2046
cc -std=c99 -o "$work/samples-static" "$root/tests/capi_samples.c" \
    $(pkg-config --cflags xqob) "$libdir/libxqob.a" $(pkg-config --static --libs-only-other \
    --libs-only-l xqob | sed 's/-lxqob\b//')
if ldd "$work/samples-static" | grep -q libxqob; then
    echo "the static build links libxqob.so" >&2
    exit 1
fi
"$work/samples-static" "$root"/samples/*.qob >/dev/null
echo "installed C, C++ and pkg-config consumers pass"
