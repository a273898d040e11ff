// The whole loading pipeline on the enciphered test description: layers, controls, records,
// prepared messages, links and reverse lookups as the editor core and the MIDI parser find them.
#include <gtest/gtest.h>

#include "ControlLayer.h"
#include "CustomRadioButtons.h"
#include "IControls.h"
#include "IParam.h"
#include "PipelineTestSupport.h"

namespace {

class LoadedPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    p.manager->setResourcesFolder(SORVANTA_PIPELINE_TEA_DIR);
    p.manager->setLibrarianViewFactory([this](IPluginBase* plug, int x, int y, int param,
                                              IBitmap* bm, IRECT r, PatchLibrarian*, double) {
      viewRect = r;
      viewParam = param;
      return new IBitmapControl(plug, x, y, param, bm);
    });
    p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
  }
  Pipeline p;
  IRECT viewRect;
  int viewParam = -1;
};

TEST_F(LoadedPipeline, BuildsNamedLayersAndMultilayerCopiesWithIdsInOrder) {
  ControlLayer* root = p.manager->findLayer("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->getId(), 1);
  ASSERT_EQ(root->layers.GetSize(), 3);
  for (int i = 0; i < 3; ++i) {
    ControlLayer* copy = p.manager->findLayer("part" + std::to_string(i));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy, root->layers.Get(i));
    EXPECT_EQ(copy->getId(), i);
  }
  EXPECT_EQ(p.manager->findLayer("part3"), nullptr);
  // The nested layer of the last copy wins the name; every copy has its own.
  EXPECT_EQ(p.manager->findLayer("osc"), p.manager->findLayer("part2")->layers.Get(0));
  // The outermost layer element decides the ignore-hidden flag for its whole subtree: "root"
  // has no overlay, so the nested overlay="true" is overridden.
  EXPECT_FALSE(p.manager->findLayer("osc")->getIgnoreHidden());
  EXPECT_NE(p.manager->findLayer("aboutWindow"), nullptr);
  EXPECT_EQ(p.graphics->NLayers(), 2);
}

TEST_F(LoadedPipeline, PerPartSysExKnobPreparesMessagesWithPartAndValueBytes) {
  for (int part = 0; part < 3; ++part) {
    ControlAction* r = p.record(kFilter1Cutoff + part);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, kActionSysEx);
    EXPECT_EQ(r->part, part);
    ASSERT_EQ(r->sysex.messages.size(), 128u);
    for (int v = 0; v < 128; ++v) {
      const std::vector<int>& m = r->sysex.messages[static_cast<size_t>(v)];
      ASSERT_EQ(m.size(), 8u);
      EXPECT_EQ(m[0], 0x3E);
      EXPECT_EQ(m[kSysExPartIndex], part);
      EXPECT_EQ(m[7], v);
    }
    EXPECT_STREQ(p.param(kFilter1Cutoff + part)->GetNameForHost(),
                 ("[" + std::to_string(part + 1) + "] Cutoff").c_str());
    EXPECT_STREQ(p.param(kFilter1Cutoff + part)->GetParamGroupForHost(),
                 ("Part " + std::to_string(part + 1) + ":Filter 1").c_str());
    // The parser's per-part lookup: command, part, hi, lo, fifth key 0.
    EXPECT_EQ(p.manager->getSysexControl(0x20, part, 2, 5, 0), r->controls[0]);
    const unsigned char msg[] = {0xF0, 0x3E, 0x10, 0x33, 0x20, static_cast<unsigned char>(part),
                                 2,    5,    9,    0xF7};
    EXPECT_EQ(p.manager->findSysexControlForMessage(msg, sizeof msg, 0), r->controls[0]);
  }
  EXPECT_EQ(p.record(kFilter1Cutoff + 3), nullptr);
}

TEST_F(LoadedPipeline, LinksAreWrittenBothWaysWithThePartAddedOnce) {
  for (int part = 0; part < 3; ++part) {
    ControlAction* r = p.record(kFilter1Cutoff + part);
    EXPECT_EQ(r->linkInfo.param1, kFilter2Cutoff + part);
    EXPECT_EQ(r->linkInfo.param2, kFilterLinkSwitch + part);
    ControlAction* partner = p.record(kFilter2Cutoff + part);
    ASSERT_NE(partner, nullptr);
    EXPECT_EQ(partner->type, kActionSysEx);
    EXPECT_EQ(partner->linkInfo.param1, kFilter1Cutoff + part);
    EXPECT_EQ(partner->linkInfo.param2, kFilterLinkSwitch + part);
    EXPECT_EQ(partner->linkInfo.param3, -1);
  }
}

