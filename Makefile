# Set-up, build and test in one step each; see README.md.
BUILD     ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH ?= build-bench
JOBS      ?= $(shell nproc)
FUZZ_SECONDS ?= 20
CMAKE_FLAGS ?=
# The version the tree is formatted with: others break some lines differently.
CLANG_FORMAT ?= clang-format-14

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

# `make asan ASAN_SUITES="kit e2e"` builds and runs those test suites only.
ASAN_SUITES ?=
empty :=
space := $(empty) $(empty)
asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS) $(addprefix --target tests_,$(ASAN_SUITES))
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=0:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 600 $(if $(ASAN_SUITES),-L '^($(subst $(space),|,$(strip $(ASAN_SUITES))))$$')

fuzz: deps
	tools/run-fuzz $(FUZZ_SECONDS)

# Formats every C++ file as .clang-format says; CI fails when this changes anything.
format: deps
	@command -v $(CLANG_FORMAT) >/dev/null || { echo "make format: $(CLANG_FORMAT) not found (Debian package clang-format-14)" >&2; exit 1; }
	find engine kit prediction platform app tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs $(CLANG_FORMAT) -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH) build-fuzz
