#!/usr/bin/env bash
# ./run bench: sapihost on the plug-in against curl and lftp on loopback, with
# vsftpd and pyftpdlib, and at 40 ms of round-trip delay over a packet-level
# delay line between two network namespaces (bench/delay_line; as root). It
# prints; it never fails on the numbers.
#   tools/bench.sh [BUILD_DIR]
# Bigger or narrower runs: see the environment variables in bench/bench.py
# (BENCH_REPS, BENCH_MIB, BENCH_DELAYED_MIB, BENCH_ENTRIES, BENCH_ONLY, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
for tool in host/sapihost bench/raw_copy bench/delay_line; do
  [ -x "$build/$tool" ] || { echo "build first: cmake --build $build" >&2; exit 1; }
done
# The namespaces are named after this shell; whatever way the benchmark ends,
# what runs in them and they themselves go.
# Its files (a million-entry folder among them) go too.
export BENCH_TAG=$$
BENCH_WORK=$(mktemp -d /tmp/sapi-bench-XXXXXX)
export BENCH_WORK
cleanup() {
  /usr/bin/python3 -c 'import sys; sys.path.insert(0, "bench"); import slow_link; slow_link.remove(sys.argv[1])' "$BENCH_TAG"
  rm -rf "$BENCH_WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
/usr/bin/python3 -u bench/bench.py "$build"  # -u: each case shows as it ends
