// A window procedure that records every message it gets, for the window tests.
#pragma once

#include <cstdlib>
#include <vector>

#include "WINX_Canvas.h"
#include "WINX_GDI.h"
#include "WINX_Window.h"

enum { WM_USER_TEST = 0x0400 };

namespace winxtest {

// Set before the first window starts GTK: the accessibility bridge keeps a D-Bus connection that
// LeakSanitizer reports at exit, and settings must not try to start a session bus.
inline const bool kQuietGtk = (setenv("NO_AT_BRIDGE", "1", 0), setenv("GSETTINGS_BACKEND", "memory", 0), true);

struct Entry {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
};

inline std::vector<Entry>& Log() {
  static std::vector<Entry> log;
  return log;
}
inline LRESULT& HitTestAnswer() {
  static LRESULT v = 1;
  return v;
}
inline LRESULT& KeyAnswer() {
  static LRESULT v = 0;
  return v;
}
inline RECT& PaintRect() {
  static RECT r;
  return r;
}

inline int Count(HWND h, UINT msg) {
  int n = 0;
  for (const Entry& e : Log())
    if (e.hwnd == h && e.msg == msg) ++n;
  return n;
}
inline const Entry* Find(HWND h, UINT msg) {
  for (const Entry& e : Log())
    if (e.hwnd == h && e.msg == msg) return &e;
  return nullptr;
}

// Answers hit tests with HitTestAnswer(), keys with KeyAnswer(), and paints its paint rectangle
// red.
inline LRESULT RecordingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Log().push_back({h, msg, wp, lp});
  switch (msg) {
    case WM_NCHITTEST: return HitTestAnswer();
    case WM_KEYDOWN:
    case WM_KEYUP: return KeyAnswer();
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(h, &ps)) {
        PaintRect() = ps.rcPaint;
        WINX_CanvasFillRect(WINX_GetCtxGC(ps.hdc), ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right,
                            ps.rcPaint.bottom, 0xFF0000);
        EndPaint(h, &ps);
      }
      return 0;
    }
    default: return 0;
  }
}

}  // namespace winxtest
