#!/bin/sh
# Builds and runs the command-line benchmark: three fake sticks flashed at once against one
# after another, all of it in tmpfs.
# Usage: bench/run_cli_bench.sh [work folder, default /dev/shm/kestrel-cli-bench] [image size in MiB]
# The work folder needs about four times the image size free.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/dev/shm/kestrel-cli-bench}
size=${2:-1024}

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j2 --target cli_bench
trap 'rm -rf "$work"' EXIT
"$root/build-bench/bench/cli_bench" "$work" "$size"
