#include "WindowSession.h"

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
#ifndef SYS_poll
#define SYS_poll SYS_ppoll  // where poll is ppoll only (arm64)
#endif

namespace {

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Ends a child: SIGTERM, then SIGKILL after graceSeconds. Returns its exit status (-1 when it
// had to be killed or was no child).
int endChild(pid_t pid, double graceSeconds) {
  if (pid <= 0) return -1;
  kill(pid, SIGTERM);
  const double deadline = now() + graceSeconds;
  int status = 0;
  while (now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usleep(20000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// The X server's errors (a window that vanished while we looked at it) are expected now and
// then; Xlib's default handler would end the process.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

const char* windowTestBundle() { return SORVANTA_WINDOW_BUNDLE; }
const char* windowTestHost() { return SORVANTA_WINDOW_HOST; }

// ---- pictures --------------------------------------------------------------------------------

WindowImage WindowImage::crop(int x, int y, int cw, int ch) const {
  WindowImage out;
  if (x < 0 || y < 0 || cw <= 0 || ch <= 0 || x + cw > w || y + ch > h) return out;
  out.w = cw;
  out.h = ch;
  out.rgb.resize(static_cast<size_t>(cw) * ch * 3);
  for (int r = 0; r < ch; ++r) std::memcpy(&out.rgb[static_cast<size_t>(r) * cw * 3], at(x, y + r), static_cast<size_t>(cw) * 3);
  return out;
}

WindowImage WindowImage::halved() const {
  WindowImage out;
  out.w = w / 2;
  out.h = h / 2;
  out.rgb.resize(static_cast<size_t>(out.w) * out.h * 3);
  for (int y = 0; y < out.h; ++y)
    for (int x = 0; x < out.w; ++x)
      for (int c = 0; c < 3; ++c) {
        const int sum = at(2 * x, 2 * y)[c] + at(2 * x + 1, 2 * y)[c] + at(2 * x, 2 * y + 1)[c] + at(2 * x + 1, 2 * y + 1)[c];
        out.rgb[(static_cast<size_t>(y) * out.w + x) * 3 + c] = static_cast<uint8_t>((sum + 2) / 4);
      }
  return out;
}

double WindowImage::differingShare(const WindowImage& o, int tolerance) const {
  if (w != o.w || h != o.h || empty()) return 1.0;
  size_t differ = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    int d = 0;
    for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(rgb[i + c] - o.rgb[i + c]));
    differ += d > tolerance;
  }
  return static_cast<double>(differ) / (rgb.size() / 3);
}

bool WindowImage::writePng(const std::string& path) const {
  if (empty()) return false;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, const_cast<png_bytep>(at(0, y)));
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  fclose(f);
  return ok;
}

WindowImage WindowImage::readPng(const std::string& path) {
  WindowImage out;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return out;
  }
  out.w = static_cast<int>(image.width);
  out.h = static_cast<int>(image.height);
  out.rgb = std::move(pixels);
  return out;
}

// ---- the session ------------------------------------------------------------------------------

WindowSession::~WindowSession() { end(); }

void WindowSession::end() {
  if (mHost > 0) endChild(mHost, 10.0);
  if (mDpy) XCloseDisplay(mDpy);
  if (mServer > 0) endChild(mServer, 5.0);
  std::error_code ec;
  if (!mDir.empty()) fs::remove_all(mDir, ec);
  mHost = mServer = -1, mDpy = nullptr, mWindow = 0, mDir.clear();
}

bool WindowSession::available() {
  return access("/usr/bin/Xvfb", X_OK) == 0;
}

std::string WindowSession::dataFolder() const {
  const char* xdg = getenv("XDG_DATA_HOME");
  return std::string(xdg ? xdg : "") + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
}

bool WindowSession::startServer() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  mServer = fork();
  if (mServer == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    const std::string fd = std::to_string(fds[1]);
    execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // Xvfb writes the display number it chose once it listens.
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) {
    mWhy = "Xvfb did not start";
    return false;
  }
  const std::string display = ":" + number;
  setenv("DISPLAY", display.c_str(), 1);
  XSetErrorHandler(ignoreXError);
  mDpy = XOpenDisplay(display.c_str());
  if (!mDpy) {
    mWhy = "cannot open the private display " + display;
    return false;
  }
  XSelectInput(mDpy, DefaultRootWindow(mDpy), SubstructureNotifyMask);  // the host's answers to pings
  int ev, err, major, minor;
  if (!XTestQueryExtension(mDpy, &ev, &err, &major, &minor)) {
    mWhy = "the X server has no XTest";
    return false;
  }
  return true;
}

