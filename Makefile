# Two commands set everything up on a fresh Debian 12 machine:
#   make run    builds and starts the program
#   make test   builds and passes every test
# The build folder is this checkout's own: a BUILD in the environment (another
# project's, say) is not taken; `make BUILD=dir` still chooses one.
ifneq ($(origin BUILD),command line)
override BUILD := build
endif
JOBS    ?= 2
CMAKE_FLAGS ?=
GEN     := -G Ninja

.PHONY: all deps configure build run test sanitize tsan bench clean format

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tools/haltguard-ids-setup
	$(BUILD)/shell/haltguard-ids

# The tests start PostgreSQL servers of their own (postgresql-15's initdb and postgres);
# make run needs no server.
TEST_PACKAGES := postgresql-15
test: build
	@HG_EXTRA_PACKAGES="$(TEST_PACKAGES)" scripts/install-deps.sh
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# Address + undefined behaviour sanitizers over the whole suite.
sanitize: deps
	@HG_EXTRA_PACKAGES="$(TEST_PACKAGES)" scripts/install-deps.sh
	cmake -S . -B build-asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DHG_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) --timeout 900

# Thread sanitizer over the serial tests.
tsan: deps
	cmake -S . -B build-tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DHG_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target serial_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L '^serial$$' --timeout 900

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-package

# Benchmarks: figures come from these, never from tests.
bench-%: build
	$(BUILD)/bench/$*_bench

# Fuzzing: libFuzzer under AddressSanitizer + UndefinedBehaviorSanitizer, FUZZ_SECONDS
# each and JOBS at a time, over the frame parsers and the spreadsheet readers (CSV,
# .xlsx, .ods, with their limits on; seeded from tests/sheets/files and what the
# program writes). The readers need Qt and the store: only the fuzz targets are built.
FUZZ_SECONDS ?= 60
FUZZERS := tester/fuzz_replyframe tester/fuzz_identification \
    sheets/fuzz_csv sheets/fuzz_xlsx sheets/fuzz_ods
.PHONY: fuzz
fuzz:
	@HG_EXTRA_PACKAGES="clang libclang-rt-14-dev" scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DHG_FUZZ=ON -DHG_SANITIZE=address,undefined \
	    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build build-fuzz -j $(JOBS) --target $(notdir $(FUZZERS)) fuzz_sheet_seeds
	build-fuzz/tests/sheets/fuzz_sheet_seeds tests/sheets/files build-fuzz/corpus
	scripts/run-fuzzers.sh $(FUZZ_SECONDS) $(JOBS) $(FUZZERS)

