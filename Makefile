# Thin wrapper over CMake. `make demo` runs keyscout on the generated sample
# hive; `make test` builds and runs every test, in the normal build and under
# AddressSanitizer + UndefinedBehaviorSanitizer.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake
SAMPLE_KEY := ControlSet001\Control\Session Manager

.PHONY: all build demo test test-release test-asan clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/keyscout -f $(BUILD)/sample.hiv -l
	$(BUILD)/keyscout -f $(BUILD)/sample.hiv -k '$(SAMPLE_KEY)' -s -l -e -v BootExecute

test: test-release test-asan

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKEYSCOUT_SANITIZE=ON
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
