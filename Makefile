# The two commands that do everything: `make run` and `make test`.
.PHONY: all programs run build test sanitize bench fuzz install uninstall deb clean web web-test windows windows-test

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=
FUZZ_SECONDS ?= 60

all: build

# The two programs alone, in build-programs/: no tests, no benchmarks, and
# only the packages they need.
programs:
	@scripts/deps.sh build
	@scripts/quiet.sh "Configuring (build-programs/)" cmake --preset programs
	@scripts/quiet.sh "Building quillmoor-mothwake and quillmoor-render" cmake --build build-programs -j $(JOBS)

# Builds only the program it runs. Options pass through: make run ARGS="-scene skyline"
run:
	@JOBS=$(JOBS) scripts/run.sh $(ARGS)

# The programs and the tests in build/; make bench adds the benchmarks there.
build:
	@scripts/deps.sh build test
	@cmake --preset release -DQUILLMOOR_BENCH=OFF >/dev/null
	@cmake --build build -j $(JOBS)

test: build web windows
	@ctest --preset release -j $(JOBS); status=$$?; scripts/skip-reasons.sh build; exit $$status
	@$(MAKE) --no-print-directory web-test
	@$(MAKE) --no-print-directory windows-test

sanitize:
	@scripts/deps.sh build test
	@cmake --preset sanitize >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@ctest --preset sanitize -j $(JOBS); status=$$?; scripts/skip-reasons.sh build-sanitize; exit $$status

bench:
	@scripts/deps.sh build test bench
	@cmake --preset release -DQUILLMOOR_BENCH=ON >/dev/null
	@cmake --build build -j $(JOBS)
	@scripts/bench.sh

# Installs what make programs built (as yourself, before sudo make install)
# under /usr/local, or PREFIX=...; uninstall removes exactly what install put
# there, listed in build-programs/install_manifest.txt.
install:
	@scripts/install.sh install $(PREFIX)

uninstall:
	@scripts/install.sh uninstall

# build-deb/quillmoor-mothwake_VERSION_ARCH.deb, checked with lintian.
deb:
	@scripts/deps.sh build extras
	@scripts/deb.sh

# Each fuzz target in turn for FUZZ_SECONDS, growing fuzz/corpus (clang build in build-fuzz).
fuzz:
	@scripts/deps.sh build fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@fuzz/run.sh $(FUZZ_SECONDS)

# The browser page and the Node renderer (build-web/), with Debian's Emscripten.
web:
	@JOBS=$(JOBS) scripts/web.sh

# The web builds against the native one, and the page in headless Chromium,
# one test file after the other (Node 18 has no --test-concurrency).
web-test: build web
	@cd tests/web && status=0; for file in *.test.mjs; do node --test "$$file" || status=1; done; exit $$status

# The headless renderer and the saver for 64-bit Windows
# (build-windows/quillmoor-render.exe, build-windows/quillmoor-mothwake.scr),
# cross-compiled with Debian's MinGW-w64 and linked statically, and the
# saver's installer (build-windows/quillmoor-mothwake-setup-VERSION.exe, NSIS).
windows:
	@scripts/deps.sh windows
	@scripts/quiet.sh "Configuring (build-windows/)" cmake --preset windows
	@scripts/quiet.sh "Building the Windows programs in build-windows/" cmake --build --preset windows -j $(JOBS)

# The Windows renderer under Wine against the native one, trace for trace;
# the saver and its settings under Wine on private X servers against the
# native renderer; its installer and uninstaller.
windows-test: build windows
	@status=0; for test in trace saver settings installer; do \
	  tests/windows/test_$${test}_under_wine.py || status=1; done; exit $$status

clean:
	@rm -rf build build-programs build-debug build-sanitize build-deb build-fuzz build-web build-windows
