# make run  - install what is missing, build, open the window in build/samples
# make test - install what is missing, build, run every test
# make install [PREFIX=/usr/local] [DESTDIR=] - build and install
# make package - build the Debian package in $(BUILD)/ and check it with lintian
# make test-fresh - as root, make test in a fresh minimal Debian 12 (scripts/fresh-debian)
# make windows - cross-build for Windows into build-windows/ with mingw-w64
# make test-windows - the same, then run the Windows tests under Wine
# make windows-package - the Windows zip and installer, in build-windows/
BUILD ?= build
WINDOWS_BUILD ?= build-windows
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: deps build run test test-sanitize test-fresh bench fuzz clean install package windows test-windows windows-package

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

test-fresh:
	@scripts/install-deps fresh
	scripts/fresh-debian test

windows:
	@scripts/install-deps windows
	test -f $(WINDOWS_BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build $(WINDOWS_BUILD)

windows-package: windows
	cmake --build $(WINDOWS_BUILD) --target windows-package

test-windows: windows
	scripts/test-windows $(WINDOWS_BUILD)

bench: build
	cmake --build $(BUILD) --target front_end_bench
	$(BUILD)/bench/bin/front_end_bench
	BUILD=$(BUILD) bench/converter.sh
	BUILD=$(BUILD) bench/preview.sh
	BUILD=$(BUILD) bench/png.sh

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	@[ -n "$(DESTDIR)" ] || scripts/refresh-desktop-caches "$(PREFIX)"

package: build
	rm -f $(BUILD)/pellicar_*.deb
	cd $(BUILD) && cpack -G DEB
	scripts/check-runpaths $(BUILD)/_CPack_Packages
	lintian --fail-on error --tag-display-limit 0 $(BUILD)/pellicar_*.deb

clean:
	rm -rf build build-sanitize build-fuzz build-windows
