#include "gui/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include "core/app/AppTitles.h"

namespace quillon {

namespace {
const QByteArray kRaiseRequest = "raise\n";
}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent),
      folder_(folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                               : folder) {}

SingleInstance::~SingleInstance() {
  server_.reset();  // removes the socket file before the lock goes
  lock_.reset();
}

QString SingleInstance::LockPath() const {
  return folder_ + QLatin1Char('/') + QLatin1String(kInstanceName) + QStringLiteral(".lock");
}

QString SingleInstance::SocketPath() const {
  return folder_ + QLatin1Char('/') + QLatin1String(kInstanceName);
}

bool SingleInstance::Acquire() {
  QDir().mkpath(folder_);
  lock_ = std::make_unique<QLockFile>(LockPath());
  // Held for the whole run: only a holder that no longer exists makes the
  // lock stale, never its age.
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    if (lock_->error() == QLockFile::LockFailedError) {
      lock_.reset();
      return false;
    }
    // The folder is not usable: run without the guard rather than not at all.
    lock_.reset();
    return true;
  }
  // The lock is ours, so a socket file left there belongs to a dead copy.
  QLocalServer::removeServer(SocketPath());
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
  server_->listen(SocketPath());
  return true;
}

void SingleInstance::OnConnection() {
  while (QLocalSocket* peer = server_->nextPendingConnection()) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
      if (peer->canReadLine() && peer->readLine(64) == kRaiseRequest) {
        RaiseWindowByTitle();
        emit RaiseRequested();
      }
    });
  }
}

bool SingleInstance::NotifyRunning(int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(SocketPath());
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaiseRequest);
  const bool sent = socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return sent;
}

bool RaiseWindowByTitle() {
  const QString title = QString::fromUtf8(kRaiseWindowTitle);
  bool found = false;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isWindow() && w->windowTitle() == title) {
      w->raise();
      w->activateWindow();
      found = true;
    }
  }
  return found;
}

}  // namespace quillon
