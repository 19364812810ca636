# The two commands: `make run` and `make test`. Each installs what is missing
# first. Build trees live under build/, one per configuration, sharing nothing.
BUILD_TEST     := build/test
BUILD_RELEASE  := build/release
BUILD_GCC      := build/gcc-release
BUILD_TSAN     := build/tsan
BUILD_PORTABLE := build/portable
BUILD_WINDOWS  := build/windows
BUILD_WINDOWS_HOST := build/windows-host
CMAKE_GEN      := -G Ninja
JOBS           ?= 2

.PHONY: all release deb deps test test-asan test-gcc test-tsan test-portable test-windows bench strength run fuzz gallery format clean

all: deps release

# The release tree: no tests, no benchmarks, so no test seams either.
release:
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DGLIMMARK_WINDOWS_CHECK=OFF \
	  -DGLIMMARK_TESTS=OFF -DGLIMMARK_BENCH=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)

deps:
	@scripts/install-deps

# The Debian package of the Release build (debhelper, packaging/build-deb):
# build/release/glimmark_<version>_amd64.deb.
deb: all
	cmake --build $(BUILD_RELEASE) --target deb

# Every test in four configurations, one after the other:
#   test-asan      clang Debug with AddressSanitizer and UndefinedBehaviorSanitizer
#                  (halt on error), the Windows-header check and a short run of
#                  each fuzz target: every test;
#   test-gcc       g++ Release with the flags `make all` ships: every test,
#                  the Debian package built and checked (ctest package/deb), and
#                  (after building `make all`'s tree) that tree's check for
#                  test seams;
#   test-tsan      clang with ThreadSanitizer: the programs that start threads
#                  (ctest label "threads");
#   test-portable  clang Release with GLIMMARK_PORTABLE (no SSE2/SSSE3/AVX2
#                  loops): every test.
test: deps
	$(MAKE) test-asan && $(MAKE) test-gcc && $(MAKE) test-tsan && $(MAKE) test-portable

test-asan:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_TEST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DGLIMMARK_SANITIZE=ON -DGLIMMARK_FUZZ=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(BUILD_TEST) --output-on-failure -j $(JOBS)

test-gcc: release
	CC=gcc CXX=g++ cmake -S . -B $(BUILD_GCC) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DGLIMMARK_WINDOWS_CHECK=OFF -DGLIMMARK_PACKAGE_TEST=ON \
	  -DGLIMMARK_RELEASE_DIR=$(CURDIR)/$(BUILD_RELEASE)
	cmake --build $(BUILD_GCC) -j $(JOBS)
	ctest --test-dir $(BUILD_GCC) --output-on-failure -j $(JOBS)

test-tsan:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGLIMMARK_TSAN=ON -DGLIMMARK_WINDOWS_CHECK=OFF
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target glimmark_threaded_tests
	TSAN_OPTIONS=halt_on_error=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  ctest --test-dir $(BUILD_TSAN) --output-on-failure -j $(JOBS) -L threads

test-portable:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_PORTABLE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DGLIMMARK_PORTABLE=ON -DGLIMMARK_WINDOWS_CHECK=OFF
	cmake --build $(BUILD_PORTABLE) -j $(JOBS)
	ctest --test-dir $(BUILD_PORTABLE) --output-on-failure -j $(JOBS)

# glimmark.dll, cross-compiled with mingw-w64 from the component's sources,
# and the Windows suite under Wine (windows/run-suite). A host build first
# compiles the type library the DLL carries and the CLI whose tokens the DLL
# must read and make.
test-windows:
	@scripts/install-deps --windows
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_WINDOWS_HOST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DGLIMMARK_TESTS=OFF -DGLIMMARK_WINDOWS_CHECK=OFF
	cmake --build $(BUILD_WINDOWS_HOST) -j $(JOBS) --target glimmark_typelib glimmark
	cmake -S windows -B $(BUILD_WINDOWS) $(CMAKE_GEN) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/windows/mingw-w64.cmake \
	  -DGLIMMARK_TYPELIB=$(CURDIR)/$(BUILD_WINDOWS_HOST)/component/libglimmark.tlb
	cmake --build $(BUILD_WINDOWS) -j $(JOBS)
	windows/run-suite $(BUILD_WINDOWS) $(BUILD_WINDOWS_HOST)/tools/glimmark/glimmark

bench: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DGLIMMARK_BENCH=ON \
	  -DGLIMMARK_TESTS=OFF -DGLIMMARK_WINDOWS_CHECK=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)
	@for b in $(BUILD_RELEASE)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2; done

# How well machines read the challenge (bench/strength/strength.py): samples
# made through the tool and the page host, stock Tesseract and a small trained
# network on the pictures, pocketsphinx on the audio. CPU only: 11 to 21
# minutes of CPU (process start-up costs differ by machine); 12 minutes wall
# on an idle 2-core machine, tree rebuild included (BENCHMARKS.md). Not
# part of `make test`. Results and each stage's wall and CPU time under
# build/strength/ (results.md, results.json).
STRENGTH_ARGS ?=
strength: all
	@scripts/install-deps --strength
	/usr/bin/python3 bench/strength/strength.py --glimmark $(BUILD_RELEASE)/tools/glimmark/glimmark \
	  --work build/strength $(STRENGTH_ARGS)

# Each fuzz target for FUZZ_SECONDS (default 60), from its seeds
# (fuzz/corpus/<target>) with its dictionary (fuzz/dictionaries/<target>.dict).
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_TEST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DGLIMMARK_SANITIZE=ON -DGLIMMARK_FUZZ=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	scripts/fuzz-all $(CURDIR)/$(BUILD_TEST) $(FUZZ_SECONDS)

# The page host on 127.0.0.1:8080, the component registered per user into a
# registry file under build/ (GLIMMARK_REGISTRY points the platform at it).
RUN_REGISTRY := $(CURDIR)/build/registry.db
run: all
	@export GLIMMARK_REGISTRY=$(RUN_REGISTRY); \
	$(BUILD_RELEASE)/tools/glimmark/glimmark register --user >/dev/null || exit 1; \
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
	find component state text render output server platform tools tests bench fuzz \
	  -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
