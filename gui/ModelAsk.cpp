#include "gui/ModelAsk.h"

#include <QPointer>

#include "core/app/QuillonApp.h"
#include "gui/PrnModelDlg.h"
#include "gui/ProgramBoxes.h"
#include "gui/QuitSignals.h"

void quillon::InstallModelQuestion(TQUILLONApp& app, TdlgPrnModel& dialog) {
  QPointer<TdlgPrnModel> guarded(&dialog);
  app.AskModel = [guarded](std::string& model) {
    // Nobody is left to answer once the program is ending.
    if (!guarded || QuitRequested() || guarded->exec() != quillon::IDOK) return false;
    model = guarded->SelectedModel;
    return true;
  };
}
