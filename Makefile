# Sentrova Manager — the two commands a new developer needs are `make demo`
# and `make test`; both install what is missing first.

JOBS    ?= $(shell nproc)
BUILD   ?= build
RELEASE ?= build-release
ASAN    ?= build-asan
FUZZDIR ?= build-fuzz
BENCHDIR ?= build-bench
FUZZ_SECONDS ?= 60
# Executions per fuzz target instead of a time, e.g. make fuzz FUZZ_RUNS=10000000
FUZZ_RUNS ?=
XVFB = xvfb-run -a -s "-screen 0 1600x1000x24"

.PHONY: all deps build release demo screenshots test package asan fuzz fuzz-corpus bench soak clean

all: build

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSENTROVA_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

release: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DSENTROVA_TESTS=OFF
	cmake --build $(RELEASE) -j $(JOBS)

# A Debian package of the release build: build-release/sentrova-manager_<version>_<arch>.deb
package: release
	cd $(RELEASE) && cpack -G DEB

demo: release
	./scripts/demo.sh $(RELEASE)

# The main window with each tab current, against the simulated site, into docs/images/.
screenshots: release
	./scripts/screenshots.sh $(RELEASE)

test: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DSENTROVA_SANITIZE=ON -DSENTROVA_TESTS=ON
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		$(XVFB) ctest --output-on-failure -j $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZDIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DSENTROVA_FUZZ=ON -DSENTROVA_TESTS=OFF
	cmake --build $(FUZZDIR) -j $(JOBS)
	FUZZ_RUNS=$(FUZZ_RUNS) ./scripts/run-fuzzers.sh $(FUZZDIR) $(FUZZ_SECONDS)

# After a fuzz run: keep what it grew in fuzz/corpus (only inputs that add coverage).
fuzz-corpus:
	./scripts/keep-fuzz-corpus.sh $(FUZZDIR)

bench: deps
	cmake -S . -B $(BENCHDIR) -DCMAKE_BUILD_TYPE=Release -DSENTROVA_TESTS=OFF -DSENTROVA_BENCH=ON
	cmake --build $(BENCHDIR) -j $(JOBS)
	./scripts/run-bench.sh $(BENCHDIR)

soak: build
	cd $(BUILD) && SENTROVA_SOAK=1 $(XVFB) ctest --output-on-failure -L soak

clean:
	rm -rf $(BUILD) $(RELEASE) $(ASAN) $(FUZZDIR) $(BENCHDIR)
