// Control base class and standard controls: the three value roads, clamping, wheel, knob
// gearing, switches, faders, radio rows, overlays, text and caption controls.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "IControls.h"

namespace {

struct Rig {
  GuiTestPlug plug;
  HeadlessGraphics* g;
  Rig() : g(new HeadlessGraphics(&plug, 200, 200)) {
    // 0..6 are continuous; the rest stay untyped for the tests to initialise.
    for (int i = 0; i < 7; ++i) plug.GetParam(i)->InitDouble("p", 0.0, 0.0, 1.0, 0.001);
  }
  template <class C>
  C* attach(C* c) {
    g->AttachControl(c);
    return c;
  }
  void done() { plug.AttachGraphics(g); }
};

IBitmap fakeBitmap(int w, int h, int n, bool horizontal = false) {
  // Geometry only: these tests never draw, so no pixels are needed.
  return IBitmap(nullptr, w, h, n, horizontal);
}

}  // namespace

TEST(ControlValues, EachRoadReachesItsOwnHook) {
  Rig r;
  auto* k = r.attach(new TestKnob(&r.plug, IRECT(0, 0, 10, 60), 3));
  r.done();
  k->SetValueFromUserInput(0.25);
  EXPECT_EQ(r.plug.changes, std::vector<int>{3});
  EXPECT_TRUE(r.plug.changes2.empty());
  k->SetValueFromHardware(0.5);
  EXPECT_EQ(r.plug.changes2, std::vector<int>{3});
  EXPECT_EQ(r.plug.changes.size(), 1u);
  k->SetValueFromPlug(0.75);
  EXPECT_EQ(r.plug.changes.size(), 1u);
  EXPECT_EQ(r.plug.changes2.size(), 1u);
  EXPECT_DOUBLE_EQ(k->GetValue(), 0.75);
  EXPECT_DOUBLE_EQ(r.plug.GetParam(3)->Value(), 0.5);  // the plug road does not touch the parameter
}

TEST(ControlValues, FirstPlugValueBecomesTheDefaultUnclampedAndClean) {
  GuiTestPlug plug;
  TestKnob k(&plug, IRECT(0, 0, 10, 10), -1);
  k.SetClean();
  k.Clamp(0.2, 0.8);
  k.SetValueFromPlug(0.9);
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.9);
  EXPECT_DOUBLE_EQ(k.GetDefaultValue(), 0.9);
  EXPECT_FALSE(k.IsDirty());
  k.SetValueFromPlug(0.1);  // the second, different value clamps and marks dirty
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.2);
  EXPECT_TRUE(k.IsDirty());
  EXPECT_TRUE(k.IsRedrawRequested());
  k.SetClean();  // a requested redraw keeps it dirty one more frame
  EXPECT_TRUE(k.IsDirty());
  k.SetClean();
  EXPECT_FALSE(k.IsDirty());
}

TEST(ControlValues, WheelStepsAndFineStepsAreClamped) {
  GuiTestPlug plug;
  TestKnob k(&plug, IRECT(0, 0, 10, 10), -1);
  IMouseMod plain(true), shift(true, false, true), ctrl(true, false, false, true);
  k.SetValue(0.5);
  k.OnMouseWheel(0, 0, &plain, 3);
  EXPECT_NEAR(k.GetValue(), 0.53, 1e-12);
  k.SetValue(0.5);
  k.OnMouseWheel(0, 0, &shift, 3);
  EXPECT_NEAR(k.GetValue(), 0.503, 1e-12);
  k.SetValue(0.5);
  k.OnMouseWheel(0, 0, &ctrl, -3);
  EXPECT_NEAR(k.GetValue(), 0.497, 1e-12);
  k.SetValue(0.99);
  k.OnMouseWheel(0, 0, &plain, 5);
  EXPECT_DOUBLE_EQ(k.GetValue(), 1.0);
}

