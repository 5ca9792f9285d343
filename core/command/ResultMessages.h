#pragma once
// The message, icon and help topic for a download result or for the
// status of a freshly opened package.
#include <string>

namespace quillon {

struct ResultMessageText {
  int messageId;    // string table id
  int iconStyle;    // MB_ICON* bits
  int helpContext;  // 0: none
};

}  // namespace quillon

// Every code has an entry; unlisted codes give "the download failed".
quillon::ResultMessageText ResultMessage(int code);

namespace quillon {

// The entry's text from the string table.
std::string ResultText(const ResultMessageText& m);

// The notice that follows a failed download's result box: what to check
// next, from the result code and the failure's cause (TransferResult's
// detail). A request the printer's FTP server refused gets what it refused
// and its reply; a printer that cannot be opened, what to check of its
// power, network and address; any other failure the advice to switch the
// printer off and on. Empty where no notice follows (a success, a folder
// that cannot be entered: its box says all).
std::string ResultAdvice(int code, const std::string& detail);

// The entry for a package that does not mark the firmware file format.
constexpr int kResultNotFirmwareFormat = 64;

}  // namespace quillon