TEST_F(LoadedPipeline, CCBindingsRegisterChannelKeysWithAndWithoutPart) {
  for (int part = 0; part < 3; ++part) {
    ControlAction* r = p.record(kOscillator1Level + part);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, kActionCC);
    EXPECT_EQ(r->ccNumber, 20);
    EXPECT_EQ(r->channel, part + 1);
    EXPECT_EQ(r->noPart, 0);
    EXPECT_EQ(p.manager->getCCControls(part + 1, 20, 0), r->controls[0]);
    EXPECT_EQ(p.manager->getCCControls(part + 1, 20, 1), nullptr);
    // CC menu of the copy: numbered entries, per-part keys.
    ControlAction* menu = p.record(kOscillator2Shape + part);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(p.manager->getCCControls(part + 1, 30, 0), menu->controls[0]);
    EXPECT_STREQ(p.param(kOscillator2Shape + part)->GetDisplayText(2), "3");
  }
  // Part-less CC knob: the element's channel and part-less key 1, which an incoming Control
  // Change (asked with key 0) never finds.
  ControlAction* popup = p.record(kGlobalPopupTime);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->noPart, 1);
  EXPECT_EQ(popup->part, 2);
  EXPECT_DOUBLE_EQ(p.param(kGlobalPopupTime)->GetStep(), 2.0);
  EXPECT_EQ(p.manager->getCCControls(3, 12, 1), popup->controls[0]);
  EXPECT_EQ(p.manager->getCCControls(3, 12, 0), nullptr);
  // Part-less CC button: channel key from the element, part from its channel.
  ControlAction* hold = p.record(kGlobalInitBank2);
  ASSERT_NE(hold, nullptr);
  EXPECT_EQ(hold->type, kActionCCSwitch);
  EXPECT_EQ(hold->channel, 2);
  EXPECT_EQ(hold->part, 1);
  EXPECT_EQ(hold->ccOffValue, 0);
  EXPECT_EQ(hold->ccOnValue, 127);
  EXPECT_EQ(p.manager->getCCControls(2, 64, 0), hold->controls[0]);
  EXPECT_EQ(p.manager->getCCControls(3, 64, 0), nullptr);
}

TEST_F(LoadedPipeline, SwitchMenuAndEffectKnobBindings) {
  ControlAction* glide = p.record(kOscillatorGlideOnOffSwitch + 1);
  ASSERT_NE(glide, nullptr);
  EXPECT_EQ(glide->type, kActionSysExSwitch);
  ASSERT_EQ(glide->sysex.messages.size(), 2u);
  EXPECT_EQ(glide->sysex.messages[1][7], 1);
  EXPECT_EQ(p.manager->getSysexControl(0x20, 1, 0, 0x2A, 0), glide->controls[0]);

  ControlAction* shape = p.record(kOscillator1Shape + 2);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->sysex.messages.size(), 5u);  // one more than the menu has entries
  EXPECT_EQ(p.param(kOscillator1Shape + 2)->GetNDisplayTexts(), 4);
  EXPECT_STREQ(p.param(kOscillator1Shape + 2)->GetDisplayText(3), "Square");

  // Effect parameters carry their effect type as the fifth key.
  ControlAction* chorus = p.record(kFX1ChorusSpeed);
  EXPECT_EQ(p.manager->getSysexControl(0x20, 0, 3, 0x11, 1), chorus->controls[0]);
  EXPECT_EQ(p.manager->getSysexControl(0x20, 0, 3, 0x11, 0), nullptr);
}

TEST_F(LoadedPipeline, PartlessSysExIsFoundWhateverTheDeviceId) {
  IControl* slider = p.record(kGlobalSysExID)->controls[0];
  for (int dev : {0x00, 0x10, 0x7F}) {
    EXPECT_EQ(p.manager->getPartlessSysexControl(dev, 0x24, 0, 5, 1), slider);
    const unsigned char msg[] = {0xF0, 0x3E, 0x10, static_cast<unsigned char>(dev), 0x24, 0,
                                 5,    64,   0xF7};
    EXPECT_EQ(p.manager->findSysexControlForMessage(msg, sizeof msg, 1), slider);
    EXPECT_EQ(p.manager->findSysexControlForMessage(msg + 1, sizeof msg - 2, 1), slider);
  }
  // A part-less slider registers with fifth key 1.
  EXPECT_EQ(p.manager->getPartlessSysexControl(0, 0x24, 0, 5, 0), nullptr);
}

TEST_F(LoadedPipeline, SecondControlJoinsTheRecordAndTheLastFactoryDecidesTheKind) {
  ControlAction* tempo = p.record(kMultiTempo);
  ASSERT_NE(tempo, nullptr);
  ASSERT_EQ(tempo->controls.size(), 2u);
  EXPECT_EQ(tempo->type, kActionSysEx);
  EXPECT_EQ(p.manager->getCCControls(1, 7, 0), tempo->controls[0]);
  EXPECT_EQ(p.manager->getPartlessSysexControl(0x42, 0x21, 0, 3, 0), tempo->controls[1]);
}

