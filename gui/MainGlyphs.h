#pragma once
// Pictures the main window draws for itself: the tool button glyphs, the
// program's window icon and the generic printer picture of the list.
#include <QIcon>
#include <QPixmap>

namespace quillon {

QIcon OpenFileGlyph();
QIcon DownloadGlyph();
QIcon RefreshGlyph();
QIcon VersionGlyph();
// The program's icon (a page printer taking a new program), 16..64 pixels.
QIcon ProgramIcon();
// The same drawing at one size (the desktop icons are rendered from it).
QPixmap ProgramIconPixmap(int size);
// An icon whose selected form is the picture itself: the style would
// otherwise tint a selected row's picture until it looks faded.
QIcon UntintedIcon(const QPixmap& image);
// A plain page printer, 32 x 32.
QPixmap GenericPrinterPixmap();
// The picture of a row the program cannot update as things stand: the
// same image, faded.
QPixmap GhostedPixmap(const QPixmap& image);

}  // namespace quillon
