# The two commands: `make test` and `make demo`. Each installs what is
# missing, builds, and runs.
BUILD ?= build
JOBS ?= $(shell nproc)
export WINEPREFIX := $(abspath $(BUILD))/wineprefix
export WINEDEBUG := -all

.PHONY: all deps configure build test demo bench format

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	scripts/with-wine ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	scripts/with-wine demo/prepare-prefix.sh $(BUILD)
	scripts/with-wine demo/run.sh $(BUILD)

bench: build
	scripts/with-wine bench/run-all.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
