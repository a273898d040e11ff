// Control layers (visibility, graying, dirty reporting, hit order, page switching) and the
// popup menu model.
#include <gtest/gtest.h>

#include "ControlLayer.h"
#include "GuiTestSupport.h"
#include "IControls.h"

namespace {

struct Tree {
  GuiTestPlug plug;
  std::vector<std::string> log;
  ControlLayer root{0, "root"};
  RecordingControl* add(ControlLayer* l, IRECT r, const char* name) {
    auto* c = new RecordingControl(&plug, r, name, &log);
    l->AddControl(c);
    return c;
  }
  ControlLayer* child(ControlLayer* parent, int id) {
    auto* l = new ControlLayer(id, "child" + std::to_string(id));
    parent->AddLayer(l);
    return l;
  }
};

}  // namespace

TEST(ControlLayer, ShowingShowsOnlyTheSelectedChild) {
  Tree t;
  ControlLayer* c31 = t.child(&t.root, 31);
  ControlLayer* c32 = t.child(&t.root, 32);
  RecordingControl* inside = t.add(c32, IRECT(0, 0, 5, 5), "x");
  inside->Hide(true);
  t.root.setSelectedChildId(32);
  t.root.Hide(false);
  EXPECT_TRUE(t.root.isVisible());
  EXPECT_TRUE(c32->isVisible());
  EXPECT_FALSE(c31->isVisible());
  EXPECT_FALSE(inside->IsHidden());

  t.root.setSelectedChildId(0);  // no child has id 0: none is shown
  t.root.Hide(true);
  t.root.Hide(false);
  EXPECT_FALSE(c31->isVisible());
  EXPECT_FALSE(c32->isVisible());
}

TEST(ControlLayer, HidingHidesEveryDescendant) {
  Tree t;
  ControlLayer* a = t.child(&t.root, 1);
  ControlLayer* b = t.child(a, 2);
  RecordingControl* deep = t.add(b, IRECT(0, 0, 5, 5), "deep");
  a->setSelectedChildId(2);
  t.root.setSelectedChildId(1);
  t.root.Hide(false);
  ASSERT_TRUE(b->isVisible());
  t.root.Hide(true);
  EXPECT_FALSE(a->isVisible());
  EXPECT_FALSE(b->isVisible());
  EXPECT_TRUE(deep->IsHidden());
}

TEST(ControlLayer, GrayOutRestoresOnlyTheSelectedChild) {
  Tree t;
  ControlLayer* c1 = t.child(&t.root, 11);
  ControlLayer* c2 = t.child(&t.root, 12);
  RecordingControl* a = t.add(c1, IRECT(0, 0, 5, 5), "a");
  RecordingControl* b = t.add(c2, IRECT(0, 0, 5, 5), "b");
  t.root.GrayOut(true);
  EXPECT_TRUE(a->IsGrayed());
  EXPECT_TRUE(b->IsGrayed());
  t.root.setSelectedChildId(12);
  t.root.GrayOut(false);
  EXPECT_TRUE(a->IsGrayed());
  EXPECT_FALSE(b->IsGrayed());
}

TEST(ControlLayer, GrayOutCustomZoneActsOnlyInsideTheZoneBand) {
  Tree t;
  RecordingControl* z152 = t.add(t.child(&t.root, 152), IRECT(0, 0, 5, 5), "z152");
  RecordingControl* z153 = t.add(t.child(&t.root, 153), IRECT(0, 0, 5, 5), "z153");
  RecordingControl* z5 = t.add(t.child(&t.root, 5), IRECT(0, 0, 5, 5), "z5");
  t.root.GrayOutCustomZone(true, 5);
  EXPECT_EQ(t.root.getSelectedChildId(), 5);
  EXPECT_FALSE(z5->IsGrayed());
  t.root.GrayOutCustomZone(true, 152);
  EXPECT_TRUE(z152->IsGrayed());
  t.root.GrayOutCustomZone(true, 153);
  EXPECT_FALSE(z153->IsGrayed());
}

TEST(ControlLayer, HiddenLayerReportsNothingUnlessIgnoreHiddenThenOnlyItsFirstControl) {
  Tree t;
  RecordingControl* first = t.add(&t.root, IRECT(0, 0, 100, 100), "backdrop");
  t.add(&t.root, IRECT(10, 10, 20, 20), "other");
  t.root.Hide(false);
  t.root.Hide(true);  // everything dirty, then hidden
  IRECT r;
  EXPECT_FALSE(t.root.isDirty(&r));
  t.root.setIgnoreHiddenWhenUpdatingScreen(true);
  EXPECT_TRUE(first->IgnoreHidden());
  EXPECT_TRUE(t.root.isDirty(&r));
  EXPECT_EQ(r, IRECT(0, 0, 100, 100));
  // Drawing a hidden layer cleans without drawing.
  IRECT all(0, 0, 200, 200);
  t.root.Draw(nullptr, &all);
  t.root.Draw(nullptr, &all);
  EXPECT_TRUE(t.log.empty());
  IRECT r2;
  EXPECT_FALSE(t.root.isDirty(&r2));
}

