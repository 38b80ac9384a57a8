# Thin wrappers over the CMake presets. Every target first installs what is missing.
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo clean

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

# Packs the sample installation (samples/) into a self-extracting installer with veltrane-pack,
# runs it under Wine and shows what happened. Also packs the same installation with the 32-bit
# loader: the installer one would ship to Windows users.
SAMPLE_FILES = samples/files/readme.txt samples/files/license.txt samples/files/product.dat
PACK_SAMPLE = build/host/veltrane-pack sfx --title "Veltrane Sample" --base samples \
	--stored-name 'C:\Build\Sample\SampleSetup.exe'

demo: build
	@mkdir -p build/demo
	$(PACK_SAMPLE) -o build/demo/VeltraneSampleSetup.exe --loader build/win64/VeltraneLoadProgram.exe \
		build/win64/samples/sample-installer.exe $(SAMPLE_FILES)
	$(PACK_SAMPLE) -q -o build/demo/VeltraneSampleSetup-win32.exe --loader build/win32/VeltraneLoadProgram.exe \
		build/win32/samples/sample-installer.exe $(SAMPLE_FILES)
	build/host/veltrane-demo build/demo/VeltraneSampleSetup.exe build/demo
	@echo
	@echo "The 32-bit installer to ship to Windows users: build/demo/VeltraneSampleSetup-win32.exe"

clean:
	rm -rf build
