#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "netlib/ChunkSource.h"
#include "netlib/FtpListing.h"
#include "netlib/SocketStream.h"
#include "netlib/quillon.h"

namespace quillon::net {

// The waits of one FTP session. Reads wait at most readMs for a byte, so a
// printer that neither answers nor closes cannot hold the call forever.
struct FtpTimeouts {
  int readMs = 60000;
  int listAcceptMs = 15000;
  int storeAcceptMs = 5000;
  int connectCycles = 20;
  int connectCycleMs = 1000;
};

// Longest names that fit the 256-byte command buffer with the command word
// and CR LF.
constexpr size_t kMaxDirectoryName = 249;
constexpr size_t kMaxStoreName = 248;

// A data port drawn from the clock: 10000..29999.
int InitialDataPort();
// The port after `port`: wraps to 10000 above 32000 or below 0.
int NextDataPort(int port);
// "PORT h1,h2,h3,h4,p1,p2\r\n" for a dotted local address; false when it
// does not fit.
bool FormatPortLine(char* buffer, size_t size, const char* localAddress, int port);

// The command sequence of one upload over an active-mode connection.
class FtpSession {
 public:
  explicit FtpSession(const FtpTimeouts& timeouts = FtpTimeouts(), int dataPort = -1);
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  void SetNotify(const QUILLON_NotifyTarget* notify) { control_.SetNotify(notify); }

  // 0, ERR_CONNECT or ERR_CANCELLED. Port 0 means 21.
  uint32_t Login(const char* host, const char* user, const char* password, int port);
  // 0 positive, 1 no reply, 2 any other reply (or a name that cannot be sent).
  int ChangeDirectory(const char* directory);
  // 0, 1 no listening port, 2 PORT refused, 3 no data connection,
  // 4 final reply not positive (or the listing stalled).
  int List();
  // 0, ERR_NO_REPLY or ERR_TYPE.
  uint32_t SetBinary();
  // Sends source as remoteName in chunks. 0 or a result code.
  uint32_t Store(const QUILLON_NotifyTarget* notify, const char* remoteName,
                 ChunkSource& source, size_t chunkSize);
  // Sends "Quit" without waiting for a reply, closes both connections.
  int Quit();

  int DataPort() const { return dataPort_; }
  void SetDataPort(int port) { dataPort_ = port; }
  const std::vector<FtpListEntry>& Listing() const { return listing_; }
  SocketStream& Control() { return control_; }

 private:
  enum class DataPortResult { Ok, NoPort, Refused, Cancelled };
  DataPortResult OpenDataPort(const QUILLON_NotifyTarget* notify, bool forStore);
  int ReadReply();
  bool SendCommand(const char* word, const char* argument, size_t maxArgument);

  FtpTimeouts timeouts_;
  SocketStream control_;
  SocketStream data_;
  int dataPort_;
  std::vector<FtpListEntry> listing_;
  char work_[256] = {};
};

}  // namespace quillon::net
