#!/usr/bin/env bash
# Builds the workbook writer's text fuzz target with clang (libFuzzer + ASan +
# UBSan) and runs it for the given number of seconds on one core at low
# priority, seeded with texts of the characters that matter.
# Usage: tools/fuzz_workbook.sh <seconds> [build dir]
# Findings land in <build dir>/workbook-findings; the grown corpus in <build dir>/workbook-corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz_workbook.sh <seconds> [build dir]}
build=${2:-build-fuzz}

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j1 --target workbook_text_fuzzer >/dev/null

seeds="$build/workbook-seeds"
if [[ ! -d "$seeds" ]]; then
  mkdir -p "$seeds"
  printf 'plain text' > "$seeds/plain"
  printf 'a_x0041_b _x005F_ <&> "q", x\r\n' > "$seeds/escapes"
  printf '\000\001\037\t\n\r\177' > "$seeds/controls"
  printf '\303\251\342\202\254\360\237\230\200\357\277\276\357\277\277' > "$seeds/unicode"
  printf '\300\257\355\240\200\364\220\200\200\342\202\200\377' > "$seeds/malformed"
fi

mkdir -p "$build/workbook-corpus" "$build/workbook-findings"
nice -n 19 "$build/workbook_text_fuzzer" "$build/workbook-corpus" "$seeds" \
  -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=1024 -timeout=10 \
  -artifact_prefix="$build/workbook-findings/" -print_final_stats=1
