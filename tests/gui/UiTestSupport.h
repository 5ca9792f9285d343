#pragma once
// Settings files, packages and spooler queues for the main window tests.
#include <string>
#include <vector>

namespace ui_test {

// A fresh settings file path (the file does not exist yet) or one holding
// the given [QUILLON.INI] lines.
std::string FreshSettings(const std::vector<std::string>& lines = {});

// A firmware package with an embedded data block: targets go to
// DownLoadPrinter, extra lines into [RX_DownLoad]. Returns its path.
std::string MakePackage(const std::string& name, const std::string& targets,
                        const std::string& data = "FIRMWARE-DATA",
                        const std::vector<std::string>& extra = {});

// A queue name unique within the test run (CUPS names ignore case, so
// uniqueness comes from the process and a counter).
std::string UniqueQueue(const std::string& prefix);

// A raw queue on the private server whose make-and-model is model.
bool AddModelQueue(const std::string& name, const std::string& uri, const std::string& model);

}  // namespace ui_test
