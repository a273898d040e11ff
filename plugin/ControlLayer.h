// A named, numbered group of controls and child layers inside the graphics object: a tab page,
// a panel shown for one mode, a zone grayed out while a function is off, the progress overlay.
// Shown, hidden and grayed as one; showing a layer shows only the child whose id is the
// selected child id.
//
// Ownership: a layer owns the controls and child layers added to it and deletes them (controls
// last to first, then children last to first). A control belongs to exactly one owner.
//
// Threads: driven from the GUI thread; SetParameterFromPlug and setControlsDirty also run on
// whichever thread pushes values (MIDI input, workers), and the editor shows and hides its
// progress layer from a worker. No lock: flags are relaxed atomics.
#pragma once

#include <string>

#include "IControl.h"
#include "UTIL_PtrList.h"

class IControl;
class IGraphics;
struct IRECT;

// The two walks that the graphics object's own control list and every layer share:
// grow r by the rectangles of the dirty controls from index `first` on (hidden ones only with
// their ignore-hidden flag) and say whether there were any; and push a parameter's normalised
// value to the controls bound to it (and to those showing it as an auxiliary parameter).
bool GUI_UnionDirtyControls(const UTIL_PtrList<IControl>& controls, int first, IRECT* r);
void GUI_PushParamToControls(const UTIL_PtrList<IControl>& controls, int paramIdx, double value);

class ControlLayer {
public:
  ControlLayer(int id, std::string name);
  ~ControlLayer();
  ControlLayer(const ControlLayer&) = delete;
  ControlLayer& operator=(const ControlLayer&) = delete;

  // Ids in this band are the zones GrayOutCustomZone acts on.
  static constexpr int kCustomZoneFirst = 10;
  static constexpr int kCustomZoneLast = 152;
  static constexpr int kUserArpFirst = 120;

  void Hide(bool hide);
  void GrayOut(bool gray);
  void GrayOutCustomZone(bool gray, int id);
  void GrayOutUserArp(bool gray, int id, int threshold);
  void setControlsDirty();
  void setIgnoreHiddenWhenUpdatingScreen(bool flag);
  void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  bool isDirty(IRECT* rect);
  void Draw(IGraphics* graphics, IRECT* rect);
  IControl* isHit(int x, int y);
  IControl* getControlFromParam(int paramIdx);
  // Editor-core page switch: selects id, shows that child and hides the other children of the
  // id band (the hundreds) that id belongs to.
  void showMultiLayers(int id);

  // Appending takes ownership.
  IControl* AddControl(IControl* control) { return controls.Add(control); }
  ControlLayer* AddLayer(ControlLayer* layer) { return layers.Add(layer); }

  int getId() const { return id; }
  const std::string& getName() const { return name; }
  bool isVisible() const { return visible; }
  int getSelectedChildId() const { return selectedChildId; }
  void setSelectedChildId(int childId) { selectedChildId = childId; }
  bool getIgnoreHidden() const { return ignoreHidden; }

  int id;
  GuiShared<bool> visible = false;  // shown and hidden from worker threads too
  UTIL_PtrList<IControl> controls;
  UTIL_PtrList<ControlLayer> layers;
  std::string name;
  int selectedChildId = 0;
  bool ignoreHidden = false;
};