bool WindowSession::start(const Options& o) {
  end();  // a session started again leaves nothing of the last run behind
  char tmpl[] = "/tmp/sorvanta-window-XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  mDir = tmpl;
  mScale = o.size == "small" ? 0.85 : o.size == "large" ? 1.15 : 1.0;
  fs::create_directories(dataFolder() + "Patches");
  if (!o.installed) {
    std::ofstream settings(dataFolder() + "Sorvanta Editor UI.txt");
    settings << o.scheme << "\n" << o.size << "\nyes\n" << o.outPort << "\n" << o.inPort << "\n";
  }
  std::ofstream(dataFolder() + "Sorvanta Editor LOG.txt");  // its presence turns the log on
  if (!startServer()) return false;
  mHost = fork();
  if (mHost == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int out = open((mDir + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);  // never a real server behind the test's back
    if (!getenv("SORVANTA_MIDI_API"))  // no test server: no MIDI whatever the machine has, same port fields
      setenv("SORVANTA_MIDI_API", "jack", 1), setenv("JACK_DEFAULT_SERVER", "sorvanta-window-no-server", 1);
    // GTK, fontconfig and Pango keep their caches until the process ends: in a sanitizer build
    // the leak report at the host's exit would be theirs and fail every flow. The editor's own
    // leaks are for the headless suites to find.
    const char* asan = getenv("ASAN_OPTIONS");
    if (!o.leakCheck)
      setenv("ASAN_OPTIONS", (std::string(asan && *asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0").c_str(), 1);
    const std::string tempo = std::to_string(o.tempo);
    const std::string host = o.host.empty() ? windowTestHost() : o.host;
    std::vector<std::string> args = {"sorvanta-host", "--tempo", tempo, "--save", statePath()};
    args.insert(args.end(), o.hostArgs.begin(), o.hostArgs.end());
    args.push_back(o.bundle.empty() ? windowTestBundle() : o.bundle);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(host.c_str(), argv.data());
    _exit(127);
  }
  const double launched = now();
  if (!findWindow(60.0)) return false;
  mStartToWindow = now() - launched;
  if (!o.returnAtFirstSight) settle(8.0);
  return true;
}

std::vector<unsigned long> WindowSession::hostWindows() {
  std::vector<unsigned long> out;
  const Atom pidAtom = XInternAtom(mDpy, "_NET_WM_PID", False);
  Window root = DefaultRootWindow(mDpy), parent, *children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(mDpy, root, &root, &parent, &children, &n)) return out;
  for (unsigned int i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(mDpy, children[i], &a) || a.map_state != IsViewable || a.override_redirect) continue;
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(mDpy, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) != Success || !data)
      continue;
    const unsigned long pid = items ? *reinterpret_cast<unsigned long*>(data) : 0;
    XFree(data);
    if (pid == static_cast<unsigned long>(mHost)) out.push_back(children[i]);  // in stacking order
  }
  if (children) XFree(children);
  return out;
}

void WindowSession::giveFocus(unsigned long window) {
  XRaiseWindow(mDpy, window);
  XSetInputFocus(mDpy, window, RevertToParent, CurrentTime);
  flush();
}

bool WindowSession::findWindow(double maxSeconds) {
  const double deadline = now() + maxSeconds;
  while (now() < deadline) {
    int status;
    if (waitpid(mHost, &status, WNOHANG) == mHost) {
      mHost = -1;
      mWhy = "the host exited early: " + output();
      return false;
    }
    for (unsigned long win : hostWindows()) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(mDpy, win, &a) || a.height < viewHeight()) continue;
      mWindow = win;
      mWindowX = a.x;
      mWindowY = a.y;
      mWindowW = a.width;
      mWindowH = a.height;
    }
    if (mWindow) {
      // What a window manager would do for a new window: raise it and give it the focus.
      giveFocus(mWindow);
      return true;
    }
    pause(0.01);
  }
  mWhy = "no window of the host appeared: " + output();
  return false;
}

bool WindowSession::hostRunning() {
  if (mHost > 0 && waitpid(mHost, nullptr, WNOHANG) == mHost) mHost = -1;
  return mHost > 0;
}

bool WindowSession::stop() {
  if (mHost <= 0) return false;
  const int code = endChild(mHost, 20.0);
  mHost = -1;
  return code == 0;
}

