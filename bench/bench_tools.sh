# Sourced by the run_*_bench.sh scripts: the peers and tools a benchmark needs, installed with
# apt-get when missing. CI never runs a benchmark, so none of them is a dependency of the build.

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# need COMMAND:PACKAGE ...
need() {
    missing=""
    for pair in "$@"; do
        command -v "${pair%%:*}" >/dev/null 2>&1 || missing="$missing ${pair#*:}"
    done
    [ -z "$missing" ] && return 0
    # shellcheck disable=SC2086
    as_root apt-get install -y -q --no-install-recommends $missing \
        || { as_root apt-get update -q && as_root apt-get install -y -q --no-install-recommends $missing; }
}

# The benchmarks' own build: optimised, inflating as the product does.
build_bench() {
    cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build-bench" -j2 --target "$@"
}
