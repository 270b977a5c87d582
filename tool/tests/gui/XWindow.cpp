// The GUI tests' X requests that xdotool cannot make. Usage:
//
//   plavo-gui-x ready PID     Waits until process PID has mapped its top-level window and has
//                             handled every event that came before, then prints the window's
//                             id. Fails when PID ends first or after 20 s.
//   plavo-gui-x close WINDOW  Asks WINDOW to close the way a window manager's close box does.
//
// Exit codes: 0 done, 1 failed, 2 usage, 3 the display refused the connection (Xvfb does that
// under load; the only failure a caller may retry), 4 the process PID ended before its window
// was ready.
//
// "Handled" is known by a _NET_WM_PING round trip: the toolkit answers the ping from its event
// loop, which it enters only once the whole window is created and mapped, and only after the
// events queued before the ping. A click sent after the answer therefore finds the list in
// place; no timing is guessed.
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int exitFailed = 1;
const int exitUsage = 2;
const int exitRefused = 3;
const int exitEnded = 4;
const auto readyTimeout = std::chrono::seconds(20);

// Sends WM_PROTOCOLS with `protocol` to `window` as a window manager would.
void sendProtocol(Display* display, Window window, const char* protocol) {
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, protocol, False));
  event.xclient.data.l[1] = CurrentTime;
  event.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

// A top-level window already viewable (mapped before this program watched the root).
Window findMapped(Display* display) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0)
    return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
        attributes.map_state == IsViewable && !attributes.override_redirect)
      found = children[i];
  }
  if (children != nullptr) XFree(children);
  return found;
}

int ready(Display* display, pid_t pid) {
  // A descriptor that becomes readable when the process ends (called directly: the C library's
  // wrapper is newer than some systems that build this).
  const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (process < 0) {
    std::fprintf(stderr, "cannot watch process %d: %s\n", static_cast<int>(pid),
                 std::strerror(errno));
    return errno == ESRCH ? exitEnded : exitFailed;
  }
  const Window root = DefaultRootWindow(display);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  // Watch first, then look: a window mapped in between is seen by one or the other.
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);
  Window window = findMapped(display);
  if (window != 0) sendProtocol(display, window, "_NET_WM_PING");
  const auto deadline = std::chrono::steady_clock::now() + readyTimeout;
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect && window == 0) {
        window = event.xmap.window;
        sendProtocol(display, window, "_NET_WM_PING");
      } else if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                 static_cast<Atom>(event.xclient.data.l[0]) == ping && window != 0 &&
                 static_cast<Window>(event.xclient.data.l[2]) == window) {
        std::printf("%lu\n", window);
        close(process);
        return 0;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      std::fprintf(stderr,
                   window == 0 ? "no window was mapped within %lld s\n"
                               : "the window did not answer within %lld s\n",
                   static_cast<long long>(readyTimeout.count()));
      break;
    }
    pollfd watched[] = {{ConnectionNumber(display), POLLIN, 0}, {process, POLLIN, 0}};
    poll(watched, 2, static_cast<int>(left.count()));
    if ((watched[1].revents & POLLIN) != 0) {
      std::fprintf(stderr, "process %d ended before its window was ready\n", static_cast<int>(pid));
      close(process);
      return exitEnded;
    }
  }
  close(process);
  return exitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  const bool isReady = argc == 3 && std::strcmp(argv[1], "ready") == 0;
  const bool isClose = argc == 3 && std::strcmp(argv[1], "close") == 0;
  if (!isReady && !isClose) {
    std::fprintf(stderr, "usage: %s ready PID | close WINDOW\n", argv[0]);
    return exitUsage;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "%s: cannot open display \"%s\"\n", argv[0], XDisplayName(nullptr));
    return exitRefused;
  }
  int status = 0;
  if (isReady) {
    status = ready(display, static_cast<pid_t>(std::strtol(argv[2], nullptr, 10)));
  } else {
    sendProtocol(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)),
                 "WM_DELETE_WINDOW");
    XSync(display, False);
  }
  XCloseDisplay(display);
  return status;
}
