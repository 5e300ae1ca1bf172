#!/usr/bin/env bash
# Sets Quorix up on a Debian 12 machine and then runs it or tests it.
#
#   scripts/bootstrap.sh run    install what is missing, build, start quorix on the virtual phone
#   scripts/bootstrap.sh test   install what is missing, build, run the whole test suite
#   scripts/bootstrap.sh checks the unit and end-to-end tests under AddressSanitizer and
#                               UndefinedBehaviorSanitizer, the link and transfer tests
#                               under ThreadSanitizer, and every fuzz target for
#                               FUZZ_SECONDS (default 60) seconds (clang); CI runs it
#                               after the test suite
#
# Run it as root, or as a user who may use sudo. Every mode is idempotent:
# nothing is installed or rebuilt that is already there.
set -euo pipefail

mode=${1:-}
case "$mode" in
run | test | checks) ;;
*)
    echo "usage: $0 run|test|checks" >&2
    exit 2
    ;;
esac

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
    fonts-dejavu-core
)
if [ "$mode" != run ]; then
    # The Windows serial backend is compile-checked with the cross compiler;
    # real mouse drags in the tree are tested on a virtual X server; the
    # packaging tests validate the desktop files, render the manual pages and
    # build the .deb (dpkg-shlibdeps finds its Depends).
    packages+=(g++-mingw-w64-x86-64 xvfb xauth
        desktop-file-utils appstream shared-mime-info man-db dpkg-dev)
fi
if [ "$mode" = checks ]; then
    # The fuzz targets are built with clang's libFuzzer.
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== Installing: ${missing[*]}"
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then
            sudo=(sudo)
        else
            echo "Missing packages (${missing[*]}) and not root: run this as root or install sudo." >&2
            exit 1
        fi
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)

# Configures a preset once and builds it.
build() {
    [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1"
    cmake --build --preset "$1" -j "$jobs"
}

if [ "$mode" = test ]; then
    build default
    QT_QPA_PLATFORM=offscreen ctest --preset default -j "$jobs"
    exit 0
fi
if [ "$mode" = checks ]; then
    SECONDS=0
    echo "== AddressSanitizer and UndefinedBehaviorSanitizer: unit and end-to-end tests"
    # Only what those tests run is built: the window and its tests are left out.
    [ -f build/asan-ubsan/CMakeCache.txt ] || cmake --preset asan-ubsan
    mapfile -t asan_tests < <(ctest --test-dir build/asan-ubsan -N -L 'unit|e2e' |
        sed -n 's/^ *Test *#[0-9]*: \(tst_[a-z0-9_]*\|fuzz_[a-z0-9_]*\)$/\1/p')
    cmake --build build/asan-ubsan -j "$jobs" --target quorix-cli quorix-phonesim "${asan_tests[@]}"
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen \
        ctest --preset asan-ubsan -j "$jobs" -L 'unit|e2e'
    echo "== ThreadSanitizer: link and transfer tests"
    cmake --preset tsan >/dev/null
    cmake --build build/tsan -j "$jobs" --target tst_link tst_link_pty tst_transfer tst_transfercontrol
    QT_QPA_PLATFORM=offscreen ctest --test-dir build/tsan -j "$jobs" --output-on-failure \
        -R '^tst_(link|link_pty|transfer|transfercontrol)$'
    echo "== Fuzzing: every target for ${FUZZ_SECONDS:-60} s"
    build fuzz
    FUZZ_SEED=${FUZZ_SEED:-1} scripts/fuzz.sh build/fuzz "${FUZZ_SECONDS:-60}" "$jobs"
    echo "== Sanitizers and fuzzing took $((SECONDS / 60)) min $((SECONDS % 60)) s"
    exit 0
fi

preset=default
[ -f build/$preset/CMakeCache.txt ] || cmake --preset $preset
cmake --build --preset $preset -j "$jobs"
bin=build/$preset

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the Quorix window cannot open."
    echo "Running the headless demo instead: the same engine, printing to this terminal."
    echo
    exec "$bin/cli/quorix-cli" demo
fi
exec "$bin/app/quorix" --demo
