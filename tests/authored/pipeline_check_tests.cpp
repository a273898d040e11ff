// The authored interface through the editor's real loading pipeline: for every colour scheme and
// size the generated resources are read by UIConfigManager::readUIConfig into a plug-in with the
// editor's 9289 parameters and a headless canvas that decodes the generated PNG files. Each load
// is checked for what the editor core relies on (names that resolve, the layers it looks up, one
// binding for every parameter of the MIDI engine's dump layouts at its dump address, value lists
// long enough for the display, images at their scaled size), and each main tab is rendered to a
// PNG under the build's artifacts folder for a person to look at.
//
// One load serves every check of its scheme and size: loads are kept per process and dropped by
// a test environment before the process-wide bitmap cache goes away at exit.
//
// The tab pages are shown here by hand, the way the editor's main-tab switch shows them for
// part 1 in the default state; the renders therefore show what the description and the images
// give, not what the editor core's switching does.

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ControlAction.h"
#include "ControlLayer.h"
#include "DumpLayout.h"
#include "GFX_PNG.h"
#include "IControls.h"
#include "IParam.h"
#include "MidiPorts.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "PipelineTestSupport.h"

namespace {

#include "image_table.inc"

const std::string kResources = SORVANTA_AUTHORED_DIR;
const std::string kArtifacts = SORVANTA_ARTIFACTS_DIR;

const char* const kSchemeNames[] = {"yellow", "blue", "obsidra"};

// ---- headless canvas over the generated images ------------------------------------------------

// Size and file of every image id as decoded, before scaling. The bitmap cache is process-wide,
// so a second load at the same size never decodes again: the table is process-wide too.
struct DecodedImage {
  std::string file;
  int w = 0, h = 0;
};
std::map<int, DecodedImage>& decodedImages() {
  static std::map<int, DecodedImage> images;
  return images;
}

// Reads every image by the last path component of its name from the generated img folder, the
// way the bundle lookup finds it; records what it decoded and what it could not.
class AuthoredGraphics : public IGraphics {
 public:
  AuthoredGraphics(IPluginBase* plug, double scale)
      : IGraphics(plug, static_cast<int>(1500 * scale), static_cast<int>(757 * scale), 0) {}
  GFX_IBitmap* OSLoadBitmap(int id, const char* name) override {
    const std::string n = name ? name : "";
    const std::string file = n.substr(n.find_last_of('/') + 1);
    GFX_IBitmap* bm = GFX_LoadPNG((kResources + "/img/" + file).c_str());
    if (!bm)
      failedImages.push_back(n);
    else
      decodedImages()[id] = {file, bm->getWidth(), bm->getHeight()};
    return bm;
  }
  std::vector<std::string> failedImages;
};

// ---- one load of the authored interface ---------------------------------------------------------

// Built in the order of the plug-in constructor: description first, then the frame background
// and the attachment, which pushes every parameter's value into its controls. Only a load that
// is drawn needs the attachment, and it costs more than the rest of the load (every parameter
// visits every control), so the other loads leave it out and keep the canvas themselves.
// Torn down in the editor's order: images released and manager deleted while the parameters
// exist.
struct LoadedInterface {
  PipelinePlug plug;
  AuthoredGraphics* graphics;
  std::unique_ptr<UIConfigManager> manager = std::make_unique<UIConfigManager>();
  std::vector<std::string> log;
  int skin;
  double scale;
  bool attached;

  LoadedInterface(int skinIndex, double sizeFactor, bool forDrawing)
      : skin(skinIndex), scale(sizeFactor), attached(forDrawing) {
    graphics = new AuthoredGraphics(&plug, scale);
    manager->setLog([this](const std::string& l) { log.push_back(l); });
    manager->setResourcesFolder(kResources);
    manager->setPortNamesProvider(
        [](bool) { return std::vector<std::string>{"Select MIDI Device"}; });
    // The librarian's slot grid stands in as its picture: the grid's own drawing is the
    // librarian's business, its place and image are the description's.
    manager->setLibrarianViewFactory(
        [](IPluginBase* p, int x, int y, int param, IBitmap* bm, IRECT, PatchLibrarian*, double) {
          return new IBitmapControl(p, x, y, param, bm);
        });
    manager->readUIConfig(graphics, &plug, nullptr, skin, scale);
    graphics->AttachBackground(104, "resources/img/main-bg-frame.png", scale);
    if (attached) plug.AttachGraphics(graphics);
  }
  ~LoadedInterface() {
    manager->ClearImageCache();
    manager.reset();
    if (!attached) delete graphics;
  }
  LoadedInterface(const LoadedInterface&) = delete;
  LoadedInterface& operator=(const LoadedInterface&) = delete;

