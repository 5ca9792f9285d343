#pragma once
// The main window: titled with the application title, at the position and
// size kept in the settings; the rectangle goes back to the application
// object when the window closes.

#include <QMainWindow>

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// The main window while it exists, else nullptr.
extern TfrmMain* frmMain;
