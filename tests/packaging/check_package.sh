#!/usr/bin/env bash
# Builds the .deb from the existing build with CPack (nothing is compiled) into a
# scratch folder and checks it as dpkg sees it: its name, its control fields with
# the Depends found by dpkg-shlibdeps, its files, owners and modes, and programs
# that run once unpacked.
#
#   check_package.sh BUILD_DIR GUI(ON|OFF) VERSION CPACK
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
. "$(dirname "$0")/common.sh"

build=$1 gui=$2 version=$3 cpack=$4
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need readelf binutils
[[ -x $cpack ]] || fail "cpack not found at $cpack"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
arch=$(dpkg --print-architecture)
deb=$work/out/quorix_${version}_${arch}.deb
[[ -f $deb ]] || { ls -l "$work/out"; fail "cpack made no $(basename "$deb")"; }
echo "Built $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
echo "Control:"
dpkg-deb -f "$deb" | tee "$work/control"
[[ $(field Package) == quorix ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)'"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture is '$(field Architecture)'"
[[ $(field Section) == utils ]] || fail "Section is '$(field Section)'"
[[ $(field Maintainer) == "The Quorix developers <dev@quorix.example.org>" ]] ||
    fail "Maintainer is '$(field Maintainer)'"
[[ $(field Description) == "phonebook editor for the Nokia 7110"* ]] ||
    fail "Description starts '$(field Description | head -n 1)'"
[[ $(field Description | wc -l) -gt 3 ]] || fail "the Description has no long text"

# Depends as dpkg-shlibdeps found it: package names with versions, no library file names.
depends=$(field Depends)
[[ -n $depends ]] || fail "Depends is empty: dpkg-shlibdeps did not run"
libraries=(libc6 libstdc++6 libqt6core6)
[[ $gui == ON ]] && libraries+=(libqt6gui6 libqt6widgets6 libqt6svg6 libqt6printsupport6)
for lib in "${libraries[@]}"; do
    grep -Eq "(^|, )${lib//+/\\+}( \(>= [^)]+\))?(,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -Eq '\.so' <<<"$depends" && fail "Depends names library files: $depends"
# A font with CJK glyphs, so such names do not show as boxes; the long
# description names the file formats people look for.
if [[ $gui == ON ]]; then
    [[ $(field Recommends) == *fonts-noto-cjk* ]] || fail "Recommends lacks fonts-noto-cjk: '$(field Recommends)'"
fi
for format in vCard CSV; do
    grep -q "$format" <<<"$(field Description)" || fail "the Description does not mention $format"
done

# Files: exactly the expected ones, owned by root, with a Debian package's modes.
dpkg-deb -c "$deb" >"$work/contents"
echo "Contents:"
cat "$work/contents"
awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' "$work/contents" | LC_ALL=C sort >"$work/got"
expected_files "$gui" >"$work/want"
diff -u "$work/want" "$work/got" >"$work/diff" ||
    { cat "$work/diff"; fail "the package's files differ from the expected list (- missing, + extra)"; }
awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' "$work/contents" ||
    fail "entries not owned by root/root"
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print; bad = 1 }
     $1 ~ /^-/ && $6 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" { print; bad = 1 }
     $1 ~ /^-/ && $6 !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--" { print; bad = 1 }
     END { exit bad }' "$work/contents" || fail "entries with unusual modes"

# Unpacked into a throwaway root: stripped programs that run.
dpkg-deb -x "$deb" "$work/root"
for program in "$work"/root/usr/bin/*; do
    readelf -S "$program" | grep -q '\.debug_info' && fail "$(basename "$program") is not stripped"
done
[[ $("$work/root/usr/bin/quorix-cli" --version) == "quorix-cli $version beta" ]] ||
    fail "the unpacked quorix-cli does not run"
"$work/root/usr/bin/quorix-cli" show "$work/root/usr/share/quorix/sample.pbf" >/dev/null ||
    fail "the unpacked quorix-cli cannot read the unpacked sample book"
echo "$(basename "$deb"): $(wc -l <"$work/got") files, Depends: $depends"
