#include "gui/HelpViewer.h"

#include <QCoreApplication>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <iostream>

#include "core/app/AppTitles.h"
#include "gui/ProgramBoxes.h"
#include "resources/Translations.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "0.0.0"
#endif

namespace quillon {

namespace {

QString& HelpPathSlot() {
  static QString path;
  return path;
}

QString AnchorOf(int context) { return QString::number(context); }

}  // namespace

std::vector<QString> HelpFileCandidates(const QString& bin) {
  return HelpFileCandidates(bin, QString::fromLatin1(kHelpFileName));
}

std::vector<QString> HelpFileCandidates(const QString& bin, const QString& name) {
  // Beside the program (a build or a copied folder), then the data folder
  // of the prefix the program runs from, then the system's data folders.
  std::vector<QString> paths{bin + QLatin1Char('/') + name,
                             QDir::cleanPath(bin + QStringLiteral("/../share/quillon/") + name)};
  for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
    const QString path = QDir::cleanPath(dir + QStringLiteral("/quillon/") + name);
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  }
  return paths;
}

QString FindHelpFile(const QString& programDir) {
  // Outside Japanese the English help where it is installed, else the
  // Japanese one rather than none.
  if (ProgramLanguage() != QLatin1String("ja")) {
    for (const QString& path : HelpFileCandidates(programDir, QString::fromLatin1(kHelpFileNameEnglish))) {
      if (QFileInfo(path).isFile()) return path;
    }
  }
  const std::vector<QString> paths = HelpFileCandidates(programDir);
  for (const QString& path : paths) {
    if (QFileInfo(path).isFile()) return path;
  }
  return paths.front();
}

QString HelpFilePath() {
  if (!HelpPathSlot().isEmpty()) return HelpPathSlot();
  return FindHelpFile(QCoreApplication::applicationDirPath());
}

void SetHelpFilePath(const QString& path) { HelpPathSlot() = path; }

QString LoadHelpDocument(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  QString html = QString::fromUtf8(file.readAll());
  html.replace(QStringLiteral("@QUILLON_VERSION@"), QStringLiteral(QUILLON_VERSION));
  return html;
}

std::vector<int> HelpTopics(const QString& html) {
  static const QRegularExpression anchor(QStringLiteral("<a\\s+name=\"(\\d+)\""));
  std::vector<int> topics;
  for (auto it = anchor.globalMatch(html); it.hasNext();) topics.push_back(it.next().captured(1).toInt());
  std::sort(topics.begin(), topics.end());
  return topics;
}

THelpViewer::THelpViewer(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HelpViewer"));
  setWindowTitle(QString::fromUtf8(Boxes().Title().c_str()) + QCoreApplication::translate("THelpViewer", " ﾍﾙﾌﾟ"));
  resize(560, 480);
  Browser = new QTextBrowser(this);
  Browser->setObjectName(QStringLiteral("Browser"));
  Browser->setOpenExternalLinks(false);
  btnClose = new QPushButton(QCoreApplication::translate("THelpViewer", "閉じる"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Browser);
  layout->addWidget(btnClose, 0, Qt::AlignRight);
}

int THelpViewer::ShowTopic(const QString& path, int context) {
  if (path != loadedPath_ || html_.isEmpty()) {
    html_ = LoadHelpDocument(path);
    loadedPath_ = path;
    topics_ = HelpTopics(html_);
    if (html_.isEmpty()) {
      std::cerr << "help file not found: " << path.toStdString() << '\n';
      Browser->setPlainText(QCoreApplication::translate("THelpViewer", "ヘルプファイルが見つかりません。\n") + path);
    } else {
      Browser->setHtml(html_);
    }
  }
  const bool known = std::binary_search(topics_.begin(), topics_.end(), context);
  currentContext_ = known ? context : 0;
  // A help window asked for from inside a modal box must take input
  // itself, so it becomes modal too; from the main window it stays free.
  const Qt::WindowModality modality =
      QApplication::activeModalWidget() && QApplication::activeModalWidget() != this
          ? Qt::ApplicationModal
          : Qt::NonModal;
  if (windowModality() != modality) {
    hide();
    setWindowModality(modality);
  }
  show();
  raise();
  activateWindow();
  if (!html_.isEmpty()) Browser->scrollToAnchor(AnchorOf(currentContext_));
  return known && !html_.isEmpty() ? 1 : 0;
}

namespace {
QPointer<THelpViewer>& ViewerSlot() {
  static QPointer<THelpViewer> viewer;
  return viewer;
}
// Runs while the application object is still alive, before its widgets go.
void DeleteViewer() { delete ViewerSlot().data(); }
}  // namespace

THelpViewer* HelpViewer() {
  if (!ViewerSlot()) {
    ViewerSlot() = new THelpViewer();
    qAddPostRoutine(DeleteViewer);
  }
  return ViewerSlot();
}

int ShowHelp(int context) { return HelpViewer()->ShowTopic(HelpFilePath(), context); }

}  // namespace quillon
