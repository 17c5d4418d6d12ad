# The two commands that do everything: `make run` and `make test`.
.PHONY: all deps configure build run test sanitize bench install clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

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

install: build
	@cmake --install build

clean:
	@rm -rf build build-debug build-sanitize
