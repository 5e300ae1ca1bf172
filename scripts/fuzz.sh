#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while, a few at a time. Each
# starts from its corpus in the tree (fuzz/corpus/NAME) and works in a scratch
# copy, so the tree is not changed; a crash leaves its input in the scratch
# directory and fails the run: add that input to fuzz/corpus/NAME once fixed.
#
#   scripts/fuzz.sh BUILD_DIR [SECONDS [PARALLEL]]
#
# FUZZ_SEED=N makes every target start from the same random seed, so that a run
# can be repeated (CI sets it); without it each run explores afresh.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SECONDS [PARALLEL]]}
seconds=${2:-60}
parallel=${3:-2}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorix-fuzz.XXXXXX")

mapfile -t targets < <(find "$build/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
((${#targets[@]} > 0)) || { echo "no fuzz targets in $build/fuzz" >&2; exit 1; }

run_one() {
    local target=$1 seconds=$2 top=$3 work=$4 name
    name=$(basename "$target")
    name=${name#fuzz_}
    mkdir -p "$work/$name/corpus" "$work/$name/found"
    # Leak checks would flag Qt's one-time allocations; the rest of ASan stays on.
    if ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        ${FUZZ_SEED:+-seed="$FUZZ_SEED"} \
        -artifact_prefix="$work/$name/found/" "$work/$name/corpus" "$top/fuzz/corpus/$name" \
        >"$work/$name/log" 2>&1; then
        printf '%-18s %12s executions, corpus %s, no finding\n' "$name" \
            "$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name/log")" \
            "$(find "$work/$name/corpus" "$top/fuzz/corpus/$name" -type f | wc -l)"
    else
        echo "$name: FINDING (log and input in $work/$name)"
        tail -40 "$work/$name/log"
        return 1
    fi
}
export -f run_one

printf '%s\n' "${targets[@]}" |
    xargs -P "$parallel" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$top" "$work"
rm -rf "$work"