TEST(ControlValues, DoubleClickRestoresDefaultOnlyWhenKnownAndNotGrayed) {
  GuiTestPlug plug;
  TestKnob k(&plug, IRECT(0, 0, 10, 10), -1);
  IMouseMod mod(true);
  k.SetValue(0.3);
  k.OnMouseDblClick(0, 0, &mod);  // default still -1
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.3);
  k.SetDefaultValue(0.5);
  k.GrayOut(true);
  k.OnMouseDblClick(0, 0, &mod);
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.3);
  EXPECT_FLOAT_EQ(k.GetBlend()->mWeight, 0.5f);
  k.GrayOut(false);
  EXPECT_FLOAT_EQ(k.GetBlend()->mWeight, 1.0f);
  k.OnMouseDblClick(0, 0, &mod);
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.5);
}

TEST(ControlValues, ZeroTargetRectangleIsNeverHit) {
  GuiTestPlug plug;
  TestKnob k(&plug, IRECT(0, 0, 10, 10), -1);
  EXPECT_TRUE(k.IsHit(0, 0));
  EXPECT_FALSE(k.IsHit(10, 5));
  k.SetTargetArea(IRECT());
  EXPECT_FALSE(k.IsHit(0, 0));
}

TEST(ControlValues, NameDisplayFollowsTheParameterOnEveryPush) {
  Rig r;
  auto* name = r.attach(new ITextControl(&r.plug, IRECT(0, 0, 10, 10), nullptr, ""));
  auto* k = r.attach(new TestKnob(&r.plug, IRECT(0, 20, 10, 80), 2));
  k->SetNameDisplayControl(name);
  r.done();
  k->SetValueFromUserInput(0.4);
  EXPECT_EQ(name->GetTextCopy(), "p");
  EXPECT_TRUE(name->IsDirty());
}

TEST(ControlValues, ValueDisplayTextIsCutToItsField) {
  Rig r;
  IParam* p = r.plug.GetParam(9);
  p->InitEnum("long", 0, 2);
  const std::string longText(55, 'x');
  p->SetDisplayText(0, "short");
  p->SetDisplayText(1, longText.c_str());
  auto* display = r.attach(new ITextControl(&r.plug, IRECT(0, 0, 10, 10), nullptr, ""));
  auto* sw = r.attach(new TestKnob(&r.plug, IRECT(0, 20, 10, 30), 9));
  sw->SetValDisplayControl(display);
  r.done();
  sw->SetValueFromUserInput(1.0);
  EXPECT_EQ(display->GetTextCopy(), std::string(IControl::kValueDisplayLen - 1, 'x'));
  sw->SetValueFromUserInput(0.0);
  EXPECT_EQ(display->GetTextCopy(), "short");
}

TEST(KnobControl, GearingWithAndWithoutModifier) {
  GuiTestPlug plug;
  TestKnob k(&plug, IRECT(0, 0, 40, 60), -1);
  IMouseMod plain(true), fine(true, false, false, true);
  k.SetValue(0.0);
  k.OnMouseDrag(0, 0, 0, -240, &plain);  // 240 px up on a 60 px knob: the whole range
  EXPECT_DOUBLE_EQ(k.GetValue(), 1.0);
  k.SetValue(0.0);
  k.OnMouseDrag(0, 0, 0, -240, &fine);  // ten times finer
  EXPECT_NEAR(k.GetValue(), 0.1, 1e-12);
  k.SetValue(0.98);
  k.OnMouseDrag(0, 0, 0, -20, &plain);
  EXPECT_DOUBLE_EQ(k.GetValue(), 1.0);  // clamped
  k.SetValue(0.5);
  k.OnMouseDrag(0, 0, 0, 24, &plain);  // down lowers
  EXPECT_NEAR(k.GetValue(), 0.4, 1e-12);

  TestKnob h(&plug, IRECT(0, 0, 50, 10), -1, kHorizontal);
  h.SetValue(0.0);
  h.OnMouseDrag(0, 0, 100, 0, &plain);  // right raises
  EXPECT_NEAR(h.GetValue(), 0.5, 1e-12);
  h.GrayOut(true);
  h.OnMouseDrag(0, 0, 100, 0, &plain);
  EXPECT_NEAR(h.GetValue(), 0.5, 1e-12);
}

