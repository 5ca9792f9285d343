#include "gui/PrinterIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QStandardPaths>

#include <map>
#include <string>

#include "core/app/ModelTable.h"
#include "core/app/TextUtil.h"
#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "gui/MainGlyphs.h"

namespace quillon {
namespace {

constexpr int kModelIconCount = 16;

// One colour per model code, far enough apart to tell the models apart.
QColor ModelColour(int code) {
  const int hue = ((code - 1) * 360 / kModelIconCount * 7) % 360;  // neighbours differ
  const int value = (code % 2) ? 200 : 150;
  return QColor::fromHsv(hue, 210, value);
}

// The generic printer with the model's colour band and its code in a badge.
QPixmap ModelIcon(int code) {
  QPixmap pm = GenericPrinterPixmap();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colour = ModelColour(code);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawRect(QRectF(3.5, 13, 25, 3));  // band across the body
  const QRectF badge(15, 15, 17, 17);
  p.setPen(QPen(Qt::white, 1.2));
  p.setBrush(colour.darker(130));
  p.drawEllipse(badge.adjusted(0.6, 0.6, -0.6, -0.6));
  QFont font;
  font.setPixelSize(code >= 10 ? 9 : 11);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(badge, Qt::AlignCenter, QString::number(code));
  return pm;
}

// A code text that reads as a decimal number (also "0") needs no file.
bool IsDecimal(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A plain file name: a code text never reaches outside the folder.
bool IsPlainFileName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
         name != QLatin1String("..");
}

// The file of that name in folder, letter case ignored when no exact match.
QString FindInFolder(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return QString();
  const QDir dir(folder);
  if (QFileInfo(dir.filePath(name)).isFile()) return dir.filePath(name);
  for (const QString& entry : dir.entryList(QDir::Files)) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
  }
  return QString();
}

QString FindIconFile(const QString& folder, const QString& name) {
  QString path = FindInFolder(folder, name);
  if (!path.isEmpty()) return path;
  for (const QString& other : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation)) {
    path = FindInFolder(other, name);
    if (!path.isEmpty()) return path;
  }
  return QString();
}

// The file's picture at 32 x 32, the frame nearest that size of an icon
// with several; a null pixmap when the file is not a readable image.
QPixmap ReadIconFile(const QString& path) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  QImage best;
  int bestDistance = 0;
  const int frames = qMax(1, reader.imageCount());
  for (int i = 0; i < frames; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage frame = reader.read();
    if (frame.isNull()) continue;
    const int distance = qAbs(frame.width() - kIconSize) + qAbs(frame.height() - kIconSize);
    if (best.isNull() || distance < bestDistance) {
      best = frame;
      bestDistance = distance;
    }
  }
  if (best.isNull()) return QPixmap();
  if (best.size() != QSize(kIconSize, kIconSize))
    best = best.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return QPixmap::fromImage(best);
}

}  // namespace

QPixmap IconResource(int number) {
  if (number == kGenericIconResource) return GenericPrinterPixmap();
  const int code = number - kGenericIconResource;
  if (code >= 1 && code <= kModelIconCount) return ModelIcon(code);
  return QPixmap();
}

QList<QIcon> LoadPrinterIcons(const TDLPrinterList* models, const QString& iconFolder,
                              IconFileIndexes* fileIndexes) {
  QList<QIcon> icons;
  IconFileIndexes loaded;
  // The desktop's printer icon when it has one, else the program's own.
  const QIcon system = QIcon::fromTheme(QStringLiteral("printer"));
  icons.append(system.isNull() ? QIcon(IconResource(kGenericIconResource)) : system);
  for (int number = kFirstModelIconResource; number <= kLastIconResource; ++number) {
    const QPixmap pm = IconResource(number);
    if (pm.isNull()) break;
    icons.append(QIcon(pm));
  }
  std::map<std::string, bool> tried;  // a file is looked for once for every row naming it
  for (std::size_t i = 0; models && i < models->Count(); ++i) {
    const TModelEntry* entry = models->Item(i);
    const std::string key(FieldText(entry->CodeText));
    if (IsDecimal(key) || !tried.emplace(key, true).second) continue;
    const QString name = QString::fromStdString(key);
    if (!IsPlainFileName(name)) continue;
    const QString path = FindIconFile(iconFolder, name);
    if (path.isEmpty()) continue;
    const QPixmap pm = ReadIconFile(path);
    if (pm.isNull()) continue;  // not an icon: the model shows the generic printer
    icons.append(QIcon(pm));
    loaded[key] = static_cast<int>(icons.size() - 1);
  }
  if (fileIndexes) *fileIndexes = std::move(loaded);
  return icons;
}

QList<QIcon> LoadPrinterIcons(const TQUILLONApp& app, IconFileIndexes* fileIndexes) {
  return LoadPrinterIcons(app.Models.get(),
                          QString::fromStdString(TDownDocFile::DefaultIconFolder()), fileIndexes);
}

std::string ImageKeyOfModel(std::int32_t code, std::string_view codeText,
                            const IconFileIndexes& fileIndexes) {
  if (!codeText.empty() && !IsDecimal(codeText)) {
    const auto it = fileIndexes.find(std::string(codeText));
    if (it != fileIndexes.end()) return std::to_string(it->second);
    // A code text that is not a number names a file; without one, the
    // model has no image of its own.
    return std::string(codeText);
  }
  return code != 0 ? std::to_string(code) : std::string(codeText);
}

int ImageIndexOfKey(const std::string& key) {
  if (key.empty()) return 0;
  std::size_t pos = 0;
  if (key[0] == '-' || key[0] == '+') pos = 1;
  if (pos >= key.size()) return 0;
  for (std::size_t i = pos; i < key.size(); ++i)
    if (key[i] < '0' || key[i] > '9') return 0;
  return LeadingInt(key);
}

QIcon ApplicationIcon() {
  // The packaged picture, the one the desktop entry shows; the drawn sizes
  // stand in should it be missing.
  const QPixmap packaged(QStringLiteral(":/icons/quillon.png"));
  if (packaged.isNull()) return ProgramIcon();
  QIcon icon = ProgramIcon();
  icon.addPixmap(packaged);
  return icon;
}

}  // namespace quillon
