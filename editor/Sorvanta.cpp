// Construction and tear-down of the plug-in object.
//
// The constructor is one long ordered sequence: the framework must be initialised before any
// parameter is touched, the interface description read before any layer or control is looked up,
// and the MIDI message manager made before Reset. It starts no thread and sends nothing; the
// stored MIDI ports are reopened in one of its last steps. A layer or parameter the interface
// description lacks leaves its pointer null; every later use checks.
#include "Sorvanta.h"

#include <cstdio>
#include <ctime>
#include <sstream>

#include "ControlLayer.h"
#include "DataFolder.h"
#include "EditorLog.h"
#include "EditorSettings.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IGraphicsGtk.h"
#include "IParam.h"
#include "LibrarianSelection.h"
#include "PatchManager.h"
#include "ProgressIndicator.h"
#include "UIConfigManager.h"
#include "UTIL_File.h"

Sorvanta::GraphicsFactory Sorvanta::graphicsFactoryOverride = nullptr;
std::string Sorvanta::resourcesFolderOverride;
UIConfigManager::LibrarianViewFactory Sorvanta::librarianViewFactory;
UIConfigManager::PortNamesProvider Sorvanta::portNamesOverride;

namespace {

const char* const kProductName = SorvantaIdentity::kEffectName;

// The named layers of the constructor's table whose visibility it leaves hidden.
const char* const kHiddenLayers[] = {
    "multiModeSettingsPage2", "effect1Overlayer", "effect2Overlayer", "filter1LP", "filter1BP", "filter1HP",
    "filter1Notch", "filter1CombMinus", "filter1CombPlus", "filter2LP", "filter2BP", "filter2HP", "filter2Notch",
    "filter2CombMinus", "filter2CombPlus", "saveChangesLayer", "discardChangesLayerRight", "keepBankOpenLayer",
    "aboutWindow", "firstRunNotification", "bankPatchConflictWindow", "midiFilterSettings", "patchRename",
    "categoryLimit", "searchField"};

// Takes the keys that no control under the pointer used: Escape closes the first-run notice.
class NoticeKeys : public IControl {
public:
  explicit NoticeKeys(Sorvanta* plug) : IControl(plug, IRECT()), m_plug(plug) {}
  bool OnKeyDown(int, int, int key) override { return key == kKeyEscape && m_plug->closeFirstRunNotice(); }
  bool Draw(IGraphics*) override { return false; }

private:
  Sorvanta* m_plug;
};

// MIDI filter defaults: parameter, switch value, and the member the constructor sets beside the
// control (block flag index for the 14 pass-through switches).
struct FilterDefault {
  int param;
  int value;
};
const FilterDefault kFilterDefaults[] = {
    {kMIDIFilterDAWCCPassThrough, 1},  {kMIDIFilterDAWPCPassThrough, 0},   {kMIDIFilterDAWNotePassThrough, 1},
    {kMIDIFilterDAWPPPassThrough, 1},  {kMIDIFilterDAWPAPassThrough, 1},   {kMIDIFilterDAWCAPassThrough, 1},
    {kMIDIFilterDAWSEPassThrough, 0},  {kMIDIFilterHWCCPassThrough, 1},    {kMIDIFilterHWPCPassThrough, 0},
    {kMIDIFilterHWNotePassThrough, 1}, {kMIDIFilterHWPPPassThrough, 1},    {kMIDIFilterHWPAPassThrough, 1},
    {kMIDIFilterHWCAPassThrough, 1},   {kMIDIFilterHWSEPassThrough, 1},    {kMIDIFilterTrackIncomingMIDI, 1},
    {kMIDIFilterDirectToHardware, 1},  {kMIDIFilterToDAWBuffer, 0},        {kSendMIDIClockPointer, 0},
    {kSendMIDIClockInfo, 0}};

// The pages shown when the editor opens: the main page, the first multi settings page and the
// first part's bank and program boxes.
const char* const kStartupLayers[] = {"root", "multiModeSettingsPage1", "bankAndProgram01"};

}  // namespace

