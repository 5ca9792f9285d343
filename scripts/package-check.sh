#!/usr/bin/env bash
# The packaging test: packs the given build folder (scripts/package.sh
# --from-build), checks the three packages' control data, unpacks them into
# a scratch root with dpkg -x and runs both programs from there; lintian,
# desktop-file-validate and appstreamcli check what they can when present.
#   scripts/package-check.sh BUILD
set -euo pipefail
root_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$root_dir/scripts/package.sh" --from-build "$build" "$work/debs" >/dev/null 2>"$work/package.log" ||
  { cat "$work/package.log" >&2; fail "packing"; }
prog=$(ls "$work"/debs/quillon_*.deb)
lib=$(ls "$work"/debs/libquillon1_*.deb)
dev=$(ls "$work"/debs/libquillon-dev_*.deb)

field() { dpkg-deb -f "$1" "$2"; }
for deb in "$prog" "$lib" "$dev"; do dpkg-deb -c "$deb" >"$deb.list"; done
has() { grep -q -- "$2" "$1.list"; }
# The program depends on its library at the same version and on what
# dpkg-shlibdeps found (Qt, CUPS); the library carries shlibs and the
# ldconfig trigger; the development package the header, .pc and link.
version=$(field "$lib" Version)
field "$prog" Depends | grep -q "libquillon1 (= $version)" || fail "quillon does not depend on libquillon1 (= $version)"
field "$prog" Depends | grep -q "libqt6widgets6" || fail "quillon lacks its shared-library dependencies"
# The history's SQLite driver is a Qt plugin, not a linked library.
field "$prog" Depends | grep -q "libqt6sql6-sqlite" || fail "quillon does not depend on Qt SQL's SQLite driver"
field "$prog" Recommends | grep -q "bash-completion" || fail "quillon does not recommend bash-completion"
field "$lib" Depends | grep -q "libcups2" || fail "libquillon1 lacks its shared-library dependencies"
dpkg-deb -e "$lib" "$work/libctl"
grep -q "^libquillon 1 libquillon1" "$work/libctl/shlibs" || fail "libquillon1 has no shlibs entry"
grep -q "activate-noawait ldconfig" "$work/libctl/triggers" || fail "libquillon1 has no ldconfig trigger"
for script in postinst postrm; do
  [ ! -e "$work/libctl/$script" ] || fail "libquillon1 runs ldconfig from its $script besides the trigger"
done
has "$lib" "libquillon.so.1 ->" || fail "libquillon1 lacks the SONAME link"
has "$lib" "libquillon.so ->" && fail "the .so link is in libquillon1"
# The browse dialog is a module in the library's private folder.
has "$lib" "/quillon/libquillon-browse.so" || fail "libquillon1 lacks the browse module"
for f in include/quillon.h pkgconfig/quillon.pc "libquillon.so ->"; do
  has "$dev" "$f" || fail "libquillon-dev lacks $f"
done
for f in bin/quillon bin/quillon-cli share/quillon/QUILLON.HLP share/quillon/QUILLON_EN.HLP man1/quillon.1.gz man1/quillon-cli.1.gz \
         completions/quillon-cli vendor-completions/_quillon-cli applications/org.quillon.Quillon.desktop \
         metainfo/org.quillon.Quillon.metainfo.xml mime/packages/quillon.xml \
         16x16/apps/org.quillon.Quillon.png 256x256/apps/org.quillon.Quillon.png \
         scalable/apps/org.quillon.Quillon.svg; do
  has "$prog" "$f" || fail "quillon lacks $f"
done
has "$prog" "bin/QUILLON.HLP" && fail "the help file lies among the programs"

# Installed into a scratch root: both programs run from there.
root=$work/root
for deb in "$prog" "$lib" "$dev"; do dpkg -x "$deb" "$root"; done
libdir=$(dirname "$(find "$root" -name 'libquillon.so.1' | head -1)")
export LD_LIBRARY_PATH=$libdir
"$root/usr/bin/quillon-cli" --version | grep -q "^quillon-cli $(field "$prog" Version | cut -d- -f1)$" ||
  fail "quillon-cli --version"
"$root/usr/bin/quillon" --version | grep -q "^quillon " || fail "quillon --version"
# The installed library finds its installed browse module.
if [ -x "$build/tests/netlib/browse_module_check" ]; then
  "$build/tests/netlib/browse_module_check" lazy "$libdir/libquillon.so.1" ||
    fail "the installed library does not load its browse module"
fi
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
       XDG_RUNTIME_DIR=$work/home/run TMPDIR=$work/home/tmp
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
package=$work/SAMPLE.RXF
printf '[RX_DownLoad]\r\nFileFormat=RXF\r\nDownLoadDesc=Sample\r\nDownLoadVersion=1.23\r\nDownLoadPrinter=HALVORN RX-140\r\n\032SAMPLEDATA' >"$package"
# In English whatever the caller's locale: quillon-cli speaks one language per run.
info=$(LANG=C.UTF-8 LC_ALL= "$root/usr/bin/quillon-cli" info "$package") || fail "quillon-cli info"
grep -q "Version: *1.23" <<<"$info" || fail "quillon-cli info does not show the version"
# The window offscreen, unattended, against a spooler that is not there:
# the download fails, the box goes to standard error and the program ends.
# It ends with the failure's exit code (5: the printer cannot be opened).
status=0
CUPS_SERVER=$work/no-cupsd.sock QT_QPA_PLATFORM=offscreen \
  timeout 60 "$root/usr/bin/quillon" "$package" /PR=NOQUEUE /NM /NO 2>"$work/quillon.err" || status=$?
[ "$status" -ne 124 ] || fail "quillon /NO did not end by itself: $(cat "$work/quillon.err")"
[ "$status" -ne 0 ] || fail "quillon /NO reported a failed download as success"
# The help window reads the help from the data folder of that root.
[ -f "$root/usr/share/quillon/QUILLON.HLP" ] || fail "no help in share/quillon"
# The manual comes from the same table as --help.
zcat "$root/usr/share/man/man1/quillon-cli.1.gz" >"$work/quillon-cli.1"
grep -q '^\.SS download' "$work/quillon-cli.1" || fail "quillon-cli(1) lacks download"
# Both completions, loaded by bash-completion and zsh from their folders.
[ -f "$root/usr/share/bash-completion/completions/quillon-cli" ] || fail "no bash completion"
head -1 "$root/usr/share/zsh/vendor-completions/_quillon-cli" | grep -qx '#compdef quillon-cli' ||
  fail "no zsh completion"
# The English help beside the Japanese one.
[ -f "$root/usr/share/quillon/QUILLON_EN.HLP" ] || fail "no English help in share/quillon"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/org.quillon.Quillon.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.quillon.Quillon.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
fi
if command -v lintian >/dev/null; then
  # A build folder's programs keep their run path to the library, and its
  # library folder is lib/ rather than the multiarch one (which is where
  # the pkg-config file must lie to serve cross builds); the packages of
  # scripts/package.sh (configured for /usr) have neither.
  lintian --fail-on error,warning \
    --suppress-tags custom-library-search-path,pkg-config-unavailable-for-cross-compilation \
    "$prog" "$lib" "$dev" || fail "lintian"
fi
echo "packages check out: $(basename "$prog") $(basename "$lib") $(basename "$dev")"
