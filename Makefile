# Thin wrapper over CMake. `make demo` runs keyscout on the generated sample
# hive; `make test` builds and runs every test, in the normal build and under
# AddressSanitizer + UndefinedBehaviorSanitizer, then checks the manual page,
# the install and the Debian package. `make install` installs the binary and
# its manual page under PREFIX (staged under DESTDIR when given); `make deb`
# builds the Debian package in DEB_BUILD.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake
CPACK      ?= cpack
PREFIX     ?= /usr/local
DESTDIR    ?=
DEB_BUILD  ?= $(BUILD)-deb
SAMPLE_KEY := ControlSet001\Control\Session Manager

.PHONY: all build demo test test-release test-asan test-install install deb clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/keyscout -f $(BUILD)/sample.hiv -l
	$(BUILD)/keyscout -f $(BUILD)/sample.hiv -k '$(SAMPLE_KEY)' -s -l -e -v BootExecute

test: test-release test-asan test-install

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKEYSCOUT_SANITIZE=ON
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The manual page without warnings, `make install` into a staging folder, and,
# where dpkg-deb exists, the package's contents and metadata; as root with dpkg,
# also a real install and removal of the package.
test-install: build
	MAKE='$(MAKE)' bash packaging/check-install.sh '$(BUILD)' '$(DEB_BUILD)'

install: build
	DESTDIR='$(DESTDIR)' $(CMAKE) --install $(BUILD) --prefix '$(PREFIX)'

# The package's binary carries the C++ runtime, so it depends on libc alone,
# and is hardened as Debian builds its own packages, since it reads untrusted files.
deb:
	$(CMAKE) -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DKEYSCOUT_TESTS=OFF \
	  -DKEYSCOUT_STATIC_RUNTIME=ON \
	  -DCMAKE_CXX_FLAGS='-D_FORTIFY_SOURCE=2 -fstack-protector-strong' \
	  -DCMAKE_EXE_LINKER_FLAGS='-Wl,-z,relro,-z,now'
	$(CMAKE) --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && $(CPACK) -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
