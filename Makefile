BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test bench run clean fuzz test-sanitize test-tsan

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

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

run: build
	@bash scripts/run-demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-sanitize build-tsan build-fuzz
