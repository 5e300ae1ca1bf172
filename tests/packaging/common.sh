# shellcheck shell=bash
# Shared by the packaging checks: failing loudly, and the expected file list.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# need TOOL PACKAGE: the check cannot run without TOOL, and that is a failure.
need() {
    command -v "$1" >/dev/null ||
        fail "$1 is not installed (Debian package $2; scripts/bootstrap.sh test installs it)"
}

# The files an install of this build holds, sorted; $1 is ON when the window is built.
expected_files() {
    local gui=$1 path tag
    while read -r path tag; do
        [[ -z $path || $path == \#* ]] && continue
        [[ $tag == gui && $gui != ON ]] && continue
        echo "$path"
    done <"$(dirname "${BASH_SOURCE[0]}")/installed_files.txt" | LC_ALL=C sort
}

# png_size FILE: "WIDTHxHEIGHT" from the PNG header, or nothing when FILE is no PNG.
png_size() {
    local sig
    sig=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
    [[ $sig == 89504e470d0a1a0a ]] || return 0
    local -a b
    read -r -a b <<<"$(od -An -tu1 -j16 -N8 "$1")"
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}