  ControlLayer* layer(const std::string& name) const { return manager->findLayer(name); }
  double value(int number) { return plug.GetParam(number)->Value(); }
  int intValue(int number) { return static_cast<int>(value(number)); }
  ControlAction* record(int number) { return plug.GetParam(number)->GetControlAction(); }
};

std::map<std::pair<int, int>, std::unique_ptr<LoadedInterface>>& loads() {
  static std::map<std::pair<int, int>, std::unique_ptr<LoadedInterface>> m;
  return m;
}

// Every colour scheme is drawn at the normal size, and yellow at the other two sizes too.
bool drawn(int skin, double scale) { return skin == 0 || scale == 1.0; }

LoadedInterface& loaded(int skin, double scale) {
  std::unique_ptr<LoadedInterface>& slot = loads()[{skin, static_cast<int>(scale * 100 + 0.5)}];
  if (!slot) slot = std::make_unique<LoadedInterface>(skin, scale, drawn(skin, scale));
  return *slot;
}

// The loads hold images in the process-wide bitmap cache; they must go before it does.
class DropLoads : public ::testing::Environment {
 public:
  void TearDown() override { loads().clear(); }
};
::testing::Environment* const kDropLoads = ::testing::AddGlobalTestEnvironment(new DropLoads);

// ---- parameter names ----------------------------------------------------------------------------

const ParamNameEntry* entryNamed(const std::string& name) {
  const ParamNameEntry* t = paramNameTable();
  for (std::size_t i = 0; i < paramNameTableSize(); ++i)
    if (name == t[i].name && t[i].blockSize > 0) return &t[i];
  return nullptr;
}

// Every parameter number of a name: 16 for a per-part block, one for a single; none (and a
// test failure) for a name that is not a parameter.
std::vector<int> numbersOf(const std::string& name) {
  std::vector<int> out;
  const ParamNameEntry* e = entryNamed(name);
  EXPECT_NE(e, nullptr) << "no parameter " << name;
  if (e)
    for (int p = 0; p < e->blockSize; ++p) out.push_back(paramOfPart(e->number, p));
  return out;
}

// Names of a numbered family: pattern with one %d (or %02d) for first..last.
std::vector<std::string> family(const char* pattern, int first, int last) {
  std::vector<std::string> out;
  for (int i = first; i <= last; ++i) {
    char n[64];
    std::snprintf(n, sizeof n, pattern, i);
    out.push_back(n);
  }
  return out;
}

// ---- what the editor looks up -------------------------------------------------------------------

const char* const kFilterPanels[] = {"LP", "BP", "HP", "Notch", "CombMinus", "CombPlus"};

// Layers the plug-in constructor caches, in its order (the tab and part switches use a subset).
std::vector<std::string> layersTheEditorLooksUp() {
  std::vector<std::string> names = {"root", "oscillators", "filtersEnvelopes", "lfoModMatrix",
                                    "effectsArp", "delayFreeLayer", "delayClockedLayer",
                                    "miniMixer", "patchLibrarian", "multiModeSettingsPage1",
                                    "multiModeSettingsPage2", "effect1Overlayer",
                                    "effect2Overlayer"};
  for (const char* f : {"filter1", "filter2"})
    for (const char* t : kFilterPanels) names.push_back(std::string(f) + t);
  for (const std::string& n : family("bankAndProgram%02d", 1, 16)) names.push_back(n);
  for (const char* n : {"bankAndProgramMulti", "saveChangesLayer", "discardChangesLayerRight",
                        "keepBankOpenLayer", "aboutWindow", "firstRunNotification",
                        "bankPatchConflictWindow", "midiFilterSettings", "patchRename",
                        "categoryLimit", "searchField"})
    names.push_back(n);
  return names;
}

// Parameters whose first control the constructor caches (it does not check for null).
std::vector<int> controlsTheConstructorCaches() {
  std::vector<int> out = {kRandomize,         kDatatype,
                          kPatchSearch,       kControlProgBank,
                          kPatchSelectionListUpper, kPatchSelectionListLower,
                          kDeviceOutSelection, kDeviceInSelection,
                          kPatchRename,       kControlDisplayName,
                          kControlDisplayValue, kControlDisplayCategory,
                          kControlDisplayPatch, kControlDisplayCC,
                          kControlDisplayBuild, kControlDisplayMIDIOutDelay,
                          kControlLibrary,    kKeepSelectedBank,
                          kQuickTab,          kMainTab};
  for (int p = 0; p < kNumParts; ++p) out.push_back(paramOfPart(kMultiPartMIDICh, p));
  for (int n = kMIDIFilterDAWCCPassThrough; n <= kSendMIDIClockInfo; ++n) out.push_back(n);
  return out;
}

// Value lists the value display reads by name, with the parameters that index them by value.
std::map<std::string, std::vector<std::string>> valueListsTheDisplayReads() {
  std::map<std::string, std::vector<std::string>> m = {
      {"oscillator12shape", {"kOscillator1Shape", "kOscillator2Shape"}},
      {"oscillator3shape", {"kOscillator3Shape"}},
      {"unisonoVoices", {"kOscillatorUnisono"}},
      {"oscillatorFMSource",
       {"kOscillator1FMSource", "kOscillator2FMSource", "kOscillator3FMSource", "kFilter1FMSource",
        "kFilter2FMSource"}},
      {"oscillatorPWMSource",
       {"kOscillator1PWMSource", "kOscillator2PWMSource", "kOscillator3PWMSource",
        "kOscillatorPitchSource", "kFilter1ModSource", "kFilter1PanSource", "kFilter2ModSource",
        "kFilter2PanSource", "kAmpModSource"}},
      {"fastModMatrixDestinations", family("kMod%dFastDestination", 1, 8)},
      {"standardMatrixSources", family("kMod%dStandardSource", 1, 8)},
      {"standardMatrixDestinations", family("kMod%dStandardDestination", 1, 8)},
      {"modifierMatrixSources", family("kModifier%dSource2", 1, 4)},
      {"modifierOperators", family("kModifier%dSourceType", 1, 4)},
      {"noiseFeedSource", {"kNoiseExtFilter1Source", "kNoiseExtFilter2Source"}},
      {"filter1Type", {"kFilter1Type", "kFilter2Type"}},
      {"lfoShape", family("kLFO%dShape", 1, 3)},
      {"startPhase", family("kLFO%dStartphase", 1, 3)},
      {"clockedValues", family("kLFO%dSpeed", 1, 3)},
      {"envelopeMode", {"kFilterEnvMode", "kAmpEnvMode", "kEnvelope3Mode", "kEnvelope4Mode"}},
      {"envelopeTrigger", {"kFilterEnvTrigger", "kAmpEnvTrigger", "kEnv3Trigger", "kEnv4Trigger"}},
      {"fx1Mode", {"kEffect1Mode"}},
      {"fx2Mode", {"kEffect2Mode"}},
      {"positiveNegative",
       {"kFX1FlangerPolarity", "kFX1PhaserPolarity", "kFX2FlangerPolarity", "kFX2PhaserPolarity",
        "kFX2DelayPolarity"}},
      {"sampleRate", {"kFX1FiveFXSampleHold", "kFX2FiveFXSampleHold"}},
      {"fxInputList",
       {"kFX1FiveFXSource", "kFX2FiveFXSource", "kFX1VocoderAnalysisSignal",
        "kFX2VocoderAnalysisSignal"}},
      {"analysisFrequency",
       {"kFX1VocoderAnalysisLoFrq", "kFX1VocoderAnalysisHiFrq", "kFX2VocoderAnalysisLoFrq",
        "kFX2VocoderAnalysisHiFrq", "kFX251DelayLFELP", "kFX251DelayInputHP",
        "kFX251DelayClockedLFELP", "kFX251DelayClockedInputHP"}},
      {"delayPercentage",
       {"kFX251DelayDelayML", "kFX251DelayDelayMR", "kFX251DelayDelayS2L", "kFX251DelayS1L",
        "kFX251DelayS1R", "kFX251DelayClockedDelayML", "kFX251DelayClockedDelayMR",
        "kFX251DelayClockedDelayS2L", "kFX251DelayClockedDelayS1L",
        "kFX251DelayClockedDelayS1R"}},
      {"delayFreeValues", {"kFX2DelayLength", "kFX251DelayDelay"}},
      {"delayClockedValues", {"kFX251DelayClockedDelay", "kFX2DelaySyncedLength"}},
      {"preDelay", {"kFX2ReverbPredelay"}},
      {"reverbSize", {"kFX2ReverbSize"}},
      {"fxGlobalLink", {"kGlobalFX2Link"}},
      {"arpMode", {"kArpMode"}},
      {"arpPattern", {"kArpPattern"}},
      {"arpNoteLength", {"kArpNoteLength"}},
      {"arpDirection", {"kArpDirection"}},
      {"arpSortOrder", {"kArpSortOrder"}},
      {"arpVeloMode", {"kArpVelocityMode"}},
      {"arpClock", {"kArpClock"}},
      {"arpStepDisplay", family("kArpPattern%02dStep", 1, 16)},
      {"arpAccent", family("kArpPattern%02dAccent", 1, 16)},
      {"arpTiming", family("kArpPattern%02dTiming", 1, 16)},
      {"arpStepLength", family("kArpPattern%02dStepLen", 1, 16)},
      {"partStatus", {"kMultiPartStatus"}},
      {"outputList", {"kMultiPartOutput"}},
      {"keyList", {"kMultiPartKeyLow", "kMultiPartKeyHigh"}},
      {"keyVeloOnCurve", {"kGlobalKeyVeloCurve"}},
      {"keyVeloOffCurve", {"kGlobalReleaseCurve"}},
      {"keyPressureCurve", {"kGlobalPressureCurve"}},
      {"pedalCvController", {"kGlobalPedalController"}},
      {"globalChannel", {"kGlobalMidiChannel"}},
      {"globalClock", {"kGlobalClock"}},
      {"controllerSend", {"kGlobalControlSend"}},
      {"controllerReceive", {"kGlobalReceive"}},
      {"programChange", {"kGlobalRxProgramChange", "kGlobalTxProgramChange"}},
      {"globalTuning", {"kGlobalTuning"}},
      {"globalInputGain", {"kGlobalInputGain"}},
      {"globalMixInTo", {"kGlobalMixInputTo"}},
      {"globalPopupTime", {"kGlobalPopupTime"}},
      {"controlList",
       {"kGlobalControlW", "kGlobalControlX", "kGlobalControlY", "kGlobalControlZ",
        "kMultiControlW", "kMultiControlX", "kMultiControlY", "kMultiControlZ"}},
      {"tempoValues", {"kFX2DelayTempo", "kMultiTempo"}}};
  for (const std::string& n : family("kMod%dFastSource", 1, 8))
    m["oscillatorPWMSource"].push_back(n);
  for (const std::string& n : family("kModifier%dSource1", 1, 4))
    m["standardMatrixSources"].push_back(n);
  return m;
}

// ---- dump addresses -----------------------------------------------------------------------------

// Where a parameter change goes on the wire: command 0x20 with a part byte for sound parameters,
// 0x21 (multi) or 0x24 (global) without one; hi and lo are the dump index in 7-bit halves.
// `sharesByte`: the parameter is packed into one data byte with a neighbour (the sender packs
// them, the parser unpacks the byte itself), so both register the same lookup keys and the
// later control wins the reverse lookup.
struct DumpAddress {
  int command;
  int part;  // -1: no part byte
  int index;
  bool sharesByte;
};

// Every parameter the MIDI engine's dump layouts carry, at its index (sound and multi data:
// position - 7; global data: position - 5). A slot parameter of an effect only mirrors the
// effect-type parameters the user edits, which are bound at the slot's address instead.
std::map<int, DumpAddress> dumpAddresses() {
  std::map<int, DumpAddress> out;
  auto sound = [&out](int base, int index, bool packed) {
    for (int p = 0; p < kNumParts; ++p) out[paramOfPart(base, p)] = {0x20, p, index, packed};
  };
  int n = 0;
  const dump::SoundField* fields = dump::soundFields(&n);
  for (int i = 0; i < n; ++i) {
    const dump::SoundField& f = fields[i];
    const int index = f.position - 7;
    if (f.conversion == dump::kEffectSlot) {
      if (const dump::EffectSlot* slot = dump::effectSlotAt(f.position))
        for (int t = 0; t < slot->typeCount; ++t) sound(slot->typeParams[t], index, false);
      continue;
    }
    sound(f.param, index, f.param2 >= 0);
    if (f.param2 >= 0) sound(f.param2, index, true);
  }
  for (int step = 0; step < 16; ++step) {
    const dump::ArpStepParams a = dump::arpStepParams(step);
    for (int base : {a.step, a.glide, a.accent})
      sound(base, dump::kArpFirstBytePos + step - 7, true);
    for (int base : {a.stepLen, a.timing}) sound(base, dump::kArpSecondBytePos + step - 7, true);
  }
  const dump::MultiField* multi = dump::multiCommonFields(&n);
  for (int i = 0; i < n; ++i) out[multi[i].param] = {0x21, -1, multi[i].offset - 7, false};
  multi = dump::multiPartFields(&n);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < kNumParts; ++k)
      out[paramOfPart(multi[i].param, k)] = {0x21, -1, 32 + 22 * k + multi[i].offset, false};
  const dump::MultiField* global = dump::globalFields(&n);
  for (int i = 0; i < n; ++i) out[global[i].param] = {0x24, -1, global[i].offset - 5, false};
  return out;
}

