#pragma once
// The image list of the printer views: image 0 the generic printer, images
// 1..16 the model icons (model code n shows image n), then the icons that
// packages bring for models whose code text is not a number. The model
// table is only read: which image such a code text shows is kept here.
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

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

// Image index of each code text (as the table writes it) whose icon file
// was read into the list.
using IconFileIndexes = std::map<std::string, int>;

// Builds the list. For each model whose code text is not a decimal number,
// the file of that name in iconFolder (else in the program's other data
// folders) is appended when it reads as an image, and its index goes into
// fileIndexes (when given) under the code text; a missing or unreadable
// file gets no index, so the model shows the generic printer.
QList<QIcon> LoadPrinterIcons(const TDLPrinterList* models, const QString& iconFolder,
                              IconFileIndexes* fileIndexes = nullptr);
// The same for the application object's model table and data folder.
QList<QIcon> LoadPrinterIcons(const TQUILLONApp& app, IconFileIndexes* fileIndexes = nullptr);

// The image key of a model: its code as decimal text when not 0, else its
// code text; a code text that names a loaded icon file gives that image's
// index instead.
std::string ImageKeyOfModel(std::int32_t code, std::string_view codeText,
                            const IconFileIndexes& fileIndexes);
// The image key read as an image index; 0 when it is not a number.
int ImageIndexOfKey(const std::string& key);

// The program's icon for the window and the desktop entry.
QIcon ApplicationIcon();

}  // namespace quillon
