// Model table rows: each input line is a [Printers] row name=value, fed
// straight to the row parser and, as a settings file, to the table load.
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/app/ModelTable.h"
#include "fuzz/FuzzSupport.h"
#include "platform/ProfileFile.h"

using quillon::LoadModelTable;
using quillon::MakeModelEntry;

namespace {

bool Terminated(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TDLPrinterList list;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t eq = line.find('=');
    const TModelEntry e = MakeModelEntry(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
    if (!Terminated(e.Name, sizeof e.Name) || !Terminated(e.CodeText, sizeof e.CodeText)) std::abort();
    if (e.Flag != 0 && e.Flag != 1) std::abort();
    list.Add(e);
    list.IndexOf(e.Name);
    start = end + 1;
  }

  const std::string ini = "[Printers]\n" + text;
  const std::string path = fuzz::Put("QUILLON.INI", reinterpret_cast<const uint8_t*>(ini.data()), ini.size());
  fuzz::WriteGuard guard;
  platform::ProfileFile settings(path);
  TDLPrinterList table;
  LoadModelTable(settings, table);
  return 0;
}
