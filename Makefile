# make test  - install what is missing, build with ASan+UBSan, run every test
# make demo  - install what is missing, build, run a transfer against tavrel-sim
# make fuzz  - build the libFuzzer targets and run each for FUZZ_SECONDS
# make tsan  - build the link and engine tests with ThreadSanitizer and run them
# make gui-demo    - the desktop program on the demo request against tavrel-sim
# make screenshots - pictures of the windows under Xvfb into docs/screenshots/
# make install     - build, then install the programs, manual pages, desktop entry,
#                    icons, file types, bash completion and doc files under PREFIX
#                    (default /usr/local; DESTDIR is honoured)
# make deb         - the Debian package of the same install rules, into build/pkg/

JOBS       ?= $(shell nproc)
TEST_BUILD ?= build/make-test
APP_BUILD  ?= build/make-app
TSAN_BUILD ?= build/make-tsan
FUZZ_BUILD ?= build/make-fuzz
SHOT_BUILD ?= build/make-shots
PKG_BUILD  ?= build/make-pkg
PKG_DIR    ?= build/pkg
FUZZ_SECONDS ?= 30
PREFIX     ?= /usr/local

.PHONY: all bootstrap build install deb test demo gui-demo screenshots tsan fuzz clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(APP_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_TESTS=OFF >/dev/null
	@cmake --build $(APP_BUILD) -j $(JOBS)

install: build
	@cmake --install $(APP_BUILD) --prefix $(PREFIX)

# Debian's build flags (hardening included); without -g, since the package's
# programs are stripped. Read when the recipe runs, after bootstrap.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
DEB_CXXFLAGS = $(filter-out -g,$(shell $(DEB_FLAGS) CXXFLAGS) $(shell $(DEB_FLAGS) CPPFLAGS))
DEB_CFLAGS = $(filter-out -g,$(shell $(DEB_FLAGS) CFLAGS) $(shell $(DEB_FLAGS) CPPFLAGS))
DEB_LDFLAGS = $(shell $(DEB_FLAGS) LDFLAGS)

# A Release build of the programs alone (no tests, no benchmarks), packaged by
# CPack from the install rules: build/pkg/tavrel_<version>_<arch>.deb.
deb: bootstrap
	@cmake -S . -B $(PKG_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DTAVREL_TESTS=OFF -DTAVREL_BENCH=OFF -DTAVREL_SANITIZE=OFF \
	  -DCMAKE_CXX_FLAGS="$(DEB_CXXFLAGS)" -DCMAKE_C_FLAGS="$(DEB_CFLAGS)" \
	  -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG \
	  -DCMAKE_EXE_LINKER_FLAGS="$(DEB_LDFLAGS)" >/dev/null
	@cmake --build $(PKG_BUILD) -j $(JOBS)
	@rm -rf $(PKG_DIR)/tavrel_*.deb $(PKG_DIR)/_CPack_Packages
	@cd $(PKG_BUILD) && cpack -B $(abspath $(PKG_DIR)) >/dev/null
	@rm -rf $(PKG_DIR)/_CPack_Packages
	@ls $(PKG_DIR)/tavrel_*.deb

test: bootstrap
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS) --timeout 300
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=5

demo: build
	@scripts/demo $(APP_BUILD)

# Opens a window on the desktop; without one, the program runs under Xvfb and
# ends by itself once its transfer has ended.
gui-demo: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then scripts/gui-demo $(APP_BUILD); \
	 else GUI_DEMO_UNSEEN=1 xvfb-run -a scripts/gui-demo $(APP_BUILD); fi

screenshots: bootstrap
	@cmake -S . -B $(SHOT_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(SHOT_BUILD) -j $(JOBS) --target tavrel-screenshots tavrel-sim tavrel-cli
	@QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
	  $(SHOT_BUILD)/tests/ui/tavrel-screenshots docs/screenshots

# libFuzzer needs clang; the libraries are instrumented, the tests are not built.
fuzz: bootstrap
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DTAVREL_FUZZ=ON -DTAVREL_TESTS=OFF -DTAVREL_GUI=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)
	@tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The tests that run threads (the serial link's watch thread, the engine and
# the line-fault tests over the link against tavrel-sim), selected by their
# CTest labels; the soak benchmark stays out (it is long, and `make test` runs it).
# A report does not stop the test at once, so that its simulator is still
# stopped; the test then fails with TSan's exit code.
tsan: bootstrap
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAVREL_TSAN=ON -DTAVREL_SANITIZE=OFF -DTAVREL_GUI=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS)
	@cd $(TSAN_BUILD) && \
	  TSAN_OPTIONS=halt_on_error=0:exitcode=66:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/reliability/tsan.supp \
	  QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS) --timeout 300 -L 'link|engine|reliability' -E '^soak'

clean:
	rm -rf build
