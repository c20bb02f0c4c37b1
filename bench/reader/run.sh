#!/usr/bin/env bash
# Builds the reader benchmark, generates a 100,000-row and a 1,000,000-row
# table and reads each with our reader and with pxlib, each run in its own
# process. Usage: bench/reader/run.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
cmake -S bench/reader -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for rows in 100000 1000000; do
  table="$build/bench$rows.db"
  [[ -f "$table" ]] || "$build/reader_bench" generate "$table" "$rows"
  echo "table: $rows rows, $(stat -c %s "$table") bytes"
  "$build/reader_bench" ours "$table"
  "$build/reader_bench" pxlib "$table"
  "$build/reader_bench" open "$table"
done
