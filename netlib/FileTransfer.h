#pragma once
#include <cstdint>
#include <string>

#include "netlib/ChunkSource.h"
#include "netlib/FtpSession.h"
#include "netlib/quillon.h"
#include "platform/Error.h"

namespace quillon::net {

struct TransferOptions {
  int controlPort = 21;  // a port in the host text wins
  int dataPort = -1;     // first data port; -1 draws it from the clock
  size_t chunkSize = 512;
  FtpTimeouts timeouts;
};

// The remote name of a local job file: its base name.
std::string RemoteNameOf(const char* localPath);

// The upload behind QUILLON_FileTransfer: the result code with its cause
// (empty on success). host is a name, an IPv4 or IPv6 address, optionally
// with ":port" ("[v6]:port"). source, when given, stands in for the local
// file's bytes (the remote name still comes from localPath).
platform::Error TransferFile(const QUILLON_NotifyTarget* notify, const char* host,
                             const char* directory, const char* localPath,
                             const TransferOptions& options = TransferOptions(),
                             ChunkSource* source = nullptr);

}  // namespace quillon::net
