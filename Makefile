# Thin wrapper over CMake: `make run` builds and starts Kurvitex against the simulated
# instrument, `make test` builds and runs every test. Both install missing packages first.
BUILD ?= build
TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: deps configure build run test bench sanitize clean format package package-check

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j 2

run: build
	$(BUILD)/program/kurvitex

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2
	@if [ "$(PACKAGE_CHECK)" = 1 ]; then $(MAKE) --no-print-directory package-check; fi

# The Debian package (CPack) in $(BUILD)/package/, and a check that it installs and runs.
PACKAGE_CHECK ?= 1
package: build
	@cmake --build $(BUILD) --target package > $(BUILD)/package.log || (cat $(BUILD)/package.log; false)
	@ls $(BUILD)/package/*.deb

package-check: package
	@bash scripts/check-package.sh $(BUILD)

bench: build
	$(BUILD)/bench/kurvitex_bench
	@if [ -x $(BUILD)/bench/kurvitex_bench_link ]; then $(BUILD)/bench/kurvitex_bench_link; fi

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@$(MAKE) test BUILD=build-asan TYPE=Debug CMAKE_FLAGS=-DKTX_SANITIZE=ON PACKAGE_CHECK=0

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan
