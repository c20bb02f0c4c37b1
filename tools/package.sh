#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-package/, then cpack.
# Install the result with: sudo apt install ./build-package/vellomar_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# Folders the installation creates take the umask: 022 keeps them readable by all, as
# dpkg-buildpackage does.
umask 022
# dpkg-shlibdeps (dpkg-dev) and file let cpack find what the program links.
bash tools/setup.sh dpkg-dev file
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DVELLOMAR_TESTS=OFF >/dev/null
cmake --build build-package -j"$(nproc)"
rm -f build-package/vellomar_*.deb
(cd build-package && cpack -G DEB >/dev/null)
ls build-package/vellomar_*.deb
