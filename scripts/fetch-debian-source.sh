#!/usr/bin/env bash
# Fetches and unpacks the source of a Debian package of this release into
# DIR (once), from the archive the machine already uses for binaries, with
# a source list of its own: the machine's apt configuration is not changed.
# Prints the unpacked folder's absolute path.
#   fetch-debian-source.sh PACKAGE DIR
set -euo pipefail
pkg=${1:?usage: fetch-debian-source.sh PACKAGE DIR}
dir=$(realpath -m "${2:?usage: fetch-debian-source.sh PACKAGE DIR}")
if [ -f "$dir/.unpacked" ]; then
  cat "$dir/.unpacked"
  exit 0
fi
command -v dpkg-source >/dev/null || { echo "dpkg-source missing (dpkg-dev)" >&2; exit 1; }
. /etc/os-release
suite=${VERSION_CODENAME:?}
uri=$(grep -hE '^URIs:' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1 | awk '{print $2}')
uri=${uri:-http://deb.debian.org/debian}
rm -rf "$dir"
mkdir -p "$dir/lists/partial"
cat >"$dir/src.sources" <<SRC
Types: deb-src
URIs: $uri
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
apt_opts=(-q -o Dir::Etc::SourceList="$dir/src.sources" -o Dir::Etc::SourceParts=/nonexistent
          -o Dir::State::Lists="$dir/lists" -o APT::Sandbox::User=root)
( cd "$dir" &&
  timeout 300 apt-get "${apt_opts[@]}" update >/dev/null &&
  timeout 300 apt-get "${apt_opts[@]}" source --download-only "$pkg" >/dev/null ) >&2 || exit 1
dsc=$(ls "$dir"/"$pkg"_*.dsc | head -1)
dpkg-source -x "$dsc" "$dir/src" >/dev/null 2>&1 || exit 1
echo "$dir/src" > "$dir/.unpacked"
echo "$dir/src"
