#include "LinkManager.h"

#include <cstdlib>

#include "IControl.h"
#include "IParam.h"
#include "ParamNames.h"
#include "Sorvanta.h"

namespace {

constexpr int kFilterDistance = kFilter2Cutoff - kFilter1Cutoff;  // 192

bool isPairBase(int base) {
  switch (base) {
    case kFilter1Cutoff:
    case kFilter1Resonance:
    case kFilter1EnvAmount:
    case kFilter1Keytrack:
    case kFilter1Drive:
    case kFilter1EnvVelocity:
    case kFilter1Panning:
    case kFilter1ModAmount:
    case kFilter1FMAmount:
    case kFilter1PanAmount:
      return true;
    default:
      return false;
  }
}

}  // namespace

int LinkManager::filterPairPartner(int number) {
  if (number < kFilter1Cutoff || number >= kFilter1Cutoff + 2 * kFilterDistance) return -1;
  const int part = (number - kFilter1Cutoff) % kNumParts;
  const int base = number - part;
  if (isPairBase(base)) return number + kFilterDistance;
  if (isPairBase(base - kFilterDistance)) return number - kFilterDistance;
  return -1;
}

int LinkManager::partnerValue(int partner, int value, int linkOffset) {
  const long long d = std::llabs(static_cast<long long>(linkOffset));
  long long result = value;
  if (partner < value) result = value - d;
  if (partner > value) result = value + d;
  return static_cast<int>(result < 0 ? 0 : (result > 127 ? 127 : result));
}

void LinkManager::controlLinker(Sorvanta* plug, ControlAction* record, LinkInfo link, int paramIdx, int intValue,
                                double) {
  if (!plug || !record) return;
  int partner = link.param1;
  int switchParam = link.param2;
  const int counterpart = filterPairPartner(paramIdx);
  if (counterpart >= 0) {
    switchParam = kFilterLinkSwitch + (paramIdx % kNumParts);
    if (plug->paramValue(switchParam) == 1.0) {
      partner = counterpart;
    } else {
      record->linkOffset = truncToInt(plug->paramValue(counterpart)) - intValue;
      partner = link.param1;
    }
  }
  if (partner < 0 || switchParam < 0) return;
  if (plug->paramValue(switchParam) == 0.0) return;
  // A value the synth sent names only its own parameter: the synth holds the link in its sound
  // and says what else it moved. Moving or sending the partner here would write a parameter
  // nobody touched (a flood of the synth's cutoff became a flood of the editor's filter 2).
  if (plug->valueFromHardware()) return;
  IParam* partnerParam = plug->GetParam(partner);
  ControlAction* partnerRecord = partnerParam ? partnerParam->GetControlAction() : nullptr;
  if (!partnerRecord) return;

  const int newValue = partnerValue(truncToInt(partnerParam->Value()), intValue, record->linkOffset);
  plug->linking = true;
  // The partner of an edit (the user's or the host's) is sent even inside a call that applies an
  // incoming value: the incoming-message flag is masked for the partner's call only.
  const bool wasSuppressed = plug->incomingSuppressed.exchange(true);
  plug->processControlAction(partnerRecord, partner, newValue);
  plug->linking = false;
  for (IControl* c : partnerRecord->controls)
    if (c) c->SetValueFromPlug(partnerParam->GetNormalized());
  plug->incomingSuppressed = wasSuppressed;
}
