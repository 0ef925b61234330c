# Entry points: `make demo` (set up, build, run the plug-in on the built-in demo),
# `make test` (set up, build, run every test), `make install` / `make uninstall` and
# `make deb` (the Debian package).
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
# What the ThreadSanitizer run builds and runs: the suites that share state across threads.
TSAN_TARGETS ?= swell_tests editor_thread_tests editor_vst_tests x11_layer_tests x11_editor_tests x11_services_tests lv2_ui_tests
TSAN_TESTS ?= Threads|VSTFlow|XConnection|TorvenEditor|EditorServices|LV2UI
# What the sanitizer run leaves out: long numeric comparisons (render checksums, measured
# responses, rate sweeps) whose code paths shorter tests already take under the sanitizers.
SANITIZE_EXCLUDE ?= TorvenRenderChecksums|TorvenResponse\.|TorvenDemo\.SettingsDoWhatTheirNamesSay|Hosting\.RatesFromEight
JOBS ?= $(shell nproc)

# What an installation holds, and what `make deb` packages.
PRODUCTS ?= TORVEN TORVEN_lv2_bundle plughost packaging_files

# make install: the plug-in into ~/.vst/ and ~/.lv2/TORVEN.lv2/, plughost into
# ~/.local/bin/, its manual page into ~/.local/share/man/. make install PREFIX=/usr (as
# root): /usr/lib/vst/, /usr/lib/lv2/, /usr/bin/, /usr/share/man/, as `cmake --install
# build --prefix P` does under P. DESTDIR stages either. make uninstall, with the same
# PREFIX and DESTDIR, removes exactly the files that install recorded, and the LV2 bundle's
# folder once it is empty (other folders stay). Each destination keeps its own record in
# $(BUILD), so installing elsewhere (the install tests do) leaves the record of ~ alone.
PREFIX ?=
ifeq ($(PREFIX),)
INSTALL_ARGS = --prefix "$(HOME)" --component user
CMAKE_MANIFEST = $(BUILD)/install_manifest_user.txt
INSTALL_ROOT = $(HOME)
else
INSTALL_ARGS = --prefix "$(PREFIX)"
CMAKE_MANIFEST = $(BUILD)/install_manifest.txt
INSTALL_ROOT = $(PREFIX)
endif
# Shell text: the record's name, from the destination.
INSTALL_RECORD = $(BUILD)/installed-$$(printf '%s|%s' "$(DESTDIR)" "$(INSTALL_ROOT)" | md5sum | cut -c1-16).txt

.PHONY: setup build demo test test-sanitize test-tsan bench artwork clean products install install-built uninstall deb

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	./$(BUILD)/plughost demo $(BUILD)/TORVEN.so out

# The installed files only, without the tests and benchmarks.
products: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) --target $(PRODUCTS) -j$(JOBS)

install: products
	@$(MAKE) --no-print-directory install-built
ifeq ($(PREFIX),)
	@case ":$$PATH:" in *":$(HOME)/.local/bin:"*) ;; \
	  *) echo "note: $(HOME)/.local/bin is not on PATH yet; Debian's ~/.profile for user accounts adds it at the next login" ;; esac
endif

# Installs what $(BUILD) holds, building nothing (the install tests run it).
install-built:
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(INSTALL_ARGS)
	@mv "$(CMAKE_MANIFEST)" "$(INSTALL_RECORD)"

# The record names the installed paths without DESTDIR, and its last line has no line
# feed; a path outside the installation is left alone.
uninstall:
	@record="$(INSTALL_RECORD)"; \
	test -f "$$record" || { echo "uninstall: nothing was installed into $(DESTDIR)$(INSTALL_ROOT) from $(BUILD)" >&2; exit 1; }; \
	while IFS= read -r f || [ -n "$$f" ]; do \
	  case "$$f" in \
	    "$(INSTALL_ROOT)"/*) rm -f "$(DESTDIR)$$f" && echo "-- Removed: $(DESTDIR)$$f"; \
	      case "$$f" in */TORVEN.lv2/*) rmdir "$(DESTDIR)$${f%/*}" 2>/dev/null || true ;; esac ;; \
	    *) echo "uninstall: $$f lies outside $(INSTALL_ROOT); left alone" >&2 ;; \
	  esac; \
	done < "$$record"; \
	rm -f "$$record"

# $(BUILD)/torven_$(VERSION)_amd64.deb
deb: products
	cd $(BUILD) && cpack -G DEB

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-sanitize: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVEN_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS) -E '$(SANITIZE_EXCLUDE)'

test-tsan: setup
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVEN_TSAN=ON -DTORVEN_BENCH=OFF >/dev/null
	cmake --build $(TSAN_BUILD) --target $(TSAN_TARGETS) -j$(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/x11/tsan.supp" \
	  ctest --test-dir $(TSAN_BUILD) -R '$(TSAN_TESTS)' --output-on-failure -j$(JOBS)

# Redraws the editor images in TORVEN/resources/img/ and doc/editor-preview.png.
artwork: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) --target artwork -j$(JOBS)

bench: build
	@for b in $(BUILD)/bench/*/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
