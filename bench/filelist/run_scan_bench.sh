#!/bin/bash
# Compares the folder scan with `find DIR -type f | wc -l` on one tree: warm cache, the two
# run in turn, fastest of several runs each, as whole processes. The scan must take at most
# LIMIT (3) times as long. CPU time (user + system) is shown too: on a busy machine it is the
# steadier figure.
# Usage: run_scan_bench.sh BUILD_DIR [TREE_DIR]
# Without TREE_DIR a tree of 100,000 files in 5,000 folders is made in a temporary folder and
# removed afterwards.
set -euo pipefail

build_dir=${1:?usage: run_scan_bench.sh BUILD_DIR [TREE_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
bench="$build_dir/bin/filelist_scan_bench"
runs=${RUNS:-9}
limit=${LIMIT:-3}

if [ ! -x "$bench" ]; then
    echo "build the target filelist_scan_bench first ($bench not found)" >&2
    exit 2
fi

if [ $# -ge 2 ]; then
    tree=$2
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    tree="$work/tree"
    /usr/bin/python3 "$here/make_tree.py" "$tree"
fi

TIMEFORMAT='%R %U %S'
timing=$(mktemp)
trap 'rm -f "$timing"; [ -n "${work:-}" ] && rm -rf "$work"' EXIT

# Prints "wall_ms cpu_ms" of one run of the command given as arguments; its output goes to
# $out.
measure() {
    { time "$@" >"$timing.out"; } 2>"$timing"
    awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }' "$timing"
}
find_all() { find "$tree" -type f | wc -l; }

# Warm the cache for both.
find_all >/dev/null
"$bench" "$tree" "*" 1 >/dev/null

best() { sort -n | head -1; }
find_wall=() find_cpu=() scan_wall=() scan_cpu=()
for ((i = 0; i < runs; i++)); do
    read -r w c < <(measure find_all)
    find_wall+=("$w") find_cpu+=("$c")
    find_count=$(cat "$timing.out")
    read -r w c < <(measure "$bench" "$tree" "*" 1)
    scan_wall+=("$w") scan_cpu+=("$c")
    scan_line=$(cat "$timing.out")
done
fw=$(printf '%s\n' "${find_wall[@]}" | best)
fc=$(printf '%s\n' "${find_cpu[@]}" | best)
sw=$(printf '%s\n' "${scan_wall[@]}" | best)
sc=$(printf '%s\n' "${scan_cpu[@]}" | best)

echo "tree: $tree"
echo "find -type f | wc -l : $find_count files, fastest of $runs: wall ${fw} ms, cpu ${fc} ms"
echo "ScanFolderFiles \"*\"  : ${scan_line%% fastest*} (\"~\" names left out), fastest of $runs:" \
     "wall ${sw} ms, cpu ${sc} ms"
echo "ScanFolderFiles \"xl*\": $("$bench" "$tree" "xl*" "$runs")"
awk -v sw="$sw" -v fw="$fw" -v sc="$sc" -v fc="$fc" -v limit="$limit" 'BEGIN {
    if (fw < 1) fw = 1
    if (fc < 1) fc = 1
    printf "ratio scan/find: wall %.2f, cpu %.2f (limit %s on wall time)\n", sw / fw, sc / fc, limit
    exit (sw / fw <= limit) ? 0 : 1
}'
