#pragma once
// The file layer that libmspack reads and writes through: plain descriptors,
// regular files only on input (a FIFO or device would block or never end),
// outputs created without following a planted link, no messages on stderr.

struct mspack_system;

namespace platform {

// One shared, stateless instance.
mspack_system* MspackFileSystem();

}  // namespace platform
