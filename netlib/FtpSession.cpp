#include "netlib/FtpSession.h"

#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "netlib/Deadline.h"
#include "netlib/Notify.h"
#include "netlib/SocketIo.h"
#include "netlib/ReplyReader.h"

namespace quillon::net {
namespace {

bool Positive(int code) { return code >= 200 && code <= 299; }

std::string Seconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

}  // namespace

int InitialDataPort() {
  timespec ts{};
  ::clock_gettime(CLOCK_BOOTTIME, &ts);
  const long long ms = static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  return static_cast<int>(ms % 20000) + 10000;
}

int NextDataPort(int port) {
  ++port;
  return (port > 32000 || port < 0) ? 10000 : port;
}

bool FormatPortLine(char* buffer, size_t size, const char* localAddress, int port) {
  char address[32];
  std::snprintf(address, sizeof(address), "%s", localAddress);
  for (char* p = address; *p; ++p) {
    if (*p == '.') *p = ',';
  }
  const int n = std::snprintf(buffer, size, "PORT %s,%d,%d\r\n", address, (port >> 8) & 0xff,
                              port & 0xff);
  return n > 0 && static_cast<size_t>(n) < size;
}

bool FormatEprtLine(char* buffer, size_t size, const char* localAddress, int port) {
  const int n = std::snprintf(buffer, size, "EPRT |2|%s|%d|\r\n", localAddress, port);
  return n > 0 && static_cast<size_t>(n) < size;
}

FtpSession::FtpSession(const FtpTimeouts& timeouts, int dataPort)
    : timeouts_(timeouts), dataPort_(dataPort >= 0 ? dataPort : InitialDataPort()) {
  control_.SetSendTimeout(timeouts_.sendMs);
  control_.SetAbort(&abort_);
  data_.SetAbort(&abort_);
}

void FtpSession::SetNotify(const QUILLON_NotifyTarget* notify) {
  abort_ = AbortPoll(notify);
  control_.SetNotify(notify);
}

bool FtpSession::Notify(const QUILLON_NotifyTarget* notify, unsigned wParam, intptr_t lParam) {
  if (!NotifyCaller(notify, wParam, lParam)) return false;
  abort_.SetAborted();
  return true;
}

void FtpSession::FailCancelled() {
  if (detail_.find("cancelled by the caller") != std::string::npos) return;
  Fail("cancelled by the caller" + (step_.empty() ? std::string() : " during " + step_));
}

FtpSession::~FtpSession() { Quit(); }

int FtpSession::ReadReply() {
  return net::ReadReply(control_, work_, sizeof(work_), timeouts_.readMs, &replyEnd_,
                        timeouts_.replyTotalMs, timeouts_.replyMaxBytes);
}

void FtpSession::FailReply(const std::string& step) {
  std::string why;
  if (Aborted()) {
    why = "cancelled by the caller while waiting for the reply";
  } else if (replyEnd_ == ReplyEnd::Complete && ReplyCode(work_) != 0) {
    why = work_;
  } else {
    switch (replyEnd_) {
      case ReplyEnd::Closed: why = "no reply, the connection closed"; break;
      case ReplyEnd::TimedOut: why = "no reply in time"; break;
      case ReplyEnd::TooLong: why = "reply longer than " + std::to_string(timeouts_.replyMaxBytes) + " bytes"; break;
      case ReplyEnd::Complete: why = "not a reply: \"" + std::string(work_) + "\""; break;
    }
  }
  Fail(step + ": " + why);
}

bool FtpSession::SendLine(const char* line) {
  step_.assign(line, std::strcspn(line, "\r\n"));
  if (control_.Send(line, 0) > 0) return true;
  Fail(step_ + ": " + control_.Detail());
  return false;
}

// Formats "WORD argument\r\n" into the work buffer and sends it. Names
// that would not fit, or that carry a line end of their own (which would
// smuggle in a second command), are not sent.
bool FtpSession::SendCommand(const char* word, const char* argument, size_t maxArgument) {
  if (argument == nullptr) argument = "";
  step_ = word;
  if (std::strlen(argument) > maxArgument) {
    Fail(step_ + ": name longer than " + std::to_string(maxArgument) + " bytes, not sent");
    return false;
  }
  if (std::strpbrk(argument, "\r\n") != nullptr) {
    Fail(step_ + ": name holds a line end, not sent");
    return false;
  }
  const int n = std::snprintf(work_, sizeof(work_), "%s %s\r\n", word, argument);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof(work_)) {
    Fail(step_ + ": line does not fit, not sent");
    return false;
  }
  return SendLine(work_);
}

uint32_t FtpSession::Login(const char* host, const char* user, const char* password, int port) {
  const uint32_t result = LoginSteps(host, user, password, port);
  if (result == 0 || !Aborted()) return result;
  FailCancelled();
  return ERR_CANCELLED;
}