double WindowSession::closeWindow(double maxSeconds) {
  if (mHost <= 0) return -1.0;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = mWindow;
  e.xclient.message_type = XInternAtom(mDpy, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(mDpy, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(mDpy, mWindow, False, NoEventMask, &e);
  flush();
  const double t0 = now();
  int status = 0;
  while (now() - t0 < maxSeconds) {
    if (waitpid(mHost, &status, WNOHANG) == mHost) {
      const double took = now() - t0;
      mHost = -1;
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1.0;
    }
    usleep(500);
  }
  return -1.0;
}

void WindowSession::flush() { XSync(mDpy, False); }

void WindowSession::pause(double seconds) { usleep(static_cast<useconds_t>(seconds * 1e6)); }

void WindowSession::hostCaughtUp(double maxSeconds) {
  auto proc = [this](const char* file) { return readAll("/proc/" + std::to_string(mHost) + "/" + file); };
  auto stopped = [&] { const std::string s = proc("stat"); return s.size() <= s.rfind(')') + 2 || std::strchr("TtZ", s[s.rfind(')') + 2]); };
  if (mHost <= 0) return;
  XEvent e{};  // _NET_WM_PING, which GDK sends back to the root window as it reads it
  e.xclient = {ClientMessage, 0, False, mDpy, mWindow, XInternAtom(mDpy, "WM_PROTOCOLS", False), 32, {}};
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(mDpy, "_NET_WM_PING", False));
  e.xclient.data.l[1] = ++mPings;
  XSendEvent(mDpy, mWindow, False, NoEventMask, &e);
  flush();
  bool answered = false;
  for (const double deadline = now() + maxSeconds; now() < deadline && !stopped(); usleep(500)) {
    for (XEvent r; !answered && XPending(mDpy);)
      XNextEvent(mDpy, &r), answered = r.type == ClientMessage && r.xclient.data.l[1] == mPings;
    const std::string call = proc("syscall");
    if (answered && call.rfind("running", 0) != 0 && (atol(call.c_str()) == SYS_poll || atol(call.c_str()) == SYS_ppoll)) return;
  }
}

void WindowSession::move(int x, int y, double pauseSeconds) {
  XTestFakeMotionEvent(mDpy, -1, mWindowX + x, mWindowY + barHeight() + y, CurrentTime);
  flush();
  pause(pauseSeconds);
}

void WindowSession::movesReachingBusyHost(const std::vector<std::pair<int, int>>& points) {
  if (mHost <= 0) return;
  kill(mHost, SIGSTOP);
  for (const auto& p : points) move(p.first, p.second, 0.0);
  pause(0.01);  // the server has written the motions
  kill(mHost, SIGCONT);
}

// A click lasts 30 ms on the server's clock (XTest's delay), whatever the host's pace.
void WindowSession::click(int x, int y, int button) {
  move(x, y);
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), True, CurrentTime);
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), False, 30);
  flush();
  hostCaughtUp();
}

void WindowSession::clicksReachingBusyHost(int x, int y, int n, int button) {
  kill(mHost, SIGSTOP);
  for (int i = 0; i < n; ++i) click(x, y, button);
  kill(mHost, SIGCONT);
}

void WindowSession::doubleClick(int x, int y) {
  move(x, y);
  for (int i = 0; i < 2; ++i) {
    XTestFakeButtonEvent(mDpy, 1, True, i == 0 ? CurrentTime : 50);
    XTestFakeButtonEvent(mDpy, 1, False, 20);
  }
  flush();
  hostCaughtUp();
}

void WindowSession::press(int x, int y, int button) {
  move(x, y);
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), True, CurrentTime);
  flush();
  hostCaughtUp();
}

void WindowSession::release(int button) {
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), False, CurrentTime);
  flush();
  hostCaughtUp();
}

