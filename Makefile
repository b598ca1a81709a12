# Thin wrapper over CMake. `make demo` and `make test` do all set-up.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
RELEASE_DIR := build/release
ASAN_DIR := build/asan
WINDOWS_DIR := build/windows

.PHONY: all build demo python test test-release test-asan windows test-windows bench clean

all: build

$(RELEASE_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release

$(ASAN_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTRESSEL_SANITIZE=ON

# 32-bit Windows, cross-built with mingw-w64; the Windows tests compare with
# what the Linux release build gives.
$(WINDOWS_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(WINDOWS_DIR) -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/windows/toolchain-i686-mingw.cmake \
		-DTRESSEL_LINUX_TOOLS=$(CURDIR)/$(RELEASE_DIR)/tests/windows

build: $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)

# The samples analysed by the command-line tool, and their overlay pictures.
DEMO_DIR := build/demo
SAMPLES := $(sort $(wildcard samples/*.png))

demo: build
	@$(RELEASE_DIR)/tools/tressel analyze --format table $(SAMPLES)
	@mkdir -p $(DEMO_DIR)
	@for f in $(SAMPLES); do \
		$(RELEASE_DIR)/tools/tressel draw "$$f" --scale 2 --out "$(DEMO_DIR)/$$(basename "$$f")" || exit 1; \
	done
	@echo "Overlay pictures of the $(words $(SAMPLES)) samples: $(DEMO_DIR)/*.png"

# Places the shared library in the Python package, for `pip install ./python`.
python: build
	cp -L $(RELEASE_DIR)/libTressel.so python/tressel/libTressel.so

windows: $(WINDOWS_DIR)/CMakeCache.txt
	$(CMAKE) --build $(WINDOWS_DIR) -j $(JOBS) --target windows_dist
	@echo "Tressel.dll, Tressel.lib, libTressel.dll.a and headers in $(WINDOWS_DIR)/dist"

test: test-release test-asan test-windows

test-release: $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)
	cd $(RELEASE_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: $(ASAN_DIR)/CMakeCache.txt
	$(CMAKE) --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# The wine prefix is made afresh for every run, by the first test that needs it.
test-windows: $(WINDOWS_DIR)/CMakeCache.txt $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)
	$(CMAKE) --build $(WINDOWS_DIR) -j $(JOBS)
	WINEPREFIX=$(CURDIR)/$(WINDOWS_DIR)/wine wineserver -w 2>/dev/null || true
	rm -rf $(WINDOWS_DIR)/wine
	cd $(WINDOWS_DIR) && ctest --output-on-failure --timeout 300 -j $(JOBS)

# Benchmarks against OpenCV, in build/bench (Release); installs what is
# missing and rewrites bench/RESULTS.md. Not part of `make test`.
bench:
	bash bench/run.sh

clean:
	rm -rf build
