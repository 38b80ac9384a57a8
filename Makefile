# Thin wrappers over the CMake presets. Every target first installs what is missing.
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo bench clean sanitize fuzz fuzz-build fuzz-smoke

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

# Unit tests, then the real loader under Wine; the unit tests again under the sanitizers, and
# each fuzzer for 30 seconds.
test: build
	ctest --preset host
	$(MAKE) sanitize
	$(MAKE) fuzz-smoke

# The unit tests built by clang under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize

# Each libFuzzer target for FUZZ_SECONDS, growing its corpus in build/fuzz-corpus; prints
# executions, coverage and findings per target (logs and findings under build/fuzz-*).
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?= fuzz_loader_file fuzz_setup1 fuzz_pack_reader

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	tests/fuzz/run-fuzzers.sh $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# make test's share: each target for 30 seconds from the committed seeds alone.
fuzz-smoke: fuzz-build
	tests/fuzz/run-fuzzers.sh --fresh 30 $(FUZZ_TARGETS)

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

# The benchmark: our loader against the limit of its extraction and against NSIS, unzipsfx and
# 7-Zip, on a seeded payload of about 200 MB. Installs the peers itself; not part of test.
# Writes build/bench/report.md, results.json and extract.png.
bench: build
	@bench/install-deps
	/usr/bin/python3 bench/bench.py

clean:
	rm -rf build