Sorvanta::Sorvanta(IPluginInstanceInfo info)
    : IPluginAU(info, kNumAutomatedParams, "2-2", 0, kProductName, "", SorvantaIdentity::kMfrName,
                SorvantaIdentity::kVendorVersion, static_cast<int>(FourCC("t9vk")), static_cast<int>(FourCC("HsL1")),
                SorvantaIdentity::kLatency, true, true, true, 0) {
  for (int p = 0; p < kNumParts; ++p) linkMode[p] = 1;
  SetDirectMidiRefreshTest([](const unsigned char* bytes, size_t size, void*) { return MIDIMessageManager::isRefresh(bytes, size); });
  randomValues.assign(393, 0);
  rng.seed(static_cast<unsigned>(time(nullptr)));
  sampleRateCopy = GetSampleRate();

  // Paths, log and settings (read before anything is built: scheme and size decide the build).
  const std::string folder = getDataFolder();
  logFilePath = folder + kProductName + " LOG.txt";
  std::string logRefused;
  debugLogOn = DebuggerOutput::openDebugFile(logFilePath, &logRefused);
  if (!logRefused.empty()) showStatusAndReason(std::string(kProductName) + " LOG.txt NOT written!", UTIL_ShortReason(logRefused));
  settingsFilePath = folder + kProductName + " UI.txt";
  const std::string settingsRefused = readSettingsFile();

  log("INITIALIZATION STARTED!");
  SetLatency(SorvantaIdentity::kLatency);
  log("Data folder located at " + folder);
  if (!settingsRefused.empty()) log(settingsRefused);

  // 1500 x 1.15 is just below 1725 in double precision: the large window is 1724 wide.
  const int width = static_cast<int>(SorvantaIdentity::kWindowWidth * sizeFactor);
  const int height = static_cast<int>(SorvantaIdentity::kWindowHeight * sizeFactor);
  IGraphics* graphics = nullptr;
  if (graphicsFactoryOverride) {
    graphics = graphicsFactoryOverride(this, width, height);
  } else {
    IGraphicsGtk* gtk = new IGraphicsGtk(this, width, height, 0);
    gtk->SetBundleID(info.mBundleID.c_str());  // the instance is initialised below
    graphics = gtk;
  }
  // The window's frame is drawn under everything and never hidden: decoding it can start now,
  // beside the build of the interface.
  graphics->AttachBackground(104, "resources/img/main-bg-frame.png", sizeFactor);

  uiConfig = new UIConfigManager();
  if (debugLogOn) uiConfig->setLog([this](const std::string& line) { log(line); });
  if (!resourcesFolderOverride.empty()) uiConfig->setResourcesFolder(resourcesFolderOverride);
  if (portNamesOverride) uiConfig->setPortNamesProvider(portNamesOverride);
  uiConfig->setStartupLayers(std::vector<std::string>(std::begin(kStartupLayers), std::end(kStartupLayers)));
  uiConfig->setLibrarianViewFactory(librarianViewFactory ? librarianViewFactory : &Sorvanta::makeLibrarianView);
  // The resources are read and parsed beside the set-up below, and the interface's fonts made.
  uiConfig->readResourcesAhead(graphics);
  IGraphics::PrepareTextAhead(UIConfigManager::textStyles(sizeFactor));

  initialize(info, 0, kNumParams, "2-2", 0, kProductName, "", SorvantaIdentity::kMfrName,
             SorvantaIdentity::kVendorVersion, static_cast<int>(FourCC("t9vk")), static_cast<int>(FourCC("HsL1")),
             SorvantaIdentity::kLatency, true, true, true, 0);
  addNonAutomateParamCount(kNumParams);

  patchManager = new PatchManager(this);
  log("PATCH MANAGER INITIALIZED...");
  librarian = new PatchLibrarian(this);
  log("PATCH LIBRARIAN INITIALIZED...");
  routeLibrarianLog();
  // Read beside the build: the first page never waits for the library. Until it is in place the
  // grids and bank menus say so, and the first request that needs it waits (awaitLibrary).
  librarian->startLoading(getPatchesFolderStr());

  log("STARTING USER INTERFACE CONFIGURATION...");
  uiConfig->readUIConfig(graphics, this, librarian, colourScheme, sizeFactor);
  log("USER INTERFACE CONFIGURATION COMPLETED... BUILDING UI");

  lookUpNamedLayers();
  // Attached first, so that its canvas is made (and mapped in on a helper) while the fonts of the
  // start-up pages are made and their images decode.
  AttachGraphics(graphics);
  log("Layers attached...");
  // The start-up pages are shown now: their images can decode while the rest is set up.
  graphics->DecodeShownImagesAhead();
  randomizeButton = mainControl(kRandomize);
  if (randomizeButton) randomizeButton->GrayOut(true);

  attachProgressOverlay();
  initMidiEngine();
  MakeDefaultPreset("-", 64);
  patchManager->init();

  quickTabAction = GetParam(kQuickTab)->GetControlAction();
  mainTabAction = GetParam(kMainTab)->GetControlAction();
  log("Control set 1 attached");

  buildBankSelectionList(kPatchSelectionListUpper, "Bank Selection List 1", 0);
  buildBankSelectionList(kPatchSelectionListLower, "Bank Selection List 2", 1);

  initLibrarianUI();
  log("Librarian menus attached");

  statusLine = dynamic_cast<ITextControl*>(mainControl(kControlDisplayName));
  valueLine = dynamic_cast<ITextControl*>(mainControl(kControlDisplayValue));
  ccLine = dynamic_cast<ITextControl*>(mainControl(kControlDisplayCC));
  categoryLine = dynamic_cast<ITextControl*>(mainControl(kControlDisplayCategory));
  patchLine = dynamic_cast<ITextControl*>(mainControl(kControlDisplayPatch));
  buildLine = dynamic_cast<ITextControl*>(mainControl(kControlDisplayBuild));
  if (IControl* keep = mainControl(kKeepSelectedBank)) keep->SetValueFromUserInput(GetParam(kKeepSelectedBank)->GetNormalized(1));
  overrideTempoAction = GetParam(kOverrideTempo)->GetControlAction();
  librarianView = uiConfig->librarianView;

  for (int p = 0; p < kNumParts; ++p)
    if (IControl* ch = mainControl(kMultiPartMIDICh + p))
      ch->SetValueFromUserInput(GetParam(kMultiPartMIDICh + p)->GetNormalized(p + 2));
  log("Control set 2 attached... Resetting");

  Reset();
  for (int list : {kPatchSelectionListUpper, kPatchSelectionListLower})
    if (IControl* c = mainControl(list)) c->SetValueFromPlug(0.0);

  setParamFromPlug(kOverrideTempo, 1);
  // The id the editor speaks at until a synth answers, not the interface's default (16): a project
  // saved before any answer would send its whole push, at its next start, where nobody listens.
  setParamFromPlug(kGlobalSysExID, deviceId);
  setParamFromPlug(kDorvikModel, 1);
  hardwareModel = truncToInt(paramValue(kDorvikModel));
  setParamFromPlug(kDatatype, 0);
  if (IControl* c = mainControl(kDatatype)) c->SetValueFromUserInput(0.0);
  GetParam(kControlProgBank)->SetClamped(1.0);
  graphics->SetParameterFromPlug(kControlProgBank, 1.0, true);
  applyProgramModeSwitches();  // "Request on program" is on: program steps fetch their sound
  setParamFromPlug(kQuickTab, 0);
  currentPart = truncToInt(paramValue(kQuickTab));
  // The pacing setting has no control in the interface, so nothing else gives it its range: left
  // at a switch's 0..1, the 2 (100 ms) below would clamp to 1 and every job would pace at 75 ms.
  if (IParam* timer = GetParam(kLibSyncTimer)) {
    const std::string name = timer->GetNameForHost();
    timer->InitInt(name.c_str(), 2, 0, 7);
  }
  setParamFromPlug(kLibSyncTimer, 2);

  if (progressLayer) graphics->AttachLayer(progressLayer);
  applySettingsParameters();
  showFirstRunNotice();
  graphics->AttachKeyCatcher(new NoticeKeys(this));
  applyMidiFilterDefaults();

  // Push every non-default value to its controls once the whole tree exists.
  for (int i = 0; i < kNumParams; ++i) {
    const int v = truncToInt(GetParam(i)->Value());
    if (v > 0) graphics->SetParameterFromPlug(i, v, false);
  }
  if (paramValue(kGlobalLocalControl) == 0.0) localControlOn = false;
  log("Plug-in is ready to load!");

  reopenStoredPorts();
  for (int p = 0; p < kNumParts; ++p) setParamFromPlug(kFilterLinkValue + p, 1);
  if (!pendingStatus.first.empty()) showStatusAndReason(pendingStatus.first, pendingStatus.second, pendingStatusName);
  startProblem = pendingStatus.first;
  pendingStatus = {};
  pendingStatusName.clear();
  // Whatever the settings and values above showed besides: its images decode on helper threads
  // while the host opens the window, so the first paint waits only for what is not done by then.
  graphics->DecodeShownImagesAhead();
  // The other tabs' pages decode once the first page is drawn: a first visit finds them ready.
  graphics->DecodeAfterFirstDraw(TabSwitchFunctions::tabImages(this, currentPart));
  constructionDone = true;
}

