#pragma once
// Asks the operator for the model of a printer whose model could not be
// learnt: a drop-down list of the built-in model names. Created once and
// reused; nothing is reset between showings.
#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

class TdlgPrnModel : public QDialog {
  Q_OBJECT
 public:
  // names: the built-in model names in their order; the list ends at the
  // first empty name.
  explicit TdlgPrnModel(const std::vector<std::string>& names, QWidget* parent = nullptr);
  // The program's dialog: the built-in model names.
  explicit TdlgPrnModel(QWidget* parent = nullptr);
  ~TdlgPrnModel() override;

  // The built-in model names, read up to the first empty slot.
  static std::vector<std::string> BuiltInModelNames();

  void cmbModelChange();
  void btnOkClick();

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* lblModel = nullptr;
  QComboBox* cmbModel = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

  std::string SelectedModel;  // the name last chosen with OK

 public slots:
  void reject() override;  // Cancel, Escape and the close box give 2
};

// The program's one model choice dialog (the first one created).
extern TdlgPrnModel* dlgPrnModel;
