#pragma once
// Pieces of the package choice that need no window.
#include <QString>
#include <QStringList>
#include <string>

namespace quillon {

// The open dialog's choices from a filter text of "caption|patterns" pairs
// (patterns separated by ";"), as Qt name filters "caption (p1 p2)".
QStringList OpenDialogFilters(const std::string& filter);

// The folder of a chosen file without its trailing "/"; the root keeps it.
// A name without any "/" gives an empty folder.
std::string FolderOfFile(const std::string& path);

// What the file state panel shows: description, one blank, version.
std::string PackageStateText(const std::string& description, const std::string& version);

}  // namespace quillon
