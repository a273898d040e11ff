#pragma once
// UIConfigManager builds the whole editor window from data: it deciphers and parses the SysEx
// value lists ("resources/sysex.tea") and the interface description ("resources/uiconfig.tea"),
// registers the images and the parameter names, and interprets the description into layers,
// controls, ControlAction records with their prepared SysEx messages, and the reverse lookups by
// which incoming MIDI finds its control.
//
// Threads: readUIConfig and every factory run once, on the thread that constructs the plug-in,
// before any MIDI port is opened. Afterwards the manager is only read: the value lists by the
// MIDI workers, the reverse lookups by the MIDI input path, the layers by the editor core. The
// const lookups below (findValueList, findLayer, get*Control*) never insert and are the only
// ones another thread may call.
//
// Ownership: the manager owns the ControlAction records it (or a link) creates and deletes them
// in its destructor, clearing the parameters' pointers; so it must be deleted while the
// plug-in's parameters still exist (the plug-in destructor deletes it before the framework base
// deletes the parameters). It owns no control, layer, bitmap, graphics object or librarian: the
// controls and layers belong to the graphics object or their parent layer.
//
// Hostile input: the description is data from a file. An element that names an unregistered
// parameter, a number outside the parameter table, a missing SysEx template, a template too
// short for its value byte, a range whose maximum is below its minimum, a number list with too
// few values or a radio group of one button is skipped with a "CONFIG READER: " line; loading
// goes on and never binds a parameter the element did not name.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ControlAction.h"
#include "IGraphicsStructs.h"
#include "IParam.h"
#include "ParamNames.h"
#include "UIConfigLookups.h"

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
class XMLNode;
}  // namespace tinyxml2

class ControlLayer;
struct UIElementAttributes;
struct UIElementCache;
class IControl;
class IGraphics;
class IPluginBase;
class PatchLibrarian;
class ProgressIndicator;

struct ImageInfo {
  int id = 0;
  int frames = 1;
  bool horizontalFrames = false;
  const char* file = "";  // as registered ("resources/img/....png"); static text
};

struct Values {
  std::vector<std::string> items;
};

// One `sysex` element of the SysEx value lists. Only lists[0].items[0] is used: the message
// template of the controls whose sysexIndex selects this container.
struct SysExContainer {
  std::vector<Values> lists;
  std::vector<std::vector<Values>> multiLists;
  bool isMultiValue = false;
};

class UIConfigManager {
 public:
  using LogSink = std::function<void(const std::string&)>;
  // Makes the librarian's slot grid for a "patchBrowser" element (the librarian's user interface
  // provides it). Arguments: plug-in, x', y', parameter, image, rectangle, librarian, scale.
  using LibrarianViewFactory = std::function<IControl*(IPluginBase*, int, int, int, IBitmap*, IRECT,
                                                       PatchLibrarian*, double)>;
  // The MIDI port names for the device selectors: input ports when `input`, else output ports;
  // entry 0 is "Select MIDI Device". Defaults to the plug-in's direct port lists.
  using PortNamesProvider = std::function<std::vector<std::string>(bool input)>;

  UIConfigManager();
  ~UIConfigManager();
  UIConfigManager(const UIConfigManager&) = delete;
  UIConfigManager& operator=(const UIConfigManager&) = delete;

  // ---- set-up before readUIConfig ----
  // The editor's debug log; empty (the default) means logging is off.
  void setLog(LogSink sink);
  // Read the two resources from this folder instead of through the graphics object's file
  // loader (tests, tools, and hosts whose bundle lookup is unavailable).
  void setResourcesFolder(const std::string& dir) { resourcesFolder = dir; }
  void setLibrarianViewFactory(LibrarianViewFactory f) { librarianViewFactory = std::move(f); }
  void setPortNamesProvider(PortNamesProvider p) { portNamesProvider = std::move(p); }
  // The device menu of that direction (one made by createMIDIDeviceSelectionControl) takes the
  // plug-in's port list as the last listing left it, and shows the open port's entry. Asks the
  // MIDI system nothing. Where the window draws it: its thread, or while it is closed; under the
  // plug-in lock.
  void refreshDeviceMenu(bool input) {
    if (deviceMenuRefresh[input ? 1 : 0]) deviceMenuRefresh[input ? 1 : 0]();
  }
  // Layers the editor shows as soon as it is built: the images of their backgrounds and controls
  // start decoding on helper threads before the interface is built, as do those outside any
  // layer, which show on every page.
  void setStartupLayers(std::vector<std::string> names) { startupLayers = std::move(names); }

