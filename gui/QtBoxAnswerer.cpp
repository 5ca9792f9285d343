#include "gui/QtBoxAnswerer.h"

#include <QCoreApplication>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include <memory>

#include "gui/BoxStyle.h"
#include "gui/HelpViewer.h"

namespace quillon {

namespace {

// The widest line of a box's text, in pixels: narrow enough that the box
// never wraps it again (it does past half the screen, less its icon).
int BoxTextWidth(const QWidget* parent) {
  const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  const int half = screen ? screen->availableGeometry().width() / 2 : 840;
  return std::clamp(half - 110, 200, 420);
}

QPointer<QWidget>& OwnerSlot() {
  static QPointer<QWidget> owner;
  return owner;
}

QWidget* BoxParent() {
  if (OwnerSlot()) return OwnerSlot();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Stop: return QMessageBox::Critical;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::Exclamation: return QMessageBox::Warning;
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

int ShowMessageBox(const BoxQuestion& q) {
  const BoxLayout layout = LayoutForStyle(q.style);
  std::unique_ptr<QMessageBox> box = BuildMessageBox(q, BoxParent());
  box->exec();
  const QAbstractButton* clicked = box->clickedButton();
  if (clicked && clicked == box->button(QMessageBox::Ok)) return IDOK;
  if (clicked && clicked == box->button(QMessageBox::Cancel)) return IDCANCEL;
  return layout.escapeButton;
}

}  // namespace

std::unique_ptr<QMessageBox> BuildMessageBox(const BoxQuestion& q, QWidget* parent) {
  const BoxLayout layout = LayoutForStyle(q.style);
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(QString::fromStdString(q.caption));
  box->setTextFormat(Qt::PlainText);
  // Broken here, the Japanese way, narrower than the box would wrap it.
  box->setText(BreakLines(QString::fromStdString(q.text), box->fontMetrics(), BoxTextWidth(parent)));
  box->setIcon(QtIcon(layout.icon));

  QPushButton* ok = box->addButton(QMessageBox::Ok);
  ok->setText(QStringLiteral("OK"));
  QPushButton* cancel = nullptr;
  if (layout.cancelButton) {
    cancel = box->addButton(QMessageBox::Cancel);
    cancel->setText(QCoreApplication::translate("TDlgMsgBox", "ｷｬﾝｾﾙ"));
  }
  if (layout.helpButton) {
    QPushButton* help = box->addButton(QMessageBox::Help);
    help->setText(QCoreApplication::translate("TDlgMsgBox", "ﾍﾙﾌﾟ"));
    // The button box would close the box on any click; Help must only
    // open the topic, so its click is taken over here.
    QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
    const int context = q.helpContext;
    QObject::connect(help, &QAbstractButton::clicked, box.get(), [context] { ShowHelp(context); });
  }
  for (QAbstractButton* b : box->buttons()) {
    if (auto* push = qobject_cast<QPushButton*>(b)) StyleBoxButton(push);
  }
  FitTitle(box.get());
  box->setDefaultButton(layout.defaultButton == IDCANCEL && cancel ? cancel : ok);
  box->setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : ok);
  return box;
}

bool IsHeadlessPlatform() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void SetBoxOwner(QWidget* owner) { OwnerSlot() = owner; }

BoxAnswer QtBoxAnswerer::Answer(const BoxQuestion& q) {
  BoxAnswer answer;
  if (q.kind == BoxQuestion::Kind::Dialog)
    answer.button = q.showDialog ? q.showDialog() : IDOK;
  else
    answer.button = ShowMessageBox(q);
  return answer;
}

BoxAnswer PlatformBoxAnswerer::Answer(const BoxQuestion& q) {
  return IsHeadlessPlatform() ? headless_.Answer(q) : widgets_.Answer(q);
}

MessageBoxes& Boxes() {
  static PlatformBoxAnswerer platform;
  static MessageBoxes boxes(&platform);
  return boxes;
}

}  // namespace quillon
