#include "gui/PrntView.h"

#include <QCoreApplication>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "core/app/AppTitles.h"
#include "core/app/QuillonApp.h"
#include "core/transfer/ResultCodes.h"
#include "resources/StringTable.h"
#include "gui/JapaneseFonts.h"
#include "gui/QuitSignals.h"
#include "netlib/quillon.h"
#include "platform/WaitCursor.h"

using quillon::LoadQStr;
using quillon::TransferRequest;
using quillon::TransferResult;
using quillon::kApplicationTitle;
using quillon::kJobAborted;

TfrmPrntView* frmPrntView = nullptr;

namespace {
constexpr int kStrAbort = 4128;
constexpr int kStrInitialising = 4129;
constexpr int kStrDownloading = 4131;
constexpr int kStrConnecting = 4132;
constexpr int kStrAborted = 4138;
constexpr int kStrEnded = 4139;
}  // namespace

TfrmPrntView::TfrmPrntView(QWidget* parent, TQUILLONApp* app)
    : QDialog(parent), app_(app ? app : TQUILLONApp::Instance()) {
  setObjectName(QStringLiteral("frmPrntView"));
  setWindowTitle(QCoreApplication::translate("Quillon", kApplicationTitle));
  setFont(quillon::FormFont(quillon::kFontPGothic, 12));
  setFixedSize(301, 151);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  lblAction = new QLabel(this);
  lblAction->setObjectName(QStringLiteral("lblAction"));
  lblAction->setGeometry(38, 27, 45, 12);

  Progress = new QProgressBar(this);
  Progress->setObjectName(QStringLiteral("Progress"));
  Progress->setGeometry(24, 67, 257, 16);
  Progress->setRange(0, 100);
  Progress->setValue(0);
  Progress->setTextVisible(false);

  btnAbort = new QPushButton(this);
  btnAbort->setObjectName(QStringLiteral("btnAbort"));
  btnAbort->setGeometry(113, 111, 75, 25);
  btnAbort->setAutoDefault(false);
  connect(btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });

  if (!frmPrntView) frmPrntView = this;
}

TfrmPrntView::~TfrmPrntView() {
  if (Thread) {
    // The thread may be waiting for an answer of this thread: keep serving
    // until it has stopped.
    Thread->disconnect(this);
    AbortRequested = 1;
    Thread->Abort();
    Thread->wait();
    TakeResult();
    Thread.reset();
  }
  if (frmPrntView == this) frmPrntView = nullptr;
}

