#include "gui/FtpConnect.h"

#include <algorithm>
#include <initializer_list>

#include <QCoreApplication>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/app/ConsoleAsk.h"
#include "core/app/QuillonApp.h"
#include "gui/PrnModelDlg.h"
#include "netlib/NetAddress.h"
#include "netlib/quillon.h"
#include "gui/JapaneseFonts.h"
#include "gui/ProgramBoxes.h"
#include "gui/QuitSignals.h"
#include "platform/Text.h"
#include "platform/WaitCursor.h"

using quillon::PrinterTarget;

TFtpConnect* FtpConnect = nullptr;

namespace {

void RecordFtpPrinter(const std::string& model, const std::string& version) {
  if (TQUILLONApp* app = TQUILLONApp::Instance()) app->SetFtpPrinterInfo(model, version);
}

}  // namespace

TFtpConnect::TFtpConnect(QWidget* parent, TdlgPrnModel* models)
    : QDialog(parent), models_(models) {
  setObjectName(QStringLiteral("FtpConnect"));
  setWindowTitle(QCoreApplication::translate("TFtpConnect", "FTP接続ﾌﾟﾘﾝﾀの指定"));
  setFont(quillon::FormFont(quillon::kFontPGothic, 12));
  setFixedSize(308, 118);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  Label1 = new QLabel(QCoreApplication::translate("TFtpConnect", "ﾌﾟﾘﾝﾀのｱﾄﾞﾚｽ(&N)"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(8, 16, 113, 17);
  Label1->setWordWrap(true);

  Label2 = new QLabel(QCoreApplication::translate("TFtpConnect", "ﾃﾞｨﾚｸﾄﾘ(&D)"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(8, 48, 113, 17);
  Label2->setWordWrap(true);

  editFtpAddr = new QLineEdit(this);
  editFtpAddr->setObjectName(QStringLiteral("editFtpAddr"));
  editFtpAddr->setGeometry(120, 14, 177, 20);
  Label1->setBuddy(editFtpAddr);

  editFtpDir = new QLineEdit(QString::fromUtf8(quillon::net::kDefaultFtpFolder.data(),
                                               static_cast<qsizetype>(quillon::net::kDefaultFtpFolder.size())),
                             this);
  editFtpDir->setObjectName(QStringLiteral("editFtpDir"));
  editFtpDir->setGeometry(120, 43, 177, 20);
  Label2->setBuddy(editFtpDir);

  btnOk = new QPushButton(QStringLiteral("&OK"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setGeometry(133, 80, 75, 25);
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &TFtpConnect::btnOkClick);

  Button2 = new QPushButton(QCoreApplication::translate("TFtpConnect", "ｷｬﾝｾﾙ"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(221, 80, 75, 25);
  connect(Button2, &QPushButton::clicked, this, &TFtpConnect::reject);

  // The captions' column as wide as the wider caption at the face in use,
  // the fields and buttons moved right of it and the box widened to match.
  const int captions = std::max({113, Label1->sizeHint().width(), Label2->sizeHint().width()});
  const int fieldX = std::max(120, 8 + captions + 6);
  for (QLabel* label : {Label1, Label2}) {
    label->setWordWrap(false);
    const int height = std::max(17, label->sizeHint().height());
    QLineEdit* field = label == Label1 ? editFtpAddr : editFtpDir;
    label->setGeometry(8, field->y() + (field->height() - height) / 2, captions, height);
  }
  const int shift = fieldX - 120;
  for (QWidget* w : std::initializer_list<QWidget*>{editFtpAddr, editFtpDir, btnOk, Button2})
    w->move(w->x() + shift, w->y());
  setFixedSize(308 + shift, 118);

  setTabOrder(editFtpAddr, editFtpDir);
  setTabOrder(editFtpDir, btnOk);
  setTabOrder(btnOk, Button2);
  editFtpAddr->setFocus();

  if (!FtpConnect) FtpConnect = this;
}

TFtpConnect::~TFtpConnect() {
  if (FtpConnect == this) FtpConnect = nullptr;
}

void TFtpConnect::reject() {
  // During the query the dialog closes once the query has ended, which the
  // cancel makes it do within a fraction of a second.
  if (querying_) {
    cancelAsked_ = true;
    return;
  }
  done(quillon::IDCANCEL);
}

platform::Error TFtpConnect::Target(PrinterTarget* out) const {
  const std::string folder = editFtpDir->text().toStdString();
  return PrinterTarget::Parse(std::string(platform::kFtpScheme) + editFtpAddr->text().toStdString() +
                                  (folder.empty() ? std::string() : "/" + folder),
                              out);
}

void TFtpConnect::btnOkClick() {
  // A malformed address is told at once and stays in the edits to be
  // mended; no console is asked for it.
  PrinterTarget target;
  const platform::Error bad = Target(&target);
  // No address at all reaches no printer, as before.
  if (bad.Failed() && editFtpAddr->text().isEmpty()) {
    done(kUnreachable);
    return;
  }
  if (bad.Failed()) {
    quillon::Boxes().MsgBoxAlways(
        QCoreApplication::translate("TFtpConnect", "ﾌﾟﾘﾝﾀのｱﾄﾞﾚｽが正しくありません。")
                .toStdString() +
            "\n" + bad.detail,
        quillon::MB_ICONEXCLAMATION, 0);
    return;
  }
  // The console listens on its own port: the host alone.
  const std::string host = target.Host();
  quillon::ConsoleReply reply;
  {
    // The query runs on this thread; the events it lets through while it
    // waits keep the dialog painted and let Cancel, Escape, the close box or
    // a quit signal end it. OK is not taken twice.
    platform::WaitCursor wait;
    querying_ = true;
    cancelAsked_ = false;
    btnOk->setEnabled(false);
    reply = quillon::AskPrinterConsole(host, [this] {
      QCoreApplication::processEvents();
      return quillon::WaitAborted() || cancelAsked_;
    });
    btnOk->setEnabled(true);
    querying_ = false;
  }
  if (cancelAsked_ || reply.error == ERR_CANCELLED) {
    done(quillon::IDCANCEL);
    return;
  }
  if (reply.answered) {
    RecordFtpPrinter(reply.model, reply.version);
    done(quillon::IDOK);
    return;
  }
  const uint32_t error = reply.error;
  if (error != ERR_NOT_PRINTER) {
    done(kUnreachable);
    return;
  }
  // The address answered but did not tell its model: the operator names it
  // (under the normal cursor, as the dialog waits for a choice).
  TdlgPrnModel* models = models_ ? models_ : dlgPrnModel;
  if (!models) {
    done(quillon::IDCANCEL);
    return;
  }
  const int result = models->exec();
  if (result == quillon::IDOK) RecordFtpPrinter(models->SelectedModel, std::string());
  done(result);
}
