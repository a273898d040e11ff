// Plain value types of the GUI framework: rectangles, colours, mouse modifiers, text styles,
// blends and bitmap handles. Canvas coordinates have their origin at the top left, y downward;
// right and bottom edges are exclusive for drawing and hit testing.
#pragma once

#include <cstring>

class GFX_IBitmap;
class GFX_IFont;

// Four ints 0..255. Packed for the graphics library with alpha in the LOW byte:
// A | R << 8 | G << 16 | B << 24 (the library's pixel order, not Cairo's).
struct IColor {
  int A, R, G, B;
  IColor(int a = 255, int r = 0, int g = 0, int b = 0) : A(a), R(r), G(g), B(b) {}
  bool operator==(const IColor& o) const { return A == o.A && R == o.R && G == o.G && B == o.B; }
  bool operator!=(const IColor& o) const { return !(*this == o); }
  unsigned int Packed() const {
    return (static_cast<unsigned int>(A) & 0xff) | (static_cast<unsigned int>(R) & 0xff) << 8 |
           (static_cast<unsigned int>(G) & 0xff) << 16 | (static_cast<unsigned int>(B) & 0xff) << 24;
  }
  static IColor FromPacked(unsigned int p) {
    return IColor(static_cast<int>(p & 0xff), static_cast<int>((p >> 8) & 0xff),
                  static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 24) & 0xff));
  }
};

// Non-owning handle of a (usually cached) pixel bitmap holding N frames. A handle with null
// pixels is the "empty bitmap" that a missing image yields: drawing it does nothing.
struct IBitmap {
  GFX_IBitmap* mData = nullptr;
  int W = 0, H = 0, N = 1;
  bool mFramesAreHorizontal = false;
  IBitmap() = default;
  IBitmap(GFX_IBitmap* data, int w, int h, int n = 1, bool framesAreHorizontal = false)
      : mData(data), W(w), H(h), N(n), mFramesAreHorizontal(framesAreHorizontal) {}
  bool IsEmpty() const { return mData == nullptr; }
  // Size of one frame (truncated), as the control constructors lay out their rectangles.
  int FrameWidth() const { return (mFramesAreHorizontal && N > 0) ? W / N : W; }
  int FrameHeight() const { return (!mFramesAreHorizontal && N > 0) ? H / N : H; }
};

// Integer rectangle. "Empty" means all four coordinates are 0; a rectangle with L == R that is
// not all zero is NOT empty (it still intersects what it touches).
struct IRECT {
  int L = 0, T = 0, R = 0, B = 0;
  IRECT() = default;
  IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}
  // One frame of a bitmap at (x, y): (x, y, x + W, y + H / N) for stacked frames.
  IRECT(int x, int y, const IBitmap* bitmap)
      : L(x), T(y), R(x + bitmap->FrameWidth()), B(y + bitmap->FrameHeight()) {}

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  void Clear() { L = T = R = B = 0; }
  int W() const { return R - L; }
  int H() const { return B - T; }
  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }

  // Touching on this rectangle's right or bottom edge counts as intersecting: the test is
  // deliberately asymmetric (R >= other.L but L < other.R). Repaint and hit code relies on it.
  bool Intersects(const IRECT& o) const {
    if (Empty() || o.Empty()) return false;
    return R >= o.L && L < o.R && B >= o.T && T < o.B;
  }
  IRECT Intersect(const IRECT& o) const {
    if (!Intersects(o)) return IRECT();
    return IRECT(L > o.L ? L : o.L, T > o.T ? T : o.T, R < o.R ? R : o.R, B < o.B ? B : o.B);
  }
  IRECT Union(const IRECT& o) const {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IRECT(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  }
  // Hit containment: an all-zero rectangle contains nothing; right and bottom are outside.
  bool Contains(int x, int y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
};

// The areas one repaint covers, kept apart so that two small changes far from each other (a knob
// and its value readout) do not repaint everything between them. Rectangles that intersect (in
// IRECT's sense, touching edges included) merge into their union; the others stay separate, up to
// kMax; past that a new one merges into the one it grows least. Empty rectangles are ignored.
struct IRECTList {
  static constexpr int kMax = 8;
  IRECT rects[kMax];
  int n = 0;

  void Add(IRECT r) {
    if (r.Empty()) return;
    for (;;) {
      int hit = -1;
      for (int i = 0; i < n && hit < 0; ++i)
        if (rects[i].Intersects(r)) hit = i;
      if (hit < 0 && n < kMax) {
        rects[n++] = r;
        return;
      }
      if (hit < 0) hit = leastGrowth(r);
      r = r.Union(rects[hit]);
      rects[hit] = rects[--n];  // the union may now reach others: look again
    }
  }
  IRECT Bounds() const {
    IRECT b;
    for (int i = 0; i < n; ++i) b = b.Union(rects[i]);
    return b;
  }

private:
  static long long area(const IRECT& r) { return static_cast<long long>(r.W()) * r.H(); }
  int leastGrowth(const IRECT& r) const {
    int best = 0;
    long long bestGrowth = -1;
    for (int i = 0; i < n; ++i) {
      const long long g = area(rects[i].Union(r)) - area(rects[i]);
      if (bestGrowth < 0 || g < bestGrowth) {
        best = i;
        bestGrowth = g;
      }
    }
    return best;
  }
};

// Passed with every mouse event. Right is also set for a left click with Command (Super) held,
// which the controls treat as a right click (prompt for a value).
struct IMouseMod {
  bool L = false, R = false, S = false, C = false, A = false;
  IMouseMod() = default;
  IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false)
      : L(l), R(r), S(s), C(c), A(a) {}
};

