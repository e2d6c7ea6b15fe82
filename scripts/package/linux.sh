#!/bin/bash
# Builds the Linux packages from the release preset (build/release): the
# portable folder (.tar.gz) and the Debian package (.deb), then tests them:
# the folder in a root of the base system alone (test-linux-package.sh), the
# Debian package for its dependencies on Debian's own Qt, its menu entry and
# an update run from a folder handed to it (test-deb.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# cpack installs without building everything first: the packages need only
# these targets, not the test suites.
cmake --preset release "${launcher[@]}" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build/release --target velno-updater velno-check velno-launcher \
    velno_message_probe velno_reported_libc
(cd build/release && cpack -G TGZ && cpack -G DEB)

version=$(sed -n 's/^project(velno_updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build/release/velno-updater_${version}_amd64.deb
depends=$(dpkg-deb -f "$deb" Depends)
echo "$deb depends on: $depends"
for package in libqt6widgets6 qt6-qpa-plugins libblkid1 libudev1; do
    grep -qw "$package" <<<"$depends" || { echo "FAIL: $deb does not depend on $package" >&2; exit 1; }
done
grep -q ' ./usr/bin/velno-updater$' <<<"$(dpkg-deb -c "$deb")" || { echo "FAIL: $deb lacks /usr/bin/velno-updater" >&2; exit 1; }

bash scripts/package/test-linux-package.sh "build/release/velno-updater-$version-linux-x86_64.tar.gz" \
    build/release/libvelno_message_probe.so build/release/libvelno_reported_libc.so
bash scripts/package/test-deb.sh "$deb"
