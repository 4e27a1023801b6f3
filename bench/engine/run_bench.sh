#!/bin/bash
# The engine benchmark: on fresh copies of each generated set, runs in turn the floor program
# (zlib at FLOOR_LEVEL, default 6), varnocliff-cli --jobs 1, varnocliff-cli with its default jobs
# and the openpyxl load-replace-save script, several rounds; prints each one's median wall and
# CPU time, peak memory and output size, and the ratios that the targets are stated in.
# Usage: run_bench.sh BUILD_DIR CORPUS_DIR [SET...]
#   CORPUS_DIR holds one folder per set (small, medium, large), as generate_corpus.py makes
#   them; SETs default to "small medium". RUNS (default 5) rounds per set; FIND and REPLACE
#   (default alpha, omega); FLOOR_LEVEL (default 6).
# Every run works on its own copy, made before the clock starts, so no tool sees another's
# output and every run starts from the same files with a warm cache.
set -euo pipefail

usage="usage: run_bench.sh BUILD_DIR CORPUS_DIR [SET...]"
build_dir=$(cd "${1:?$usage}" && pwd)
corpus=$(cd "${2:?$usage}" && pwd)
shift 2
sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(small medium)
here=$(cd "$(dirname "$0")" && pwd)
runs=${RUNS:-5}
# The generator's token (in about one text cell in ten) and its replacement.
find_text=${FIND:-alpha}
replace_text=${REPLACE:-omega}
floor_level=${FLOOR_LEVEL:-6}

cli="$build_dir/bin/varnocliff-cli"
floor="$build_dir/bin/varnocliff-floor"
openpyxl_script="$here/openpyxl_replace.py"
for need in "$cli" "$floor"; do
    if [ ! -x "$need" ]; then
        echo "build the targets varnocliff-cli and varnocliff-floor first ($need not found)" >&2
        exit 2
    fi
done
[ -f "$openpyxl_script" ] || { echo "$openpyxl_script not found" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (GNU time) is needed for peak memory" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tools=(floor cli_jobs1 cli_default openpyxl)
# TOOL FOLDER: replaces find_text in every workbook of FOLDER, in place. Every tool gets the
# same files in the same order. The floor and openpyxl match exactly, so the command line is
# given --match-case to do the same job (MATCH_CASE=0 times case-insensitive matching instead).
run_tool() {
    local -a files
    mapfile -t files < <(find "$2" -type f -name '*.xlsx' | sort)
    local -a case_option=(--match-case)
    [ "${MATCH_CASE:-1}" = 1 ] || case_option=()
    case $1 in
    floor) "$floor" --find "$find_text" --replace "$replace_text" --level "$floor_level" "${files[@]}" ;;
    cli_jobs1) "$cli" --find "$find_text" --replace "$replace_text" "${case_option[@]}" --jobs 1 "${files[@]}" ;;
    cli_default) "$cli" --find "$find_text" --replace "$replace_text" "${case_option[@]}" "${files[@]}" ;;
    openpyxl) /usr/bin/python3 "$openpyxl_script" --find "$find_text" --replace "$replace_text" "${files[@]}" ;;
    esac
}
export -f run_tool
export find_text replace_text floor_level floor cli openpyxl_script MATCH_CASE

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }

for set in "${sets[@]}"; do
    source_set="$corpus/$set"
    [ -d "$source_set" ] || { echo "no set $source_set" >&2; exit 2; }
    files=$(find "$source_set" -type f | wc -l)
    bytes=$(du -sb "$source_set" | cut -f1)
    echo "== $set: $files workbooks, $((bytes / 1024 / 1024)) MB, $runs rounds"
    declare -A wall=() memory=() cpu=() size=()
    for ((round = 1; round <= runs; round++)); do
        for tool in "${tools[@]}"; do
            copy="$work/$set-$tool"
            rm -rf "$copy"
            cp -r "$source_set" "$copy"
            sync
            start=$EPOCHREALTIME
            /usr/bin/time -f "%M %U %S" -o "$work/time" bash -c 'run_tool "$0" "$1"' "$tool" "$copy" \
                >"$work/out" 2>&1 || {
                echo "$tool failed on $set:" >&2
                tail -5 "$work/out" >&2
                exit 1
            }
            end=$EPOCHREALTIME
            wall[$tool]+="$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }') "
            read -r kb user system < <(tail -1 "$work/time")
            memory[$tool]+="$kb "
            cpu[$tool]+="$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }') "
            size[$tool]=$(du -sb "$copy" | cut -f1)
        done
        echo "   round $round done"
    done
    rm -rf "$work/$set-"*

    declare -A med=() peak=() med_cpu=()
    # CPU time (user + system) is the steadier figure on a machine shared with other work.
    printf '   %-12s %10s %14s %12s %12s\n' tool "median s" "median CPU s" "peak MB" "output MB"
    for tool in "${tools[@]}"; do
        med[$tool]=$(tr ' ' '\n' <<<"${wall[$tool]}" | grep . | median)
        peak[$tool]=$(tr ' ' '\n' <<<"${memory[$tool]}" | grep . | sort -g | tail -1)
        med_cpu[$tool]=$(tr ' ' '\n' <<<"${cpu[$tool]}" | grep . | median)
        printf '   %-12s %10.3f %14.2f %12.1f %12.1f\n' "$tool" "${med[$tool]}" "${med_cpu[$tool]}" \
            "$(awk -v k="${peak[$tool]}" 'BEGIN { print k / 1024 }')" \
            "$(awk -v b="${size[$tool]}" 'BEGIN { print b / 1048576 }')"
    done
    cpu_target=0.6
    [ "$set" != formulas ] || cpu_target=1.0
    echo "   openpyxl / cli default:          $(ratio "${med[openpyxl]}" "${med[cli_default]}")  (target >= 30)"
    echo "   cli --jobs 1 / cli default:      $(ratio "${med[cli_jobs1]}" "${med[cli_default]}")  (target >= 1.6 on large)"
    echo "   CPU cli --jobs 1 / floor:        $(ratio "${med_cpu[cli_jobs1]}" "${med_cpu[floor]}")  (target <= $cpu_target, floor at zlib level $floor_level)"
    echo "   output cli default / floor:      $(ratio "${size[cli_default]}" "${size[floor]}")  (target <= 1.1)"
    echo "   peak memory openpyxl / cli:      $(ratio "${peak[openpyxl]}" "$(printf '%s\n' "${peak[cli_default]}" "${peak[cli_jobs1]}" | sort -g | tail -1)")  (target >= 6 on large, either jobs)"
    unset wall memory cpu size med peak med_cpu
done