// ---- tab pages ----------------------------------------------------------------------------------

void hideLayer(LoadedInterface& li, const std::string& name, bool hide) {
  if (ControlLayer* l = li.layer(name)) l->Hide(hide);
}

// The page a main tab page shows for a part: its child at the index of its selected child id.
ControlLayer* partPage(ControlLayer* page) {
  if (!page || page->getSelectedChildId() < 0 ||
      page->getSelectedChildId() >= page->layers.GetSize())
    return nullptr;
  return page->layers.Get(page->getSelectedChildId());
}

// Filter type to panel: 1-2 LP, 3-4 BP, 5-6 HP, 7-8 Notch, 9 CombMinus, 10 CombPlus, above LP.
const char* filterPanel(int type) {
  if (type <= 0) return nullptr;
  if (type > 10) return "LP";
  return kFilterPanels[type <= 8 ? (type - 1) / 2 : type - 5];
}

// Shows main tab `tab` (0..5) for part 1 as the editor's main-tab switch does in the default
// state (not in multi mode, no transfer running, keep-selected-bank on).
void showMainTab(LoadedInterface& li, int tab) {
  const int part = 0;
  li.plug.GetParam(kMainTab)->Set(tab);
  li.graphics->SetParameterFromPlug(kMainTab, tab, false);
  ControlLayer* root = li.layer("root");
  root->setSelectedChildId(tab);
  root->Hide(false);
  for (int i = 0; i < root->layers.GetSize(); ++i)
    root->layers.Get(i)->Hide(root->layers.Get(i)->getId() != tab);
  hideLayer(li, "miniMixer", tab == 0);
  for (const char* n : {"multiModeSettingsPage1", "multiModeSettingsPage2", "delayClockedLayer",
                        "delayFreeLayer", "categoryLimit", "discardChangesLayerRight",
                        "keepBankOpenLayer", "saveChangesLayer", "searchField"})
    hideLayer(li, n, true);
  for (const char* f : {"filter1", "filter2"})
    for (const char* t : kFilterPanels) hideLayer(li, std::string(f) + t, true);
  for (int p = 1; p <= 16; ++p) hideLayer(li, family("bankAndProgram%02d", p, p)[0], p != part + 1);
  hideLayer(li, "bankAndProgramMulti", true);
  if (tab == 0) {
    hideLayer(li,
              li.value(kMultiSettings) == 1.0 ? "multiModeSettingsPage2" : "multiModeSettingsPage1",
              false);
    return;
  }
  if (tab < root->layers.GetSize()) {
    ControlLayer* page = root->layers.Get(tab);
    page->setSelectedChildId(part);
    for (int i = 0; i < page->layers.GetSize(); ++i)
      page->layers.Get(i)->Hide(page->layers.Get(i)->getId() != part);
  }
  switch (tab) {
    case 1:
      for (const char* n : {"keepBankOpenLayer", "saveChangesLayer", "categoryLimit"})
        hideLayer(li, n, false);
      break;
    case 2:
      if (ControlLayer* page = partPage(li.layer("oscillators"))) {
        const int zones[] = {10, 30};
        const int shapes[] = {li.intValue(paramOfPart(kOscillator1Shape, part)),
                              li.intValue(paramOfPart(kOscillator2Shape, part))};
        for (int i = 0; i < 2; ++i) {
          page->showMultiLayers(zones[i]);
          page->showMultiLayers(zones[i] + 10);
          const int s = shapes[i];
          page->GrayOutCustomZone(s != 1 && s < 5, zones[i]);
          page->GrayOutCustomZone(s < 5, zones[i] + 10);
        }
        page->showMultiLayers(50);
        page->GrayOutCustomZone(li.intValue(paramOfPart(kOscillator3Shape, part)) != 1, 50);
      }
      break;
    case 3:
      if (ControlLayer* page = partPage(li.layer("filtersEnvelopes"))) {
        const int modes[] = {kFilterEnvMode, kAmpEnvMode, kEnvelope3Mode, kEnvelope4Mode};
        for (int i = 0; i < 4; ++i)
          page->showMultiLayers(li.intValue(paramOfPart(modes[i], part)) + 10 * (i + 1));
        const int t1 = li.intValue(paramOfPart(kFilter1Type, part));
        const int t2 = li.intValue(paramOfPart(kFilter2Type, part));
        if (const char* p1 = filterPanel(t1)) hideLayer(li, std::string("filter1") + p1, false);
        if (const char* p2 = t1 > 10 ? "LP" : filterPanel(t2))
          hideLayer(li, std::string("filter2") + p2, false);
      }
      break;
    case 4:
      if (ControlLayer* page = partPage(li.layer("lfoModMatrix"))) {
        const int clocks[] = {kLFO1Clock, kLFO2Clock, kLFO3Clock};
        for (int i = 0; i < 3; ++i) {
          page->showMultiLayers(10 * (i + 1));
          page->GrayOutCustomZone(li.intValue(paramOfPart(clocks[i], part)) == 1, 10 * (i + 1));
        }
      }
      break;
    case 5:
      if (ControlLayer* fx = li.layer("effectsArp")) {
        ControlLayer* page = partPage(fx);
        const int e1 = li.intValue(paramOfPart(kEffect1Mode, part));
        if (page) {
          page->showMultiLayers(e1 + 10);
          page->GrayOutCustomZone(part >= 4, e1 + 10);
          if (e1 == 0) page->GrayOutCustomZone(true, 10);
        }
        const int g = li.intValue(kGlobalFX2Link);
        const int q = g == 0 ? 0 : g - 1;
        const int e2 = li.intValue(paramOfPart(kEffect2Mode, q));
        if (q < fx->layers.GetSize()) {
          ControlLayer* page2 = fx->layers.Get(q);
          page2->showMultiLayers(e2 + 300);
          page2->GrayOutCustomZone(part != q, e2 + 300);
          if (e2 == 7) {
            const char* delay = li.value(paramOfPart(kFX2DelayClocked, q)) == 1.0
                                    ? "delayClockedLayer"
                                    : "delayFreeLayer";
            hideLayer(li, delay, false);
            ControlLayer* d = li.layer(delay);
            if (d && q < d->layers.GetSize()) {
              d->layers.Get(q)->showMultiLayers(e2 + 300);
              d->layers.Get(q)->GrayOutCustomZone(part != q, e2 + 300);
            }
          }
          if (e2 == 0) page2->GrayOutCustomZone(true, 300);
        }
      }
      break;
    default:
      break;
  }
}

