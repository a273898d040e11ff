// Tab and layer switching. The layer tree comes from the interface description: "root" holds the
// main tab pages, each page one child per part, and the part pages numbered sub-layers (zones)
// in groups of ten. A missing layer or child is skipped; these functions never create layers.
// The handlers call them on any thread (a controller from the synth switches the part on the
// MIDI input's); the layers change on the window's thread (Sorvanta::onWindowThread), the part
// and the send happen at the call.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ControlLayer.h"
#include "IControl.h"
#include "IGraphics.h"
#include "IParam.h"
#include "LibrarianView.h"
#include "ProgressIndicator.h"
#include "Sorvanta.h"

namespace {

const char* const kFilterPanels[] = {"LP", "BP", "HP", "Notch", "CombMinus", "CombPlus"};

// The layers outside the tab pages that a main tab switch hides and then shows as the tab needs.
const char* const kSwitchedLayers[] = {
    "UPPERPOPUPMENU",        "LOWERPOPUPMENU",         "LeftPerformancePopupMenu", "RightPerformancePopupMenu",
    "RightPatchPopupMenu",   "RightSearchPopupMenu",   "BANKEDITMENU",             "multiModeSettingsPage1",
    "multiModeSettingsPage2", "delayClockedLayer",     "delayFreeLayer",           "categoryLimit",
    "discardChangesLayerRight", "keepBankOpenLayer",   "saveChangesLayer",         "searchField"};

ControlLayer* childAt(ControlLayer* layer, int index) {
  if (!layer || index < 0 || index >= layer->layers.GetSize()) return nullptr;
  return layer->layers.Get(index);
}

// The page of a main tab layer for the shown part: its child at the layer's selected child id.
ControlLayer* pageOf(ControlLayer* layer) { return layer ? childAt(layer, layer->getSelectedChildId()) : nullptr; }

// Makes `id` the selected child and shows that child, hiding the others.
void selectChild(ControlLayer* layer, int id) {
  if (!layer) return;
  layer->setSelectedChildId(id);
  for (int i = 0; i < layer->layers.GetSize(); ++i) {
    ControlLayer* c = layer->layers.Get(i);
    if (c) c->Hide(c->getId() != id);
  }
}

void hide(Sorvanta* plug, const char* name, bool hidden) {
  if (ControlLayer* l = plug->getLayer(name)) l->Hide(hidden);
}

void showProgress(Sorvanta* plug, bool show) {
  if (plug->progressIndicator) plug->progressIndicator->Hide(!show);
  if (plug->progressLayer) plug->progressLayer->Hide(!show);
}

int intValue(Sorvanta* plug, int paramIdx) { return truncToInt(plug->paramValue(paramIdx)); }

// The mode parameters of the filter, amplifier, third and fourth envelopes.
const int kEnvelopeModes[] = {kFilterEnvMode, kAmpEnvMode, kEnvelope3Mode, kEnvelope4Mode};

// The part whose effect 2 the effects page shows (effect 2 is linked to one part, or the first).
int fx2Part(Sorvanta* plug) {
  const int g = intValue(plug, kGlobalFX2Link);
  return g == 0 ? 0 : g - 1;
}

void grayZone(ControlLayer* page, int id, bool gray) {
  if (page) page->GrayOutCustomZone(gray, id);
}

// Oscillator zones: shape 1 keeps the first zone, 5 and above keep both, others gray both.
void oscillatorZones(ControlLayer* page, int first, int second, int shape) {
  if (!page) return;
  page->showMultiLayers(first);
  page->showMultiLayers(second);
  grayZone(page, first, !(shape == 1 || shape >= 5));
  grayZone(page, second, shape < 5);
}

// The filter panels the part's filter types show: the type's own for each filter, except that a
// filter 1 type above 10 shows the low-pass panel of filter 2 whatever its type.
std::vector<std::string> shownFilterPanels(Sorvanta* plug, int part) {
  std::vector<std::string> names;
  const int t1 = intValue(plug, kFilter1Type + part);
  const int t2 = intValue(plug, kFilter2Type + part);
  if (const char* p1 = TabSwitchFunctions::filterPanelFor(t1)) names.push_back("filter1" + std::string(p1));
  if (t1 > 10)
    names.push_back("filter2LP");
  else if (const char* p2 = TabSwitchFunctions::filterPanelFor(t2))
    names.push_back("filter2" + std::string(p2));
  return names;
}

void filterPanels(Sorvanta* plug, int part) {
  for (int f = 1; f <= 2; ++f)
    for (const char* panel : kFilterPanels) {
      const std::string name = "filter" + std::to_string(f) + panel;
      hide(plug, name.c_str(), true);
    }
  for (const std::string& name : shownFilterPanels(plug, part)) hide(plug, name.c_str(), false);
}

// The librarian's upper bank follows the part's program unless the user keeps the bank open.
void upperSelectionFromPart(Sorvanta* plug, int part) {
  if (plug->keepSelectedBank) return;
  const int program = intValue(plug, kMultiPartPatch + part);
  if (PatchLibrarian* lib = plug->getPatchLibrarian()) lib->upperSelection = program;
  plug->updatePatchLibrarianView(0);
  plug->OnParamChange(kCurrentPatchBank + part);
}

// The part's program becomes the selected slot of the grid the librarian view works on.
void selectProgramSlot(Sorvanta* plug, int part) {
  LibrarianViewControl* view = plug->libView();
  if (!view) return;
  const int program = intValue(plug, kMultiPartPatch + part);
  if (view->activeGrid() == LibrarianViewControl::kLowerGrid)
    view->setLowerSelectedSlot(program);
  else
    view->setUpperSelectedSlot(program);
}

}  // namespace

