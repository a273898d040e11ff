#include "IControls.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"

namespace {
// Stands in for a missing bitmap when laying out a rectangle: zero size.
const IBitmap kNoBitmap;
}  // namespace

// ---------------------------------------------------------------- panel, bitmap, switches

IPanelControl::IPanelControl(IPluginBase* plug, IRECT rect, const IColor* color)
    : IControl(plug, rect), mColor(color ? *color : IColor()) {}

bool IPanelControl::Draw(IGraphics* graphics) {
  graphics->FillIRect(&mColor, &mRECT, &mBlend);
  return true;
}

IBitmapControl::IBitmapControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, int blendMethod)
    : IControl(plug, IRECT(x, y, bitmap ? bitmap : &kNoBitmap), paramIdx, blendMethod),
      mBitmap(bitmap ? *bitmap : IBitmap()) {}

int IBitmapControl::FrameForValue(double v, int n) {
  if (n < 2) return 1;
  const int i = static_cast<int>((n - 1) * v + 0.5);
  if (i < 0) return 1;
  if (i >= n) return n;
  return i + 1;
}

bool IBitmapControl::Draw(IGraphics* graphics) {
  return graphics->DrawBitmap(&mBitmap, &mRECT, FrameForValue(mValue, mBitmap.N), &mBlend);
}

void ISwitchControl::OnMouseDown(int, int, IMouseMod*) {
  if (mGrayed) return;
  mValue += (mBitmap.N > 1) ? 1.0 / (mBitmap.N - 1) : 1.0;
  if (mValue > 1.001) mValue = 0.0;
  SetDirty(true);
}

void ISwitchControl::OnMouseDblClick(int x, int y, IMouseMod* mod) {
  if (mGrayed) return;
  OnMouseDown(x, y, mod);
}

void ISwitchPopUpControl::OnMouseDown(int, int, IMouseMod*) {
  PromptUserInput();
  SetDirty(true);
}

void IContactControl::OnMouseUp(int, int, IMouseMod*) {
  mValue = 0.0;
  SetDirty(true);
}

IBitmapOverlayControl::IBitmapOverlayControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                             IRECT targetArea)
    : ISwitchControl(plug, x, y, paramIdx, bitmap), mTargetArea(targetArea) {}

bool IBitmapOverlayControl::Draw(IGraphics* graphics) {
  if (mValue < 0.5) {
    mTargetRECT = mTargetArea;
    return true;
  }
  mTargetRECT = mRECT;
  return IBitmapControl::Draw(graphics);
}

IInvisibleSwitchControl::IInvisibleSwitchControl(IPluginBase* plug, IRECT rect, int paramIdx)
    : IControl(plug, rect, paramIdx, IChannelBlend::kBlendClobber) {
  mDisablePrompt = true;
}

void IInvisibleSwitchControl::OnMouseDown(int, int, IMouseMod*) {
  if (mGrayed) return;
  mValue = (mValue < 0.5) ? 1.0 : 0.0;
  SetDirty(true);
}

// ---------------------------------------------------------------- radio buttons

IRadioButtonsControl::IRadioButtonsControl(IPluginBase* plug, IRECT rect, int paramIdx, int nButtons,
                                           IBitmap* bitmap, EDirection direction, bool reverse)
    : IControl(plug, rect, paramIdx), mBitmap(bitmap ? *bitmap : IBitmap()) {
  if (nButtons < 1) nButtons = 1;
  if (!mRECTs.Resize(nButtons)) return;
  const int n = mBitmap.N > 0 ? mBitmap.N : 1;
  const int w = mBitmap.W, h = mBitmap.H / n;
  // A single button has no gap to spread; it sits at the leading edge.
  const int gaps = nButtons > 1 ? nButtons - 1 : 1;
  IRECT* r = mRECTs.Get();
  if (direction == kHorizontal) {
    const int dX = (rect.R - rect.L - nButtons * w) / gaps;
    int x = rect.L;
    for (int i = 0; i < nButtons; ++i, x += w + dX) r[reverse ? nButtons - 1 - i : i] = IRECT(x, rect.T, x + w, rect.T + h);
  } else {
    const int dY = (rect.B - rect.T - nButtons * h) / gaps;
    int y = rect.T;
    for (int i = 0; i < nButtons; ++i, y += h + dY) r[reverse ? nButtons - 1 - i : i] = IRECT(rect.L, y, rect.L + w, y + h);
  }
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* mod) {
  if (mGrayed) return;
  if (mod && mod->R) {
    PromptUserInput();
    return;
  }
  const int n = mRECTs.GetSize();
  for (int i = 0; i < n; ++i) {
    if (mRECTs.Get()[i].Contains(x, y)) {
      mValue = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
      break;
    }
  }
  SetDirty(true);
}