  // Starts reading the two resources (file, decipher, parse) on threads of their own, so that
  // readUIConfig finds them read; what their loading would log is logged there, in its place.
  // Call after the resources folder is set; until readUIConfig, nothing else may load a file
  // through `graphics`. Without it, readUIConfig reads them itself.
  void readResourcesAhead(IGraphics* graphics);

  // The text style of the menus, captions and displays at the sizes the interface mostly uses,
  // at a size factor.
  static std::vector<IText> textStyles(double scale);
  // The port a stored or shown text names: the text itself, without the "Lost: " a field puts
  // before a lost port; empty when it names none (nothing, "Select MIDI Device", a field's
  // "No MIDI: start JACK", an older project's "Set Name"), which is then never opened as a port.
  static std::string portNamedBy(std::string text);

  // ---- loading pipeline ----
  void readUIConfig(IGraphics* graphics, IPluginBase* plug, PatchLibrarian* librarian, int skin,
                    double scale);
  void readSysexValues();
  // Parses a plain SysEx value-list document and appends its containers. False when it does
  // not parse or has no `sysexlist` element.
  bool readSysexText(const std::string& text);
  // Parses a plain interface description and builds it (value lists, then the element walk).
  // False when it does not parse or has no `uiconfig` element. Needs graphics and plug-in.
  bool readDescriptionText(const std::string& text);
  // Appends the deciphered whole 8-byte blocks of data[0..length) to text; never reads past
  // length (a trailing partial block is left out and reported by the resource loader).
  static void decrypt(const char* data, int length, std::string& text);
  void readReasources(tinyxml2::XMLDocument* document);

  // ---- image registry ----
  void initImages(IGraphics* graphics);
  void preloadImage(IGraphics* graphics, int id, const char* name, const char* file, int frames,
                    bool horizontal);
  IBitmap getImageByName(IGraphics* graphics, const std::string& name);
  void ClearImageCache();

  // ---- parameter names ----
  void initParams();
  void mapParamToString(const std::string& name, int number);
  int getParamByName(const std::string& name) const;
  const char* getParamGroup(int part, const std::string& name);
  void getBiDirectLinkValues(const std::string& text, int* link, int partOffset) const;

  // ---- interpreter ----
  void processXMLElement(tinyxml2::XMLNode* node, ControlLayer* layer, int part);

