# The two commands of README.md: `make demo` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build build-asan unit unit-asan fuzz-replay integration integration-valgrind \
	test fuzz demo bench format clean install package package-test check-builds

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRUM_WERROR=ON >/dev/null
	@cmake --build build -j $(JOBS)

build-asan: bootstrap
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELTRUM_SANITIZE=ON -DVELTRUM_WERROR=ON \
		-DVELTRUM_FUZZ_REPLAY=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)

unit: build
	@echo "== unit tests"
	@build/veltrum_unit_tests --gtest_brief=1

unit-asan: build-asan
	@echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 build-asan/veltrum_unit_tests --gtest_brief=1

integration: build
	@echo "== integration tests against build/veltrum"
	@cd build && ctest -L integration --output-on-failure

# The integration tests once more, every start of the program under valgrind's
# memcheck; its reports go to build/valgrind (see tests/integration/memcheck.py).
integration-valgrind: build
	@echo "== integration tests with build/veltrum under valgrind memcheck"
	@rm -rf build/valgrind
	@VELTRUM_BIN=$(CURDIR)/build/veltrum VELTRUM_SOURCE=$(CURDIR) \
		VELTRUM_VALGRIND=$(CURDIR)/build/valgrind \
		/usr/bin/python3 -m pytest -q -p no:cacheprovider -n $(JOBS) tests/integration

# The fuzz targets, built without libFuzzer, replay their seeds and the
# inputs of past findings under the sanitizers (seconds).
fuzz-replay: build-asan
	@echo "== fuzz targets replaying their seeds and past findings"
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest -L fuzz-replay --output-on-failure

test: unit unit-asan fuzz-replay integration integration-valgrind

# Each libFuzzer target for FUZZ_SECONDS (new inputs go to fuzz-run/, not to
# the checked-in seeds). Not part of `make test`.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = $(patsubst fuzz/%_fuzzer.cpp,%,$(wildcard fuzz/*_fuzzer.cpp))
fuzz:
	@scripts/bootstrap --fuzz
	@CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVELTRUM_SANITIZE=ON -DVELTRUM_FUZZ=ON -DVELTRUM_TESTS=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
		echo "== fuzzing $$t for $(FUZZ_SECONDS) s"; \
		mkdir -p fuzz-run/$$t/corpus fuzz-run/$$t/findings; \
		build-fuzz/fuzz/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-artifact_prefix=fuzz-run/$$t/findings/ fuzz-run/$$t/corpus fuzz/corpus/$$t \
			2>fuzz-run/$$t/log || { tail -n 40 fuzz-run/$$t/log; exit 1; }; \
		grep -E "^#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb" fuzz-run/$$t/log; \
	done

# The Windows build (MinGW-w64 cross compiler), tested under Wine.
.PHONY: build-win test-windows
build-win:
	@scripts/bootstrap --windows
	@cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DVELTRUM_WERROR=ON >/dev/null
	@cmake --build build-win -j $(JOBS)

test-windows: build-win
	@scripts/test-windows

# The suites N times in a row beside two busy loops, as on a loaded machine,
# then how often each test failed (see scripts/test-repeat): N rounds
# (default 5), VALGRIND_N of the valgrind pass, SUITES to pick from "unit
# wine-unit posix valgrind wine", K a pytest -k selection, UNIT_FILTER a
# --gtest_filter. Not part of `make test`.
N ?= 5
SUITES ?= unit wine-unit posix valgrind wine
.PHONY: test-repeat
test-repeat: build $(if $(filter wine%,$(SUITES)),build-win)
	@N="$(N)" VALGRIND_N="$(VALGRIND_N)" SUITES="$(SUITES)" K="$(K)" UNIT_FILTER="$(UNIT_FILTER)" \
		JOBS=$(JOBS) scripts/test-repeat

# Installation: the program, its configuration and its log in a folder of their
# own (PROGRAM_DIR, below PREFIX unless absolute), PREFIX/bin/veltrum linked to
# it, the manual page and the docs. An existing veltrum.conf is kept.
PREFIX ?= /usr/local
PROGRAM_DIR ?= lib/veltrum
install:
	@cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVELTRUM_TESTS=OFF \
		-DVELTRUM_PROGRAM_DIR=$(PROGRAM_DIR) >/dev/null
	@cmake --build build-release -j $(JOBS) --target veltrum
	@DESTDIR=$(DESTDIR) cmake --install build-release --prefix $(PREFIX) --strip

# dist/veltrum_<version>_amd64.deb and dist/veltrum-<version>-win64.zip.
package:
	@scripts/bootstrap --package
	@JOBS=$(JOBS) scripts/make-packages

# The packages' contents, the .deb installed and removed again (on the machine
# when run as root and veltrum is not installed, else into a scratch root), the
# zip's program under Wine, the manual page's lint and lintian.
package-test: package
	@echo "== package tests"
	@VELTRUM_SOURCE=$(CURDIR) /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/package

# Release builds with gcc and clang, warnings as errors (COMPILERS and
# BUILD_TYPES widen it; see scripts/check-builds). Not part of `make test`.
check-builds:
	@scripts/bootstrap --fuzz
	@JOBS=$(JOBS) scripts/check-builds

demo: build
	@scripts/demo

bench: build
	@mkdir -p build && rm -f build/bench.out
	@for b in bench/*.sh; do echo "== $$b"; $$b | tee -a build/bench.out || exit 1; done
	@echo "== summary"; grep '^RESULT' build/bench.out

format:
	@clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h')

clean:
	rm -rf build build-asan build-win build-fuzz build-release build-pkg build-check dist fuzz-run demo-run
