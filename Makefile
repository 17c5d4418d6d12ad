# The two commands that do everything: `make run` and `make test`.
.PHONY: all deps configure build run test sanitize bench fuzz install clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

all: build

deps:
	@scripts/deps.sh

configure: deps
	@cmake --preset release >/dev/null

build: configure
	@cmake --build build -j $(JOBS)

run: build
	@scripts/run.sh

test: build
	@ctest --preset release -j $(JOBS)

sanitize: deps
	@cmake --preset sanitize >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@ctest --preset sanitize -j $(JOBS)

bench: build
	@scripts/bench.sh

# Each fuzz target in turn for FUZZ_SECONDS, growing fuzz/corpus (clang build in build-fuzz).
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@fuzz/run.sh $(FUZZ_SECONDS)

install: build
	@cmake --install build

clean:
	@rm -rf build build-debug build-sanitize build-fuzz
