// Every test process gets fresh XDG folders and TMPDIR, so no test ever
// touches the real user's configuration, data or temporary files.
#include <gtest/gtest.h>

#ifdef QUILLON_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestEnv.h"

int main(int argc, char** argv) {
  quillon_test::IsolateEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TestApplication app(argc, argv);
  TestApplication::setApplicationName("quillon");
  const int rc = RUN_ALL_TESTS();
  quillon_test::RemoveIsolatedEnvironment();
  return rc;
}
