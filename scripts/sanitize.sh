#!/usr/bin/env bash
# The test suite built with sanitizers, each in a build folder of its own.
#   sanitize.sh address  AddressSanitizer and UndefinedBehaviorSanitizer
#                        (build-sanitize/), every test
#   sanitize.sh thread   ThreadSanitizer (build-tsan/), the areas with threads
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
labels=""
case "${1:-}" in
address)
  build=build-sanitize
  # GCC's maybe-uninitialized misfires in the standard headers under ASan.
  flags="-fsanitize=address,undefined -fno-sanitize-recover=all -D_GLIBCXX_ASSERTIONS"
  flags+=" -Wno-maybe-uninitialized"
  ;;
thread)
  build=build-tsan
  flags="-fsanitize=thread"
  labels="relay|tls|app|ports|settings"
  ;;
*)
  echo "usage: $0 address|thread" >&2
  exit 2
  ;;
esac

bash scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags -fno-omit-frame-pointer" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Thread leaks are left out: the relay handle is freed by a deferred delete
# that the end of a test never runs. die_after_fork=0: tests start tools
# through QProcess while threads run, and the child only calls exec.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:report_thread_leaks=0:die_after_fork=0:suppressions=$PWD/scripts/tsan.supp"
cd "$build"
ctest --output-on-failure -j "$jobs" ${labels:+-L "$labels"}
