#!/bin/sh
# Builds and runs the flashing benchmarks in one go: the window's copy against dd, its first
# flash against igzip -dc | dd, on the work folder's disk and on a throttled stick where the
# machine allows it, the read-back against the copy (burn_bench), then FLASH-to-first-write
# through the real window (first_write_bench).
# Usage: bench/run_burn_bench.sh [work folder] [image MiB] [rounds] [throttled image MiB] [throttle MiB/s]
# The work folder (default build-bench/burn) needs about four times the image size free; the
# throttled stick needs root and takes its room from /dev/shm.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/burn}
size=${2:-1024}
rounds=${3:-5}
throttled=${4:-1024}
speed=${5:-32}

. "$root/bench/bench_tools.sh"
need igzip:isal /usr/bin/time:time mkfs.ext4:e2fsprogs losetup:mount
build_bench burn_bench first_write_bench
"$root/build-bench/bench/burn_bench" "$work" "$size" "$rounds" "$throttled" "$speed"
QT_QPA_PLATFORM=offscreen "$root/build-bench/bench/first_write_bench" "$rounds" 2>/dev/null
