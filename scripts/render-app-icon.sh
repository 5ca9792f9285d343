#!/bin/sh
# Renders the program's icon (the window's drawing) into
# resources/icons/quillon.png for the desktop entry. Run after changing the
# drawing in ui/MainGlyphs.cpp; needs qt6-base-dev.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/render.cpp" <<'CPP'
#include <QGuiApplication>
#include <QPixmap>
#include "gui/MainGlyphs.h"
int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  return quillon::ProgramIcon().pixmap(64, 64).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
CPP
c++ -std=c++17 -fPIC -I"$root" "$work/render.cpp" "$root/ui/MainGlyphs.cpp" \
  $(pkg-config --cflags --libs Qt6Gui) -o "$work/render"
QT_QPA_PLATFORM=offscreen "$work/render" "$root/resources/icons/quillon.png"
echo "wrote $root/resources/icons/quillon.png"
