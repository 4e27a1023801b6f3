#!/usr/bin/env bash
# Builds the fuzz preset, makes the seeds from the corpus of real workbooks and runs each
# libFuzzer target for SECONDS (default 60), one after another. New inputs go to
# build/fuzz/found/TARGET, crashes to build/fuzz/findings, the statistics to build/fuzz/logs.
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    targets=(fuzz_zip_reader fuzz_xml_scanner fuzz_shared_strings fuzz_worksheet
             fuzz_workbook_parts fuzz_table fuzz_formula fuzz_sets_file)
fi
tools/install-deps.sh --for-fuzz
[[ -f build/fuzz/CMakeCache.txt ]] || cmake --preset fuzz
cmake --build --preset fuzz
if [[ ! -d build/fuzz/seeds ]]; then
    /usr/bin/python3 tools/fuzz_seeds.py ../shared/corpus build/fuzz/seeds
fi
mkdir -p build/fuzz/logs build/fuzz/findings
for target in "${targets[@]}"; do
    mkdir -p "build/fuzz/found/$target" "build/fuzz/seeds/$target"
    echo "== $target: $seconds s"
    "build/fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 \
        -rss_limit_mb=2048 -artifact_prefix="build/fuzz/findings/$target-" \
        "build/fuzz/found/$target" "build/fuzz/seeds/$target" \
        > "build/fuzz/logs/$target.log" 2>&1 || echo "   finding: see build/fuzz/logs/$target.log"
    grep -E "^#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|cov:" "build/fuzz/logs/$target.log" |
        tail -2
done
