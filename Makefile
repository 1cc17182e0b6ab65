# Thin wrapper around CMake. `make run` and `make test` install what is missing first.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
BUILD_BENCH ?= build-bench
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := load_suf read_value read_integer reorder import_obj import_gltf import_ply import_stl
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all setup build build-asan build-fuzz bench run test test-unit test-asan test-fuzz fuzz lint \
	install package clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLIVRA_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_ASAN) -j $(JOBS)

# The fuzz targets need clang; they get a configuration of their own.
build-fuzz: setup
	cmake -S fuzz -B $(BUILD_FUZZ) -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 $(CMAKE_FLAGS)
	cmake --build $(BUILD_FUZZ) -j $(JOBS)

# Benchmarks in their own optimised build; prints the tables (see README).
bench: setup
	cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLIVRA_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_BENCH) -j $(JOBS) --target benchmarks
	python3 scripts/bench_table.py $(BUILD_BENCH)
	python3 scripts/bench_process.py $(BUILD_BENCH)

run: build
	bash scripts/run.sh $(BUILD)

test-unit: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -L 'unit|cli|window'

# Replays each target's corpus and fuzzes it briefly.
test-fuzz: build-fuzz
	@for t in $(FUZZ_TARGETS); do bash fuzz/run.sh $(BUILD_FUZZ) $$t 30 || exit 1; done

fuzz: build-fuzz
	@for t in $(FUZZ_TARGETS); do bash fuzz/run.sh $(BUILD_FUZZ) $$t $(FUZZ_SECONDS) || exit 1; done

test: test-unit test-asan test-fuzz

# clang-tidy and cppcheck over our code; needs the compile commands of a build.
lint: build
	bash scripts/lint.sh $(BUILD) $(JOBS)

# The programs, menu entry, icons, metadata, man pages and completion under
# PREFIX; DESTDIR stages them elsewhere (for packaging).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A Debian package in the build folder: $(BUILD)/plivra_VERSION-1_ARCH.deb.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_BENCH)
