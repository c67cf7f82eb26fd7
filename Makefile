# Set-up, build and test in one command each; see README.md.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: deps configure build test windows-check run package demo bench

deps:
	bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure --parallel $(JOBS)

# Every product source outside the Win32 layer against MinGW-w64's own Windows headers.
windows-check: configure
	cmake --build $(BUILD_DIR) --target windows_header_check --parallel $(JOBS)

# The program alone: the tests take far longer to build.
run: configure
	cmake --build $(BUILD_DIR) --target kestrel-flash-tool --parallel $(JOBS)
	$(BUILD_DIR)/kestrel-flash-tool

# A Debian package of the program, in $(BUILD_DIR) (see README): the program and the files it
# installs are built, the tests are not.
package: configure
	cmake --build $(BUILD_DIR) --target kestrel-flash-tool kestrel_desktop_files --parallel $(JOBS)
	cd $(BUILD_DIR) && cpack -G DEB

# The whole run without a USB stick or the internet: a fake host with DEMO_STICKS 16 GB sticks
# and a local release server on DEMO_PORT. DEMO_ARGS go to the program (--cli ... for the
# command line).
DEMO_PORT ?= 8642
DEMO_URL = http://127.0.0.1:$(DEMO_PORT)
DEMO_STICKS ?= 1
DEMO_ARGS ?=

demo: deps
	cmake -S . -B build-demo -DKESTREL_RELEASE_SERVICE_URL=$(DEMO_URL) -DKESTREL_FILE_SERVER_URL=$(DEMO_URL)
	cmake --build build-demo --parallel $(JOBS) --target kestrel-flash-tool kestrel-demo-environment
	build-demo/tools/kestrel-demo-environment build-demo/kestrel-flash-tool "$(CURDIR)/build-demo/demo-data" $(DEMO_PORT) --sticks $(DEMO_STICKS) $(DEMO_ARGS)

# Every benchmark in their own optimised build, build-bench/, then one table of every target with
# MISSED beside a missed one, between the machine's load before and after: the targets are for a
# quiet machine. The throttled sticks need root; without, they are skipped. Empty sizes are each
# bench's own (see bench/run_all_benches.sh); a quick look:
# make bench BENCH_ROUNDS=1 BENCH_MIB=64 BENCH_THROTTLED_MIB=64
BENCH_ROUNDS ?=
BENCH_MIB ?=
BENCH_THROTTLED_MIB ?=
BENCH_SPEED ?=
BENCH_STICKS ?=

bench: deps
	BENCH_ROUNDS="$(BENCH_ROUNDS)" BENCH_MIB="$(BENCH_MIB)" BENCH_THROTTLED_MIB="$(BENCH_THROTTLED_MIB)" \
	BENCH_SPEED="$(BENCH_SPEED)" BENCH_STICKS="$(BENCH_STICKS)" bash bench/run_all_benches.sh
