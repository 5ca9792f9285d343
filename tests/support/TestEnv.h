#pragma once
#include <string>

namespace quillon_test {

// Points XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and TMPDIR at
// folders under one fresh root; called before anything reads them.
void IsolateEnvironment();
void RemoveIsolatedEnvironment();
// The fresh root of this process (empty before IsolateEnvironment).
const std::string& TestRoot();

// A fresh folder under the test root.
std::string MakeTestDir(const std::string& prefix = "t");

// Whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Runs a shell command, returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);

}  // namespace quillon_test