  // ---- control factories (null when the element was skipped) ----
  IControl* createCCSliderControl(int ccNumber, int channel, const std::string& label, int number,
                                  int x, int y, int length, const std::string& image, double def,
                                  double min, double max, LinkInfo link, int part,
                                  ControlLayer* layer, const std::string& group,
                                  EDirection direction, bool flag);
  IControl* createCCKnobControl(int ccNumber, int channel, const std::string& label, int number,
                                int x, int y, const std::string& image, double def, double min,
                                double max, double step, LinkInfo link, int part,
                                ControlLayer* layer, const std::string& group);
  IControl* createCCBoolControl(int ccNumber, int channel, const std::string& label, int number,
                                int x, int y, const std::string& image, double def, double offValue,
                                double onValue, LinkInfo link, int part, ControlLayer* layer,
                                const std::string& group);
  IControl* createSysExSliderControl(const std::string& label, int number, int x, int y, int length,
                                     const std::string& image, double def, double min, double max,
                                     double fourth, int valueOffset, int sysexIndex,
                                     int changingByte, int part, LinkInfo link, ControlLayer* layer,
                                     const std::string& group, EDirection direction, bool flag);
  IControl* createSysExKnobControl(const std::string& label, int number, int x, int y,
                                   const std::string& image, double def, double min, double max,
                                   double fourth, int valueOffset, int sysexIndex, int changingByte,
                                   int part, LinkInfo link, ControlLayer* layer,
                                   const std::string& group);
  IControl* createSysExBoolControl(const std::string& label, int number, int x, int y,
                                   const std::string& image, double def, int valueOffset,
                                   int sysexIndex, int changingByte, int part, LinkInfo link,
                                   ControlLayer* layer, const std::string& group);
  IControl* createNoValKnobControl(const std::string& label, int number, int x, int y,
                                   const std::string& image, double def, double min, double max,
                                   double fourth, int part, ControlLayer* layer,
                                   const std::string& group);
  IControl* createRadioControl(const std::string& label, int number, int x, int y,
                               const std::string& image, int buttons, int part, ControlLayer* layer,
                               const std::string& group, bool horizontal);
  IControl* createBoolControl(const std::string& label, int number, double def, int x, int y,
                              const std::string& image, int part, ControlLayer* layer,
                              const std::string& group);
  IControl* createSwitchControl(const std::string& label, int number, double def, int x, int y,
                                const std::string& image, int part, ControlLayer* layer,
                                const std::string& group);
  IControl* createAutoOffSwitchControl(const std::string& label, int number, int x, int y,
                                       const std::string& image, int part, ControlLayer* layer,
                                       const std::string& group);
  IControl* createControlDisplay(const std::string& label, int number, int x, int y, int w, int h,
                                 int part, ControlLayer* layer, const std::string& group,
                                 int displaySize, bool white);
  IControl* createNameDisplay(const std::string& label, int number, int x, int y, int w, int h,
                              int nameLen, int part, ControlLayer* layer, const std::string& group);
  IControl* createDropDownMenu(const std::string& label, int number, int x, int y, int w, int h,
                               int part, ControlLayer* layer, const std::string& group);
  IControl* createDropDownMenu2(const std::string& label, int number, int x, int y, int w, int h,
                                int value1, int value2, int value3,
                                const std::vector<std::string>& entries, int part,
                                ControlLayer* layer, const std::string& group);
  IControl* createMIDIDeviceSelectionControl(const std::string& label, int number, int x, int y,
                                             int w, int h, int input, int part, ControlLayer* layer,
                                             const std::string& group);
  IControl* createNoValDropDown(const std::string& label, int number, int x, int y, int w, int h,
                                int value1, int value2, int value3, int displayA, int displayB,
                                int visible, const std::vector<std::string>& entries, int part,
                                ControlLayer* layer, const std::string& group, bool white);
  IControl* createMultiSelectionCCControl(int ccNumber, int channel, const std::string& label,
                                          int number, int x, int y, int w, int h, int value1,
                                          int value2, int value3, int displayA, int displayB,
                                          const std::vector<std::string>& entries, int part,
                                          ControlLayer* layer, const std::string& group,
                                          bool white);
  IControl* createMultiSelectionSysExControl(const std::string& label, int number, int x, int y,
                                             int w, int h, int value1, int value2, int value3,
                                             int displayA, int displayB,
                                             const std::vector<std::string>& entries,
                                             int msgZeroVal, int color, int sysexIndex,
                                             int changingByte, int part, ControlLayer* layer,
                                             const std::string& group, bool white);

  // The full-window progress overlay on `layer` (the plug-in constructor's "PROGRESS" layer,
  // which then owns it): the window's size times the size factor, drawn from the
  // PROGRESS_INDICATOR_ID picture as preloaded (scaled like every other image), no parameter.
  // Made hidden, with its layer hidden. Null without a layer.
  ProgressIndicator* createProgressIndicator(ControlLayer* layer);