void WindowSession::drag(int x0, int y0, int x1, int y1, int steps) {
  press(x0, y0);
  for (int i = 1; i <= steps; ++i) move(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
  release();
}

void WindowSession::key(const char* keysymName) {
  const KeySym sym = XStringToKeysym(keysymName);
  const KeyCode code = XKeysymToKeycode(mDpy, sym);
  if (!code) return;
  // Upper-case letters and shifted signs are typed with Shift, as a hand would.
  const bool shift = XkbKeycodeToKeysym(mDpy, code, 0, 0) != sym;
  const KeyCode shiftCode = XKeysymToKeycode(mDpy, XK_Shift_L);
  if (shift) XTestFakeKeyEvent(mDpy, shiftCode, True, CurrentTime);
  XTestFakeKeyEvent(mDpy, code, True, CurrentTime);
  XTestFakeKeyEvent(mDpy, code, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(mDpy, shiftCode, False, CurrentTime);
  flush();
  hostCaughtUp();
}

void WindowSession::type(const std::string& text) {
  for (char c : text) {
    const char name[2] = {c, 0};
    key(c == ' ' ? "space" : name);
  }
}

namespace {

WindowImage grab(Display* dpy, unsigned long drawable, int w, int h, int x = 0, int y = 0) {
  WindowImage out;
  XImage* img = XGetImage(dpy, drawable, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!img) return out;
  out.w = w;
  out.h = h;
  out.rgb.resize(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      uint8_t* d = &out.rgb[(static_cast<size_t>(y) * w + x) * 3];
      d[0] = static_cast<uint8_t>((p >> 16) & 0xFF);
      d[1] = static_cast<uint8_t>((p >> 8) & 0xFF);
      d[2] = static_cast<uint8_t>(p & 0xFF);
    }
  XDestroyImage(img);
  return out;
}

}  // namespace

WindowImage WindowSession::window() { return grab(mDpy, mWindow, mWindowW, mWindowH); }

WindowImage WindowSession::screen() {
  const int screen = DefaultScreen(mDpy);
  return grab(mDpy, DefaultRootWindow(mDpy), DisplayWidth(mDpy, screen), DisplayHeight(mDpy, screen));
}

WindowImage WindowSession::view() {
  return window().crop(0, barHeight(), std::min(viewWidth(), mWindowW), viewHeight());
}

WindowImage WindowSession::view(int x, int y, int w, int h) { return grab(mDpy, mWindow, w, h, x, y + barHeight()); }

WindowImage WindowSession::settle(double maxSeconds) {
  // Still for three looks in a row: a slow build can be busy for a moment with the window
  // unchanged before it draws what it computed.
  const double deadline = now() + maxSeconds;
  pause(0.12);
  WindowImage last = window();
  for (int still = 0; still < 2 && now() < deadline;) {
    pause(0.15);
    WindowImage next = window();
    still = next.rgb == last.rgb ? still + 1 : 0;
    last = std::move(next);
  }
  return last.crop(0, barHeight(), std::min(viewWidth(), mWindowW), viewHeight());
}

WindowImage WindowSession::settleChanged(const WindowImage& before, int x, int y, int w, int h, double maxSeconds) {
  const double deadline = now() + maxSeconds;
  WindowImage shown = settle(maxSeconds);
  while (shown.crop(x, y, w, h).rgb == before.crop(x, y, w, h).rgb && now() < deadline) shown = settle(1.0);
  return shown;
}

bool WindowSession::waitForPopups(bool open, double maxSeconds) {
  const double deadline = now() + maxSeconds;
  do {
    if (popups().empty() != open) return true;
    pause(0.05);
  } while (now() < deadline);
  return false;
}

bool WindowSession::menu(int x, int y, const std::vector<const char*>& keys, int button) {
  click(x, y, button);
  if (!waitForPopups(true)) return false;
  hostCaughtUp();  // it has seen the menu mapped and grabbed for it: keys before the grab would be lost
  for (const char* k : keys) key(k);
  return waitForPopups(false);
}

bool WindowSession::focusDialog(double maxSeconds) {
  const double deadline = now() + maxSeconds;
  do {
    unsigned long found = 0;
    for (unsigned long win : hostWindows())
      if (win != mWindow) found = win;  // the newest is the last in stacking order
    if (found) {
      giveFocus(found);
      hostCaughtUp();
      return true;
    }
    pause(0.1);
  } while (now() < deadline);
  return false;
}

std::vector<std::pair<int, int>> WindowSession::popups() {
  std::vector<std::pair<int, int>> out;
  Window root = DefaultRootWindow(mDpy), parent, *children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(mDpy, root, &root, &parent, &children, &n)) return out;
  for (unsigned int i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (children[i] != mWindow && XGetWindowAttributes(mDpy, children[i], &a) && a.map_state == IsViewable &&
        a.override_redirect)
      out.emplace_back(a.width, a.height);
  }
  if (children) XFree(children);
  return out;
}

std::string WindowSession::output() const { return readAll(mDir + "/output.txt"); }

std::string WindowSession::editorLog() const { return readAll(dataFolder() + "Sorvanta Editor LOG.txt"); }

bool WindowSession::waitForOutput(const std::string& text, double maxSeconds) const {
  const double deadline = now() + maxSeconds;
  do {
    if (output().find(text) != std::string::npos) return true;
    usleep(50000);
  } while (now() < deadline);
  return false;
}
