// The image list of the printer views: the drawn model icons, and icon
// files of packages found by the models' code texts.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cstring>
#include <string>
#include <vector>

#include "core/app/ModelTable.h"
#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "tests/support/TestEnv.h"
#include "gui/PrinterIcons.h"

using namespace quillon;

namespace {

QImage ImageOf(const QIcon& icon) { return icon.pixmap(kIconSize, kIconSize).toImage(); }

// A real icon file with one 32 x 32 picture of a plain colour.
void WriteIcon(const QString& path, QColor colour) {
  QImage image(kIconSize, kIconSize, QImage::Format_ARGB32);
  image.fill(colour);
  QImageWriter writer(path, "ico");
  ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

// The image a model of the table shows.
int ImageOfModel(const TDLPrinterList& list, const char* name, const IconFileIndexes& files) {
  const TModelEntry* e = list.Item(static_cast<std::size_t>(list.IndexOf(name)));
  return ImageIndexOfKey(ImageKeyOfModel(e->Code, e->CodeText, files));
}

// The table's rows, byte for byte.
std::vector<TModelEntry> Rows(const TDLPrinterList& list) {
  std::vector<TModelEntry> rows;
  for (std::size_t i = 0; i < list.Count(); ++i) rows.push_back(*list.Item(i));
  return rows;
}

bool SameRows(const std::vector<TModelEntry>& a, const std::vector<TModelEntry>& b) {
  return a.size() == b.size() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(TModelEntry)) == 0;
}

}  // namespace

TEST(PrinterIcons, GenericIconThenSixteenDistinctModelIcons) {
  const QList<QIcon> icons = LoadPrinterIcons(nullptr, QString());
  ASSERT_EQ(icons.size(), 17);
  for (int i = 0; i < icons.size(); ++i) {
    const QImage a = ImageOf(icons[i]);
    EXPECT_EQ(a.size(), QSize(32, 32)) << i;
    for (int j = 0; j < i; ++j) EXPECT_NE(a, ImageOf(icons[j])) << i << " and " << j;
  }
  EXPECT_FALSE(IconResource(1040).isNull());
  EXPECT_FALSE(IconResource(1056).isNull());
  EXPECT_TRUE(IconResource(1057).isNull());
  EXPECT_TRUE(IconResource(1039).isNull());
}

TEST(PrinterIcons, PackageIconFilesJoinTheListAndBadOnesFallBackToTheGenericIcon) {
  const QString folder = QString::fromStdString(quillon_test::MakeTestDir("icons"));
  WriteIcon(folder + "/CUSTOM.ICO", Qt::red);
  WriteIcon(folder + "/Other.ico", Qt::blue);
  ASSERT_TRUE(quillon_test::WriteFileBytes((folder + "/BROKEN.ICO").toStdString(),
                                           std::string("\0\0\1\0garbage", 11)));
  WriteIcon(folder + "/../outside.ico", Qt::green);

  TDLPrinterList models;
  models.Add(MakeModelEntry("RX-120", "2,1"));
  models.Add(MakeModelEntry("Custom", "CUSTOM.ICO,1"));
  models.Add(MakeModelEntry("Broken", "BROKEN.ICO,1"));
  models.Add(MakeModelEntry("Missing", "NOPE.ICO"));
  models.Add(MakeModelEntry("Outside", "../outside.ico"));
  models.Add(MakeModelEntry("Other", "other.ico"));      // letter case differs
  models.Add(MakeModelEntry("Custom 2", "CUSTOM.ICO"));  // same file again

  const std::vector<TModelEntry> before = Rows(models);
  IconFileIndexes files;
  QList<QIcon> icons = LoadPrinterIcons(&models, folder, &files);
  ASSERT_EQ(icons.size(), 19);
  // The table is only read: its codes stay what the settings say.
  EXPECT_TRUE(SameRows(Rows(models), before));
  EXPECT_EQ(ImageOfModel(models, "RX-120", files), 2);
  EXPECT_EQ(ImageOfModel(models, "Custom", files), 17);
  EXPECT_EQ(ImageOfModel(models, "Custom 2", files), 17);
  EXPECT_EQ(ImageOfModel(models, "Other", files), 18);
  EXPECT_EQ(ImageOfModel(models, "Broken", files), 0);
  EXPECT_EQ(ImageOfModel(models, "Missing", files), 0);
  EXPECT_EQ(ImageOfModel(models, "Outside", files), 0);
  EXPECT_EQ(ImageOf(icons[17]).pixelColor(16, 16), QColor(Qt::red));
  EXPECT_EQ(ImageOf(icons[18]).pixelColor(16, 16), QColor(Qt::blue));
  // The image keys: the code, else the image of the code text's file, else
  // the code text itself.
  EXPECT_EQ(ImageKeyOfModel(2, "2", files), "2");
  EXPECT_EQ(ImageKeyOfModel(0, "CUSTOM.ICO", files), "17");
  EXPECT_EQ(ImageKeyOfModel(0, "NOPE.ICO", files), "NOPE.ICO");
  EXPECT_EQ(ImageKeyOfModel(0, "", files), "");
  EXPECT_EQ(ImageIndexOfKey("NOPE.ICO"), 0);
  EXPECT_EQ(ImageIndexOfKey("-3"), -3);

  // Loaded again after the file went: no image points past the list.
  QFile::remove(folder + "/Other.ico");
  icons = LoadPrinterIcons(&models, folder, &files);
  EXPECT_EQ(icons.size(), 18);
  EXPECT_EQ(ImageOfModel(models, "Other", files), 0);
  EXPECT_TRUE(SameRows(Rows(models), before));
}

TEST(PrinterIcons, ApplicationObjectReadsItsDataFolder) {
  TQUILLONApp app(quillon_test::MakeTestDir("iconapp") + "/QUILLON.INI");
  const QString folder = QString::fromStdString(TDownDocFile::DefaultIconFolder());
  ASSERT_TRUE(QDir().mkpath(folder));
  WriteIcon(folder + "/PKG9.ICO", Qt::yellow);
  app.Models->Add(MakeModelEntry("Package model", "PKG9.ICO,1"));

  const std::vector<TModelEntry> before = Rows(*app.Models);
  IconFileIndexes files;
  const QList<QIcon> icons = LoadPrinterIcons(app, &files);
  ASSERT_GE(icons.size(), 18);
  EXPECT_TRUE(SameRows(Rows(*app.Models), before));
  const int code = ImageOfModel(*app.Models, "Package model", files);
  ASSERT_EQ(code, icons.size() - 1);
  EXPECT_EQ(ImageOf(icons[code]).pixelColor(5, 5), QColor(Qt::yellow));
  EXPECT_FALSE(QPixmap(QStringLiteral(":/icons/quillon.png")).isNull());
  EXPECT_FALSE(ApplicationIcon().isNull());
}
