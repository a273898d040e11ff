// Graphics object: rectangles, dirty tracking, repaint and hit order, input routing, value
// pushes and the value prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ControlLayer.h"
#include "GuiTestSupport.h"
#include "IControls.h"

namespace {

struct Canvas {
  GuiTestPlug plug;
  HeadlessGraphics* g;  // owned by the plug-in base after attach
  std::vector<std::string> log;
  Canvas(int w = 200, int h = 100) : g(new HeadlessGraphics(&plug, w, h)) {}
  void attach() { plug.AttachGraphics(g); }
  RecordingControl* add(IRECT r, const char* name, int paramIdx = -1) {
    auto* c = new RecordingControl(&plug, r, name, &log, paramIdx);
    g->AttachControl(c);
    return c;
  }
  RecordingControl* addTo(ControlLayer* layer, IRECT r, const char* name, int paramIdx = -1) {
    auto* c = new RecordingControl(&plug, r, name, &log, paramIdx);
    layer->AddControl(c);
    return c;
  }
};

void cleanAll(IGraphics* g) {
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
  g->Draw(&all);  // a control that requested a redraw stays dirty for one more frame
}

}  // namespace

TEST(IRECT, IntersectsCountsTouchingRightAndBottomEdgesOnly) {
  IRECT a(0, 0, 10, 10);
  EXPECT_TRUE(a.Intersects(IRECT(10, 0, 20, 10)));   // a's right edge touches b's left
  EXPECT_TRUE(a.Intersects(IRECT(0, 10, 10, 20)));   // a's bottom edge touches b's top
  EXPECT_FALSE(IRECT(10, 0, 20, 10).Intersects(a));  // the other way round it does not
  EXPECT_FALSE(IRECT(0, 10, 10, 20).Intersects(a));
  EXPECT_FALSE(a.Intersects(IRECT()));
  EXPECT_FALSE(IRECT().Intersects(a));
  // L == R but not all zero is not empty and still intersects.
  EXPECT_TRUE(IRECT(5, 5, 5, 5).Intersects(a));
}

TEST(IRECT, IntersectionAndUnionFollowTheEmptyRules) {
  EXPECT_EQ(IRECT(0, 0, 10, 10).Intersect(IRECT(5, 2, 20, 8)), IRECT(5, 2, 10, 8));
  EXPECT_EQ(IRECT(0, 0, 10, 10).Intersect(IRECT(10, 0, 20, 10)), IRECT(10, 0, 10, 10));
  EXPECT_TRUE(IRECT(0, 0, 10, 10).Intersect(IRECT(11, 0, 20, 10)).Empty());
  EXPECT_EQ(IRECT().Union(IRECT(1, 2, 3, 4)), IRECT(1, 2, 3, 4));
  EXPECT_EQ(IRECT(1, 2, 3, 4).Union(IRECT()), IRECT(1, 2, 3, 4));
  EXPECT_EQ(IRECT(1, 2, 3, 4).Union(IRECT(0, 5, 2, 9)), IRECT(0, 2, 3, 9));
}

TEST(IRECT, ContainsExcludesRightAndBottomEdgesAndTheZeroRectangle) {
  IRECT r(10, 10, 20, 20);
  EXPECT_TRUE(r.Contains(10, 10));
  EXPECT_TRUE(r.Contains(19, 19));
  EXPECT_FALSE(r.Contains(20, 15));
  EXPECT_FALSE(r.Contains(15, 20));
  EXPECT_FALSE(IRECT().Contains(0, 0));
}

TEST(IColor, PacksAlphaIntoTheLowByte) {
  EXPECT_EQ(IColor(0x11, 0x22, 0x33, 0x44).Packed(), 0x44332211u);
  EXPECT_EQ(IColor::FromPacked(0x44332211u), IColor(0x11, 0x22, 0x33, 0x44));
}

TEST(GraphicsDirty, UnionOfDirtyControlsIgnoresTheBackground) {
  Canvas c;
  c.add(IRECT(0, 0, 200, 100), "bg");
  c.add(IRECT(10, 10, 20, 20), "a");
  RecordingControl* b = c.add(IRECT(50, 40, 60, 90), "b");
  c.attach();
  cleanAll(c.g);
  IRECT r;
  EXPECT_FALSE(c.g->IsDirty(&r));
  EXPECT_TRUE(r.Empty());

  c.g->GetControl(0)->SetDirty(false);  // a dirty background alone does not count
  EXPECT_FALSE(c.g->IsDirty(&r));

  c.g->GetControl(1)->SetDirty(false);
  b->SetDirty(false);
  EXPECT_TRUE(c.g->IsDirty(&r));
  EXPECT_EQ(r, IRECT(10, 10, 60, 90));
}

