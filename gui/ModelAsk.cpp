#include "gui/ModelAsk.h"

#include <QPointer>

#include "core/app/QuillonApp.h"
#include "gui/PrnModelDlg.h"
#include "gui/ProgramBoxes.h"

void InstallModelQuestion(TQUILLONApp& app, TdlgPrnModel& dialog) {
  QPointer<TdlgPrnModel> guarded(&dialog);
  app.AskModel = [guarded](std::string& model) {
    if (!guarded || guarded->exec() != quillon::IDOK) return false;
    model = guarded->SelectedModel;
    return true;
  };
}
