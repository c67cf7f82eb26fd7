#!/bin/sh
# Builds and runs the flashing benchmarks in one go: the copy against dd oflag=direct, the
# read-back against the copy, the first flash against pigz -dc | dd oflag=direct
# (burn_bench), then FLASH-to-first-write through the real window (first_write_bench).
# Usage: bench/run_burn_bench.sh [work folder] [image size in MiB] [rounds]
# The work folder (default build-bench/burn) needs about four times the image size free.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/burn}
size=${2:-1024}
rounds=${3:-5}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! command -v pigz >/dev/null 2>&1; then
    as_root apt-get install -y pigz || { as_root apt-get update && as_root apt-get install -y pigz; }
fi

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j2 --target burn_bench first_write_bench
"$root/build-bench/bench/burn_bench" "$work" "$size" "$rounds"
QT_QPA_PLATFORM=offscreen "$root/build-bench/bench/first_write_bench" "$rounds" 2>/dev/null
