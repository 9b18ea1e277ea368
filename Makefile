# Front door of the project: `make demo` runs the demo host, `make test` runs every test,
# `make bench` runs the benchmarks (not part of the tests).
BUILD_DIR ?= build/release
CMAKE_FLAGS ?=
# CI treats every compiler warning as an error.
ifneq ($(CI),)
CMAKE_FLAGS += -DKIVCONSULT_WERROR=ON
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build test bench demo clean sanitize tsan fuzz

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The benchmarks time themselves: run them on a quiet machine, one at a time.
bench: build
	@bash scripts/install-bench-deps.sh
	@bash scripts/run-bench.sh $(BUILD_DIR)

demo: build
	@bash scripts/run-demo.sh $(BUILD_DIR)

# Every suite again under AddressSanitizer + UndefinedBehaviorSanitizer, and only the suites
# with threads under ThreadSanitizer, each in a build folder of its own (docs/testing.md).
SANITIZE_DIR ?= build/sanitize
TSAN_DIR ?= build/tsan

# The benchmarks are timed in the plain build only; leaving them out here keeps CI short.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVCONSULT_SANITIZE=ON \
		-DKIVCONSULT_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@bash scripts/run-sanitized-tests.sh $(SANITIZE_DIR) -j $(JOBS)

tsan: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVCONSULT_TSAN=ON \
		-DKIVCONSULT_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_DIR) -j $(JOBS)
	@bash scripts/run-sanitized-tests.sh $(TSAN_DIR) -j $(JOBS) -L threads

# The libFuzzer harnesses under fuzz/, built with clang, each run for FUZZ_SECONDS.
FUZZ_DIR ?= build/fuzz
FUZZ_SECONDS ?= 60

fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DKIVCONSULT_FUZZ=ON -DKIVCONSULT_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	@bash scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR)