# The Debian package: the program, the setup tool, the simulator, the desktop entry.
.PHONY: package
package: build
	@HG_EXTRA_PACKAGES="dpkg-dev" scripts/install-deps.sh
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/*.deb

# The tree as .clang-format lays it out (checked, nothing rewritten; `make format`
# rewrites), then clang-tidy over the product's sources with the checks in .clang-tidy.
.PHONY: tidy format-check
format-check:
	@HG_EXTRA_PACKAGES="clang-format" scripts/install-deps.sh
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
tidy: format-check build
	@HG_EXTRA_PACKAGES="clang-tidy" scripts/install-deps.sh
	git ls-files 'base/*.cpp' 'store/*.cpp' 'serial/*.cpp' 'tester/*.cpp' 'sheets/*.cpp' \
	    'shell/*.cpp' 'tools/*.cpp' \
	    | grep -v Win32 | xargs -P $(JOBS) -n 4 clang-tidy -p $(BUILD) --quiet

# Soak: SOAK_ROUNDS rounds of Send IDs and Read IDs against a lossy, noisy simulator.
SOAK_ROUNDS ?= 20
.PHONY: soak
soak: build
	@T=$$(mktemp -d) && cd $(BUILD) && XDG_DATA_HOME=$$T/data XDG_CONFIG_HOME=$$T/config \
	    QT_QPA_PLATFORM=offscreen HG_BUILD_DIR=$$PWD SOAK_ROUNDS=$(SOAK_ROUNDS) QTEST_FUNCTION_TIMEOUT=86400000 \
	    tests/soak/soak_test; rc=$$?; rm -rf $$T; exit $$rc

# The Windows build of the parts without Qt and SQLite (the serial device layer,
# the tester frames and their tests), cross-compiled with MinGW-w64.
WIN_BUILD ?= build-win
WIN_TESTS := tests/base/base_tests.exe tests/serial/serial_win32_tests.exe \
    tests/tester/tester_frames_tests.exe
.PHONY: cross wine-tests
cross:
	@HG_EXTRA_PACKAGES="g++-mingw-w64-x86-64-posix" scripts/install-deps.sh
	cmake -S . -B $(WIN_BUILD) $(GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHG_WITH_QT=OFF -DHG_WITH_SQLITE=OFF
	cmake --build $(WIN_BUILD) -j $(JOBS) --target hg_serial hg_frames \
	    $(basename $(notdir $(WIN_TESTS)))

# Those tests under Wine, on COM ports linked to pseudo-terminals (scripts/wine-tests.sh).
wine-tests: cross
	@HG_EXTRA_PACKAGES="wine64 python3" scripts/install-deps.sh
	scripts/wine-tests.sh $(WIN_BUILD) $(WIN_TESTS)

.PHONY: package-check
package-check: package
	scripts/package-check.sh $(BUILD)

# The whole suite once more as an ordinary user, in a copy of the checkout (run as
# root; scripts/test-as-user.sh). Root hides permission faults.
.PHONY: test-as-user
test-as-user:
	scripts/test-as-user.sh

# ---- The whole program for Windows (MinGW-w64; Qt, SQLite, minizip and libpq with
# OpenSSL built once per machine from Debian's source packages into
# ~/.cache/haltguard-ids by qt-windows) ----
WINAPP_BUILD ?= build-windows
WINAPP_TESTS := store_tests shell_unit_tests shell_tests win32_e2e_tests
.PHONY: qt-windows windows windows-installer wine-app-tests
qt-windows:
	JOBS=$(JOBS) scripts/build-qt-windows.sh
	JOBS=$(JOBS) scripts/build-libpq-windows.sh
windows: qt-windows
	@HG_EXTRA_PACKAGES="nsis python3" scripts/install-deps.sh
	JOBS=$(JOBS) scripts/build-windows.sh $(WINAPP_BUILD) haltguard-ids haltguard-ids-setup haltguard-ids-groups
windows-installer: windows
	JOBS=$(JOBS) scripts/build-windows.sh $(WINAPP_BUILD) windows-installer
	@ls -l $(WINAPP_BUILD)/haltguard-ids-*-setup.exe
# The installer, the launcher, the store and window tests and the transfers under Wine,
# against the simulator of the Linux build on a pseudo-terminal.
wine-app-tests: windows-installer configure
	@HG_EXTRA_PACKAGES="wine64 fonts-wine xvfb x11-utils x11-apps sqlite3 python3" scripts/install-deps.sh
	JOBS=$(JOBS) scripts/build-windows.sh $(WINAPP_BUILD) $(WINAPP_TESTS)
	cmake --build $(BUILD) -j $(JOBS) --target haltguard-tester-sim
	scripts/wine-app-tests.sh $(WINAPP_BUILD) $(BUILD)/tools/haltguard-tester-sim

# By hand, not in make test: the files the groups tool writes, opened and saved again by
# LibreOffice (every cell the same, and text).
.PHONY: sheets-libreoffice-check
sheets-libreoffice-check: build
	@HG_EXTRA_PACKAGES="libreoffice-calc-nogui python3" scripts/install-deps.sh
	BUILD=$(abspath $(BUILD)) scripts/check-sheets-libreoffice.sh

# By hand, not in make test: Orca, beside the program in a virtual display, announces
# the progress bar while a group is sent to the simulator.
.PHONY: screen-reader-check
screen-reader-check: build
	@HG_EXTRA_PACKAGES="orca speech-dispatcher speech-dispatcher-espeak-ng python3-speechd python3-pyatspi at-spi2-core dbus-daemon xvfb xauth xdotool" scripts/install-deps.sh
	BUILD=$(abspath $(BUILD)) scripts/check-screen-reader.sh
