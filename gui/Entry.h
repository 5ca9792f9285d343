#pragma once
// The program: builds the application object, admits one running copy,
// creates the forms, runs the loop.
#include <memory>

class TQUILLONApp;
class TfrmMain;
class TfrmPrntView;
class TDlgMsgBox;
class TFtpConnect;
class TdlgPrnModel;
class TEEPDlg;

namespace quillon {

// The forms of the program, created in their fixed order and kept until
// the end of the run (destroyed in the reverse order, the main form last).
// The main form owns the others, so each modal form opens centred on it.
struct Forms {
  Forms();
  ~Forms();
  std::unique_ptr<TfrmMain> frmMain;
  std::unique_ptr<TfrmPrntView> frmPrntView;
  std::unique_ptr<TDlgMsgBox> dlgMsgBox;
  std::unique_ptr<TFtpConnect> ftpConnect;
  std::unique_ptr<TdlgPrnModel> dlgPrnModel;
  std::unique_ptr<TEEPDlg> eepDlg;
};

void CreateForms(Forms& forms, TQUILLONApp& app);

// Returns the exit code: 1 when another copy runs, else 0.
int QuillonMain(int argc, char** argv);

}  // namespace quillon