TEST(GraphicsDirty, HiddenControlCountsOnlyWithIgnoreHidden) {
  Canvas c;
  c.add(IRECT(0, 0, 200, 100), "bg");
  RecordingControl* a = c.add(IRECT(10, 10, 20, 20), "a");
  c.attach();
  cleanAll(c.g);
  a->Hide(true);
  IRECT r;
  EXPECT_FALSE(c.g->IsDirty(&r));
  a->SetIgnoreHidden(true);
  EXPECT_TRUE(c.g->IsDirty(&r));
  EXPECT_EQ(r, IRECT(10, 10, 20, 20));
}

TEST(GraphicsDraw, StrictDrawPaintsBackgroundThenIntersectingControlsThenLayersInOrder) {
  Canvas c;
  c.add(IRECT(0, 0, 200, 100), "bg");
  c.add(IRECT(10, 10, 20, 20), "in");
  RecordingControl* hidden = c.add(IRECT(10, 10, 20, 20), "hidden");
  RecordingControl* outside = c.add(IRECT(150, 50, 160, 60), "outside");
  auto* l1 = new ControlLayer(1, "one");
  auto* l2 = new ControlLayer(2, "two");
  c.addTo(l1, IRECT(12, 12, 18, 18), "l1");
  c.addTo(l2, IRECT(12, 12, 18, 18), "l2");
  c.g->AttachLayer(l1);
  c.g->AttachLayer(l2);
  l1->Hide(false);
  l2->Hide(false);
  c.attach();
  hidden->Hide(true);
  c.log.clear();
  IRECT r(0, 0, 30, 30);
  EXPECT_TRUE(c.g->Draw(&r));
  EXPECT_EQ(c.log, (std::vector<std::string>{"bg:draw", "in:draw", "l1:draw", "l2:draw"}));
  EXPECT_EQ(*c.g->GetDrawRect(), r);
  // Undrawn controls are cleaned all the same.
  EXPECT_FALSE(outside->IsDirty());
  ASSERT_EQ(c.g->screenRects.size(), 1u);
  EXPECT_EQ(c.g->screenRects[0], r);
}

TEST(GraphicsDraw, LayersWithoutAnyControlDrawSafely) {
  Canvas c;
  auto* l = new ControlLayer(1, "only");
  c.addTo(l, IRECT(1, 1, 5, 5), "x");
  c.g->AttachLayer(l);
  l->Hide(false);
  c.attach();
  IRECT r(0, 0, 10, 10);
  EXPECT_TRUE(c.g->Draw(&r));
  EXPECT_EQ(c.log, std::vector<std::string>{"x:draw"});
}

TEST(GraphicsDraw, NothingAttachedReportsSuccessWithoutCopying) {
  Canvas c;
  c.attach();
  IRECT r(0, 0, 10, 10);
  EXPECT_TRUE(c.g->Draw(&r));
  EXPECT_TRUE(c.g->screenRects.empty());
}

TEST(GraphicsInput, HitOrderIsLayersLastToFirstThenControlsLastToFirst) {
  Canvas c;
  c.add(IRECT(0, 0, 200, 100), "bg");
  RecordingControl* grayed = c.add(IRECT(0, 0, 50, 50), "grayedTop");
  c.add(IRECT(0, 0, 50, 50), "ctl");  // attached after: wins over earlier controls
  auto* l1 = new ControlLayer(1, "one");
  auto* l2 = new ControlLayer(2, "two");
  RecordingControl* inL1 = c.addTo(l1, IRECT(0, 0, 20, 20), "l1");
  c.addTo(l2, IRECT(100, 0, 120, 20), "l2");
  c.g->AttachLayer(l1);
  c.g->AttachLayer(l2);
  l1->Hide(false);
  l2->Hide(false);
  c.attach();
  grayed->GrayOut(true);

  EXPECT_EQ(c.g->GetMouseControlIdx(5, 5), inL1);
  inL1->GrayOut(true);  // grayed controls inside a visible layer are still found
  EXPECT_EQ(c.g->GetMouseControlIdx(5, 5), inL1);
  l1->Hide(true);
  EXPECT_EQ(c.g->GetMouseControlIdx(5, 5), c.g->GetControl(2));
  c.g->GetControl(2)->Hide(true);
  // The grayed control of the list is skipped; the background catches the point.
  EXPECT_EQ(c.g->GetMouseControlIdx(5, 5), c.g->GetControl(0));
}

