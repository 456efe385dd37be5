# The two commands: `make test` and `make demo`. Each installs what is
# missing, builds, and runs.
BUILD ?= build
JOBS ?= $(shell nproc)
export WINEPREFIX := $(abspath $(BUILD))/wineprefix
export WINEDEBUG := -all

.PHONY: all deps configure build test bench format demo demo-writer demo-launcher

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

test: build
	$(WITH_DISPLAY) scripts/with-wine ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

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
