# Anodix: `make run` builds and starts the program, `make test` builds and runs every
# test under AddressSanitizer and UndefinedBehaviorSanitizer. Both install what is
# missing first (Debian 12 packages, through scripts/install-deps).
JOBS ?= 2
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo -G Ninja)
FUZZ_SECONDS ?= 60

.PHONY: deps build run test bench clean examples

deps:
	@./scripts/install-deps

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	./build/anodix

test: deps
	@cmake -S . -B build-test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DANODIX_SANITIZE=ON -DANODIX_WERROR=ON -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@./bench/run-all build-bench

examples: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build -j $(JOBS) --target anodix_gen_examples
	./build/anodix_gen_examples examples

clean:
	rm -rf build build-test build-bench build-fuzz
