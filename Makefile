BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test bench run screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@bash scripts/bench.sh $(BUILD)

run: build
	@bash scripts/run-demo.sh $(BUILD)

# The windows as PNG files in docs/screenshots, rendered without a display.
screenshots: build
	$(BUILD)/bin/corvane-screenshots docs/screenshots

clean:
	rm -rf $(BUILD)
