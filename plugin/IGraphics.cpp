// IGraphics core: attachment, value pushes, dirty tracking, repaint order and input routing.
// Bitmaps, fonts and drawing operations live in IGraphicsDraw.cpp.
#include "IGraphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <typeinfo>
#include <utility>

#include "ControlLayer.h"
#include "GFX_Bitmap.h"
#include "IControl.h"
#include "IControls.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "IPopupMenu.h"

IGraphics::IGraphics(IPluginBase* plug, int w, int h, int fps)
    : mPlug(plug), mWidth(w), mHeight(h), mFPS(fps > 0 ? fps : kDefaultFPS) {
  PrepareFontsAhead();
}

IGraphics::~IGraphics() {
  mIdleWork.clear();   // the controls deleted below remove theirs
  DropWindowWork(nullptr);
  delete mKeyCatcher;
  mKeyCatcher = nullptr;
  mControls.Empty(true);
  mLayers.Empty(true);
  deleteDrawBitmaps();
  dropBitmapReferences();
}

// ---------------------------------------------------------------- headless platform defaults

void* IGraphics::OpenWindow(void*, void*, short, short) { return nullptr; }
void* IGraphics::OpenWindow(void*) { return nullptr; }
int IGraphics::ShowMessageBox(const char*, const char*, int) { return 0; }
IPopupMenu* IGraphics::CreateIPopupMenu(IPopupMenu*, IRECT*) { return nullptr; }
void IGraphics::CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) {}
bool IGraphics::PromptForColor(IColor*, char*) { return false; }
bool IGraphics::OpenURL(const char*, const char*, const char*, const char*) { return false; }
char* IGraphics::OSLoadFile(int, const char*) { return nullptr; }
GFX_IBitmap* IGraphics::OSLoadBitmap(int, const char*) { return nullptr; }
std::string IGraphics::OSBitmapFile(int, const char*) { return ""; }

void IGraphics::PromptForFile(UTIL_String* file, EFileAction, UTIL_String*, char*) {
  if (file) file->Set("");
}

// ---------------------------------------------------------------- attachment

void IGraphics::AttachBackground(int ID, const char* name, double scale) {
  IBitmap bg = LoadIBitmap(ID, name, scale, 1, false);
  // Drawn first by every whole-window draw.
  DecodeAhead(&bg);
  IControl* c = new IBitmapControl(mPlug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber);
  mControls.Insert(0, c);
}

void IGraphics::AttachPanelBackground(const IColor* color) {
  IControl* c = new IPanelControl(mPlug, IRECT(0, 0, mWidth, mHeight), color);
  mControls.Insert(0, c);
}

int IGraphics::AttachControl(IControl* control) {
  mControls.Add(control);
  return mControls.GetSize() - 1;
}

int IGraphics::AttachLayer(ControlLayer* layer) {
  mLayers.Add(layer);
  return mLayers.GetSize() - 1;
}

void IGraphics::AttachKeyCatcher(IControl* control) { mKeyCatcher = control; }

// ---------------------------------------------------------------- values

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized) {
  if (!normalized) {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (param) {
      value = param->GetNormalized(value);
      param->SetNormalized(value);
    }
  }
  if (paramIdx < 0) {
    // Unbound controls (the background among them) answer to -1: walk everything, as always.
    GUI_PushParamToControls(mControls, paramIdx, value);
    for (int i = 0, n = mLayers.GetSize(); i < n; ++i) mLayers.Get(i)->SetParameterFromPlug(paramIdx, value, normalized);
    return;
  }
  if (mIndexedStamp.load(std::memory_order_acquire) != mLayoutStamp.load(std::memory_order_acquire))
    updateParamIndex();
  if (static_cast<size_t>(paramIdx) + 1 >= mParamIndexStart.size()) return;  // no control has it
  for (int k = mParamIndexStart[paramIdx], end = mParamIndexStart[paramIdx + 1]; k < end; ++k)
    GUI_PushParamToControl(mParamIndexControls[k], paramIdx, value);
}

