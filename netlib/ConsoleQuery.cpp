#include "netlib/ConsoleQuery.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <strings.h>
#include <time.h>

#include <cerrno>
#include <cstring>

#include "netlib/LastError.h"
#include "netlib/SocketStream.h"
#include "netlib/quillon.h"

namespace quillon::net {
namespace {

constexpr size_t kLineSize = 255;  // of the 256-byte line buffer
constexpr size_t kValueSize = 40;

bool ResolveHost(const char* host, in_addr* out) {
  if (host == nullptr || *host == '\0') return false;
  if (::inet_pton(AF_INET, host, out) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return true;
}

void PauseMs(int ms) {
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

bool Send(ConsoleChannel& channel, const char* text) {
  return channel.SendBytes(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

}  // namespace

bool IsAcceptedPrompt(const char* line) {
  static const char kPrompts[][32] = {"RX-LN1", "RX-LN2", "kest", ""};
  for (const char* prompt : kPrompts) {
    if (*prompt == '\0') break;
    if (std::strncmp(line, prompt, std::strlen(prompt)) == 0) return true;
  }
  return false;
}

void TakeValue(const char* line, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  const char* start = std::strstr(line, ": ");
  if (start == nullptr) return;
  start += 2;
  size_t length = std::strcspn(start, "\r\n");
  if (length > size - 1) {
    length = size - 1;
    // Step back over continuation bytes so no character is split.
    while (length > 0 && (static_cast<unsigned char>(start[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(out, start, length);
  out[length] = '\0';
}

UniqueFd ConsoleConnect(const char* host, const ConsoleOptions& options) {
  in_addr address{};
  if (!ResolveHost(host, &address)) return UniqueFd();
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(options.port > 0 ? options.port : 23));
  peer.sin_addr = address;
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid() || !SetBlocking(fd.Get(), false)) return UniqueFd();
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0) {
    SetBlocking(fd.Get(), true);
    return fd;
  }
  const bool failed = errno != EINPROGRESS;
  bool readable = false;
  for (int cycle = 0; cycle < options.connectCycles && !readable; ++cycle) {
    PauseMs(options.connectPauseMs);
    const int r = WaitFdReadable(fd.Get(), options.waitMs);
    if (r < 0) break;
    readable = r > 0;
  }
  int error = 0;
  socklen_t len = sizeof(error);
  if (readable && ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
  if (!readable || failed || error != 0) return UniqueFd();
  SetBlocking(fd.Get(), true);
  return fd;
}

int SocketConsole::WaitReadable(int timeoutMs) { return WaitFdReadable(fd_, timeoutMs); }

long SocketConsole::ReceiveByte(unsigned char* byte) {
  ssize_t r;
  do {
    r = ::recv(fd_, byte, 1, 0);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

bool SocketConsole::SendBytes(const unsigned char* bytes, size_t length) {
  return ::send(fd_, bytes, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

uint32_t QueryConsole(ConsoleChannel& channel, char* model, char* version,
                      const ConsoleOptions& options) {
  char line[kLineSize + 1] = {};
  auto read = [&]() { return ReadConsoleLine(channel, line, kLineSize, options.waitMs); };
  uint32_t result = ERR_NOT_PRINTER;

  // Login: wait for "User:" (any case), answer with the login name.
  for (int i = 0; i < options.maxLines && read() == 0; ++i) {
    if (strncasecmp(line, "User:", 5) == 0) {
      Send(channel, "kest\r\n");
      read();
      break;
    }
  }
  read();
  read();
  if (IsAcceptedPrompt(line)) {
    channel.SendBytes(reinterpret_cast<const unsigned char*>("stat port"), 9);
    channel.SendBytes(reinterpret_cast<const unsigned char*>("\r\n"), 2);
    read();
    read();
    bool found = false;
    for (int i = 0; i < options.maxLines && read() == 0; ++i) {
      if (std::strstr(line, "Model name  :") != nullptr) {
        found = true;
        break;
      }
    }
    // Without a model line there is nothing to take: both stay empty.
    if (found) {
      TakeValue(line, model, kValueSize);
      if (read() == 0) TakeValue(line, version, kValueSize);
      for (int i = 0; i < options.maxLines && read() == 0 && !IsAcceptedPrompt(line); ++i) {
      }
    }
    result = 0;
  }
  const unsigned char logout[3] = {kIac, kWill, kOptLogout};
  channel.SendBytes(logout, sizeof(logout));
  return result;
}

uint32_t Query(const char* host, char* model, char* version, const ConsoleOptions& options) {
  UniqueFd fd = ConsoleConnect(host, options);
  if (!fd.Valid()) return ERR_CONNECT;
  SocketConsole channel(fd.Get());
  const uint32_t result = QueryConsole(channel, model, version, options);
  ::shutdown(fd.Get(), SHUT_RDWR);
  return result;
}

}  // namespace quillon::net

extern "C" QUILLON_API int QUILLON_GetPrinterInfo(const char* host, PrinterInfo* info) {
  using namespace quillon::net;
  static_assert(sizeof(PrinterInfo) == 80, "the result block is 80 bytes");
  if (info == nullptr) {
    SetLastErrorCode(QUILLON_ERROR_INVALID_PARAMETER);
    return 0;
  }
  try {
    char model[40] = {};
    char version[40] = {};
    const uint32_t result = Query(host, model, version);
    if (result != 0) {
      SetLastErrorCode(result);
      return 0;
    }
    std::memset(info, 0, sizeof(*info));
    std::memcpy(info->ModelName, model, sizeof(model));
    std::memcpy(info->Version, version, sizeof(version));
    return 1;
  } catch (...) {
    SetLastErrorCode(ERR_CONNECT);
    return 0;
  }
}
