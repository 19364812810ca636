# The two commands: `make run` and `make test`. Each installs what is missing
# first. Build trees live under build/.
BUILD_TEST    := build/test
BUILD_RELEASE := build/release
CMAKE_GEN     := -G Ninja
JOBS          ?= 2

.PHONY: all deps test bench run fuzz gallery format clean

all: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DGLIMMARK_WINDOWS_CHECK=OFF \
	  -DGLIMMARK_TESTS=OFF
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

# The page host on 127.0.0.1:8080, the component registered per user into a
# registry file under build/ (GLIMMARK_REGISTRY points the platform at it).
RUN_REGISTRY := $(CURDIR)/build/registry.db
run: all
	@export GLIMMARK_REGISTRY=$(RUN_REGISTRY); \
	if $(BUILD_RELEASE)/tools/glimmark/glimmark --help | grep -q '^  register'; then \
	  $(BUILD_RELEASE)/tools/glimmark/glimmark register --user >/dev/null || exit 1; \
	fi; \
	echo "open http://127.0.0.1:8080/ (Ctrl-C stops)"; \
	exec $(BUILD_RELEASE)/tools/glimmark/glimmark serve --bind 127.0.0.1 --port 8080

# A dozen sample pictures, default and not, under docs/gallery/.
GALLERY := docs/gallery
gallery: all
	@mkdir -p $(GALLERY)
	@g=$(BUILD_RELEASE)/tools/glimmark/glimmark; \
	$$g image --out $(GALLERY)/default-1.jpg; \
	$$g image --out $(GALLERY)/default-2.jpg; \
	$$g image --out $(GALLERY)/default-3.jpg --length 12; \
	$$g image --out $(GALLERY)/default.gif --format gif; \
	$$g image --out $(GALLERY)/blue-on-cream.jpg --font-color FF2040A0 --background FFF0F0E0; \
	$$g image --out $(GALLERY)/white-on-dark.gif --format gif --font-color FFFFFFFF --background FF202830; \
	$$g image --out $(GALLERY)/many-curves.jpg --lines 8 --line-width 2; \
	$$g image --out $(GALLERY)/no-curves.jpg --lines 0; \
	$$g image --out $(GALLERY)/large.jpg --size 400x140 --length 6-8; \
	$$g image --out $(GALLERY)/small.jpg --size 120x40 --length 4; \
	$$g image --out $(GALLERY)/low-quality.jpg --quality 15; \
	$$g image --out $(GALLERY)/fixed-text.gif --format gif --text "Captcha Test" --font-color FF803000; \
	ls $(GALLERY)

format:
	find component text render output server platform tools tests bench fuzz \
	  -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