namespace {

// Every control of the tree in push order: the control list, index 0 included, then each layer
// of the layer list depth-first (its controls, then its child layers).
template <class F>
void forEachInPushOrder(const UTIL_PtrList<IControl>& controls, const UTIL_PtrList<ControlLayer>& layers, F&& f) {
  for (int i = 0, n = controls.GetSize(); i < n; ++i) f(controls.Get(i));
  for (int i = 0, n = layers.GetSize(); i < n; ++i) {
    const ControlLayer* layer = layers.Get(i);
    forEachInPushOrder(layer->controls, layer->layers, f);
  }
}

// Calls f(p) once for each parameter p >= 0 that reaches the control: its own, then those of
// its auxiliary entries (the first entry for a parameter is the one a push finds).
template <class F>
void forEachParamOf(IControl* c, F&& f) {
  const int own = c->ParamIdx();
  if (own >= 0) f(own);
  for (int a = 0, n = c->NAuxParams(); a < n; ++a) {
    const int p = c->GetAuxParam(a)->mParamIdx;
    if (p >= 0 && p != own && c->AuxParamIdx(p) == a) f(p);
  }
}

}  // namespace

void IGraphics::updateParamIndex() {
  std::lock_guard<std::mutex> lock(mParamIndexLock);
  // Read before walking: a change that lands during the walk leaves the index stale again.
  const unsigned stamp = mLayoutStamp.load(std::memory_order_acquire);
  if (mIndexedStamp.load(std::memory_order_relaxed) == stamp) return;  // another pusher built it

  // Counting sort by parameter, stable, so each parameter's controls keep push order.
  std::vector<int> start;
  forEachInPushOrder(mControls, mLayers, [&](IControl* c) {
    forEachParamOf(c, [&](int p) {
      if (static_cast<size_t>(p) + 2 > start.size()) start.resize(static_cast<size_t>(p) + 2, 0);
      ++start[static_cast<size_t>(p) + 1];
    });
  });
  for (size_t p = 1; p < start.size(); ++p) start[p] += start[p - 1];
  std::vector<IControl*> controls(start.empty() ? 0 : static_cast<size_t>(start.back()));
  std::vector<int> next(start);
  forEachInPushOrder(mControls, mLayers, [&](IControl* c) {
    forEachParamOf(c, [&](int p) { controls[static_cast<size_t>(next[static_cast<size_t>(p)]++)] = c; });
  });
  mParamIndexStart.swap(start);
  mParamIndexControls.swap(controls);
  mIndexedStamp.store(stamp, std::memory_order_release);
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue) {
  IControl* c = mControls.Get(controlIdx);
  if (c) c->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue) {
  for (int i = 0, n = mControls.GetSize(); i < n; ++i) {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->SetValueFromUserInput(normalizedValue);
  }
}

