// Broken resources and broken descriptions: the pipeline logs, skips what it cannot build and
// never binds a parameter the description did not name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "ControlLayer.h"
#include "IParam.h"
#include "PipelineTestSupport.h"

namespace {

const char* kSysEx = R"(<sysexlist>
  <sysex><values><value>3E 10 00 20 00 02 05 00</value></values></sysex>
  <sysex><values><value>3E 10</value></values></sysex>
  <sysex><values><multivalue><value>3E</value></multivalue></values></sysex>
</sysexlist>)";

std::string doc(const std::string& body) { return "<uiconfig>" + body + "</uiconfig>"; }

TEST(PipelineResources, MissingResourcesBuildNothingAndSurvive) {
  TempFolder folder;
  Pipeline p;
  p.manager->setResourcesFolder(folder.dir);
  p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
  EXPECT_TRUE(p.logged("CONFIG READER: "));
  EXPECT_TRUE(p.manager->layerMap.empty());
  EXPECT_EQ(p.manager->findLayer("root"), nullptr);
  EXPECT_TRUE(p.manager->sysexContainers.empty());
  // Names and images are registered all the same: the editor core can still look them up.
  EXPECT_EQ(p.manager->getParamByName("kQuickTab"), kQuickTab);
  EXPECT_EQ(p.manager->imageCache.size(), 107u);
}

TEST(PipelineResources, EmptyAndPartialBlockResourcesAreNeverReadPastTheirEnd) {
  TempFolder folder;
  const std::string sysex = encipher(kSysEx);
  const std::string ui = encipher(doc(R"(<layer name="root"/>)"));
  // sysex.tea empty; uiconfig.tea with 5 stray bytes after its blocks.
  writeFile(folder.dir + "/sysex.tea", "");
  writeFile(folder.dir + "/uiconfig.tea", ui + "\x01\x02\x03\x04\x05");
  Pipeline p;
  p.manager->setResourcesFolder(folder.dir);
  p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
  EXPECT_TRUE(p.manager->sysexContainers.empty());
  EXPECT_NE(p.manager->findLayer("root"), nullptr);  // the whole blocks still hold the document
  EXPECT_TRUE(p.logged("CONFIG READER: "));
}

TEST(PipelineResources, PartialBlockThroughTheGraphicsLoader) {
  TempFolder folder;
  writeFile(folder.dir + "/sysex.tea", encipher(kSysEx).substr(0, 13));
  writeFile(folder.dir + "/uiconfig.tea", "1234567");
  Pipeline p;
  p.graphics->folder = folder.dir;
  p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
  EXPECT_TRUE(p.logged("does not end on a whole block"));
  EXPECT_TRUE(p.manager->layerMap.empty());
}

TEST(PipelineResources, DecryptLeavesATrailingPartialBlockOut) {
  const std::string cipher = encipher("<a>hello</a>");  // 16 bytes
  std::string text;
  UIConfigManager::decrypt(cipher.data(), 13, text);
  EXPECT_EQ(text.size(), 8u);
  EXPECT_EQ(text, std::string("<a>hello", 8));
  text.clear();
  UIConfigManager::decrypt(cipher.data(), 0, text);
  EXPECT_TRUE(text.empty());
}

