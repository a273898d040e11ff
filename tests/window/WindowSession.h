// Drives the real editor window: the stand-in host program with the plug-in bundle, on an X
// server of its own, with pointer and key events injected through XTest, the way a musician's
// hand reaches it. Results are read back as pixels of the window, the host's output (every
// outgoing MIDI message is printed there) and the editor's log file.
//
// Each session starts a private Xvfb (it picks a free display itself), so test processes that
// run side by side never click into each other's windows; there is no window manager, the
// session gives the host's window the input focus as one would. The data folder is whatever
// XDG_DATA_HOME names when start() runs (the caller points it at a temporary folder).
//
// Coordinates are the plug-in view's own, at the editor's size factor: the view sits at the
// bottom of the host's window, under the host's transport bar.
//
// Main thread only. The destructor ends the host and the server.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

// An RGB picture, 8 bits a channel, rows top to bottom.
struct WindowImage {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;

  bool empty() const { return w <= 0 || h <= 0; }
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
  WindowImage crop(int x, int y, int cw, int ch) const;
  WindowImage halved() const;  // 2 x 2 boxes averaged
  bool writePng(const std::string& path) const;
  static WindowImage readPng(const std::string& path);
  // Share of pixels whose largest channel difference exceeds tolerance; 1 when sizes differ.
  double differingShare(const WindowImage& other, int tolerance) const;
};

class WindowSession {
public:
  struct Options {
    std::string scheme = "yellow";  // settings line 1
    std::string size = "normal";    // settings line 2
    std::string outPort, inPort;    // settings lines 4 and 5 (empty: none)
    double tempo = 121.0;           // the host's starting tempo
    // The data folder as the install step laid it down (scripts/install-data.sh): the session
    // writes no settings file of its own.
    bool installed = false;
    // start() returns as soon as the window shows instead of once it is drawn and still.
    bool returnAtFirstSight = false;
    // More arguments for the host (before the bundle); the host and bundle to run (empty: this
    // build's); whether LeakSanitizer looks at the host's exit (off: GTK keeps its caches).
    std::vector<std::string> hostArgs;
    std::string host, bundle;
    bool leakCheck = false;
  };

  WindowSession() = default;
  ~WindowSession();
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // Whether Xvfb can be run here.
  static bool available();
  // Writes the settings file, starts the server and the host and waits until the editor's view
  // is drawn. False, with the reason in why(), when something did not come up.
  bool start(const Options& options);
  // Ends the host as a window close would (it saves its state to statePath()); true when it
  // exited by itself with status 0.
  bool stop();
  // Closes the host's window as a window manager does for the user (WM_DELETE_WINDOW) and waits
  // at most maxSeconds for the host to end. The seconds from the request to the host's end on
  // the monotonic clock; -1 when it did not end by itself with status 0 in time.
  double closeWindow(double maxSeconds = 20.0);
  double startToWindow() const { return mStartToWindow; }  // seconds from the host's start
  pid_t hostPid() const { return mHost; }
  // Whether the host still runs (one that ended is reaped: stop() and closeWindow() then fail).
  bool hostRunning();
  const std::string& why() const { return mWhy; }

  double scale() const { return mScale; }
  int viewWidth() const { return static_cast<int>(1500 * mScale); }
  int viewHeight() const { return static_cast<int>(757 * mScale); }
  // Scales a coordinate of the normal size to the session's size.
  int s(int v) const { return static_cast<int>(v * mScale); }

  void move(int x, int y, double pauseSeconds = 0.03);
  // The moves reach the host together (it is stopped meanwhile), as they reach a busy main thread.
  void movesReachingBusyHost(const std::vector<std::pair<int, int>>& points);
  void click(int x, int y, int button = 1);
  void clicksReachingBusyHost(int x, int y, int n, int button = 1);  // n clicks, as the moves above
  void doubleClick(int x, int y);
  void drag(int x0, int y0, int x1, int y1, int steps = 12);
  // A drag in parts: the button goes down at x, y, the pointer moves (move), the button comes up.
  void press(int x, int y, int button = 1);
  void release(int button = 1);
  void key(const char* keysymName);  // "Up", "Return", "Escape", "a" ...
  // Opens the menu of the control at x, y (with the given mouse button), waits until it is up,
  // walks it with the keys and waits until it has closed. False when it did not open or close.
  bool menu(int x, int y, const std::vector<const char*>& keys, int button = 1);
  // Waits until a popup menu is open (open true) or none is (false); false on timeout.
  bool waitForPopups(bool open, double maxSeconds = 5.0);
  void type(const std::string& text);
  // Waits until the window, the host's bar included, stops changing (the editor repaints at 25
  // frames a second), at most maxSeconds; returns the last picture of the plug-in's view.
  WindowImage settle(double maxSeconds = 4.0);
  // settle(), and more while the region x, y, w, h of the view still looks as in before (at
  // most maxSeconds): for a step that must change it, however slow the build.
  WindowImage settleChanged(const WindowImage& before, int x, int y, int w, int h, double maxSeconds = 8.0);
  WindowImage view();    // the plug-in's view now
  WindowImage view(int x, int y, int w, int h);  // a rectangle of it: a look much quicker than the whole
  WindowImage window();  // the whole host window now, transport bar included
  WindowImage screen();  // the whole screen: menus and dialogs too
  int barHeight() const { return mWindowH - viewHeight(); }
  // What a window manager does for a new dialog of the host: gives it the input focus. False
  // when no dialog appeared within maxSeconds.
  bool focusDialog(double maxSeconds = 5.0);
  // Width and height of every popup (menu) window open now.
  std::vector<std::pair<int, int>> popups();

  // The host's standard output and error so far, and the editor's log file.
  std::string output() const;
  std::string editorLog() const;
  std::string dataFolder() const;
  std::string statePath() const { return mDir + "/state.plist"; }
  // Waits until text shows up in output() (true) or maxSeconds pass (false).
  bool waitForOutput(const std::string& text, double maxSeconds = 5.0) const;

private:
  void end();  // the host, the display, the server and the run's folder
  bool startServer();
  bool findWindow(double maxSeconds);
  // The host's mapped top-level windows (menus aside), bottom to top.
  std::vector<unsigned long> hostWindows();
  void giveFocus(unsigned long window);
  void flush();
  void pause(double seconds);
  // Waits until the host has read every event sent to it so far (it answered a ping sent after
  // them) and handled them (its main thread waits in poll), at most maxSeconds. A stopped host
  // has nothing to catch up on.
  void hostCaughtUp(double maxSeconds = 10.0);

  std::string mWhy, mDir;
  pid_t mServer = -1, mHost = -1;
  Display* mDpy = nullptr;
  unsigned long mWindow = 0;
  int mWindowX = 0, mWindowY = 0, mWindowW = 0, mWindowH = 0;
  double mScale = 1.0;
  double mStartToWindow = -1.0;
  long mPings = 0;
};

// The bundle and the host program of this build.
const char* windowTestBundle();
const char* windowTestHost();
