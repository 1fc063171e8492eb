# Kinloom: one entry point for building, running, testing and measuring.
#   make        builds dist/Kinloom.html (and the Windows programs)
#   make run    builds and opens the document in Chromium in app mode
#   make test   runs every test
#   make bench  runs the benchmarks and prints their figures
# Every target first installs what is missing (tools/deps.sh).

BUILD := build
DIST  := dist
NODE_TEST_FLAGS ?=

.PHONY: all deps tools document native test test-document test-native run bench clean

all: document native

deps:
	@tools/deps.sh

tools: deps
	@cmake -S tools -B $(BUILD)/tools -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)/tools

document: tools
	@mkdir -p $(DIST) $(BUILD)/assets
	@[ $(BUILD)/assets/kinloom-music.flac -nt $(BUILD)/tools/kinloom-music ] || \
	  $(BUILD)/tools/kinloom-music $(BUILD)/assets/kinloom-music.flac
	@$(BUILD)/tools/kinloom-bundle app/bundle.list $(DIST)/Kinloom.html
	@for f in $(BUILD)/document/*.js; do node --check "$$f" || exit 1; done

# --- native programs -------------------------------------------------------
native: document
	@cmake -S native -B $(BUILD)/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/native/mingw-w64.cmake \
	  -DKINLOOM_DOCUMENT=$(CURDIR)/$(DIST)/Kinloom.html \
	  -DKINLOOM_ICON_TOOL=$(CURDIR)/$(BUILD)/tools/kinloom-icon >/dev/null
	@cmake --build $(BUILD)/native
	@for f in Kinloom.exe Uninstall_Kinloom.exe KinloomSetup.exe; do \
	  cmake -E copy_if_different $(BUILD)/native/$$f $(DIST)/$$f || exit 1; done
# ---------------------------------------------------------------------------

test: all test-document test-native

test-document: document
	@node --test $(NODE_TEST_FLAGS) tests/

test-native: native
	@ctest --test-dir $(BUILD)/native --output-on-failure

run: all
	@tools/run.sh

bench: all
	@tools/bench-deps.sh
	@node bench/run.mjs

clean:
	rm -rf $(BUILD) $(DIST)
