#!/bin/sh
# Renders the program's icon (the window's drawing in gui/MainGlyphs.cpp)
# into the desktop icon sizes under resources/desktop/icons/. Run after
# changing the drawing (and change resources/desktop/org.quillon.Quillon.svg
# to match); needs qt6-base-dev.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/render.cpp" <<'CPP'
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include "gui/MainGlyphs.h"
int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString dir = out + QStringLiteral("/%1x%1").arg(size);
    if (!QDir().mkpath(dir)) return 1;
    if (!quillon::ProgramIconPixmap(size).save(dir + QStringLiteral("/org.quillon.Quillon.png"), "PNG")) return 1;
  }
  return 0;
}
CPP
c++ -std=c++17 -fPIC -I"$root" "$work/render.cpp" "$root/gui/MainGlyphs.cpp" \
  $(pkg-config --cflags --libs Qt6Gui) -o "$work/render"
QT_QPA_PLATFORM=offscreen "$work/render" "$root/resources/desktop/icons"
cp "$root/resources/desktop/icons/64x64/org.quillon.Quillon.png" "$root/resources/icons/quillon.png"
echo "wrote $root/resources/desktop/icons"
