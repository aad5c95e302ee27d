# Thin wrapper around CMake + Ninja. See README.md.
#   make demo   install what is missing, build, run the GL cube program
#   make test   install what is missing, build with ASan+UBSan, run every test,
#               then the unit tests of the portable build (test-scalar)
#   make bench  build optimised and run the benchmarks
#   make tsan   build the thread and timer tests with ThreadSanitizer and run them
#   make fuzz   build the libFuzzer targets with clang and run each for a while
#   make install PREFIX=/usr/local   build optimised and install the library

JOBS      ?= $(shell nproc)
FUZZ_SECS ?= 60
PREFIX    ?= /usr/local
TSAN_TESTS = thread_test timer_test error_test log_test hints_test events_test quit_test
space := $(subst ,, )
# ccache, where installed, makes rebuilds of several trees cheap.
LAUNCHER  := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all setup build test test-scalar demo bench tsan fuzz install clean

all: build

setup:
	@bash scripts/setup

build: setup
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)
	cmake --build build/release -j $(JOBS)

test: setup
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug $(LAUNCHER) \
	  -DJEX_SANITIZE=address,undefined
	cmake --build build/test -j $(JOBS)
	cd build/test && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-scalar

# The portable build: the pixel code without its x86 kernels, as non-x86
# machines build it, and the null video driver alone (no X headers used).
test-scalar: setup
	cmake -S . -B build/scalar -G Ninja -DCMAKE_BUILD_TYPE=Debug $(LAUNCHER) \
	  -DJEX_SIMD=OFF -DJEX_X11=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
	cmake --build build/scalar -j $(JOBS)
	cd build/scalar && ctest --output-on-failure -j $(JOBS) -L unit

install: setup
	cmake -S . -B build/install -G Ninja -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) \
	  -DJEX_TESTS=OFF -DJEX_PROGRAMS=OFF -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DJEX_INSTALL=ON
	cmake --build build/install -j $(JOBS)
	cmake --install build/install

demo: build
	bash scripts/demo build/release

bench: setup
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DJEX_TESTS=OFF -DJEX_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	bash scripts/run-bench build/bench

tsan: setup
	cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DJEX_SANITIZE=thread
	cmake --build build/tsan -j $(JOBS) --target $(TSAN_TESTS)
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) -R '^($(subst $(space),|,$(TSAN_TESTS)))$$'

fuzz: setup
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DJEX_TESTS=OFF -DJEX_FUZZ=ON -DJEX_SANITIZE=address,undefined,fuzzer-no-link
	cmake --build build/fuzz -j $(JOBS)
	bash scripts/run-fuzz build/fuzz $(FUZZ_SECS)

clean:
	rm -rf build
