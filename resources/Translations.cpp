#include "resources/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace quillon {
namespace {

struct Installed {
  std::unique_ptr<QTranslator> qt;
  std::unique_ptr<QTranslator> program;
  QString language;
};

Installed& Slot() {
  static Installed installed;
  return installed;
}

void Remove(std::unique_ptr<QTranslator>& t) {
  if (t) QCoreApplication::removeTranslator(t.get());
  t.reset();
}

}  // namespace

bool UsesSourceLanguage(const QLocale& locale) {
  return locale.language() == QLocale::Japanese;
}

QString InstallTranslations(QCoreApplication& app) { return InstallTranslations(app, QLocale::system()); }

QString InstallTranslations(QCoreApplication& app, const QLocale& locale) {
  Installed& in = Slot();
  Remove(in.qt);
  Remove(in.program);
  // Qt's own texts in the locale's language, where Qt has them.
  auto qt = std::make_unique<QTranslator>();
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(qt.get());
    in.qt = std::move(qt);
  }
  if (UsesSourceLanguage(locale)) return in.language = QStringLiteral("ja");
  auto program = std::make_unique<QTranslator>();
  if (program->load(QStringLiteral(":/translations/quillon_en.qm"))) {
    app.installTranslator(program.get());
    in.program = std::move(program);
  }
  return in.language = QStringLiteral("en");
}

QString ProgramLanguage() {
  const QString& installed = Slot().language;
  if (!installed.isEmpty()) return installed;
  return UsesSourceLanguage(QLocale::system()) ? QStringLiteral("ja") : QStringLiteral("en");
}

std::string TrText(const char* context, const char* source) {
  return QCoreApplication::translate(context, source).toStdString();
}

}  // namespace quillon
