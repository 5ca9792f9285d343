#pragma once
// The program's own message box: a text with a system icon, OK, Cancel and
// Help, a check box whose caption the caller sets, and a details button that
// stays hidden until the operator Ctrl-clicks the icon. It asks which of the
// printer's settings are initialised with the new firmware.
#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class TEEPDlg;

class TDlgMsgBox : public QDialog {
  Q_OBJECT
 public:
  // items: the initialisation items dialog behind the details button;
  // nullptr uses the program's one (EEPDlg) at the time of the click.
  explicit TDlgMsgBox(QWidget* parent = nullptr, TEEPDlg* items = nullptr);
  ~TDlgMsgBox() override;

  // Shows the box modally; 1 OK, 2 Cancel (also Escape and the close box).
  // Afterwards the caller reads CheckBox1 and InitItems.
  int ShowDialog(const std::string& text, const std::string& checkCaption, int checked,
                 int iconKind, int helpContext);

  // The system icon number of an icon kind (16, 32, 48, 64), 0 otherwise.
  static int IconForKind(int kind);

  void ButtonHelpClick();
  void Button1Click();
  void Image1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

  QLabel* Label1 = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* ButtonOk = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QPushButton* ButtonHelp = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* Button1 = nullptr;

  int HelpContext = 0;
  int InitItems = 1;  // 1 printer menu, 2 network, 4 permission settings

  // The system icon shown now (0: none).
  int ShownIcon() const { return shownIcon_; }

 public slots:
  void reject() override;  // Escape and the close box answer Cancel

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowIcon(int kind);

  TEEPDlg* items_ = nullptr;
  int shownIcon_ = 0;
};

// The program's one message box dialog (the first one created).
extern TDlgMsgBox* DlgMsgBox;