void IGraphics::HideControl(int paramIdx, bool hide) {
  for (int i = 0, n = mControls.GetSize(); i < n; ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->Hide(hide);
}

void IGraphics::GrayOutControl(int paramIdx, bool gray) {
  for (int i = 0, n = mControls.GetSize(); i < n; ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->GrayOut(gray);
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized) {
  if (!normalized) {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    lo = param->GetNormalized(lo);
    hi = param->GetNormalized(hi);
  }
  for (int i = 0, n = mControls.GetSize(); i < n; ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->Clamp(lo, hi);
}

void IGraphics::SetAllControlsDirty() {
  for (int i = 0, n = mControls.GetSize(); i < n; ++i) mControls.Get(i)->SetDirty(false);
}

void IGraphics::OnGUIIdle() {
  for (int i = 0, n = mControls.GetSize(); i < n; ++i) mControls.Get(i)->OnGUIIdle();
}

void IGraphics::PromptUserInput(IControl* control, IParam* param, IRECT* rect) {
  if (!control || !param || !rect) return;
  const int type = param->Type();
  const int nTexts = param->GetNDisplayTexts();
  if ((type == IParam::kTypeBool || type == IParam::kTypeEnum) && nTexts > 0) {
    char current[kGuiDisplayScratch];
    GUI_FormatParamDisplay(mPlug, param, param->Value(), false, true, current, sizeof(current));
    IPopupMenu menu;
    for (int i = 0; i < nTexts; ++i) {
      const char* text = param->GetDisplayTextAtIdx(i);
      menu.AddItem(text, -1, std::strcmp(text, current) == 0 ? IPopupMenuItem::kChecked : 0);
    }
    IPopupMenu* chosen = CreateIPopupMenu(&menu, rect);
    if (chosen) control->SetValueFromUserInput(param->GetNormalized(chosen->GetChosenItemIdx()));
    return;
  }
  char current[kGuiDisplayScratch];
  GUI_FormatParamDisplay(mPlug, param, param->Value(), false, type == IParam::kTypeText, current, sizeof(current));
  CreateTextEntry(control, control->GetText(), rect, current, param);
}

void IGraphics::SetFromStringAfterPrompt(IControl* control, IParam* param, const char* text) {
  if (!param || !control) return;
  if (!text) text = "";
  double value;
  switch (param->Type()) {
    case IParam::kTypeBool:
    case IParam::kTypeEnum: {
      int idx = 0;
      if (!param->MapDisplayText(text, &idx)) idx = 0;
      value = idx;
      break;
    }
    case IParam::kTypeText: {
      // The handler of a text parameter must see the new text even when its value does not
      // move: toggle the control so the change road runs, then settle at 0.
      // The plug-in's other threads may write the same text (the editor's MIDI input does):
      // its hook writes it under the plug-in's text lock. A parameter that is not the control's
      // own has no index to name it by and is written here.
      IPluginBase* plug = control->GetPlug();
      const int idx = control->ParamIdx();
      if (plug && plug->GetParam(idx) == param) {
        plug->SetParamTextFromGUI(idx, text);
      } else {
        std::unique_lock<std::mutex> texts;
        if (plug) texts = std::unique_lock<std::mutex>(plug->ParamTextLock());
        param->SetDisplayText(0, text);
      }
      double lo, hi;
      param->GetBounds(&lo, &hi);
      double toggle = control->GetValue() == 0.0 ? 1.0 : 0.0;
      param->Set(toggle < lo ? lo : (toggle > hi ? hi : toggle));
      control->SetValueFromUserInput(toggle);
      value = 0.0;
      break;
    }
    default:
      value = std::atof(text);
      break;
  }
  control->SetValueFromUserInput(param->GetNormalized(value));
}

// ---------------------------------------------------------------- repaint

bool IGraphics::IsDirty(IRECT* rect) {
  // Control 0, the background, is never looked at: it is repainted under every area anyway.
  bool dirty = GUI_UnionDirtyControls(mControls, 1, rect);
  for (int i = 0, n = mLayers.GetSize(); i < n; ++i)
    if (mLayers.Get(i)->isDirty(rect)) dirty = true;
  return dirty;
}

bool IGraphics::IsDirty(IRECTList* list) {
  bool dirty = GUI_CollectDirtyControls(mControls, 1, list);
  for (int i = 0, n = mLayers.GetSize(); i < n; ++i)
    if (mLayers.Get(i)->isDirty(list)) dirty = true;
  return dirty;
}

void IGraphics::AddIdleWork(const void* owner, std::function<bool()> work) {
  RemoveIdleWork(owner);
  mIdleWork.emplace_back(owner, std::move(work));
}

void IGraphics::RemoveIdleWork(const void* owner) {
  mIdleWork.erase(std::remove_if(mIdleWork.begin(), mIdleWork.end(), [&](const auto& w) { return w.first == owner; }),
                  mIdleWork.end());
}

bool IGraphics::RunIdleWork() {
  bool more = false;
  // By index: a piece may add or remove pieces.
  for (size_t i = 0; i < mIdleWork.size(); ++i) {
    const std::function<bool()> work = mIdleWork[i].second;
    if (work()) more = true;
  }
  return more;
}

namespace {
// The batches the calling thread holds, and the window its marks owe a wake to meanwhile.
thread_local int tWakeBatches = 0;
thread_local IGraphics* tWakeOwed = nullptr;
}  // namespace

void IGraphics::Dirtied() {
  // No window, nothing to wake; on the window's thread, the tick that draws it runs or comes.
  const std::thread::id window = mWindowThread.load(std::memory_order_relaxed);
  if (window == std::thread::id() || window == std::this_thread::get_id()) return;
  if (tWakeBatches > 0 && (!tWakeOwed || tWakeOwed == this)) {
    tWakeOwed = this;
    return;
  }
  wake();
}

// The mark is made before the exchange, and the window exchanges before it looks: either this
// wake is new, or the tick that takes the pending one sees the mark.
void IGraphics::wake() {
  if (!mWakePending.exchange(true)) WakeView();
}

IGraphics::WakeBatch::WakeBatch() { ++tWakeBatches; }

IGraphics::WakeBatch::~WakeBatch() {
  if (--tWakeBatches == 0 && tWakeOwed) std::exchange(tWakeOwed, nullptr)->wake();
}

bool IGraphics::queueForWindow(const void* owner, int what, std::function<void()>* work) {
  std::lock_guard<std::mutex> guard(mWindowWorkLock);
  mWindowWork.erase(std::remove_if(mWindowWork.begin(), mWindowWork.end(),
                                   [&](const WindowWork& w) { return w.owner == owner && w.what == what; }),
                    mWindowWork.end());
  const std::thread::id window = mWindowThread.load();
  // The modal depth is the window thread's own: only read there.
  if (window == std::thread::id() || (window == std::this_thread::get_id() && mModalDepth == 0)) return false;
  mWindowWork.push_back(WindowWork{owner, what, std::move(*work)});
  wake();
  return true;
}

void IGraphics::RunOnWindowThread(const void* owner, int what, std::function<void()> work) {
  if (queueForWindow(owner, what, &work)) return;
  // At once, under the plug-in's lock as the queue runs: two threads never change what the window
  // shows together. A window opened while this thread waited for the lock gets the work queued.
  UTIL_MutexLock lock(plugMutex());
  if (queueForWindow(owner, what, &work)) return;
  work();
}

bool IGraphics::RunWindowWork() {
  if (mModalDepth > 0) return false;
  {
    std::lock_guard<std::mutex> guard(mWindowWorkLock);
    if (mWindowWork.empty()) return false;  // the usual tick: no need of the plug-in's lock
  }
  UTIL_MutexLock lock(plugMutex());
  std::vector<WindowWork> batch;
  {
    std::lock_guard<std::mutex> guard(mWindowWorkLock);
    batch.swap(mWindowWork);
  }
  for (WindowWork& w : batch) w.work();
  return !batch.empty();
}

void IGraphics::DropWindowWork(const void* owner) {
  std::lock_guard<std::mutex> guard(mWindowWorkLock);
  mWindowWork.erase(std::remove_if(mWindowWork.begin(), mWindowWork.end(),
                                   [&](const WindowWork& w) { return !owner || w.owner == owner; }),
                    mWindowWork.end());
}

void IGraphics::SetWindowThread(bool open) {
  // Work run at once elsewhere holds the plug-in's lock: once it is ours, what another thread
  // began while no window was open has ended, and whatever comes next sees the change.
  UTIL_MutexLock lock(plugMutex());
  if (!open && mModalDepth > 0) {
    // A popup or dialog of the closed window still runs its loop on this thread, and may hold a
    // menu that the queue would rebuild: this thread stays the owner until it ends (EndModal).
    mCloseAfterModal = true;
    return;
  }
  mCloseAfterModal = false;
  {
    std::lock_guard<std::mutex> guard(mWindowWorkLock);
    mWindowThread = open ? std::this_thread::get_id() : std::thread::id();
  }
  if (!open) RunWindowWork();
}

void IGraphics::BeginModal(void* loop) {
  mModalThread = std::this_thread::get_id();
  mModalLoops.push_back(loop);
  ++mModalDepth;
}

bool IGraphics::EndModal() {
  if (!mModalLoops.empty()) mModalLoops.pop_back();
  if (--mModalDepth > 0) return mGoing;
  const bool closed = mCloseAfterModal;
  if (closed) SetWindowThread(false);
  if (mDeleteAfterModal) DeleteWhenUnwound(std::exchange(mDeleteAfterModal, nullptr));
  return closed || mGoing;
}

bool IGraphics::DeleteAfterModal(std::function<void()> del) {
  if (mModalDepth == 0 || mModalThread.load() != std::this_thread::get_id()) return false;
  mGoing = true;
  mDeleteAfterModal = std::move(del);
  EndModalLoops(mModalLoops);
  return true;
}

UTIL_Mutex* IGraphics::plugMutex() { return mPlug ? mPlug->GetMutex() : nullptr; }

bool IGraphics::Draw(IRECT* rect) {
  noteDrawing(true);
  const bool ok = drawArea(rect, true);
  noteDrawing(false);
  return ok;
}

bool IGraphics::Draw(IRECTList* areas) {
  noteDrawing(true);
  bool ok = true;
  if (!mStrict) {
    // The loose mode repaints by dirty controls, not by area: once is all it needs.
    IRECT all = areas->Bounds();
    ok = drawArea(&all, true);
  } else {
    for (int i = 0; i < areas->n; ++i) ok = drawArea(&areas->rects[i], i == areas->n - 1) && ok;
  }
  noteDrawing(false);
  return ok;
}

bool IGraphics::drawArea(IRECT* rect, bool clean) {
  if (mControls.GetSize() == 0 && mLayers.GetSize() == 0) return true;
  walkDraw(rect, clean);
  return DrawScreen(&mDrawRECT);
}

void IGraphics::walkDraw(IRECT* rect, bool clean) {
  const int nControls = mControls.GetSize();
  if (mStrict) {
    mDrawRECT = *rect;
    // Layers without any control (no background) are legal: nothing to paint underneath.
    if (nControls > 0) drawBackground(*rect);
    for (int i = 1; i < nControls; ++i) {
      IControl* c = mControls.Get(i);
      if (!c->IsHidden() && rect->Intersects(*c->GetRECT())) c->Draw(this);
      if (clean) c->SetClean();
    }
  } else if (nControls > 0) {
    IControl* bg = mControls.Get(0);
    if (bg->IsDirty()) {
      mDrawRECT = *bg->GetRECT();
      for (int j = 0; j < nControls; ++j) {
        IControl* c = mControls.Get(j);
        if (j == 0 || !c->IsHidden()) {
          c->Draw(this);
          c->SetClean();
        }
      }
    } else {
      for (int i = 1; i < nControls; ++i) {
        IControl* ci = mControls.Get(i);
        if (!ci->IsDirty()) continue;
        mDrawRECT = *ci->GetRECT();
        for (int j = 0; j < nControls; ++j) {
          IControl* cj = mControls.Get(j);
          if (cj->IsHidden()) continue;
          if (j == i || cj->GetRECT()->Intersects(mDrawRECT)) cj->Draw(this);
        }
        ci->SetClean();
      }
    }
  }
  for (int i = 0, n = mLayers.GetSize(); i < n; ++i) mLayers.Get(i)->Draw(this, &mDrawRECT, clean);
}

void IGraphics::drawBackground(const IRECT& area) {
  IControl* bg = mControls.Get(0);
  // Where a picture drawn later in this walk replaces every pixel, the background is left out.
  IRECT cover;
  if (mDrawBitmap) {
    if (mCoversStamp != mLayoutStamp.load(std::memory_order_acquire)) findCovers();
    for (const Cover& c : mCovers) {
      const IRECT* cr = c.control->GetRECT();
      const bool drawn = !c.control->IsHidden() && (c.layer ? c.layer->isVisible() && !cr->Empty() : true) &&
                         area.Intersects(*cr);
      const IRECT part = drawn ? area.Intersect(*cr) : IRECT();
      if (part.W() * part.H() > cover.W() * cover.H() && drawsEveryPixel(c.control->GetBitmap(), *cr, c.control->GetBlend()))
        cover = part;
    }
  }
  if (cover.W() <= 0 || cover.H() <= 0) {
    bg->Draw(this);
    return;
  }
  const IRECT around[4] = {IRECT(area.L, area.T, area.R, cover.T), IRECT(area.L, cover.B, area.R, area.B),
                           IRECT(area.L, cover.T, cover.L, cover.B), IRECT(cover.R, cover.T, area.R, cover.B)};
  for (const IRECT& r : around)
    if (r.W() > 0 && r.H() > 0) {
      mDrawRECT = r;
      bg->Draw(this);
    }
  mDrawRECT = area;
}

void IGraphics::findCovers() {
  // Only pictures of a sixteenth of the window or more are worth the test on every repaint.
  mCoversStamp = mLayoutStamp.load(std::memory_order_acquire);
  mCovers.clear();
  const long long least = static_cast<long long>(mWidth) * mHeight / 16;
  auto consider = [&](ControlLayer* layer, IControl* c) {
    const IRECT* r = c->GetRECT();
    if (typeid(*c) == typeid(IBitmapControl) && static_cast<long long>(r->W()) * r->H() >= least)
      mCovers.push_back(Cover{layer, static_cast<IBitmapControl*>(c)});
  };
  for (int i = 1; i < mControls.GetSize(); ++i) consider(nullptr, mControls.Get(i));
  std::function<void(ControlLayer*)> walk = [&](ControlLayer* l) {
    for (int i = 0; i < l->controls.GetSize(); ++i) consider(l, l->controls.Get(i));
    for (int i = 0; i < l->layers.GetSize(); ++i) walk(l->layers.Get(i));
  };
  for (int i = 0; i < mLayers.GetSize(); ++i) walk(mLayers.Get(i));
}

void IGraphics::SetStrictDrawing(bool strict) {
  mStrict = strict;
  SetAllControlsDirty();
}

// ---------------------------------------------------------------- input

IControl* IGraphics::hitSearch(int x, int y, bool mouseOver) const {
  for (int i = mLayers.GetSize() - 1; i >= 0; --i) {
    IControl* c = mLayers.Get(i)->isHit(x, y);
    if (c) return c;
  }
  for (int i = mControls.GetSize() - 1; i >= 0; --i) {
    IControl* c = mControls.Get(i);
    if (c->IsHidden()) continue;
    if (c->IsGrayed() && !(mouseOver && c->GetMOWhenGrayed())) continue;
    if (c->IsHit(x, y)) return c;
  }
  return nullptr;
}

IControl* IGraphics::GetMouseControlIdx(int x, int y, bool mouseOver) {
  if (mMouseCapture) return mMouseCapture;
  return hitSearch(x, y, mouseOver);
}

void IGraphics::releaseCaptureAndSetMouse() {
  mMouseCapture = nullptr;
  mMouseX = mMouseY = -1;
}

void IGraphics::ReleaseMouseCapture() { releaseCaptureAndSetMouse(); }

void IGraphics::OnMouseDown(int x, int y, IMouseMod* mod) {
  releaseCaptureAndSetMouse();
  IControl* c = hitSearch(x, y, false);
  if (!c) return;
  mMouseCapture = c;
  mMouseX = x;
  mMouseY = y;
  const int paramIdx = c->ParamIdx();
  c->OnMouseDown(x, y, mod);
  if (paramIdx >= 0 && mPlug) mPlug->BeginInformHostOfParamChange(paramIdx);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* mod) {
  IControl* c = mMouseCapture ? mMouseCapture : hitSearch(x, y, false);
  releaseCaptureAndSetMouse();
  ShowMouseCursor();  // a gesture that hid the cursor ends here
  if (!c) return;
  c->OnMouseUp(x, y, mod);
  if (c->ParamIdx() >= 0 && mPlug) mPlug->EndInformHostOfParamChange(c->ParamIdx());
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* mod) {
  if (!mMouseCapture) return;
  const int dX = x - mMouseX, dY = y - mMouseY;
  if (dX == 0 && dY == 0) return;
  mMouseX = x;
  mMouseY = y;
  mMouseCapture->OnMouseDrag(x, y, dX, dY, mod);
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* mod) {
  releaseCaptureAndSetMouse();
  IControl* c = hitSearch(x, y, false);
  if (!c) return false;
  if (c->GetDblAsSingleClick()) {
    mMouseCapture = c;
    mMouseX = x;
    mMouseY = y;
    c->OnMouseDown(x, y, mod);
    return true;
  }
  c->OnMouseDblClick(x, y, mod);
  return false;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* mod, int d) {
  IControl* c = mMouseCapture ? mMouseCapture : hitSearch(x, y, false);
  if (c) c->OnMouseWheel(x, y, mod, d);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* mod) {
  if (!mHandleMouseOver) return false;
  IControl* c = mMouseCapture ? mMouseCapture : hitSearch(x, y, true);
  if (c) {
    mMouseX = x;
    mMouseY = y;
    c->OnMouseOver(x, y, mod);
    if (mMouseOver && mMouseOver != c) mMouseOver->OnMouseOut();
    mMouseOver = c;
  }
  return mHandleMouseOver;
}

void IGraphics::OnMouseOut() {
  for (int i = 0, n = mControls.GetSize(); i < n; ++i) mControls.Get(i)->OnMouseOut();
  mMouseOver = nullptr;
}

bool IGraphics::OnKeyDown(int x, int y, int key) {
  IControl* c = mMouseCapture ? mMouseCapture : hitSearch(x, y, false);
  if (c && c->OnKeyDown(x, y, key)) return true;
  // The key catcher gets what the control under the pointer leaves: the background answers the
  // hit search almost everywhere, so a catcher that waited for no control would hear nothing.
  return mKeyCatcher && mKeyCatcher->OnKeyDown(x, y, key);
}

int IGraphics::GetParamIdxForPTAutomation(int x, int y) {
  IControl* c = GetMouseControlIdx(x, y, false);
  mLastClickedParam = c ? c->ParamIdx() : -1;
  return mLastClickedParam;
}

int IGraphics::GetLastClickedParamForPTAutomation() {
  const int p = mLastClickedParam;
  mLastClickedParam = -1;
  return p;
}

// ---------------------------------------------------------------- resize

void IGraphics::Resize(int w, int h) {
  mWidth = w;
  mHeight = h;
  releaseCaptureAndSetMouse();
  mMouseOver = nullptr;
  mControls.Empty(true);
  deleteDrawBitmaps();
  PrepDraw();
  if (mPlug) mPlug->ResizeGraphics(w, h);
}