const char* TabSwitchFunctions::filterPanelFor(int type) {
  if (type == 1 || type == 2 || type > 10) return "LP";
  if (type == 3 || type == 4) return "BP";
  if (type == 5 || type == 6) return "HP";
  if (type == 7 || type == 8) return "Notch";
  if (type == 9) return "CombMinus";
  if (type == 10) return "CombPlus";
  return nullptr;
}

std::vector<IBitmap> TabSwitchFunctions::tabImages(Sorvanta* plug, int part) {
  // Sections that stand for one setting among several (envelope modes, effect types; numbered in
  // bands of ten, effect 2's from 300 on) count only in the setting the part has.
  std::vector<int> shown = {intValue(plug, kEffect1Mode + part) + 10, intValue(plug, kEffect2Mode + fx2Part(plug)) + 300};
  for (int k = 0; k < 4; ++k) shown.push_back(intValue(plug, kEnvelopeModes[k] + part) + 10 * (k + 1));
  auto band = [](const ControlLayer* l) { return l->getId() < 300 ? l->getId() / 10 : 30; };
  std::vector<IBitmap> images;
  IGraphics* g = plug->GetGUI();
  auto add = [&](ControlLayer* l, bool descendants) {
    const std::vector<IBitmap> more = g ? g->ImagesOf(l, descendants) : std::vector<IBitmap>();
    images.insert(images.end(), more.begin(), more.end());
  };
  for (const std::string& name : shownFilterPanels(plug, part)) add(plug->getLayer(name), true);
  // The mixer and the librarian's menus and buttons; not the multi settings pages, the first
  // page's own.
  add(plug->getLayer("miniMixer"), true);
  for (const char* name : kSwitchedLayers)
    if (std::string(name).compare(0, 21, "multiModeSettingsPage") != 0) add(plug->getLayer(name), true);
  for (int tab = 0; g && plug->rootLayer && tab < plug->rootLayer->layers.GetSize(); ++tab) {
    ControlLayer* page = plug->rootLayer->layers.Get(tab);
    add(page, false);
    for (int i = 0; i < page->layers.GetSize(); ++i) {
      ControlLayer* partPage = page->layers.Get(i);
      if (partPage->getId() != part) continue;
      add(partPage, false);
      const UTIL_PtrList<ControlLayer>& zones = partPage->layers;
      for (int z = 0; z < zones.GetSize(); ++z) {
        int alternatives = 0;
        for (int y = 0; y < zones.GetSize(); ++y) alternatives += band(zones.Get(y)) == band(zones.Get(z));
        if (alternatives < 2 || std::find(shown.begin(), shown.end(), zones.Get(z)->getId()) != shown.end())
          add(zones.Get(z), true);
      }
    }
  }
  return images;
}

