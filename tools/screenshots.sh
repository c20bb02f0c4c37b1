#!/usr/bin/env bash
# Screenshots of the three screens under Xvfb, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh xvfb xauth
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target screenshots vellomar
mkdir -p docs
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" build/bin/screenshots docs
