#include "tests/gui/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef QUILLON_TEST_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace ui_test {

namespace {

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

#ifdef QUILLON_TEST_X11
// A window may go between listing it and reading it: not an error here.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

Display* Dpy(void* d) { return static_cast<Display*>(d); }

std::string Title(Display* d, ::Window w) {
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    title.assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
  }
  return title;
}

bool IsDialog(Display* d, ::Window w) {
  const Atom typeAtom = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
  const Atom dialog = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(d, w, typeAtom, 0, 16, False, XA_ATOM, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    const Atom* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == dialog;
    XFree(data);
  }
  return found;
}
#endif

}  // namespace

XServer::XServer() {
#ifndef QUILLON_TEST_X11
  skip_ = "built without Xlib (libx11-dev), so no dialog can be found on a display";
  return;
#else
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) {
    skip_ = "Xvfb is not installed (scripts/deps.sh installs xvfb)";
    return;
  }
  int fds[2];
  if (::pipe(fds) != 0) return;
  // Made before the fork: the child only execs.
  const std::string fd = std::to_string(fds[1]);
  pid_ = ::fork();
  if (pid_ == 0) {
    // The server writes its display number to the pipe once it listens.
    ::close(fds[0]);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
            "1024x768x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid_ < 0) {
    ::close(fds[0]);
    return;
  }
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    if (::read(fds[0], &c, 1) != 1) break;
    if (c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  XSetErrorHandler(IgnoreXErrors);
  display_ = XOpenDisplay(name_.c_str());
#endif
}

XServer::~XServer() {
#ifdef QUILLON_TEST_X11
  if (display_) XCloseDisplay(Dpy(display_));
#endif
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
  }
}

std::vector<XServer::Window> XServer::Dialogs() const {
  std::vector<Window> found;
#ifdef QUILLON_TEST_X11
  if (!display_) return found;
  Display* d = Dpy(display_);
  ::Window root = 0, parent = 0;
  ::Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return found;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
    if (!IsDialog(d, children[i])) continue;
    found.push_back({children[i], Title(d, children[i])});
  }
  if (children) XFree(children);
#endif
  return found;
}

XServer::Window XServer::WaitForDialog(const std::vector<std::string>& titles, int ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    for (const Window& w : Dialogs()) {
      if (titles.empty()) return w;
      for (const std::string& t : titles)
        if (w.title == t) return w;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

bool XServer::Close(unsigned long id) const {
#ifdef QUILLON_TEST_X11
  if (!display_ || !id) return false;
  Display* d = Dpy(display_);
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = id;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(d, id, False, NoEventMask, &ev) != 0;
  XFlush(d);
  return sent;
#else
  (void)id;
  return false;
#endif
}

}  // namespace ui_test