bool IRadioButtonsControl::Draw(IGraphics* graphics) {
  const int n = mRECTs.GetSize();
  if (n < 1) return true;
  int active = static_cast<int>((n - 1) * mValue + 0.5);
  if (active < 0) active = 0;
  if (active > n - 1) active = n - 1;
  for (int i = 0; i < n; ++i) graphics->DrawBitmap(&mBitmap, mRECTs.Get() + i, i == active ? 2 : 1, &mBlend);
  return true;
}

// ---------------------------------------------------------------- fader

IFaderControl::IFaderControl(IPluginBase* plug, int x, int y, int len, int paramIdx, IBitmap* bitmap,
                             EDirection direction, bool onlyHandle)
    : IControl(plug, IRECT(), paramIdx), mLen(len), mBitmap(bitmap ? *bitmap : IBitmap()),
      mDirection(direction), mOnlyHandle(onlyHandle) {
  if (direction == kVertical) {
    mHandleHeadroom = mBitmap.H;
    mRECT = IRECT(x, y, x + mBitmap.W, y + len);
  } else {
    mHandleHeadroom = mBitmap.W;
    mRECT = IRECT(x, y, x + len, y + mBitmap.H);
  }
  mTargetRECT = mRECT;
}

IRECT IFaderControl::GetHandleRECT(double value) const {
  if (value < 0.0) value = mValue;
  IRECT r(mRECT.L, mRECT.T, mRECT.L + mBitmap.W, mRECT.T + mBitmap.H);
  if (mDirection == kVertical) {
    const int offs = static_cast<int>((mLen - mHandleHeadroom) * (1.0 - value));
    r.T += offs;
    r.B += offs;
  } else {
    const int offs = static_cast<int>(value * (mLen - mHandleHeadroom));
    r.L += offs;
    r.R += offs;
  }
  return r;
}

void IFaderControl::SnapToMouse(int x, int y) {
  // A track no longer than the handle leaves no travel: the value stays (and is pushed again).
  const int travel = mLen - mHandleHeadroom;
  if (travel > 0) {
    if (mDirection == kVertical)
      mValue = 1.0 - static_cast<double>(y - mRECT.T - mHandleHeadroom / 2) / travel;
    else
      mValue = static_cast<double>(x - mRECT.L - mHandleHeadroom / 2) / travel;
  }
  SetDirty(true);
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* mod) {
  if (mGrayed) return;
  if (mod && mod->R) {
    PromptUserInput();
    return;
  }
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int, int, IMouseMod*) {
  if (mGrayed) return;
  SnapToMouse(x, y);
}

bool IFaderControl::Draw(IGraphics* graphics) {
  IRECT r = GetHandleRECT();
  return graphics->DrawBitmap(&mBitmap, &r, 1, &mBlend);
}

bool IFaderControl::IsHit(int x, int y) {
  if (mOnlyHandle) return GetHandleRECT().Contains(x, y);
  return mTargetRECT.Contains(x, y);
}

// ---------------------------------------------------------------- knobs

IKnobControl::IKnobControl(IPluginBase* plug, IRECT rect, int paramIdx, EDirection direction, double gearing)
    : IControl(plug, rect, paramIdx), mDirection(direction), mGearing(gearing) {}

