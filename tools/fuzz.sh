#!/usr/bin/env bash
# Builds the table reader's fuzz targets with clang (libFuzzer + ASan + UBSan)
# and runs one for the given number of seconds on one core at low priority.
# Usage: tools/fuzz.sh [--damage] <seconds> [build dir]
#   (default) the reader on any bytes, seeded with the Paradox corpus and the
#             shared damaged tables: no crash, hang or over-allocation;
#   --damage  the reader on damaged copies of the corpus's sound tables, seeded
#             with each table and the shared damaged tables' changes: no name or
#             value other than the sound table's without a word (fuzz/DamageFuzzer.cpp).
# Findings land in <build dir>/findings; the grown corpus in <build dir>/corpus
# (<build dir>/damage-corpus for --damage).
set -euo pipefail
cd "$(dirname "$0")/.."
target=table_fuzzer
if [[ "${1:-}" == --damage ]]; then
  target=table_damage_fuzzer
  shift
fi
seconds=${1:?usage: tools/fuzz.sh [--damage] <seconds> [build dir]}
build=${2:-build-fuzz}
corpus_src=${VELLOMAR_CORPUS:-../shared/paradox-corpus}

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j1 --target "$target" >/dev/null
mkdir -p "$build/findings"

if [[ "$target" == table_damage_fuzzer ]]; then
  mkdir -p "$build/damage-corpus"
  VELLOMAR_CORPUS="$corpus_src" VELLOMAR_DAMAGE_SEEDS="$build/damage-seeds" \
    nice -n 19 "$build/$target" "$build/damage-corpus" "$build/damage-seeds" \
    -max_total_time="$seconds" -max_len=8 -rss_limit_mb=1024 -timeout=30 \
    -artifact_prefix="$build/findings/damage-" -print_final_stats=1
  exit
fi

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

mkdir -p "$build/corpus"
nice -n 19 "$build/$target" "$build/corpus" "$seeds" \
  -max_total_time="$seconds" -max_len=327680 -rss_limit_mb=1024 -timeout=10 \
  -artifact_prefix="$build/findings/" -print_final_stats=1
