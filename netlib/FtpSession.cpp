#include "netlib/FtpSession.h"


#include <time.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "netlib/LineReader.h"
#include "netlib/Notify.h"
#include "netlib/ReplyReader.h"

namespace quillon::net {
namespace {

bool Positive(int code) { return code >= 200 && code <= 299; }

int CurrentYear() {
  const time_t now = ::time(nullptr);
  tm local{};
  ::localtime_r(&now, &local);
  return local.tm_year + 1900;
}

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

FtpSession::FtpSession(const FtpTimeouts& timeouts, int dataPort)
    : timeouts_(timeouts), dataPort_(dataPort >= 0 ? dataPort : InitialDataPort()) {}

FtpSession::~FtpSession() { Quit(); }

int FtpSession::ReadReply() {
  return net::ReadReply(control_, work_, sizeof(work_), timeouts_.readMs);
}

// Formats "WORD argument\r\n" into the work buffer and sends it. Names
// that would not fit, or that carry a line end of their own (which would
// smuggle in a second command), are not sent.
bool FtpSession::SendCommand(const char* word, const char* argument, size_t maxArgument) {
  if (argument == nullptr) argument = "";
  if (std::strlen(argument) > maxArgument || std::strpbrk(argument, "\r\n") != nullptr)
    return false;
  const int n = std::snprintf(work_, sizeof(work_), "%s %s\r\n", word, argument);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof(work_)) return false;
  return control_.Send(work_, n) == n;
}

// Connect, greeting, USER; PASS only when the server asks for it (3xx).
uint32_t FtpSession::Login(const char* host, const char* user, const char* password, int port) {
  const uint32_t connected = control_.Connect(port == 0 ? 21 : port, host,
                                              timeouts_.connectCycles, timeouts_.connectCycleMs);
  if (connected != 0) return connected;
  const int greeting = ReadReply();
  if (greeting < 200 || greeting > 399) return ERR_CONNECT;
  if (!SendCommand("USER", user, sizeof(work_) - 8)) return ERR_CONNECT;
  const int userReply = ReadReply();
  if (userReply < 200 || userReply > 399) return ERR_CONNECT;
  if (Positive(userReply)) return 0;
  // A refused password is left for the next command's reply to show.
  if (!SendCommand("PASS", password, sizeof(work_) - 8)) return ERR_CONNECT;
  return ReadReply() != 0 ? 0 : ERR_CONNECT;
}

int FtpSession::ChangeDirectory(const char* directory) {
  if (!SendCommand("CWD", directory, kMaxDirectoryName)) return 2;
  const int code = ReadReply();
  if (code == 0) return 1;
  return Positive(code) ? 0 : 2;
}

// Listen on the next free port at the control connection's own address, so
// only that interface can reach it, then announce it with PORT.
FtpSession::DataPortResult FtpSession::OpenDataPort(const QUILLON_NotifyTarget* notify,
                                                    bool forStore) {
  in_addr local{};
  control_.LocalInAddr(&local);
  bool listening = false;
  for (int attempt = 0; attempt < 128; ++attempt) {
    if (forStore && NotifyCaller(notify, NOTIFY_CONNECTING, attempt))
      return DataPortResult::Cancelled;
    if (data_.Listen(dataPort_, local) == 0) {
      listening = true;
      break;
    }
    data_.CloseListener();
    ++dataPort_;
  }
  if (!listening) return DataPortResult::NoPort;

  char address[32];
  control_.LocalAddress(address, sizeof(address));
  const int port = dataPort_;
  dataPort_ = NextDataPort(dataPort_);
  if (FormatPortLine(work_, sizeof(work_), address, port)) control_.Send(work_, 0);
  if (!Positive(ReadReply())) {
    data_.Close();
    return DataPortResult::Refused;
  }
  return DataPortResult::Ok;
}

int FtpSession::List() {
  switch (OpenDataPort(nullptr, false)) {
    case DataPortResult::Ok: break;
    case DataPortResult::NoPort: return 1;
    default: return 2;
  }
  control_.Send("LIST\r\n", 0);
  if (!data_.AcceptFrom(control_.PeerInAddr(), timeouts_.listAcceptMs)) {
    data_.Close();
    control_.Drain();
    return 3;
  }
  listing_.clear();
  ListingBuilder builder(listing_, CurrentYear());
  char line[256];
  for (;;) {
    bool expired = false;
    if (ReadLine(data_, line, sizeof(line), timeouts_.readMs, &expired) == 0) {
      if (expired) {
        data_.Close();
        return 4;
      }
      break;
    }
    StripLineEnd(line);
    builder.Add(line);
  }
  data_.Close();
  const int code = ReadReply();
  if (Positive(code)) return 0;
  if (code >= 300) return 4;
  return Positive(ReadReply()) ? 0 : 4;  // after a preliminary reply
}

uint32_t FtpSession::SetBinary() {
  control_.Send("TYPE I\r\n", 0);
  const int code = ReadReply();
  if (code == 0) return ERR_NO_REPLY;
  return Positive(code) ? 0 : ERR_TYPE;
}

uint32_t FtpSession::Store(const QUILLON_NotifyTarget* notify, const char* remoteName,
                           ChunkSource& source, size_t chunkSize) {
  switch (OpenDataPort(notify, true)) {
    case DataPortResult::Ok: break;
    case DataPortResult::Cancelled: return ERR_CANCELLED;
    case DataPortResult::NoPort: return ERR_CONNECT;
    case DataPortResult::Refused: return ERR_PORT;
  }
  if (NotifyCaller(notify, NOTIFY_SENDING, 0)) {
    data_.Close();
    return ERR_CANCELLED;
  }
  const bool sent = remoteName != nullptr && *remoteName != '\0' &&
                    SendCommand("STOR", remoteName, kMaxStoreName);
  const int storeReply = sent ? ReadReply() : 0;
  if (storeReply < 100 || storeReply > 299) {
    data_.Close();
    return ERR_STORE;
  }
  if (!data_.AcceptFrom(control_.PeerInAddr(), timeouts_.storeAcceptMs)) {
    data_.Close();
    control_.Drain();
    return ERR_DATA_ACCEPT;
  }
  data_.SetSendTimeout(timeouts_.readMs);
  data_.SetBulk(true);

  uint32_t result = 0;
  long readCount = -1;
  long sentCount = -1;
  int64_t total = 0;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[chunkSize > 0 ? chunkSize : 1]);
  if (buffer && source.Open()) {
    // An abort answered before the first byte stops here: letting the whole
    // file go would load the firmware the operator has just refused.
    if (NotifyCaller(notify, NOTIFY_PROGRESS, static_cast<intptr_t>(source.Length()))) {
      result = ERR_CANCELLED;
      readCount = 0;
    } else {
      readCount = source.Read(buffer.get(), chunkSize);
    }
    while (readCount > 0) {
      sentCount = data_.Send(buffer.get(), readCount);
      if (sentCount == -1) break;
      total += sentCount;
      if (NotifyCaller(notify, NOTIFY_PROGRESS, static_cast<intptr_t>(total))) {
        result = ERR_CANCELLED;
        break;
      }
      readCount = source.Read(buffer.get(), chunkSize);
    }
  }
  source.Close();
  // Nothing sent (no buffer, no file, an empty file) is never a success;
  // an operator's abort before the first byte keeps its own code.
  if (readCount < 0) result = ERR_FILE_READ;
  if (sentCount < 0 && result != ERR_CANCELLED) result = ERR_DATA_SEND;
  data_.Close();  // ends the file for the server
  if (NotifyCaller(notify, NOTIFY_SENT, 0)) return ERR_CANCELLED;
  return Positive(ReadReply()) ? result : ERR_TRANSFER_REPLY;
}

int FtpSession::Quit() {
  if (control_.Connected()) control_.Send("Quit\r\n", 0);
  control_.Close();
  data_.Close();
  return 0;
}

}  // namespace quillon::net
