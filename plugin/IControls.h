// The framework's ready-made controls. Every mouse handler that changes a value ends in
// SetDirty(true), so the value reaches the plug-in's SetParameterFromGUI and OnParamChange.
// Bitmap handles are non-owning: the pixels belong to the process-wide bitmap cache.
#pragma once

#include <limits>
#include <mutex>
#include <string>

#include "IControl.h"
#include "UTIL_String.h"

class IPanelControl : public IControl {
public:
  IPanelControl(IPluginBase* plug, IRECT rect, const IColor* color);
  bool Draw(IGraphics* graphics) override;

protected:
  IColor mColor;
};

class IBitmapControl : public IControl {
public:
  IBitmapControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                 int blendMethod = IChannelBlend::kBlendNone);
  IBitmapControl(IPluginBase* plug, int x, int y, IBitmap* bitmap, int blendMethod = IChannelBlend::kBlendNone)
      : IBitmapControl(plug, x, y, -1, bitmap, blendMethod) {}
  bool Draw(IGraphics* graphics) override;
  IBitmap* GetBitmap() { return &mBitmap; }

  // Frame (1-based) that value v selects in a strip of n frames.
  static int FrameForValue(double v, int n);

protected:
  IBitmap mBitmap;
};

// Latching button: each click steps the value by one frame and wraps past the last.
class ISwitchControl : public IBitmapControl {
public:
  using IBitmapControl::IBitmapControl;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
};

class ISwitchPopUpControl : public ISwitchControl {
public:
  using ISwitchControl::ISwitchControl;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
};

// Momentary button: on while pressed, back to 0 on release.
class IContactControl : public ISwitchControl {
public:
  using ISwitchControl::ISwitchControl;
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
};

// Drawn only while its value is 0.5 or more; while off it is hit only inside its target area.
class IBitmapOverlayControl : public ISwitchControl {
public:
  IBitmapOverlayControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, IRECT targetArea);
  bool Draw(IGraphics* graphics) override;

protected:
  IRECT mTargetArea;
};

class IInvisibleSwitchControl : public IControl {
public:
  IInvisibleSwitchControl(IPluginBase* plug, IRECT rect, int paramIdx);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics*) override { return true; }
};

// A row or column of exclusive buttons drawn from a two-frame bitmap (1 off, 2 on).
class IRadioButtonsControl : public IControl {
public:
  IRadioButtonsControl(IPluginBase* plug, IRECT rect, int paramIdx, int nButtons, IBitmap* bitmap,
                       EDirection direction = kVertical, bool reverse = false);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  int NButtons() const { return mRECTs.GetSize(); }
  IRECT* GetButtonRECT(int i) { return (i >= 0 && i < mRECTs.GetSize()) ? mRECTs.Get() + i : nullptr; }

protected:
  UTIL_TypedBuf<IRECT> mRECTs{4096};
  IBitmap mBitmap;
};

class IFaderControl : public IControl {
public:
  IFaderControl(IPluginBase* plug, int x, int y, int len, int paramIdx, IBitmap* bitmap,
                EDirection direction = kVertical, bool onlyHandle = false);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  bool IsHit(int x, int y) override;
  // Handle rectangle for value v; a negative v means the control's own value.
  IRECT GetHandleRECT(double value = -1.0) const;
  int GetLength() const { return mLen; }
  int GetHandleHeadroom() const { return mHandleHeadroom; }

protected:
  void SnapToMouse(int x, int y);
  int mLen, mHandleHeadroom;
  IBitmap mBitmap;
  EDirection mDirection;
  bool mOnlyHandle;
};

// Value follows the mouse's movement: up (or right) raises it; gearing 4 means a drag of four
// times the control's height covers the whole range, ten times finer with Control or Shift.
class IKnobControl : public IControl {
public:
  IKnobControl(IPluginBase* plug, IRECT rect, int paramIdx, EDirection direction = kVertical,
               double gearing = 4.0);
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  void SetGearing(double g) { mGearing = g; }

protected:
  EDirection mDirection;
  double mGearing;

private:
  // Where the hand has taken the value, and the value the plug-in left after that step (NaN
  // before the first drag: equal to nothing).
  double mDragPosition = 0.0;
  double mDragShown = std::numeric_limits<double>::quiet_NaN();
};

