#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for FUZZ_SECONDS
# over its corpus fuzz/corpus/<target>/. Inputs found new go to
# build-fuzz/corpus/<target>/, crashes to build-fuzz/crashes/<target>/; a
# crash belongs in fuzz/corpus/<target>/ once it is fixed, where `make test`
# replays it. FUZZ_TARGETS="a b" runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}

bash scripts/install-deps.sh clang-14 libclang-rt-14-dev

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
flags="-g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined,fuzzer-no-link"
flags+=" -fno-sanitize-recover=all -D_GLIBCXX_ASSERTIONS"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_CXX_FLAGS="$flags" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target fuzz_targets

targets=${FUZZ_TARGETS:-$(ls fuzz/corpus)}
failed=()
for name in $targets; do
  mkdir -p "$build/corpus/$name" "$build/crashes/$name"
  echo "fuzz_$name: ${seconds}s, log $build/fuzz_$name.log"
  if ! "$build/bin/fuzz_$name" -max_total_time="$seconds" -max_len=20000 -timeout=10 \
      -artifact_prefix="$build/crashes/$name/" -print_final_stats=1 \
      "$build/corpus/$name" "fuzz/corpus/$name" >"$build/fuzz_$name.log" 2>&1; then
    failed+=("$name")
    tail -n 30 "$build/fuzz_$name.log"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/crashes/)"
  exit 1
fi
echo "fuzzing found nothing in:" $targets
