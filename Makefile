# The two commands that do everything: `make run` and `make test`.
.PHONY: all deps configure build run test sanitize bench install clean web web-test

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

test: build web
	@ctest --preset release -j $(JOBS)
	@$(MAKE) --no-print-directory web-test

sanitize: deps
	@cmake --preset sanitize >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@ctest --preset sanitize -j $(JOBS)

bench: build
	@scripts/bench.sh

install: build
	@cmake --install build

# The browser page and the Node renderer (build-web/), with Debian's
# Emscripten. Its cache of system libraries must be writable: the shared one
# where it is, otherwise one inside build-web.
WEB_ENV := NODE_PATH=/usr/share/nodejs $(if $(shell test -w /usr/share/emscripten/cache && echo yes),,EM_CACHE=$(CURDIR)/build-web/em-cache)

web: deps
	@$(WEB_ENV) cmake --preset web >/dev/null
	@$(WEB_ENV) cmake --build build-web -j $(JOBS)

# The web builds against the native one, and the page in headless Chromium.
web-test: build web tests/web/node_modules/.package-lock.json
	@cd tests/web && node --test --test-concurrency=1

tests/web/node_modules/.package-lock.json: tests/web/package-lock.json
	@cd tests/web && npm ci --no-audit --no-fund --loglevel=error

clean:
	@rm -rf build build-debug build-sanitize build-web