Sorvanta::~Sorvanta() {
  // The port watch calls into this object: it ends first.
  StopDirectMidiWatch();
  // Lines the audio callback raised since the last log call would otherwise be lost.
  if (debugLogOn) renderLogLines.drainTo(logFilePath);
  // Refuse every later send first: a worker job, the audio callback or the MIDI input may still
  // try while the object is taken apart.
  midiIOSet = false;
  // End every sender job (cancel flag, clock running flag), join them and refuse new ones before
  // the ports go: a job may be sending through the output at this moment. The manager itself
  // stays until the input is stopped, since the input thread calls our handlers.
  if (midiManager) midiManager->shutdown();
  // Stop direct MIDI input before any manager goes.
  CloseDirectMidiPorts();
  // No thread hands the window anything now. What is queued reaches the managers, the engine's
  // host and the menus: it goes before they do.
  dropWindowWork();
  // Only now the managers: the dump jobs write the patch manager's names, so it must outlive
  // them (deleting it first, while a job may still run, would be a use after free).
  shutdownMidiEngine();
  delete patchManager;
  patchManager = nullptr;
  shutdownLibrarianUI();
  if (uiConfig) {
    if (GetGUI()) uiConfig->ClearImageCache();
    delete uiConfig;
    uiConfig = nullptr;
  }
  delete librarian;
  librarian = nullptr;
  // The framework base deletes the graphics object (layers, controls), parameters and ports.
}

