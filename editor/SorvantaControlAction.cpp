// The control-action routine: the one place where a parameter value becomes the state of every
// control bound to it and, by its binding kind, a Control Change or a prepared SysEx message.
// Runs under the plug-in lock on the thread of the calling handler.
#include "ControlLayer.h"
#include "IControls.h"
#include "IParam.h"
#include "Sorvanta.h"

namespace {

bool inBlock(int number, int base) { return number >= base && number < base + kNumParts; }

// Step k (0..15) of the arpeggiator's user pattern and which of its five parameters `number` is
// (0 Glide, 1 Accent, 2 Step, 3 Timing, 4 StepLen); false outside the pattern blocks.
bool arpStepOf(int number, int* step, int* field, int* part) {
  const int first = kArpPattern01Glide;
  const int stride = kArpPattern02Glide - kArpPattern01Glide;  // 80
  if (number < first || number >= first + 16 * stride) return false;
  const int offset = number - first;
  *step = offset / stride;
  *field = (offset % stride) / kNumParts;
  *part = offset % kNumParts;
  return *field < 5;
}

}  // namespace

void Sorvanta::processControlAction(ControlAction* action, int paramIdx, double value) {
  IParam* param = GetParam(paramIdx);
  if (!action || !param) return;
  const int n = truncToInt(value);
  // What goes out is the whole part of the value; a knob dragged between steps stores exactly
  // that, so the parameter, its controls and the saved project agree with the synth.
  if (param->GetStep() == 1.0 && value != n) {
    value = n;
    param->SetClamped(value);
  }

  {
    // A global of a session whose device check runs: the later change is the one that goes.
    std::lock_guard<std::mutex> hold(sessionGlobalsLock);
    for (auto& [global, held] : sessionGlobals)
      if (global == paramIdx) held = value;
  }

  if (!midiIOSet) {
    if (paramIdx == kDeviceOutSelection || paramIdx == kDeviceInSelection || paramIdx == kGlobalSysExID ||
        paramIdx == kDorvikModel)
      return;
    setStatusText("Set MIDI I/O First!");
    return;
  }

  // An edit while the output does not carry (the synth off, a patchbay's gap) never reaches the
  // synth: the session goes once the connection carries again (afterPortChange).
  if (DirectMidiPortLost(false) && !valueFromHardware()) editedWhileCut = true;

  for (IControl* c : action->controls) {
    if (linking) param->SetClamped(value);
    if (c) c->SetValueFromPlug(param->GetNormalized());
  }

  // A value applied from the synthesizer's own controls is not echoed back while local control
  // is on; values from the host and from the editor go out.
  auto mayEcho = [this]() {
    if (noSend) return false;
    const bool incoming = valueFromHardware() && !incomingSuppressed;
    return !(incoming && localControlOn);
  };
  auto sendCC = [&](int controllerValue) {
    const int s = action->part >= 0 ? truncToInt(paramValue(kMultiPartMIDICh + action->part)) : 0;
    const int channel = (s == 0 || s == 1) ? s : s - 2;
    IMidiMsg msg;
    msg.MakeControlChangeMsg(static_cast<IMidiMsg::EControlChangeMsg>(action->ccNumber & 0x7F),
                             controllerValue / 127.0, channel & 0x0F);
    if (ccLine) ccLine->SetTextFromPlug(("CC|" + std::to_string(action->ccNumber)).c_str());
    if (mayEcho()) sendMidiMsgAndLog(&msg);
  };
  auto sendSysex = [&](std::vector<int> message, bool pack) {
    const int id = deviceId;
    if (id >= 0 && message.size() > kSysExDeviceIdIndex) message[kSysExDeviceIdIndex] = id;
    if (pack && message.size() > 7) {
      int packed = -1;
      int step = 0, field = 0, stepPart = 0;
      if (inBlock(paramIdx, kOscillatorMonoPolyMode) || inBlock(paramIdx, kOscillatorUnisono)) {
        // The block bases are not multiples of 16: the part is the offset in its own block.
        const int part = paramIdx - (inBlock(paramIdx, kOscillatorUnisono) ? kOscillatorUnisono : kOscillatorMonoPolyMode);
        packed = truncToInt(paramValue(kOscillatorMonoPolyMode + part)) + 16 * truncToInt(paramValue(kOscillatorUnisono + part));
      } else if (arpStepOf(paramIdx, &step, &field, &stepPart)) {
        const int stride = kArpPattern02Glide - kArpPattern01Glide;
        const int base = step * stride + stepPart;
        auto at = [&](int first) { return truncToInt(paramValue(first + base)); };
        if (field <= 2)
          packed = at(kArpPattern01Accent) + 8 * at(kArpPattern01Glide) + 16 * at(kArpPattern01Step);
        else
          packed = at(kArpPattern01Timing) + 16 * at(kArpPattern01StepLen);
      }
      if (packed >= 0) message[7] = packed & 0x7F;
    }
    if (ccLine) ccLine->SetTextFromPlug("SysEx");
    if (mayEcho()) sendSysexMessage(message);
  };
  // Which parameters have a packed data byte, and under which kind.
  auto packedUnder = [&](int kind) {
    int step = 0, field = 0, part = 0;
    if (inBlock(paramIdx, kOscillatorMonoPolyMode)) return kind == kActionSysExSwitch;
    if (inBlock(paramIdx, kOscillatorUnisono)) return kind == kActionSysEx;
    if (arpStepOf(paramIdx, &step, &field, &part)) return field == 0 ? kind == kActionSysExSwitch : kind == kActionSysEx;
    return false;
  };

  switch (action->type) {
    case kActionCC:
      // Octave and semitone hold the byte the synth expects (octave 16, 28 .. 112, semitone 64 for
      // none), as their SysEx messages do: the controller value is the parameter's own.
      sendCC(n);
      break;
    case kActionCCSwitch:
      sendCC(value == 0.0 ? action->ccOffValue : action->ccOnValue);
      break;
    case kActionSysExSwitch:
    case kActionSysEx:
      if (action->type == kActionSysEx && action->sysex.multiMessage) {
        // A value outside the prepared lists sends nothing rather than reading past them.
        if (const std::vector<std::vector<int>>* list = action->messageListForValue(n))
          for (const std::vector<int>& m : *list) sendSysex(m, false);
      } else if (const std::vector<int>* m = action->messageForValue(n)) {
        sendSysex(*m, packedUnder(action->type));
      }
      break;
    default:
      break;
  }
  setFxParameterDefaults(paramIdx, n);
}
