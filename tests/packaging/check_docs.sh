#!/usr/bin/env bash
# The manual pages and the bash completion against the programs they describe:
# the pages render without warnings, every command and option the programs'
# --help lists is in the pages and offered by the completion, and the completion
# completes what a user types.
#
#   check_docs.sh MAN_DIR COMPLETION QUORIX_CLI QUORIX_PHONESIM [QUORIX]
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
. "$(dirname "$0")/common.sh"

mandir=$1 completion=$(realpath "$2") cli=$3 phonesim=$4 quorix=${5:-}
need man man-db

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Renders a page as man shows it, as plain text (col drops the overstriking);
# any warning from groff is a fault in the page.
render() {
    local page=$1
    [[ -f $page ]] || fail "no manual page $page"
    LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>"$work/warnings" |
        col -bx >"$work/$(basename "$page").txt"
    [[ ! -s $work/warnings ]] || { cat "$work/warnings"; fail "$page renders with warnings"; }
    cat "$work/$(basename "$page").txt"
}

# The long and short options a --help text lists at the start of its lines.
help_options() {
    sed -n 's/^  -/-/p' | grep -oE -- '(^|, )--?[a-zA-Z0-9-]+' | sed 's/^, //'
}

# A page must name every option the program's --help lists.
covers() {
    local text=$1 what=$2 option
    shift 2
    for option in "$@"; do
        grep -qE -- "(^|[^a-zA-Z0-9-])$option([^a-zA-Z0-9-]|\$)" <<<"$text" ||
            fail "$what does not describe $option"
    done
}

cli_page=$(render "$mandir/quorix-cli.1.gz")
phonesim_page=$(render "$mandir/quorix-phonesim.1.gz")
mapfile -t options < <("$phonesim" --help | help_options)
((${#options[@]} > 10)) || fail "no options found in quorix-phonesim --help"
covers "$phonesim_page" "quorix-phonesim(1)" "${options[@]}"
if [[ -n $quorix ]]; then
    quorix_page=$(render "$mandir/quorix.1.gz")
    mapfile -t options < <("$quorix" --help | help_options)
    covers "$quorix_page" "quorix(1)" "${options[@]}"
fi

# quorix-cli: its commands, and each command's options.
mapfile -t commands < <("$cli" --help | sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z0-9-]*\) .*/\1/p')
((${#commands[@]} >= 8)) || fail "no commands found in quorix-cli --help"
covers "$cli_page" "quorix-cli(1)" "${commands[@]}"

# Asks the completion what it offers when the command line is "$@" and the
# cursor is at the end of the last word.
complete_line() {
    (
        COMP_WORDS=(quorix-cli "$@")
        COMP_CWORD=$(($# ))
        # shellcheck disable=SC1090
        . "$completion"
        _quorix_cli
        printf '%s\n' "${COMPREPLY[@]}"
    )
}

offered=$(complete_line "")
for command in "${commands[@]}"; do
    grep -qxF -- "$command" <<<"$offered" || fail "the completion does not offer the command $command"
done
for command in "${commands[@]}"; do
    mapfile -t options < <("$cli" "$command" --help | help_options)
    ((${#options[@]} > 0)) || fail "no options found in quorix-cli $command --help"
    section=$(sed -n "/^   $command\\( \\|\$\\)/,/^   [a-z]/p" "$work/quorix-cli.1.gz.txt")
    [[ -n $section ]] || fail "quorix-cli(1) has no section for the command $command"
    offered=$(complete_line "$command" -)
    for option in "${options[@]}"; do
        # The completion offers the long spellings; --help is described once for
        # all commands in the page.
        [[ $option == --* ]] || continue
        [[ $option == --help || $option == --help-all ]] ||
            covers "$section" "quorix-cli(1) on $command" "$option"
        grep -qxF -- "$option" <<<"$offered" ||
            fail "the completion does not offer $option after quorix-cli $command"
    done
done

# The completion at work: command prefixes, option values and files.
expect() {
    local want=$1 got
    shift
    got=$(complete_line "$@" | LC_ALL=C sort | paste -sd ' ')
    [[ $got == "$want" ]] || fail "completing 'quorix-cli $*': got '$got', want '$want'"
}
expect "import-9110 import-csv" imp
expect "dau-9p dlr-3" status --cable ""
expect "dlr-3" read --port COM1 --cable dl
expect "COM1 COM2 COM3 COM4" status --port CO
expect "--demo" write book.pbf --port --d
expect "" status --port COM1 --timeout ""
expect "--first-column --first-line" import-csv a.csv --fir

mkdir -p "$work/files/sub dir"
touch "$work/files/friends.pbf" "$work/files/FAMILY.PBF" "$work/files/notes.txt"
cd "$work/files"
expect "FAMILY.PBF friends.pbf sub dir" show ""
expect "FAMILY.PBF friends.pbf notes.txt sub dir" import-9110 ""
expect "friends.pbf" write --port COM1 fr
expect "notes.txt" convert friends.pbf -o no
echo "The manual pages and the completion cover ${#commands[@]} commands and their options."
