// Base class of every on-screen control. A control is owned by exactly one owner, the graphics
// object's control list or a ControlLayer, which deletes it.
//
// Threads: mouse, wheel, keys and drawing arrive on the GUI (main) thread; SetValueFromPlug,
// SetValueFromHardware and the text setters of the text controls also run on the MIDI input and
// worker threads. Value, dirty, redraw, hidden and grayed are written without a lock as relaxed
// atomics (GuiShared: the next timer tick picks them up); the plug-in calls made by SetDirty/SetDirty2 take the
// plug-in's own lock inside the plug-in base.
//
// A control moves its value to the plug-in by one of three roads:
//   SetValueFromUserInput -> SetDirty(true)  -> SetParameterFromGUI  -> OnParamChange  (sends)
//   SetValueFromHardware  -> SetDirty2(true) -> SetParameterFromGUI2 -> OnParamChange2 (no send)
//   SetValueFromPlug      -> SetDirty(false) -> nothing (redraw only)
#pragma once

#include <atomic>

#include "IGraphicsStructs.h"
#include "UTIL_HeapBuf.h"

// A value that one thread writes while another reads it (control values and flags: the MIDI
// and worker threads push values while the GUI thread draws). Each load and store is atomic and
// relaxed, which is all the repaint needs: it picks the latest value up at the next tick.
// Compound assignments are a load and a store, NOT one atomic step: two threads adding at once
// can lose one addition, exactly as with the plain fields this replaces.
template <class T>
class GuiShared {
public:
  GuiShared(T v = T()) : m(v) {}  // NOLINT: converts like the plain field it stands for
  GuiShared(const GuiShared& o) : m(o.load()) {}
  GuiShared& operator=(const GuiShared& o) {
    store(o.load());
    return *this;
  }
  GuiShared& operator=(T v) {
    store(v);
    return *this;
  }
  operator T() const { return load(); }
  GuiShared& operator+=(T v) {
    store(load() + v);
    return *this;
  }
  GuiShared& operator-=(T v) {
    store(load() - v);
    return *this;
  }
  T load() const { return m.load(std::memory_order_relaxed); }
  void store(T v) { m.store(v, std::memory_order_relaxed); }
  // For a mark that tells of other data (a text stored before it): what was written before the
  // release is seen after the acquire that finds it.
  T acquire() const { return m.load(std::memory_order_acquire); }
  void release(T v) { m.store(v, std::memory_order_release); }

private:
  std::atomic<T> m;
};

class IPluginBase;
class IGraphics;
class IParam;
class ITextControl;

// Counts structural changes of one graphics object's control tree (controls and layers added or
// removed, auxiliary parameters added). The graphics object owns it; controls and layers hold a
// pointer to their owner's stamp (null while not inside an attached tree) and bump it so the
// parameter-to-controls index is rebuilt before the next value push.
using GUI_LayoutStamp = std::atomic<unsigned>;
inline void GUI_BumpLayoutStamp(GUI_LayoutStamp* stamp) {
  if (stamp) stamp->fetch_add(1, std::memory_order_release);
}

// Formats a parameter's display string (IParam::GetDisplayForHost) into a fixed-size field of
// outLen bytes, cutting it there; the parameter itself formats without a bound. Under the
// plug-in's ParamTextLock when a plug-in is given.
constexpr int kGuiDisplayScratch = 512;
void GUI_FormatParamDisplay(const IPluginBase* plug, IParam* param, double value, bool normalized,
                            bool withDisplayText, char* out, int outLen);

// Key code of Escape for OnKeyDown, after the space bar (0), the arrows (1 to 4), the digits (5 to
// 14) and the letters (15 to 40).
constexpr int kKeyEscape = 41;

class IControl {
public:
  struct AuxParam {
    double mValue;
    int mParamIdx;
  };

