#!/usr/bin/env bash
# Builds the Debian packages quillon, libquillon1 and libquillon-dev.
#   scripts/package.sh [OUTDIR]
#       configures build-deb/ for /usr (Release, no tests), builds it and
#       runs cpack; the .debs land in OUTDIR (default dist/), then lintian
#       checks them when it is installed.
#   scripts/package.sh --from-build BUILD OUTDIR
#       packs an existing build folder as it is (the packaging test).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--from-build" ]; then
  build=$2
  out=$3
else
  out=${1:-dist}
  build=build-deb
  . scripts/deps.sh
  quillon_install_deps
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUILLON_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# cpack writes its staging folders beside the packages; only the .debs stay.
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log" >&2; exit 1; }
# CPack adds postinst and postrm scripts that run ldconfig to a package with
# a shared library; the library's ldconfig trigger already does that, so
# the package is rebuilt without them.
for deb in "$work"/libquillon1_*.deb; do
  tree=$work/unpacked
  rm -rf "$tree"
  dpkg-deb -R "$deb" "$tree"
  rm -f "$tree/DEBIAN/postinst" "$tree/DEBIAN/postrm"
  dpkg-deb --root-owner-group -Zgzip -b "$tree" "$deb" >/dev/null
  rm -rf "$tree"
done
for deb in "$work"/*.deb; do
  cp "$deb" "$out/"
  echo "$out/$(basename "$deb")"
done

if [ "${1:-}" != "--from-build" ] && command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$out"/quillon_*.deb "$out"/libquillon1_*.deb "$out"/libquillon-dev_*.deb
fi
