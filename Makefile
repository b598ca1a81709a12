# Thin wrapper over CMake. `make demo` and `make test` do all set-up.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
RELEASE_DIR := build/release
ASAN_DIR := build/asan

.PHONY: all build demo python test test-release test-asan bench clean

all: build

$(RELEASE_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release

$(ASAN_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTRESSEL_SANITIZE=ON

build: $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)

demo: build
	$(RELEASE_DIR)/examples/demo_host

# Places the shared library in the Python package, for `pip install ./python`.
python: build
	cp -L $(RELEASE_DIR)/libTressel.so python/tressel/libTressel.so

test: test-release test-asan

test-release: $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)
	cd $(RELEASE_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: $(ASAN_DIR)/CMakeCache.txt
	$(CMAKE) --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# Benchmarks against OpenCV, in build/bench (Release); installs what is
# missing and rewrites bench/RESULTS.md. Not part of `make test`.
bench:
	bash bench/run.sh

clean:
	rm -rf build
