#include "netlib/FileTransfer.h"

#include <cstring>

#include "netlib/Notify.h"

namespace quillon::net {

std::string RemoteNameOf(const char* localPath) {
  if (localPath == nullptr) return std::string();
  const char* slash = std::strrchr(localPath, '/');
  return std::string(slash ? slash + 1 : localPath);
}

uint32_t TransferFile(const QUILLON_NotifyTarget* notify, const char* host,
                      const char* directory, const char* localPath,
                      const TransferOptions& options, ChunkSource* source) {
  FtpSession session(options.timeouts, options.dataPort);  // quits on every return
  if (NotifyCaller(notify, NOTIFY_BEGIN, 0)) return ERR_CANCELLED;
  // POSIX sockets need no start-up: the socket layer is always ready.
  if (NotifyCaller(notify, NOTIFY_NET_READY, 0)) return ERR_CANCELLED;
  if (IsNotifyTarget(notify)) session.SetNotify(notify);

  const uint32_t login = session.Login(host, "", "", options.controlPort);
  if (login != 0) return login;
  if (NotifyCaller(notify, NOTIFY_LOGGED_IN, 0)) return ERR_CANCELLED;
  if (session.ChangeDirectory(directory ? directory : "") != 0) return ERR_DIRECTORY;
  if (session.List() != 0) return ERR_DIRECTORY;
  session.SetBinary();  // a refusal does not stop the upload

  // The local path names folders here; the printer gets the plain name.
  const std::string remoteName = RemoteNameOf(localPath);
  LocalFileSource file(localPath ? localPath : "");
  const uint32_t result = session.Store(notify, remoteName.c_str(), source ? *source : file,
                                        options.chunkSize);
  session.Quit();
  return result;
}

}  // namespace quillon::net

extern "C" QUILLON_API int QUILLON_FileTransfer(const QUILLON_NotifyTarget* notify,
                                                const char* host, const char* directory,
                                                const char* file) {
  try {
    return static_cast<int>(quillon::net::TransferFile(notify, host, directory, file));
  } catch (...) {
    return ERR_CONNECT;
  }
}