void TabSwitchFunctions::showBankAndProgramLayer(Sorvanta* plug, int part) {
  for (int p = 1; p <= 16; ++p) {
    char name[32];
    snprintf(name, sizeof name, "bankAndProgram%02d", p);
    hide(plug, name, true);
  }
  hide(plug, "bankAndProgramMulti", true);
  if (plug->multiMode) {
    hide(plug, "bankAndProgramMulti", false);
  } else if (part >= 0 && part < kNumParts) {
    char name[32];
    snprintf(name, sizeof name, "bankAndProgram%02d", part + 1);
    hide(plug, name, false);
  }
}

void TabSwitchFunctions::tabPageContent(Sorvanta* plug, int tab, int p) {
  switch (tab) {
    case 2: {
      ControlLayer* page = pageOf(plug->oscillatorsLayer);
      if (!page) return;
      oscillatorZones(page, 10, 20, intValue(plug, kOscillator1Shape + p));
      oscillatorZones(page, 30, 40, intValue(plug, kOscillator2Shape + p));
      page->showMultiLayers(50);
      grayZone(page, 50, intValue(plug, kOscillator3Shape + p) != 1);
      break;
    }
    case 3: {
      if (ControlLayer* page = pageOf(plug->filtersEnvelopesLayer)) {
        for (int k = 0; k < 4; ++k) page->showMultiLayers(intValue(plug, kEnvelopeModes[k] + p) + 10 * (k + 1));
      }
      filterPanels(plug, p);
      break;
    }
    case 4: {
      ControlLayer* page = pageOf(plug->lfoModMatrixLayer);
      if (!page) return;
      const int clocks[] = {kLFO1Clock, kLFO2Clock, kLFO3Clock};
      for (int k = 0; k < 3; ++k) {
        const int zone = 10 * (k + 1);
        page->showMultiLayers(zone);
        grayZone(page, zone, intValue(plug, clocks[k] + p) == 1);
      }
      break;
    }
    case 5: {
      ControlLayer* fx = plug->effectsArpLayer;
      if (ControlLayer* page = pageOf(fx)) {
        const int e1 = intValue(plug, kEffect1Mode + p);
        page->showMultiLayers(e1 + 10);
        grayZone(page, e1 + 10, p >= 4);
        if (e1 == 0) grayZone(page, 10, true);
      }
      const int q = fx2Part(plug);
      if (q < 0 || q >= kNumParts) return;
      const int e2 = intValue(plug, kEffect2Mode + q);
      hide(plug, "delayFreeLayer", true);
      hide(plug, "delayClockedLayer", true);
      if (ControlLayer* page2 = childAt(fx, q)) {
        page2->showMultiLayers(e2 + 300);
        page2->GrayOutCustomZone(p != q, e2 + 300);
        if (e2 == 0) page2->GrayOutCustomZone(true, 300);
      }
      if (e2 == 7) {
        const char* name = plug->paramValue(kFX2DelayClocked + q) == 1.0 ? "delayClockedLayer" : "delayFreeLayer";
        ControlLayer* delay = plug->getLayer(name);
        if (delay) delay->Hide(false);
        if (ControlLayer* child = childAt(delay, q)) {
          child->showMultiLayers(e2 + 300);
          child->GrayOutCustomZone(p != q, e2 + 300);
        }
      }
      break;
    }
    default:
      break;
  }
}

