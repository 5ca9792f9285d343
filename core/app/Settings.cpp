// The settings section of the settings file: read once at start, written
// once at exit. ShowMessage and EnableCommand are set by hand only, so they
// are never written back; neither are Column5..Column7.
#include <string>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "platform/ProfileFile.h"

using platform::SameTextNoCase;
using platform::Utf8Cut;
using quillon::LeadingInt;
using quillon::Tokenize;

namespace {
const char kSection[] = "QUILLON.INI";
const std::int32_t kDefaultColumns[8] = {200, 60, 50, 40, 120, 0, 0, 0};
}  // namespace

void TQUILLONApp::LoadSettings() {
  const platform::ProfileFile ini(settingsPath_);
  ShowMessage = ini.ReadBool(kSection, "ShowMessage", true) ? 1 : 0;
  EnableCommand = ini.ReadBool(kSection, "EnableCommand", true) ? 1 : 0;
  for (int n = 0; n < 8; ++n) {
    ColumnWidth[n] = ini.ReadInteger(kSection, "Column" + std::to_string(n), kDefaultColumns[n]);
  }
  WindowLeft = 80;
  WindowTop = 160;
  WindowWidth = 480;
  WindowHeight = 400;
  const std::string pos = ini.ReadString(kSection, "WindowPos", "?");
  if (!SameTextNoCase(pos, "?")) {
    // The value is parsed as it fits a 256-byte work buffer.
    const auto tokens = Tokenize(Utf8Cut(pos, 255), ',');
    std::int32_t* fields[4] = {&WindowLeft, &WindowTop, &WindowWidth, &WindowHeight};
    for (size_t i = 0; i < 4; ++i) *fields[i] = i < tokens.size() ? LeadingInt(tokens[i]) : 0;
  }
  OpenFolder = ini.ReadString(kSection, "OpenFolder", OpenFolder);
  ViewLocal = ini.ReadBool(kSection, "ViewLocal", true) ? 1 : 0;
}

void TQUILLONApp::SaveSettings() {
  // Read afresh so that rows written to [Printers] meanwhile are kept.
  platform::ProfileFile ini(settingsPath_);
  ini.WriteString(kSection, "WindowPos",
                  std::to_string(WindowLeft) + "," + std::to_string(WindowTop) + "," +
                      std::to_string(WindowWidth) + "," + std::to_string(WindowHeight));
  for (int n = 0; n <= 4; ++n) {
    ini.WriteString(kSection, "Column" + std::to_string(n), std::to_string(ColumnWidth[n]));
  }
  ini.WriteString(kSection, "OpenFolder", OpenFolder);
  ini.WriteString(kSection, "ViewLocal", std::to_string(ViewLocal));
  ini.Flush();  // a failed write is not reported
}
