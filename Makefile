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

# The catalogs live in the user's data folder, never in the build folder that `make clean` removes.
run: build
	@dir="$${MORVANEL_PROGRAM_DIR:-$${XDG_DATA_HOME:-$$HOME/.local/share}/Morvanel/}"; \
	mkdir -p "$$dir" && echo "Morvanel keeps its catalogs in $$dir" && \
	MORVANEL_PROGRAM_DIR="$$dir" exec $(BUILD)/bin/morvanel

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE fuzz

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMV_BENCH=ON -DMV_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@echo "benchmarks are in build-bench/bench/"

fuzz: deps
	@bash scripts/fuzz

# Catalogs that an older `make run` left beside the program ("dir", "Project1/") are never deleted.
CLEAN_DIRS = $(BUILD) build-bench build-fuzz
clean:
	@found=$$(find $(CLEAN_DIRS) \( -type f -iname dir -o -type d -iname project1 \) -print -prune 2>/dev/null); \
	if [ -n "$$found" ]; then \
	  echo "make clean: these build folders hold catalogs; move them elsewhere first (nothing was deleted):" >&2; \
	  echo "$$found" | sed 's/^/  /' >&2; \
	  exit 1; \
	fi; \
	rm -rf $(CLEAN_DIRS)
