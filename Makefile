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
	@mkdir -p $(DIST)
	@$(BUILD)/tools/kinloom-bundle app/bundle.list $(DIST)/Kinloom.html
	@for f in $(BUILD)/document/*.js; do node --check "$$f" || exit 1; done

# --- native programs -------------------------------------------------------
native: document
# ---------------------------------------------------------------------------

test: all test-document test-native

test-document: document
	@node --test $(NODE_TEST_FLAGS) tests/

test-native: native

run: all
	@tools/run.sh

bench: all
	@node bench/run.mjs

clean:
	rm -rf $(BUILD) $(DIST)
