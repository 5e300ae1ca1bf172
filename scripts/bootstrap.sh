#!/usr/bin/env bash
# Sets Quorix up on a Debian 12 machine and then runs it or tests it.
#
#   scripts/bootstrap.sh run    install what is missing, build, start quorix on the virtual phone
#   scripts/bootstrap.sh test   install what is missing, build, run the whole test suite
#
# Run it as root, or as a user who may use sudo. Both modes are idempotent:
# nothing is installed or rebuilt that is already there.
set -euo pipefail

mode=${1:-}
case "$mode" in
run | test) ;;
*)
    echo "usage: $0 run|test" >&2
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
if [ "$mode" = test ]; then
    # The Windows serial backend is compile-checked with the cross compiler;
    # real mouse drags in the tree are tested on a virtual X server; the
    # packaging tests validate the desktop files, render the manual pages and
    # build the .deb (dpkg-shlibdeps finds its Depends).
    packages+=(g++-mingw-w64-x86-64 xvfb xauth
        desktop-file-utils appstream shared-mime-info man-db dpkg-dev)
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

if [ "$mode" = test ]; then
    preset=default
    [ -f build/$preset/CMakeCache.txt ] || cmake --preset $preset
    cmake --build --preset $preset -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --preset $preset -j "$jobs"
    exit $?
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
