#!/bin/bash
# What looking first costs next to replacing: on fresh copies of a generated set, times
# varnocliff-cli --jobs 1 replacing the token (and saving), searching for it with --list, and
# previewing the replacement with --dry-run --show, several rounds; prints each one's median
# wall and CPU time and the two ratios to the real replace (target: at most 0.6 each).
# Usage: run_preview_bench.sh BUILD_DIR CORPUS_DIR [SET...]
#   CORPUS_DIR holds one folder per set, as generate_corpus.py makes them; SETs default to
#   "medium". RUNS (default 5) rounds per set; FIND and REPLACE (default alpha, omega).
# The listings go to /dev/null: what is timed is the reading, not a terminal.
set -euo pipefail

usage="usage: run_preview_bench.sh BUILD_DIR CORPUS_DIR [SET...]"
build_dir=$(cd "${1:?$usage}" && pwd)
corpus=$(cd "${2:?$usage}" && pwd)
shift 2
sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(medium)
runs=${RUNS:-5}
find_text=${FIND:-alpha}
replace_text=${REPLACE:-omega}
cli="$build_dir/bin/varnocliff-cli"
[ -x "$cli" ] || { echo "build the target varnocliff-cli first ($cli not found)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (GNU time) is needed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

modes=(replace list preview)
# MODE FOLDER: one run of the command line over every workbook of FOLDER, one file at a time.
run_mode() {
    local -a files
    mapfile -t files < <(find "$2" -type f -name '*.xlsx' | sort)
    case $1 in
    replace) "$cli" --jobs 1 --match-case --find "$find_text" --replace "$replace_text" "${files[@]}" ;;
    list) "$cli" --jobs 1 --match-case --find "$find_text" --list "${files[@]}" ;;
    preview) "$cli" --jobs 1 --match-case --find "$find_text" --replace "$replace_text" --dry-run --show "${files[@]}" ;;
    esac
}
export -f run_mode
export cli find_text replace_text

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }

for set in "${sets[@]}"; do
    source_set="$corpus/$set"
    [ -d "$source_set" ] || { echo "no set $source_set" >&2; exit 2; }
    echo "== $set: $(find "$source_set" -type f | wc -l) workbooks, $runs rounds"
    declare -A wall=() cpu=() lines=()
    for ((round = 1; round <= runs; round++)); do
        for mode in "${modes[@]}"; do
            copy="$work/$set-$mode"
            rm -rf "$copy"
            cp -r "$source_set" "$copy"
            sync
            start=$EPOCHREALTIME
            /usr/bin/time -f "%U %S" -o "$work/time" bash -c 'run_mode "$0" "$1"' "$mode" "$copy" \
                >"$work/out" 2>"$work/err" || {
                echo "$mode failed on $set:" >&2
                tail -5 "$work/err" >&2
                exit 1
            }
            end=$EPOCHREALTIME
            wall[$mode]+="$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }') "
            read -r user system < <(tail -1 "$work/time")
            cpu[$mode]+="$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }') "
            lines[$mode]=$(wc -l <"$work/out")
        done
        echo "   round $round done"
    done
    rm -rf "$work/$set-"*
    declare -A med=() med_cpu=()
    printf '   %-8s %10s %14s %12s\n' mode "median s" "median CPU s" "report lines"
    for mode in "${modes[@]}"; do
        med[$mode]=$(tr ' ' '\n' <<<"${wall[$mode]}" | grep . | median)
        med_cpu[$mode]=$(tr ' ' '\n' <<<"${cpu[$mode]}" | grep . | median)
        printf '   %-8s %10.3f %14.2f %12d\n' "$mode" "${med[$mode]}" "${med_cpu[$mode]}" "${lines[$mode]}"
    done
    echo "   --list / replace:            $(ratio "${med[list]}" "${med[replace]}") wall, $(ratio "${med_cpu[list]}" "${med_cpu[replace]}") CPU  (target <= 0.6)"
    echo "   --dry-run --show / replace:  $(ratio "${med[preview]}" "${med[replace]}") wall, $(ratio "${med_cpu[preview]}" "${med_cpu[replace]}") CPU  (target <= 0.6)"
    unset wall cpu lines med med_cpu
done
