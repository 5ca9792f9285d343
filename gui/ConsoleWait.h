#pragma once
// A printer's console is asked on the window's thread: the code after the
// query needs its answer. While the query waits, the windows are still
// drawn, and a click on a window's close box is taken as the operator's
// "stop and close": the query ends at once and the program closes as for a
// quit signal, instead of the click waiting out the query's bounds.

namespace quillon {

// The stop check for a console query on the window's thread: true once a
// quit signal came or a main window's close box was clicked during a wait.
bool ConsoleWaitAborted();

// True while such a check takes the window system's events (the printer
// watch does not start a refresh from inside a query then).
bool InConsoleWait();

}  // namespace quillon
