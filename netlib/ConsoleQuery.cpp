#include "netlib/ConsoleQuery.h"

#include <sys/socket.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "netlib/LastError.h"
#include "netlib/NetAddress.h"
#include "netlib/ShiftJis.h"
#include "netlib/SocketIo.h"
#include "netlib/quillon.h"
#include "platform/Text.h"

namespace quillon::net {
namespace {


void PauseMs(int ms) {
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

bool Send(ConsoleChannel& channel, const char* text, size_t length) {
  return channel.SendBytes(reinterpret_cast<const unsigned char*>(text), length);
}

// The line as a reason shows it: without its line end, cut short.
std::string Shown(const char* line) {
  std::string text(line, std::strcspn(line, "\r\n"));
  return std::string(platform::Utf8Cut(ShiftJisToUtf8(text), 60));
}

bool IsLoginRequest(const char* line) {
  return platform::SameTextNoCase(std::string_view(line, ::strnlen(line, 5)), "User:");
}

// Without the blanks and tabs at either end: consoles pad their values.
std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The line without its line end and trailing blanks fits the version bound.
bool VersionLineFits(const char* line) {
  std::string_view text(line, std::strcspn(line, "\r\n"));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text.size() <= kConsoleVersionLineMax;
}

}  // namespace

std::string TakeValue(const char* line) {
  const char* start = std::strstr(line, ": ");
  if (start == nullptr) return {};
  start += 2;
  const std::string_view value = TrimBlanks(std::string_view(start, std::strcspn(start, "\r\n")));
  // Shift-JIS trail bytes are never blanks: trimming after the cut is safe.
  return ShiftJisToUtf8(TrimBlanks(value.substr(0, ShiftJisFitLength(value, kConsoleValueMax))));
}

platform::UniqueFd ConsoleConnect(const char* host, const ConsoleOptions& options,
                                  platform::Error* error, AbortPoll* abort) {
  HostPort target;
  *error = ParseHostPort(host ? host : "", options.port > 0 ? options.port : 23, &target);
  if (error->Failed()) {
    error->code = ERR_CONNECT;
    return {};
  }
  std::vector<NetAddress> addresses;
  // The name's lookup is part of the connect: bounded, and cut by an abort.
  LookupWait wait;
  if (abort != nullptr) {
    wait.abort = [](void* poll) { return static_cast<AbortPoll*>(poll)->Ask(); };
    wait.context = abort;
  }
  *error = ResolveHost(target.host, target.port, &addresses, wait);
  if (error->Failed()) return {};
  // The cycles are shared by all addresses: the whole connect stays bounded.
  int cycle = 0;
  for (const NetAddress& address : addresses) {
    const std::string where = "console at " + address.HostText() + " port " + std::to_string(target.port);
    platform::UniqueFd fd(::socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.ok() || !SetBlocking(fd.get(), false)) {
      *error = platform::Error::FromErrno(ERR_CONNECT, where);
      continue;
    }
    int failure = 0;
    bool readable = false;
    if (::connect(fd.get(), address.Get(), address.length) == 0) {
      readable = true;
    } else if (errno != EINPROGRESS) {
      failure = errno;
    } else {
      while (cycle < options.connectCycles && !readable) {
        ++cycle;
        PauseMs(options.connectPauseMs);
        const int r = abort != nullptr && abort->Ask() ? -1
                                                       : WaitFdReadable(fd.get(), options.waitMs, abort);
        if (r < 0 && abort != nullptr && abort->Aborted()) {
          *error = platform::Error::Of(ERR_CANCELLED, where + ": cancelled by the caller while connecting");
          return {};
        }
        if (r < 0) {
          failure = errno;
          break;
        }
        readable = r > 0;
      }
      socklen_t len = sizeof(failure);
      if (readable && ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &failure, &len) != 0)
        failure = errno;
    }
    if (failure != 0) {
      *error = platform::Error::FromErrno(ERR_CONNECT, where, failure);
      continue;
    }
    if (!readable) {
      *error = platform::Error::Of(ERR_CONNECT, where + ": no console answer after connecting");
      break;  // the waiting time is used up
    }
    SetBlocking(fd.get(), true);
    *error = platform::Error::Ok();
    return fd;
  }
  return {};
}

int SocketConsole::WaitReadable(int timeoutMs) { return WaitFdReadable(fd_, timeoutMs, abort_); }

long SocketConsole::ReceiveByte(unsigned char* byte) {
  ssize_t r;
  do {
    r = ::recv(fd_, byte, 1, 0);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

bool SocketConsole::SendBytes(const unsigned char* bytes, size_t length) {
  return SendWithin(fd_, bytes, length, Deadline::AfterMs(sendMs_), abort_);
}

platform::Error QueryConsole(ConsoleChannel& channel, std::string* model, std::string* version,
                             const ConsoleOptions& options) {
  const Deadline deadline = Deadline::AfterMs(options.dialogueMs);
  // Each line whole, as far as the reader keeps one: a line that did not
  // fit must not leave the one before it in its place (its value would be
  // taken for this line's).
  char line[kConsoleLineMax + 1] = {};
  char rest[kConsoleLineMax + 1];
  int linesRead = 0;
  auto read = [&]() {
    bool cut = false;
    const uint32_t r = ReadConsoleLine(channel, line, sizeof line, options.waitMs, deadline, &cut);
    linesRead += r == 0;
    // The rest of a longer line is dropped: it is no line of its own.
    for (int i = 0; r == 0 && cut && i < options.maxLines; ++i) {
      if (ReadConsoleLine(channel, rest, sizeof rest, options.waitMs, deadline, &cut) != 0) break;
    }
    return r;
  };
  model->clear();
  version->clear();
  platform::Error result;

  // Login: wait for "User:" (any case), answer with the login name.
  bool loginSent = false;
  for (int i = 0; i < options.maxLines && read() == 0; ++i) {
    if (IsLoginRequest(line)) {
      loginSent = Send(channel, "kest\r\n", 6);
      read();
      break;
    }
  }
  read();
  read();
  if (!IsAcceptedPrompt(line)) {
    if (linesRead == 0)
      result = platform::Error::Of(ERR_NOT_PRINTER, "no console answer after connecting");
    else if (deadline.Expired())
      result = platform::Error::Of(ERR_NOT_PRINTER, "the console dialogue took longer than " +
                                                        std::to_string(options.dialogueMs / 1000) + " s");
    else if (!loginSent && IsLoginRequest(line))
      result = platform::Error::Of(ERR_NOT_PRINTER, "the console did not take the login name");
    else
      result = platform::Error::Of(ERR_NOT_PRINTER, "unknown console prompt \"" + Shown(line) + "\"");
  } else if (!Send(channel, "stat port", 9) || !Send(channel, "\r\n", 2)) {
    result = platform::Error::Of(ERR_NOT_PRINTER, "the console did not take the question");
  } else {
    read();
    read();
    for (int i = 0; i < options.maxLines && read() == 0; ++i) {
      if (std::strstr(line, "Model name  :") != nullptr) break;
    }
    // Without a model line the last line read stands in for it.
    *model = TakeValue(line);
    if (read() == 0 && VersionLineFits(line)) *version = TakeValue(line);
    for (int i = 0; i < options.maxLines && read() == 0 && !IsAcceptedPrompt(line); ++i) {
    }
  }
  const unsigned char logout[3] = {kIac, kWill, kOptLogout};
  channel.SendBytes(logout, sizeof(logout));
  if (channel.Aborted()) {
    model->clear();
    version->clear();
    result = platform::Error::Of(ERR_CANCELLED, "cancelled by the caller during the console dialogue");
  }
  return result;
}

platform::Error Query(const char* host, std::string* model, std::string* version,
                      const ConsoleOptions& options) {
  AbortPoll poll(options.abort, options.abortContext);
  AbortPoll* abort = options.abort != nullptr ? &poll : nullptr;
  platform::Error error;
  platform::UniqueFd fd = ConsoleConnect(host, options, &error, abort);
  if (!fd.ok()) return error;
  SocketConsole channel(fd.get(), options.sendMs, abort);
  const platform::Error result = QueryConsole(channel, model, version, options);
  ::shutdown(fd.get(), SHUT_RDWR);
  return result;
}

platform::Error GetPrinterInfo(const char* host, PrinterInfo* info, const ConsoleOptions& options) {
  static_assert(sizeof(PrinterInfo) == 80, "the result block is 80 bytes");
  if (info == nullptr) return platform::Error::Of(QUILLON_ERROR_INVALID_PARAMETER, "no result block given");
  std::string model, version;
  const platform::Error result = Query(host, &model, &version, options);
  if (result.Failed()) return result;
  // The block keeps UTF-8: each value cut to 39 bytes, never inside a
  // character.
  std::memset(info, 0, sizeof(*info));
  const std::string_view m = platform::Utf8Cut(model, sizeof(info->ModelName) - 1);
  const std::string_view v = platform::Utf8Cut(version, sizeof(info->Version) - 1);
  std::memcpy(info->ModelName, m.data(), m.size());
  std::memcpy(info->Version, v.data(), v.size());
  return platform::Error::Ok();
}

}  // namespace quillon::net

namespace {

// The caller's notify target asked whether the query is to stop.
bool NotifyAsksAbort(void* context) {
  const auto* notify = static_cast<const QUILLON_NotifyTarget*>(context);
  return notify->Callback(notify->Context, WM_TRANSFER_NOTIFY, NOTIFY_WAITING, 0) == 1;
}

int GetPrinterInfoExport(const QUILLON_NotifyTarget* notify, const char* host, PrinterInfo* info) {
  using namespace quillon::net;
  ConsoleOptions options;
  if (notify != nullptr && notify->Callback != nullptr) {
    options.abort = &NotifyAsksAbort;
    options.abortContext = const_cast<QUILLON_NotifyTarget*>(notify);
  }
  platform::Error result;
  try {
    result = GetPrinterInfo(host, info, options);
  } catch (...) {
    result = platform::Error::Of(ERR_CONNECT, "internal failure");
  }
  if (result.Failed()) {
    SetLastErrorCode(static_cast<uint32_t>(result.code));
    SetLastErrorDetail(result.detail);
    return 0;
  }
  SetLastErrorDetail(std::string());
  return 1;
}

}  // namespace

extern "C" QUILLON_API int QUILLON_GetPrinterInfo(const char* host, PrinterInfo* info) {
  return GetPrinterInfoExport(nullptr, host, info);
}

extern "C" QUILLON_API int QUILLON_GetPrinterInfoEx(const QUILLON_NotifyTarget* notify,
                                                    const char* host, PrinterInfo* info) {
  return GetPrinterInfoExport(notify, host, info);
}
