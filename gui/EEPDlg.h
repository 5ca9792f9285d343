#pragma once
// Chooses, one by one, which of the printer's stored settings the restart
// after a download resets: printer menu settings (1), network settings (2),
// permission settings (4). Created once; the boxes keep their state from
// one showing to the next.
#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

class TEEPDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TEEPDlg(QWidget* parent = nullptr);
  ~TEEPDlg() override;

  // The items the boxes show now: 1 + 2 + 4 for the checked ones (0..7).
  int CheckedItems() const;

  QLabel* Label1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 public slots:
  void reject() override;  // Escape and the close box give Cancel (2)
};

// The program's one initialisation items dialog (the first one created).
extern TEEPDlg* EEPDlg;
