#include "core/command/MessageBoxes.h"

#include <QCoreApplication>
#include <iostream>

#include "core/app/AppTitles.h"

namespace quillon {

BoxIcon IconOfStyle(int style) {
  switch (style & MB_ICONMASK) {
    case MB_ICONSTOP: return BoxIcon::Stop;
    case MB_ICONQUESTION: return BoxIcon::Question;
    case MB_ICONEXCLAMATION: return BoxIcon::Exclamation;
    case MB_ICONINFORMATION: return BoxIcon::Information;
    default: return BoxIcon::None;
  }
}

BoxLayout LayoutForStyle(int style) {
  BoxLayout layout;
  layout.icon = IconOfStyle(style);
  // The window only ever asks for OK or OK/Cancel; any other button set
  // falls back to OK alone so that every answer stays 1 or 2.
  layout.cancelButton = (style & MB_TYPEMASK) == MB_OKCANCEL;
  layout.helpButton = (style & MB_HELP) != 0;
  layout.defaultButton =
      (layout.cancelButton && (style & MB_DEFMASK) == MB_DEFBUTTON2) ? IDCANCEL : IDOK;
  layout.escapeButton = layout.cancelButton ? IDCANCEL : IDOK;
  return layout;
}

int DefaultButton(const BoxQuestion& q) {
  if (q.kind == BoxQuestion::Kind::Dialog) return IDOK;
  return LayoutForStyle(q.style).defaultButton;
}

BoxAnswerer::~BoxAnswerer() = default;

HeadlessBoxAnswerer::HeadlessBoxAnswerer(std::ostream* err) : err_(err) {}

BoxAnswer HeadlessBoxAnswerer::Answer(const BoxQuestion& q) {
  std::ostream& out = err_ ? *err_ : std::cerr;
  out << q.text << '\n';
  out.flush();
  BoxAnswer answer;
  answer.button = DefaultButton(q);
  return answer;
}

MessageBoxes::MessageBoxes(BoxAnswerer* fallback)
    : title_(QCoreApplication::translate("Quillon", kApplicationTitle).toStdString()), fallback_(fallback) {}

BoxAnswerer* MessageBoxes::SetAnswerer(BoxAnswerer* answerer) {
  BoxAnswerer* previous = answerer_;
  answerer_ = answerer;
  return previous;
}

BoxAnswerer& MessageBoxes::Current() {
  if (answerer_) return *answerer_;
  if (fallback_) return *fallback_;
  return headless_;
}

int MessageBoxes::MsgBox(const std::string& text, int style, int helpContext,
                         int showMessage, int messageId) {
  if (showMessage == 0) return IDOK;
  return MsgBoxAlways(text, style, helpContext, messageId);
}

int MessageBoxes::MsgBoxAlways(const std::string& text, int style, int helpContext,
                               int messageId) {
  BoxQuestion q;
  q.messageId = messageId;
  q.kind = BoxQuestion::Kind::Message;
  q.caption = title_;
  q.text = text;
  q.style = style & 0xFFFF;  // a 16-bit style, as the window passes it
  q.helpContext = helpContext & 0xFFFF;
  return Current().Answer(q).button;
}

BoxAnswer MessageBoxes::AskDialog(BoxQuestion q) {
  q.kind = BoxQuestion::Kind::Dialog;
  q.caption = title_;
  return Current().Answer(q);
}

}  // namespace quillon