// The editor stores a value's whole steps and pushes them back into the knob: drags still add up.
TEST(KnobControl, ADragFollowsTheHandWhereThePlugInStepsTheValue) {
  struct SteppingPlug : GuiTestPlug {
    TestKnob knob{this, IRECT(0, 0, 40, 60), 0};  // 240 px for the range: 0.53 of a step a pixel
    void OnParamChange(int i) override {
      GetParam(i)->Set(static_cast<int>(GetParam(i)->Value()));
      knob.SetValueFromPlug(GetParam(i)->GetNormalized());
    }
  } plug;
  plug.GetParam(0)->InitDouble("Detune", 0.0, 0.0, 127.0, 1.0);
  IMouseMod mod(true);
  for (int i = 0; i < 20; ++i) plug.knob.OnMouseDrag(0, 0, 0, -1, &mod);  // up a pixel at a time
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 10.0);                      // 20 x 127 / 240
  for (int i = 0; i < 10; ++i) plug.knob.OnMouseDrag(0, 0, 0, 1, &mod);
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 5.0);
}

TEST(SwitchControl, StepsThroughFramesAndWrapsAround) {
  Rig r;
  IBitmap two = fakeBitmap(10, 20, 2), three = fakeBitmap(10, 30, 3);
  auto* s2 = r.attach(new ISwitchControl(&r.plug, 0, 0, 1, &two));
  auto* s3 = r.attach(new ISwitchControl(&r.plug, 20, 0, 2, &three));
  r.done();
  EXPECT_EQ(*s2->GetRECT(), IRECT(0, 0, 10, 10));
  IMouseMod mod(true);
  std::vector<double> seen;
  for (int i = 0; i < 3; ++i) {
    s2->OnMouseDown(0, 0, &mod);
    seen.push_back(s2->GetValue());
  }
  EXPECT_EQ(seen, (std::vector<double>{1.0, 0.0, 1.0}));
  s2->OnMouseDblClick(0, 0, &mod);  // a double click is a second click
  EXPECT_DOUBLE_EQ(s2->GetValue(), 0.0);
  seen.clear();
  for (int i = 0; i < 4; ++i) {
    s3->OnMouseDown(0, 0, &mod);
    seen.push_back(s3->GetValue());
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0, 0.5}));
  EXPECT_EQ(r.plug.changes.size(), 8u);
}

TEST(SwitchControl, ContactIsOnOnlyWhilePressed) {
  Rig r;
  IBitmap two = fakeBitmap(10, 20, 2);
  auto* c = r.attach(new IContactControl(&r.plug, 0, 0, 4, &two));
  r.done();
  IMouseMod mod(true);
  c->OnMouseDown(0, 0, &mod);
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);
  c->OnMouseUp(0, 0, &mod);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.0);
  EXPECT_EQ(r.plug.changes, (std::vector<int>{4, 4}));
}

TEST(SwitchControl, FrameForValueRoundsAndLimits) {
  EXPECT_EQ(IBitmapControl::FrameForValue(0.7, 1), 1);
  EXPECT_EQ(IBitmapControl::FrameForValue(0.0, 5), 1);
  EXPECT_EQ(IBitmapControl::FrameForValue(0.49, 3), 2);
  EXPECT_EQ(IBitmapControl::FrameForValue(1.0, 5), 5);
  EXPECT_EQ(IBitmapControl::FrameForValue(7.0, 5), 5);
  EXPECT_EQ(IBitmapControl::FrameForValue(-1.0, 5), 1);
}

