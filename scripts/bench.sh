#!/usr/bin/env bash
# Runs every benchmark program; each prints its own summary lines.
set -euo pipefail
build=${1:-build}
status=0
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  "$b" || status=1
done
exit $status
