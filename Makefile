# The two commands: `make test` and `make demo`. Each installs what is
# missing, builds, and runs.
BUILD ?= build
# The 64-bit writer and the stand-ins its tests load; its tests run in
# $(BUILD)'s prefix, taken in by $(BUILD)'s CTest.
BUILD64 ?= $(BUILD)64
# `make demo-writer BITS=64` shows the 64-bit writer.
BITS ?= 32
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
export WINEPREFIX := $(abspath $(BUILD))/wineprefix
export WINEDEBUG := -all

.PHONY: all deps configure build test bench format demo demo-writer demo-launcher \
	fuzz-build fuzz-replay fuzz

# The launcher's tests and demo open real windows. Without a display of the
# user's they get an Xvfb, started before the wineserver so that Wine's
# desktop lives on it.
WITH_DISPLAY := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1024x768x24")

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	  -DWRITER64_BUILD=$(abspath $(BUILD64))
	cmake -S . -B $(BUILD64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake \
	  -DWINE_PREFIX=$(WINEPREFIX)

build: configure
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(BUILD64) -j $(JOBS)

test: build fuzz-replay
	$(WITH_DISPLAY) scripts/with-wine ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The pure parsers built natively under the fuzzer and the address and
# undefined-behaviour checkers: `make test` replays every seed corpus,
# `make fuzz` fuzzes each target for FUZZ_SECONDS.
fuzz-build: deps
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz-replay: fuzz-build
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS)

fuzz: fuzz-build
	fuzz/run-all.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

demo: demo-writer demo-launcher

WRITER_BUILD := $(if $(filter 64,$(BITS)),$(BUILD64),$(BUILD))

demo-writer: build
	scripts/with-wine demo/prepare-prefix.sh $(WRITER_BUILD)
	scripts/with-wine demo/run.sh $(WRITER_BUILD)

demo-launcher: build
	$(WITH_DISPLAY) scripts/with-wine /usr/bin/python3 demo/launcher_demo.py

bench: build
	scripts/with-wine bench/run-all.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
