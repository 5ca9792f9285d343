#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"

namespace cli {
int RunDownload(const Options&) { return kExitInput; }
}  // namespace cli