TEST(ControlLayer, HitFindsChildLayersFirstAndLaterControlsFirst) {
  Tree t;
  t.add(&t.root, IRECT(0, 0, 50, 50), "early");
  RecordingControl* late = t.add(&t.root, IRECT(0, 0, 50, 50), "late");
  ControlLayer* c = t.child(&t.root, 3);
  RecordingControl* inChild = t.add(c, IRECT(0, 0, 10, 10), "child");
  t.root.setSelectedChildId(3);
  EXPECT_EQ(t.root.isHit(5, 5), nullptr);  // hidden layer
  t.root.Hide(false);
  EXPECT_EQ(t.root.isHit(5, 5), inChild);
  EXPECT_EQ(t.root.isHit(20, 20), late);
  EXPECT_EQ(t.root.getControlFromParam(-1), inChild);
}

TEST(ControlLayer, ShowMultiLayersKeepsGroupsOfTenApart) {
  Tree t;
  std::map<int, ControlLayer*> kids;
  for (int id : {5, 10, 11, 20, 21, 75, 120, 300, 301}) kids[id] = t.child(&t.root, id);
  for (auto& k : kids) k.second->Hide(false);
  t.root.showMultiLayers(11);
  EXPECT_TRUE(kids[11]->isVisible());
  EXPECT_FALSE(kids[10]->isVisible());
  EXPECT_FALSE(kids[75]->isVisible());  // 70..119 belong to the first group's band
  EXPECT_TRUE(kids[20]->isVisible());   // 20..69 are left alone
  EXPECT_FALSE(kids[5]->isVisible());
  t.root.showMultiLayers(21);
  EXPECT_TRUE(kids[21]->isVisible());
  EXPECT_FALSE(kids[20]->isVisible());
  EXPECT_TRUE(kids[11]->isVisible());
  t.root.showMultiLayers(130);  // 120..298 show everything they consider
  EXPECT_TRUE(kids[120]->isVisible());
  EXPECT_TRUE(kids[5]->isVisible());
  t.root.showMultiLayers(301);
  EXPECT_TRUE(kids[301]->isVisible());
  EXPECT_FALSE(kids[300]->isVisible());
  EXPECT_FALSE(kids[5]->isVisible());
  EXPECT_TRUE(kids[120]->isVisible());
  t.root.showMultiLayers(119);  // never takes part: only stored
  EXPECT_EQ(t.root.getSelectedChildId(), 119);
  EXPECT_TRUE(kids[301]->isVisible());
}

TEST(IPopupMenu, InsertionIndicesAreClamped) {
  IPopupMenu m;
  m.AddItem("a");
  m.AddItem("b");
  m.AddItem("c");
  m.AddItem("first", 0);
  m.AddItem("last", 7);
  m.AddItem("end", -1);
  m.AddItem("front", -5);
  std::vector<std::string> got;
  for (int i = 0; i < m.GetNItems(); ++i) got.push_back(m.GetItemText(i));
  EXPECT_EQ(got, (std::vector<std::string>{"front", "first", "a", "b", "c", "last", "end"}));
  EXPECT_EQ(m.GetItem(7), nullptr);
  EXPECT_EQ(m.GetItem(-1), nullptr);
  EXPECT_STREQ(m.GetItemText(99), "");
}

TEST(IPopupMenu, SeparatorsChecksAndPrefixes) {
  IPopupMenu m;
  for (const char* s : {"one", "two", "three", "four", "five"}) m.AddItem(s);
  IPopupMenuItem* sep = m.AddSeparator(2);
  EXPECT_STREQ(sep->GetText(), "");
  EXPECT_EQ(sep->GetFlags(), IPopupMenuItem::kSeparator);
  m.CheckItemAlone(4);
  for (int i = 0; i < m.GetNItems(); ++i) EXPECT_EQ(m.IsItemChecked(i), i == 4) << i;
  m.CheckItemAlone(42);
  for (int i = 0; i < m.GetNItems(); ++i) EXPECT_FALSE(m.IsItemChecked(i));
  EXPECT_FALSE(m.CheckItem(42, true));
  EXPECT_TRUE(m.SetPrefix(2));
  EXPECT_FALSE(m.SetPrefix(4));
  UTIL_String shown;
  m.GetDisplayText(3, &shown);
  EXPECT_STREQ(shown.Get(), "04: three");
  m.SetPrefix(3);
  m.GetDisplayText(0, &shown);
  EXPECT_STREQ(shown.Get(), "001: one");
  EXPECT_EQ(m.GetChosenItemIdx(), -1);
}

TEST(IPopupMenu, DeletesItemsButNotSubmenus) {
  IPopupMenu sub;
  sub.AddItem("inner");
  {
    IPopupMenu m;
    IPopupMenuItem* item = m.AddItem("more", &sub);
    EXPECT_EQ(item->GetSubmenu(), &sub);
  }
  EXPECT_EQ(sub.GetNItems(), 1);  // still alive after its parent went
}
