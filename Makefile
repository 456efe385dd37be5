# The two commands: `make test` and `make demo`. Each installs what is
# missing, builds, and runs.
BUILD ?= build
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
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake

build: configure
	cmake --build $(BUILD) -j $(JOBS)

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

demo-writer: build
	scripts/with-wine demo/prepare-prefix.sh $(BUILD)
	scripts/with-wine demo/run.sh $(BUILD)

demo-launcher: build
	$(WITH_DISPLAY) scripts/with-wine /usr/bin/python3 demo/launcher_demo.py

bench: build
	scripts/with-wine bench/run-all.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
