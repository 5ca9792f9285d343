#pragma once
// The message, icon and help topic for a download result or for the
// status of a freshly opened package.
#include <string>

struct TResultMessage {
  int messageId;    // string table id
  int iconStyle;    // MB_ICON* bits
  int helpContext;  // 0: none
};

// Every code has an entry; unlisted codes give "the download failed".
TResultMessage ResultMessage(int code);
// The entry's text from the string table.
std::string ResultText(const TResultMessage& m);

// The entry for a package that does not mark the firmware file format.
constexpr int kResultNotFirmwareFormat = 64;