// The whole window drawn into the canvas; the pixels come back as the canvas holds them.
std::vector<GFX_pixel> renderWindow(LoadedInterface& li) {
  IRECT all(0, 0, li.graphics->Width(), li.graphics->Height());
  li.graphics->SetAllControlsDirty();
  li.graphics->Draw(&all);
  GFX_IBitmap* bm = li.graphics->GetDrawBitmap();
  std::vector<GFX_pixel> out;
  if (!bm || !bm->getBits()) return out;
  const int w = bm->getWidth(), h = bm->getHeight(), span = bm->getRowSpan();
  out.reserve(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    const GFX_pixel* row =
        bm->getBits() + static_cast<std::size_t>(bm->isFlipped() ? h - 1 - y : y) * span;
    out.insert(out.end(), row, row + w);
  }
  return out;
}

// Writes canvas pixels (alpha in bits 0-7, red 8-15, green 16-23, blue 24-31) as an opaque RGB
// PNG. False when the file cannot be written.
bool writePng(const std::string& path, const std::vector<GFX_pixel>& pixels, int w, int h) {
  if (w <= 0 || h <= 0 ||
      pixels.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
    return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(static_cast<std::size_t>(w) * 3);
  bool ok = false;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
      const GFX_pixel* src = &pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(w)];
      for (int x = 0; x < w; ++x) {
        row[3 * x] = static_cast<png_byte>(GFX_GETR(src[x]));
        row[3 * x + 1] = static_cast<png_byte>(GFX_GETG(src[x]));
        row[3 * x + 2] = static_cast<png_byte>(GFX_GETB(src[x]));
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(f) == 0 && ok;
}

const char* const kTabNames[] = {"multi", "librarian", "oscillators", "filters", "lfo", "effects"};

std::string sizeName(double scale) {
  return scale < 1.0 ? "small" : scale > 1.0 ? "large" : "normal";
}

// ---- the checks ---------------------------------------------------------------------------------
// Each takes one load; under ctest every test case runs in a process of its own, so the checks
// of one load are gathered in one test case rather than paying a load per check.

void checkLogIsClean(LoadedInterface& l) {
  // The sink is live: the pipeline's own progress lines arrived, so silence means no complaint.
  for (const char* line :
       {"CONFIG READER: Completed reading SysEx data!", "CONFIG READER: Completed!"})
    EXPECT_NE(std::find(l.log.begin(), l.log.end(), line), l.log.end()) << line;
  for (const std::string& line : l.log) {
    EXPECT_EQ(line.find("MISSING"), std::string::npos) << line;
    EXPECT_EQ(line.find("NOT FOUND"), std::string::npos) << line;
    // The interpreter skips elements it cannot build; the authored description has none.
    EXPECT_EQ(line.find("skipped"), std::string::npos) << line;
  }
  for (const std::string& f : l.graphics->failedImages) ADD_FAILURE() << "image not decoded: " << f;
  EXPECT_GT(l.manager->sysexContainers.size(), 300u);
  EXPECT_EQ(l.manager->scale, l.scale);
  EXPECT_EQ(l.manager->skin, l.skin);
  EXPECT_NE(l.manager->librarianView, nullptr);
}

void checkLayersAndCachedControls(LoadedInterface& l) {
  for (const std::string& n : layersTheEditorLooksUp()) EXPECT_NE(l.layer(n), nullptr) << n;
  ControlLayer* root = l.layer("root");
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->layers.GetSize(), 6);
  const char* const pages[] = {nullptr, "patchLibrarian", "oscillators", "filtersEnvelopes",
                               "lfoModMatrix", "effectsArp"};
  for (int tab = 0; tab < 6; ++tab) {
    EXPECT_EQ(root->layers.Get(tab)->getId(), tab);
    if (pages[tab]) { EXPECT_EQ(root->layers.Get(tab), l.layer(pages[tab])) << pages[tab]; }
  }
  // The part switches pick a tab page's child by position and by id alike.
  for (const char* n : {"oscillators", "filtersEnvelopes", "lfoModMatrix", "effectsArp",
                        "delayFreeLayer", "delayClockedLayer"}) {
    ControlLayer* page = l.layer(n);
    ASSERT_NE(page, nullptr) << n;
    ASSERT_EQ(page->layers.GetSize(), kNumParts) << n;
    for (int p = 0; p < kNumParts; ++p) EXPECT_EQ(page->layers.Get(p)->getId(), p) << n;
  }
  for (int n : controlsTheConstructorCaches()) {
    ControlAction* r = l.record(n);
    ASSERT_NE(r, nullptr) << paramNameForNumber(n);
    EXPECT_FALSE(r->controls.empty()) << paramNameForNumber(n);
  }
  // Records the constructor caches as such; the tempo source is read through it at every block.
  for (int n : {kQuickTab, kMainTab, kOverrideTempo})
    EXPECT_NE(l.record(n), nullptr) << paramNameForNumber(n);
}