// ---------------------------------------------------------------- construction steps

std::string Sorvanta::readSettingsFile() {
  UTIL_FileCheck check;
  settingsLines = EditorSettings::read(settingsFilePath, &check);
  // A missing file is an editor that was never set up, which says nothing; one that is there
  // but refused is worth a word on standard error and in the log.
  std::string refused;
  if (!check.ok() && check.status != UTIL_FileStatus::missing) {
    refused = "DEFAULT SETTINGS: " + settingsFilePath + " " + check.why() + ": the default settings are used";
    fprintf(stderr, "%s\n", refused.c_str());
  }
  const double factor = EditorSettings::sizeFactorFromWord(settingsLines[EditorSettings::kLineSize]);
  if (factor > 0.0) sizeFactor = factor;
  const int scheme = EditorSettings::schemeFromWord(settingsLines[EditorSettings::kLineScheme]);
  if (scheme >= 0) colourScheme = scheme;
  storedPortsFound = !settingsLines[EditorSettings::kLineMidiOut].empty();
  return refused;
}

void Sorvanta::lookUpNamedLayers() {
  // The interface description must define every layer named here; a missing one is logged and
  // its uses are skipped.
  const char* const required[] = {"root", "oscillators", "filtersEnvelopes", "lfoModMatrix", "effectsArp",
                                  "delayFreeLayer", "delayClockedLayer", "miniMixer", "patchLibrarian",
                                  "multiModeSettingsPage1", "bankAndProgram01", "bankAndProgramMulti"};
  for (const char* name : required)
    if (!getLayer(name)) log(std::string("CONFIG READER: layer ") + name + " NOT FOUND!");
  for (const char* name : kHiddenLayers)
    if (!getLayer(name)) log(std::string("CONFIG READER: layer ") + name + " NOT FOUND!");
  rootLayer = getLayer("root");
  oscillatorsLayer = getLayer("oscillators");
  filtersEnvelopesLayer = getLayer("filtersEnvelopes");
  lfoModMatrixLayer = getLayer("lfoModMatrix");
  effectsArpLayer = getLayer("effectsArp");
  for (const char* name : kStartupLayers)
    if (ControlLayer* l = getLayer(name)) l->Hide(false);
  for (const char* name : kHiddenLayers)
    if (ControlLayer* l = getLayer(name)) l->Hide(true);
  for (int p = 2; p <= 16; ++p) {
    char name[32];
    snprintf(name, sizeof name, "bankAndProgram%02d", p);
    if (ControlLayer* l = getLayer(name)) l->Hide(true);
  }
  if (ControlLayer* multi = getLayer("bankAndProgramMulti")) multi->Hide(true);
}

