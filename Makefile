# make run    build (Release) and decode a capture: FILE (default samples/demo.cap), LEVEL (default 2)
# make test   build with AddressSanitizer and UndefinedBehaviorSanitizer and run every test
# make bench  decoder benchmarks (Release)
# make fuzz   run every fuzz target for longer (FUZZ_SECONDS each, default 600)
# make demo   regenerate samples/demo.cap
# make format clang-format every source file
# make install    install the programs, manual pages, completion, udev rule and docs (PREFIX, DESTDIR)
# make uninstall  remove exactly what make install installed
# make deb        build the Debian package build/release/morvantis_VERSION-1_ARCH.deb

FILE ?= samples/demo.cap
LEVEL ?= 2
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
RELEASE := build/release
SANITIZED := build/sanitized
PREFIX ?= /usr/local
DESTDIR ?=
MANIFEST := $(RELEASE)/make_install_manifest.txt

.PHONY: run test bench fuzz demo format deps release sanitized install uninstall deb installable

# No "Entering directory" lines; the build's own output is kept in a log and shown on failure.
MAKEFLAGS += --no-print-directory
QUIET_BUILD = >$(1)/build.log 2>&1 || { cat $(1)/build.log; exit 1; }

deps:
	@bash scripts/install-deps.sh

release: deps
	@cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DMORVANTIS_BENCH=ON >/dev/null
	@cmake --build $(RELEASE) -j $(JOBS)

sanitized: deps
	@cmake -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANTIS_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZED) -j $(JOBS)

# Its progress goes to standard error, a line per step, so the decode alone is on standard output.
run: deps
	@mkdir -p $(RELEASE)
	@echo "make run: configuring $(RELEASE)" >&2
	@cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DMORVANTIS_BENCH=ON $(call QUIET_BUILD,$(RELEASE))
	@echo "make run: building Morvantis and MorvantisCapture (a few minutes the first time)" >&2
	@cmake --build $(RELEASE) -j $(JOBS) --target Morvantis MorvantisCapture $(call QUIET_BUILD,$(RELEASE))
	@echo "make run: decoding $(FILE) at level $(LEVEL)" >&2
	@$(RELEASE)/Morvantis $(FILE) $(LEVEL)

# The programs, the manual pages and the package's changelog: everything that is installed.
installable: deps
	@mkdir -p $(RELEASE)
	@cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DMORVANTIS_BENCH=ON $(call QUIET_BUILD,$(RELEASE))
	@cmake --build $(RELEASE) -j $(JOBS) --target Morvantis MorvantisCapture morvantis_install_files \
	  $(call QUIET_BUILD,$(RELEASE))

# cmake --install lists what it installs, without DESTDIR, in install_manifest.txt (which
# cpack rewrites with its own files); make uninstall reads the copy kept here, with DESTDIR.
install: installable
	@DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --prefix "$(PREFIX)" --strip
	@sed 's|^|$(DESTDIR)|' $(RELEASE)/install_manifest.txt >$(MANIFEST)

uninstall:
	@[ -f $(MANIFEST) ] || { echo "make uninstall: $(MANIFEST) is missing (nothing installed from here)"; exit 1; }
	@xargs -d '\n' rm -fv <$(MANIFEST)
	@sed -n 's|/README.md$$||p' $(MANIFEST) | xargs -r -d '\n' rmdir --ignore-fail-on-non-empty
	@rm -f $(MANIFEST)

deb: installable
	@rm -f $(RELEASE)/morvantis_*.deb
	@cd $(RELEASE) && cpack -G DEB $(call QUIET_BUILD,.)
	@ls $(RELEASE)/morvantis_*.deb

test: sanitized
	@cd $(SANITIZED) && ctest --output-on-failure -j $(JOBS)

bench: release
	@bash bench/run_bench.sh $(RELEASE)

fuzz: deps
	@bash fuzz/run_fuzz.sh $(FUZZ_SECONDS)

demo: release
	@bash samples/make_demo.sh $(RELEASE)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