  // MSB/LSB (NRPN-style) bindings: recorded and registered, never sent; no element of the
  // description makes them.
  IControl* createMsbLsbBoolControl(int ccNumber, int msb, int lsb, int lsbControl, int channel,
                                    const std::string& label, int number, int x, int y,
                                    const std::string& image, double def, double offValue,
                                    double onValue, LinkInfo link, int part, ControlLayer* layer,
                                    const std::string& group);
  IControl* createMsbLsbKnobControl(int ccNumber, int msb, int lsb, int lsbControl, int channel,
                                    const std::string& label, int number, int x, int y,
                                    const std::string& image, double def, double min, double max,
                                    double step, LinkInfo link, int part, ControlLayer* layer,
                                    const std::string& group);
  IControl* createMsbLsbSelectionCCControl(int ccNumber, int msb, int lsb, int lsbControl,
                                           int channel, const std::string& label, int number, int x,
                                           int y, int w, int h, int value1, int value2, int value3,
                                           int displayA, int displayB,
                                           const std::vector<std::string>& entries, int part,
                                           ControlLayer* layer, const std::string& group);

  // Fifth SysEx key of a knob bound to `number`: the effect type its parameter belongs to
  // (1..10), 0 for every other parameter.
  static int effectTypeKey(int number);

  // ---- reverse lookups (read-only; any thread once built) ----
  // Exact five-key SysEx lookup (per-part messages: command, part, hi, lo, fifth key).
  IControl* getSysexControl(int k1, int k2, int k3, int k4, int k5) const;
  // Part-less message (device id, command, hi, lo): the device id is normalised, so a
  // synthesizer set to any device id finds the control.
  IControl* getPartlessSysexControl(int deviceId, int command, int hi, int lo, int k5) const;
  // A whole short parameter message, with or without F0/F7: 10 bytes framed (8 unframed) is a
  // per-part message, 9 framed (7 unframed) a part-less one. Null for any other shape.
  IControl* findSysexControlForMessage(const unsigned char* bytes, int size, int fifthKey) const;
  IControl* getCCControls(int channel, int ccNumber, int partless) const;
  IControl* getMsbLsbControl(int k1, int k2, int k3, int k4, int k5) const;
  void setProgramValueByParts(int k1, int k2, int k3, int value) {
    programValues.set(k1, k2, k3, value);
  }
  int getProgramValueByParts(int k1, int k2, int k3) const { return programValues.get(k1, k2, k3); }

  // Never insert: a name that is not held yields null / an empty list.
  ControlLayer* findLayer(const std::string& name) const;
  const std::vector<std::string>* findValueList(const std::string& name) const;
  // The SysEx template of container `index`, or null when it has none.
  const std::string* sysexTemplate(int index) const;

  // ---- members (accessible to the editor core, read-only after loading) ----
  std::map<std::string, ImageInfo> imageCache;
  ParamNameRegistry paramNames;  // name -> number
  std::map<std::string, ControlLayer*> layerMap;
  std::map<std::string, std::vector<std::string>> valueLists;
  double scale = 0.0;
  int skin = 0;
  std::vector<SysExContainer> sysexContainers;
  IGraphics* graphics = nullptr;
  IPluginBase* plug = nullptr;
  PatchLibrarian* librarian = nullptr;
  IControl* librarianView = nullptr;
  bool releasingImages = false;
  CCControlContainer ccControls;
  NRPNControlContainer nrpnControls;
  SysExControlContainer sysexControls;
  ProgramValueMap programValues;

