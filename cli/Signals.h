#pragma once
// Ctrl+C and SIGTERM: the handler only notes the request; the main loop
// turns it into the same abort as the progress window's button.

namespace cli {

// Installs the handlers for SIGINT and SIGTERM (without SA_RESTART, so a
// question waiting on the terminal returns at once) and ignores SIGPIPE.
void InstallInterruptHandlers();
// True once SIGINT or SIGTERM arrived.
bool Interrupted();
// The signal that arrived (0 when none).
int InterruptSignal();

}  // namespace cli
