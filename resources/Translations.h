#pragma once
// The program's languages. Japanese is the source language of every text
// (the string table and the forms); in any other locale the English
// translation (resources/translations/*.ts, built with lrelease into the
// program's resources) replaces it. Qt's own texts (standard dialogs, the
// edit menu) follow the locale through Qt's qtbase translation.

#include <QLocale>
#include <QString>

#include <string>

class QCoreApplication;

namespace quillon {

// True for a Japanese locale: the source texts are shown as they are.
bool UsesSourceLanguage(const QLocale& locale);

// Installs Qt's translation and, outside Japanese locales, the English one,
// for QLocale::system() (LC_ALL, LC_MESSAGES, LANG). Once per process,
// after the application object exists. Returns the program translation's
// language ("ja" or "en").
QString InstallTranslations(QCoreApplication& app);
// The same for a given locale (tests switch languages with it); a second
// call replaces the first one's translators.
QString InstallTranslations(QCoreApplication& app, const QLocale& locale);

// The language of the program's texts: that of the last InstallTranslations,
// else the system locale's ("ja" or "en").
QString ProgramLanguage();

// A text of the code in the current language: QCoreApplication::translate
// as a std::string (UTF-8).
std::string TrText(const char* context, const char* source);

}  // namespace quillon