void IKnobControl::OnMouseDrag(int, int, int dX, int dY, IMouseMod* mod) {
  if (mGrayed) return;
  double g = mGearing;
  if (mod && (mod->C || mod->S)) g *= 10.0;
  // The drag goes on from the hand's own position while the value is still the one the last step
  // left: a plug-in that steps its parameter pushes the stepped value straight back into the
  // control (the editor keeps whole steps), and adding to that would drop what each step moved
  // below a whole one. A slow drag, a pixel at a time, would then never move the knob up, and a
  // drag up and back down would not come back to where it began. A value set from elsewhere
  // meanwhile is where the drag goes on from.
  const double now = mValue;
  double v = now == mDragShown ? mDragPosition : now;
  // A degenerate rectangle would divide by zero; such a knob cannot be dragged.
  if (mDirection == kHorizontal) {
    if (mRECT.R != mRECT.L && g != 0.0) v += static_cast<double>(dX) / (mRECT.R - mRECT.L) / g;
  } else {
    if (mRECT.T != mRECT.B && g != 0.0) v += static_cast<double>(dY) / (mRECT.T - mRECT.B) / g;
  }
  // Held as SetDirty holds the value: past the end, the way back starts at the end.
  mDragPosition = mClampLo > v ? mClampLo : mClampHi < v ? mClampHi : v;
  mValue = v;
  SetDirty(true);
  mDragShown = mValue;
}

IKnobLineControl::IKnobLineControl(IPluginBase* plug, IRECT rect, int paramIdx, const IColor* color,
                                   double innerRadius, double outerRadius, double minAngle, double maxAngle,
                                   EDirection direction, double gearing)
    : IKnobControl(plug, rect, paramIdx, direction, gearing), mColor(color ? *color : IColor()),
      mMinAngle(static_cast<float>(minAngle)), mMaxAngle(static_cast<float>(maxAngle)),
      mInnerRadius(static_cast<float>(innerRadius)), mOuterRadius(static_cast<float>(outerRadius)) {
  if (mOuterRadius == 0.0f) mOuterRadius = 0.5f * static_cast<float>(rect.W());
  mBlend = IChannelBlend(IChannelBlend::kBlendClobber);
}

bool IKnobLineControl::Draw(IGraphics* graphics) {
  const double a = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  const float cx = (mRECT.L + mRECT.R) / 2.0f, cy = (mRECT.T + mRECT.B) / 2.0f;
  const float sinA = static_cast<float>(std::sin(a)), cosA = static_cast<float>(std::cos(a));
  return graphics->DrawLine(&mColor, cx + sinA * mInnerRadius, cy - cosA * mInnerRadius, cx + sinA * mOuterRadius,
                            cy - cosA * mOuterRadius, &mBlend, true);
}

IKnobRotaterControl::IKnobRotaterControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                         double minAngle, double maxAngle, int yOffsetZeroDeg,
                                         EDirection direction, double gearing)
    : IKnobControl(plug, IRECT(x, y, x + (bitmap ? bitmap->W : 0), y + (bitmap ? bitmap->H : 0)), paramIdx,
                   direction, gearing),
      mBitmap(bitmap ? *bitmap : IBitmap()), mMinAngle(minAngle), mMaxAngle(maxAngle), mYOffset(yOffsetZeroDeg) {}

bool IKnobRotaterControl::Draw(IGraphics* graphics) {
  const int cx = (mRECT.L + mRECT.R) / 2, cy = (mRECT.T + mRECT.B) / 2;
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return graphics->DrawRotatedBitmap(&mBitmap, cx, cy, angle, mYOffset, &mBlend);
}

IKnobMultiControl::IKnobMultiControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                     EDirection direction, double gearing)
    : IKnobControl(plug, IRECT(x, y, bitmap ? bitmap : &kNoBitmap), paramIdx, direction, gearing),
      mBitmap(bitmap ? *bitmap : IBitmap()) {}

