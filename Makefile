# Two commands set everything up on a fresh Debian 12 machine:
#   make run    builds and starts the program
#   make test   builds and passes every test
BUILD   ?= build
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

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# Address + undefined behaviour sanitizers over the whole suite.
sanitize: deps
	cmake -S . -B build-asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DHG_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) --timeout 900

# Thread sanitizer over the serial tests.
tsan: deps
	cmake -S . -B build-tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DHG_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target serial_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L serial --timeout 900

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan

# Benchmarks: figures come from these, never from tests.
bench-%: build
	$(BUILD)/bench/$*_bench
