# Thin wrappers over the CMake presets. Every target first installs what is missing.
JOBS ?= $(shell nproc)

.PHONY: all deps build build-host build-windows test unit e2e demo bench fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -j $(JOBS)
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

# Unit tests, then the real loader under Wine.
test: build
	ctest --preset host

clean:
	rm -rf build