template <typename F>
void TfrmPrntView::OnUiThread(F&& f) {
  if (QThread::currentThread() == thread())
    f();
  else
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

bool TfrmPrntView::ThreadRunning() const { return Thread && !Thread->isFinished(); }

void TfrmPrntView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmPrntView::FormShow() {
  ++showing_;
  modalResult_ = 0;
  ended_ = false;
  lblAction->setText(LoadQStr(kStrInitialising));
  lblAction->adjustSize();
  btnAbort->setText(LoadQStr(kStrAbort));
  btnAbort->setEnabled(true);
  AbortRequested = 0;
  Progress->setValue(0);
  Thread.reset();
  Result = TransferResult();
  if (!Request && !app_) {
    ThreadDone();
    return;
  }
  TransferRequest request = Request ? std::move(*Request) : app_->MakeTransferRequest(TQUILLONApp::kDefaultInitItems);
  Request.reset();
  if (quillon::QuitRequested()) {
    // The program is ending (a signal): nothing new goes out. Nothing was
    // sent, so the honest outcome is an abort before the first byte.
    Result.code = kJobAborted;
    Result.detail = "the program was asked to end before the transfer started";
    ThreadDone();
    return;
  }
  Thread = std::make_unique<TPrintThread>(std::move(request), *this);
  TPrintThread* t = Thread.get();
  // An end reported late by the thread of an earlier showing is ignored.
  const unsigned showing = showing_;
  connect(t, &QThread::finished, this, [this, showing] {
    if (showing == showing_) ThreadDone();
  }, Qt::QueuedConnection);
  if (OnThreadCreated) OnThreadCreated(*t);
  t->start();
}

void TfrmPrntView::btnAbortClick() {
  if (aborting_ || ended_) return;
  aborting_ = true;
  const platform::WaitCursor wait;
  AbortRequested = 1;
  // The request is taken; what became of it is the thread's to say, so
  // the label keeps its step until the thread has ended.
  btnAbort->setEnabled(false);
  if (Thread) {
    Thread->Abort();
    // Not a plain wait(): the window keeps painting while the thread ends.
    QEventLoop loop;
    QTimer poll;
    TPrintThread* t = Thread.get();
    connect(&poll, &QTimer::timeout, &loop, [&loop, t] {
      if (t->isFinished()) loop.quit();
    });
    poll.start(10);
    if (!t->isFinished()) loop.exec();
    poll.stop();
    t->wait();
    // The end handler is queued behind the thread's last calls; run them
    // now so that the end below is the last word.
    QCoreApplication::sendPostedEvents(this);
  }
  ThreadDone();
  aborting_ = false;
  PostClose();
}

void TfrmPrntView::TakeResult() {
  if (!Thread || !Thread->isFinished()) return;
  Result = Thread->Result();
}

void TfrmPrntView::ThreadDone() {
  // Once per showing: the queued end handler may come after a close or an
  // abort that has taken the end already.
  if (ended_) return;
  ended_ = true;
  TakeResult();
  // The window tells the thread's outcome and nothing of its own: an abort
  // asked for but overtaken by the end is not an abort.
  const bool aborted = Result.code == kJobAborted;
  lblAction->setText(LoadQStr(aborted ? kStrAborted : kStrEnded));
  lblAction->adjustSize();
  btnAbort->setEnabled(false);
  modalResult_ = aborted ? kResultAborted : kResultDone;
  // During an abort the abort handler closes.
  if (!aborting_) PostClose();
}

void TfrmPrntView::PostClose() {
  const unsigned showing = showing_;
  QMetaObject::invokeMethod(this, [this, showing] {
    if (showing == showing_ && isVisible()) done(modalResult_);
  }, Qt::QueuedConnection);
}

void TfrmPrntView::reject() {
  if (ThreadRunning()) {
    // Before the end a close is an abort request: the window closes with
    // the thread's own result once it has ended.
    btnAbortClick();
    return;
  }
  // After the end the result is the thread's, also when the queued end
  // handler has not run yet; the thread's last calls come first.
  if (!aborting_) {
    QCoreApplication::sendPostedEvents(this);
    ThreadDone();
  }
  if (isVisible() && !aborting_) done(modalResult_);
}

void TfrmPrntView::keyPressEvent(QKeyEvent* event) {
  // The window has no cancel button: Escape does nothing.
  if (event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

std::intptr_t TfrmPrntView::OnTransferNotify(std::uintptr_t wParam, std::intptr_t lParam) {
  switch (wParam) {
    case NOTIFY_CONNECTING:
      lblAction->setText(LoadQStr(kStrConnecting));
      lblAction->adjustSize();
      break;
    case NOTIFY_SENDING:
      lblAction->setText(LoadQStr(kStrDownloading));
      lblAction->adjustSize();
      break;
    case NOTIFY_PROGRESS: {
      // Widened: count × 100 overflows 32 bits beyond 42 MB.
      const std::uint64_t done = static_cast<std::uint32_t>(lParam);
      const std::uint64_t total = TotalBytes ? TotalBytes : 1;
      Progress->setValue(static_cast<int>(std::min<std::uint64_t>(done * 100u / total, 100u)));
      break;
    }
    default:
      break;
  }
  return AbortRequested ? 1 : 0;
}

bool TfrmPrntView::TransferNotified(std::uintptr_t wParam, std::intptr_t lParam) {
  OnUiThread([this, wParam, lParam] { OnTransferNotify(wParam, lParam); });
  return AbortRequested != 0;
}

void TfrmPrntView::SetAction(int stringId) {
  OnUiThread([this, stringId] {
    lblAction->setText(LoadQStr(stringId));
    lblAction->adjustSize();
  });
}

void TfrmPrntView::SetProgressRange(int minimum, int maximum, int /*step*/) {
  OnUiThread([this, minimum, maximum] { Progress->setRange(minimum, maximum); });
}

void TfrmPrntView::SetProgressPosition(int position) {
  OnUiThread([this, position] { Progress->setValue(position); });
}

void TfrmPrntView::SetProgressToMaximum() {
  OnUiThread([this] { Progress->setValue(Progress->maximum()); });
}

void TfrmPrntView::SetTotalBytes(std::uint32_t total) {
  OnUiThread([this, total] { TotalBytes = total; });
}
