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

class ControlLayer;
class IControl;
class IGraphics;
struct IRECT;
struct IRECTList;

// The two walks that the graphics object's own control list and every layer share:
// grow r by the dirty areas (DirtyRECT) of the dirty controls from index `first` on (hidden ones
// only with their ignore-hidden flag) and say whether there were any; and push a parameter's normalised
// value to the controls bound to it (and to those showing it as an auxiliary parameter).
bool GUI_UnionDirtyControls(const UTIL_PtrList<IControl>& controls, int first, IRECT* r);
// The same walk, each dirty rectangle added to a list.
bool GUI_CollectDirtyControls(const UTIL_PtrList<IControl>& controls, int first, IRECTList* list);
void GUI_PushParamToControls(const UTIL_PtrList<IControl>& controls, int paramIdx, double value);
// The push to one control: its value when bound to the parameter, then its auxiliary entry.
void GUI_PushParamToControl(IControl* control, int paramIdx, double value);

// Points a control, or a layer with everything below it, at a graphics object's layout stamp
// (null: out of any tree).
void GUI_SetLayoutStamp(IControl* control, GUI_LayoutStamp* stamp);
void GUI_SetLayoutStamp(ControlLayer* layer, GUI_LayoutStamp* stamp);

// The child lists of the graphics object and of every layer. Every change made through them
// bumps the owner's layout stamp (read through stampRef, which is null until the owner is
// attached to a graphics object) and points what was added at the same stamp, so the
// parameter index never outlives the tree it was built from. Change these lists only through
// this type: a change made through a UTIL_PtrList reference is invisible to the index.
// Ownership as UTIL_PtrList: elements are deleted only when asked.
template <class T>
class GUI_ChildList : public UTIL_PtrList<T> {
  using Base = UTIL_PtrList<T>;

public:
  // granularity: the storage step of the list (see UTIL_HeapBuf).
  explicit GUI_ChildList(GUI_LayoutStamp* const* stampRef, int granularity = 4096)
      : Base(granularity), mStampRef(stampRef) {}

  T* Add(T* item) { return adopted(Base::Add(item)); }
  T* Insert(int idx, T* item) { return adopted(Base::Insert(idx, item)); }
  void Delete(int idx, bool wantDelete = false, void (*deleteFunc)(void*) = nullptr) {
    T* item = Base::Get(idx);
    if (!item) return;
    if (!wantDelete) GUI_SetLayoutStamp(item, nullptr);  // it may outlive this tree
    Base::Delete(idx, wantDelete, deleteFunc);
    GUI_BumpLayoutStamp(*mStampRef);
  }
  void Empty(bool wantDelete = false, void (*deleteFunc)(void*) = nullptr) {
    if (Base::GetSize() == 0) return;
    if (!wantDelete)
      for (int i = 0, n = Base::GetSize(); i < n; ++i) GUI_SetLayoutStamp(Base::Get(i), nullptr);
    Base::Empty(wantDelete, deleteFunc);
    GUI_BumpLayoutStamp(*mStampRef);
  }

private:
  T* adopted(T* item) {
    if (!item) return nullptr;  // out of memory: nothing changed
    GUI_SetLayoutStamp(item, *mStampRef);
    GUI_BumpLayoutStamp(*mStampRef);
    return item;
  }
  GUI_LayoutStamp* const* mStampRef;
};

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
  bool isDirty(IRECTList* list);
  // Draws what of this layer and its children lies in rect; with `clean`, every control walked
  // is marked clean afterwards. A hidden layer's controls are neither drawn nor walked (showing
  // the layer marks them all dirty again); an ignore-hidden layer is walked to clean its
  // backdrop's last mark.
  void Draw(IGraphics* graphics, IRECT* rect, bool clean = true);
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
  // The owning graphics object's stamp, set when this layer enters an attached tree.
  GUI_LayoutStamp* layoutStamp = nullptr;
  // A layer holds a few controls and children, the editor nine hundred layers: a page-sized
  // first step would cost every one 8 KB.
  static constexpr int kChildListStep = 16 * static_cast<int>(sizeof(void*));
  GUI_ChildList<IControl> controls{&layoutStamp, kChildListStep};
  GUI_ChildList<ControlLayer> layers{&layoutStamp, kChildListStep};
  std::string name;
  int selectedChildId = 0;
  bool ignoreHidden = false;
};
