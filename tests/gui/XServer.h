#pragma once
// A private X server (Xvfb) for the runs of the program on a real display,
// and what the tests do on it through Xlib: find the program's dialogs and
// close one the way a window manager's close box does.
#include <sys/types.h>

#include <string>
#include <vector>

namespace ui_test {

class XServer {
 public:
  // Starts Xvfb on a display number it picks itself; Ready() tells whether
  // it came up, SkipReason() why not when it cannot run here at all.
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool Ready() const { return display_ != nullptr; }
  const std::string& SkipReason() const { return skip_; }
  // ":N", for the program's DISPLAY.
  const std::string& Name() const { return name_; }

  // Mapped top-level windows of the dialog type; titles in UTF-8.
  struct Window {
    unsigned long id = 0;
    std::string title;
  };
  std::vector<Window> Dialogs() const;
  // Waits up to ms for a dialog whose title is one of titles (any dialog
  // when titles is empty); id 0 when none came.
  Window WaitForDialog(const std::vector<std::string>& titles, int ms) const;
  // Asks the window to close (WM_DELETE_WINDOW), as a close box does.
  bool Close(unsigned long id) const;

 private:
  pid_t pid_ = -1;
  void* display_ = nullptr;  // Display*
  std::string name_;
  std::string skip_;
};

}  // namespace ui_test
