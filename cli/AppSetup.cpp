#include "cli/AppSetup.h"

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "cli/Arguments.h"
#include "cli/Signals.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/TransferRequest.h"

using quillon::RouteName;
using quillon::RouteOfPrinter;

namespace cli {

std::unique_ptr<TQUILLONApp> MakeApp(const Options& o) {
  auto app = std::make_unique<TQUILLONApp>();
  app->SaveSettingsOnExit = false;
  if (o.noCommand) app->EnableCommand = 0;
  // A console the application object asks itself stops at Ctrl+C too.
  app->ConsoleAborted = [] { return Interrupted(); };
  return app;
}

std::uint32_t InitItemsOf(const Options& o) {
  return o.initItems >= 0 ? static_cast<std::uint32_t>(o.initItems) : TQUILLONApp::kDefaultInitItems;
}

void SelectTarget(TQUILLONApp& app, const std::string& printer, const Options& o) {
  // A model learnt from the printer before belongs to that printer only.
  app.SetFtpPrinterInfo(o.haveModel ? o.model : std::string(), std::string());
  if (o.haveModel) {
    const std::string model = o.model;
    app.AskModel = [model](std::string& chosen) {
      chosen = model;
      return true;
    };
  } else {
    app.AskModel = nullptr;
  }
  app.SelectPrinter(printer);
}

std::string RouteOf(const std::string& printer) {
  return RouteName(RouteOfPrinter(printer));
}

}  // namespace cli
