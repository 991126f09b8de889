BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test bench run screenshots settings-doc clean install package package-check fuzz test-sanitize test-tsan

all: build

deps:
	@bash scripts/install-deps.sh

# ccache makes a second fresh clone build in a fraction of the time; paths
# are taken relative to the clone, so clones in other folders share hits.
# Looked up when the build is configured, after deps may have installed it.
CCACHE = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CCACHE)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang) over fuzz/corpus/; FUZZ_SECONDS per target.
fuzz:
	@bash scripts/fuzz.sh

# The suite with AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize/).
test-sanitize:
	@bash scripts/sanitize.sh address

# The threaded areas with ThreadSanitizer (build-tsan/).
test-tsan:
	@bash scripts/sanitize.sh thread

bench: build
	@bash scripts/bench.sh $(BUILD)

PREFIX ?= /usr/local

install: build
	cmake -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) > /dev/null
	cmake --install $(BUILD)

package: build
	cmake -B $(BUILD) -DCMAKE_INSTALL_PREFIX=/usr > /dev/null
	cd $(BUILD) && cpack

# Builds the package and checks what it holds: its programs run, its desktop
# entries, unit and manual pages are accepted by their own tools.
package-check: package
	@bash scripts/check-package.sh $(BUILD)

run: build
	@bash scripts/run-demo.sh $(BUILD)

# The windows as PNG files in docs/screenshots, rendered without a display.
screenshots: build
	$(BUILD)/bin/corvane-screenshots docs/screenshots

# docs/settings.md from the table of settings in the code.
settings-doc: build
	$(BUILD)/bin/settings-reference > docs/settings.md

clean:
	rm -rf $(BUILD) build-sanitize build-tsan build-fuzz