TEST(GraphicsInput, PressDragReleaseBracketsOneGestureOnTheCapturedControl) {
  Canvas c;
  c.add(IRECT(0, 0, 200, 100), "bg");
  c.add(IRECT(10, 10, 30, 30), "knob", 3);
  c.attach();
  IMouseMod mod(true);
  c.g->OnMouseDown(15, 15, &mod);
  c.g->OnMouseDrag(15, 15, &mod);  // no movement: nothing sent
  c.g->OnMouseDrag(15, 5, &mod);
  c.g->OnMouseDrag(150, 90, &mod);  // drags stay with the capture, wherever the pointer goes
  c.g->OnMouseUp(150, 90, &mod);
  EXPECT_EQ(c.log, (std::vector<std::string>{"knob:down", "knob:drag 15,5 d0,-10", "knob:drag 150,90 d135,85",
                                             "knob:up"}));
  EXPECT_EQ(c.plug.begins, std::vector<int>{3});
  EXPECT_EQ(c.plug.ends, std::vector<int>{3});
  EXPECT_EQ(c.g->GetCaptureControl(), nullptr);
  EXPECT_EQ(c.g->GetMouseX(), -1);
}

TEST(GraphicsInput, ReleaseWithoutCaptureOverNothingOnlyResetsThePosition) {
  Canvas c;
  c.attach();
  IMouseMod mod(true);
  c.g->OnMouseUp(5, 5, &mod);
  EXPECT_EQ(c.g->GetMouseX(), -1);
  EXPECT_EQ(c.g->GetMouseY(), -1);
  EXPECT_FALSE(c.g->OnKeyDown(5, 5, 3));
}

TEST(GraphicsInput, DoubleClickAsSingleCapturesWithoutBeginNotification) {
  Canvas c;
  RecordingControl* a = c.add(IRECT(0, 0, 50, 50), "a", 2);
  c.attach();
  IMouseMod mod(true);
  a->SetDblAsSingleClick(true);
  EXPECT_TRUE(c.g->OnMouseDblClick(5, 5, &mod));
  EXPECT_EQ(c.g->GetCaptureControl(), a);
  EXPECT_TRUE(c.plug.begins.empty());
  c.g->OnMouseUp(5, 5, &mod);
  EXPECT_EQ(c.plug.ends, std::vector<int>{2});
  a->SetDblAsSingleClick(false);
  EXPECT_FALSE(c.g->OnMouseDblClick(5, 5, &mod));
  EXPECT_EQ(c.log, (std::vector<std::string>{"a:down", "a:up", "a:dbl"}));
}

// Keys go to the control under the pointer; what it leaves (or where there is none) goes to the
// key catcher, which the graphics object owns.
TEST(GraphicsInput, WheelAndKeysGoToTheControlUnderThePointer) {
  Canvas c(300, 100);
  c.add(IRECT(0, 0, 200, 100), "bg");
  c.add(IRECT(10, 10, 20, 20), "a");
  const IColor grey(255, 128, 128, 128);
  c.g->AttachControl(new IPanelControl(&c.plug, IRECT(30, 30, 40, 40), &grey));  // takes no keys
  c.attach();
  IMouseMod mod(true);
  c.g->OnMouseWheel(12, 12, &mod, -2);
  EXPECT_TRUE(c.g->OnKeyDown(12, 12, 7));
  EXPECT_TRUE(c.g->OnKeyDown(100, 50, 1));
  EXPECT_FALSE(c.g->OnKeyDown(250, 50, 2));  // no control there, no catcher yet
  c.g->AttachKeyCatcher(new RecordingControl(&c.plug, IRECT(), "catcher", &c.log));
  EXPECT_TRUE(c.g->OnKeyDown(100, 50, 3) && c.g->OnKeyDown(250, 50, 4) && c.g->OnKeyDown(35, 35, 5));
  EXPECT_EQ(c.log, (std::vector<std::string>{"a:wheel -2", "a:key 7", "bg:key 1", "bg:key 3", "catcher:key 4", "catcher:key 5"}));
}

