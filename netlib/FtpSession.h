#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "netlib/Bounds.h"
#include "netlib/ChunkSource.h"
#include "netlib/ReplyReader.h"
#include "netlib/SocketStream.h"
#include "netlib/quillon.h"

namespace quillon::net {

// The waits and bounds of one FTP session. Reads wait at most readMs for
// a byte, so a printer that neither answers nor closes cannot hold the
// call forever; the totals bound a peer that never stops talking.
struct FtpTimeouts {
  int readMs = 60000;
  int listAcceptMs = 15000;
  int storeAcceptMs = 5000;
  int connectCycles = 20;
  int connectCycleMs = 1000;
  int replyTotalMs = kReplyTotalMs;
  size_t replyMaxBytes = kReplyMaxBytes;
  int listingTotalMs = kListingTotalMs;
  size_t listingMaxBytes = kListingMaxBytes;
  int sendMs = kSendTotalMs;
};

// Longest names that fit the 256-byte command buffer with the command word
// and CR LF.
constexpr size_t kMaxDirectoryName = 249;
constexpr size_t kMaxStoreName = 248;

// With a notify target, the file goes in runs of this many chunks: each
// chunk is notified, then the run's chunks up to an abort go in one send.
constexpr size_t kChunksPerRun = 128;
// Without one, the file goes in blocks of this size.
constexpr size_t kBulkBlockBytes = 256 * 1024;

// A data port drawn from the clock: 10000..29999.
int InitialDataPort();
// The port after `port`: wraps to 10000 above 32000 or below 0.
int NextDataPort(int port);
// "PORT h1,h2,h3,h4,p1,p2\r\n" for a dotted local address; false when it
// does not fit.
bool FormatPortLine(char* buffer, size_t size, const char* localAddress, int port);
// "EPRT |2|address|port|\r\n" for an IPv6 local address; false when it
// does not fit.
bool FormatEprtLine(char* buffer, size_t size, const char* localAddress, int port);

// The command sequence of one upload over an active-mode connection. Each
// failed step leaves its cause in Detail(): the command with the server's
// reply line, or the system's error text.
class FtpSession {
 public:
  explicit FtpSession(const FtpTimeouts& timeouts = FtpTimeouts(), int dataPort = -1);
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // The caller's notify target: it hears NOTIFY_CONNECTING while the
  // control connection is made and NOTIFY_WAITING while any wait of the
  // session goes on, and its abort answer ends that wait.
  void SetNotify(const QUILLON_NotifyTarget* notify);
  // True once the caller asked for the abort (at a notification or while a
  // wait went on): each step then returns ERR_CANCELLED or its own failure
  // code, and the detail says it was cancelled.
  bool Aborted() const { return abort_.Aborted(); }

  // 0, ERR_CONNECT or ERR_CANCELLED. Port 0 means 21.
  uint32_t Login(const char* host, const char* user, const char* password, int port);
  // 0 positive, 1 no reply, 2 any other reply (or a name that cannot be sent).
  int ChangeDirectory(const char* directory);
  // 0, 1 no listening port, 2 PORT refused, 3 no data connection,
  // 4 final reply not positive (or the listing passed its bounds).
  int List();
  // 0, ERR_NO_REPLY or ERR_TYPE.
  uint32_t SetBinary();
  // Sends source as remoteName in chunks. 0 or a result code
  // (ERR_CANCELLED for any abort).
  uint32_t Store(const QUILLON_NotifyTarget* notify, const char* remoteName,
                 ChunkSource& source, size_t chunkSize);
  // Sends "Quit" without waiting for a reply, closes both connections.
  int Quit();

  int DataPort() const { return dataPort_; }
  void SetDataPort(int port) { dataPort_ = port; }
  // Bytes of the last directory listing (read and dropped).
  size_t ListingBytes() const { return listingBytes_; }
  // The cause of the last failed step; empty while none failed.
  const std::string& Detail() const { return detail_; }
  SocketStream& Control() { return control_; }

 private:
  enum class DataPortResult { Ok, NoPort, Refused, Cancelled };
  DataPortResult OpenDataPort(const QUILLON_NotifyTarget* notify, bool forStore);
  int ReadReply();
  bool SendCommand(const char* word, const char* argument, size_t maxArgument);
  bool SendLine(const char* line);
  // Leaves "step: reply line" (or why no reply came) as the detail.
  void FailReply(const std::string& step);
  void Fail(std::string detail) { detail_ = std::move(detail); }
  // After an abort: "cancelled by the caller" with the step, unless the
  // detail says so already.
  void FailCancelled();
  // Delivers a notification; true (and noted) when it asked for the abort.
  bool Notify(const QUILLON_NotifyTarget* notify, unsigned wParam, intptr_t lParam);
  int ListSteps();
  uint32_t LoginSteps(const char* host, const char* user, const char* password, int port);
  uint32_t StoreSteps(const QUILLON_NotifyTarget* notify, const char* remoteName,
                      ChunkSource& source, size_t chunkSize);
  uint32_t SendFile(const QUILLON_NotifyTarget* notify, ChunkSource& source, size_t chunkSize);
  bool SendFileDirect(int fileFd, int64_t* total);

  FtpTimeouts timeouts_;
  AbortPoll abort_;  // before the streams, which point to it
  SocketStream control_;
  SocketStream data_;
  int dataPort_;
  size_t listingBytes_ = 0;
  std::string step_;  // the last command sent, without its line end
  std::string detail_;
  ReplyEnd replyEnd_ = ReplyEnd::Complete;
  bool fileReadFailed_ = false;
  char work_[256] = {};
};

}  // namespace quillon::net
