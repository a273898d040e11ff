#include "ControlLayer.h"

#include <utility>

#include "IControl.h"
#include "IGraphicsStructs.h"

namespace {

// Calls take(rect) for every dirty control from index `first` on (hidden ones only with their
// ignore-hidden flag); says whether there were any.
template <class Take>
bool forEachDirtyControl(const UTIL_PtrList<IControl>& controls, int first, Take take) {
  bool dirty = false;
  for (int i = first, n = controls.GetSize(); i < n; ++i) {
    IControl* c = controls.Get(i);
    if (c->IsHidden() && !c->IgnoreHidden()) continue;
    if (!c->IsDirty()) continue;
    take(c->DirtyRECT());
    dirty = true;
  }
  return dirty;
}

}  // namespace

bool GUI_UnionDirtyControls(const UTIL_PtrList<IControl>& controls, int first, IRECT* r) {
  return forEachDirtyControl(controls, first, [r](const IRECT& cr) { *r = r->Union(cr); });
}

bool GUI_CollectDirtyControls(const UTIL_PtrList<IControl>& controls, int first, IRECTList* list) {
  return forEachDirtyControl(controls, first, [list](const IRECT& cr) { list->Add(cr); });
}

void GUI_PushParamToControl(IControl* c, int paramIdx, double value) {
  if (c->ParamIdx() == paramIdx) c->SetValueFromPlug(value);
  const int aux = c->AuxParamIdx(paramIdx);
  if (aux >= 0) c->SetAuxParamValueFromPlug(aux, value);
}

void GUI_PushParamToControls(const UTIL_PtrList<IControl>& controls, int paramIdx, double value) {
  for (int i = 0, n = controls.GetSize(); i < n; ++i) GUI_PushParamToControl(controls.Get(i), paramIdx, value);
}

void GUI_SetLayoutStamp(IControl* control, GUI_LayoutStamp* stamp) { control->SetLayoutStamp(stamp); }

void GUI_SetLayoutStamp(ControlLayer* layer, GUI_LayoutStamp* stamp) {
  layer->layoutStamp = stamp;
  for (int i = 0, n = layer->controls.GetSize(); i < n; ++i) layer->controls.Get(i)->SetLayoutStamp(stamp);
  for (int i = 0, n = layer->layers.GetSize(); i < n; ++i) GUI_SetLayoutStamp(layer->layers.Get(i), stamp);
}

ControlLayer::ControlLayer(int layerId, std::string layerName) : id(layerId), name(std::move(layerName)) {}

ControlLayer::~ControlLayer() {
  controls.Empty(true);
  layers.Empty(true);
}

void ControlLayer::Hide(bool hide) {
  visible = !hide;
  // Dirty before hiding, so that an ignore-hidden layer reports the area it covered once more.
  setControlsDirty();
  for (int i = 0, n = controls.GetSize(); i < n; ++i) controls.Get(i)->Hide(hide);
  for (int i = 0, n = layers.GetSize(); i < n; ++i) {
    ControlLayer* child = layers.Get(i);
    if (hide)
      child->Hide(true);
    else if (child->id == selectedChildId)
      child->Hide(false);
  }
}

void ControlLayer::GrayOut(bool gray) {
  for (int i = 0, n = controls.GetSize(); i < n; ++i) controls.Get(i)->GrayOut(gray);
  for (int i = 0, n = layers.GetSize(); i < n; ++i) {
    ControlLayer* child = layers.Get(i);
    if (gray)
      child->GrayOut(true);
    else if (child->id == selectedChildId)
      child->GrayOut(false);
  }
}

void ControlLayer::GrayOutCustomZone(bool gray, int zoneId) {
  selectedChildId = zoneId;
  if (zoneId < kCustomZoneFirst || zoneId > kCustomZoneLast) return;
  for (int i = 0, n = layers.GetSize(); i < n; ++i)
    if (layers.Get(i)->id == zoneId) layers.Get(i)->GrayOut(gray);
}

void ControlLayer::GrayOutUserArp(bool, int zoneId, int threshold) {
  // Only ever grays: the first argument has never restored anything and callers rely on that.
  selectedChildId = zoneId;
  if (zoneId < kUserArpFirst || zoneId > kCustomZoneLast) return;
  for (int i = 0, n = layers.GetSize(); i < n; ++i) {
    ControlLayer* child = layers.Get(i);
    if (child->id > threshold && child->id <= kCustomZoneLast) child->GrayOut(true);
  }
}

void ControlLayer::setControlsDirty() {
  for (int i = 0, n = controls.GetSize(); i < n; ++i) controls.Get(i)->SetDirty(false);
  for (int i = 0, n = layers.GetSize(); i < n; ++i) layers.Get(i)->setControlsDirty();
}

