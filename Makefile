# Set-up, build and test in one step each; see README.md.
BUILD     ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH ?= build-bench
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps bench-deps build test demo bench asan fuzz clean format

all: build

deps:
	@tools/install-deps

bench-deps:
	@tools/install-deps bench

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

demo: build
	tools/demo $(BUILD)

bench: bench-deps
	cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_BENCH=ON -DSORVANE_TESTS=OFF
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	tools/run-benchmarks $(BUILD_BENCH)

asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=0:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 600

fuzz: deps
	tools/run-fuzz

format:
	find engine kit prediction platform app tests bench tools -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH) build-fuzz
