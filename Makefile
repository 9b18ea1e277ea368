# Front door of the project: `make demo` runs the demo host, `make test` runs every test.
BUILD_DIR ?= build/release
CMAKE_FLAGS ?=
# CI treats every compiler warning as an error.
ifneq ($(CI),)
CMAKE_FLAGS += -DKIVCONSULT_WERROR=ON
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build test demo clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

demo: build
	@bash scripts/run-demo.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
