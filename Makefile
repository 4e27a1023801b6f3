# The two set-up commands: `make run` and `make test`. Both install what is missing,
# configure and build first. PRESET=debug builds and tests with the sanitizers.
PRESET ?= default
BUILD_DIR := build/$(PRESET)
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test test-debug sweep soak fuzz screenshot format clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD_DIR)/CMakeCache.txt ]; then cmake --preset $(PRESET); fi

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/varnocliff

test: build
	@tools/install-deps.sh --for-tests
	ctest --preset $(PRESET) -j $(JOBS)

test-debug:
	$(MAKE) test PRESET=debug

# A long run, not part of `make test`: every corpus workbook through varnocliff-cli with a set of
# replacements, each result checked for damage (tests/engine/corpus_sweep.py).
sweep: build
	@tools/install-deps.sh --for-tests
	/usr/bin/python3 tests/engine/corpus_sweep.py --cli $(BUILD_DIR)/bin/varnocliff-cli

# The crash test of `make test` with 400 kills instead of 25 (tests/cli/crash_safety.py).
soak: build
	/usr/bin/python3 tests/cli/crash_safety.py $(BUILD_DIR)/bin/varnocliff-cli 400

# The libFuzzer targets of the engine's readers and the sets-file parser, each run for
# FUZZ_SECONDS (default 60) with AddressSanitizer and UndefinedBehaviorSanitizer (tools/fuzz.sh).
FUZZ_SECONDS ?= 60
fuzz:
	tools/fuzz.sh $(FUZZ_SECONDS)

# Remakes docs/main-window.png from the built program.
screenshot: configure
	PRESET=$(PRESET) tools/screenshot.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
