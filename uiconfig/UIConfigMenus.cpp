// Menu factories of UIConfigManager: caption controls over a parameter's display texts, unbound
// or bound to a Control Change or a prepared SysEx message per entry. Called by the interpreter
// on the constructing thread.

#include <cstdio>
#include <cstring>
#include <functional>

#include "ControlLayer.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "UIConfigManager.h"

namespace {

IText menuText(int size, const IColor& color) { return IText(size, color, "NK57 Monospace"); }

// Entry 0 of a MIDI device menu when no MIDI system could be reached: what the user must do.
const char* const kNoMidiSystem = "No MIDI: start JACK";
// Before the name in a field whose port no longer carries (IPluginBase::DirectMidiPortLost).
const char* const kLostPort = "Lost: ";

// A MIDI device menu's parameter over names (entry 0 is "Select MIDI Device"), keeping the entry
// that was shown: at its new position, or at the end when it is no longer listed.
void fillDeviceMenu(IParam* p, std::vector<std::string> names, bool reachable) {
  std::string shown;
  const char* text = p->Value() >= 1.0 ? p->GetDisplayText(static_cast<int>(p->Value())) : nullptr;
  if (text) shown = text;
  if (names.empty()) names.push_back("Select MIDI Device");
  int value = 0;
  for (size_t i = 1; i < names.size() && !shown.empty() && !value; ++i)
    if (names[i] == shown) value = static_cast<int>(i);
  if (!shown.empty() && !value) {
    names.push_back(shown);
    value = static_cast<int>(names.size()) - 1;
  }
  const int count = static_cast<int>(names.size());
  p->InitEnum("Device Selection", 0, count, "", "", -1, -1);
  p->ResetDisplayTexts();
  for (int i = 0; i < count; ++i)
    p->SetDisplayText(i, i == 0 && !reachable ? kNoMidiSystem : names[static_cast<size_t>(i)].c_str());
  p->Set(value);
}

// The OUT and IN fields. The window's thread never asks the MIDI system anything: the plug-in's
// port watch lists the ports about once a second and opens a lost port again once its synth is
// back (IPluginBase::StartDirectMidiInput); a field takes the watch's last listing into its menu
// (`refresh`, asking nothing) whenever that listing changed, so a synth plugged in (or a JACK
// server started) after the editor shows up without reloading the project. Each frame reads a few
// flags: with no MIDI system reached the field says "No MIDI: start JACK", whatever port is stored;
// a port lost (or asked for and not there) reads "Lost: " and its name.
class MIDIDeviceMenuControl : public ICaptionControl {
 public:
  MIDIDeviceMenuControl(IPluginBase* plug, IRECT rect, int paramIdx, IText* text, bool input,
                        std::function<void()> refresh, std::function<bool()> reachable)
      : ICaptionControl(plug, rect, paramIdx, text, true),
        mInput(input),
        mShownChanges(plug ? plug->DirectMidiListingChanges() : 0),
        mRefresh(std::move(refresh)),
        mReachable(std::move(reachable)) {}
  bool IsDirty() override {
    const unsigned changes = mPlug ? mPlug->DirectMidiListingChanges() : 0;
    if (changes != mShownChanges) {
      mShownChanges = changes;
      if (mRefresh) mRefresh();
      SetDirty(false);
    }
    const bool lost = mPlug && mPlug->DirectMidiPortLost(mInput), reachable = mReachable();
    if (lost != mShownLost || reachable != mShownReachable) {
      mShownLost = lost;
      mShownReachable = reachable;
      SetDirty(false);
    }
    return ICaptionControl::IsDirty();
  }
  bool Draw(IGraphics* graphics) override {
    // No MIDI system: the words whatever the entry shows (a stored port's, one open before JACK
    // stopped); entry 0 says them itself once the menu was filled without a MIDI system.
    IParam* p = mPlug->GetParam(mParamIdx);
    const char* first = p && p->GetNDisplayTexts() ? p->GetDisplayText(0) : nullptr;
    if (!mReachable() && !(p && p->Value() < 1.0 && first && !std::strcmp(first, kNoMidiSystem))) {
      setTextLocked(kNoMidiSystem);
      return ITextControl::Draw(graphics);
    }
    std::string name;
    if (mReachable() && mPlug->DirectMidiPortLost(mInput)) {
      name = mPlug->DirectMidiPortName(mInput);
      if (name.empty() && p && p->Value() >= 1.0)
        if (const char* text = p->GetDisplayText(static_cast<int>(p->Value()))) name = text;
    }
    if (name.empty()) return ICaptionControl::Draw(graphics);
    setTextLocked((kLostPort + name).c_str());
    // From the left: a long name is cut at its end, never the word that says it is lost.
    const int align = mText.mAlign;
    mText.mAlign = IText::kAlignNear;
    const bool drawn = ITextControl::Draw(graphics);
    mText.mAlign = align;
    return drawn;
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override {
    if (!mGrayed && mod && (mod->L || mod->R) && mRefresh) mRefresh();
    ICaptionControl::OnMouseDown(x, y, mod);
  }
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override {
    if (!mGrayed && mRefresh) mRefresh();
    ICaptionControl::OnMouseDblClick(x, y, mod);
  }
  // The ticked entry chosen again still (re)connects its port: a patchbay may have undone the
  // connection the entry stands for, and the value alone would not reach the handler.
  void SetValueFromUserInput(double value) override {
    if (value != mValue || !mPlug || mParamIdx < 0) return ICaptionControl::SetValueFromUserInput(value);
    UTIL_MutexLock lock(mPlug->GetMutex());
    mPlug->OnParamChange(mParamIdx);
  }

 private:
  const bool mInput;
  // GUI thread: what the field showed, to know when to draw it again.
  bool mShownLost = false, mShownReachable = true;
  unsigned mShownChanges;
  std::function<void()> mRefresh;
  std::function<bool()> mReachable;
};

}  // namespace

std::string UIConfigManager::portNamedBy(std::string text) {
  while (text.compare(0, std::strlen(kLostPort), kLostPort) == 0) text.erase(0, std::strlen(kLostPort));
  for (const char* none : {"", "Select MIDI Device", kNoMidiSystem, "Set Name"})
    if (text == none) return std::string();
  return text;
}

std::vector<IText> UIConfigManager::textStyles(double scale) {
  std::vector<IText> styles;
  for (int size = 11; size <= 16; ++size)
    styles.push_back(menuText(static_cast<int>(size * scale), IColor(255, 255, 255, 255)));
  return styles;
}

// Entry count of a menu over [min, max): max - min, or 0 (logged by the caller) when that is
// negative or beyond any parameter's range.
static int entryCount(int min, int max, int limit) {
  const long long n = static_cast<long long>(max) - min;
  return (n < 0 || n > limit) ? -1 : static_cast<int>(n);
}

IControl* UIConfigManager::addCaption(int number, int x, int y, int w, int h, const IText& text,
                                      bool promptDisabled, ControlLayer* layer) {
  const int l = scaled(x), t = scaled(y);
  IText style = text;
  IControl* c =
      new ICaptionControl(plug, IRECT(l, t, l + scaled(w), t + scaled(h)), number, &style, true);
  c->SetPromptDisabled(promptDisabled);
  attach(c, layer);
  return c;
}

IControl* UIConfigManager::createDropDownMenu(const std::string& label, int number, int x, int y,
                                              int w, int h, int part, ControlLayer* layer,
                                              const std::string& group) {
  IParam* p = paramFor(number, "text menu");
  if (!p) return nullptr;
  p->InitEnum(label.c_str(), 0, 1, "", getParamGroup(part, group), -1, -1);
  p->SetDisplayText(0, "----");
  const IColor color = skin == 2   ? IColor(255, 200, 200, 200)
                       : skin == 1 ? IColor(255, 134, 150, 166)
                                   : IColor(255, 241, 243, 33);
  IText text = menuText(static_cast<int>(15 * scale), color);
  IControl* c = addCaption(number, x, y, w, h, text, true, layer);
  bindRecord(number, kActionNone, c);
  return c;
}

IControl* UIConfigManager::createDropDownMenu2(const std::string& label, int number, int x, int y,
                                               int w, int h, int value1, int value2, int value3,
                                               const std::vector<std::string>& entries, int part,
                                               ControlLayer* layer, const std::string& group) {
  IParam* p = paramFor(number, "selection menu");
  if (!p) return nullptr;
  const int count = entryCount(value2, value3, kMaxValues);
  if (count < 0) {
    log("CONFIG READER: selection menu \"" + label + "\" skipped: maximum below minimum");
    return nullptr;
  }
  p->InitEnum(label.c_str(), value1, count, "", getParamGroup(part, group), -1, -1);
  if (static_cast<int>(entries.size()) != count) return nullptr;
  for (int i = 0; i < count; ++i) p->SetDisplayText(i, entries[static_cast<size_t>(i)].c_str());
  IText text = menuText(static_cast<int>(13 * scale), IColor(255, 255, 173, 0));
  IControl* c = addCaption(number, x, y, w, h, text, false, layer);
  bindRecord(number, kActionNone, c);
  return c;
}

IControl* UIConfigManager::createMIDIDeviceSelectionControl(const std::string&, int number, int x,
                                                            int y, int w, int h, int input, int,
                                                            ControlLayer*, const std::string&) {
  IParam* p = paramFor(number, "MIDI device menu");
  if (!p) return nullptr;
  const bool in = input == 1;
  // The first listing here (the constructing thread); later ones are the port watch's (tests give
  // their own lists).
  auto reachable = [plugin = plug, provider = portNamesProvider, in] {
    return provider || plugin->MIDISystemReachable(in);
  };
  // Listed before asking whether the listing reached a MIDI system (arguments have no order).
  std::vector<std::string> first =
      portNamesProvider ? portNamesProvider(in) : in ? plug->getExternalMIDIInNames() : plug->getExternalMIDIOutNames();
  fillDeviceMenu(p, std::move(first), reachable());
  auto refresh = [plugin = plug, number, provider = portNamesProvider, reachable, in] {
    // The state calls read the lists and the entries on the host's threads, under this lock.
    UTIL_MutexLock lock(plugin->GetMutex());
    std::vector<std::string> listed = provider                ? provider(in)
                                      : in ? plugin->refreshExternalMIDIInNames()
                                           : plugin->refreshExternalMIDIOutNames();
    IParam* param = plugin->GetParam(number);
    fillDeviceMenu(param, std::move(listed), reachable());
    // A port that carries shows its entry (one stored and opened by the watch had none before).
    if (!provider && plugin->DirectMidiPortCarries(in) && plugin->DirectMidiPortIndex(in) > 0)
      param->Set(plugin->DirectMidiPortIndex(in));
  };
  deviceMenuRefresh[in ? 1 : 0] = refresh;
  IText text = menuText(static_cast<int>(15 * scale), IColor(255, 0, 174, 255));
  // Always on the graphics object (no layer): the port selectors stay usable whatever layer is
  // hidden.
  const int l = scaled(x), t = scaled(y);
  IControl* c =
      new MIDIDeviceMenuControl(plug, IRECT(l, t, l + scaled(w), t + scaled(h)), number, &text, in, refresh, reachable);
  c->SetPromptDisabled(false);
  attach(c, nullptr);
  bindRecord(number, kActionNone, c);
  return c;
}

// Display texts of a menu: the list when it has one text per entry, else the numbers from
// displayA on (padded to three digits for the multi's program numbers); false when neither
// applies (no list and no numbering), in which case the menu gets no control.
bool UIConfigManager::fillEntryTexts(IParam* p, int number, int count,
                                     const std::vector<std::string>& entries, int displayA,
                                     int displayB, bool padProgramNumbers) {
  const bool listed = static_cast<int>(entries.size()) == count;
  if (!listed && displayA == displayB) return false;
  const bool pad = !listed && padProgramNumbers && number >= kMultiPartPatch &&
                   number < kMultiPartPatch + kNumParts;
  // The copies of a multilayer fill their menus with the same entries: during a walk, a list
  // filled into a parameter without texts is kept, and every later parameter without texts that
  // would be filled the same way holds it instead.
  IParam::SharedDisplayTexts* filled = nullptr;
  if (elementCache && p->GetNDisplayTexts() == 0) {
    filled =
        &entryLists[EntryListKey(listed ? &entries : nullptr, count, listed ? 0 : displayA, pad)];
    if (*filled && p->AdoptDisplayTextList(*filled)) return true;
  }
  p->ReserveDisplayTexts(count);
  if (listed) {
    for (int i = 0; i < count; ++i) p->SetDisplayText(i, entries[static_cast<size_t>(i)].c_str());
  } else {
    for (int i = 0; i < count; ++i) {
      char buf[24];
      std::snprintf(buf, sizeof buf, pad ? "%03lld" : "%lld", static_cast<long long>(displayA) + i);
      p->SetDisplayText(i, buf);
    }
  }
  if (filled && !*filled) *filled = p->GetDisplayTextList();
  return true;
}

IControl* UIConfigManager::createNoValDropDown(const std::string& label, int number, int x, int y,
                                               int w, int h, int value1, int value2, int value3,
                                               int displayA, int displayB, int visible,
                                               const std::vector<std::string>& entries, int part,
                                               ControlLayer* layer, const std::string& group,
                                               bool white) {
  IParam* p = paramFor(number, "menu");
  if (!p) return nullptr;
  const int count = entryCount(value2, value3, kMaxValues);
  if (count < 0) {
    log("CONFIG READER: menu \"" + label + "\" skipped: maximum below minimum");
    return nullptr;
  }
  p->InitEnum(label.c_str(), value1, count, "", getParamGroup(part, group), -1, -1);
  if (!fillEntryTexts(p, number, count, entries, displayA, displayB, true)) return nullptr;
  const int hs = scaled(h);
  IColor color(0, 255, 173, 0);  // invisible text unless the menu is marked visible
  if (visible == 1) {
    if (white)
      color = IColor(255, 255, 255, 255);
    else if (skin == 1 || skin == 2)
      color = IColor(255, 200, 200, 200);
    else if (hs >= 17)
      color = IColor(255, 241, 243, 33);
    else
      color = IColor(255, 255, 173, 0);
  }
  IText text = menuText(static_cast<int>(hs * scale), color);
  return addCaption(number, x, y, w, h, text, false, layer);
}

IControl* UIConfigManager::boundMenu(IParam* p, const std::string& label, int number, int x, int y,
                                     int w, int h, int value1, int count, int displayA,
                                     int displayB, const std::vector<std::string>& entries,
                                     int part, ControlLayer* layer, const std::string& group,
                                     bool white) {
  p->InitEnum(boundName(label, part).c_str(), value1, count, "", getParamGroup(part, group), -1,
              -1);
  if (!fillEntryTexts(p, number, count, entries, displayA, displayB, false)) return nullptr;
  const int g = white ? 255 : (skin == 1 ? 255 : (skin == 2 ? 200 : 0));
  IText text = menuText(static_cast<int>(13 * scale), IColor(255, g, g, g));
  return addCaption(number, x, y, w, h, text, false, layer);
}

IControl* UIConfigManager::createMultiSelectionCCControl(
    int ccNumber, int channel, const std::string& label, int number, int x, int y, int w, int h,
    int value1, int value2, int value3, int displayA, int displayB,
    const std::vector<std::string>& entries, int part, ControlLayer* layer,
    const std::string& group, bool white) {
  IParam* p = paramFor(number, "CC menu");
  if (!p) return nullptr;
  const int count = entryCount(value2, value3, kMaxValues);
  if (count < 0) {
    log("CONFIG READER: CC menu \"" + label + "\" skipped: maximum below minimum");
    return nullptr;
  }
  IControl* c = boundMenu(p, label, number, x, y, w, h, value1, count, displayA, displayB, entries,
                          part, layer, group, white);
  if (!c) return nullptr;
  bindCC(number, kActionCC, c, ccNumber, channel, part, part == -1 ? 1 : 0);
  return c;
}

IControl* UIConfigManager::createMultiSelectionSysExControl(
    const std::string& label, int number, int x, int y, int w, int h, int value1, int value2,
    int value3, int displayA, int displayB, const std::vector<std::string>& entries, int, int,
    int sysexIndex, int changingByte, int part, ControlLayer* layer, const std::string& group,
    bool white) {
  IParam* p = paramFor(number, "SysEx menu");
  if (!p) return nullptr;
  const int count = entryCount(value2, value3, kMaxValues - 1);
  ControlActionSysExMessage msgs;
  unsigned char keys[4];
  // Validate the binding before the parameter is touched: a menu whose messages cannot be
  // prepared must not be offered, or picking an entry would send nothing (or the wrong thing).
  if (!prepareSysex("SysEx menu", sysexIndex, changingByte, count < 0 ? 0 : count + 1, value2, part,
                    &msgs, keys))
    return nullptr;
  IControl* c = boundMenu(p, label, number, x, y, w, h, value1, count, displayA, displayB, entries,
                          part, layer, group, white);
  if (!c) return nullptr;
  bindSysex(number, kActionSysEx, c, msgs, nullptr, keys, 0);
  return c;
}

IControl* UIConfigManager::createMsbLsbSelectionCCControl(
    int ccNumber, int msb, int lsb, int lsbControl, int channel, const std::string& label,
    int number, int x, int y, int w, int h, int value1, int value2, int value3, int displayA,
    int displayB, const std::vector<std::string>& entries, int part, ControlLayer* layer,
    const std::string& group) {
  IParam* p = paramFor(number, "MSB/LSB menu");
  if (!p) return nullptr;
  const int count = entryCount(value2, value3, kMaxValues);
  if (count < 0) {
    log("CONFIG READER: MSB/LSB menu \"" + label + "\" skipped: maximum below minimum");
    return nullptr;
  }
  p->InitEnum(boundName(label, part).c_str(), value1, count, "", getParamGroup(part, group), -1,
              -1);
  if (!fillEntryTexts(p, number, count, entries, displayA, displayB, false)) return nullptr;
  IText text = menuText(static_cast<int>(13 * scale), IColor(254, 255, 173, 0));
  IControl* c = addCaption(number, x, y, w, h, text, false, layer);
  const bool partless = isPartlessMsbLsbLayer(layer);
  bindMsbLsb(number, c, ccNumber, msb, lsb, lsbControl, partless ? channel : partToOneBased(part),
             partless ? 1 : 0);
  return c;
}
