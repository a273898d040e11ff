#include "CustomRadioButtons.h"

#include "IGraphics.h"

ICustomRadioButtonsControl::ICustomRadioButtonsControl(IPluginBase* plug, IRECT rect, int paramIdx,
                                                       int nButtons, IBitmap* bitmap,
                                                       EDirection direction)
    : IRadioButtonsControl(plug, rect, paramIdx, nButtons, bitmap, direction, false) {
  mDisablePrompt = true;
  const int n = NButtons();
  if (n < 1) return;
  if (mBitmap.mFramesAreHorizontal) {
    cellWidth = mBitmap.W / 2;
    cellHeight = mBitmap.H / n;
  } else {
    cellWidth = mBitmap.W / n;
    cellHeight = mBitmap.H / 2;
  }
  const int frameH = mBitmap.N > 0 ? mBitmap.H / mBitmap.N : mBitmap.H;
  IRECT* r = mRECTs.Get();
  for (int i = 0; i < n; ++i) {
    if (direction == kHorizontal)
      r[i] = IRECT(rect.L + i * cellWidth, rect.T, rect.L + (i + 1) * cellWidth, rect.T + frameH);
    else
      r[i] =
          IRECT(rect.L, rect.T + i * cellHeight, rect.L + cellWidth, rect.T + (i + 1) * cellHeight);
  }
}

void ICustomRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* mod) {
  if (mod && mod->R) {
    if (!rightClickSelects) {
      SetDirty(true);
      return;
    }
    mod->L = true;
    mod->R = false;
  }
  OnMouseDownCustom(x, y, mod);
  SetDirty(true);
}

void ICustomRadioButtonsControl::OnMouseDownCustom(int x, int y, IMouseMod* mod) {
  if (mod && mod->R) return;
  const int n = NButtons();
  if (n >= 1) {
    const int last = lastClickable >= 0 && lastClickable < n ? lastClickable : n - 1;
    for (int i = 0; i <= last; ++i) {
      const IRECT* r = GetButtonRECT(i);
      if (r && r->Contains(x, y)) {
        // A single button has no range to spread over; it is always the selected one.
        mValue = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
        break;
      }
    }
  }
  SetDirty(true);
}

void ICustomRadioButtonsControl::OnMouseDblClick(int, int, IMouseMod*) {}
void ICustomRadioButtonsControl::OnMouseOver(int, int, IMouseMod*) {}
void ICustomRadioButtonsControl::OnMouseOut() { SetDirty(false); }

int ICustomRadioButtonsControl::SelectedIndex() const {
  const int n = NButtons();
  if (n < 1) return -1;
  if (n == 1) return 0;
  int idx = static_cast<int>(mValue * (n - 1) + 0.5);
  if (idx < 0) idx = 0;
  if (idx > n - 1) idx = n - 1;
  return idx;
}

bool ICustomRadioButtonsControl::Draw(IGraphics* graphics) {
  mBlend.mWeight = 1.0f;
  const int n = NButtons();
  if (n < 1 || !graphics) return true;
  const int selected = SelectedIndex();
  for (int i = 0; i < n; ++i) {
    const int srcX = mBitmap.mFramesAreHorizontal ? 0 : i * cellWidth;
    const int srcY = mBitmap.mFramesAreHorizontal ? i * cellHeight : 0;
    const int state = (i == selected && highlightSelected) ? 2 : 1;
    graphics->DrawBitmap(&mBitmap, GetButtonRECT(i), state, srcX, srcY, &mBlend);
  }
  return true;
}
