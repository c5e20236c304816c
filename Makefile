# Thin wrapper over CMake. `make demo` runs keyscout on the generated sample
# hive; `make test` builds and runs every test, in the normal build and under
# AddressSanitizer + UndefinedBehaviorSanitizer, then checks the manual page,
# the install and the Debian package. `make install` installs the binary and
# its manual page under PREFIX (staged under DESTDIR when given); `make deb`
# builds the Debian package in DEB_BUILD.
#
# Each build's settings are a preset of CMakePresets.json (dev, asan, fuzz,
# deb, windows-x64, windows-x86); this file only names the folder each builds
# in. WERROR=ON makes warnings in keyscout's own code errors in every build,
# as CI runs it.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake
CPACK      ?= cpack
PREFIX     ?= /usr/local
DESTDIR    ?=
DEB_BUILD  ?= $(BUILD)-deb
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
HIVES      ?= $(CURDIR)/../shared/hives
SAMPLE_KEY := ControlSet001\Control\Session Manager
WERROR     ?=
# -DNAME=value when the value is given, otherwise -UNAME: a setting given once
# does not stay in the build's cache for the runs that do not give it.
cache_setting = $(if $(2),-D$(1)=$(2),-U$(1))
# The preset, the build folder, and -Werror when asked for.
configure = $(CMAKE) --preset $(1) -B $(2) $(call cache_setting,KEYSCOUT_WERROR,$(WERROR))

.PHONY: all build deps deps-demo deps-windows demo test test-release test-asan test-install install deb windows windows-test clean

all: build

build:
	$(call configure,dev,$(BUILD))
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# What a fresh Debian machine lacks is installed first (apt-get, only when
# missing; see .ci/deps).
deps:
	bash .ci/deps

deps-demo:
	bash .ci/deps --demo

deps-windows:
	bash .ci/deps --windows

# The demo builds the program and the sample hive alone: no test framework,
# no tests.
demo: deps-demo
	$(call configure,dev,$(BUILD))
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target keyscout sample_hive
	$(BUILD)/keyscout -f $(BUILD)/sample.hiv -l
	$(BUILD)/keyscout -f $(BUILD)/sample.hiv -k '$(SAMPLE_KEY)' -s -l -e -v BootExecute

test: deps test-release test-asan test-install

# The test presets fail a build that found no test framework (no tests), and
# only the asan one runs the tests labelled "sanitizer".
test-release: build
	ctest --preset dev --test-dir $(BUILD) -j $(JOBS)

test-asan:
	$(call configure,asan,$(ASAN_BUILD))
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	ctest --preset asan --test-dir $(ASAN_BUILD) -j $(JOBS)

# The manual page without warnings, `make install` into a staging folder, and,
# where dpkg-deb exists, the package's contents and metadata; as root with dpkg,
# also a real install and removal of the package. The sample hive is made for
# it: the packaged binary must print on it what the tested one prints.
test-install: build
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target sample_hive
	MAKE='$(MAKE)' bash packaging/check-install.sh '$(BUILD)' '$(DEB_BUILD)'

install: build
	DESTDIR='$(DESTDIR)' $(CMAKE) --install $(BUILD) --prefix '$(PREFIX)'

# The package's binary is linked statically (C++ runtime included), so it needs no other package,
# and is hardened as Debian builds its own packages, since it reads untrusted files.
deb:
	$(call configure,deb,$(DEB_BUILD))
	$(CMAKE) --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && $(CPACK) -G DEB

# Windows: keyscout.exe cross-built with MinGW-w64 for x86_64 ($(WIN64_BUILD))
# and i686 ($(WIN32_BUILD)), statically linked. `make windows-test` also runs
# the 64-bit build's whole test suite under Wine (wine64), headless, with the
# Wine prefix in $(WIN64_BUILD)/wine-prefix; the .xz hives are decompressed
# beforehand, since the tests cannot run xz from inside Wine.
windows:
	$(call configure,windows-x64,$(WIN64_BUILD))
	$(CMAKE) --build $(WIN64_BUILD) -j $(JOBS)
	$(call configure,windows-x86,$(WIN32_BUILD))
	$(CMAKE) --build $(WIN32_BUILD) -j $(JOBS)

windows-test: deps-windows windows
	@mkdir -p $(WIN64_BUILD)/unpacked-hives
	@if command -v xz >/dev/null; then \
	  for f in "$${KEYSCOUT_HIVES:-$(HIVES)}"/*.xz; do \
	    [ -f "$$f" ] || continue; \
	    out="$(WIN64_BUILD)/unpacked-hives/$$(basename "$$f" .xz)"; \
	    [ -s "$$out" ] || { xz -dc "$$f" > "$$out.part" && mv "$$out.part" "$$out"; } || exit 1; \
	  done; \
	fi
	KEYSCOUT_UNPACKED_HIVES='$(abspath $(WIN64_BUILD))/unpacked-hives' ctest --preset windows-x64 --test-dir $(WIN64_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# Fuzzing: `make fuzz` builds the libFuzzer target with clang, under
# AddressSanitizer + UndefinedBehaviorSanitizer, in $(FUZZ_BUILD), and fuzzes
# the real entry point (every report, with and without -k, and with -t over
# the logs an input carries after its hive) for FUZZ_SECONDS (600) on one
# core. New inputs collect in FUZZ_CORPUS ($(FUZZ_BUILD)/corpus), which starts
# from the generated seeds and the saved regressions; a crash is written to
# $(FUZZ_BUILD)/crash-* (an input that runs over 10 seconds is saved as a
# timeout-*): minimize it (keyscout_fuzz -minimize_crash=1) and keep it in
# tests/fuzz/regressions, which every test run replays. The run is the build's
# target fuzz_run; FUZZ_SECONDS and FUZZ_CORPUS set its cache variables
# KEYSCOUT_FUZZ_SECONDS and KEYSCOUT_FUZZ_CORPUS, whose defaults are in
# tests/fuzz/CMakeLists.txt.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?=
FUZZ_CORPUS  ?=

.PHONY: fuzz
fuzz:
	$(call configure,fuzz,$(FUZZ_BUILD)) $(call cache_setting,KEYSCOUT_FUZZ_SECONDS,$(FUZZ_SECONDS)) \
	  $(call cache_setting,KEYSCOUT_FUZZ_CORPUS,$(if $(FUZZ_CORPUS),$(abspath $(FUZZ_CORPUS))))
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_run

# The benchmark, not part of `make test`: keyscout and the other registry tools
# that are installed (hivex, reglookup and hyperfine come from Debian's
# packages when missing) on the same requests over real and generated hives,
# next to the floors, in one table (README, Benchmarks). Builds in
# $(BENCH_BUILD); keep the machine quiet while it runs.
BENCH_BUILD ?= $(BUILD)-bench
.PHONY: bench
bench:
	BENCH_BUILD='$(BENCH_BUILD)' JOBS='$(JOBS)' bash bench/run.sh
