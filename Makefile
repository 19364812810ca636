# The two commands: `make run` and `make test`. Each installs what is missing
# first. Build trees live under build/.
BUILD_TEST    := build/test
BUILD_RELEASE := build/release
CMAKE_GEN     := -G Ninja
JOBS          ?= 2

.PHONY: all deps test bench run fuzz gallery format clean

all: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DGLIMMARK_WINDOWS_CHECK=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)

deps:
	@scripts/install-deps

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer (halt on
# error), clang so that the fuzz targets build in the same tree; every unit
# test, the Windows-header syntax check and a short run of each fuzz target.
test: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_TEST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DGLIMMARK_SANITIZE=ON -DGLIMMARK_FUZZ=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(BUILD_TEST) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DGLIMMARK_BENCH=ON \
	  -DGLIMMARK_TESTS=OFF -DGLIMMARK_WINDOWS_CHECK=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)
	@for b in $(BUILD_RELEASE)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2; done

# Each fuzz target for FUZZ_SECONDS (default 60).
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_TEST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DGLIMMARK_SANITIZE=ON -DGLIMMARK_FUZZ=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	@for f in $(BUILD_TEST)/fuzz/fuzz_*; do [ -x "$$f" ] && "$$f" -max_total_time=$(FUZZ_SECONDS) || exit 1; done

run: all
	@echo "make run: the picture-making tool arrives with rendering; nothing to run yet."

format:
	find component text render output server platform tools tests bench fuzz \
	  -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
