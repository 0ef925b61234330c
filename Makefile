# Entry points: `make demo` (set up, build, run the plug-in on the built-in demo)
# and `make test` (set up, build, run every test).
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
# What the ThreadSanitizer run builds and runs: the suites that share state across threads.
TSAN_TARGETS ?= swell_tests editor_thread_tests editor_vst_tests x11_layer_tests x11_editor_tests x11_services_tests
TSAN_TESTS ?= Threads|VSTFlow|XConnection|TorvenEditor|EditorServices
JOBS ?= $(shell nproc)

.PHONY: setup build demo test test-sanitize test-tsan bench artwork clean

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	./$(BUILD)/plughost demo $(BUILD)/TORVEN.so out

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-sanitize: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVEN_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

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
