#include "netlib/browse/BrowseDialog.h"

#include <cups/cups.h>

#include <QCoreApplication>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "netlib/browse/BrowseModule.h"
#include "netlib/quillon.h"
#include "platform/WaitCursor.h"

namespace quillon::net {
namespace {

BrowseSource& SourceHook() {
  static BrowseSource hook;
  return hook;
}
BrowseRunner& RunnerHook() {
  static BrowseRunner hook;
  return hook;
}
BrowseTrace& TraceHook() {
  static BrowseTrace hook;
  return hook;
}

void Trace(const char* line) {
  if (TraceHook()) {
    TraceHook()(line);
    return;
  }
  std::fputs(line, stderr);
  std::fflush(stderr);
}

// Without a display nobody could answer a modal dialog.
bool Headless() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

int RunDialog(PrinterBrowseDialog& dialog) {
  if (RunnerHook()) return RunnerHook()(dialog);
  if (Headless()) return QDialog::Rejected;
  return dialog.exec();
}

// ---- CUPS destinations ----------------------------------------------------

struct DestList {
  int count = 0;
  cups_dest_t* dests = nullptr;
  ~DestList() { cupsFreeDests(count, dests); }
};

struct DestDeleter {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using DestCopy = std::shared_ptr<cups_dest_t>;

int CollectDest(void* user, unsigned flags, cups_dest_t* dest) {
  auto* list = static_cast<DestList*>(user);
  if (flags & CUPS_DEST_FLAGS_REMOVED)
    list->count = cupsRemoveDest(dest->name, dest->instance, list->count, &list->dests);
  else
    list->count = cupsCopyDest(dest, list->count, &list->dests);
  return 1;
}

const char* Option(const cups_dest_t* dest, const char* name) {
  return cupsGetOption(name, dest->num_options, dest->options);
}

bool StartsWith(const char* text, const char* prefix) {
  return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// A printer seen on the network: a queue of another server, a printer
// announced on the network that has no queue here yet, or a queue that
// forwards to another server's queue.
bool IsNetworkPrinter(const cups_dest_t* dest) {
  const char* type = Option(dest, "printer-type");
  const unsigned long bits = type ? std::strtoul(type, nullptr, 10) : 0;
  if (bits & (CUPS_PRINTER_REMOTE | CUPS_PRINTER_DISCOVERED)) return true;
  if (!Option(dest, "printer-uri-supported")) return true;
  const char* device = Option(dest, "device-uri");
  return StartsWith(device, "ipp://") || StartsWith(device, "ipps://") ||
         StartsWith(device, "implicitclass://");
}

std::string Describe(const cups_dest_t* dest) {
  std::string text;
  for (const char* key : {"printer-make-and-model", "printer-location", "printer-info"}) {
    const char* value = Option(dest, key);
    if (!value || !*value) continue;
    if (!text.empty()) text += " / ";
    text += value;
  }
  return text;
}

// The queue name in a scheduler URI ".../printers/NAME"; empty otherwise.
std::string QueueOfUri(const char* uri) {
  if (!uri) return std::string();
  const char* at = std::strstr(uri, "/printers/");
  if (!at) return std::string();
  return std::string(at + std::strlen("/printers/"));
}

// A discovered printer is opened through a temporary queue that the
// scheduler makes on request; a queue keeps its own name.
std::string Realize(const DestCopy& dest) {
  if (!Option(dest.get(), "printer-uri-supported")) {
    char resource[1024];
    http_t* http = cupsConnectDest(dest.get(), CUPS_DEST_FLAGS_UNCONNECTED, 30000, nullptr,
                                   resource, sizeof(resource), nullptr, nullptr);
    if (http) httpClose(http);
  }
  const std::string queue = QueueOfUri(Option(dest.get(), "printer-uri-supported"));
  return queue.empty() ? std::string(dest->name) : queue;
}

}  // namespace

void SetBrowseSource(BrowseSource source) { SourceHook() = std::move(source); }
void SetBrowseRunner(BrowseRunner runner) { RunnerHook() = std::move(runner); }
void SetBrowseTrace(BrowseTrace trace) { TraceHook() = std::move(trace); }

std::vector<BrowsePrinter> EnumNetworkPrinters(int msec) {
  DestList list;
  cupsEnumDests(CUPS_DEST_FLAGS_NONE, msec, nullptr, 0, 0, CollectDest, &list);
  std::vector<BrowsePrinter> printers;
  for (int i = 0; i < list.count; ++i) {
    cups_dest_t* dest = &list.dests[i];
    if (dest->instance || !IsNetworkPrinter(dest)) continue;
    cups_dest_t* single = nullptr;
    if (cupsCopyDest(dest, 0, &single) != 1) continue;
    DestCopy copy(single, DestDeleter());
    BrowsePrinter p;
    p.name = dest->name;
    p.description = Describe(dest);
    p.realize = [copy] { return Realize(copy); };
    printers.push_back(std::move(p));
  }
  return printers;
}

int CopyChosenName(const std::string& name, char* buffer, uint32_t size, uint32_t* length,
                   uint32_t* error) {
  // Names come from the spooler and are far below 4 GiB.
  const uint32_t needed = static_cast<uint32_t>(name.size());
  if (length) *length = needed;
  if (!buffer || needed >= size) {
    if (error) *error = QUILLON_ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return 1;
}

// ---- the dialog -----------------------------------------------------------

namespace {
// The list's width when the dialog is as narrow as it may be.
constexpr int kNarrowestListWidth = 360;
}  // namespace

PrinterBrowseDialog::PrinterBrowseDialog(const std::vector<BrowsePrinter>& printers,
                                         QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("PrinterBrowse"));
  setWindowTitle(QCoreApplication::translate("BrowseDialog", "プリンタの選択"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(420, 320);
  setMinimumWidth(kNarrowestListWidth + 24);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("lstPrinters"));
  list_->setColumnCount(2);
  list_->setHeaderLabels({QCoreApplication::translate("BrowseDialog", "ﾌﾟﾘﾝﾀ"), QCoreApplication::translate("BrowseDialog", "説明")});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  const QIcon icon = QIcon::fromTheme(QStringLiteral("printer-network"),
                                      QIcon::fromTheme(QStringLiteral("printer")));
  for (size_t i = 0; i < printers.size(); ++i) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QString::fromStdString(printers[i].name));
    item->setText(1, QString::fromStdString(printers[i].description));
    item->setIcon(0, icon);
    item->setData(0, Qt::UserRole, static_cast<int>(i));
  }
  if (printers.empty()) {
    // An empty list says why, in a row that cannot be chosen.
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QCoreApplication::translate(
                         "BrowseDialog",
                         "ﾈｯﾄﾜｰｸﾌﾟﾘﾝﾀが見つかりません。ﾌﾟﾘﾝﾀの電源とﾈｯﾄﾜｰｸ接続、CUPSのﾌﾟﾘﾝﾀ共有の設定を確認してください。"));
    item->setData(0, Qt::UserRole, -1);
    item->setFlags(Qt::NoItemFlags);
    item->setFirstColumnSpanned(true);
    list_->setWordWrap(true);
    // A view sizes its rows for one line; this one is as tall as its text
    // wrapped at the narrowest width the list is given, so no word is cut
    // off in either language.
    const QString why = item->text(0);
    const int width = kNarrowestListWidth - 2 * list_->frameWidth() - 8;
    const QRect needed = list_->fontMetrics().boundingRect(QRect(0, 0, width, 10000),
                                                           Qt::TextWordWrap, why);
    item->setSizeHint(0, QSize(width, needed.height() + 8));
    item->setToolTip(0, why);
    list_->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    list_->setObjectName(QStringLiteral("lstPrinters"));
  }

