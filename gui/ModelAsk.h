#pragma once
// Lets the application object ask the operator for a printer's model with
// the model choice dialog.

class TQUILLONApp;
class TdlgPrnModel;

// From now on the application object's model question shows dialog
// modally; the dialog must outlive the application object's use of it.
namespace quillon {

void InstallModelQuestion(TQUILLONApp& app, TdlgPrnModel& dialog);

}  // namespace quillon
