#pragma once
// The image list of the printer views: image 0 the generic printer, images
// 1..16 the model icons (model code n shows image n), then the icons that
// packages bring for models whose code text is not a number.
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

class TDLPrinterList;
class TQUILLONApp;

namespace quillon {

constexpr int kIconSize = 32;
// The program's icon resources: the generic printer, then one per model.
constexpr int kGenericIconResource = 1040;
constexpr int kFirstModelIconResource = 1041;
constexpr int kLastIconResource = 1294;

// The program's icon resource of that number, 32 x 32; a null pixmap for a
// number the program does not carry (it carries 1040 to 1056).
QPixmap IconResource(int number);

// Builds the list. For each model whose code text is not a decimal number,
// the file of that name in iconFolder (else in the program's other data
// folders) is appended when it reads as an image, and the model's Code
// becomes its index; a missing or unreadable file leaves the Code 0.
QList<QIcon> LoadPrinterIcons(TDLPrinterList* models, const QString& iconFolder);
// The same for the application object's model table and data folder.
QList<QIcon> LoadPrinterIcons(TQUILLONApp& app);

// The program's icon for the window and the desktop entry.
QIcon ApplicationIcon();

}  // namespace quillon
