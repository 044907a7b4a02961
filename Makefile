# Thin wrapper over CMake: `make run` builds and starts Kurvitex against the simulated
# instrument, `make test` builds and runs every test. Both install missing packages first.
BUILD ?= build
TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: deps configure build run test bench sanitize clean format

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

bench: build
	$(BUILD)/bench/kurvitex_bench
	@if [ -x $(BUILD)/bench/kurvitex_bench_link ]; then $(BUILD)/bench/kurvitex_bench_link; fi

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@$(MAKE) test BUILD=build-asan TYPE=Debug CMAKE_FLAGS=-DKTX_SANITIZE=ON

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan
