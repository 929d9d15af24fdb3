# Shared by the parts of scripts/test (sourced, from the top of the checkout).
jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # BUILD_DIR CMAKE_OPTIONS...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DXQOB_BUILD_TESTS=ON "$@" >/dev/null
}

# A build that did not find GdkPixbuf or a Qt leaves those tests out (a Qt that is missing
# leaves a skipped qtN.NotFound); the suite must not pass without them.
desktop_tests_listed() {
    local listed kind
    for kind in desktop qt5 qt6; do
        listed=$(ctest --test-dir "$1" -N -R "^$kind[.]" -E "^$kind[.]NotFound$")
        [[ $listed =~ Total\ Tests:\ [1-9] ]] || {
            echo "the $kind tests are missing from $1 (scripts/setup all installs what they need)"
            return 1
        }
    done
}
