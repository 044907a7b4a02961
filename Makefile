# Thin wrapper over CMake: `make run` builds and starts Kurvitex against the simulated
# instrument; `make test` (what CI runs) builds and runs every test and checks the Debian
# package (`make check`), then the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (`make sanitize`) and each fuzz target for a short time
# (`make fuzz-ci`); `make reliability` is the same. All install missing packages first.
BUILD ?= build
TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
# Options of a variant build (sanitizers), kept apart from the caller's CMAKE_FLAGS.
VARIANT_FLAGS ?=

.PHONY: deps configure build run check test reliability bench sanitize fuzz-ci soak clean format package \
	package-check

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE) $(CMAKE_FLAGS) $(VARIANT_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j 2

run: build
	$(BUILD)/program/kurvitex

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2
	@if [ "$(PACKAGE_CHECK)" = 1 ]; then $(MAKE) --no-print-directory package-check; fi

# The Debian package (CPack) in $(BUILD)/package/, and a check that it installs and runs.
PACKAGE_CHECK ?= 1
package: build
	@cmake --build $(BUILD) --target package > $(BUILD)/package.log || (cat $(BUILD)/package.log; false)
	@ls $(BUILD)/package/*.deb

package-check: package
	@bash scripts/check-package.sh $(BUILD)

test: check sanitize fuzz-ci

reliability: test

bench: build
	$(BUILD)/bench/kurvitex_bench
	@if [ -x $(BUILD)/bench/kurvitex_bench_link ]; then $(BUILD)/bench/kurvitex_bench_link; fi

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, in its own build
# folder (no benchmarks there).
sanitize:
	@$(MAKE) --no-print-directory check BUILD=build-asan TYPE=Debug \
		VARIANT_FLAGS="-DKTX_SANITIZE=ON -DKTX_BUILD_BENCH=OFF" PACKAGE_CHECK=0

# Every fuzz target of fuzz/targets.tsv for FUZZ_SECONDS (default 25) with clang; a finding
# fails with its reproducer printed.
fuzz-ci: deps
	@CMAKE_FLAGS="$(CMAKE_FLAGS)" bash scripts/fuzz-ci.sh

# The long run against ktx-sim under the sanitizers (not part of `make test`).
soak: deps
	@CMAKE_FLAGS="$(CMAKE_FLAGS)" bash scripts/soak.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-fuzz
