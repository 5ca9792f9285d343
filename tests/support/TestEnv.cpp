#include "tests/support/TestEnv.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace quillon_test {
namespace {
std::string g_root;
}

void IsolateEnvironment() {
  std::string base = std::filesystem::temp_directory_path().string();
  std::string tmpl = base + "/quillon-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) std::abort();
  g_root = buf.data();
  for (const char* sub : {"config", "data", "runtime", "tmp", "cache", "locks"}) {
    std::filesystem::create_directories(g_root + "/" + sub);
  }
  chmod((g_root + "/runtime").c_str(), 0700);
  setenv("XDG_CONFIG_HOME", (g_root + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (g_root + "/data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (g_root + "/cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (g_root + "/runtime").c_str(), 1);
  setenv("TMPDIR", (g_root + "/tmp").c_str(), 1);
  // The printer locks are shared by every user of the machine; a test's
  // own folder keeps parallel tests apart.
  setenv("QUILLON_LOCK_DIR", (g_root + "/locks").c_str(), 1);
}

void RemoveIsolatedEnvironment() {
  if (g_root.empty() || std::getenv("QUILLON_KEEP_TEST_ROOT")) return;
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

const std::string& TestRoot() { return g_root; }

std::string MakeTestDir(const std::string& prefix) {
  std::string tmpl = g_root + "/" + prefix + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return {};
  return buf.data();
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int RunCommand(const std::string& command) {
  int st = std::system(command.c_str());
  if (st == -1) return -1;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace quillon_test