bool IKnobMultiControl::Draw(IGraphics* graphics) {
  return graphics->DrawBitmap(&mBitmap, &mRECT, IBitmapControl::FrameForValue(mValue, mBitmap.N), &mBlend);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* base,
                                                   IBitmap* mask, IBitmap* top, double minAngle, double maxAngle,
                                                   EDirection direction, double gearing)
    : IKnobControl(plug, IRECT(x, y, x + (base ? base->W : 0), y + (base ? base->H : 0)), paramIdx, direction,
                   gearing),
      mBase(base ? *base : IBitmap()), mMask(mask ? *mask : IBitmap()), mTop(top ? *top : IBitmap()),
      mMinAngle(minAngle), mMaxAngle(maxAngle) {}

bool IKnobRotatingMaskControl::Draw(IGraphics* graphics) {
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return graphics->DrawRotatedMask(&mBase, &mMask, &mTop, mRECT.L, mRECT.T, angle, &mBlend);
}

// ---------------------------------------------------------------- text and caption

ITextControl::ITextControl(IPluginBase* plug, IRECT rect, IText* text, const char* str)
    : IControl(plug, rect) {
  if (text) mText = *text;
  if (str && *str) mStr.Set(str);
}

std::string ITextControl::GetTextCopy() const {
  std::lock_guard<std::mutex> g(mStrLock);
  return std::string(mStr.Get());
}

void ITextControl::setTextLocked(const char* str) {
  std::lock_guard<std::mutex> g(mStrLock);
  mStr.Set(str ? str : "");
  ++mTextsStored;
}

std::string ITextControl::textToDraw(std::string* keep) {
  std::lock_guard<std::mutex> g(mStrLock);
  mTextDrawn = mTextsStored;
  mDrawnSinceClean = true;
  if (keep) *keep = mKeep;
  return std::string(mStr.Get());
}

void ITextControl::SetClean() {
  // Under the lock: a text stored before this is seen here, and the mark of one stored after
  // comes after this clean.
  std::lock_guard<std::mutex> g(mStrLock);
  IControl::SetClean();
  if (mDrawnSinceClean && mTextDrawn != mTextsStored) mDirty.release(true);
  mDrawnSinceClean = false;
}

void ITextControl::SetTextFromPlug(const char* str, const std::string& keep) {
  if (!str) str = "";
  {
    std::lock_guard<std::mutex> g(mStrLock);
    if (std::strcmp(mStr.Get(), str) == 0 && mKeep == keep) return;
    mStr.Set(str);
    mKeep = keep;
    ++mTextsStored;
  }
  // Marked once the text is in place: the window that finds the mark draws this text.
  SetDirty(false);
}

namespace {
int textWidth(IGraphics* graphics, IText* text, const std::string& s) {
  IRECT r(0, 0, 0, 0);
  graphics->MeasureIText(text, s.c_str(), &r);
  return r.W();
}

// Cuts *s to the most whole characters that fit `width` with "..." after them.
void elide(IGraphics* graphics, IText* text, std::string* s, int width) {
  const std::vector<size_t> ends = UTIL_Utf8CharEnds(*s);
  size_t lo = 0, hi = ends.size();  // characters kept: lo fits (or is none), hi does not
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (textWidth(graphics, text, s->substr(0, ends[mid - 1]) + "...") <= width)
      lo = mid;
    else
      hi = mid;
  }
  *s = s->substr(0, lo ? ends[lo - 1] : 0) + "...";
}

// Cuts the middle of the part of *s at `at`, `len` bytes long, to the most whole characters that
// fit `width` with "..." between its two ends (its end one character longer). False, changing
// nothing, when not even its first and last character fit.
bool elideMiddle(IGraphics* graphics, IText* text, std::string* s, size_t at, size_t len, int width) {
  const std::string part = s->substr(at, len), before = s->substr(0, at), after = s->substr(at + len);
  const std::vector<size_t> ends = UTIL_Utf8CharEnds(part);
  const size_t n = ends.size();
  auto cut = [&](size_t kept) {  // kept < n characters of the part
    const size_t head = kept / 2, tail = kept - head;
    return before + part.substr(0, head ? ends[head - 1] : 0) + "..." + part.substr(ends[n - tail - 1]) + after;
  };
  if (n < 3 || textWidth(graphics, text, cut(2)) > width) return false;
  size_t lo = 2, hi = n;  // characters kept: lo fits, hi does not
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (textWidth(graphics, text, cut(mid)) <= width)
      lo = mid;
    else
      hi = mid;
  }
  *s = cut(lo);
  return true;
}
}  // namespace