  buttons_ = new QDialogButtonBox(this);
  QPushButton* ok = buttons_->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("btnOk"));
  ok->setEnabled(false);  // only a printer can be chosen
  QPushButton* cancel =
      buttons_->addButton(QCoreApplication::translate("BrowseDialog", "ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this, ok] {
    Trace("BFFM_SELCHANGED\n");
    ok->setEnabled(ChosenIndex() >= 0);
  });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (ChosenIndex() >= 0) accept();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons_);
}

int PrinterBrowseDialog::ChosenIndex() const {
  const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
  if (chosen.isEmpty()) return -1;
  return chosen.first()->data(0, Qt::UserRole).toInt();
}

}  // namespace quillon::net

using namespace quillon::net;

extern "C" QUILLON_API int QUILLON_BrowseSelectPrinter(void* owner, char* path, uint32_t size,
                                                      uint32_t* length, uint32_t* error) {
  // The dialog needs the caller's widget application; without one there is
  // nothing to show, as when the shell cannot start the browse.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
  try {
    std::vector<BrowsePrinter> printers;
    {
      // Printers announced on the network take a moment to answer.
      platform::WaitCursor wait;
      printers = SourceHook() ? SourceHook()() : EnumNetworkPrinters(1500);
    }
    PrinterBrowseDialog dialog(printers, static_cast<QWidget*>(owner));
    if (RunDialog(dialog) != QDialog::Accepted) return 0;
    const int index = dialog.ChosenIndex();
    if (index < 0 || index >= static_cast<int>(printers.size())) return 0;
    const BrowsePrinter& chosen = printers[static_cast<size_t>(index)];
    const std::string name = chosen.realize ? chosen.realize() : chosen.name;
    if (name.empty()) return 0;  // an item without a name has no path
    return CopyChosenName(name, path, size, length, error);
  } catch (...) {
    return 0;  // nothing crosses the library's boundary
  }
}
