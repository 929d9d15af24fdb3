# Shared by the parts of scripts/test (sourced, from the top of the checkout).
jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # BUILD_DIR CMAKE_OPTIONS...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DXQOB_BUILD_TESTS=ON "$@" >/dev/null
}

# A build that did not find GdkPixbuf leaves the desktop tests out; the suite must not pass
# without them.
desktop_tests_listed() {
    local listed
    listed=$(ctest --test-dir "$1" -N -R '^desktop[.]')
    [[ $listed =~ Total\ Tests:\ [1-9] ]] ||
        { echo "the desktop tests are missing from $1 (scripts/setup tests installs GdkPixbuf)"; return 1; }
}