// Connect, greeting, USER; PASS only when the server asks for it (3xx).
uint32_t FtpSession::LoginSteps(const char* host, const char* user, const char* password,
                                int port) {
  step_ = "connect";
  const uint32_t connected = control_.Connect(port == 0 ? 21 : port, host,
                                              timeouts_.connectCycles, timeouts_.connectCycleMs);
  if (connected != 0) {
    Fail(control_.Detail());
    return connected;
  }
  step_ = "the greeting";
  const int greeting = ReadReply();
  if (greeting < 200 || greeting > 399) {
    FailReply("greeting");
    return ERR_CONNECT;
  }
  if (!SendCommand("USER", user, sizeof(work_) - 8)) return ERR_CONNECT;
  const int userReply = ReadReply();
  if (userReply < 200 || userReply > 399) {
    FailReply(step_);
    return ERR_CONNECT;
  }
  if (Positive(userReply)) return 0;
  // A refused password is left for the next command's reply to show.
  if (!SendCommand("PASS", password, sizeof(work_) - 8)) return ERR_CONNECT;
  if (ReadReply() != 0) return 0;
  FailReply("PASS");
  return ERR_CONNECT;
}

int FtpSession::ChangeDirectory(const char* directory) {
  if (!SendCommand("CWD", directory, kMaxDirectoryName)) {
    if (Aborted()) FailCancelled();
    return 2;
  }
  const int code = ReadReply();
  if (Positive(code)) return 0;
  FailReply(step_);
  return code == 0 ? 1 : 2;
}

// Listen on the next free port at the control connection's own address, so
// only that interface can reach it, then announce it: PORT for IPv4 (the
// printer's own dialogue), EPRT for IPv6.
FtpSession::DataPortResult FtpSession::OpenDataPort(const QUILLON_NotifyTarget* notify,
                                                    bool forStore) {
  NetAddress local;
  if (!control_.LocalAddress(&local)) {
    Fail("data port: the control connection is gone");
    return DataPortResult::NoPort;
  }
  const int first = dataPort_;
  bool listening = false;
  for (int attempt = 0; attempt < 128; ++attempt) {
    if (forStore && Notify(notify, NOTIFY_CONNECTING, attempt)) {
      Fail("cancelled by the caller while opening the data port");
      return DataPortResult::Cancelled;
    }
    if (data_.Listen(dataPort_, local) == 0) {
      listening = true;
      break;
    }
    data_.CloseListener();
    ++dataPort_;
  }
  if (!listening) {
    Fail("data port: no free local port from " + std::to_string(first) + " to " +
         std::to_string(dataPort_ - 1));
    return DataPortResult::NoPort;
  }

  const std::string address = local.HostText();
  const int port = dataPort_;
  dataPort_ = NextDataPort(dataPort_);
  const bool formatted = local.Family() == AF_INET6
                             ? FormatEprtLine(work_, sizeof(work_), address.c_str(), port)
                             : FormatPortLine(work_, sizeof(work_), address.c_str(), port);
  if (!formatted || !SendLine(work_)) {
    data_.Close();
    return DataPortResult::Refused;
  }
  if (!Positive(ReadReply())) {
    FailReply(step_);
    data_.Close();
    return DataPortResult::Refused;
  }
  return DataPortResult::Ok;
}

int FtpSession::List() {
  const int result = ListSteps();
  if (result != 0 && Aborted()) FailCancelled();
  return result;
}

int FtpSession::ListSteps() {
  switch (OpenDataPort(nullptr, false)) {
    case DataPortResult::Ok: break;
    case DataPortResult::NoPort: return 1;
    default: return 2;
  }
  if (!SendLine("LIST\r\n")) {
    data_.Close();
    return 4;
  }
  if (!data_.AcceptFrom(control_.Peer(), timeouts_.listAcceptMs)) {
    Fail("LIST: the printer did not open the data connection within " +
         Seconds(timeouts_.listAcceptMs));
    data_.Close();
    control_.Drain();
    return 3;
  }
  // Only the listing's end matters: its lines are read and dropped, within
  // a total time and size.
  listingBytes_ = 0;
  const Deadline deadline = Deadline::AfterMs(timeouts_.listingTotalMs);
  char scratch[16 * 1024];
  for (;;) {
    const int wait = deadline.WaitMs(timeouts_.readMs);
    if (wait <= 0 || data_.WaitReadable(wait) <= 0) {
      Fail("LIST: the listing did not end in time (" + std::to_string(listingBytes_) +
           " bytes read)");
      data_.Close();
      return 4;
    }
    const long n = data_.Receive(scratch, sizeof(scratch));
    if (n <= 0) break;
    listingBytes_ += static_cast<size_t>(n);
    if (listingBytes_ > timeouts_.listingMaxBytes) {
      Fail("LIST: listing longer than " + std::to_string(timeouts_.listingMaxBytes) + " bytes");
      data_.Close();
      return 4;
    }
  }
  data_.Close();
  int code = ReadReply();
  if (!Positive(code) && code < 300) code = ReadReply();  // after a preliminary reply
  if (Positive(code)) return 0;
  FailReply("LIST");
  return 4;
}

