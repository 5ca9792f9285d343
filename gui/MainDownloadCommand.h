#pragma once
// The main window's download command: the widget-free command with the
// program's message box dialog for the start question and the progress
// window for the transfer.
#include "core/command/DownloadCommand.h"

class TDlgMsgBox;

namespace quillon {

class WindowDownloadCommand : public DownloadCommandCore {
 public:
  using DownloadCommandCore::DownloadCommandCore;

  // The program's message box dialog; nullptr: the program's one.
  TDlgMsgBox* Dialog = nullptr;

 protected:
  // RunTransfer when set, else the progress window shown modally.
  void Transfer(const TransferRequest& request) override;
  InitItemsChoice AskInitItems(const BoxQuestion& q, bool detailsEnabled) override;
  // The window's boxes keep their texts; causes go to standard error.
  void TellCause(const std::string& text) override;
};

}  // namespace quillon
