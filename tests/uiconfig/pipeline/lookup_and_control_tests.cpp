// Reverse lookups, the image registry, the custom radio buttons and the progress overlay.
#include <gtest/gtest.h>

#include "ControlLayer.h"
#include "ControlAction.h"
#include "CustomRadioButtons.h"
#include "IParam.h"
#include "PipelineTestSupport.h"
#include "ProgressIndicator.h"

namespace {

class DummyControl : public IControl {
 public:
  DummyControl() : IControl(nullptr, IRECT(0, 0, 1, 1)) {}
  bool Draw(IGraphics*) override { return true; }
};

TEST(ReverseLookups, LaterRegistrationWinsAndFindsNeverInsert) {
  SysExControlContainer sysex;
  DummyControl a, b;
  const unsigned char keys[4] = {0x10, 0x20, 0x00, 0x05};
  sysex.addToControlMap(keys, 0, &a);
  sysex.addToControlMap(keys, 0, &b);
  EXPECT_EQ(sysex.findControl(0x10, 0x20, 0x00, 0x05, 0), &b);
  EXPECT_EQ(sysex.findControl(0x10, 0x20, 0x00, 0x05, 1), nullptr);
  EXPECT_EQ(sysex.findControl(0x11, 0x20, 0x00, 0x05, 0), nullptr);
  EXPECT_EQ(sysex.map.size(), 1u);
  EXPECT_EQ(sysex.map[0x10].map.size(), 1u);

  CCControlContainer cc;
  cc.addToControlMap(1, 74, 1, &a);
  EXPECT_EQ(cc.findControl(1, 74, 1), &a);
  EXPECT_EQ(cc.findControl(1, 74, 0), nullptr);
  EXPECT_EQ(cc.findControl(1, 75, 1), nullptr);
  EXPECT_EQ(cc.findControl(2, 74, 1), nullptr);
  EXPECT_EQ(cc.map.size(), 1u);

  // The MSB/LSB lookup ignores the CC number.
  NRPNControlContainer nrpn;
  ControlAction r1(kActionMsbLsb), r2(kActionMsbLsb);
  r1.channel = r2.channel = 3;
  r1.msbValue = r2.msbValue = 1;
  r1.lsbValue = r2.lsbValue = 2;
  r1.lsbControl = r2.lsbControl = 4;
  r1.noPart = r2.noPart = 0;
  r1.ccNumber = 10;
  r2.ccNumber = 11;
  nrpn.addToControlMap(&r1, &a);
  nrpn.addToControlMap(&r2, &b);
  EXPECT_EQ(nrpn.findControl(3, 1, 2, 4, 0), &b);
}

TEST(ReverseLookups, ProgramValuesDefaultToZero) {
  ProgramValueMap m;
  EXPECT_EQ(m.get(1, 2, 3), 0);
  m.set(1, 2, 3, 7);
  EXPECT_EQ(m.get(1, 2, 3), 7);
  EXPECT_EQ(m.get(1, 2, 4), 0);
}

TEST(ReverseLookups, KeyBytesFollowTheChangingByteAndNormaliseTheDeviceId) {
  const int perPart[] = {0x3E, 0x10, 0x05, 0x20, 0x03, 0x02, 0x05, 0x00};
  unsigned char keys[4];
  ASSERT_TRUE(sysexKeyBytes(perPart, 8, 8, keys));
  EXPECT_EQ(keys[0], 0x20);
  EXPECT_EQ(keys[1], 0x03);
  const int partless[] = {0x3E, 0x10, 0x05, 0x21, 0x00, 0x03, 0x00};
  ASSERT_TRUE(sysexKeyBytes(partless, 7, 7, keys));
  EXPECT_EQ(keys[0], kNormalisedDeviceIdKey);
  EXPECT_EQ(keys[1], 0x21);
  EXPECT_FALSE(sysexKeyBytes(partless, 6, 8, keys));
}

TEST(ReverseLookups, EffectTypeKeysFollowTheParameterFamilies) {
  EXPECT_EQ(UIConfigManager::effectTypeKey(kFX1ChorusSpeed + 3), 1);
  EXPECT_EQ(UIConfigManager::effectTypeKey(kFX1FiveFXSource), 0);
  EXPECT_EQ(UIConfigManager::effectTypeKey(kFX2ReverbSize + 15), 10);
  EXPECT_EQ(UIConfigManager::effectTypeKey(kFilter1Cutoff), 0);
  EXPECT_EQ(UIConfigManager::effectTypeKey(-1), 0);
}

TEST(ImageRegistry, SchemesResolveTheirOwnIdsAndUnknownSchemesOnlyTheCommonOnes) {
  for (int skin : {0, 1, 5}) {
    Pipeline p;
    p.build("<sysexlist/>", "<uiconfig/>", 1.0, skin);
    const auto it = p.manager->imageCache.find("MAIN_BG_ID");
    if (skin == 5) {
      EXPECT_EQ(it, p.manager->imageCache.end());
      EXPECT_EQ(p.manager->imageCache.size(), 74u);
      EXPECT_TRUE(p.manager->getImageByName(p.graphics, "MAIN_BG_ID").IsEmpty());
      EXPECT_TRUE(p.logged("CONFIG READER: Image MAIN_BG_ID MISSING!"));
      continue;
    }
    ASSERT_NE(it, p.manager->imageCache.end());
    EXPECT_EQ(it->second.id, skin == 0 ? 500 : 700);
    EXPECT_EQ(p.manager->imageCache.size(), 107u);
    if (skin == 1) {
      EXPECT_EQ(p.manager->imageCache["BUTTON_LOCK_ID"].id, 128);
    }
  }
  Pipeline p;
  p.build("<sysexlist/>", "<uiconfig/>", 1.15, 0);
  const IBitmap bg = p.manager->getImageByName(p.graphics, "MAIN_BG_ID");
  EXPECT_EQ(bg.W, 114);  // 100 x 1.15 comes to just under 115
  EXPECT_EQ(bg.H, 46);
  const IBitmap side = p.manager->getImageByName(p.graphics, "BUTTON_TAB_SIDEBAR_ID");
  EXPECT_TRUE(side.mFramesAreHorizontal);
  EXPECT_EQ(side.N, 2);
  EXPECT_EQ(p.manager->getImageByName(p.graphics, "IKNOBROTATERCONTROL_ID49").N, 49);
  p.manager->ClearImageCache();
  EXPECT_EQ(p.manager->imageCache.size(), 107u);
}

IBitmap makeBitmap(GFX_MemBitmap* pixels, int n, bool horizontal) {
  return IBitmap(pixels, pixels->getWidth(), pixels->getHeight(), n, horizontal);
}

TEST(CustomRadioButtons, HorizontalRowOfCellsSelectsByClick) {
  PipelinePlug plug;
  GFX_MemBitmap pixels(160, 40, 4);
  IBitmap bm = makeBitmap(&pixels, 2, false);
  ICustomRadioButtonsControl radio(&plug, IRECT(10, 20, 170, 40), kQuickTab, 4, &bm, kHorizontal);
  EXPECT_EQ(radio.CellWidth(), 40);
  EXPECT_EQ(radio.CellHeight(), 20);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(*radio.GetButtonRECT(i), IRECT(10 + 40 * i, 20, 50 + 40 * i, 40));
  IMouseMod left(true);
  radio.OnMouseDown(10 + 85, 25, &left);
  EXPECT_DOUBLE_EQ(radio.GetValue(), 2.0 / 3.0);
  EXPECT_EQ(radio.SelectedIndex(), 2);
  radio.OnMouseDown(500, 500, &left);  // outside every button
  EXPECT_DOUBLE_EQ(radio.GetValue(), 2.0 / 3.0);
  IMouseMod right(false, true);
  radio.OnMouseDown(15, 25, &right);
  EXPECT_DOUBLE_EQ(radio.GetValue(), 2.0 / 3.0);
  radio.OnMouseDblClick(15, 25, &left);
  EXPECT_DOUBLE_EQ(radio.GetValue(), 2.0 / 3.0);
}

TEST(CustomRadioButtons, VerticalAndSideBySideLayoutsAndSelectionRounding) {
  PipelinePlug plug;
  GFX_MemBitmap pixels(160, 40, 4);
  IBitmap bm = makeBitmap(&pixels, 2, false);
  ICustomRadioButtonsControl column(&plug, IRECT(0, 0, 40, 20), -1, 4, &bm, kVertical);
  EXPECT_EQ(*column.GetButtonRECT(3), IRECT(0, 60, 40, 80));

  GFX_MemBitmap sidePixels(60, 90, 4);
  IBitmap side = makeBitmap(&sidePixels, 2, true);
  ICustomRadioButtonsControl three(&plug, IRECT(0, 0, 30, 90), -1, 3, &side, kVertical);
  EXPECT_EQ(three.CellWidth(), 30);
  EXPECT_EQ(three.CellHeight(), 30);
  three.SetValue(0.49);
  EXPECT_EQ(three.SelectedIndex(), 1);
  three.SetValue(1.7);
  EXPECT_EQ(three.SelectedIndex(), 2);

  // Drawing into a canvas exercises every source offset.
  MemoryGraphics g(&plug, 200, 200);
  g.PrepDraw();
  EXPECT_TRUE(three.Draw(&g));
  EXPECT_TRUE(column.Draw(&g));
}

TEST(ProgressIndicator, JoinsItsLayerDrawsAlwaysAndSwallowsClicks) {
  PipelinePlug plug;
  auto* layer = new ControlLayer(0, "PROGRESS");
  GFX_MemBitmap pixels(50, 30, 4);
  IBitmap bm = makeBitmap(&pixels, 1, false);
  auto* overlay = new ProgressIndicator(layer, &plug, 0, 0, 50, 30, -1, &bm, IRECT(0, 0, 50, 30));
  EXPECT_EQ(layer->controls.GetSize(), 1);
  EXPECT_EQ(layer->controls.Get(0), overlay);
  EXPECT_TRUE(layer->getIgnoreHidden());
  EXPECT_EQ(overlay->GetDrawRect(), IRECT(0, 0, 50, 30));
  IMouseMod left(true);
  overlay->OnMouseDown(5, 5, &left);
  overlay->OnMouseDblClick(5, 5, &left);
  EXPECT_DOUBLE_EQ(overlay->GetValue(), 0.0);
  MemoryGraphics g(&plug, 100, 100);
  g.PrepDraw();
  EXPECT_TRUE(overlay->Draw(&g));
  delete layer;  // deletes the overlay with it
}

}  // namespace

