#!/bin/bash
# Times the delimited text and OpenDocument paths against merely reading the file: for the CSV
# reading it (cat), for the .ods inflating content.xml (unzip -p); then varnocliff-cli replacing
# the token in a fresh copy, and a run that finds nothing. Prints median wall times of RUNS
# rounds (default 5) and the ratios.
# Usage: run_text_formats_bench.sh BUILD_DIR FOLDER   (FOLDER as generate_text_formats.py fills it)
set -euo pipefail
usage="usage: run_text_formats_bench.sh BUILD_DIR FOLDER"
build_dir=$(cd "${1:?$usage}" && pwd)
folder=$(cd "${2:?$usage}" && pwd)
cli="$build_dir/bin/varnocliff-cli"
runs=${RUNS:-5}
[ -x "$cli" ] || { echo "build varnocliff-cli first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# LABEL COMMAND...: the median wall time of the command over the runs, on a fresh copy each time
# (made before the clock starts).
time_it() {
    local label=$1 file=$2
    shift 2
    local times=()
    for _ in $(seq "$runs"); do
        cp "$folder/$file" "$work/$file"
        local start end
        start=$(date +%s.%N)
        "$@" > /dev/null
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc)")
    done
    local m
    m=$(printf '%s\n' "${times[@]}" | median)
    printf '%-28s %8.3f s\n' "$label" "$m" >&2
    echo "$m"
}

for file in big.csv big.ods; do
    [ -f "$folder/$file" ] || { echo "$folder/$file not found" >&2; exit 2; }
    if [ "$file" = big.csv ]; then
        base=$(time_it "$file read" "$file" cat "$work/$file")
    else
        base=$(time_it "$file inflate" "$file" unzip -p "$work/$file" content.xml)
    fi
    replace=$(time_it "$file cli replace" "$file" "$cli" --find alpha --replace omega \
        --match-case "$work/$file")
    none=$(time_it "$file cli nothing found" "$file" "$cli" --find zzzzzz --replace omega \
        --match-case "$work/$file")
    printf '%s: replace %.2fx, nothing found %.2fx the time of reading\n' "$file" \
        "$(echo "$replace / $base" | bc -l)" "$(echo "$none / $base" | bc -l)"
done
