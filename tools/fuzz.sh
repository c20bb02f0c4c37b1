#!/usr/bin/env bash
# Builds the table reader's fuzz target with clang (libFuzzer + ASan + UBSan)
# and runs it for the given number of seconds on one core at low priority,
# seeded with the Paradox corpus. Usage: tools/fuzz.sh <seconds> [build dir]
# Findings land in <build dir>/findings; the grown corpus in <build dir>/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz.sh <seconds> [build dir]}
build=${2:-build-fuzz}
corpus_src=${VELLOMAR_CORPUS:-../shared/paradox-corpus}

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j1 >/dev/null

# Seeds: every table, with its .mb (cut to 64 KiB) appended behind the marker,
# and the damaged copies of corpus tables.
seeds="$build/seeds"
if [[ ! -d "$seeds" ]]; then
  mkdir -p "$seeds"
  find "$corpus_src" "$corpus_src/../damaged-tables" -iname '*.db' -print0 | while IFS= read -r -d '' db; do
    name=$(echo "$db" | md5sum | cut -c1-16)
    head -c 262144 "$db" > "$seeds/$name"
    mb=$(find "$(dirname "$db")" -maxdepth 1 -iname "$(basename "${db%.*}").mb" | head -n1)
    if [[ -n "$mb" ]]; then
      cp "$seeds/$name" "$seeds/$name-mb"
      printf '\n--VELLOMAR-MB--\n' >> "$seeds/$name-mb"
      head -c 65536 "$mb" >> "$seeds/$name-mb"
    fi
  done
fi

mkdir -p "$build/corpus" "$build/findings"
nice -n 19 "$build/table_fuzzer" "$build/corpus" "$seeds" \
  -max_total_time="$seconds" -max_len=327680 -rss_limit_mb=1024 -timeout=10 \
  -artifact_prefix="$build/findings/" -print_final_stats=1
