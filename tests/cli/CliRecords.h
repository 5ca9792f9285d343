#pragma once
// What a download run left in its records: DownLoad.log and the history.

#include <string>
#include <utility>
#include <vector>

#include "core/history/DownloadHistory.h"

namespace quillon_test {

// Every (key, value) of DownLoad.log, all sections.
std::vector<std::pair<std::string, std::string>> DownloadLogEntries();
// Every row of the history (a history that cannot be read fails the test).
std::vector<quillon::HistoryEntry> HistoryEntries();

}  // namespace quillon_test