TEST(GraphicsValues, SetParameterFromPlugReachesListAndLayerControlsWithoutHandlers) {
  Canvas c;
  TestKnob* top = new TestKnob(&c.plug, IRECT(0, 0, 10, 10), 4);
  c.g->AttachControl(top);
  auto* layer = new ControlLayer(1, "l");
  auto* child = new ControlLayer(2, "hidden child");
  TestKnob* deep = new TestKnob(&c.plug, IRECT(0, 0, 10, 10), 4);
  child->AddControl(deep);
  layer->AddLayer(child);
  c.g->AttachLayer(layer);
  c.plug.GetParam(4)->InitInt("p", 0, 0, 10);
  c.attach();
  c.g->SetParameterFromPlug(4, 5.0, false);
  EXPECT_DOUBLE_EQ(c.plug.GetParam(4)->Value(), 5.0);
  EXPECT_DOUBLE_EQ(top->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(deep->GetValue(), 0.5);  // hidden layers are included
  c.g->SetParameterFromPlug(4, 0.2, true);  // normalized: the parameter is not touched
  EXPECT_DOUBLE_EQ(c.plug.GetParam(4)->Value(), 5.0);
  EXPECT_DOUBLE_EQ(top->GetValue(), 0.2);
  EXPECT_TRUE(c.plug.changes.empty());
  EXPECT_TRUE(c.plug.changes2.empty());
}

TEST(GraphicsPrompt, EnumMenuChecksTheCurrentTextAndAppliesTheChoice) {
  Canvas c;
  IParam* p = c.plug.GetParam(1);
  p->InitEnum("mode", 1, 3);
  p->SetDisplayText(0, "saw");
  p->SetDisplayText(1, "square");
  p->SetDisplayText(2, "noise");
  auto* caption = new ICaptionControl(&c.plug, IRECT(10, 10, 60, 20), 1, nullptr, true);
  caption->SetPromptDisabled(false);
  c.g->AttachControl(caption);
  c.attach();
  c.g->menuChoice = 2;
  IMouseMod mod(true);
  c.g->OnMouseDown(20, 15, &mod);
  EXPECT_EQ(c.g->menuTexts, (std::vector<std::string>{"saw", "square", "noise"}));
  EXPECT_EQ(c.g->checked, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(c.g->menuRect, IRECT(10, 10, 60, 20));
  EXPECT_DOUBLE_EQ(p->Value(), 2.0);
  EXPECT_EQ(c.plug.changes, std::vector<int>{1});

  c.g->menuChoice = -1;  // closed without a choice: nothing changes
  c.g->OnMouseDown(20, 15, &mod);
  EXPECT_DOUBLE_EQ(p->Value(), 2.0);
  EXPECT_EQ(c.plug.changes.size(), 1u);
}

TEST(GraphicsPrompt, ParameterWithoutTextsOpensACentredTextField) {
  Canvas c;
  c.plug.GetParam(2)->InitInt("n", 3, 0, 127);
  auto* knob = new TestKnob(&c.plug, IRECT(10, 20, 51, 61), 2);
  knob->SetPromptDisabled(false);
  c.g->AttachControl(knob);
  c.attach();
  IMouseMod rightClick(false, true);
  c.g->OnMouseDown(15, 25, &rightClick);
  EXPECT_EQ(c.g->entryControl, knob);
  EXPECT_EQ(c.g->entryRect, IRECT(15, 32, 45, 48));  // centre (30, 40), 30 x 16
  EXPECT_EQ(c.g->entryText, "3");
  c.g->SetFromStringAfterPrompt(knob, c.plug.GetParam(2), "64");
  EXPECT_DOUBLE_EQ(c.plug.GetParam(2)->Value(), 64.0);

  knob->SetPromptDisabled(true);  // prompting disabled: nothing opens
  c.g->entryControl = nullptr;
  c.g->OnMouseDown(15, 25, &rightClick);
  EXPECT_EQ(c.g->entryControl, nullptr);
}

TEST(GraphicsPrompt, TextParameterRunsTheHandlerTwiceFromZeroOnceOtherwise) {
  Canvas c;
  IParam* p = c.plug.GetParam(5);
  p->InitEnum("name", 0, 1);
  p->InitText();
  auto* t = new ICaptionControl(&c.plug, IRECT(0, 0, 10, 10), 5, nullptr, true);
  c.g->AttachControl(t);
  c.attach();
  c.g->SetFromStringAfterPrompt(t, p, "HELLO");
  EXPECT_EQ(c.plug.changes, (std::vector<int>{5, 5}));
  // Stored through the plug-in's hook, which may guard the text against its other threads.
  EXPECT_EQ(c.plug.textsFromGUI, std::vector<int>{5});
  EXPECT_STREQ(p->GetDisplayText(0), "HELLO");
  EXPECT_DOUBLE_EQ(t->GetValue(), 0.0);
  c.plug.changes.clear();
  t->SetValue(0.7);
  c.g->SetFromStringAfterPrompt(t, p, "WORLD");
  EXPECT_EQ(c.plug.changes, std::vector<int>{5});
  EXPECT_DOUBLE_EQ(t->GetValue(), 0.0);
}

TEST(GraphicsLifecycle, ResizeDropsListControlsButKeepsLayers) {
  Canvas c;
  c.add(IRECT(0, 0, 10, 10), "a");
  c.g->AttachLayer(new ControlLayer(1, "l"));
  c.attach();
  c.g->Resize(300, 150);
  EXPECT_EQ(c.g->NControls(), 0);
  EXPECT_EQ(c.g->NLayers(), 1);
  EXPECT_EQ(c.g->GetDrawBitmap()->getWidth(), 300);
  EXPECT_EQ(c.g->GetDrawBitmap()->getHeight(), 150);
}

TEST(GraphicsDirty, DirtyAreasStayApartAndEachIsRepaintedInTurn) {
  struct Case {
    std::vector<IRECT> added;
    std::vector<IRECT> kept;
  };
  std::vector<Case> cases = {
      {{IRECT(0, 0, 10, 10), IRECT(50, 0, 60, 10)}, {IRECT(0, 0, 10, 10), IRECT(50, 0, 60, 10)}},
      {{IRECT(0, 0, 10, 10), IRECT(10, 0, 20, 10)}, {IRECT(0, 0, 20, 10)}},  // touching edges merge
      {{IRECT(0, 0, 10, 10), IRECT(40, 0, 50, 10), IRECT(5, 5, 45, 8)}, {IRECT(0, 0, 50, 10)}},  // a bridge
      {{IRECT(), IRECT(3, 3, 4, 4)}, {IRECT(3, 3, 4, 4)}},
  };
  Case full;  // one more than the list keeps: the newcomer joins the neighbour it grows least
  for (int i = 0; i < IRECTList::kMax; ++i) full.added.push_back(IRECT(i * 100, 0, i * 100 + 10, 10));
  full.kept = full.added;
  full.added.push_back(IRECT(712, 0, 720, 10));
  full.kept[7] = IRECT(700, 0, 720, 10);
  cases.push_back(full);
  for (const Case& k : cases) {
    IRECTList list;
    for (const IRECT& r : k.added) list.Add(r);
    std::vector<IRECT> kept(list.rects, list.rects + list.n);
    std::sort(kept.begin(), kept.end(), [](const IRECT& a, const IRECT& b) { return a.L < b.L; });
    EXPECT_EQ(kept, k.kept) << "case " << (&k - cases.data());
  }

  Canvas c;
  c.add(IRECT(0, 0, 200, 100), "bg");
  RecordingControl* a = c.add(IRECT(10, 10, 20, 20), "a");
  RecordingControl* b = c.add(IRECT(150, 50, 160, 60), "b");
  c.attach();
  cleanAll(c.g);
  for (RecordingControl* moved : {a, b}) {
    moved->SetValueFromPlug(0.25);  // a control's first value is its default: no change
    moved->SetValueFromPlug(0.5);
  }
  for (int frame = 0; frame < 2; ++frame) {  // the change and the repaint the tick after
    IRECTList dirty;
    ASSERT_TRUE(c.g->IsDirty(&dirty)) << frame;
    ASSERT_EQ(dirty.n, 2) << frame;
    c.log.clear();
    c.g->screenRects.clear();
    EXPECT_TRUE(c.g->Draw(&dirty));
    EXPECT_EQ(c.log, (std::vector<std::string>{"bg:draw", "a:draw", "bg:draw", "b:draw"}));
    EXPECT_EQ(c.g->screenRects, (std::vector<IRECT>{IRECT(10, 10, 20, 20), IRECT(150, 50, 160, 60)}));
  }
  IRECTList none;
  EXPECT_FALSE(c.g->IsDirty(&none));
}