TEST(FaderControl, HandleMapsToTheTrackAndSnapsToTheMouse) {
  Rig r;
  IBitmap handle = fakeBitmap(16, 20, 1);
  auto* f = r.attach(new IFaderControl(&r.plug, 10, 100, 200, 5, &handle));
  r.done();
  EXPECT_EQ(*f->GetRECT(), IRECT(10, 100, 26, 300));
  EXPECT_EQ(f->GetHandleRECT(1.0), IRECT(10, 100, 26, 120));
  EXPECT_EQ(f->GetHandleRECT(0.0), IRECT(10, 280, 26, 300));
  EXPECT_EQ(f->GetHandleRECT(0.5), IRECT(10, 190, 26, 210));
  IMouseMod mod(true);
  f->OnMouseDown(12, 110, &mod);
  EXPECT_DOUBLE_EQ(f->GetValue(), 1.0);
  f->OnMouseDown(12, 290, &mod);
  EXPECT_DOUBLE_EQ(f->GetValue(), 0.0);
  f->OnMouseDrag(12, 200, 0, 0, &mod);
  EXPECT_DOUBLE_EQ(f->GetValue(), 0.5);
  f->OnMouseDrag(12, 900, 0, 0, &mod);  // below the track
  EXPECT_DOUBLE_EQ(f->GetValue(), 0.0);

  IMouseMod commandClick(true, true);  // Command-click: a right click, never a move
  f->OnMouseDown(12, 110, &commandClick);
  EXPECT_DOUBLE_EQ(f->GetValue(), 0.0);

  IFaderControl h(&r.plug, 0, 0, 100, -1, &handle, kHorizontal);
  EXPECT_EQ(*h.GetRECT(), IRECT(0, 0, 100, 20));
  EXPECT_EQ(h.GetHandleRECT(1.0), IRECT(84, 0, 100, 20));
}

TEST(FaderControl, TrackNoLongerThanTheHandleDoesNotDivideByZero) {
  GuiTestPlug plug;
  IBitmap handle = fakeBitmap(16, 20, 1);
  IFaderControl f(&plug, 0, 0, 20, -1, &handle);
  f.SetValue(0.3);
  IMouseMod mod(true);
  f.OnMouseDown(5, 5, &mod);
  EXPECT_DOUBLE_EQ(f.GetValue(), 0.3);
}

TEST(RadioButtons, LayoutClickValuesAndActiveButton) {
  Rig r;
  IBitmap bm = fakeBitmap(20, 20, 2);  // each button 20 x 10
  auto* radio = r.attach(new IRadioButtonsControl(&r.plug, IRECT(0, 0, 110, 10), 6, 4, &bm, kHorizontal));
  r.done();
  ASSERT_EQ(radio->NButtons(), 4);
  EXPECT_EQ(*radio->GetButtonRECT(0), IRECT(0, 0, 20, 10));
  EXPECT_EQ(*radio->GetButtonRECT(1), IRECT(30, 0, 50, 10));
  EXPECT_EQ(*radio->GetButtonRECT(3), IRECT(90, 0, 110, 10));
  IMouseMod mod(true);
  radio->OnMouseDown(65, 5, &mod);  // third button
  EXPECT_NEAR(radio->GetValue(), 2.0 / 3.0, 1e-12);
  r.plug.changes.clear();
  radio->OnMouseDown(25, 5, &mod);  // between buttons: unchanged, still pushed
  EXPECT_NEAR(radio->GetValue(), 2.0 / 3.0, 1e-12);
  EXPECT_EQ(r.plug.changes.size(), 0u);  // same plain value: the handler is not run

  IRadioButtonsControl rev(&r.plug, IRECT(0, 0, 10, 50), -1, 3, &bm, kVertical, true);
  EXPECT_EQ(*rev.GetButtonRECT(0), IRECT(0, 40, 20, 50));
  EXPECT_EQ(*rev.GetButtonRECT(2), IRECT(0, 0, 20, 10));
}

TEST(OverlayControl, HitAreaFollowsTheDrawnState) {
  Rig r;
  IBitmap bm = fakeBitmap(100, 100, 1);
  auto* o = new IBitmapOverlayControl(&r.plug, 0, 0, -1, &bm, IRECT(0, 0, 10, 10));
  r.attach(o);
  r.done();
  o->SetValue(0.4);
  IRECT all(0, 0, 200, 200);
  o->Draw(r.g);
  EXPECT_FALSE(o->IsHit(50, 50));
  EXPECT_TRUE(o->IsHit(5, 5));
  o->SetValue(0.5);
  o->Draw(r.g);
  EXPECT_TRUE(o->IsHit(50, 50));
}

