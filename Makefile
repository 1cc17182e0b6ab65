# Thin wrapper around CMake. `make run` and `make test` install what is missing first.
BUILD      ?= build
BUILD_ASAN ?= build-asan
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all setup build build-asan run test test-unit test-asan clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLIVRA_SANITIZE=ON -DPLIVRA_APP=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_ASAN) -j $(JOBS)

run: build
	bash scripts/run.sh $(BUILD)

test-unit: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -L unit

test: test-unit test-asan

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
