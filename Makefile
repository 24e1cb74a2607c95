# make run  - install what is missing, build, open the window in build/samples
# make test - install what is missing, build, run every test
# make windows - cross-build for Windows into build-windows/ with mingw-w64
# make test-windows - the same, then run the Windows tests under Wine
BUILD ?= build
WINDOWS_BUILD ?= build-windows
CMAKE_FLAGS ?=

.PHONY: deps build run test test-sanitize bench fuzz clean windows test-windows

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

windows:
	@scripts/install-deps windows
	test -f $(WINDOWS_BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build $(WINDOWS_BUILD)

test-windows: windows
	scripts/test-windows $(WINDOWS_BUILD)

bench: build
	cmake --build $(BUILD) --target front_end_bench
	$(BUILD)/bench/bin/front_end_bench
	BUILD=$(BUILD) bench/converter.sh

clean:
	rm -rf build build-sanitize build-fuzz build-windows
