#!/usr/bin/env bash
# Installs the build into a staging folder as the package does (prefix /usr,
# DESTDIR) and checks what arrives there: exactly the expected files, icons of
# the sizes their folders promise, the desktop entry, metainfo and icons naming
# each other, and the installed programs finding each other and the sample book.
#
#   check_install.sh BUILD_DIR GUI(ON|OFF) VERSION
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
. "$(dirname "$0")/common.sh"

build=$1 gui=$2 version=$3
need cmake cmake

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/root

DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }

echo "Installed files:"
(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) | tee "$work/got"
expected_files "$gui" >"$work/want"
diff -u "$work/want" "$work/got" >"$work/diff" ||
    { cat "$work/diff"; fail "the installed files differ from the expected list (- missing, + extra)"; }

for program in quorix-cli quorix-phonesim $([[ $gui == ON ]] && echo quorix); do
    [[ -x $stage/usr/bin/$program ]] || fail "usr/bin/$program is not executable"
done
while read -r f; do
    [[ $f == usr/bin/* ]] && continue
    [[ ! -x $stage/$f ]] || fail "$f is executable"
done <"$work/got"

# The programs as installed: the demo needs quorix-phonesim beside quorix-cli and
# the sample book in share/quorix.
bin=$stage/usr/bin
[[ $("$bin/quorix-cli" --version) == "quorix-cli $version beta" ]] || fail "quorix-cli --version"
[[ $("$bin/quorix-phonesim" --version) == "quorix-phonesim $version beta" ]] ||
    fail "quorix-phonesim --version"
"$bin/quorix-cli" show "$stage/usr/share/quorix/sample.pbf" >"$work/sample.txt" ||
    fail "quorix-cli cannot show the installed sample book"
timeout 60 "$bin/quorix-cli" demo >"$work/demo.txt" 2>"$work/demo.err" ||
    { cat "$work/demo.err"; fail "quorix-cli demo does not run from the installed tree"; }
first_name=$(head -n 1 "$work/sample.txt")
[[ -n $first_name ]] || fail "the sample book shows no names"
grep -qxF "$first_name" "$work/demo.txt" ||
    fail "the installed demo did not read '$first_name' from the virtual phone"

if [[ $gui == ON ]]; then
    [[ $("$bin/quorix" --version) == "Quorix $version beta" ]] || fail "quorix --version"

    share=$stage/usr/share
    desktop=$share/applications/org.quorix.Quorix.desktop
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [[ -x $bin/$exec_program ]] || fail "the desktop entry starts '$exec_program', which is not installed"
    # quorix opens the file on its command line (its --help lists the argument),
    # so the entry hands it the file and claims the phonebook type; an entry that
    # passes files to a quorix taking none would open an empty book instead.
    if "$bin/quorix" --help | grep -q '^Arguments:'; then
        grep -Eq '^Exec=.*%[fF]' "$desktop" || fail "the desktop entry passes no file to quorix"
        grep -q '^MimeType=.*application/x-quorix-phonebook;' "$desktop" ||
            fail "the desktop entry does not claim .pbf files"
    elif grep -Eq '^Exec=.*%[fFuU]|^MimeType=' "$desktop"; then
        fail "the desktop entry passes files to quorix, whose --help lists no file argument"
    fi
    [[ -f $share/icons/hicolor/scalable/apps/$icon.svg ]] ||
        fail "the desktop entry's icon '$icon' has no scalable drawing"
    for size in 16 32 48 64 128 256; do
        png=$share/icons/hicolor/${size}x${size}/apps/$icon.png
        got=$(png_size "$png")
        [[ $got == "${size}x${size}" ]] || fail "$png is '${got:-not a PNG}', not ${size}x${size}"
    done

    metainfo=$share/metainfo/org.quorix.Quorix.metainfo.xml
    launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
    [[ -f $share/applications/$launchable ]] || fail "the metainfo launches '$launchable', not installed"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
    grep -q "<icon type=\"stock\">$icon</icon>" "$metainfo" || fail "the metainfo names another icon"
fi
echo "The install holds $(wc -l <"$work/got") files, as expected."
