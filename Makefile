# make run  - install what is missing, build, open the window in build/samples
# make test - install what is missing, build, run every test
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: deps build run test test-sanitize bench fuzz clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD)

run: build
	cd $(BUILD)/samples && ../bin/pellicar-gui

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

test-sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS=-DPELLICAR_SANITIZE=ON

bench: build
	cmake --build $(BUILD) --target front_end_bench
	$(BUILD)/bench/bin/front_end_bench
	BUILD=$(BUILD) bench/converter.sh

clean:
	rm -rf build build-sanitize build-fuzz