  IControl(IPluginBase* plug, IRECT rect, int paramIdx = -1, int blendMethod = IChannelBlend::kBlendNone);
  virtual ~IControl();
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  virtual void OnMouseDown(int x, int y, IMouseMod* mod);
  virtual void OnMouseUp(int x, int y, IMouseMod* mod);
  virtual void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod);
  virtual void OnMouseDblClick(int x, int y, IMouseMod* mod);
  virtual void OnMouseWheel(int x, int y, IMouseMod* mod, int d);
  virtual bool OnKeyDown(int x, int y, int key);
  virtual void OnMouseOver(int x, int y, IMouseMod* mod);
  virtual void OnMouseOut();
  virtual bool Draw(IGraphics* graphics) = 0;
  virtual void SetValueFromPlug(double value);
  virtual void SetValueFromHardware(double value);
  virtual void TextFromTextEntry(const char* text);
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y);
  virtual void SetDirty(bool pushParamToPlug = true);
  virtual void SetDirty2(bool pushParamToPlug = true);
  virtual void SetClean();
  virtual bool IsDirty();
  // The part of the control to repaint while it is dirty: the whole rectangle, unless the control
  // knows that less of it changed. Asked when the dirty areas are collected.
  virtual IRECT DirtyRECT() { return mRECT; }
  virtual void OnGUIIdle();
  virtual void SetAuxParamValueFromPlug(int auxIdx, double value);

  // A value the user chose or typed: pushed to the plug-in when it differs from the control's.
  virtual void SetValueFromUserInput(double value);
  void PromptUserInput();
  void PromptUserInput(IRECT* rect);

  // Auxiliary parameters (nothing in the editor adds one). An entry's value reads -1.0, outside
  // the normalised range, until the plug-in first pushes one, so that push always lands.
  // Main thread only, like attaching: it changes which parameters reach this control.
  void AddAuxParam(int paramIdx);
  int AuxParamIdx(int paramIdx) const;
  AuxParam* GetAuxParam(int i);
  int NAuxParams() const { return m_aux.GetSize(); }
  void SetAllAuxParamsFromGUI();

  // Plain accessors.
  IPluginBase* GetPlug() const { return mPlug; }
  int ParamIdx() const { return mParamIdx; }
  double GetValue() const { return mValue; }
  void SetValue(double v) { mValue = v; }
  double GetDefaultValue() const { return mDefaultValue; }
  void SetDefaultValue(double v) { mDefaultValue = v; }
  IRECT* GetRECT() { return &mRECT; }
  IRECT* GetTargetRECT() { return &mTargetRECT; }
  void SetTargetArea(const IRECT& r) { mTargetRECT = r; }
  IText* GetText() { return &mText; }
  void SetText(const IText& t) { mText = t; }
  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool IsPromptDisabled() const { return mDisablePrompt; }
  void SetPromptDisabled(bool d) { mDisablePrompt = d; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  void SetMOWhenGrayed(bool b) { mMOWhenGrayed = b; }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool b) { mDblAsSingleClick = b; }
  bool IgnoreHidden() const { return mIgnoreHidden; }
  void SetIgnoreHidden(bool b) { mIgnoreHidden = b; }
  void Clamp(double lo, double hi) { mClampLo = lo; mClampHi = hi; }
  double GetClampLo() const { return mClampLo; }
  double GetClampHi() const { return mClampHi; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int len) { mTextEntryLength = len; }
  IChannelBlend* GetBlend() { return &mBlend; }
  bool IsRedrawRequested() const { return mRedraw; }
  void SetValDisplayControl(ITextControl* c) { mValDisplayControl = c; }
  ITextControl* GetValDisplayControl() const { return mValDisplayControl; }
  void SetNameDisplayControl(ITextControl* c) { mNameDisplayControl = c; }
  ITextControl* GetNameDisplayControl() const { return mNameDisplayControl; }
  // Set by the list that takes the control into a graphics object's tree; null outside one.
  void SetLayoutStamp(GUI_LayoutStamp* stamp) { mLayoutStamp = stamp; }

  // Size of the value-display text: at most kValueDisplayLen - 1 characters are shown.
  static constexpr int kValueDisplayLen = 32;

protected:
  // Hands the parameter's display/name texts to the attached displays after a push.
  void updateDisplays();
  void setDirtyImpl(bool push, bool fromHardware);
  bool takeValue(double value);

  GuiShared<bool> mHide = false;
  int mTextEntryLength = 16;
  GuiShared<bool> mIgnoreHidden = false;
  IText mText;
  IPluginBase* mPlug;
  IRECT mRECT;
  IRECT mTargetRECT;
  int mParamIdx;
  UTIL_TypedBuf<AuxParam> m_aux{4096};
  GuiShared<double> mValue = 0.0;
  GuiShared<double> mDefaultValue = -1.0;
  double mClampLo = 0.0, mClampHi = 1.0;
  GuiShared<bool> mDirty = true;
  GuiShared<bool> mGrayed = false;
  GuiShared<bool> mRedraw = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;
  IChannelBlend mBlend;
  ITextControl* mValDisplayControl = nullptr;
  ITextControl* mNameDisplayControl = nullptr;
  GUI_LayoutStamp* mLayoutStamp = nullptr;
};
