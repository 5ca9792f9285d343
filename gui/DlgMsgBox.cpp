#include "gui/DlgMsgBox.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

#include "gui/BoxStyle.h"
#include "gui/EEPDlg.h"
#include "gui/HelpViewer.h"
#include "gui/JapaneseFonts.h"
#include "gui/ProgramBoxes.h"

TDlgMsgBox* DlgMsgBox = nullptr;

namespace {

// System icon numbers of the icon kinds.
constexpr int kIconHand = 32513;
constexpr int kIconQuestion = 32514;
constexpr int kIconExclamation = 32515;
constexpr int kIconAsterisk = 32516;
constexpr int kIconPixels = 32;

QStyle::StandardPixmap PixmapForIcon(int icon) {
  switch (icon) {
    case kIconHand: return QStyle::SP_MessageBoxCritical;
    case kIconQuestion: return QStyle::SP_MessageBoxQuestion;
    case kIconExclamation: return QStyle::SP_MessageBoxWarning;
    default: return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

TDlgMsgBox::TDlgMsgBox(QWidget* parent, TEEPDlg* items) : QDialog(parent), items_(items) {
  setObjectName(QStringLiteral("DlgMsgBox"));
  setFont(quillon::FormFont(quillon::kFontPGothic, 16));
  setFixedSize(395, 143);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  Label1 = new QLabel(QStringLiteral("Label1"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setTextFormat(Qt::PlainText);
  Label1->setWordWrap(true);
  Label1->setGeometry(80, 16, 44, 16);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(15, 11, 66, 62);
  Image1->installEventFilter(this);

  ButtonOk = new QPushButton(QStringLiteral("OK"), this);
  ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
  ButtonOk->setGeometry(60, 90, 82, 28);
  ButtonOk->setDefault(true);
  connect(ButtonOk, &QPushButton::clicked, this, [this] { done(quillon::IDOK); });

  ButtonCancel = new QPushButton(QCoreApplication::translate("TDlgMsgBox", "ｷｬﾝｾﾙ"), this);
  ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
  ButtonCancel->setGeometry(148, 90, 82, 28);
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(quillon::IDCANCEL); });

  ButtonHelp = new QPushButton(QCoreApplication::translate("TDlgMsgBox", "ﾍﾙﾌﾟ"), this);
  ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
  ButtonHelp->setGeometry(238, 90, 82, 28);
  ButtonHelp->setAutoDefault(false);
  connect(ButtonHelp, &QPushButton::clicked, this, &TDlgMsgBox::ButtonHelpClick);

  CheckBox1 = new QCheckBox(QStringLiteral("CheckBox1"), this);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setGeometry(80, 55, 256, 34);
  CheckBox1->setChecked(true);

  Button1 = new QPushButton(QCoreApplication::translate("TDlgMsgBox", "詳細..."), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(328, 58, 57, 25);
  Button1->setAutoDefault(false);
  Button1->setVisible(false);
  connect(Button1, &QPushButton::clicked, this, &TDlgMsgBox::Button1Click);
  for (QPushButton* b : {ButtonOk, ButtonCancel, ButtonHelp}) quillon::StyleBoxButton(b);

  if (!DlgMsgBox) DlgMsgBox = this;
}

TDlgMsgBox::~TDlgMsgBox() {
  if (DlgMsgBox == this) DlgMsgBox = nullptr;
}

int TDlgMsgBox::IconForKind(int kind) {
  switch (kind) {
    case 16: return kIconHand;
    case 32: return kIconQuestion;
    case 48: return kIconExclamation;
    case 64: return kIconAsterisk;
    default: return 0;
  }
}

void TDlgMsgBox::ShowIcon(int kind) {
  shownIcon_ = IconForKind(kind);
  if (shownIcon_ == 0) {
    Image1->clear();
    return;
  }
  const QIcon icon = style()->standardIcon(PixmapForIcon(shownIcon_), nullptr, this);
  Image1->setPixmap(icon.pixmap(kIconPixels, kIconPixels));
  Image1->resize(kIconPixels, kIconPixels);  // the image sizes itself to its icon
}

int TDlgMsgBox::ShowDialog(const std::string& text, const std::string& checkCaption,
                           int checked, int iconKind, int helpContext) {
  // The label grows to the longest line and to as many lines as the text has.
  Label1->setWordWrap(false);
  setWindowTitle(QString::fromStdString(quillon::Boxes().Title()));
  Label1->setText(QString::fromStdString(text));
  Label1->adjustSize();
  CheckBox1->setText(QString::fromStdString(checkCaption));
  // A caption longer than the designed box widens it instead of being cut.
  const int captionWidth = std::max(256, CheckBox1->sizeHint().width());
  CheckBox1->resize(captionWidth, CheckBox1->height());
  setFixedWidth(std::max({395, CheckBox1->x() + captionWidth + 10, Label1->x() + Label1->width() + 16}));
  CheckBox1->setChecked(checked != 0);
  HelpContext = helpContext;
  ShowIcon(iconKind);

  const int top = height() - 40;
  ButtonOk->move(ButtonOk->x(), top);
  ButtonCancel->move(ButtonCancel->x(), top);
  ButtonHelp->move(ButtonHelp->x(), top);

  quillon::BoxQuestion q;
  q.text = text;
  q.style = iconKind;
  q.helpContext = helpContext;
  q.checkCaption = checkCaption;
  q.checked = checked != 0;
  q.showDialog = [this] { return exec(); };
  const quillon::BoxAnswer answer = quillon::Boxes().AskDialog(q);
  if (answer.checked >= 0) CheckBox1->setChecked(answer.checked != 0);
  if (answer.initItems >= 0) InitItems = answer.initItems;
  return answer.button;
}

void TDlgMsgBox::reject() { done(quillon::IDCANCEL); }

void TDlgMsgBox::ButtonHelpClick() { quillon::ShowHelp(HelpContext); }

void TDlgMsgBox::Button1Click() {
  InitItems = 0;
  TEEPDlg* items = items_ ? items_ : EEPDlg;
  if (!items || items->exec() != quillon::IDOK) {
    InitItems = 1;
    return;
  }
  InitItems = items->CheckedItems();
}

void TDlgMsgBox::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::ControlModifier) Button1->setVisible(true);
}

bool TDlgMsgBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (Image1->rect().contains(mouse->position().toPoint()))
      Image1MouseUp(mouse->button(), mouse->modifiers());
  }
  return QDialog::eventFilter(watched, event);
}
