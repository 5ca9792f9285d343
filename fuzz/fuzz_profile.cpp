// The profile reader on arbitrary bytes, as package header and as the
// program's settings file: every text read by the header rules is cut to
// its limit and decodes to valid UTF-8, the data list is split whole; an
// edit written back reads back the same from memory and from the file (the
// lookup index agrees with a fresh read); the settings load and save
// without writing outside the folder.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/QuillonApp.h"
#include "core/package/PackageHeader.h"
#include "fuzz/FuzzSupport.h"
#include "platform/ProfileFile.h"
#include "platform/TextCodec.h"

namespace {

void Same(const platform::ProfileFile& a, const platform::ProfileFile& b) {
  if (a.ReadSections() != b.ReadSections()) std::abort();
  for (const std::string& s : a.ReadSections()) {
    const std::vector<std::string> keys = a.ReadKeys(s);
    if (keys != b.ReadKeys(s)) std::abort();
    for (const std::string& k : keys) {
      if (a.ReadString(s, k, "\x01") != b.ReadString(s, k, "\x01")) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::Put("P.INI", data, size);
  fuzz::WriteGuard guard;

  // Header rules.
  const platform::ProfileFile header = quillon::OpenHeaderProfile(path);
  struct Limit { const char* key; size_t max; } limits[] = {
      {"FileFormat", 3}, {"DownLoadDesc", 255}, {"DownLoadVersion", 255},
      {"DownLoadPrinter", 255}, {"BeginMessage", 1024}, {"DoneMessage", 1024}};
  for (const Limit& l : limits) {
    if (quillon::ReadRawValue(header, "RX_DownLoad", l.key, "", l.max).size() > l.max) std::abort();
    if (!platform::IsValidUtf8(quillon::ReadTextValue(header, "RX_DownLoad", l.key, "", l.max))) std::abort();
  }
  quillon::SplitPrinterNames(quillon::ReadTextValue(header, "RX_DownLoad", "DownLoadPrinter", "", 255));
  // The data list is taken whole: its names put back together give the
  // value again, less the empty pieces.
  {
    const std::string list = header.ReadString("RX_DownLoad", "DownLoadFile", "");
    std::string joined, kept;
    for (const std::string& name : quillon::SplitDataFileNames(list)) {
      if (name.empty() || name.find(',') != std::string::npos) std::abort();
      joined += name;
    }
    for (char c : list) {
      if (c != ',') kept += c;
    }
    if (joined != kept) std::abort();
  }
  header.ReadProfileInt("RX_DownLoad", "EnableCommand", 1);
  header.ReadInteger("RX_DownLoad", "Reboot", 1);
  for (const std::string& key : header.ReadKeys("Printers")) {
    if (!platform::IsValidUtf8(quillon::ReadTextValue(header, "Printers", key, "0", 255))) std::abort();
  }

  // Edits: a key named by the input's first line, into its first section.
  {
    platform::ProfileFile edit(path);
    const std::vector<std::string> sections = edit.ReadSections();
    const std::string section = sections.empty() ? "S" : sections.front();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string key = "K" + text.substr(0, std::min<size_t>(text.find('\n'), 16));
    edit.WriteString(section, key, "v");
    edit.WriteString("Printers", "ADDED", "1,1");
    edit.DeleteKey(section, "a");
    if (edit.Flush()) Same(edit, platform::ProfileFile(path));
  }

  // Settings rules: the program's settings file and its model table.
  {
    TQUILLONApp app(path);
    app.SaveSettingsOnExit = (size % 2) == 0;
  }
  return 0;
}
