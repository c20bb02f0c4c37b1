#!/usr/bin/env bash
# Builds the wizard and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
# The workbook opens in LibreOffice Calc unless a LibreOffice is there already.
if command -v soffice >/dev/null; then bash tools/setup.sh; else bash tools/setup.sh libreoffice-calc; fi
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target vellomar
exec build/bin/vellomar