uint32_t FtpSession::SetBinary() {
  if (!SendLine("TYPE I\r\n")) return ERR_NO_REPLY;
  const int code = ReadReply();
  if (Positive(code)) return 0;
  FailReply("TYPE I");
  return code == 0 ? ERR_NO_REPLY : ERR_TYPE;
}

uint32_t FtpSession::Store(const QUILLON_NotifyTarget* notify, const char* remoteName,
                           ChunkSource& source, size_t chunkSize) {
  const uint32_t result = StoreSteps(notify, remoteName, source, chunkSize);
  if (result == 0 || !Aborted()) return result;
  FailCancelled();
  return ERR_CANCELLED;
}

uint32_t FtpSession::StoreSteps(const QUILLON_NotifyTarget* notify, const char* remoteName,
                                ChunkSource& source, size_t chunkSize) {
  detail_.clear();  // a refused TYPE I does not stop the upload
  switch (OpenDataPort(notify, true)) {
    case DataPortResult::Ok: break;
    case DataPortResult::Cancelled: return ERR_CANCELLED;
    case DataPortResult::NoPort: return ERR_CONNECT;
    case DataPortResult::Refused: return ERR_PORT;
  }
  if (Notify(notify, NOTIFY_SENDING, 0)) {
    Fail("cancelled by the caller before STOR");
    data_.Close();
    return ERR_CANCELLED;
  }
  if (remoteName == nullptr || *remoteName == '\0') {
    Fail("STOR: no file name");
    data_.Close();
    return ERR_STORE;
  }
  if (!SendCommand("STOR", remoteName, kMaxStoreName)) {
    data_.Close();
    return ERR_STORE;
  }
  const int storeReply = ReadReply();
  if (storeReply < 100 || storeReply > 299) {
    FailReply(step_);
    data_.Close();
    return ERR_STORE;
  }
  if (!data_.AcceptFrom(control_.Peer(), timeouts_.storeAcceptMs)) {
    Fail(step_ + ": the printer did not open the data connection within " +
         Seconds(timeouts_.storeAcceptMs));
    data_.Close();
    control_.Drain();
    return ERR_DATA_ACCEPT;
  }
  data_.SetSendTimeout(timeouts_.sendMs);
  data_.SetBulk(true);
  const std::string storeStep = step_;
  uint32_t result = SendFile(notify, source, chunkSize);
  data_.Close();  // ends the file for the server
  if (Notify(notify, NOTIFY_SENT, 0)) {
    Fail("cancelled by the caller after the data");
    return ERR_CANCELLED;
  }
  step_ = "the reply after the data of " + storeStep;
  const int code = ReadReply();
  if (Positive(code)) return result;
  FailReply("after the data of " + storeStep);
  return ERR_TRANSFER_REPLY;
}

