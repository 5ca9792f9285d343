#pragma once
// The network printer browse: a modal list of the printers that the
// spooler sees on the network (queues shared by other servers and printers
// discovered on the network). The list source, the way the dialog is run
// and the trace output can be replaced for tests.
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QDialogButtonBox;
class QTreeWidget;

namespace quillon::net {

struct BrowsePrinter {
  std::string name;         // the name the spooler opens it by
  std::string description;  // make and model, location or info, for the eye
  // Turns the choice into a queue the spooler can open (a discovered
  // printer gets a temporary queue) and returns its name; unset: name.
  std::function<std::string()> realize;
};

using BrowseSource = std::function<std::vector<BrowsePrinter>()>;
// Runs the filled dialog and returns its result (QDialog::Accepted or not).
class PrinterBrowseDialog;
using BrowseRunner = std::function<int(PrinterBrowseDialog&)>;
using BrowseTrace = std::function<void(const char* line)>;

// Replace the seams; an empty function restores the default (the CUPS
// destinations; exec on a display and Cancel at once without one; stderr).
void SetBrowseSource(BrowseSource source);
void SetBrowseRunner(BrowseRunner runner);
void SetBrowseTrace(BrowseTrace trace);

// The network printers of the CUPS destinations, waiting up to msec for
// printers announced on the network.
std::vector<BrowsePrinter> EnumNetworkPrinters(int msec);

// Copies name into the caller's buffer by the export's rules: the length
// (bytes without NUL) is stored whenever given; a name that does not fit
// with its NUL (or a null buffer) stores 122 in *error and gives 0.
int CopyChosenName(const std::string& name, char* buffer, uint32_t size, uint32_t* length,
                   uint32_t* error);

class PrinterBrowseDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PrinterBrowseDialog(const std::vector<BrowsePrinter>& printers,
                               QWidget* parent = nullptr);

  QTreeWidget* list() const { return list_; }
  QDialogButtonBox* buttons() const { return buttons_; }
  // Index into the printers given, -1 when none is selected.
  int ChosenIndex() const;

 private:
  QTreeWidget* list_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace quillon::net