void checkDumpBindings(LoadedInterface& l) {
  const std::map<int, DumpAddress> addresses = dumpAddresses();
  EXPECT_GT(addresses.size(), 4000u);
  for (const auto& [number, a] : addresses) {
    const std::string name = paramNameForNumber(number);
    ControlAction* r = l.record(number);
    if (!r) {
      ADD_FAILURE() << name << " has no binding";
      continue;
    }
    EXPECT_NE(r->type, kActionNone) << name;
    EXPECT_EQ(r->controls.size(), 1u) << name;
    if (r->controls.empty() || r->sysex.messages.empty()) {
      ADD_FAILURE() << name << " has no control or no prepared message";
      continue;
    }
    const std::vector<int>& m = r->sysex.messages[0];
    const std::size_t length = a.part >= 0 ? 8 : 7;
    if (m.size() != length) {
      ADD_FAILURE() << name << ": message of " << m.size() << " bytes";
      continue;
    }
    // 3E 10 dev command [part] hi lo value
    const int hi = a.index >> 7, lo = a.index & 0x7F;
    const std::size_t h = a.part >= 0 ? 5 : 4;
    EXPECT_EQ(m[kSysExManufacturerIndex], 0x3E) << name;
    EXPECT_EQ(m[3], a.command) << name;
    EXPECT_EQ(m[h], hi) << name;
    EXPECT_EQ(m[h + 1], lo) << name;
    std::vector<unsigned char> framed = {0xF0, 0x3E, 0x10, 0x7F,
                                         static_cast<unsigned char>(a.command)};
    if (a.part >= 0) {
      EXPECT_EQ(m[kSysExPartIndex], a.part) << name;
      EXPECT_EQ(r->part, a.part) << name;
      framed.push_back(static_cast<unsigned char>(a.part));
    }
    // The synthesizer's own message for this parameter finds this control again.
    framed.insert(framed.end(),
                  {static_cast<unsigned char>(hi), static_cast<unsigned char>(lo), 0, 0xF7});
    if (a.sharesByte) continue;
    bool found = false;
    for (int key : {UIConfigManager::effectTypeKey(number), 0, 1})
      found |= l.manager->findSysexControlForMessage(framed.data(), static_cast<int>(framed.size()),
                                                     key) == r->controls[0];
    EXPECT_TRUE(found) << name << " is not found from its own message";
  }
}

void checkValueLists(LoadedInterface& l) {
  for (const auto& [list, names] : valueListsTheDisplayReads()) {
    const std::vector<std::string>* entries = l.manager->findValueList(list);
    if (!entries) {
      ADD_FAILURE() << "no value list " << list;
      continue;
    }
    for (const std::string& name : names)
      for (int number : numbersOf(name)) {
        double lo = 0, hi = 0;
        l.plug.GetParam(number)->GetBounds(&lo, &hi);
        EXPECT_GE(lo, 0.0) << name;
        // Entry s is the text for value s.
        EXPECT_GE(entries->size(), static_cast<std::size_t>(hi) + 1)
            << list << " for " << paramNameForNumber(number) << " up to " << hi;
      }
  }
}

