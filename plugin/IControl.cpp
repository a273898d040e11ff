#include "IControl.h"

#include <cstring>
#include <mutex>

#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"

void GUI_FormatParamDisplay(const IPluginBase* plug, IParam* param, double value, bool normalized,
                            bool withDisplayText, char* out, int outLen) {
  if (!out || outLen < 1) return;
  out[0] = '\0';
  if (!param) return;
  // The parameter formats without a bound: a double printed with "%.*f" can take over 300
  // characters, a display text up to 55. Format into room for the worst case, then cut to the
  // caller's fixed-size field.
  char scratch[kGuiDisplayScratch];
  scratch[0] = '\0';
  {
    std::unique_lock<std::mutex> texts;
    if (plug) texts = std::unique_lock<std::mutex>(plug->ParamTextLock());
    param->GetDisplayForHost(value, normalized, scratch, withDisplayText);
  }
  scratch[sizeof(scratch) - 1] = '\0';
  std::strncpy(out, scratch, static_cast<size_t>(outLen - 1));
  out[outLen - 1] = '\0';
}

IControl::IControl(IPluginBase* plug, IRECT rect, int paramIdx, int blendMethod)
    : mPlug(plug), mRECT(rect), mTargetRECT(rect), mParamIdx(paramIdx), mBlend(blendMethod, 1.0f) {}

IControl::~IControl() = default;

void IControl::OnMouseDown(int, int, IMouseMod* mod) {
  if (!mGrayed && mod && mod->R) PromptUserInput();
}

void IControl::OnMouseUp(int, int, IMouseMod*) {}
void IControl::OnMouseDrag(int, int, int, int, IMouseMod*) {}

void IControl::OnMouseDblClick(int, int, IMouseMod*) {
  if (mGrayed || mDefaultValue < 0.0) return;
  mValue = mDefaultValue;
  SetDirty(true);
}

void IControl::OnMouseWheel(int, int, IMouseMod* mod, int d) {
  const bool fine = mod && (mod->C || mod->S);
  mValue += d * (fine ? 0.001 : 0.01);
  SetDirty(true);
}

bool IControl::OnKeyDown(int, int, int) { return false; }
void IControl::OnMouseOver(int, int, IMouseMod*) {}
void IControl::OnMouseOut() {}

// The first value a control is given becomes its default and is taken as it is (unclamped,
// not dirty); later different values go through the given marking road.
bool IControl::takeValue(double value) {
  if (mDefaultValue < 0.0) mValue = mDefaultValue = value;
  if (mValue == value) return false;
  mValue = value;
  return true;
}

void IControl::SetValueFromPlug(double value) {
  if (!takeValue(value)) return;
  SetDirty(false);
  mRedraw = true;
}

void IControl::SetValueFromHardware(double value) {
  if (!takeValue(value)) return;
  SetDirty2(true);
  mRedraw = true;
}

void IControl::TextFromTextEntry(const char*) {}

void IControl::Hide(bool hide) {
  mHide = hide;
  mRedraw = true;
  SetDirty(false);
}

void IControl::GrayOut(bool gray) {
  mGrayed = gray;
  mBlend.mWeight = gray ? 0.5f : 1.0f;
  SetDirty(false);
}

bool IControl::IsHit(int x, int y) { return mTargetRECT.Contains(x, y); }

void IControl::SetDirty(bool pushParamToPlug) { setDirtyImpl(pushParamToPlug, false); }
void IControl::SetDirty2(bool pushParamToPlug) { setDirtyImpl(pushParamToPlug, true); }

void IControl::setDirtyImpl(bool push, bool fromHardware) {
  if (mClampLo > mValue)
    mValue = mClampLo;
  else if (mClampHi < mValue)
    mValue = mClampHi;
  mDirty.release(true);
  if (IGraphics* graphics = mPlug ? mPlug->GetGUI() : nullptr) graphics->Dirtied();
  if (!push || !mPlug || mParamIdx < 0) return;
  if (fromHardware)
    mPlug->SetParameterFromGUI2(mParamIdx, mValue);
  else
    mPlug->SetParameterFromGUI(mParamIdx, mValue);
  updateDisplays();
}

void IControl::updateDisplays() {
  IParam* param = mPlug->GetParam(mParamIdx);
  if (!param) return;
  if (mValDisplayControl) {
    char display[kValueDisplayLen];
    GUI_FormatParamDisplay(mPlug, param, param->Value(), false, true, display, sizeof(display));
    mValDisplayControl->SetTextFromPlug(display);
  }
  if (mNameDisplayControl) {
    const char* name = param->GetNameForHost();
    mNameDisplayControl->SetTextFromPlug(name ? name : "");
  }
}

void IControl::SetClean() {
  mDirty = mRedraw;
  mRedraw = false;
}

bool IControl::IsDirty() { return mDirty.acquire(); }
void IControl::OnGUIIdle() {}

void IControl::SetAuxParamValueFromPlug(int auxIdx, double value) {
  AuxParam* a = GetAuxParam(auxIdx);
  if (!a || a->mValue == value) return;
  a->mValue = value;
  SetDirty(false);
  mRedraw = true;
}

void IControl::SetValueFromUserInput(double value) {
  if (mValue == value) return;
  mValue = value;
  SetDirty(true);
  mRedraw = true;
}

void IControl::PromptUserInput() {
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IParam* param = mPlug->GetParam(mParamIdx);
  IGraphics* graphics = mPlug->GetGUI();
  if (!param || !graphics) return;
  if (param->GetNDisplayTexts()) {
    graphics->PromptUserInput(this, param, &mRECT);
  } else {
    // Single precision and truncation toward zero, as the text field has always been placed.
    const int cx = static_cast<int>((mRECT.L + mRECT.R) * 0.5f);
    const int cy = static_cast<int>((mRECT.T + mRECT.B) * 0.5f);
    IRECT txtRECT(cx - 15, cy - 8, cx + 15, cy + 8);
    graphics->PromptUserInput(this, param, &txtRECT);
  }
  mRedraw = true;
}

void IControl::PromptUserInput(IRECT* rect) {
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IParam* param = mPlug->GetParam(mParamIdx);
  IGraphics* graphics = mPlug->GetGUI();
  if (param && graphics) graphics->PromptUserInput(this, param, rect);
  mRedraw = true;
}

void IControl::AddAuxParam(int paramIdx) {
  m_aux.Add(AuxParam{-1.0, paramIdx});
  GUI_BumpLayoutStamp(mLayoutStamp);
}

int IControl::AuxParamIdx(int paramIdx) const {
  const AuxParam* a = m_aux.Get();
  for (int i = 0, n = m_aux.GetSize(); i < n; ++i)
    if (a[i].mParamIdx == paramIdx) return i;
  return -1;
}

IControl::AuxParam* IControl::GetAuxParam(int i) {
  if (i < 0 || i >= m_aux.GetSize()) return nullptr;
  return m_aux.Get() + i;
}

void IControl::SetAllAuxParamsFromGUI() {
  if (!mPlug) return;
  for (int i = 0; i < m_aux.GetSize(); ++i) mPlug->SetParameterFromGUI(m_aux.Get()[i].mParamIdx, m_aux.Get()[i].mValue);
}