IText* ITextControl::fit(IGraphics* graphics, std::string* s, const std::string& keep, IText* smaller) {
  const int width = mRECT.W();
  if (!mFitToBox || textWidth(graphics, &mText, *s) <= width) return &mText;
  *smaller = mText;
  for (const int smallest = (mText.mSize * 2 + 2) / 3; smaller->mSize > smallest;) {
    --smaller->mSize, smaller->mCached = nullptr;
    if (textWidth(graphics, smaller, *s) <= width) return smaller;
  }
  const size_t at = keep.empty() ? std::string::npos : s->find(keep);
  if (at == std::string::npos || !elideMiddle(graphics, smaller, s, at, keep.size(), width)) elide(graphics, smaller, s, width);
  // Even "..." alone wider than the box: from its left edge.
  if (textWidth(graphics, smaller, *s) > width) smaller->mAlign = IText::kAlignNear;
  return smaller;
}

std::string ITextControl::FittedText(IGraphics* graphics) {
  std::string s, keep;
  {
    std::lock_guard<std::mutex> g(mStrLock);
    s = mStr.Get();
    keep = mKeep;
  }
  IText smaller;
  if (!s.empty()) fit(graphics, &s, keep, &smaller);
  return s;
}

bool ITextControl::Draw(IGraphics* graphics) {
  std::string keep;
  std::string s = textToDraw(&keep);
  if (s.empty()) return true;
  IText smaller;
  return graphics->DrawIText(fit(graphics, &s, keep, &smaller), s.c_str(), &mRECT);
}

ICaptionControl::ICaptionControl(IPluginBase* plug, IRECT rect, int paramIdx, IText* text, bool showParamLabel)
    : ITextControl(plug, rect, text, ""), mShowParamLabel(showParamLabel) {
  mParamIdx = paramIdx;
}

bool ICaptionControl::Draw(IGraphics* graphics) {
  IParam* param = mPlug ? mPlug->GetParam(mParamIdx) : nullptr;
  if (param) {
    char display[kCaptionLen];
    GUI_FormatParamDisplay(mPlug, param, param->Value(), false, true, display, sizeof(display));
    std::string s(display);
    if (mShowParamLabel) {
      s += " ";
      const char* label = param->GetLabelForHost();
      if (label && *label) s += label;
    }
    setTextLocked(s.c_str());
  }
  return ITextControl::Draw(graphics);
}

void ICaptionControl::OnMouseDown(int, int, IMouseMod* mod) {
  if (mGrayed || !mod) return;
  if (mod->L || mod->R) PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int, int, IMouseMod*) {
  if (!mGrayed) PromptUserInput();
}

// ---------------------------------------------------------------- URL and file selector

namespace {
void copyBounded(char* dst, size_t size, const char* src) {
  std::strncpy(dst, src ? src : "", size - 1);
  dst[size - 1] = '\0';
}
}  // namespace

IURLControl::IURLControl(IPluginBase* plug, IRECT rect, const char* url, const char* backupURL,
                         const char* errMsgOnFailure)
    : IControl(plug, rect) {
  copyBounded(mURL, sizeof(mURL), url);
  copyBounded(mBackupURL, sizeof(mBackupURL), backupURL);
  copyBounded(mErrMsg, sizeof(mErrMsg), errMsgOnFailure);
}

void IURLControl::OnMouseDown(int, int, IMouseMod*) {
  if (mGrayed || !mPlug) return;
  IGraphics* graphics = mPlug->GetGUI();
  if (!graphics) return;
  if (mURL[0] && graphics->OpenURL(mURL, nullptr, nullptr, mErrMsg)) return;
  if (mBackupURL[0]) graphics->OpenURL(mBackupURL, nullptr, nullptr, mErrMsg);
}

