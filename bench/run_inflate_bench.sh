#!/bin/sh
# Builds and runs the inflate benchmark: ours against gzip -dc and pigz -dc.
# Usage: bench/run_inflate_bench.sh [work folder] [image size in MiB]
# The work folder (default build-bench/work) needs about three times the image size free.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench/work}
size=${2:-1024}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! command -v pigz >/dev/null 2>&1; then
    as_root apt-get install -y pigz || { as_root apt-get update && as_root apt-get install -y pigz; }
fi

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j2 --target inflate_bench
"$root/build-bench/bench/inflate_bench" "$work" "$size"