TEST(TextControls, SetTextMarksDirtyOnlyOnChange) {
  GuiTestPlug plug;
  ITextControl t(&plug, IRECT(0, 0, 10, 10), nullptr, "ready");
  t.SetClean();
  t.SetTextFromPlug("ready");
  EXPECT_FALSE(t.IsDirty());
  t.SetTextFromPlug("busy");
  EXPECT_TRUE(t.IsDirty());
  EXPECT_EQ(t.GetTextCopy(), "busy");
  // A text stored while the window draws the one before keeps its mark past the clean.
  HeadlessGraphics g(&plug, 20, 20);
  t.Draw(&g);
  t.SetTextFromPlug("done");
  t.SetClean();
  EXPECT_TRUE(t.IsDirty());
  t.Draw(&g);
  t.SetClean();
  EXPECT_FALSE(t.IsDirty());
}

// A text wider than its box is drawn smaller first, down to two thirds of its size, and only then
// cut, at the smallest size, to the most characters that fit with "...". Each draw's last measure
// is of what it draws (here a character is half the size wide).
TEST(TextControls, AFittedTextShrinksBeforeItIsCut) {
  struct Measuring : HeadlessGraphics {
    using HeadlessGraphics::HeadlessGraphics;
    bool MeasureIText(IText* text, const char* str, IRECT* r) override {
      last = std::to_string(text->mSize) + " " + str;
      *r = IRECT(0, 0, static_cast<int>(strlen(str)) * text->mSize / 2, text->mSize);
      return true;
    }
    std::string last;
  };
  GuiTestPlug plug;
  Measuring g(&plug, 200, 50);
  IText style(12);
  ITextControl t(&plug, IRECT(0, 0, 60, 20), &style, "");
  t.SetFitToBox(true);
  // The text, the part kept (a file's name), what is drawn: no character of UTF-8 is split (the
  // measure counts bytes), and a kept name loses its middle, never its ends or the words after it.
  const char* const cases[][3] = {{"ten chars.", "", "12 ten chars."},
                                  {"twelve chars", "", "10 twelve chars"},
                                  {"fifteen chars..", "", "8 fifteen chars.."},
                                  {"sixteen chars...", "", "8 sixteen char..."},
                                  {"x\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4", "", "8 x\u00e4\u00e4\u00e4\u00e4\u00e4..."},
                                  {"MyBank.syx locked", "MyBank.syx", "8 My...syx locked"},
                                  {"\u00e4\u00e4\u00e4\u00e4\u00e4.syx locked", "\u00e4\u00e4\u00e4\u00e4\u00e4.syx", "8 \u00e4...yx locked"}};
  for (const auto& c : cases) {
    t.SetTextFromPlug(c[0], c[1]);
    t.Draw(&g);
    EXPECT_EQ(g.last, c[2]);
  }
}

TEST(TextControls, CaptionWithEmptyLabelEndsInABlank) {
  Rig r;
  IParam* p = r.plug.GetParam(7);
  p->InitBool("on", true);
  auto* cap = r.attach(new ICaptionControl(&r.plug, IRECT(0, 0, 50, 10), 7, nullptr, true));
  r.done();
  IRECT all(0, 0, 200, 200);
  r.g->Draw(&all);
  EXPECT_EQ(cap->GetTextCopy(), "on ");
  IParam* q = r.plug.GetParam(8);
  q->InitInt("cents", 12, 0, 100, "ct");
  auto* cap2 = new ICaptionControl(&r.plug, IRECT(0, 20, 50, 30), 8, nullptr, true);
  r.g->AttachControl(cap2);
  r.g->Draw(&all);
  EXPECT_EQ(cap2->GetTextCopy(), "12 ct");
}
