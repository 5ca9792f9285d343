#pragma once
// SIGTERM, SIGINT and SIGHUP end the program from wherever it is, also from
// inside a dialog: every open dialog is dismissed as by its close box (the
// progress window asks its thread to stop and keeps the thread's result),
// every window is closed the ordinary way, so the settings are still
// written, and the loop is left. A dialog shown after that is dismissed as
// soon as it shows, so nothing waits for an answer that cannot come.

class QObject;

namespace quillon {

// Installs the handlers; the first of these signals calls RequestQuit().
// Call once, after QApplication exists.
void InstallQuitSignals(QObject* parent);

// What a quit signal does, carried out on the user-interface thread.
void RequestQuit();
// True once the program has been asked to end.
bool QuitRequested();
// For a wait on the user-interface thread (a console query): true once the
// program is ending; a quit signal that arrived during the wait is carried
// out first, as RequestQuit().
bool WaitAborted();
// Forgets the request (tests that go on after one).
void ClearQuitRequest();

}  // namespace quillon