void checkImages(LoadedInterface& l) {
  EXPECT_EQ(l.manager->imageCache.size(), sizeof kImageRows / sizeof kImageRows[0]);
  for (const ImageRow& row : kImageRows) {
    auto info = l.manager->imageCache.find(row.name);
    if (info == l.manager->imageCache.end()) {
      ADD_FAILURE() << "image " << row.name << " not registered";
      continue;
    }
    const IBitmap bm = l.manager->getImageByName(l.graphics, row.name);
    const auto decoded = decodedImages().find(info->second.id);
    if (bm.IsEmpty() || decoded == decodedImages().end()) {
      ADD_FAILURE() << "image " << row.name << " not loaded";
      continue;
    }
    EXPECT_EQ(decoded->second.file, row.file[l.skin]) << row.name;
    EXPECT_EQ(bm.W, static_cast<int>(decoded->second.w * l.scale)) << row.name;
    EXPECT_EQ(bm.H, static_cast<int>(decoded->second.h * l.scale)) << row.name;
    EXPECT_EQ(bm.N, row.frames) << row.name;
    EXPECT_EQ(bm.mFramesAreHorizontal, row.sideBySide) << row.name;
  }
}

// Renders each main tab and writes it as artifacts/render-<scheme>-<tab>-<size>.png, for a
// person to compare with the generator's own compositions (resources-out/review/preview-*.png).
void renderEachMainTab(LoadedInterface& l) {
  std::filesystem::create_directories(kArtifacts);
  for (int tab = 0; tab < 6; ++tab) {
    showMainTab(l, tab);
    const std::vector<GFX_pixel> pixels = renderWindow(l);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(l.graphics->Width()) * l.graphics->Height());
    // A tab whose page drew nothing would be little more than the plain backdrop.
    std::vector<GFX_pixel> colours;
    for (std::size_t i = 0; i < pixels.size(); i += 13) colours.push_back(pixels[i]);
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 100) << kTabNames[tab];
    const std::string path = kArtifacts + "/render-" + kSchemeNames[l.skin] + "-" + kTabNames[tab] +
                             "-" + sizeName(l.scale) + ".png";
    EXPECT_TRUE(writePng(path, pixels, l.graphics->Width(), l.graphics->Height())) << path;
  }
}

struct Variant {
  int skin;
  double scale;
};

void PrintTo(const Variant& v, std::ostream* os) {
  *os << kSchemeNames[v.skin] << " at " << v.scale;
}

std::string variantName(const ::testing::TestParamInfo<Variant>& info) {
  return std::string(kSchemeNames[info.param.skin]) + "_" + sizeName(info.param.scale);
}

class AuthoredPipeline : public ::testing::TestWithParam<Variant> {};

TEST_P(AuthoredPipeline, BuildsEverythingTheEditorLooksUpWithoutAMissingName) {
  LoadedInterface& l = loaded(GetParam().skin, GetParam().scale);
  {
    SCOPED_TRACE("log");
    checkLogIsClean(l);
  }
  {
    SCOPED_TRACE("layers and cached controls");
    checkLayersAndCachedControls(l);
  }
  {
    SCOPED_TRACE("dump bindings");
    checkDumpBindings(l);
  }
  {
    SCOPED_TRACE("value lists");
    checkValueLists(l);
  }
  {
    SCOPED_TRACE("images");
    checkImages(l);
  }
  if (drawn(GetParam().skin, GetParam().scale)) {
    SCOPED_TRACE("renders");
    renderEachMainTab(l);
  }
}

INSTANTIATE_TEST_SUITE_P(SchemesAndSizes, AuthoredPipeline,
                         ::testing::Values(Variant{0, 0.85}, Variant{0, 1.0}, Variant{0, 1.15},
                                           Variant{1, 0.85}, Variant{1, 1.0}, Variant{1, 1.15},
                                           Variant{2, 0.85}, Variant{2, 1.0}, Variant{2, 1.15}),
                         variantName);

