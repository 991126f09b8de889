BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test bench run clean

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

clean:
	rm -rf $(BUILD)
