#pragma once
// The main window's download command: the widget-free command with the
// program's message box dialog for the start question and the progress
// window for the transfer.
#include "core/command/DownloadCommand.h"

class TDlgMsgBox;

class TDownloadCommand : public TDownloadCommandCore {
 public:
  using TDownloadCommandCore::TDownloadCommandCore;

  // The program's message box dialog; nullptr: the program's one.
  TDlgMsgBox* Dialog = nullptr;

 protected:
  // RunTransfer when set, else the progress window shown modally.
  void Transfer(const TransferRequest& request) override;
  TInitItemsChoice AskInitItems(const quillon::BoxQuestion& q, bool detailsEnabled) override;
  // The window's boxes keep their texts; causes go to standard error.
  void TellCause(const std::string& text) override;
};