namespace {

TEST(MsbLsbBindings, MixerLayersRegisterPartlessWithTheGivenChannel) {
  Pipeline p;
  p.build("<sysexlist/>",
          "<uiconfig><layer name=\"miniMixer\"/><layer name=\"other\"/></uiconfig>");
  ControlLayer* mixer = p.manager->findLayer("miniMixer");
  IControl* a = p.manager->createMsbLsbKnobControl(99, 1, 2, 3, 7, "Vol", kMultiTempo, 0, 0, "", 0,
                                                   0, 127, 1, LinkInfo{}, 4, mixer, "");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(p.record(kMultiTempo)->type, kActionMsbLsb);
  EXPECT_EQ(p.manager->getMsbLsbControl(7, 1, 2, 3, 1), a);
  IControl* b =
      p.manager->createMsbLsbKnobControl(99, 1, 2, 3, 7, "Vol", kFilter1Cutoff + 4, 0, 0, "", 0, 0,
                                         127, 1, LinkInfo{}, 4, p.manager->findLayer("other"), "");
  EXPECT_EQ(p.manager->getMsbLsbControl(5, 1, 2, 3, 0), b);
}

TEST(ControlElements, ChangingByteKeepsItsLowEightBitsAndTheLinkOffsetIsRead) {
  Pipeline p;
  p.build(
      R"(<sysexlist><sysex><values><value>3E 10 00 21 00 03 00</value></values></sysex></sysexlist>)",
      R"(<uiconfig><knobcontrol type="seKnob" paramId="kMultiTempo" position="1,1" valueBounds="0,0,2,1"
                sysexIndex="0" changingByte="263" biDirectLink="kFilter2Cutoff,kFilterLinkSwitch,3"/></uiconfig>)");
  ControlAction* r = p.record(kMultiTempo);
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->sysex.messages.size(), 3u);
  EXPECT_EQ(r->sysex.messages[2][6], 2);
  EXPECT_EQ(p.manager->getPartlessSysexControl(9, 0x21, 0, 3, 0), r->controls[0]);
  EXPECT_EQ(r->linkInfo.param1, kFilter2Cutoff);
  EXPECT_EQ(r->linkInfo.param3, 3);
  EXPECT_EQ(p.record(kFilter2Cutoff)->linkInfo.param3, -1);
}

}  // namespace

namespace {

TEST(ProgressIndicator, OverlayIsMadeFromTheScaledPictureAtTheScaledWindowSize) {
  Pipeline p;
  p.graphics->sizes[122] = {1500, 757};
  p.build("<sysexlist/>", "<uiconfig/>", 1.15);
  auto* layer = new ControlLayer(0, "PROGRESS");
  p.graphics->AttachLayer(layer);
  ProgressIndicator* overlay = p.manager->createProgressIndicator(layer);
  ASSERT_NE(overlay, nullptr);
  EXPECT_EQ(overlay->GetDrawRect(), IRECT(0, 0, 1724, 870));  // 1500 x 1.15 is just under 1725
  EXPECT_EQ(overlay->GetBitmap()->W, 1724);  // the cached copy, scaled like every image
  EXPECT_TRUE(overlay->IsHidden());
  EXPECT_FALSE(layer->isVisible());
  EXPECT_EQ(p.manager->createProgressIndicator(nullptr), nullptr);
}

}  // namespace
