# The project's commands. `make test` and `make demo` are the two the README
# promises; both work on a fresh Debian 12 machine as root.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
# make fuzz: each target fuzzes FUZZ_SECONDS, FUZZ_JOBS targets at a time
# (one core each). make test runs each for FUZZ_CHECK_SECONDS: its corpus
# first, then fuzzing for what is left of the time.
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= $(JOBS)
FUZZ_CHECK_SECONDS ?= 5
CMAKE_GEN := -G Ninja

.PHONY: all deps build test test-plain test-asan test-tsan test-fuzz fuzz-build demo bench fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

test-plain: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target concurrency_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir build-tsan -L concurrency --no-tests=error --output-on-failure -j $(JOBS)

# The fuzz targets under clang (ASan, UBSan, libFuzzer), each run briefly
# over its corpus: a change that breaks the fuzz build, or a target that
# fails on an input of its corpus, fails the tests.
test-fuzz: fuzz-build
	scripts/run-fuzzers build-fuzz $(FUZZ_CHECK_SECONDS) $(JOBS)

test: test-plain test-asan test-tsan test-fuzz

demo: build
	@scripts/demo build

bench: deps
	@cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKESTREL_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS) --target benchmarks
	@while read -r b; do [ -n "$$b" ] && build-bench/bin/$$b --benchmark_min_time=0.2; done < build-bench/benches.txt

fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKESTREL_FUZZ=ON -DKESTREL_SANITIZE=address,undefined >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers

# New inputs are kept in build-fuzz/corpus/<target>, crashes in
# build-fuzz/artifacts; a finding goes into fuzz/corpus/<target> with its mend.
fuzz: fuzz-build
	scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS) $(FUZZ_JOBS)

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
