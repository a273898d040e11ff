// Shared pieces of the GUI framework tests: a plug-in that records which hooks run, a headless
// graphics object whose images come from a generator instead of files, and a control that
// records its draw calls.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "GFX_Bitmap.h"
#include "IControl.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "IPopupMenu.h"

class GuiTestPlug : public IPluginBase {
public:
  explicit GuiTestPlug(int nParams = 16)
      : IPluginBase(nParams, "2-2", 0, "Test", "Test", "Test", 0x10006, 0, 0, 128, true, true, true,
                    kAPIAU) {
    initialize(0, nParams, "2-2", 0, "Test", "Test", "Test", 0x10006, 0, 0, 128, true, true, true);
  }
  void OnParamChange(int paramIdx) override { changes.push_back(paramIdx); }
  void OnParamChange2(int paramIdx) override { changes2.push_back(paramIdx); }
  void BeginInformHostOfParamChange(int paramIdx) override { begins.push_back(paramIdx); }
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int paramIdx) override { ends.push_back(paramIdx); }
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* n, int* d) override { *n = 4, *d = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiVST(IMidiMsg*) override { return false; }
  bool SendMidiMsg(IMidiMsg*) override { return false; }
  void SetParamTextFromGUI(int paramIdx, const char* text) override {
    textsFromGUI.push_back(paramIdx);
    IPluginBase::SetParamTextFromGUI(paramIdx, text);
  }

  std::vector<int> changes, changes2, begins, ends, textsFromGUI;
};

// Headless canvas: images come from `images` (id -> maker), popup menus answer with `menuChoice`
// (-1: closed without a choice), text entries are recorded.
class HeadlessGraphics : public IGraphics {
public:
  HeadlessGraphics(IPluginBase* plug, int w, int h) : IGraphics(plug, w, h, 0) {}

  GFX_IBitmap* OSLoadBitmap(int ID, const char*) override {
    ++loads;
    auto it = images.find(ID);
    return it == images.end() ? nullptr : it->second();
  }
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) override {
    shownMenus.push_back(menu);
    menuRect = *rect;
    std::vector<std::string> texts;
    for (int i = 0; i < menu->GetNItems(); ++i) texts.push_back(menu->GetItemText(i));
    menuTexts = texts;
    checked.clear();
    for (int i = 0; i < menu->GetNItems(); ++i) checked.push_back(menu->IsItemChecked(i));
    if (menuChoice < 0) return nullptr;
    menu->SetChosenItemIdx(menuChoice);
    return menu;
  }
  void CreateTextEntry(IControl* control, IText*, IRECT* rect, const char* str, IParam* param) override {
    entryControl = control;
    entryRect = *rect;
    entryText = str ? str : "";
    entryParam = param;
  }
  bool DrawScreen(IRECT* rect) override {
    screenRects.push_back(*rect);
    return true;
  }

  std::map<int, std::function<GFX_IBitmap*()>> images;
  int loads = 0;
  int menuChoice = -1;
  std::vector<IPopupMenu*> shownMenus;
  std::vector<std::string> menuTexts;
  std::vector<bool> checked;
  IRECT menuRect, entryRect;
  IControl* entryControl = nullptr;
  IParam* entryParam = nullptr;
  std::string entryText;
  std::vector<IRECT> screenRects;
};

// Records Draw and mouse calls into a shared log as "<name>:<event>".
class RecordingControl : public IControl {
public:
  RecordingControl(IPluginBase* plug, IRECT r, std::string name, std::vector<std::string>* log, int paramIdx = -1)
      : IControl(plug, r, paramIdx), mName(std::move(name)), mLog(log) {}
  bool Draw(IGraphics*) override {
    mLog->push_back(mName + ":draw");
    return true;
  }
  void OnMouseDown(int, int, IMouseMod*) override { mLog->push_back(mName + ":down"); }
  void OnMouseUp(int, int, IMouseMod*) override { mLog->push_back(mName + ":up"); }
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod*) override {
    mLog->push_back(mName + ":drag " + std::to_string(x) + "," + std::to_string(y) + " d" + std::to_string(dX) + "," +
                    std::to_string(dY));
  }
  void OnMouseDblClick(int, int, IMouseMod*) override { mLog->push_back(mName + ":dbl"); }
  void OnMouseWheel(int, int, IMouseMod*, int d) override { mLog->push_back(mName + ":wheel " + std::to_string(d)); }
  bool OnKeyDown(int, int, int key) override {
    mLog->push_back(mName + ":key " + std::to_string(key));
    return true;
  }
  void markClean() {
    SetClean();
    SetClean();
  }

private:
  std::string mName;
  std::vector<std::string>* mLog;
};

// The knob base draws nothing itself.
class TestKnob : public IKnobControl {
public:
  using IKnobControl::IKnobControl;
  bool Draw(IGraphics*) override { return true; }
};

// A w x h bitmap of one colour (the library's pixel order: alpha in the low byte).
inline GFX_MemBitmap* solidBitmap(int w, int h, unsigned int color) {
  GFX_MemBitmap* bm = new GFX_MemBitmap(w, h, 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bm->getBits()[y * bm->getRowSpan() + x] = color;
  return bm;
}

// A strip of n frames, frame k (0-based) filled with colour opaque | (k + 1) << 8 (red = k + 1).
inline GFX_MemBitmap* stripBitmap(int frameW, int frameH, int n, bool horizontal) {
  const int w = horizontal ? frameW * n : frameW, h = horizontal ? frameH : frameH * n;
  GFX_MemBitmap* bm = new GFX_MemBitmap(w, h, 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int k = horizontal ? x / frameW : y / frameH;
      bm->getBits()[y * bm->getRowSpan() + x] = 0xffu | static_cast<unsigned>(k + 1) << 8;
    }
  return bm;
}

inline unsigned int pixelAt(IGraphics* g, int x, int y) {
  GFX_IBitmap* bm = g->GetDrawBitmap();
  return bm->getBits()[y * bm->getRowSpan() + x];
}
