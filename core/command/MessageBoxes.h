#pragma once
// Every message box of the program goes through one seam: the window's
// MsgBox/MsgBoxAlways, the program's own message box dialog and the
// download command ask a MessageBoxes routine, which asks an answerer. On a
// desktop the answerer shows a real box; with no display it answers each
// box with its default button; tests and the command-line front end install
// their own. Widget-free; the program's one routine is in ui/MessageBoxes.h.
#include <functional>
#include <iosfwd>
#include <string>

namespace quillon {

// The message-box style flags the window's commands combine.
enum : int {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ICONSTOP = 0x10,
  MB_ICONHAND = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON2 = 0x100,
  MB_HELP = 0x4000,
};
constexpr int MB_TYPEMASK = 0x0F;
constexpr int MB_ICONMASK = 0xF0;
constexpr int MB_DEFMASK = 0xF00;

// Pressed buttons.
enum : int { IDOK = 1, IDCANCEL = 2 };

enum class BoxIcon { None, Stop, Question, Exclamation, Information };

// The icon of a style's icon bits (also the icon kinds 16/32/48/64 of the
// program's own message box dialog).
BoxIcon IconOfStyle(int style);

// What a style asks the box to show.
struct BoxLayout {
  BoxIcon icon = BoxIcon::None;
  bool cancelButton = false;  // OK/Cancel, else OK alone
  bool helpButton = false;    // a Help button that does not close the box
  int defaultButton = IDOK;   // IDOK or IDCANCEL
  int escapeButton = IDOK;    // what Escape or the close box answers
};
BoxLayout LayoutForStyle(int style);

// One box to be answered.
struct BoxQuestion {
  enum class Kind {
    Message,  // a standard message box: style says buttons and icon
    Dialog,   // the program's message box dialog (check box, details)
  };
  Kind kind = Kind::Message;
  std::string caption;
  std::string text;
  int style = MB_OK;  // Message: the style flags; Dialog: the icon kind
  int helpContext = 0;
  int messageId = 0;  // the text's string number; 0 when it has none
  std::string checkCaption;  // Dialog only
  bool checked = false;      // Dialog only: check box state when shown
  // Dialog only: runs the real dialog modally and returns its result.
  std::function<int()> showDialog;
};

struct BoxAnswer {
  int button = IDOK;
  int checked = -1;    // Dialog: new check box state, -1 leaves it
  int initItems = -1;  // Dialog: new initialisation items, -1 leaves them
};

// The button a box returns when nobody presses one: OK, or Cancel where
// the style makes Cancel the default. The dialog's default is OK.
int DefaultButton(const BoxQuestion& q);

class BoxAnswerer {
 public:
  virtual ~BoxAnswerer();
  virtual BoxAnswer Answer(const BoxQuestion& q) = 0;
};

// No display: writes the text to the error stream and returns the default
// button at once.
class HeadlessBoxAnswerer : public BoxAnswerer {
 public:
  explicit HeadlessBoxAnswerer(std::ostream* err = nullptr);  // nullptr: std::cerr
  BoxAnswer Answer(const BoxQuestion& q) override;

 private:
  std::ostream* err_;
};

// The routine every box goes through.
class MessageBoxes {
 public:
  explicit MessageBoxes(BoxAnswerer* fallback = nullptr);

  // Caption of every box: the application title.
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& Title() const { return title_; }

  // Installs the answerer; nullptr goes back to the fallback. Returns the
  // one installed before.
  BoxAnswerer* SetAnswerer(BoxAnswerer* answerer);
  BoxAnswerer* InstalledAnswerer() const { return answerer_; }

  // A confirmation or notice: with showMessage 0 nothing is shown and
  // the answer is OK.
  int MsgBox(const std::string& text, int style, int helpContext, int showMessage,
             int messageId = 0);
  // An input error the operator must see even in silent mode.
  int MsgBoxAlways(const std::string& text, int style, int helpContext, int messageId = 0);
  // The program's message box dialog; the caption is filled in here.
  BoxAnswer AskDialog(BoxQuestion q);

 private:
  BoxAnswerer& Current();

  std::string title_;
  BoxAnswerer* answerer_ = nullptr;
  BoxAnswerer* fallback_ = nullptr;
  HeadlessBoxAnswerer headless_;
};

}  // namespace quillon
