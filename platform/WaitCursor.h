#pragma once
// The wait cursor for the life of the object: the one before comes back on
// every way out. Header-only and for widget code alone (the window and the
// library's browse dialog): the platform target itself links no GUI module.
#include <QGuiApplication>

namespace platform {

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace platform
