#!/usr/bin/env bash
# ./run bench: sapihost on the plug-in against curl and lftp on loopback, with
# vsftpd and pyftpdlib, and at 40 ms of round-trip delay through a delay line
# of the benchmark's own. It prints; it never fails on the numbers.
#   tools/bench.sh [BUILD_DIR]
# Bigger or narrower runs: see the environment variables in bench/bench.py
# (BENCH_REPS, BENCH_MIB, BENCH_DELAYED_MIB, BENCH_ENTRIES, BENCH_ONLY, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
[ -x "$build/host/sapihost" ] && [ -x "$build/bench/raw_copy" ] || { echo "build first: cmake --build $build" >&2; exit 1; }
exec /usr/bin/python3 bench/bench.py "$build"
