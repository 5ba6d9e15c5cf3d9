# The two commands of the README (make demo, make check) and the packaging.
# Each sets the machine up first, so they work on a fresh Debian clone.
PRESETS := native native-asan win64 win32
SCRATCH ?= $(CURDIR)/build/demo
FUZZ_SECONDS ?= 60

.PHONY: all setup build check demo dist fuzz bench clean $(addprefix preset-,$(PRESETS))

all: build

setup:
	@scripts/setup

build: setup
	cmake --preset native
	cmake --build --preset native

# Builds every preset and runs its tests: native, under ASan and UBSan,
# under wine64, and the inspection of the shipped 32-bit binaries.
check: setup
	@for p in $(PRESETS); do \
	  echo "==== $$p"; \
	  cmake --preset $$p >/dev/null && \
	  cmake --build --preset $$p && \
	  ctest --preset $$p || exit 1; \
	done

# Builds the fuzz targets with clang and libFuzzer and runs each for
# FUZZ_SECONDS; fails on any finding.
fuzz:
	@scripts/setup fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/fuzz build/fuzz $(FUZZ_SECONDS)

# Builds the benchmarks (native Release and the win64 defpatch that the
# native one is compared with) and prints one table of figures, each a ratio
# to its reference measured in the same run. Never part of make check.
bench:
	@scripts/setup bench
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	cmake --preset bench-win64 >/dev/null
	cmake --build --preset bench-win64
	bench/run-bench build/bench build/bench-win64

demo: build
	@scripts/demo build/native "$(SCRATCH)"

# The Windows zip and the Debian package, in dist/.
dist: setup
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cmake --preset dist >/dev/null
	cmake --build --preset dist
	scripts/dist build/win32 build/dist dist

clean:
	rm -rf build dist
