#pragma once
// Drives modal dialogs from a test: waits (bounded) for a modal widget of
// the asked type to become the active one and acts on it. A watchdog closes
// whatever modal is left so that no test can hang.
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace quillon_test {

struct ModalWait {
  bool ran = false;
  bool timedOut = false;
};

template <typename T>
std::shared_ptr<ModalWait> OnModal(std::function<void(T*)> action, int timeoutMs = 5000) {
  auto state = std::make_shared<ModalWait>();
  auto* poll = new QTimer();
  poll->setInterval(10);
  auto elapsed = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, state, elapsed, action, timeoutMs] {
    *elapsed += 10;
    if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      if (w->isVisible()) {
        poll->stop();
        poll->deleteLater();
        state->ran = true;
        action(w);
        return;
      }
    }
    if (*elapsed >= timeoutMs) {
      poll->stop();
      poll->deleteLater();
      state->timedOut = true;
      // Unblock the test: whatever modal is open gets closed.
      while (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }
  });
  poll->start();
  return state;
}

}  // namespace quillon_test
