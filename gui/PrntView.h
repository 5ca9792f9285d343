#pragma once
// The progress window of one download: showing it starts the output
// thread; it shows the current step and a bar, offers the abort button,
// answers the network library's transfer notifications, and closes itself
// when the thread has ended: result 3 when the thread's result is the
// abort, else 1. The abort button and the close box only ask the thread to
// stop; what the window shows and returns is always the thread's result.
// Created once and reused for every download.

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/transfer/PrintSink.h"
#include "core/transfer/PrintThread.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TQUILLONApp;

class TfrmPrntView : public QDialog, public quillon::PrintSink {
  Q_OBJECT
 public:
  // app: whose settings and selection make the transfer request when none
  // is given; nullptr means TQUILLONApp::Instance().
  explicit TfrmPrntView(QWidget* parent = nullptr, TQUILLONApp* app = nullptr);
  ~TfrmPrntView() override;

  // Modal results.
  static constexpr int kResultDone = 1;
  static constexpr int kResultAborted = 3;

  void FormShow();
  void btnAbortClick();
  void ThreadDone();
  // WM_TRANSFER_NOTIFY: 1 asks the library to stop, 0 to go on.
  std::intptr_t OnTransferNotify(std::uintptr_t wParam, std::intptr_t lParam);

  QLabel* lblAction = nullptr;
  QProgressBar* Progress = nullptr;
  QPushButton* btnAbort = nullptr;

  std::unique_ptr<TPrintThread> Thread;
  std::atomic<std::int32_t> AbortRequested{0};
  std::uint32_t TotalBytes = 1;

  // The transfer of the next showing; unset, the application object's
  // selection makes it. Taken (and cleared) when the window is shown.
  std::optional<quillon::TransferRequest> Request;
  // The outcome of the last showing's transfer.
  quillon::TransferResult Result;

  // Called with each new thread before it starts (tests shorten its
  // watch interval).
  std::function<void(TPrintThread&)> OnThreadCreated;

  // Calls of the output thread, carried out on the user-interface thread.
  void SetAction(int stringId) override;
  void SetProgressRange(int minimum, int maximum, int step) override;
  void SetProgressPosition(int position) override;
  void SetProgressToMaximum() override;
  void SetTotalBytes(std::uint32_t total) override;
  // Posted to this window's thread without waiting; answered from the
  // abort flag.
  bool TransferNotified(std::uintptr_t wParam, std::intptr_t lParam) override;

 public slots:
  // The close box while the thread runs acts as the abort button; after
  // the thread has ended it closes with the thread's result.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool ThreadRunning() const;
  void TakeResult();
  // Ends the modal showing with modalResult_ once the event loop gets to it.
  void PostClose();
  template <typename F>
  void OnUiThread(F&& f);

  TQUILLONApp* app_;
  int modalResult_ = 0;
  bool aborting_ = false;
  bool ended_ = false;  // this showing's end has been taken
  unsigned showing_ = 0;  // counts showings; a stale close is ignored
};

// The program's one progress window (the first one created).
extern TfrmPrntView* frmPrntView;