TEST_F(LoadedPipeline, PreparedValuesWrapPast127AndChannelGivesThePart) {
  ControlAction* r = p.record(kOscillator3Level);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->part, 4);
  ASSERT_EQ(r->sysex.messages.size(), 11u);
  const int expected[] = {120, 121, 122, 123, 124, 125, 126, 127, 0, 1, 2};
  for (size_t i = 0; i < 11; ++i) EXPECT_EQ(r->sysex.messages[i][7], expected[i]);
  EXPECT_EQ(r->sysex.messages[0][kSysExPartIndex], 0);  // template's own: no part written
  EXPECT_EQ(r->messageForValue(11), nullptr);
}

TEST_F(LoadedPipeline, UnboundControlsMenusAndDisplays) {
  auto* radio = dynamic_cast<ICustomRadioButtonsControl*>(p.record(kQuickTab)->controls[0]);
  ASSERT_NE(radio, nullptr);
  EXPECT_EQ(radio->NButtons(), 4);
  EXPECT_EQ(*radio->GetButtonRECT(2), IRECT(180, 10, 220, 30));
  EXPECT_EQ(p.record(kQuickTab)->type, kActionNone);

  EXPECT_TRUE(p.param(kMultiSettings)->Bool());
  EXPECT_STREQ(p.param(kPatchRename)->GetDisplayText(0), "New Name");
  EXPECT_EQ(p.param(kPatchRename)->Type(), IParam::kTypeText);
  EXPECT_STREQ(p.param(kControlDisplayCategory)->GetDisplayText(0), "----");
  EXPECT_EQ(p.param(kDatatype)->GetNDisplayTexts(), 2);
  EXPECT_DOUBLE_EQ(p.param(kDatatype)->Value(), 1.0);

  // The port selector sits on the graphics object, not in its layer.
  IControl* ports = p.record(kControlLibrary)->controls[0];
  bool onGraphics = false;
  for (int i = 0; i < p.graphics->NControls(); ++i)
    onGraphics |= p.graphics->GetControl(i) == ports;
  EXPECT_TRUE(onGraphics);
  EXPECT_STREQ(p.param(kControlLibrary)->GetDisplayText(2), "In B");

  // Unbound menu on the multi's program numbers: padded numbers, no record.
  EXPECT_STREQ(p.param(kMultiPartPatch + 3)->GetDisplayText(0), "001");
  EXPECT_STREQ(p.param(kMultiPartPatch + 3)->GetDisplayText(127), "128");
  EXPECT_EQ(p.record(kMultiPartPatch + 3), nullptr);
  EXPECT_EQ(p.record(kFX2ReverbSize), nullptr);

  EXPECT_NE(p.manager->librarianView, nullptr);
  EXPECT_EQ(viewParam, kLibrarianArea);
  EXPECT_EQ(viewRect, IRECT(10, 400, 510, 700));

  // Children of an unknown element are never built.
  EXPECT_EQ(p.record(kOscillator3Octave), nullptr);
}

TEST_F(LoadedPipeline, ValueListsAreReadAndLookupsNeverInsert) {
  const std::vector<std::string>* tempo = p.manager->findValueList("tempoValues");
  ASSERT_NE(tempo, nullptr);
  EXPECT_EQ(*tempo, (std::vector<std::string>{"120", "121"}));
  const size_t lists = p.manager->valueLists.size();
  const size_t layers = p.manager->layerMap.size();
  EXPECT_EQ(p.manager->findValueList("noSuchList"), nullptr);
  EXPECT_EQ(p.manager->findLayer("noSuchLayer"), nullptr);
  EXPECT_EQ(p.manager->valueLists.size(), lists);
  EXPECT_EQ(p.manager->layerMap.size(), layers);
  EXPECT_EQ(p.manager->sysexContainers.size(), 10u);
  EXPECT_TRUE(p.manager->sysexContainers[5].isMultiValue);
}

TEST(PipelineLoader, GraphicsFileLoaderGivesTheSameBuild) {
  Pipeline p;
  p.graphics->folder = SORVANTA_PIPELINE_TEA_DIR;
  p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
  ASSERT_NE(p.manager->findLayer("part2"), nullptr);
  ASSERT_NE(p.record(kFilter1Cutoff + 2), nullptr);
  EXPECT_EQ(p.record(kFilter1Cutoff + 2)->sysex.messages.size(), 128u);
  // The description names a patch browser but no view factory was given.
  EXPECT_TRUE(p.logged("CONFIG READER: element patchBrowser skipped"));
}

TEST(PipelineLoader, ScaledBuildScalesPositionsEachOnItsOwn) {
  Pipeline p;
  p.manager->setResourcesFolder(SORVANTA_PIPELINE_TEA_DIR);
  p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.15);
  IControl* knob = p.record(kFilter1Cutoff)->controls[0];
  // 100 * 1.15 and 200 * 1.15, truncated.
  EXPECT_EQ(knob->GetRECT()->L, 114);
  EXPECT_EQ(knob->GetRECT()->T, 229);
}

}  // namespace