// The data loop. Chunks of chunkSize are what the caller sees: one
// NOTIFY_PROGRESS each with the total so far. They are read and sent in
// larger pieces: a run of chunks is notified first, then every chunk up to
// and including the one whose notification asked for the abort goes in
// one send, so the bytes on the wire are those of chunk-by-chunk sending.
// Without a notify target the file goes in large blocks.
uint32_t FtpSession::SendFile(const QUILLON_NotifyTarget* notify, ChunkSource& source,
                              size_t chunkSize) {
  const bool notifying = IsNotifyTarget(notify);
  const size_t chunk = chunkSize > 0 ? chunkSize : 1;
  const size_t block = notifying ? chunk * kChunksPerRun : std::max(chunk, kBulkBlockBytes);
  uint32_t result = 0;
  long readCount = -1;
  long sentCount = -1;
  int64_t total = 0;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[block]);
  if (!buffer) {
    Fail("data: no memory for the send buffer");
  } else if (!source.Open()) {
    Fail("data: cannot open the local file: " + source.ErrorText());
  } else if (Notify(notify, NOTIFY_PROGRESS, static_cast<intptr_t>(source.Length()))) {
    // An abort answered before the first byte stops here: letting the whole
    // file go would load the firmware the operator has just refused.
    result = ERR_CANCELLED;
    readCount = 0;
  } else if (!notifying && source.FileFd() >= 0 && SendFileDirect(source.FileFd(), &total)) {
    // The system sent the file straight from its cache (or failed on it).
    readCount = fileReadFailed_ ? -1 : 0;
    sentCount = total > 0 && (detail_.empty() || fileReadFailed_)
                    ? static_cast<long>(std::min<int64_t>(total, 1 << 30))
                    : -1;
  } else {
    for (;;) {
      readCount = source.Read(buffer.get(), block);
      if (readCount <= 0) break;
      size_t toSend = static_cast<size_t>(readCount);
      if (notifying) {
        for (size_t at = 0; at < static_cast<size_t>(readCount); at += chunk) {
          const size_t end = std::min(at + chunk, static_cast<size_t>(readCount));
          if (Notify(notify, NOTIFY_PROGRESS, static_cast<intptr_t>(total + end))) {
            result = ERR_CANCELLED;
            toSend = end;
            break;
          }
        }
      }
      if (data_.Send(buffer.get(), static_cast<long>(toSend)) < 0) {
        sentCount = -1;
        if (Aborted()) {
          // The abort cut the send short: the count the caller keeps is
          // what went, not what was notified before it.
          total += static_cast<int64_t>(data_.LastSent());
          Notify(notify, NOTIFY_PROGRESS, static_cast<intptr_t>(total));
          result = ERR_CANCELLED;
        }
        break;
      }
      sentCount = static_cast<long>(toSend);
      total += static_cast<int64_t>(toSend);
      if (result == ERR_CANCELLED) break;
    }
  }
  source.Close();
  // Nothing sent (no buffer, no file, an empty file) is never a success;
  // an operator's abort before the first byte keeps its own code.
  if (readCount < 0 && result != ERR_CANCELLED) {
    result = ERR_FILE_READ;
    if (detail_.empty())
      Fail("data: reading the local file failed after " + std::to_string(total) +
           " bytes: " + source.ErrorText());
  }
  if (sentCount < 0 && result != ERR_CANCELLED) {
    result = ERR_DATA_SEND;
    if (readCount == 0 && total == 0 && detail_.empty()) Fail("data: the local file is empty");
    else if (readCount > 0) Fail("data: send failed after " + std::to_string(total) + " bytes: " + data_.Detail());
  }
  if (result == ERR_CANCELLED && detail_.empty())
    Fail("cancelled by the caller after " + std::to_string(total) + " bytes");
  return result;
}

namespace {

// Holds SIGPIPE back on this thread for the life of the object and takes
// away any that the sends raised meanwhile; the caller's own disposition
// and other threads are left alone.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    // One already waiting belongs to someone else: leave it in place.
    pendingBefore_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
  }
  ~SigpipeBlock() {
    if (!blocked_) return;
    if (!pendingBefore_) {
      const timespec none{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &none) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool pendingBefore_ = false;
  bool blocked_ = false;
};

}  // namespace

// Sends the rest of a regular file with sendfile, each block within the
// send bound. False when the system cannot send from this file (nothing was
// sent then); true otherwise, with a failure left in the detail.
bool FtpSession::SendFileDirect(int fileFd, int64_t* total) {
  // sendfile has no MSG_NOSIGNAL: a printer closing the connection would
  // end the caller's whole process with SIGPIPE.
  const SigpipeBlock noSigpipe;
  const int socket = data_.Fd();
  if (!SetBlocking(socket, false)) return false;
  Deadline deadline = Deadline::AfterMs(timeouts_.sendMs);
  for (;;) {
    const ssize_t n = ::sendfile(socket, fileFd, nullptr, kBulkBlockBytes);
    if (n > 0) {
      *total += n;
      deadline = Deadline::AfterMs(timeouts_.sendMs);
      continue;
    }
    if (n == 0) return true;  // the end of the file
    if (errno == EINTR) continue;
    if ((errno == EINVAL || errno == ENOSYS) && *total == 0) {
      SetBlocking(socket, true);
      return false;
    }
    if (errno == EIO) {  // the file, not the connection
      Fail("data: reading the local file failed after " + std::to_string(*total) + " bytes: " +
           std::strerror(errno));
      fileReadFailed_ = true;
      return true;
    }
    if (errno != EAGAIN) {
      Fail("data: send failed after " + std::to_string(*total) + " bytes: " + std::strerror(errno));
      return true;
    }
    const int wait = deadline.WaitMs(-1);
    if (wait == 0 || WaitFdWritable(socket, wait) <= 0) {
      Fail("data: send failed after " + std::to_string(*total) + " bytes: the printer took nothing for " +
           std::to_string(timeouts_.sendMs) + " ms");
      return true;
    }
  }
}

int FtpSession::Quit() {
  if (control_.Connected()) control_.Send("Quit\r\n", 0);
  control_.Close();
  data_.Close();
  return 0;
}

}  // namespace quillon::net
