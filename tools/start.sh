#!/usr/bin/env bash
# Builds the wizard and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh libreoffice-calc
cmake -S . -B build -DVELLOMAR_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vellomar
exec build/bin/vellomar
