#!/bin/sh
# Builds and runs the burn benchmark: burn_image() onto a fake host's stick against
# dd if=IMAGE of=DISK bs=8M oflag=dsync.
# Usage: bench/run_burn_bench.sh [work folder] [image size in MiB]
# The work folder (default build-bench/burn) needs about three times the image size free.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/burn}
size=${2:-1024}

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j2 --target burn_bench
"$root/build-bench/bench/burn_bench" "$work" "$size"
