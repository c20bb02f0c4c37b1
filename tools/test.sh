#!/usr/bin/env bash
# Builds everything and runs every test twice: a normal build, then a build
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh pxlib-dev python3-openpyxl desktop-file-utils appstream groff-base

jobs=$(nproc)
run() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 300
}
run build -DVELLOMAR_TESTS=ON
run build-asan -DVELLOMAR_TESTS=ON -DVELLOMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