void Sorvanta::attachProgressOverlay() {
  IGraphics* graphics = GetGUI();
  if (!graphics) return;
  progressLayer = new ControlLayer(0, "PROGRESS");
  const int w = graphics->Width(), h = graphics->Height();
  // The overlay is drawn unscaled whatever the window size.
  IBitmap overlay = graphics->LoadIBitmap(122, "resources/img/Sorvanta-progress-overlay.png", 1.0, 1);
  progressIndicator = new ProgressIndicator(progressLayer, this, 0, 0, w, h, -1, &overlay, IRECT(0, 0, w, h));
  cancelButtons[0] = uiConfig->createAutoOffSwitchControl("Cancel Data Request", kCancelDataRequest, 835, 457,
                                                          "BUTTON_LIB_CANCEL_ID", 0, progressLayer, "Global");
  cancelButtons[1] = uiConfig->createAutoOffSwitchControl("Cancel Data Request", kCancelDataRequest, 740, 83,
                                                          "BUTTON_LIB_CANCEL_ID", 0, progressLayer, "Global");
  progressIndicator->Hide(true);
  progressLayer->Hide(true);
}

void Sorvanta::buildBankSelectionList(int paramIdx, const char* name, int which) {
  IParam* param = GetParam(paramIdx);
  // Copies of the names only: the librarian's bank pointers are valid only under its lock.
  std::vector<std::pair<std::string, std::string>> files;  // file name, folder name
  {
    UTIL_MutexLock guard(&librarian->bankLock());
    for (const PatchFile* f : librarian->soundBankFiles)
      if (f) files.emplace_back(f->fileName, f->folderName);
  }
  param->InitEnum(name, 0, static_cast<int>(files.size()), "", "", -1, -1);
  LibrarianDisplayNamePass pass;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i].first;
    bool shortened = false;
    const std::string text = pass.displayName(file, &shortened);
    if (shortened)
      log("PATCH LIBRARIAN: Filename " + file + " RENAMED TO " + text +
          " Because the filename was too long to fit in plug-in display!");
    param->SetDisplayText(static_cast<int>(i), text.c_str());
  }
  if (files.empty()) param->SetDisplayText(0, kNoBankText);  // rather than a bank "0"
  bankListFirstText[which] = param->GetDisplayTextAtIdx(0);
  bankListFolder[which].clear();
  const int selected = truncToInt(param->Value());
  if (selected >= 0 && selected < static_cast<int>(files.size())) bankListFolder[which] = files[static_cast<size_t>(selected)].second;
}

