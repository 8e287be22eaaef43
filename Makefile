# The two set-up commands: `make run` and `make test`. Everything else is a helper.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE ?= $(BUILD)/sample-machine

.PHONY: all deps configure build run test test-asan bench fuzz format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake --preset default -B $(BUILD) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The main job on the bundled sample machine.
run: build
	@scripts/run-sample $(BUILD) $(SAMPLE)

# The suite, then again under the sanitizers (the slow check against Wine runs once). `deps`
# has installed every program the tests use, so a missing one fails its test here instead
# of being skipped (RAVELIN_REQUIRE_TOOLS).
test: build test-asan
	@cd $(BUILD) && RAVELIN_REQUIRE_TOOLS=1 ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@test -f build-asan/build.ninja || cmake --preset asan -B build-asan >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && RAVELIN_REQUIRE_TOOLS=1 ctest --output-on-failure -j $(JOBS) -E WineOracle

bench: build
	@$(BUILD)/bench/registry_bench; $(BUILD)/bench/css_bench; $(BUILD)/bench/prefs_bench; $(BUILD)/bench/search_scopes_bench

fuzz: deps
	@test -f build-fuzz/build.ninja || cmake --preset fuzz -B build-fuzz >/dev/null
	@cmake --build build-fuzz -j $(JOBS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-fuzz
