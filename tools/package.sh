#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-package/, then cpack, then
# lintian, which must find no error and no warning.
# Install the result with: sudo apt install ./build-package/vellomar_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# Folders the installation creates take the umask: 022 keeps them readable by all, as
# dpkg-buildpackage does.
umask 022
# dpkg-shlibdeps (dpkg-dev) and file let cpack find what the program links.
bash tools/setup.sh dpkg-dev file lintian
# Debian's hardening flags, as dpkg-buildpackage would pass them; the Release
# build's own -O3 comes after them and wins. CMake takes no CPPFLAGS, so they go
# with the compiler's flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DVELLOMAR_TESTS=OFF \
    -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build-package -j"$(nproc)"
rm -f build-package/vellomar_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/vellomar_*.deb)
# Lintian warns when it runs as root; that line is not about the package.
status=0
report=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
((status == 0)) || { echo "lintian: $deb has errors or warnings"; exit 1; }
echo "$deb"