void ControlLayer::setIgnoreHiddenWhenUpdatingScreen(bool flag) {
  ignoreHidden = flag;
  for (int i = 0, n = layers.GetSize(); i < n; ++i) layers.Get(i)->setIgnoreHiddenWhenUpdatingScreen(flag);
  // Only the first control carries the flag: its rectangle (the layer's backdrop) is what must
  // be repainted once after the layer disappears.
  if (controls.GetSize() > 0) controls.Get(0)->SetIgnoreHidden(flag);
}

void ControlLayer::SetParameterFromPlug(int paramIdx, double value, bool normalized) {
  GUI_PushParamToControls(controls, paramIdx, value);
  for (int i = 0, n = layers.GetSize(); i < n; ++i) layers.Get(i)->SetParameterFromPlug(paramIdx, value, normalized);
}

namespace {

bool addDirty(const UTIL_PtrList<IControl>& controls, IRECT* rect) { return GUI_UnionDirtyControls(controls, 0, rect); }
bool addDirty(const UTIL_PtrList<IControl>& controls, IRECTList* list) {
  return GUI_CollectDirtyControls(controls, 0, list);
}

// A hidden layer reports nothing, its children included, unless it repaints once after hiding.
template <class Area>
bool layerDirty(ControlLayer* layer, Area* area) {
  if (!layer->visible && !layer->ignoreHidden) return false;
  bool dirty = addDirty(layer->controls, area);
  for (int i = 0, n = layer->layers.GetSize(); i < n; ++i)
    if (layerDirty(layer->layers.Get(i), area)) dirty = true;
  return dirty;
}

}  // namespace

bool ControlLayer::isDirty(IRECT* rect) { return layerDirty(this, rect); }
bool ControlLayer::isDirty(IRECTList* list) { return layerDirty(this, list); }

void ControlLayer::Draw(IGraphics* graphics, IRECT* rect, bool clean) {
  const bool shown = visible;
  if (shown || ignoreHidden) {
    for (int i = 0, n = controls.GetSize(); i < n; ++i) {
      IControl* c = controls.Get(i);
      const IRECT* cr = c->GetRECT();
      if (shown && !c->IsHidden() && !rect->Empty() && !cr->Empty() && rect->Intersects(*cr)) c->Draw(graphics);
      if (clean) c->SetClean();
    }
  }
  for (int i = 0, n = layers.GetSize(); i < n; ++i) layers.Get(i)->Draw(graphics, rect, clean);
}

IControl* ControlLayer::isHit(int x, int y) {
  if (!visible) return nullptr;
  for (int i = layers.GetSize() - 1; i >= 0; --i) {
    IControl* c = layers.Get(i)->isHit(x, y);
    if (c) return c;
  }
  for (int i = controls.GetSize() - 1; i >= 0; --i) {
    IControl* c = controls.Get(i);
    if (!c->IsHidden() && c->IsHit(x, y)) return c;
  }
  return nullptr;
}

IControl* ControlLayer::getControlFromParam(int paramIdx) {
  if (!visible) return nullptr;
  for (int i = layers.GetSize() - 1; i >= 0; --i) {
    IControl* c = layers.Get(i)->getControlFromParam(paramIdx);
    if (c) return c;
  }
  for (int i = controls.GetSize() - 1; i >= 0; --i)
    if (controls.Get(i)->ParamIdx() == paramIdx) return controls.Get(i);
  return nullptr;
}

namespace {
bool inRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Which children a numbered page switch considers, and whether it shows all of them. The groups
// of ten are independent except the first, whose exclusion range is 20..69 (not 20..119): the
// variants were numbered that way and existing pages rely on it.
enum class Band { None, ShowEqual, ShowAll };
Band bandFor(int sel, int child, bool* considered) {
  *considered = false;
  if (inRange(sel, 10, 19)) {
    *considered = child <= 299 && !inRange(child, 20, 69);
    return Band::ShowEqual;
  }
  if (inRange(sel, 20, 108)) {
    const int start = sel / 10 * 10;
    const int end = start + 9;  // 100..108 excludes 110..119 as well
    *considered = child <= 299 && !inRange(child, 10, start - 1) && !inRange(child, end + 1, 119);
    return Band::ShowEqual;
  }
  if (inRange(sel, 110, 118)) {
    *considered = child <= 119 && !inRange(child, 10, 109);
    return Band::ShowEqual;
  }
  if (inRange(sel, 120, 298)) {
    *considered = child <= 299 && !inRange(child, 10, 119);
    return Band::ShowAll;
  }
  if (sel >= 300) {
    *considered = child < 10 || child >= 300;
    return Band::ShowEqual;
  }
  return Band::None;
}
}  // namespace

void ControlLayer::showMultiLayers(int childId) {
  selectedChildId = childId;
  for (int i = 0, n = layers.GetSize(); i < n; ++i) {
    ControlLayer* child = layers.Get(i);
    bool considered = false;
    const Band band = bandFor(childId, child->id, &considered);
    if (band == Band::None) return;
    if (!considered) continue;
    if (band == Band::ShowAll)
      child->Hide(false);
    else
      child->Hide(child->id != childId);
  }
}
