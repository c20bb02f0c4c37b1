#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those still missing, so a
# second run is quick. Sourced by start.sh and test.sh; pass extra package names
# as arguments.
set -euo pipefail

# libxlsxwriter is only the reference bench_export measures the writer against.
packages=(g++ cmake make pkgconf qt6-base-dev zlib1g-dev libminizip-dev libsqlite3-dev libxlsxwriter-dev libgtest-dev fonts-liberation2 "$@")

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
