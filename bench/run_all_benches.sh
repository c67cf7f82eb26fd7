#!/usr/bin/env bash
# Builds and runs every benchmark (inflate, burn with first_write, download, cli) through its own
# script, then prints one table of every target they checked (bench/bench_table.py). A bench
# that fails does not stop the others; the table names it and the exit status is 1.
# The sizes come from the environment, each bench's own default where one is empty or unset:
#   BENCH_ROUNDS         rounds (pairs) of each comparison
#   BENCH_MIB            image size in MiB (inflate, burn, download and the command line's fast disk)
#   BENCH_THROTTLED_MIB  image size in MiB on the throttled sticks (burn, cli)
#   BENCH_SPEED          MiB/s of a throttled stick
#   BENCH_STICKS         throttled sticks flashed at once by the command line
# Rows, output and the load at the start go to build-bench/results.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${BENCH_ROUNDS:-}
size=${BENCH_MIB:-}
throttled=${BENCH_THROTTLED_MIB:-}
speed=${BENCH_SPEED:-}
sticks=${BENCH_STICKS:-}

. "$root/bench/bench_tools.sh"
need igzip:isal pigz:pigz libdeflate-gunzip:libdeflate-tools /usr/bin/time:time mkfs.ext4:e2fsprogs \
    losetup:mount python3:python3
build_bench inflate_bench burn_bench first_write_bench download_bench cli_bench kestrel-flash-tool

results=$root/build-bench/results
rm -rf "$results"
mkdir -p "$results"
export KESTREL_BENCH_TABLE=$results/rows.tsv
uptime > "$results/load-at-start"

# run NAME SCRIPT ARGUMENTS...: its output shown and kept for the table.
run() {
    name=$1
    shift
    echo "== $name"
    sh "$@" 2>&1 | tee -a "$results/output.log" || echo "$name" >> "$results/failed"
}

# An empty argument is the script's own default.
run inflate "$root/bench/run_inflate_bench.sh" "" "$size" "$rounds"
run burn "$root/bench/run_burn_bench.sh" "" "$size" "$rounds" "$throttled" "$speed"
run download "$root/bench/run_download_bench.sh" "" "$size"
run cli "$root/bench/run_cli_bench.sh" "" "$size" "$rounds" "$throttled" "$speed" "$sticks"

python3 "$root/bench/bench_table.py" "$results"
[ ! -s "$results/failed" ]
