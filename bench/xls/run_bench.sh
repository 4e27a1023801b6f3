#!/bin/bash
# The .xls benchmark: on fresh copies of a generated set, times in turn merely reading every
# file (cat), varnocliff-cli replacing alpha by omega, and LibreOffice headless opening and
# saving every file as .xls (when soffice is installed); prints each one's median wall time and
# the ratios the targets are stated in (cli within 1.5 times the reading, at least 50 times
# faster than LibreOffice).
# Usage: run_bench.sh BUILD_DIR SET_DIR   (SET_DIR as generate_xls.py makes it; RUNS rounds, 3)
set -euo pipefail

usage="usage: run_bench.sh BUILD_DIR SET_DIR"
build_dir=$(cd "${1:?$usage}" && pwd)
set_dir=$(cd "${2:?$usage}" && pwd)
runs=${RUNS:-3}
cli="$build_dir/bin/varnocliff-cli"
[ -x "$cli" ] || { echo "build the target varnocliff-cli first ($cli not found)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_tool() {
    local -a files
    mapfile -t files < <(find "$2" -type f -name '*.xls' | sort)
    case $1 in
    read) cat "${files[@]}" > /dev/null ;;
    cli) "$cli" --find alpha --replace omega --match-case --jobs 1 "${files[@]}" > /dev/null ;;
    libreoffice) soffice --headless --convert-to xls --outdir "$2/out" "${files[@]}" > /dev/null 2>&1 ;;
    esac
}

tools=(read cli)
command -v soffice > /dev/null && tools+=(libreoffice)
export -f run_tool
export cli
[ -x /usr/bin/time ] || { echo "/usr/bin/time (GNU time) is needed" >&2; exit 2; }
median_of() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
declare -A median
# Wall time, CPU time (user + system, which a busy machine disturbs less) and peak memory.
for tool in "${tools[@]}"; do
    walls=() cpus=() peaks=()
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/copy" && cp -r "$set_dir" "$work/copy"
        cat "$work"/copy/*.xls > /dev/null # a warm cache for every tool
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" bash -c 'run_tool "$0" "$1"' "$tool" "$work/copy"
        read -r wall user sys peak < "$work/time"
        walls+=("$wall") cpus+=("$(echo "$user + $sys" | bc)") peaks+=("$peak")
    done
    median[$tool]=$(printf '%s\n' "${walls[@]}" | median_of)
    printf '%-12s wall %7.2f s  cpu %7.2f s  peak %6d KB\n' "$tool" "${median[$tool]}" \
        "$(printf '%s\n' "${cpus[@]}" | median_of)" "$(printf '%s\n' "${peaks[@]}" | median_of)"
done
printf 'cli / read: %.2f\n' "$(echo "${median[cli]} / ${median[read]}" | bc -l)"
if [ -n "${median[libreoffice]:-}" ]; then
    printf 'libreoffice / cli: %.1f\n' "$(echo "${median[libreoffice]} / ${median[cli]}" | bc -l)"
else
    echo "libreoffice: soffice not installed (tools/install-deps.sh --for-tests installs it)"
fi