void Sorvanta::applySettingsParameters() {
  const int scheme = EditorSettings::schemeFromWord(settingsLines[EditorSettings::kLineScheme]);
  if (scheme >= 0) setParamFromPlug(kUserInterfaceStyle, scheme);
  const int size = EditorSettings::sizeIndexFromWord(settingsLines[EditorSettings::kLineSize]);
  if (size >= 0) setParamFromPlug(kUserInterfaceSize, size);
}

void Sorvanta::showFirstRunNotice() {
  if (settingsLines[EditorSettings::kLineFirstRunDone] != "no") return;
  if (ControlLayer* notice = getLayer("firstRunNotification")) notice->Hide(false);
  firstRunShown = true;
}

bool Sorvanta::closeFirstRunNotice() {
  if (!firstRunShown) return false;
  // As the notice's close button does: its parameter at 1 through the handler.
  UTIL_MutexLock lock(GetMutex());
  GetParam(kFirstRunExit)->Set(1.0);
  OnParamChange(kFirstRunExit);
  return true;
}

void Sorvanta::applyMidiFilterDefaults() {
  for (const FilterDefault& d : kFilterDefaults)
    if (IControl* c = mainControl(d.param)) c->SetValueFromUserInput(GetParam(d.param)->GetNormalized(d.value));
  for (int k = 0; k < 7; ++k) {
    hostBlockFlags[k] = kFilterDefaults[k].value != 1;
    deviceBlockFlags[k] = kFilterDefaults[7 + k].value != 1;
  }
  trackIncomingMIDI = true;
  routeViaQueue = false;
  clockStartStopEnabled = false;
  clockEnabled = false;
}

void Sorvanta::reopenStoredPorts() {
  if (!storedPortsFound || settingsLines[EditorSettings::kLineFirstRunDone] != "yes") return;
  const std::string inName = settingsLines[EditorSettings::kLineMidiIn];
  const std::string outName = settingsLines[EditorSettings::kLineMidiOut];
  log("DEFAULT SETTINGS: MIDI In device stored " + inName);
  mMidiInIndex = 1;
  setExternalMIDIIn(mMidiInIndex, inName.c_str());
  GetParam(kDeviceInSelection)->SetClamped(mMidiInIndex);
  log("DEFAULT SETTINGS: MIDI Out device stored " + outName);
  mMidiOutIndex = 1;
  setExternalMIDIOut(mMidiOutIndex, outName.c_str());
  GetParam(kDeviceOutSelection)->SetClamped(mMidiOutIndex);
  if (truncToInt(paramValue(kDeviceOutSelection)) > 0) midiIOSet = true;
  GetParam(kDeviceInSelection)->SetClamped(mMidiInIndex);
  if (IGraphics* g = GetGUI()) {
    g->SetParameterFromPlug(kDeviceInSelection, paramValue(kDeviceInSelection), false);
    g->SetParameterFromPlug(kDeviceOutSelection, paramValue(kDeviceOutSelection), false);
  }
  // An output without an input could not hear the synth's answer: its check waits until the
  // input is chosen (handleDeviceSelection starts it then).
  handshakePending = !midiIOSet || mMidiInIndex > 0;
}