 private:
  void log(const std::string& text) const;
  // A resource refused: logged, and named on standard error once unless it was named already
  // (a resource cut short that then does not parse).
  void refuse(const std::string& text, bool named = false) const;
  // The deciphered text of a resource, from the resources folder or else through g's file
  // loader; what goes wrong is written to `to`. True when the resource was read whole.
  static bool loadResourceText(const std::string& folder, IGraphics* g, int id, const char* name,
                               std::string& text, const LogSink& to);
  // A resource read and parsed, here or on a thread of its own (then with the lines its loading
  // would have logged, kept for the log until it is taken).
  struct ParsedResource;
  std::unique_ptr<ParsedResource> sysexAhead, descriptionAhead;
  static void readResource(ParsedResource& r, const std::string& folder, IGraphics* g, int id,
                           const char* name, const LogSink& to);
  // The resource read ahead (waited for, its lines logged now), or else read here.
  std::unique_ptr<ParsedResource> takeResource(std::unique_ptr<ParsedResource>& ahead, int id,
                                               const char* name);
  bool readSysexDocument(tinyxml2::XMLDocument& doc);
  // Builds a parsed description; `parsed` false names the parser's error and builds nothing.
  bool readDescriptionDocument(tinyxml2::XMLDocument& doc, bool parsed, bool named = false);
  // Bound parameter or null (logged) when `number` is outside the table.
  IParam* paramFor(int number, const char* what);
  // Creation and reuse of the parameter's record; the manager owns what it creates here.
  ControlAction* bindRecord(int number, int kind, IControl* control);
  void linkRecord(ControlAction* record, int number, LinkInfo link);
  void attach(IControl* control, ControlLayer* layer);
  void attachLayer(ControlLayer* child, ControlLayer* parent);
  // v times the size factor, truncated toward zero; held to +-kMaxCoordinate so that a hostile
  // coordinate can neither overflow the conversion nor the rectangle sums after it.
  int scaled(int v) const;
  static constexpr int kMaxCoordinate = 1 << 20;
  // Largest number of values a menu or a prepared message table may span.
  static constexpr int kMaxValues = 1 << 14;
  // The parameter name of a control of `part`: "[n] label" (n counted from 1), or the label
  // itself without a part. Good until the next call: one name is in use at a time.
  const std::string& boundName(const std::string& label, int part);
  std::string boundNameText;
  // Prepares the messages of a SysEx binding into `out` and its lookup keys; false (logged)
  // when the container, its template or the range cannot give them.
  bool prepareSysex(const char* what, int sysexIndex, int changingByte, int count, int first,
                    int part, ControlActionSysExMessage* out, unsigned char keys[4]);
  // The bytes of SysEx template `text`, that of container sysexIndex (>= 0); read once per walk.
  const std::vector<int>& templateBytes(int sysexIndex, const std::string& text);
  // Binds a built control to its SysEx messages and registers it; the record comes back.
  ControlAction* bindSysex(int number, int kind, IControl* control, ControlActionSysExMessage& msgs,
                           const LinkInfo* link, const unsigned char keys[4], int fifthKey);
  // Binds a built control to a Control Change and registers it under (channel key, CC, noPart).
  ControlAction* bindCC(int number, int kind, IControl* control, int ccNumber, int channel,
                        int part, int noPart);
  // The CC fields of `record` and the control's entry in the CC lookup.
  void registerCC(ControlAction* record, IControl* control, int ccNumber, int channel, int part,
                  int noPart);
  // A SysEx control that also follows a Control Change from the synth (a control element's
  // "ccNumber" on a SysEx type): the controller moves it; its edits still go out as SysEx.
  void receiveCC(int number, IControl* control, int ccNumber, int channel, int part);
  // A caption over the scaled rectangle (x, y, w, h), attached by the usual rule.
  IControl* addCaption(int number, int x, int y, int w, int h, const IText& text,
                       bool promptDisabled, ControlLayer* layer);
  // Fills a menu's display texts from its entry list or by numbering; false when neither applies.
  bool fillEntryTexts(IParam* p, int number, int count, const std::vector<std::string>& entries,
                      int displayA, int displayB, bool padProgramNumbers);
  // The shared part of the CC and SysEx menus: parameter, entry texts and caption; null when
  // the entries can be neither listed nor numbered.
  IControl* boundMenu(IParam* p, const std::string& label, int number, int x, int y, int w, int h,
                      int value1, int count, int displayA, int displayB,
                      const std::vector<std::string>& entries, int part, ControlLayer* layer,
                      const std::string& group, bool white);
  // Fills the MSB/LSB fields and registers the control in the MSB/LSB lookup.
  ControlAction* bindMsbLsb(int number, IControl* control, int ccNumber, int msb, int lsb,
                            int lsbControl, int channel, int noPart);
  // The mixer and multi-settings layers hold part-less MSB/LSB controls.
  static bool isPartlessMsbLsbLayer(const ControlLayer* layer);
  // Initialises the parameter as a real number and builds a knob (length < 0) or a fader of
  // that length; null (logged) for a bad number or a maximum below the minimum. A knob with a
  // step above 1 turns between its stops min, min + step .. max only; with wholeByte its
  // parameter holds any data byte 0..127 all the same (what the synth may send in its place).
  IControl* makeContinuous(const char* what, int number, const std::string& name, int x, int y,
                           int length, EDirection direction, const std::string& image, double def,
                           double min, double max, double step, int part, ControlLayer* layer,
                           const std::string& group, bool wholeByte = false);
  // Initialises the parameter as a bool and builds a latching or momentary button; no binding.
  IControl* makeSwitch(bool momentary, const char* what, const std::string& name, int number,
                       double def, int x, int y, const std::string& image, int part,
                       ControlLayer* layer, const std::string& group);
  // Before the walk: starts decoding the images that show from the start: those of the
  // backgrounds and controls outside any layer (`shown` at the top) and directly in a start-up
  // layer. Named layers are searched to kMaxLayerDepth levels.
  static constexpr int kMaxLayerDepth = 32;
  void decodeStartupImagesAhead(tinyxml2::XMLNode* first);
  void findStartupImages(tinyxml2::XMLNode* first, bool shown, int depth, std::vector<IBitmap>& found);
  // The element walk of readDescriptionText from `first` on, with its per-element cache.
  void walkDescription(tinyxml2::XMLNode* first);
  void interpretElement(tinyxml2::XMLElement* e, ControlLayer* layer, int part);
  void interpretControlElement(UIElementAttributes& at, int number, ControlLayer* layer, int part,
                               const std::string& group, const std::string& image);
  // The value list of that name, or an empty list.
  const std::vector<std::string>& valueListOrEmpty(const char* name) const;

