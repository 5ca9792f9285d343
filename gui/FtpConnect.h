#pragma once
// Asks for the address of a printer reached by FTP and the directory on
// its FTP server, and identifies the printer through its console before
// closing with OK. Created once and reused; the edits keep what was typed.
#include <QDialog>

#include "core/transfer/PrinterTarget.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TdlgPrnModel;

class TFtpConnect : public QDialog {
  Q_OBJECT
 public:
  // Modal results besides OK (1) and Cancel (2).
  static constexpr int kUnreachable = 3;

  // models: the model choice dialog asked when the printer's console does
  // not tell its model; nullptr uses the program's one.
  explicit TFtpConnect(QWidget* parent = nullptr, TdlgPrnModel* models = nullptr);
  ~TFtpConnect() override;

  // The printer the edits name: "ftp://" + address + "/" + folder (the
  // usual folder when the folder edit is empty), or why it is none.
  platform::Error Target(quillon::PrinterTarget* out) const;
  // Queries the printer at the address and closes with the outcome; a
  // malformed address is told and the dialog stays.
  void btnOkClick();

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* editFtpAddr = nullptr;
  QLineEdit* editFtpDir = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* Button2 = nullptr;

 public slots:
  // Cancel, Escape and the close box give 2; during the console query they
  // end the query first.
  void reject() override;

 private:
  TdlgPrnModel* models_;
  bool querying_ = false;     // the console query of OK is running
  bool cancelAsked_ = false;  // a cancel came during it
};

// The program's one FTP address dialog (the first one created).
extern TFtpConnect* FtpConnect;
