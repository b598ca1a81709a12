# Thin wrapper over CMake. `make demo` and `make test` do all set-up.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
RELEASE_DIR := build/release
ASAN_DIR := build/asan
TSAN_DIR := build/tsan
FUZZ_DIR := build/fuzz
FUZZ_COVERAGE_DIR := build/fuzz-coverage
LLVM_PROFDATA ?= llvm-profdata-14
LLVM_COV ?= llvm-cov-14
FUZZ_CC ?= clang
FUZZ_CXX ?= clang++
# The project's own builds treat warnings as errors; a project that builds
# Tressel inside its own does not.
STRICT := -DTRESSEL_WARNINGS_AS_ERRORS=ON
# `make fuzz`: seconds per target, where the growing corpora live (outside the
# repository's seeds), and the targets (one seed directory each).
FUZZ_SECONDS ?= 60
FUZZ_CORPUS ?= build/fuzz-corpus
FUZZERS ?= $(notdir $(wildcard fuzz/seeds/*))

WINDOWS_DIR := build/windows

.PHONY: all build demo python test test-release test-asan windows test-windows test-fuzz test-tsan fuzz \
	fuzz-build fuzz-coverage bench clean

all: build

$(RELEASE_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release $(STRICT)

$(ASAN_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTRESSEL_SANITIZE=ON $(STRICT)

$(TSAN_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRESSEL_TSAN=ON $(STRICT)

$(FUZZ_DIR)/CMakeCache.txt:
	CC=$(FUZZ_CC) CXX=$(FUZZ_CXX) $(CMAKE) -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTRESSEL_FUZZ=ON -DTRESSEL_TESTS=OFF $(STRICT)

# 32-bit Windows, cross-built with mingw-w64; the Windows tests compare with
# what the Linux release build gives.
$(WINDOWS_DIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(WINDOWS_DIR) -DCMAKE_BUILD_TYPE=Release $(STRICT) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/windows/toolchain-i686-mingw.cmake \
		-DTRESSEL_LINUX_TOOLS=$(CURDIR)/$(RELEASE_DIR)/tests/windows

build: $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)

# The samples analysed by the command-line tool, and their overlay pictures.
DEMO_DIR := build/demo
SAMPLES := $(sort $(wildcard samples/*.png))

# The main job first: a generated rodent walking on a textured floor, made
# into a video and tracked; then the sample silhouettes and their overlays.
demo:
	@scripts/install-packages --build
	$(MAKE) build
	@mkdir -p $(DEMO_DIR)
	/usr/bin/python3 samples/scene.py --preset demo --truth $(DEMO_DIR)/walk.truth.csv \
		| $(RELEASE_DIR)/tools/tressel-encode --size 640x480 --fps 30 $(DEMO_DIR)/walk.mp4
	$(RELEASE_DIR)/tools/tressel track $(DEMO_DIR)/walk.mp4 --out $(DEMO_DIR)/walk.csv
	@echo
	@grep -v '^#' $(DEMO_DIR)/walk.csv | head -6 | cut -d, -f1-14
	@echo "... $$(( $$(grep -vc '^#' $(DEMO_DIR)/walk.csv) - 1 )) rows, one per frame: the table is $(DEMO_DIR)/walk.csv (settings in walk.csv.json,"
	@echo "    summary in walk.csv.summary.json and .csv, the drawn truth in walk.truth.csv)"
	@echo
	@$(RELEASE_DIR)/tools/tressel analyze --format table $(SAMPLES)
	@for f in $(SAMPLES); do \
		$(RELEASE_DIR)/tools/tressel draw "$$f" --scale 2 --out "$(DEMO_DIR)/$$(basename "$$f")" || exit 1; \
	done
	@echo "Overlay pictures of the $(words $(SAMPLES)) samples: $(DEMO_DIR)/*.png"

# Places the shared library in the Python package, for `pip install ./python`.
python: build
	cp -L $(RELEASE_DIR)/libTressel.so python/tressel/libTressel.so
	cp -L $(RELEASE_DIR)/libTresselTrack.so python/tressel/libTresselTrack.so

windows: $(WINDOWS_DIR)/CMakeCache.txt
	$(CMAKE) --build $(WINDOWS_DIR) -j $(JOBS) --target windows_dist
	@echo "Tressel.dll, Tressel.lib, libTressel.dll.a and headers in $(WINDOWS_DIR)/dist"

# Every test: installs missing packages first, then the optimised build, the
# ASan/UBSan build, the Windows DLL under wine, the fuzz regressions and the
# ThreadSanitizer build.
test:
	@scripts/install-packages
	$(MAKE) test-release test-asan test-windows test-fuzz test-tsan

test-release: $(RELEASE_DIR)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)
	cd $(RELEASE_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: $(ASAN_DIR)/CMakeCache.txt
	$(CMAKE) --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# Every fuzz target over its seeds, then a few seconds of fuzzing each.
test-fuzz: fuzz-build
	cd $(FUZZ_DIR) && ctest --output-on-failure -j $(JOBS)

# The library's tests and the thread test under ThreadSanitizer.
test-tsan: $(TSAN_DIR)/CMakeCache.txt
	$(CMAKE) --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS)

fuzz-build: $(FUZZ_DIR)/CMakeCache.txt
	$(CMAKE) --build $(FUZZ_DIR) -j $(JOBS)

# Fuzzing campaigns, one target after the other on one core, at the lowest
# priority: `make fuzz FUZZ_SECONDS=600 FUZZERS=class_fuzzer`.
fuzz: fuzz-build
	@for f in $(FUZZERS); do \
		mkdir -p $(FUZZ_CORPUS)/$$f $(FUZZ_CORPUS)/artifacts && \
		dict=fuzz/$$f.dict; [ -f $$dict ] && dict=-dict=$$dict || dict=; \
		echo "== $$f, $(FUZZ_SECONDS) s"; \
		nice -n 19 $(FUZZ_DIR)/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=25 -malloc_limit_mb=512 -print_final_stats=1 \
			-artifact_prefix=$(FUZZ_CORPUS)/artifacts/$$f- $$dict $(FUZZ_CORPUS)/$$f fuzz/seeds/$$f || exit 1; \
	done

# Line coverage of the library and the readers reached by the corpora (the
# seeds and what `make fuzz` added to $(FUZZ_CORPUS)), in build/fuzz-coverage.
fuzz-coverage:
	CC=$(FUZZ_CC) CXX=$(FUZZ_CXX) CFLAGS="-fprofile-instr-generate -fcoverage-mapping" \
		CXXFLAGS="-fprofile-instr-generate -fcoverage-mapping" $(CMAKE) -S . -B $(FUZZ_COVERAGE_DIR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRESSEL_FUZZ=ON -DTRESSEL_TESTS=OFF $(STRICT)
	$(CMAKE) --build $(FUZZ_COVERAGE_DIR) -j $(JOBS)
	rm -rf $(FUZZ_COVERAGE_DIR)/profiles && mkdir -p $(FUZZ_COVERAGE_DIR)/profiles
	@for f in $(FUZZERS); do \
		mkdir -p $(FUZZ_CORPUS)/$$f; \
		LLVM_PROFILE_FILE=$(FUZZ_COVERAGE_DIR)/profiles/$$f.profraw nice -n 19 $(FUZZ_COVERAGE_DIR)/fuzz/$$f \
			-runs=0 -artifact_prefix=$(FUZZ_COVERAGE_DIR)/profiles/ fuzz/seeds/$$f $(FUZZ_CORPUS)/$$f > /dev/null 2>&1 \
			|| exit 1; \
	done
	$(LLVM_PROFDATA) merge -sparse $(FUZZ_COVERAGE_DIR)/profiles/*.profraw -o $(FUZZ_COVERAGE_DIR)/fuzz.profdata
	$(LLVM_COV) report -instr-profile=$(FUZZ_COVERAGE_DIR)/fuzz.profdata $(FUZZ_COVERAGE_DIR)/fuzz/$(firstword $(FUZZERS)) \
		$(foreach f,$(wordlist 2,99,$(FUZZERS)),-object $(FUZZ_COVERAGE_DIR)/fuzz/$(f)) \
		$(abspath analysis support facade capi image video) | tee $(FUZZ_COVERAGE_DIR)/report.txt

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
