#pragma once
// One running copy per user: a lock file "QUILLON.lock" and a local socket
// "QUILLON" in the user's runtime folder. The copy holding the lock listens
// on the socket; a later copy asks it there to raise its window.

#include <QLocalServer>
#include <QLockFile>
#include <QString>

#include <memory>

namespace quillon {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // folder: where the lock and the socket live; empty means the runtime
  // folder (QStandardPaths::RuntimeLocation).
  explicit SingleInstance(const QString& folder = QString(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // Takes the lock (a lock left by a copy that died is taken over) and
  // starts listening. false when another copy holds it.
  bool Acquire();
  // Asks the running copy to raise the window titled kRaiseWindowTitle.
  // true when the request was delivered.
  bool NotifyRunning(int timeoutMs = 2000);

  QString LockPath() const;
  QString SocketPath() const;

 signals:
  void RaiseRequested();

 private:
  void OnConnection();

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};

// Raises every top-level window titled kRaiseWindowTitle; false if none.
bool RaiseWindowByTitle();

}  // namespace quillon
