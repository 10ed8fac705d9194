#!/usr/bin/env bash
# Builds the Debian package into build-pacchetto/: the program and the setup tool, a release
# build with Debian's own compiler and linker flags, installed under /usr.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/dipendenze.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-pacchetto -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DANAGRAFICA_TESTS=OFF -DANAGRAFICA_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-pacchetto
rm -f build-pacchetto/*.deb
(cd build-pacchetto && cpack -G DEB >/dev/null)
ls build-pacchetto/*.deb
