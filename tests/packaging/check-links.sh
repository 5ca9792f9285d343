#!/usr/bin/env bash
# The programs use the shared library: the window and quillon-cli import the
# network exports from libquillon.so and carry no copy of them; quillon-cli
# and the library load no widget library (the browse dialog is a module
# beside the library).
#   check-links.sh QUILLON QUILLON_CLI LIBQUILLON MODULE
set -uo pipefail
prog=$1 cli=$2 lib=$3 module=$4
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

# The console query: the plain export where no stop check is given, the
# stoppable form where an abort must cut it.
exports=(QUILLON_FileTransfer QUILLON_GetPrinterInfo QUILLON_GetPrinterInfoEx QUILLON_GetLastError
         QUILLON_GetLastErrorDetail)
# Symbol names, one a line (read whole: grep -q on a pipe would cut nm off).
imports() { nm -D --undefined-only "$1" | awk '{print $NF}'; }
defines() { { nm --defined-only "$1" 2>/dev/null; nm -D --defined-only "$1"; } | awk '{print $NF}'; }
in_list() { grep -qx -- "$1" <<<"$2"; }

prog_imports=$(imports "$prog")
cli_imports=$(imports "$cli")
for e in "${exports[@]}" QUILLON_SelectPrinter; do
  in_list "$e" "$prog_imports" || fail "quillon does not import $e"
done
for e in QUILLON_FileTransfer QUILLON_GetPrinterInfoEx; do
  in_list "$e" "$cli_imports" || fail "quillon-cli does not import $e"
done
for f in "$prog" "$cli"; do
  defined=$(defines "$f")
  for e in "${exports[@]}" QUILLON_SelectPrinter QUILLON_BrowseSelectPrinter; do
    in_list "$e" "$defined" && fail "$(basename "$f") carries its own $e"
  done
done

for f in "$prog" "$cli"; do
  in_list '.*libquillon\.so\.1 => /.*' "$(ldd "$f")" || fail "$(basename "$f") does not load libquillon.so.1"
done
for f in "$cli" "$lib"; do
  widgets=$(ldd "$f" | awk '/libQt6(Widgets|Gui)\.|libX11|libxcb/ {print $1}' | tr '\n' ' ')
  [ -z "$widgets" ] || fail "$(basename "$f") loads $widgets"
done

# The module lies where the library looks for it, with its entry.
want=$(dirname "$lib")/quillon/libquillon-browse.so
[ "$module" -ef "$want" ] || fail "the browse module is $module, the library looks for $want"
in_list QUILLON_BrowseSelectPrinter "$(defines "$module")" || fail "the browse module lacks its entry"
[ "$status" -eq 0 ] && echo "the programs use libquillon.so; no widgets in quillon-cli or the library"
exit "$status"
