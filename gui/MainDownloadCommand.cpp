#include "gui/MainDownloadCommand.h"

#include <QCheckBox>
#include <QPushButton>

#include <memory>

#include "gui/PrntView.h"
#include "gui/DlgMsgBox.h"

void TDownloadCommand::Transfer() {
  if (RunTransfer) {
    RunTransfer();
  } else if (frmPrntView) {
    frmPrntView->exec();
  } else {
    TfrmPrntView view(nullptr, &app_);
    view.exec();
  }
}

TInitItemsChoice TDownloadCommand::AskInitItems(const quillon::BoxQuestion& q,
                                                bool detailsEnabled) {
  std::unique_ptr<TDlgMsgBox> own;
  TDlgMsgBox* dialog = Dialog ? Dialog : DlgMsgBox;
  if (!dialog) {
    own = std::make_unique<TDlgMsgBox>();
    dialog = own.get();
  }
  dialog->Button1->setVisible(false);
  dialog->Button1->setEnabled(detailsEnabled);
  TInitItemsChoice choice;
  // The dialog asks the box routine itself, which may answer for it.
  choice.button =
      dialog->ShowDialog(q.text, q.checkCaption, q.checked ? 1 : 0, q.style, q.helpContext);
  choice.checked = dialog->CheckBox1->isChecked();
  choice.initItems = dialog->InitItems;
  return choice;
}