class IKnobLineControl : public IKnobControl {
public:
  IKnobLineControl(IPluginBase* plug, IRECT rect, int paramIdx, const IColor* color, double innerRadius = 0.0,
                   double outerRadius = 0.0, double minAngle = -0.75 * 3.14159265358979,
                   double maxAngle = 0.75 * 3.14159265358979, EDirection direction = kVertical,
                   double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IColor mColor;
  float mMinAngle, mMaxAngle, mInnerRadius, mOuterRadius;
};

class IKnobRotaterControl : public IKnobControl {
public:
  IKnobRotaterControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                      double minAngle = -0.75 * 3.14159265358979, double maxAngle = 0.75 * 3.14159265358979,
                      int yOffsetZeroDeg = 0, EDirection direction = kVertical, double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBitmap;
  double mMinAngle, mMaxAngle;
  int mYOffset;
};

// Knob drawn from a film strip of N frames (the editor's knobs).
class IKnobMultiControl : public IKnobControl {
public:
  IKnobMultiControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                    EDirection direction = kVertical, double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBitmap;
};

class IKnobRotatingMaskControl : public IKnobControl {
public:
  IKnobRotatingMaskControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* base, IBitmap* mask,
                           IBitmap* top, double minAngle = -0.75 * 3.14159265358979,
                           double maxAngle = 0.75 * 3.14159265358979, EDirection direction = kVertical,
                           double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBase, mMask, mTop;
  double mMinAngle, mMaxAngle;
};

// Shows a string. Status texts are replaced from worker threads while the GUI thread draws:
// the text sits behind a small lock and drawing works on a copy.
class ITextControl : public IControl {
public:
  ITextControl(IPluginBase* plug, IRECT rect, IText* text, const char* str = "");
  bool Draw(IGraphics* graphics) override;
  // Marks dirty and replaces the text only when it differs. `keep` is a part of the text that
  // fitting never drops (the name of a file the text is about).
  void SetTextFromPlug(const char* str, const std::string& keep = std::string());
  void ClearTextFromPlug() { SetTextFromPlug(""); }
  std::string GetTextCopy() const;
  // A text wider than the box is drawn smaller, down to two thirds of its size, and beyond that
  // cut with "...": in the middle of its kept part when it has one, else at its end. It never
  // reaches past either side of the box, and no character is split.
  void SetFitToBox(bool fit) { mFitToBox = fit; }
  // What Draw draws of the present text in this box.
  std::string FittedText(IGraphics* graphics);
  // Stays dirty when a text was stored while the window drew the one before it.
  void SetClean() override;

protected:
  void setTextLocked(const char* str);
  // The text as a Draw takes it: SetClean then knows which text the window drew.
  std::string textToDraw(std::string* keep = nullptr);
  // Fits *s into the box; the style to draw it in: mText, or *smaller when it had to shrink.
  IText* fit(IGraphics* graphics, std::string* s, const std::string& keep, IText* smaller);
  bool mFitToBox = false;
  mutable std::mutex mStrLock;
  UTIL_String mStr;
  std::string mKeep;  // under mStrLock
  unsigned mTextsStored = 0;  // under mStrLock, as the next two
  unsigned mTextDrawn = 0;
  bool mDrawnSinceClean = false;
};

// Shows its parameter's display text (and label); a click opens the value prompt unless
// prompting is disabled.
class ICaptionControl : public ITextControl {
public:
  ICaptionControl(IPluginBase* plug, IRECT rect, int paramIdx, IText* text, bool showParamLabel = true);
  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;

  // Size of the display text: at most kCaptionLen - 1 characters are shown.
  static constexpr int kCaptionLen = 64;

protected:
  bool mShowParamLabel;
};

class IURLControl : public IControl {
public:
  IURLControl(IPluginBase* plug, IRECT rect, const char* url, const char* backupURL = nullptr,
              const char* errMsgOnFailure = nullptr);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics*) override { return true; }

protected:
  char mURL[256], mBackupURL[256], mErrMsg[1024];
};

class IFileSelectorControl : public IControl {
public:
  enum EFileSelectorState { kFSNone = 0, kFSSelecting = 1, kFSDone = 2 };
  IFileSelectorControl(IPluginBase* plug, IRECT rect, int paramIdx, IBitmap* bitmap, EFileAction action,
                       const char* dir = "", const char* extensions = "");
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  bool IsDirty() override;
  void GetLastSelectedFileForPlug(UTIL_String* str) const { str->Set(mFile.Get()); }
  void SetLastSelectedFileFromPlug(const char* file) { mFile.Set(file); }
  EFileSelectorState GetState() const { return mState; }
  void SetDrawFlag(bool b) { mDraw = b; }

protected:
  bool mDraw = false;
  IBitmap mBitmap;
  UTIL_String mDir, mFile, mExtensions;
  EFileAction mFileAction;
  EFileSelectorState mState = kFSNone;
};

// Draws str from a strip holding one frame per character, frame c - 31 for character c (the
// blank is frame 1). A character width or height below 1 draws nothing.
bool DrawBitmapedText(IGraphics* graphics, IBitmap* bitmap, IRECT* rect, IText* text, IChannelBlend* blend,
                      const char* str, bool vCenter = true, bool multiline = false, int charWidth = 6,
                      int charHeight = 12);

class IBitmapTextControl : public IControl {
public:
  IBitmapTextControl(IPluginBase* plug, IRECT rect, IBitmap* bitmap, const char* str = "", IText* text = nullptr,
                     int charWidth = 6, int charHeight = 12);
  bool Draw(IGraphics* graphics) override;
  void SetTextFromPlug(const char* str);
  std::string GetTextCopy() const;

protected:
  mutable std::mutex mStrLock;
  UTIL_String mStr;
  int mCharWidth, mCharHeight;
  IBitmap mTextBitmap;
};
