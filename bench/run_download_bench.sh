#!/bin/sh
# Builds and runs the download benchmark: the longest event-loop stall while the retriever
# downloads an image from a local server at full speed.
# Usage: bench/run_download_bench.sh [work folder] [image size in MiB]
# The work folder (default build-bench/download) needs the image size free, and the machine
# about twice the image size in memory.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/download}
size=${2:-512}

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j2 --target download_bench
"$root/build-bench/bench/download_bench" "$work" "$size"
