#!/bin/sh
# Builds and runs the inflate benchmark: ours against igzip -dc, gzip -dc, pigz -dc and
# libdeflate-gunzip -c, whole processes in pairs.
# Usage: bench/run_inflate_bench.sh [work folder] [image size in MiB] [rounds]
# The work folder (default build-bench/work) needs about three times the image size free.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/work}
size=${2:-1024}
rounds=${3:-5}

. "$root/bench/bench_tools.sh"
need igzip:isal pigz:pigz libdeflate-gunzip:libdeflate-tools /usr/bin/time:time
build_bench inflate_bench
"$root/build-bench/bench/inflate_bench" "$work" "$size" "$rounds"
