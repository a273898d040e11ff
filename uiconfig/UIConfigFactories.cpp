// Control factories of UIConfigManager: knobs, sliders, switches, radio groups and displays,
// each with its parameter, its ControlAction binding and its reverse-lookup entry. Called by the
// interpreter (and by the plug-in constructor for its own buttons) on the constructing thread.
//
// Every factory validates before it builds: a parameter outside the table, a missing SysEx
// template, a template too short for its value byte or a range whose maximum is below its
// minimum gives a "CONFIG READER: " line and no control, no parameter change, no binding.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ControlLayer.h"
#include "CustomRadioButtons.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "ProgressIndicator.h"
#include "UIConfigManager.h"
#include "UIConfigText.h"

namespace {

// The integer part of a factory's real-number argument, held to the int range.
int truncInt(double v) {
  if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int>(v);
}

// Number of values from min to max inclusive, or 0 when the range is empty or absurd.
int valueCount(double min, double max, int limit) {
  const long long count = static_cast<long long>(truncInt(max)) - truncInt(min) + 1;
  return (count < 1 || count > limit) ? 0 : static_cast<int>(count);
}

// A knob's step: the integer part of the description's value, 1 when that is not positive.
double wholeStep(double step) {
  const int whole = truncInt(step);
  return whole > 0 ? whole : 1.0;
}

// The largest value of a MIDI data byte.
constexpr double kDataByteMax = 127.0;

// A knob turned between stops (a step above 1) whose stops all are data bytes.
bool stopsWithinDataByte(double min, double max, double step) {
  return step > 1.0 && max > min && min >= 0.0 && max <= kDataByteMax;
}

// A knob that the user turns between stops only: lo, lo + step, ... hi (the oscillator octaves:
// the nine footages 16 + 12n of the wire byte). Its parameter may hold more than the stops (an
// octave's holds any data byte, so that a value the synth sends between or beyond them is kept
// as it came and goes back so); the knob shows such a value where it lies on its travel until
// the user moves it, which puts it on the nearest stop. Every road from the user (drag, wheel,
// typed value, default) passes SetDirty(true), which does the rounding; a drag keeps its own
// unrounded position so that slow movements still add up to the next stop.
class SteppedKnobControl : public IKnobMultiControl {
public:
  // paramLo, paramHi: the parameter's range, across which mValue runs from 0 to 1.
  SteppedKnobControl(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, double lo,
                     double hi, double step, double paramLo, double paramHi)
      : IKnobMultiControl(plug, x, y, paramIdx, bitmap), mLo(lo), mHi(hi), mStep(step),
        mParamLo(paramLo), mParamSpan(paramHi - paramLo) {}
  bool Draw(IGraphics* graphics) override {
    return graphics->DrawBitmap(&mBitmap, &mRECT, IBitmapControl::FrameForValue(travel(), mBitmap.N),
                                &mBlend);
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override {
    mDragPos = travel();
    IKnobMultiControl::OnMouseDown(x, y, mod);
  }
  void OnMouseDrag(int, int, int, int dY, IMouseMod* mod) override {
    if (mGrayed || mRECT.T == mRECT.B || mGearing == 0.0) return;
    const double g = mod && (mod->C || mod->S) ? mGearing * 10.0 : mGearing;
    mDragPos = std::clamp(mDragPos + static_cast<double>(dY) / (mRECT.T - mRECT.B) / g, 0.0, 1.0);
    mValue = normalized(mLo + mDragPos * (mHi - mLo));
    SetDirty(true);
  }
  void OnMouseWheel(int, int, IMouseMod*, int d) override {
    if (mGrayed) return;
    mValue = normalized(std::clamp(nearestStop() + d * mStep, mLo, mHi));
    SetDirty(true);
  }
  void SetDirty(bool pushParamToPlug = true) override {
    if (pushParamToPlug) mValue = normalized(nearestStop());
    IKnobMultiControl::SetDirty(pushParamToPlug);
  }

private:
  double value() const { return mParamLo + std::clamp(static_cast<double>(mValue), 0.0, 1.0) * mParamSpan; }
  double normalized(double v) const { return (v - mParamLo) / mParamSpan; }
  double travel() const { return std::clamp((value() - mLo) / (mHi - mLo), 0.0, 1.0); }
  double nearestStop() const {
    const double v = std::clamp(value(), mLo, mHi);
    return std::min(mHi, mLo + std::round((v - mLo) / mStep) * mStep);
  }

  double mLo, mHi, mStep;
  double mParamLo, mParamSpan;  // mParamSpan > 0: the stops lie inside the parameter's range
  double mDragPos = 0.0;
};

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

namespace {

// The fifth SysEx key for a parameter of that name (see effectTypeKey).
int effectTypeKeyOfName(const std::string& n) {
  static const char* const chorus[] = {"kFX1ChorusSpeed", "kFX1ChorusDepth", "kFX1ChorusDelay",
                                       "kFX2ChorusSpeed", "kFX2ChorusDepth", "kFX2ChorusDelay"};
  for (const char* c : chorus)
    if (n == c) return 1;
  auto either = [&](const char* fx1, const char* fx2) {
    return startsWith(n, fx1) || startsWith(n, fx2);
  };
  if (either("kFX1Flanger", "kFX2Flanger")) return 2;
  if (either("kFX1Phaser", "kFX2Phaser")) return 3;
  if (either("kFX1Overdrive", "kFX2Overdrive")) return 4;
  if (either("kFX1FiveFX", "kFX2FiveFX"))
    return (n == "kFX1FiveFXSource" || n == "kFX2FiveFXSource") ? 0 : 5;
  if (either("kFX1Vocoder", "kFX2Vocoder"))
    return (n == "kFX1VocoderAnalysisSignal" || n == "kFX2VocoderAnalysisSignal") ? 0 : 6;
  if (startsWith(n, "kFX251DelayClocked")) return 9;
  if (startsWith(n, "kFX251Delay")) return 8;
  if (startsWith(n, "kFX2Delay")) return 7;
  if (startsWith(n, "kFX2Reverb")) return 10;
  return 0;
}

}  // namespace

int UIConfigManager::effectTypeKey(int number) {
  const ParamNameEntry* entry = findParamByNumber(number);
  if (!entry) return 0;
  // The key depends on the name table row only: worked out once for every row.
  static const std::vector<signed char> keys = [] {
    std::vector<signed char> k(paramNameTableSize());
    for (std::size_t i = 0; i < k.size(); ++i)
      k[i] = static_cast<signed char>(effectTypeKeyOfName(paramNameTable()[i].name));
    return k;
  }();
  return keys[static_cast<std::size_t>(entry - paramNameTable())];
}

bool UIConfigManager::prepareSysex(const char* what, int sysexIndex, int changingByte, int count,
                                   int first, int part, ControlActionSysExMessage* out,
                                   unsigned char keys[4]) {
  auto skipped = [what] { return std::string("CONFIG READER: ") + what + " skipped: "; };
  const std::string* tmpl = sysexTemplate(sysexIndex);
  if (!tmpl) {
    log(skipped() + "sysexIndex " + std::to_string(sysexIndex) + " names no SysEx template");
    return false;
  }
  if (count < 1) {
    log(skipped() + "its value range is empty (maximum below minimum) or too large");
    return false;
  }
  const bool prepared = calculateSysexWithChangingByte(templateBytes(sysexIndex, *tmpl),
                                                       changingByte, count, out, first, part);
  std::vector<int>& firstMessage = messageScratch;
  if (!prepared || !out->messages.copyTo(0, &firstMessage)) firstMessage.clear();
  if (firstMessage.empty() ||
      !sysexKeyBytes(firstMessage.data(), static_cast<int>(firstMessage.size()), changingByte,
                     keys)) {
    log(skipped() + "template \"" + *tmpl + "\" is too short for changing byte " +
        std::to_string(changingByte) + (part >= 0 ? " and the part byte" : ""));
    return false;
  }
  return true;
}

const std::vector<int>& UIConfigManager::templateBytes(int sysexIndex, const std::string& text) {
  // Nothing changes the containers while a walk builds the interface.
  if (!elementCache) return templateScratch = convertStringSysextoVector(text);
  const std::size_t i = static_cast<std::size_t>(sysexIndex);
  if (templateCache.size() <= i) templateCache.resize(i + 1);
  ParsedTemplate& t = templateCache[i];
  if (!t.valid) {
    t.bytes = convertStringSysextoVector(text);
    t.valid = true;
  }
  return t.bytes;
}

ControlAction* UIConfigManager::bindSysex(int number, int kind, IControl* control,
                                          ControlActionSysExMessage& msgs, const LinkInfo* link,
                                          const unsigned char keys[4], int fifthKey) {
  ControlAction* r = bindRecord(number, kind, control);
  r->sysex.multiMessage = false;
  r->sysex.messages = std::move(msgs.messages);
  r->sysex.messageLists.clear();
  if (link) linkRecord(r, number, *link);
  const unsigned char fifth = static_cast<unsigned char>(fifthKey);
  if (elementCache) {  // during a walk: registered in key order when it ends
    unsigned long long key = 0;
    for (int i = 0; i < 4; ++i) key = key << 8 | keys[i];
    deferredSysex.push_back({key << 8 | fifth, control});
  } else {
    sysexControls.addToControlMap(keys, fifth, control);
  }
  return r;
}

ControlAction* UIConfigManager::bindCC(int number, int kind, IControl* control, int ccNumber,
                                       int channel, int part, int noPart) {
  ControlAction* r = bindRecord(number, kind, control);
  if (r) registerCC(r, control, ccNumber, channel, part, noPart);
  return r;
}

void UIConfigManager::registerCC(ControlAction* r, IControl* control, int ccNumber, int channel,
                                 int part, int noPart) {
  r->ccNumber = ccNumber;
  r->channel = part >= 0 ? partToOneBased(part) : channel;
  r->noPart = noPart;
  ccControls.addToControlMap(r->channel, r->ccNumber, r->noPart, control);
}

void UIConfigManager::receiveCC(int number, IControl* control, int ccNumber, int channel,
                                int part) {
  IParam* p = plug ? plug->GetParam(number) : nullptr;
  ControlAction* r = p ? p->GetControlAction() : nullptr;
  if (!control || !r) return;
  if (ccNumber < 0 || ccNumber > 127) {
    log("CONFIG READER: controller " + std::to_string(ccNumber) + " is no MIDI controller");
    return;
  }
  // Found by an incoming Control Change as a part's own control is (part-less key 0); the kind,
  // and so what an edit sends, stays the SysEx binding's.
  registerCC(r, control, ccNumber, channel, part, 0);
}

// ---------------------------------------------------------------- shared builders

IControl* UIConfigManager::makeContinuous(const char* what, int number, const std::string& name,
                                          int x, int y, int length, EDirection direction,
                                          const std::string& image, double def, double min,
                                          double max, double step, int part, ControlLayer* layer,
                                          const std::string& group, bool wholeByte) {
  IParam* p = paramFor(number, what);
  if (!p) return nullptr;
  if (max < min) {
    log(std::string("CONFIG READER: ") + what + " \"" + name + "\" skipped: maximum below minimum");
    return nullptr;
  }
  IBitmap bm = getImageByName(graphics, image);
  const char* groupName = getParamGroup(part, group);
  IControl* c = nullptr;
  if (length < 0 && step > 1.0 && max > min) {
    // The description's range gives the stops.
    wholeByte = wholeByte && stopsWithinDataByte(min, max, step);
    const double lo = wholeByte ? 0.0 : min, hi = wholeByte ? kDataByteMax : max;
    p->InitDouble(name.c_str(), def, lo, hi, wholeByte ? 1.0 : step, "", groupName, -1, -1);
    c = new SteppedKnobControl(plug, scaled(x), scaled(y), number, &bm, min, max, step, lo, hi);
  } else {
    p->InitDouble(name.c_str(), def, min, max, step, "", groupName, -1, -1);
    if (length < 0)
      c = new IKnobMultiControl(plug, scaled(x), scaled(y), number, &bm);
    else
      c = new IFaderControl(plug, scaled(x), scaled(y), scaled(length), number, &bm, direction,
                            false);
  }
  attach(c, layer);
  return c;
}

// ---------------------------------------------------------------- CC bindings

IControl* UIConfigManager::createCCSliderControl(int ccNumber, int channel,
                                                 const std::string& label, int number, int x, int y,
                                                 int length, const std::string& image, double def,
                                                 double min, double max, LinkInfo link, int part,
                                                 ControlLayer* layer, const std::string& group,
                                                 EDirection direction, bool) {
  IControl* c =
      makeContinuous("CC slider", number, boundName(label, part), x, y, length < 0 ? 0 : length,
                     direction, image, def, min, max, 1.0, part, layer, group);
  if (c) linkRecord(bindCC(number, kActionCC, c, ccNumber, channel, part, 0), number, link);
  return c;
}

IControl* UIConfigManager::createCCKnobControl(int ccNumber, int channel, const std::string& label,
                                               int number, int x, int y, const std::string& image,
                                               double def, double min, double max, double step,
                                               LinkInfo link, int part, ControlLayer* layer,
                                               const std::string& group) {
  IControl* c = makeContinuous("CC knob", number, boundName(label, part), x, y, -1, kVertical,
                               image, def, min, max, wholeStep(step), part, layer, group);
  if (c)
    linkRecord(bindCC(number, kActionCC, c, ccNumber, channel, part, part == -1 ? 1 : 0), number,
               link);
  return c;
}

IControl* UIConfigManager::createCCBoolControl(int ccNumber, int channel, const std::string& label,
                                               int number, int x, int y, const std::string& image,
                                               double def, double offValue, double onValue,
                                               LinkInfo, int part, ControlLayer* layer,
                                               const std::string& group) {
  IControl* c = makeSwitch(false, "CC button", boundName(label, part), number, def, x, y, image,
                           part, layer, group);
  if (!c) return nullptr;
  ControlAction* r = bindCC(number, kActionCCSwitch, c, ccNumber, channel, part, 0);
  r->ccOffValue = truncInt(offValue);
  r->ccOnValue = truncInt(onValue);
  return c;
}

// ---------------------------------------------------------------- SysEx bindings

IControl* UIConfigManager::createSysExSliderControl(const std::string& label, int number, int x,
                                                    int y, int length, const std::string& image,
                                                    double def, double min, double max, double,
                                                    int valueOffset, int sysexIndex,
                                                    int changingByte, int part, LinkInfo link,
                                                    ControlLayer* layer, const std::string& group,
                                                    EDirection direction, bool) {
  if (!paramFor(number, "SysEx slider")) return nullptr;
  ControlActionSysExMessage msgs;
  unsigned char keys[4];
  const long long first = static_cast<long long>(truncInt(min)) + valueOffset;
  if (first < INT32_MIN || first > INT32_MAX ||
      !prepareSysex("SysEx slider", sysexIndex, changingByte, valueCount(min, max, kMaxValues),
                    static_cast<int>(first), part, &msgs, keys))
    return nullptr;
  IControl* c =
      makeContinuous("SysEx slider", number, boundName(label, part), x, y, length < 0 ? 0 : length,
                     direction, image, def, min, max, 1.0, part, layer, group);
  if (c) bindSysex(number, kActionSysEx, c, msgs, &link, keys, part == -1 ? 1 : 0);
  return c;
}

IControl* UIConfigManager::createSysExKnobControl(const std::string& label, int number, int x,
                                                  int y, const std::string& image, double def,
                                                  double min, double max, double step, int,
                                                  int sysexIndex, int changingByte, int part,
                                                  LinkInfo link, ControlLayer* layer,
                                                  const std::string& group) {
  if (!paramFor(number, "SysEx knob")) return nullptr;
  ControlActionSysExMessage msgs;
  unsigned char keys[4];
  // A knob with a step of more than 1 moves between its stops only, from its minimum up. Its
  // parameter holds the whole data byte (what the synth sends is kept even between the stops),
  // and the message for value v is message v: they are prepared from 0 whatever the minimum (a
  // plain knob starts at 0 in the description), for every byte.
  const double knobStep = wholeStep(step);
  const bool wholeByte = stopsWithinDataByte(min, max, knobStep);
  const double first = knobStep > 1.0 ? 0.0 : min;
  const double last = wholeByte ? kDataByteMax : max;
  if (!prepareSysex("SysEx knob", sysexIndex, changingByte, valueCount(first, last, kMaxValues),
                    truncInt(first), part, &msgs, keys))
    return nullptr;
  IControl* c = makeContinuous("SysEx knob", number, boundName(label, part), x, y, -1, kVertical,
                               image, def, min, max, knobStep, part, layer, group, wholeByte);
  if (c) bindSysex(number, kActionSysEx, c, msgs, &link, keys, effectTypeKey(number));
  return c;
}

IControl* UIConfigManager::createSysExBoolControl(const std::string& label, int number, int x,
                                                  int y, const std::string& image, double def, int,
                                                  int sysexIndex, int changingByte, int part,
                                                  LinkInfo link, ControlLayer* layer,
                                                  const std::string& group) {
  if (!paramFor(number, "SysEx button")) return nullptr;
  ControlActionSysExMessage msgs;
  unsigned char keys[4];
  if (!prepareSysex("SysEx button", sysexIndex, changingByte, 2, 0, part, &msgs, keys))
    return nullptr;
  IControl* c = makeSwitch(false, "SysEx button", boundName(label, part), number, def, x, y, image,
                           part, layer, group);
  if (!c) return nullptr;
  bindSysex(number, kActionSysExSwitch, c, msgs, &link, keys, 0);
  return c;
}

// ---------------------------------------------------------------- unbound controls

IControl* UIConfigManager::createNoValKnobControl(const std::string& label, int number, int x,
                                                  int y, const std::string& image, double def,
                                                  double min, double max, double, int part,
                                                  ControlLayer* layer, const std::string& group) {
  return makeContinuous("knob", number, label, x, y, -1, kVertical, image, def, min, max, 1.0, part,
                        layer, group);
}

IControl* UIConfigManager::createRadioControl(const std::string& label, int number, int x, int y,
                                              const std::string& image, int buttons, int part,
                                              ControlLayer* layer, const std::string& group, bool) {
  IParam* p = paramFor(number, "radio group");
  if (!p) return nullptr;
  // One button has no second value to select; a huge count is a broken description.
  constexpr int kMaxButtons = 128;
  if (buttons < 2 || buttons > kMaxButtons) {
    log("CONFIG READER: radio group \"" + label + "\" skipped: " + std::to_string(buttons) +
        " buttons (2 to 128 make a group)");
    return nullptr;
  }
  IBitmap bm = getImageByName(graphics, image);
  p->InitEnum(label.c_str(), 0, buttons, "", getParamGroup(part, group), -1, -1);
  const int l = scaled(x), t = scaled(y);
  // One button cell: the picture holds the off and on states in its two rows (or columns).
  const IRECT rect = bm.mFramesAreHorizontal ? IRECT(l, t, l + bm.W / 2, t + bm.H)
                                             : IRECT(l, t, l + bm.W, t + bm.H / 2);
  IControl* c = new ICustomRadioButtonsControl(plug, rect, number, buttons, &bm,
                                               bm.mFramesAreHorizontal ? kVertical : kHorizontal);
  attach(c, layer);
  bindRecord(number, kActionNone, c);
  return c;
}

IControl* UIConfigManager::makeSwitch(bool momentary, const char* what, const std::string& name,
                                      int number, double def, int x, int y,
                                      const std::string& image, int part, ControlLayer* layer,
                                      const std::string& group) {
  IParam* p = paramFor(number, what);
  if (!p) return nullptr;
  IBitmap bm = getImageByName(graphics, image);
  p->InitBool(name.c_str(), def != 0.0, "", getParamGroup(part, group), -1, -1);
  IControl* c = momentary ? new IContactControl(plug, scaled(x), scaled(y), number, &bm)
                          : new ISwitchControl(plug, scaled(x), scaled(y), number, &bm);
  attach(c, layer);
  return c;
}

IControl* UIConfigManager::createBoolControl(const std::string& label, int number, double def,
                                             int x, int y, const std::string& image, int part,
                                             ControlLayer* layer, const std::string& group) {
  IControl* c = makeSwitch(false, "switch", label, number, def, x, y, image, part, layer, group);
  if (c) bindRecord(number, kActionNone, c);
  return c;
}

IControl* UIConfigManager::createSwitchControl(const std::string& label, int number, double def,
                                               int x, int y, const std::string& image, int part,
                                               ControlLayer* layer, const std::string& group) {
  IControl* c =
      makeSwitch(true, "momentary switch", label, number, def, x, y, image, part, layer, group);
  if (c) bindRecord(number, kActionNone, c);
  return c;
}

IControl* UIConfigManager::createAutoOffSwitchControl(const std::string& label, int number, int x,
                                                      int y, const std::string& image, int part,
                                                      ControlLayer* layer,
                                                      const std::string& group) {
  return createSwitchControl(label, number, 0.0, x, y, image, part, layer, group);
}

// ---------------------------------------------------------------- displays

IControl* UIConfigManager::createControlDisplay(const std::string&, int number, int x, int y, int w,
                                                int h, int, ControlLayer* layer, const std::string&,
                                                int displaySize, bool) {
  if (!plug || !graphics) return nullptr;
  const IColor yellow(255, 241, 243, 33);
  int size = 14;
  IColor color = yellow;
  switch (displaySize) {
    case 1:
      size = 15;
      break;
    case 2:
      size = 16;
      color = IColor(255, 255, 132, 180);
      break;
    case 3:
      size = 16;
      break;
    case 4:
      size = 15;
      break;
    default:
      break;
  }
  IText text(static_cast<int>(size * scale), color, "NK57 Monospace");
  const int l = scaled(x), t = scaled(y);
  ITextControl* c = new ITextControl(plug, IRECT(l, t, l + scaled(w), t + scaled(h)), &text, "");
  c->SetFitToBox(true);
  c->SetPromptDisabled(true);
  attach(c, layer);
  if (isValidParamNumber(number) && plug->GetParam(number)) bindRecord(number, kActionNone, c);
  return c;
}

IControl* UIConfigManager::createNameDisplay(const std::string& label, int number, int x, int y,
                                             int w, int h, int nameLen, int part,
                                             ControlLayer* layer, const std::string& group) {
  IParam* p = paramFor(number, "name display");
  if (!p) return nullptr;
  p->InitEnum(label.c_str(), 0, 1, "", getParamGroup(part, group), -1, -1);
  p->InitText();
  const char* initial = "INIT";
  if (number == kPatchRename)
    initial = "New Name";
  else if (number == kPatchSearchString)
    initial = "search...";
  else if (number == kMultiName)
    initial = "Init Multi";
  else if (number >= kPatchName && number < kPatchName + kNumParts)
    initial = "-- INIT --";
  p->SetDisplayText(0, initial);
  const bool light = number == kPatchRename || number == kPatchSearchString;
  IText text(static_cast<int>(14 * scale),
             light ? IColor(255, 225, 225, 225) : IColor(255, 187, 187, 187), "NK57 Monospace");
  IControl* c = addCaption(number, x, y, w, h, text, false, layer);
  c->SetTextEntryLength(nameLen);
  bindRecord(number, kActionNone, c);
  return c;
}

// ---------------------------------------------------------------- MSB/LSB bindings

bool UIConfigManager::isPartlessMsbLsbLayer(const ControlLayer* layer) {
  if (!layer) return false;
  static const char* const names[] = {"miniMixer", "multiModeMixer", "miniMixer2",
                                      "multiModeMixer2", "multiModeSettingsPage1"};
  for (const char* n : names)
    if (layer->getName() == n) return true;
  return false;
}

ControlAction* UIConfigManager::bindMsbLsb(int number, IControl* control, int ccNumber, int msb,
                                           int lsb, int lsbControl, int channel, int noPart) {
  ControlAction* r = bindRecord(number, kActionMsbLsb, control);
  r->ccNumber = ccNumber;
  r->msbValue = msb;
  r->lsbValue = lsb;
  r->lsbControl = lsbControl;
  r->channel = channel;
  r->noPart = noPart;
  nrpnControls.addToControlMap(r, control);
  return r;
}

IControl* UIConfigManager::createMsbLsbBoolControl(
    int ccNumber, int msb, int lsb, int lsbControl, int channel, const std::string& label,
    int number, int x, int y, const std::string& image, double def, double offValue, double onValue,
    LinkInfo link, int part, ControlLayer* layer, const std::string& group) {
  IControl* c = makeSwitch(false, "MSB/LSB button", boundName(label, part), number, def, x, y,
                           image, part, layer, group);
  if (!c) return nullptr;
  ControlAction* r = bindMsbLsb(number, c, ccNumber, msb, lsb, lsbControl,
                                part >= 0 ? partToOneBased(part) : channel, 0);
  r->ccOffValue = truncInt(offValue);
  r->ccOnValue = truncInt(onValue);
  linkRecord(r, number, link);
  return c;
}

IControl* UIConfigManager::createMsbLsbKnobControl(int ccNumber, int msb, int lsb, int lsbControl,
                                                   int channel, const std::string& label,
                                                   int number, int x, int y,
                                                   const std::string& image, double def, double min,
                                                   double max, double step, LinkInfo link, int part,
                                                   ControlLayer* layer, const std::string& group) {
  IControl* c = makeContinuous("MSB/LSB knob", number, boundName(label, part), x, y, -1, kVertical,
                               image, def, min, max, wholeStep(step), part, layer, group);
  if (!c) return nullptr;
  const bool partless = isPartlessMsbLsbLayer(layer);
  linkRecord(bindMsbLsb(number, c, ccNumber, msb, lsb, lsbControl,
                        partless ? channel : partToOneBased(part), partless ? 1 : 0),
             number, link);
  return c;
}

// ---------------------------------------------------------------- progress overlay

ProgressIndicator* UIConfigManager::createProgressIndicator(ControlLayer* layer) {
  if (!layer || !plug || !graphics) return nullptr;
  constexpr int kWindowWidth = 1500, kWindowHeight = 757;
  const int w = scaled(kWindowWidth), h = scaled(kWindowHeight);
  IBitmap bm = getImageByName(graphics, "PROGRESS_INDICATOR_ID");
  auto* overlay = new ProgressIndicator(layer, plug, 0, 0, w, h, -1, &bm, IRECT(0, 0, w, h));
  overlay->Hide(true);
  layer->Hide(true);
  return overlay;
}
