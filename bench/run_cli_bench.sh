#!/bin/sh
# Builds and runs the command-line benchmark: the program's first flash from a .gz over a fake
# host, against igzip -dc | dd on the work folder's disk, and on throttled sticks where the
# machine allows it: one against dd's copy, and all sticks at once (16 by default) against one,
# from the .gz and from the image the program kept of it, with and without the read-back: wall
# time, CPU time and peak memory.
# Usage: bench/run_cli_bench.sh [work folder] [image MiB] [rounds] [throttled image MiB] [throttle MiB/s] [sticks]
# The work folder (default build-bench/cli) needs about four times the image size free; the
# throttled sticks need root and take their room from /dev/shm: at most about 6 GiB for 16 sticks of
# the default 256 MiB image.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/cli}
size=${2:-1024}
rounds=${3:-5}
throttled=${4:-256}
speed=${5:-32}
sticks=${6:-16}

. "$root/bench/bench_tools.sh"
need igzip:isal /usr/bin/time:time mkfs.ext4:e2fsprogs losetup:mount
build_bench cli_bench kestrel-flash-tool
"$root/build-bench/bench/cli_bench" "$work" "$size" "$rounds" "$throttled" "$speed" "$sticks"