// Every prepared SysEx message of the authored interface, for every value of every binding and
// the values just outside each range, folded into one checksum. The constant was taken from the
// tables as they were when every message was kept whole: a change of the way messages are held
// must not move a byte. A change of the description itself moves it too; take the new constant
// only after checking what the description changed.
TEST(AuthoredBindings, EveryPreparedSysExByteIsWhatTheWholeTablesHeld) {
  LoadedInterface& l = loaded(0, 1.0);
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a, 64 bits
  auto fold = [&hash](long long v) {
    for (int i = 0; i < 8; ++i) {
      hash ^= static_cast<std::uint64_t>(v >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  };
  std::size_t bindings = 0, messages = 0;
  for (int number = 0; number < kNumParams; ++number) {
    const ControlAction* r = l.record(number);
    if (!r || r->sysex.messages.empty()) continue;
    ++bindings;
    const int n = static_cast<int>(r->sysex.messages.size());
    fold(number);
    fold(n);
    for (int v = -1; v <= n; ++v) {
      const std::vector<int>* m = r->messageForValue(v);
      ASSERT_EQ(m != nullptr, v >= 0 && v < n) << paramNameForNumber(number) << " value " << v;
      if (!m) continue;
      ASSERT_EQ(*m, r->sysex.messages[static_cast<std::size_t>(v)]) << paramNameForNumber(number);
      ++messages;
      fold(static_cast<long long>(m->size()));
      for (int b : *m) fold(b);
    }
  }
  EXPECT_EQ(bindings, 7170u);
  EXPECT_EQ(messages, 554348u);
  EXPECT_EQ(hash, 15674285755641745703ull);
}

TEST(AuthoredRender, LibrarianGridCellsLieUnderTheSlots) {
  // The slot grid lays its names out in 105 x 14 slots, columns 133 apart, upper rows from 1 and
  // lower rows from 274 below the view's top (at the normal size). Its picture must hold every
  // slot, each on a cell of its own, with the column gap between two cells.
  std::unique_ptr<GFX_IBitmap> bg(GFX_LoadPNG((kResources + "/img/lib-blank-bg.png").c_str()));
  ASSERT_TRUE(bg && bg->getBits());
  ASSERT_GE(bg->getWidth(), 7 * 133 + 105);
  ASSERT_GE(bg->getHeight(), 274 + 16 * 14);
  auto at = [&](int x, int y) { return bg->getBits()[y * bg->getRowSpan() + x]; };
  for (int grid = 0; grid < 2; ++grid)
    for (int s = 0; s < 128; ++s) {
      const int left = (s / 16) * 133, top = (grid ? 274 : 1) + (s % 16) * 14;
      const GFX_pixel cell = at(left + 52, top + 7);
      EXPECT_EQ(GFX_GETA(cell), 255) << grid << "/" << s;
      EXPECT_EQ(at(left + 1, top + 7), cell) << grid << "/" << s;    // where the name starts
      EXPECT_EQ(at(left + 103, top + 7), cell) << grid << "/" << s;  // where a long one ends
      if (s < 112) { EXPECT_NE(at(left + 119, top + 7), cell) << grid << "/" << s; }
    }
}

TEST(AuthoredRender, FieldsStandOutFromTheirPageInEveryScheme) {
  // The MIDI port fields and the display's bank and program boxes: a field that takes the
  // page's own colour, without an edge, is not there for the eye. Top edge against the page
  // just above it, at the middle of each field.
  struct Field { const char* what; int x, top; };
  const Field fields[] = {{"OUT", 204, 738}, {"IN", 520, 738}, {"bank", 1161, 60}, {"program", 1207, 60}};
  for (int skin = 0; skin < 3; ++skin) {
    LoadedInterface& l = loaded(skin, 1.0);
    showMainTab(l, 2);
    const std::vector<GFX_pixel> px = renderWindow(l);
    ASSERT_FALSE(px.empty());
    const int w = l.graphics->Width();
    auto channelGap = [&](int x, int y0, int y1) {
      const GFX_pixel a = px[static_cast<std::size_t>(y0) * w + x], b = px[static_cast<std::size_t>(y1) * w + x];
      return std::max({std::abs(static_cast<int>(GFX_GETR(a)) - static_cast<int>(GFX_GETR(b))),
                       std::abs(static_cast<int>(GFX_GETG(a)) - static_cast<int>(GFX_GETG(b))),
                       std::abs(static_cast<int>(GFX_GETB(a)) - static_cast<int>(GFX_GETB(b)))});
    };
    for (const Field& f : fields) {
      int edge = 0;
      for (int y = f.top - 1; y <= f.top + 1; ++y) edge = std::max(edge, channelGap(f.x, y, f.top - 4));
      EXPECT_GE(edge, 40) << kSchemeNames[skin] << " " << f.what;
    }
  }
}

// WCAG 2 relative luminance of a colour of channels 0..255, and the contrast ratio of two.
double luminance(double r, double g, double b) {
  auto linear = [](double v) { return v / 255 <= 0.04045 ? v / 255 / 12.92 : std::pow((v / 255 + 0.055) / 1.055, 2.4); };
  return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}
double contrastRatio(double la, double lb) { return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05); }

// Calls f with every control the window shows: those of the graphics object and of layers shown.
void forEachShownControl(LoadedInterface& l, const std::function<void(IControl*)>& f) {
  std::function<void(ControlLayer*, IControl*)> walk = [&](ControlLayer* layer, IControl* c) {
    if (c && !c->IsHidden()) f(c);
    for (int i = 0; layer && layer->isVisible() && i < layer->controls.GetSize(); ++i) walk(nullptr, layer->controls.Get(i));
    for (int i = 0; layer && layer->isVisible() && i < layer->layers.GetSize(); ++i) walk(layer->layers.Get(i), nullptr);
  };
  for (int i = 0; i < l.graphics->NControls(); ++i) walk(nullptr, l.graphics->GetControl(i));
  for (int i = 0; i < l.graphics->NLayers(); ++i) walk(l.graphics->GetLayer(i), nullptr);
}

// Lowers *lowest to the lowest WCAG 2 contrast ratio of the texts of the active controls shown,
// against the window drawn without them, over the pixels their letters cover at least half (every
// text drawn once black and once white tells which), naming the control.
void lowerToTextContrast(LoadedInterface& l, std::pair<double, std::string>* lowest) {
  std::map<ITextControl*, IColor> shown;
  forEachShownControl(l, [&](IControl* c) {
    if (auto* t = dynamic_cast<ITextControl*>(c); t && !t->IsGrayed() && t->GetText()->mColor.A) shown[t] = t->GetText()->mColor;
  });
  auto paint = [&](const IColor* forced, bool hide) {
    for (auto& [t, colour] : shown) t->GetText()->mColor = forced ? *forced : colour, t->Hide(hide);
    return renderWindow(l);
  };
  const IColor black(255, 0, 0, 0), white(255, 255, 255, 255);
  const auto dark = paint(&black, false), light = paint(&white, false), bare = paint(nullptr, true);
  paint(nullptr, false);
  const int w = l.graphics->Width(), h = l.graphics->Height();
  for (auto& [t, c] : shown)  // texts are drawn unclipped: a little beyond their rectangle too
    for (int y = std::max(0, t->GetRECT()->T - 3); y < std::min(h, t->GetRECT()->B + 3); ++y)
      for (int x = std::max(0, t->GetRECT()->L - 3); x < std::min(w, t->GetRECT()->R + 3); ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        const double a = c.A / 255.0, r = GFX_GETR(bare[i]), g = GFX_GETG(bare[i]), b = GFX_GETB(bare[i]);
        const double ink = luminance(a * c.R + (1 - a) * r, a * c.G + (1 - a) * g, a * c.B + (1 - a) * b);
        const double ratio = contrastRatio(ink, luminance(r, g, b));
        if (GFX_GETG(light[i]) >= GFX_GETG(dark[i]) + 128 && ratio < lowest->first) *lowest = {ratio, paramNameForNumber(t->ParamIdx())};
      }
}

TEST(AuthoredRender, EveryTextStandsOutFromWhatIsBehindIt) {
  // At least 4.5:1 in every scheme, in the six tabs and the global settings (the image generator
  // holds the lettering of the images to the same, measuring it as it draws). Prints the lowest.
  for (int skin = 0; skin < 3; ++skin) {
    LoadedInterface& l = loaded(skin, 1.0);
    std::pair<double, std::string> lowest{21, ""};
    for (int v = 0; v < 7; ++v) {
      l.plug.GetParam(kMultiSettings)->Set(v == 6);
      showMainTab(l, v % 6);
      lowerToTextContrast(l, &lowest);
    }
    l.plug.GetParam(kMultiSettings)->Set(0);
    EXPECT_GE(lowest.first, 4.5) << kSchemeNames[skin] << ": " << lowest.second;
    std::printf("texts of the controls, %s: lowest %.2f:1 (%s)\n", kSchemeNames[skin], lowest.first, lowest.second.c_str());
  }
}

TEST(AuthoredRender, LockButtonsStandOutFromTheirPanelInEveryScheme) {
  // Open and closed, each pixel a lock covers whole is at least 3:1 against what lies under it, in
  // the six tabs and the global settings.
  for (int skin = 0; skin < 3; ++skin) {
    LoadedInterface& l = loaded(skin, 1.0);
    GFX_IBitmap* lock = l.manager->getImageByName(l.graphics, "BUTTON_LOCK_ID").mData;
    const int side = lock->getWidth();
    std::pair<double, std::string> lowest{21, ""};
    for (int v = 0; v < 7; ++v) {
      l.plug.GetParam(kMultiSettings)->Set(v == 6);
      showMainTab(l, v % 6);
      std::vector<IControl*> locks;
      forEachShownControl(l, [&](IControl* c) {
        if (auto* b = dynamic_cast<IBitmapControl*>(c); b && b->GetBitmap()->mData == lock) locks.push_back(c), c->Hide(true);
      });
      const std::vector<GFX_pixel> bare = renderWindow(l);
      for (IControl* c : locks)
        for (int y = 0; y < lock->getHeight(); ++y)
          for (int x = 0; x < side; ++x) {  // both frames over the control's one
            const GFX_pixel ink = lock->getBits()[y * lock->getRowSpan() + x];
            const GFX_pixel under = bare[static_cast<std::size_t>(c->GetRECT()->T + y % side) * l.graphics->Width() + c->GetRECT()->L + x];
            const double ratio = contrastRatio(luminance(GFX_GETR(ink), GFX_GETG(ink), GFX_GETB(ink)), luminance(GFX_GETR(under), GFX_GETG(under), GFX_GETB(under)));
            if (GFX_GETA(ink) == 255 && ratio < lowest.first) lowest = {ratio, paramNameForNumber(c->ParamIdx())};
          }
      for (IControl* c : locks) c->Hide(false);
    }
    l.plug.GetParam(kMultiSettings)->Set(0);
    EXPECT_GE(lowest.first, 3.0) << kSchemeNames[skin] << ": " << lowest.second;
  }
}

TEST(AuthoredRender, ButtonLabelsStayInsideTheirButtons) {
  // The tab and part buttons: 112 x 30 in a row of six, 60 x 40 in a column of sixteen, each in
  // two states. Outside each button's rounded edge (its outermost pixel columns) nothing is
  // drawn: a label that reaches there ("PART 16" in bold) spills out of its button.
  struct Strip { const char* file; int w, h; bool sideBySide; };
  for (const Strip& st : {Strip{"main-tab-selector.png", 112, 30, false}, Strip{"main-part-selector.png", 60, 40, true}}) {
    std::unique_ptr<GFX_IBitmap> bm(GFX_LoadPNG((kResources + "/img/" + st.file).c_str()));
    ASSERT_TRUE(bm && bm->getBits()) << st.file;
    const int span = bm->getRowSpan();
    for (int left = 0; left < bm->getWidth(); left += st.w)
      for (int x : {left, left + st.w - 1})
        for (int y = 0; y < bm->getHeight(); ++y)
          EXPECT_EQ(GFX_GETA(bm->getBits()[y * span + x]), 0) << st.file << " at " << x << "," << y;
  }
}

TEST(AuthoredRender, StatusWordsStayInsideTheirBoxAtEverySize) {
  // The status lines at every size, with the longest words the editor writes there and longer:
  // something is drawn, and nothing left or right of the box (centred, a text too wide starts
  // left of it, over the frame).
  for (double scale : {0.85, 1.0, 1.15})
    for (int line : {kControlDisplayName, kControlDisplayValue})
      for (const char* words : {"Waiting for Dorvik: it reconnects by itself", "Waiting for Dorvik: it reconnects by itself, and more words than a box holds"}) {
        LoadedInterface& l = loaded(0, scale);
        auto* t = static_cast<ITextControl*>(l.record(line)->controls.front());
        const std::vector<GFX_pixel> bare = (t->SetTextFromPlug(""), renderWindow(l)), px = (t->SetTextFromPlug(words), renderWindow(l));
        int drawn[2] = {0, 0};  // outside, inside
        for (std::size_t i = 0; i < px.size() && px.size() == bare.size(); ++i)
          drawn[t->GetRECT()->Contains(static_cast<int>(i % l.graphics->Width()), t->GetRECT()->T)] += px[i] != bare[i];
        EXPECT_TRUE(drawn[1] > 0 && drawn[0] == 0) << scale << " " << words << ": " << drawn[0] << " pixels outside";
        t->SetTextFromPlug("");
      }
}

TEST(AuthoredRender, StatusTextsStandWholeAndKeepTheFileTheyNameInEverySchemeAndSize) {
  const std::string name = "A bank named at some length by its maker, who had much to say of it.syx";
  const std::string named = librarianNamedReason(name, "is read-only");
  for (int skin = 0; skin < 3; ++skin)
    for (double scale : {0.85, 1.0, 1.15}) {
      LoadedInterface& l = loaded(skin, scale);
      renderWindow(l);  // text is measured on the window's drawing
      auto line = [&](int n) { return static_cast<ITextControl*>(l.record(n)->controls.front()); };
      for (const auto& [n, text] : {std::pair<int, std::string>{kControlDisplayName, MidiPortOpenHungText()},
                                    {kControlDisplayValue, MidiPortOpenHungDetail()}, {kControlDisplayName, "Bank NOT saved!"}}) {
        line(n)->SetTextFromPlug(text.c_str());
        EXPECT_EQ(line(n)->FittedText(l.graphics), text) << kSchemeNames[skin] << " " << scale;
      }
      line(kControlDisplayValue)->SetTextFromPlug(named.c_str(), name);
      const std::string shown = line(kControlDisplayValue)->FittedText(l.graphics);
      EXPECT_TRUE(shown.compare(0, 3, "A b") == 0 && shown.find("...") != std::string::npos &&
                  shown.size() > std::string(".syx is read-only").size() &&
                  shown.compare(shown.size() - 17, 17, ".syx is read-only") == 0) << kSchemeNames[skin] << " " << scale << ": " << shown;
      line(kControlDisplayName)->SetTextFromPlug(""), line(kControlDisplayValue)->SetTextFromPlug("");
    }
}

TEST(AuthoredRender, DefaultStateRendersTheSameEveryTime) {
  // Drawing the same state again, after other tabs were shown, gives the same pixels; so does
  // a second editor built from the same resources.
  LoadedInterface& first = loaded(0, 1.0);
  showMainTab(first, 2);
  const std::vector<GFX_pixel> once = renderWindow(first);
  for (int tab : {5, 0, 1, 3}) {
    showMainTab(first, tab);
    renderWindow(first);
  }
  showMainTab(first, 2);
  const std::vector<GFX_pixel> again = renderWindow(first);
  LoadedInterface second(0, 1.0, true);
  showMainTab(second, 2);
  const std::vector<GFX_pixel> other = renderWindow(second);
  ASSERT_FALSE(once.empty());
  ASSERT_EQ(once.size(), again.size());
  ASSERT_EQ(once.size(), other.size());
  std::size_t differAgain = 0, differOther = 0;
  for (std::size_t i = 0; i < once.size(); ++i) {
    differAgain += once[i] != again[i];
    differOther += once[i] != other[i];
  }
  EXPECT_EQ(differAgain, 0u);
  EXPECT_EQ(differOther, 0u);
}

}  // namespace
