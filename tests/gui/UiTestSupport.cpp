#include "tests/gui/UiTestSupport.h"

#include <unistd.h>

#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"

namespace ui_test {

std::string FreshSettings(const std::vector<std::string>& lines) {
  const std::string path = quillon_test::MakeTestDir("ini") + "/QUILLON.INI";
  if (!lines.empty()) {
    std::string text = "[QUILLON.INI]\n";
    for (const std::string& l : lines) text += l + "\n";
    quillon_test::WriteFileBytes(path, text);
  }
  return path;
}

std::string MakePackage(const std::string& name, const std::string& targets,
                        const std::string& data, const std::vector<std::string>& extra) {
  // The texts below are written as UTF-8, which a header must announce with
  // a byte order mark (without one its texts are CP932).
  std::string text = "\xEF\xBB\xBF[RX_DownLoad]\r\nFileFormat=RXF\r\nDownLoadPrinter=" + targets + "\r\n";
  for (const std::string& l : extra) text += l + "\r\n";
  text += "\x1A";
  text += data;
  const std::string path = quillon_test::MakeTestDir("pkg") + "/" + name;
  quillon_test::WriteFileBytes(path, text);
  return path;
}

std::string UniqueQueue(const std::string& prefix) {
  static int counter = 0;
  return prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

bool AddModelQueue(const std::string& name, const std::string& uri, const std::string& model) {
  return quillon_test::AddQueue(name, uri, model);
}

}  // namespace ui_test