TEST(PipelineHostile, UnregisteredOrOutOfRangeParametersAreSkipped) {
  Pipeline p;
  p.build(kSysEx, doc(R"(
    <knobcontrol type="ccKnob" paramId="kNoSuchParam+576" position="1,1" valueBounds="0,0,127,1" ccNumber="1"/>
    <knobcontrol type="ccKnob" paramId="kDebugParts+5" position="1,1" valueBounds="0,0,127,1" ccNumber="2"/>
    <knobcontrol type="ccKnob" paramId="kDebugParts+-9999" position="1,1" valueBounds="0,0,127,1" ccNumber="3"/>
    <knobcontrol type="ccKnob" paramId="+++" position="1,1" valueBounds="0,0,127,1" ccNumber="4"/>
    <multilayer name="m" create="3">
      <knobcontrol type="ccKnob" paramId="kDebugParts" position="1,1" valueBounds="0,0,127,1" ccNumber="5"/>
    </multilayer>)"));
  // -1 plus 576 would have landed on kFilter1Cutoff.
  EXPECT_EQ(p.record(kFilter1Cutoff), nullptr);
  EXPECT_STREQ(p.param(kFilter1Cutoff)->GetNameForHost(), "");
  EXPECT_TRUE(p.logged("NOT FOUND!"));
  EXPECT_TRUE(p.logged("names no parameter"));
  // Copy 0 binds kDebugParts itself; copies 1 and 2 would fall off the table.
  ASSERT_NE(p.record(kDebugParts), nullptr);
  EXPECT_EQ(p.manager->getCCControls(1, 5, 0), p.record(kDebugParts)->controls[0]);
  EXPECT_EQ(p.manager->getCCControls(2, 5, 0), nullptr);
  for (int cc = 1; cc <= 4; ++cc) EXPECT_EQ(p.manager->getCCControls(0, cc, 1), nullptr);
}

TEST(PipelineHostile, BadSysExIndexesTooShortTemplatesAndEmptyRangesAreSkipped) {
  Pipeline p;
  p.build(kSysEx, doc(R"(
    <knobcontrol type="seKnob" paramId="kFilter1Cutoff" position="1,1" valueBounds="0,0,127,1" sysexIndex="99" changingByte="8"/>
    <knobcontrol type="seKnob" paramId="kFilter2Cutoff" position="1,1" valueBounds="0,0,127,1" sysexIndex="1" changingByte="8"/>
    <knobcontrol type="seKnob" paramId="kOscillator1Level" position="1,1" valueBounds="0,0,127,1" sysexIndex="2" changingByte="8"/>
    <knobcontrol type="seKnob" paramId="kOscillator2Level" position="1,1" valueBounds="0,0,127,1" sysexIndex="-1" changingByte="8"/>
    <knobcontrol type="seKnob" paramId="kOscillator3Level" position="1,1" valueBounds="0,0,127,1" sysexIndex="0" changingByte="40"/>
    <knobcontrol type="seKnob" paramId="kOscillator1Shape" position="1,1" valueBounds="0,10,2,1" sysexIndex="0" changingByte="8"/>
    <menucontrol type="seMenu" paramId="kOscillator2Shape" position="1,1,10" valueBounds="0,4,1" sysexIndex="0" changingByte="8" valueDisplay="1:3"/>
    <knobcontrol type="ccKnob" paramId="kOscillator1Detune" position="1,1" valueBounds="0,10,2,1" ccNumber="9"/>
    <dropMenu type="dropSelection" paramId="kDatatype" bounds="1,1,1,1" valueBounds="0,3,1"/>
    <slidercontrol type="seSliderVer" paramId="kOscillator2Detune" position="1,1" valueBounds="0,0,2147483647" sysexIndex="0" changingByte="8"/>)"));
  for (int n :
       {kFilter1Cutoff, kFilter2Cutoff, kOscillator1Level, kOscillator2Level, kOscillator3Level,
        kOscillator1Shape, kOscillator2Shape, kOscillator1Detune, kDatatype, kOscillator2Detune}) {
    EXPECT_EQ(p.record(n), nullptr) << paramNameForNumber(n);
    EXPECT_STREQ(p.param(n)->GetNameForHost(), "") << paramNameForNumber(n);
  }
  EXPECT_TRUE(p.logged("names no SysEx template"));
  EXPECT_TRUE(p.logged("too short for changing byte"));
  EXPECT_TRUE(p.logged("maximum below minimum"));
  EXPECT_TRUE(p.manager->sysexControls.empty());
}

TEST(PipelineHostile, ShortNumberListsSingleButtonRadiosAndBadChannelsAreSkipped) {
  Pipeline p;
  p.build(kSysEx, doc(R"(
    <knobcontrol type="ccKnob" paramId="kOscillator1Level" position="10" valueBounds="0,0,127,1" ccNumber="1"/>
    <knobcontrol type="ccKnob" paramId="kOscillator2Level" position="10,10" valueBounds="0,0,127" ccNumber="1"/>
    <menucontrol type="ccMenu" paramId="kOscillator3Level" position="10,x,10" valueBounds="0,0,3" ccNumber="1"/>
    <background imageId="MAIN_BG_ID"/>
    <display bounds="1,2,3"/>
    <radio paramId="kQuickTab" imageId="BUTTON_TAB_TOPBAR_ID" position="1,1" buttons="1"/>
    <radio paramId="kMainTab" imageId="BUTTON_TAB_TOPBAR_ID" position="1,1" buttons="100000000"/>
    <knobcontrol type="ccKnob" paramId="kFilter1Cutoff" position="1,1" valueBounds="0,0,127,1" ccNumber="3" channel="40"/>
    <layer id="3"><knobcontrol type="ccKnob" paramId="kFilter2Cutoff" position="1,1" valueBounds="0,0,127,1" ccNumber="4"/></layer>)"));
  for (int n : {kOscillator1Level, kOscillator2Level, kOscillator3Level, kQuickTab, kMainTab,
                kFilter2Cutoff})
    EXPECT_EQ(p.record(n), nullptr) << paramNameForNumber(n);
  EXPECT_EQ(p.graphics->NControls(), 1);  // only the CC knob with the bad channel
  ASSERT_NE(p.record(kFilter1Cutoff), nullptr);
  EXPECT_EQ(p.record(kFilter1Cutoff)->part, -1);
  EXPECT_TRUE(p.logged("position needs 2 values"));
  EXPECT_TRUE(p.logged("radio group"));
  EXPECT_TRUE(p.logged("a layer needs a name"));
  EXPECT_TRUE(p.logged("is no MIDI channel"));
}

TEST(PipelineHostile, MultilayerCopiesAreCappedAtSixteenParts) {
  Pipeline p;
  p.build(kSysEx, doc(R"(<multilayer name="m" create="1000">
      <knobcontrol type="ccKnob" paramId="kFilter1Cutoff" position="1,1" valueBounds="0,0,127,1" ccNumber="1"/>
    </multilayer>)"));
  EXPECT_NE(p.manager->findLayer("m15"), nullptr);
  EXPECT_EQ(p.manager->findLayer("m16"), nullptr);
  EXPECT_NE(p.record(kFilter1Cutoff + 15), nullptr);
  EXPECT_EQ(p.record(kFilter1Cutoff + 16), nullptr);  // that is kFilter1Resonance's part 0
}

TEST(PipelineHostile, NestedMultilayersStopAtTheWalkBudget) {
  std::string body = "<leaf/>";
  for (int i = 0; i < 8; ++i)
    body = R"(<multilayer name="n" create="16">)" + body + "</multilayer>";
  Pipeline p;
  p.build(kSysEx, doc(body));  // 16^8 copies would never finish
  EXPECT_TRUE(p.logged("too large"));
}

TEST(PipelineHostile, DocumentsThatDoNotParseOrLackTheirRootBuildNothing) {
  Pipeline p;
  p.build("<sysexlist><sysex>", "<uiconfig><layer name=\"a\">");
  EXPECT_TRUE(p.manager->sysexContainers.empty());
  EXPECT_TRUE(p.manager->layerMap.empty());
  EXPECT_TRUE(p.logged("does not parse"));
  EXPECT_FALSE(p.manager->readDescriptionText("<other><layer name=\"a\"/></other>"));
  EXPECT_TRUE(p.manager->layerMap.empty());
  // Text after the first NUL is never parsed.
  EXPECT_TRUE(p.manager->readDescriptionText(std::string("<uiconfig/>\0<junk", 17)));
}

TEST(PipelineHostile, UnknownTypesAndCommentsAreSkippedSilently) {
  Pipeline p;
  p.build(kSysEx, doc(R"(<!-- c --> text
    <multiFx type="knob" paramId="kFX2ReverbSize" position="1,1" valueBounds="0,0,1,1"/>
    <dropMenu type="other" paramId="kDatatype" bounds="1,1,1,1"/>
    <knobcontrol type="ccknob" paramId="kFilter1Cutoff" position="1,1" valueBounds="0,0,1,1"/>
    <layer name="after"/>)"));
  EXPECT_EQ(p.graphics->NControls(), 0);
  EXPECT_NE(p.manager->findLayer("after"), nullptr);
  EXPECT_STREQ(p.param(kFX2ReverbSize)->GetNameForHost(), "");
}

}  // namespace
