#!/bin/sh
# Fuzzes every target for a while, each from its seed corpus, and prints one
# line of figures per target. What a run finds is left in <build>/findings;
# the seeds in the repository are not touched.
# Usage: fuzz/run-all.sh <fuzz build> <seconds per target>
set -u
build=$(cd "$1" && pwd)
seconds=$2
corpora=$(cd "$(dirname "$0")" && pwd)/corpus
findings=$build/findings
mkdir -p "$findings"
failed=0
printf '%-16s %8s %10s %8s %6s %6s %s\n' target seconds executions exec/s cov ft corpus
for program in "$build"/fuzz_*; do
    name=${program##*/fuzz_}
    work=$build/work/$name
    rm -rf "$work" && mkdir -p "$work"
    log=$build/work/$name.log
    "$program" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$work" "$corpora/$name" >"$log" 2>&1 || failed=1
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    corpus=$(echo "$last" | sed -n 's/.* corp: \([0-9/a-zA-Z]*\).*/\1/p')
    printf '%-16s %8s %10s %8s %6s %6s %s\n' "$name" "$seconds" "$runs" "$speed" "$cov" "$ft" "$corpus"
done
if [ "$failed" -ne 0 ]; then
    echo "findings (inputs that crash or break a property) are in $findings:" >&2
    ls "$findings" >&2
    exit 1
fi