IFileSelectorControl::IFileSelectorControl(IPluginBase* plug, IRECT rect, int paramIdx, IBitmap* bitmap,
                                           EFileAction action, const char* dir, const char* extensions)
    : IControl(plug, rect, paramIdx), mBitmap(bitmap ? *bitmap : IBitmap()), mDir(dir), mExtensions(extensions),
      mFileAction(action) {}

void IFileSelectorControl::OnMouseDown(int, int, IMouseMod*) {
  if (mGrayed || !mPlug) return;
  IGraphics* graphics = mPlug->GetGUI();
  if (!graphics) return;
  mState = kFSSelecting;
  SetDirty(false);
  std::string ext(mExtensions.Get());
  graphics->PromptForFile(&mFile, mFileAction, &mDir, &ext[0]);
  mValue += 1.0;
  if (mValue > 1.0) mValue = 0.0;
  mState = kFSDone;
  SetDirty(true);
}

bool IFileSelectorControl::Draw(IGraphics* graphics) {
  if (mDraw) return graphics->DrawBitmap(&mBitmap, &mRECT, 0, 0, &mBlend);
  return true;
}

bool IFileSelectorControl::IsDirty() {
  if (mDirty) return true;
  if (mState == kFSDone) {
    mState = kFSNone;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- bitmap text

bool DrawBitmapedText(IGraphics* graphics, IBitmap* bitmap, IRECT* rect, IText* text, IChannelBlend* blend,
                      const char* str, bool vCenter, bool multiline, int cw, int ch) {
  if (!graphics || !bitmap || !rect || !str || !*str) return true;
  // A zero character size would divide by zero below and can show nothing anyway.
  if (cw < 1 || ch < 1) return true;
  const int len = static_cast<int>(std::strlen(str));
  const int y0 = vCenter ? rect->T + (rect->B - (rect->T + ch)) / 2 : rect->T;
  const int x0 = (text && text->mAlign == IText::kAlignCenter) ? rect->L + (rect->R - rect->L - len * cw) / 2
                                                                : rect->L + cw;
  const int avail = rect->R - rect->L - 2 * cw;
  const int total = len * cw;
  int perLine, lines;
  if (multiline && total > avail) {
    if (avail <= 0) return true;
    perLine = avail / cw;
    lines = total / avail;
  } else if (multiline) {
    perLine = len;
    lines = 1;
  } else {
    perLine = avail / cw;
    lines = 1;
  }
  if (perLine < 1 || lines < 1) return true;
  const char* p = str;
  for (int k = 0; k < lines; ++k) {
    const int y = y0 + k * ch;
    for (int i = 0; i < perLine; ++i) {
      const signed char c = static_cast<signed char>(*p++);
      if (c == 0) return true;
      IRECT r(x0 + i * cw, y, x0 + (i + 1) * cw, y + ch);
      graphics->DrawBitmap(bitmap, &r, c - 31, blend);
    }
  }
  return true;
}

IBitmapTextControl::IBitmapTextControl(IPluginBase* plug, IRECT rect, IBitmap* bitmap, const char* str,
                                       IText* text, int charWidth, int charHeight)
    : IControl(plug, rect), mStr(str), mCharWidth(charWidth), mCharHeight(charHeight),
      mTextBitmap(bitmap ? *bitmap : IBitmap()) {
  if (text) mText = *text;
}

std::string IBitmapTextControl::GetTextCopy() const {
  std::lock_guard<std::mutex> g(mStrLock);
  return std::string(mStr.Get());
}

void IBitmapTextControl::SetTextFromPlug(const char* str) {
  if (!str) str = "";
  {
    std::lock_guard<std::mutex> g(mStrLock);
    if (std::strcmp(mStr.Get(), str) == 0) return;
  }
  SetDirty(false);
  std::lock_guard<std::mutex> g(mStrLock);
  mStr.Set(str);
}

bool IBitmapTextControl::Draw(IGraphics* graphics) {
  std::string s = GetTextCopy();
  if (s.empty()) return true;
  DrawBitmapedText(graphics, &mTextBitmap, &mRECT, &mText, &mBlend, s.c_str(), true, false, mCharWidth,
                   mCharHeight);
  return true;
}
