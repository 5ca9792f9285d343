#pragma once
// SIGTERM, SIGINT and SIGHUP close the main window the ordinary way, so the
// settings are still written when the session or a script ends the program.

class QObject;

// Installs the handlers; the application closes all windows and quits on
// the first of these signals. Call once, after QApplication exists.
void InstallQuitSignals(QObject* parent);
