# bash completion for quorix-cli                             -*- shell-script -*-
# shellcheck disable=SC2207 # COMPREPLY=($(compgen ...)), split on newlines for files

# Files for the word being completed: directories, and files matching the
# pattern (a compgen -X filter) when one is given.
_quorix_cli_files() {
    local cur=$1 filter=${2:-}
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [[ -n $filter ]]; then
        COMPREPLY+=($(compgen -d -- "$cur") $(compgen -f -X "$filter" -- "$cur"))
    else
        COMPREPLY+=($(compgen -f -- "$cur")) # directories too
    fi
}

# Serial ports: the COM names, the devices this machine has, or a path.
_quorix_cli_ports() {
    local cur=$1 demo=$2
    if [[ $cur == [/.~]* ]]; then
        _quorix_cli_files "$cur"
        return
    fi
    local ports="COM1 COM2 COM3 COM4" dev
    for dev in /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/*; do
        [[ -e $dev ]] && ports+=" $dev"
    done
    [[ $demo == yes ]] && ports+=" --demo"
    COMPREPLY=($(compgen -W "$ports" -- "$cur"))
}

_quorix_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    local commands="show convert import-csv import-9110 status read write demo"
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]} options book=''
    local link="--port --cable --trace --record"
    local transfer="--demo --start --stop --retries --deadline --quiet"
    case $command in
    show) options="--help" book='!*.[pPvV][bBcC][fF]' ;;
    convert) options="--output --add-to --strict --help" book='!*.[pPvV][bBcC][fF]' ;;
    import-csv) options="--output --add-to --strict --encoding --name-column --first-column
                         --last-column --first-line --separator --quotes --help" ;;
    import-9110) options="--output --add-to --strict --encoding --help" ;;
    status) options="$link --timeout --help" ;;
    read) options="$link $transfer --output --strict --keep-partial --help" ;;
    write) options="$link $transfer --help" book='!*.[pPvV][bBcC][fF]' ;;
    demo) options="--trace --help" ;;
    *) return ;;
    esac

    # The value of the option before the cursor.
    case $prev in
    -o | --output | --add-to | --record)
        _quorix_cli_files "$cur"
        return
        ;;
    --port)
        _quorix_cli_ports "$cur" "$([[ $command == read || $command == write ]] && echo yes)"
        return
        ;;
    --cable)
        COMPREPLY=($(compgen -W "dlr-3 dau-9p" -- "$cur"))
        return
        ;;
    --separator)
        COMPREPLY=($(compgen -W "tab , :" -- "$cur"))
        return
        ;;
    --encoding)
        COMPREPLY=($(compgen -W "auto utf-8 windows-1252" -- "$cur"))
        return
        ;;
    --timeout | --start | --stop | --retries | --deadline | --name-column | --first-column | --last-column | --first-line)
        return # a number
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
    show | convert | write) _quorix_cli_files "$cur" "$book" ;;
    import-csv | import-9110) _quorix_cli_files "$cur" ;;
    esac
}

complete -F _quorix_cli quorix-cli
