// Shared pieces of the editor tests: a temporary data folder (XDG_DATA_HOME), a headless graphics
// object whose images are blank bitmaps, an interface description written for these tests and
// enciphered the way the build does, and a Sorvanta subclass that records what it sends.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "GFX_Bitmap.h"
#include "IGraphics.h"
#include "MIDIMessageManager.h"
#include "MIDIMessageSender.h"
#include "Sorvanta.h"
#include "Tea.h"
#include "UIConfigKey.h"

namespace editortest {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

inline std::string encipher(const std::string& plain) {
  std::string out = plain;
  out.resize((plain.size() + 7) / 8 * 8, '\0');
  unsigned int key[4];
  UIConfigKey::words(key);
  for (size_t i = 0; i < out.size(); i += 8) Tea::simpleencrypt(reinterpret_cast<unsigned char*>(&out[i]), key);
  return out;
}

// Blank bitmaps of 8 x 8 (stacked frames where a control needs them); no window ever.
class HeadlessGraphics : public IGraphics {
public:
  HeadlessGraphics(IPluginBase* plug, int w, int h) : IGraphics(plug, w, h, 0) {}
  ~HeadlessGraphics() override { workAfterTearDown = RunWindowWork() || workAfterTearDown; }  // a last tick
  static inline bool workAfterTearDown = false;  // anything queued for the window outlived the plug-in
  GFX_IBitmap* OSLoadBitmap(int id, const char*) override {
    if (id == 113) return new GFX_MemBitmap(40, 40 * 128, 4);
    if (id == 132) return new GFX_MemBitmap(160, 40, 4);
    if (id == 301) return new GFX_MemBitmap(20, 40, 4);
    return new GFX_MemBitmap(8, 8, 4);
  }
  char* OSLoadFile(int, const char*) override { return nullptr; }
  std::string openedUrl;
  bool OpenURL(const char* url, const char*, const char*, const char*) override {
    openedUrl = url ? url : "";
    return true;
  }
};

inline IGraphics* makeHeadless(Sorvanta* plug, int w, int h) { return new HeadlessGraphics(plug, w, h); }

// The SysEx value lists of the description: 0 filter 1 cutoff, 1 filter 2 cutoff, 2 global
// device id (part-less), 3 oscillator 1 detune.
inline std::string sysexDocument() {
  return "<sysexlist>"
         "<sysex><values><value>3E 10 00 20 00 02 05 00</value></values></sysex>"
         "<sysex><values><value>3E 10 00 20 00 02 06 00</value></values></sysex>"
         "<sysex><values><value>3E 10 00 24 00 05 00</value></values></sysex>"
         "<sysex><values><value>3E 10 00 20 00 02 07 00</value></values></sysex>"
         "<sysex><values><value>3E 10 00 20 00 00 3A 00</value></values></sysex>"
         "</sysexlist>";
}

// The interface: main tabs 0..5 under "root", per-part pages with numbered zones, the named
// layers the editor core looks up, the display text controls and a few bound controls.
inline std::string uiDocument() {
  std::ostringstream x;
  x << "<uiconfig><valueLists>"
       "<list name=\"dorvikModel\"><value>Dorvik A</value><value>Dorvik B</value></list>"
       "<list name=\"lfoShape\"><value>Sine</value><value>Triangle</value></list>"
       "<list name=\"tempoValues\"><value>120</value><value>121</value></list>"
       "</valueLists>"
       "<background imageId=\"MAIN_BG_ID\" position=\"0,0\"/>"
       "<layer name=\"root\" id=\"1\">"
       "<layer name=\"multiTab\" id=\"0\"/>"
       "<layer name=\"librarianTab\" id=\"1\"/>"
       "<layer name=\"oscillators\" id=\"2\"><multilayer name=\"oscPart\" create=\"16\">"
       "<knobcontrol type=\"ccKnob\" name=\"Level\" paramId=\"kOscillator1Level\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"150,200\" valueBounds=\"100,0,127,1\" ccNumber=\"20\"/>"
       "<knobcontrol type=\"ccKnob\" name=\"Semitone\" paramId=\"kOscillator2Semitone\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"200,200\" valueBounds=\"64,0,127,1\" ccNumber=\"21\"/>"
       "<knobcontrol type=\"seKnob\" name=\"Detune\" paramId=\"kOscillator1Detune\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"250,200\" valueBounds=\"64,0,127,1\" sysexIndex=\"3\" changingByte=\"8\"/>"
       "<knobcontrol type=\"seKnob\" name=\"Unisono\" paramId=\"kOscillatorUnisono\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"500,200\" valueBounds=\"0,0,6,1\" sysexIndex=\"4\" changingByte=\"8\"/>"
       "<multiFx type=\"Knob\" name=\"Shape\" paramId=\"kOscillator1Shape\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"300,200\" valueBounds=\"0,0,7,1\"/>"
       "<multiFx type=\"Knob\" name=\"Channel\" paramId=\"kMultiPartMIDICh\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"350,200\" valueBounds=\"2,0,17,1\"/>"
       "<layer name=\"oscZone1\" id=\"10\"><multiFx type=\"Knob\" name=\"FM\" paramId=\"kOscillator1FMAmount\" "
       "imageId=\"IKNOBROTATERCONTROL_ID2\" position=\"400,200\" valueBounds=\"0,0,127,1\"/></layer>"
       "<layer name=\"oscZone2\" id=\"20\"><multiFx type=\"Knob\" name=\"PWM\" paramId=\"kOscillator1PWMAmount\" "
       "imageId=\"IKNOBROTATERCONTROL_ID2\" position=\"450,200\" valueBounds=\"0,0,127,1\"/></layer>"
       "<layer name=\"oscZone3\" id=\"30\"/>"
       "<layer name=\"oscZone4\" id=\"40\"/><layer name=\"oscZone5\" id=\"50\"/><layer name=\"oscZone8\" id=\"80\"/>"
       "</multilayer></layer>"
       "<layer name=\"filtersEnvelopes\" id=\"3\"><multilayer name=\"filterPart\" create=\"16\">"
       "<knobcontrol type=\"seKnob\" name=\"Cutoff 1\" paramId=\"kFilter1Cutoff\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"100,200\" valueBounds=\"64,0,127,1\" sysexIndex=\"0\" changingByte=\"8\" "
       "biDirectLink=\"kFilter2Cutoff,kFilterLinkSwitch\"/>"
       "<knobcontrol type=\"seKnob\" name=\"Cutoff 2\" paramId=\"kFilter2Cutoff\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"150,200\" valueBounds=\"64,0,127,1\" sysexIndex=\"1\" changingByte=\"8\" "
       "biDirectLink=\"kFilter1Cutoff,kFilterLinkSwitch\"/>"
       "<multiFx type=\"Knob\" name=\"Link\" paramId=\"kFilterLinkSwitch\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"200,200\" valueBounds=\"0,0,3,1\"/>"
       "<multiFx type=\"Knob\" name=\"Type 1\" paramId=\"kFilter1Type\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"250,200\" valueBounds=\"1,0,12,1\"/>"
       "<multiFx type=\"Knob\" name=\"Type 2\" paramId=\"kFilter2Type\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"300,200\" valueBounds=\"1,0,12,1\"/>"
       "</multilayer></layer>"
       "<layer name=\"lfoModMatrix\" id=\"4\"/><layer name=\"effectsArp\" id=\"5\"/>"
       "<radio name=\"Main Tab\" paramId=\"kMainTab\" imageId=\"BUTTON_TAB_TOPBAR_ID\" position=\"10,10\" buttons=\"6\" horizontal=\"true\"/>"
       "<radio name=\"Quick Tab\" paramId=\"kQuickTab\" imageId=\"BUTTON_TAB_TOPBAR_ID\" position=\"100,10\" buttons=\"16\" horizontal=\"true\"/>"
       "<autooff name=\"Randomize\" paramId=\"kRandomize\" imageId=\"ID_RANDOMIZE\" position=\"30,10\"/>"
       "<display bounds=\"600,10,200,20\" displaySize=\"2\" paramId=\"kControlDisplayName\"/>"
       "<display bounds=\"600,30,200,20\" displaySize=\"2\" paramId=\"kControlDisplayValue\"/>"
       "<display bounds=\"600,50,200,20\" displaySize=\"2\" paramId=\"kControlDisplayCC\"/>"
       "<display bounds=\"600,70,200,20\" displaySize=\"2\" paramId=\"kControlDisplayPatch\"/>"
       "<display bounds=\"600,90,200,20\" displaySize=\"2\" paramId=\"kControlDisplayCategory\"/>"
       "<slidercontrol type=\"seSliderVer\" name=\"Device Id\" paramId=\"kGlobalSysExID\" imageId=\"SLIDER_PYSTY\" "
       "position=\"820,360\" length=\"60\" valueBounds=\"0,0,127\" sysexIndex=\"2\" changingByte=\"7\"/>"
       "<multiFx type=\"Knob\" name=\"Model\" paramId=\"kDorvikModel\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"900,200\" valueBounds=\"1,0,1,1\"/>"
       "<multiFx type=\"Knob\" name=\"Size\" paramId=\"kUserInterfaceSize\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"900,250\" valueBounds=\"1,0,3,1\"/>"
       "<multiFx type=\"Knob\" name=\"Style\" paramId=\"kUserInterfaceStyle\" imageId=\"IKNOBROTATERCONTROL_ID2\" "
       "position=\"900,300\" valueBounds=\"0,0,2,1\"/>"
       "</layer>";
  const char* named[] = {"firstRunNotification", "aboutWindow", "miniMixer", "multiModeSettingsPage1", "multiModeSettingsPage2",
                         "filter1LP", "filter1BP", "filter1HP", "filter1Notch", "filter1CombMinus", "filter1CombPlus",
                         "filter2LP", "filter2BP", "filter2HP", "filter2Notch", "filter2CombMinus", "filter2CombPlus",
                         "bankAndProgramMulti", "categoryLimit", "searchField", "patchRename",
                         "midiFilterSettings", "delayFreeLayer", "delayClockedLayer"};
  int id = 20;
  for (const char* n : named) x << "<layer name=\"" << n << "\" id=\"" << id++ << "\"/>";
  for (int p = 1; p <= 16; ++p) x << "<layer name=\"bankAndProgram" << (p < 10 ? "0" : "") << p << "\" id=\"" << id++ << "\"/>";
  x << "</uiconfig>";
  return x.str();
}

// What leaves through the framework's send slots.
class RecordingSorvanta : public Sorvanta {
public:
  // The library is read beside the build; the tests look at it as a user's first request would,
  // unless they ask to find it still loading.
  explicit RecordingSorvanta(IPluginInstanceInfo info, bool libraryInPlace = true) : Sorvanta(info) {
    if (libraryInPlace) awaitLibrary();
  }
  // The engine's worker jobs call the two overrides below: cancel and join them before the lists
  // (and this class's part of the object) go. Sorvanta's own destructor joins them only after
  // ours has run, which is too late here.
  ~RecordingSorvanta() override {
    midiIOSet = false;
    if (midiManager) midiManager->shutdown();
  }
  // Called from the main thread and from the engine's worker threads, which may send at once.
  // Tests read the lists directly, but only once the engine has gone quiet.
  bool SendMidiMsg(IMidiMsg* msg) override {
    std::lock_guard<std::mutex> g(sentLock);
    shortSent.push_back(*msg);
    return true;
  }
  bool SendMidiSysex(unsigned char* bytes, int size) override {
    std::lock_guard<std::mutex> g(sentLock);
    sysexSent.emplace_back(bytes, bytes + size);
    return true;
  }
  // Whole messages as they are (F0 .. F7): the store jobs send this way.
  bool SendMidiSysex2(std::vector<unsigned char> bytes) override {
    std::lock_guard<std::mutex> g(sentLock);
    sysexSent.push_back(std::move(bytes));
    return true;
  }
  std::mutex sentLock;
  std::vector<IMidiMsg> shortSent;
  std::vector<std::vector<unsigned char>> sysexSent;
};

// An output set, and the engine sending without pacing or pauses: for inputs that make it send.
inline RecordingSorvanta* sendingAtOnce(RecordingSorvanta* p) {
  p->midiIOSet = true;
  p->GetParam(kDeviceOutSelection)->Set(1);
  p->midiManager->setPacingOverride(1);
  p->midiManager->sender()->pauseScalePercent = 0;
  return p;
}

// A temporary data folder and resources folder; the plug-in is built against them.
class EditorEnvironment {
public:
  EditorEnvironment() {
    char tmpl[] = "/tmp/sorvanta-editor-XXXXXX";
    root = mkdtemp(tmpl);
    setenv("XDG_DATA_HOME", root.c_str(), 1);
    dataFolder = root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
    mkdirs(dataFolder);
    resources = root + "/resources";
    mkdirs(resources);
    writeFile(resources + "/uiconfig.tea", encipher(uiDocument()));
    writeFile(resources + "/sysex.tea", encipher(sysexDocument()));
    Sorvanta::graphicsFactoryOverride = makeHeadless;
    Sorvanta::resourcesFolderOverride = resources;
    Sorvanta::portNamesOverride = [](bool input) {
      return input ? std::vector<std::string>{"Select MIDI Device", "In A"}
                   : std::vector<std::string>{"Select MIDI Device", "Out A"};
    };
  }
  ~EditorEnvironment() {
    Sorvanta::graphicsFactoryOverride = nullptr;
    Sorvanta::portNamesOverride = nullptr;
    Sorvanta::resourcesFolderOverride.clear();
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) {
    }
  }
  std::string settingsPath() const { return dataFolder + "Sorvanta Editor UI.txt"; }
  std::string logPath() const { return dataFolder + "Sorvanta Editor LOG.txt"; }
  static void mkdirs(const std::string& path) {
    std::string partial;
    std::stringstream ss(path);
    std::string piece;
    while (std::getline(ss, piece, '/')) {
      if (piece.empty()) continue;
      partial += "/" + piece;
      mkdir(partial.c_str(), 0755);
    }
  }
  std::string root, dataFolder, resources;
};

inline IPluginInstanceInfo instanceInfo() {
  IPluginInstanceInfo info;
  info.mBundleID = "com.harrowgatesoundlabs.audiounit.SorvantaEditor.x64";
  return info;
}

}  // namespace editortest
