#include "gui/MainDownloadCommand.h"

#include <QCheckBox>
#include <QPushButton>

#include <cstdio>
#include <memory>

#include "core/app/QuillonApp.h"
#include "gui/DlgMsgBox.h"
#include "gui/PrntView.h"

namespace quillon {

void WindowDownloadCommand::Transfer(const TransferRequest& request) {
  if (RunTransfer) {
    RunTransfer();
    return;
  }
  std::unique_ptr<TfrmPrntView> own;
  TfrmPrntView* view = frmPrntView;
  if (!view) {
    own = std::make_unique<TfrmPrntView>(nullptr, &app_);
    view = own.get();
  }
  // The job's own request: what was checked and answered is what is sent.
  view->Request = request;
  view->exec();
  LastResult = view->Result;
  // The boxes keep their texts; the cause goes to standard error.
  if (!LastResult.detail.empty() && LastResult.code != 0)
    std::fprintf(stderr, "quillon: %s: %s\n", app_.SelectedPrinter.c_str(),
                 LastResult.detail.c_str());
}

void WindowDownloadCommand::TellCause(const std::string& text) {
  std::fprintf(stderr, "quillon: %s\n", text.c_str());
}

InitItemsChoice WindowDownloadCommand::AskInitItems(const quillon::BoxQuestion& q,
                                                bool detailsEnabled) {
  std::unique_ptr<TDlgMsgBox> own;
  TDlgMsgBox* dialog = Dialog ? Dialog : DlgMsgBox;
  if (!dialog) {
    own = std::make_unique<TDlgMsgBox>();
    dialog = own.get();
  }
  dialog->Button1->setVisible(false);
  dialog->Button1->setEnabled(detailsEnabled);
  InitItemsChoice choice;
  // The dialog asks the box routine itself, which may answer for it.
  choice.button =
      dialog->ShowDialog(q.text, q.checkCaption, q.checked ? 1 : 0, q.style, q.helpContext);
  choice.checked = dialog->CheckBox1->isChecked();
  choice.initItems = dialog->InitItems;
  return choice;
}

}  // namespace quillon
