#!/usr/bin/env bash
# Runs every benchmark program; each prints its own summary lines.
set -euo pipefail
build=${1:-build}

# haproxy is the relay benchmark's anchor, installed for the benchmark only;
# without it bench_relay reports its column as missing.
have_haproxy() { command -v haproxy >/dev/null || [ -x /usr/sbin/haproxy ]; }
if ! have_haproxy && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q haproxy >/dev/null 2>&1 \
    || { apt-get update -q >/dev/null 2>&1 && apt-get install -y -q haproxy >/dev/null 2>&1; } || true
fi
have_haproxy || echo "bench: haproxy could not be installed; the relay's haproxy column will be missing"

status=0
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  "$b" || status=1
done
exit $status
