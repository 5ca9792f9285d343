#include "app/gui/ModelAsk.h"

#include <QPointer>

#include "app/QuillonApp.h"
#include "app/gui/PrnModelDlg.h"
#include "ui/MessageBoxes.h"

void InstallModelQuestion(TQUILLONApp& app, TdlgPrnModel& dialog) {
  QPointer<TdlgPrnModel> guarded(&dialog);
  app.AskModel = [guarded](std::string& model) {
    if (!guarded || guarded->exec() != quillon::IDOK) return false;
    model = guarded->SelectedModel;
    return true;
  };
}
