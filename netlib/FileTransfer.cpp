#include "netlib/FileTransfer.h"

#include <cstring>

#include "netlib/LastError.h"
#include "netlib/NetAddress.h"
#include "netlib/Notify.h"

namespace quillon::net {

std::string RemoteNameOf(const char* localPath) {
  if (localPath == nullptr) return std::string();
  const char* slash = std::strrchr(localPath, '/');
  return std::string(slash ? slash + 1 : localPath);
}

namespace {

platform::Error Result(uint32_t code, const std::string& detail) {
  return platform::Error::Of(static_cast<int>(code), code == 0 ? std::string() : detail);
}

}  // namespace

platform::Error TransferFile(const QUILLON_NotifyTarget* notify, const char* host,
                             const char* directory, const char* localPath,
                             const TransferOptions& options, ChunkSource* source) {
  FtpSession session(options.timeouts, options.dataPort);  // quits on every return
  if (NotifyCaller(notify, NOTIFY_BEGIN, 0))
    return Result(ERR_CANCELLED, "cancelled by the caller at the start");
  // POSIX sockets need no start-up: the socket layer is always ready.
  if (NotifyCaller(notify, NOTIFY_NET_READY, 0))
    return Result(ERR_CANCELLED, "cancelled by the caller at the start");
  if (IsNotifyTarget(notify)) session.SetNotify(notify);

  HostPort target;
  const platform::Error parsed =
      ParseHostPort(host ? host : "", options.controlPort, &target);
  if (parsed.Failed()) return Result(ERR_CONNECT, parsed.detail);

  const uint32_t login = session.Login(target.host.c_str(), "", "", target.port);
  if (login != 0) return Result(login, session.Detail());
  if (NotifyCaller(notify, NOTIFY_LOGGED_IN, 0))
    return Result(ERR_CANCELLED, "cancelled by the caller after the login");
  // The printer's code for all of these is ERR_DIRECTORY; the detail tells
  // which step it was. An abort while one of them waited is the caller's.
  const auto directoryFailed = [&] {
    return Result(session.Aborted() ? ERR_CANCELLED : ERR_DIRECTORY, session.Detail());
  };
  if (session.ChangeDirectory(directory ? directory : "") != 0) return directoryFailed();
  if (session.List() != 0) return directoryFailed();
  session.SetBinary();  // a refusal does not stop the upload
  if (session.Aborted())
    return Result(ERR_CANCELLED, "cancelled by the caller while waiting for the reply to TYPE I");

  // The local path names folders here; the printer gets the plain name.
  const std::string remoteName = RemoteNameOf(localPath);
  LocalFileSource file(localPath ? localPath : "");
  const uint32_t result = session.Store(notify, remoteName.c_str(), source ? *source : file,
                                        options.chunkSize);
  session.Quit();
  return Result(result, session.Detail());
}

}  // namespace quillon::net

extern "C" QUILLON_API int QUILLON_FileTransfer(const QUILLON_NotifyTarget* notify,
                                                const char* host, const char* directory,
                                                const char* file) {
  using namespace quillon::net;
  platform::Error result;
  try {
    result = TransferFile(notify, host, directory, file);
  } catch (...) {
    result = platform::Error::Of(ERR_CONNECT, "internal failure");
  }
  SetLastErrorCode(static_cast<uint32_t>(result.code));
  SetLastErrorDetail(result.detail);
  return result.code;
}
