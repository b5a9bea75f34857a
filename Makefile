# Two commands do all set-up: `make run` and `make test`. The real build is CMake's.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test bench fuzz clean

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/morvanel

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE fuzz

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMV_BENCH=ON -DMV_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@echo "benchmarks are in build-bench/bench/"

fuzz: deps
	@bash scripts/fuzz

clean:
	rm -rf $(BUILD) build-bench build-fuzz