void TabSwitchFunctions::quickTabSwitch(Sorvanta* plug, int paramIdx, int part, int, bool send) {
  if (!plug) return;
  const int p = truncToInt(plug->paramValue(paramIdx));
  ControlLayer* root = plug->rootLayer;
  const int mainTab = root ? root->getSelectedChildId() : 0;
  const bool partPage = mainTab > 0 && childAt(root, mainTab);
  if (partPage) plug->currentPart = p;
  plug->onWindowThread(Sorvanta::kShowPart, [plug, part, p] { showPart(plug, part, p); });
  if (mainTab <= 0) return;
  if (send)
    plug->sendPatchToDevice(part, true, false, false, true);
  else
    plug->sendOnPartSwitch = true;
}

void TabSwitchFunctions::showPart(Sorvanta* plug, int part, int p) {
  showBankAndProgramLayer(plug, part);
  ControlLayer* root = plug->rootLayer;
  const int mainTab = root ? root->getSelectedChildId() : 0;
  if (mainTab <= 0) return;
  ControlLayer* page = childAt(root, mainTab);
  if (!page) return;
  selectChild(page, part);
  if (mainTab == 1) {
    showProgress(plug, false);
    upperSelectionFromPart(plug, p);
    selectProgramSlot(plug, p);
  } else {
    tabPageContent(plug, mainTab, p);
  }
  plug->displayPatchName(plug->nameText(kPatchName + part));
  plug->displayCategoryName(plug->nameText(kCategoryName + part));
}

void TabSwitchFunctions::mainTabSwitch(Sorvanta* plug, int, int tab, int, int p) {
  if (plug) plug->onWindowThread(Sorvanta::kShowMainTab, [plug, tab, p] { showMainTab(plug, tab, p); });
}

void TabSwitchFunctions::showMainTab(Sorvanta* plug, int tab, int p) {
  ControlLayer* root = plug->rootLayer;
  selectChild(root, tab);
  hide(plug, "miniMixer", tab == 0);
  for (const char* name : kSwitchedLayers) hide(plug, name, true);
  for (int f = 1; f <= 2; ++f)
    for (const char* panel : kFilterPanels) hide(plug, ("filter" + std::to_string(f) + panel).c_str(), true);
  if (plug->randomizeButton) plug->randomizeButton->GrayOut(true);

  showBankAndProgramLayer(plug, p);
  plug->displayPatchName(plug->nameText(kPatchName + p));
  plug->displayCategoryName(plug->nameText(kCategoryName + p));

  if (tab <= 0) {
    hide(plug, plug->paramValue(kMultiSettings) == 1.0 ? "multiModeSettingsPage2" : "multiModeSettingsPage1", false);
    return;
  }
  if (plug->randomizeButton) plug->randomizeButton->GrayOut(false);
  selectChild(childAt(root, tab), p);
  if (tab == 1) {
    showProgress(plug, true);
    if (plug->randomizeButton) plug->randomizeButton->GrayOut(true);
    if (LibrarianViewControl* view = plug->libView()) view->setDragEnabled(true);
    hide(plug, "BANKEDITMENU", false);
    hide(plug, "keepBankOpenLayer", false);
    hide(plug, "saveChangesLayer", false);
    if (plug->paramValue(kBankEditUnsaved) == 1.0) {
      hide(plug, "discardChangesLayerRight", false);
      hide(plug, "keepBankOpenLayer", true);
    }
    upperSelectionFromPart(plug, p);
    if (plug->multiMode) {
      hide(plug, "LeftPerformancePopupMenu", false);
      hide(plug, "RightPerformancePopupMenu", false);
    } else {
      hide(plug, "categoryLimit", false);
      hide(plug, "UPPERPOPUPMENU", false);
      if (plug->categoryMode) {
        hide(plug, "RightPatchPopupMenu", false);
      } else if (plug->searchMode) {
        hide(plug, "categoryLimit", true);
        hide(plug, "searchField", false);
        hide(plug, "RightSearchPopupMenu", false);
      } else {
        hide(plug, "LOWERPOPUPMENU", false);
      }
    }
    if (!plug->ThreadRunning()) showProgress(plug, false);
  } else {
    tabPageContent(plug, tab, p);
  }
}
