#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "core/app/AppTitles.h"
#include "gui/SingleInstance.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using quillon::kApplicationTitle;
using quillon::SingleInstance;
using quillon::kRaiseWindowTitle;

namespace {

// A home of its own for the started copies of the program.
struct Home {
  std::string root = quillon_test::MakeTestDir("home");
  std::string Runtime() const { return root + "/runtime"; }
  std::string Settings() const { return root + "/config/quillon/QUILLON.INI"; }
  QProcessEnvironment Env() const {
    QDir().mkpath(QString::fromStdString(Runtime()));
    QFile::setPermissions(QString::fromStdString(Runtime()),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString r = QString::fromStdString(root);
    env.insert("XDG_CONFIG_HOME", r + "/config");
    env.insert("XDG_DATA_HOME", r + "/data");
    env.insert("XDG_CACHE_HOME", r + "/cache");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Runtime()));
    env.insert("TMPDIR", QString::fromStdString(quillon_test::MakeTestDir("tmp")));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
  }
};

std::unique_ptr<QProcess> Start(const Home& home, const QStringList& args = {}) {
  auto p = std::make_unique<QProcess>();
  p->setProcessEnvironment(home.Env());
  p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p->start(QStringLiteral(QUILLON_PROGRAM), args);
  return p;
}

// A copy is up once its socket answers: a killed copy leaves the socket
// file behind, so its mere existence proves nothing.
bool WaitListening(const Home& home, QProcess& p) {
  const QString socket = QString::fromStdString(home.Runtime()) + "/QUILLON";
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 30000) {
    QLocalSocket probe;
    probe.connectToServer(socket);
    if (probe.waitForConnected(200)) return true;
    if (p.state() == QProcess::NotRunning) return false;
    QThread::msleep(50);
  }
  return false;
}

int RunToEnd(const Home& home, const QStringList& args) {
  auto p = Start(home, args);
  if (!p->waitForFinished(60000)) {
    p->kill();
    p->waitForFinished();
    return -1;
  }
  return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -2;
}

int Terminate(QProcess& p) {
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  if (!p.waitForFinished(30000)) return -1;
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

}  // namespace

TEST(SingleInstance, SecondCopyExitsWithOneAfterItsSettingsRoundTrip) {
  Home home;
  auto first = Start(home);
  ASSERT_TRUE(WaitListening(home, *first));
  EXPECT_EQ(RunToEnd(home, {"/HN=192.168.0.9", "/NM"}), 1);
  platform::ProfileFile after(home.Settings());
  EXPECT_EQ(after.ReadString("QUILLON.INI", "ViewLocal", ""), "0");
  EXPECT_FALSE(after.HasKey("QUILLON.INI", "ShowMessage"));
  // The first copy ends normally on SIGTERM and writes its own settings.
  EXPECT_EQ(Terminate(*first), 0);
  const std::string file = quillon_test::ReadFileBytes(home.Settings());
  const size_t at = file.find("[QUILLON.INI]");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(file.substr(at),
            "[QUILLON.INI]\nWindowPos=80,160,480,400\nColumn0=200\nColumn1=60\nColumn2=50\n"
            "Column3=40\nColumn4=120\nOpenFolder=\nViewLocal=1\n");
  EXPECT_EQ(platform::ProfileFile(home.Settings()).ReadKeys("Printers").size(), 75u);
  // Nothing of the guard is left behind.
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home.Runtime()) + "/QUILLON"));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home.Runtime()) + "/QUILLON.lock"));
}

TEST(SingleInstance, LockOfAKilledCopyDoesNotBlock) {
  Home home;
  auto crashed = Start(home);
  ASSERT_TRUE(WaitListening(home, *crashed));
  crashed->kill();
  crashed->waitForFinished();
  ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(home.Runtime()) + "/QUILLON.lock"));
  auto next = Start(home);
  ASSERT_TRUE(WaitListening(home, *next));
  // It really holds the guard: another copy is turned away.
  EXPECT_EQ(RunToEnd(home, {}), 1);
  EXPECT_EQ(Terminate(*next), 0);
}

TEST(SingleInstance, RequestRaisesTheWindowOfTheFixedTitle) {
  const QString folder = QString::fromStdString(quillon_test::MakeTestDir("rt"));
  SingleInstance owner(folder);
  ASSERT_TRUE(owner.Acquire());
  SingleInstance other(folder);
  EXPECT_FALSE(other.Acquire());

  QWidget target;
  target.setWindowTitle(QString::fromUtf8(kRaiseWindowTitle));
  target.show();
  int raised = 0;
  QObject::connect(&owner, &SingleInstance::RaiseRequested, [&] { ++raised; });
  ASSERT_TRUE(other.NotifyRunning());
  QElapsedTimer t;
  t.start();
  while (raised == 0 && t.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(raised, 1);
  EXPECT_TRUE(quillon::RaiseWindowByTitle());
  target.setWindowTitle(QString::fromUtf8(kApplicationTitle));
  EXPECT_FALSE(quillon::RaiseWindowByTitle());
}
