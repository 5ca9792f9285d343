#include "tests/cli/CliRecords.h"

#include <gtest/gtest.h>

#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"

namespace quillon_test {

std::vector<std::pair<std::string, std::string>> DownloadLogEntries() {
  const platform::ProfileFile log(TDownDocFile::DefaultIconFolder() + "DownLoad.log");
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& section : log.ReadSections()) {
    for (const std::string& key : log.ReadKeys(section)) out.emplace_back(key, log.ReadString(section, key, ""));
  }
  return out;
}

std::vector<quillon::HistoryEntry> HistoryEntries() {
  std::vector<quillon::HistoryEntry> rows;
  EXPECT_FALSE(quillon::DownloadHistory().Read({}, rows).Failed());
  return rows;
}

}  // namespace quillon_test
