#!/usr/bin/env bash
# Builds the FTP client's parser fuzz targets (tests/fuzz/) with clang's
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/,
# then runs each for a bounded time from the seeds in tests/fuzz/seeds/.
# Exits non-zero when a target crashes; the crashing input is kept in
# build-fuzz/<target>/.
#   tools/fuzz.sh [seconds per target]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
out=build-fuzz
src=PelkSAPIFTP/ftp/protocol
mkdir -p "$out"

flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -Wall -Wextra -Werror -IPelkSAPIFTP)
parsers=("$src"/*.cpp)  # the protocol code is pure: every file of it
compile=(clang++)
if command -v ccache >/dev/null; then compile=(ccache clang++); fi

# target:seed folder
targets=(FuzzReplyReader:reply FuzzPassiveReply:passive FuzzQuotedPath:path FuzzMlsdListing:mlsd
         FuzzListListing:list FuzzReplyMatching:matching)

echo "== fuzz: building ${#targets[@]} targets"
objects=()
for source in "${parsers[@]}"; do
  name=$(basename "$source" .cpp)
  "${compile[@]}" "${flags[@]}" -c "$source" -o "$out/$name.o"
  objects+=("$out/$name.o")
done

failed=0
for entry in "${targets[@]}"; do
  target=${entry%%:*}; seeds=tests/fuzz/seeds/${entry##*:}
  "${compile[@]}" "${flags[@]}" "tests/fuzz/$target.cpp" "${objects[@]}" -o "$out/$target"
  work="$out/$target.d"; mkdir -p "$work/corpus"
  echo "== fuzz: $target for ${seconds}s"
  if ! (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "../$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 corpus "../../$seeds" > log.txt 2>&1); then
    echo "!! $target failed; see $work/log.txt"; tail -30 "$work/log.txt"; failed=1
  else
    grep -E "^#[0-9]+" "$work/log.txt" | tail -1 || true
  fi
done
exit $failed