  std::string resourcesFolder;
  LogSink logSink;
  LibrarianViewFactory librarianViewFactory;
  PortNamesProvider portNamesProvider;
  std::function<void()> deviceMenuRefresh[2];  // [0] output, [1] input
  std::vector<std::string> startupLayers;
  // The records this manager made, each with the number of the parameter that holds it.
  std::vector<std::pair<int, ControlAction*>> ownedRecords;
  struct ParsedTemplate {
    bool valid = false;
    std::vector<int> bytes;
  };
  std::vector<ParsedTemplate> templateCache;  // by SysEx container, during a walk
  std::vector<int> templateScratch;           // a template read outside a walk
  UIElementCache* elementCache = nullptr;     // during walkDescription only
  // SysEx registrations of a walk, made in key order when it ends: inserted in order, the
  // lookup's levels grow at their ends instead of being searched for every control.
  struct SysExRegistration {
    unsigned long long key;  // the five key bytes, the first one highest
    IControl* control;
  };
  std::vector<SysExRegistration> deferredSysex;
  // Menu entry lists filled during a walk: by value list (null for numbers), count, first number
  // and padding.
  using EntryListKey = std::tuple<const std::vector<std::string>*, int, int, bool>;
  std::map<EntryListKey, IParam::SharedDisplayTexts> entryLists;
  std::vector<int> messageScratch;  // the first prepared message, while it is checked
  // Element visits left for this walk. Nested multilayers multiply their subtrees, so a hostile
  // description could otherwise make the walk run for ever; the real one needs a few tens of
  // thousands.
  static constexpr long kWalkBudget = 200000;
  long walkBudget = kWalkBudget;
};