struct IChannelBlend {
  enum EBlendMethod { kBlendNone = 0, kBlendClobber = 1, kBlendAdd = 2, kBlendColorDodge = 3 };
  int mMethod;
  float mWeight;
  explicit IChannelBlend(int method = kBlendNone, float weight = 1.0f) : mMethod(method), mWeight(weight) {}
};

// Text style. mCached is owned by the process-wide font cache, never by the style.
struct IText {
  enum EStyle { kStyleNormal = 0, kStyleBold = 1, kStyleItalic = 2 };
  enum EAlign { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };
  enum EVAlign { kVAlignTop = 0, kVAlignBottom = 1, kVAlignMiddle = 2 };
  static constexpr int kFontNameLen = 32;

  char mFont[kFontNameLen];
  int mSize;
  IColor mColor;
  IColor mTextEntryBGColor;
  IColor mTextEntryFGColor;
  int mStyle;
  int mAlign;
  int mVAlign;  // 0 top, 1 bottom, any other value centred
  int mOrientation;  // degrees
  int mQuality;
  GFX_IFont* mCached;

  explicit IText(int size = 12, const IColor& color = IColor(255, 0, 0, 0), const char* font = nullptr,
                 int style = kStyleNormal, int align = kAlignCenter, int orientation = 0, int quality = 3,
                 const IColor& teBG = IColor(255, 255, 255, 255), const IColor& teFG = IColor(255, 0, 0, 0))
      : mSize(size), mColor(color), mTextEntryBGColor(teBG), mTextEntryFGColor(teFG), mStyle(style),
        mAlign(align), mVAlign(kVAlignMiddle), mOrientation(orientation), mQuality(quality), mCached(nullptr) {
    SetFont(font ? font : "Consolas");
  }
  void SetFont(const char* name) {
    std::strncpy(mFont, name ? name : "", kFontNameLen - 1);
    mFont[kFontNameLen - 1] = '\0';
  }
};

enum EDirection { kVertical = 0, kHorizontal = 1 };
enum EFileAction { kFileOpen = 0, kFileSave = 1 };

// Parameter types as the GUI framework reads them (the numbering of the parameter class).
enum EGuiParamType { kGuiTypeNone = 0, kGuiTypeBool = 1, kGuiTypeInt = 2, kGuiTypeEnum = 3, kGuiTypeDouble = 4, kGuiTypeText = 5 };
