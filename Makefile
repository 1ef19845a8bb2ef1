# Anodix: `make run` builds and starts the program, `make test` builds and runs every
# test under AddressSanitizer and UndefinedBehaviorSanitizer. Both install what is
# missing first (Debian 12 packages, through scripts/install-deps).
# `make install` puts the Release build under PREFIX (inside DESTDIR when given),
# `make package` builds the Debian package build/anodix_VERSION_ARCH.deb.
JOBS ?= 2
PREFIX ?= /usr/local
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo -G Ninja)
FUZZ_SECONDS ?= 60

.PHONY: deps build run test bench clean examples pictures fuzz lint tidy install uninstall package

deps:
	@./scripts/install-deps

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	./build/anodix

# Straight onto this machine (no DESTDIR) the desktop learns the new file types, menu
# entry and icon at once; a staged install leaves that to whoever installs it.
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"
	@if [ -z "$(DESTDIR)" ]; then \
	  command -v update-mime-database >/dev/null && update-mime-database "$(PREFIX)/share/mime" || true; \
	  command -v update-desktop-database >/dev/null && update-desktop-database -q "$(PREFIX)/share/applications" || true; \
	  command -v gtk-update-icon-cache >/dev/null && [ -f "$(PREFIX)/share/icons/hicolor/index.theme" ] && \
	    gtk-update-icon-cache -q -t "$(PREFIX)/share/icons/hicolor" || true; \
	fi

# Removes what the last `make install` put there (build/install_manifest.txt).
uninstall:
	@test -f build/install_manifest.txt || { echo "nothing installed from build/"; exit 1; }
	xargs -d '\n' rm -f -- < build/install_manifest.txt

package: build
	cd build && cpack -G DEB

# The test build: sanitizers on, warnings as errors; then clang-tidy, then every test.
test: deps
	@cmake -S . -B build-test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DANODIX_SANITIZE=ON -DANODIX_WERROR=ON -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build-test -j $(JOBS)
	@$(MAKE) --no-print-directory tidy
	cd build-test && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@./bench/run-all build-bench

examples: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build -j $(JOBS) --target anodix_gen_examples
	./build/anodix_gen_examples examples

# The README's pictures of the window, made by the window itself offscreen.
pictures: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DANODIX_TESTS=OFF -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build -j $(JOBS) --target anodix_doc_pictures
	./build/anodix_doc_pictures doc/pictures

# The fuzz targets (clang's libFuzzer, ASan and UBSan), each run FUZZ_SECONDS from the
# seed corpora in tests/fuzz/corpus; new entries and failing inputs stay in build-fuzz.
fuzz: deps
	@cmake -S tests/fuzz -B build-fuzz $(CMAKE_GEN) -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	./tests/fuzz/run build-fuzz $(FUZZ_SECONDS)

# The house style (.clang-format) over src/, tests/ and bench/, then clang-tidy over
# src/ with the checks of .clang-tidy, warnings as errors; `make test` runs clang-tidy
# too, on its own build, but not the style check.
lint: deps
	@echo "clang-format over src/ tests/ bench/"
	@find src tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
	@cmake -S . -B build-test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DANODIX_SANITIZE=ON -DANODIX_WERROR=ON -DANODIX_BENCH=OFF >/dev/null
	@cmake --build build-test -j $(JOBS)
	@$(MAKE) --no-print-directory tidy

tidy:
	@echo "clang-tidy over src/"
	@run-clang-tidy-14 -p build-test -quiet -j $(JOBS) -extra-arg=-Wno-unknown-warning-option "$(CURDIR)/src/"

clean:
	rm -rf build build-test build-bench build-fuzz
