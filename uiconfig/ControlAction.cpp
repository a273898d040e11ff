#include "ControlAction.h"

#include <string>

#include "ParamNames.h"
#include "UIConfigText.h"

namespace {

// No parameter spans more values than this; a larger count is a broken description, not a range.
constexpr int kMaxPreparedMessages = 1 << 16;

template <typename T>
const T* entryAt(const std::vector<T>& v, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= v.size()) return nullptr;
  return &v[static_cast<std::size_t>(index)];
}

}  // namespace

const std::vector<int>* ControlAction::messageForValue(int value) const {
  return entryAt(sysex.messages, value);
}

const std::vector<std::vector<int>>* ControlAction::messageListForValue(int value) const {
  return entryAt(sysex.messageLists, value);
}

ControlAction* ControlAction::bindControl(ControlAction*& slot, int actionType, IControl* control) {
  if (!slot)
    slot = new ControlAction(actionType);
  else
    slot->type = actionType;
  if (control) slot->controls.push_back(control);
  return slot;
}

void ControlAction::setControlLink(ControlAction* record, int paramNumber, LinkInfo link,
                                   const RecordSlotLookup& slotOf) {
  if (!record || link.param1 < 0 || link.param2 < 0) return;
  record->linkInfo = link;
  // The partner number already carries the part (the link text reader added it); adding it again
  // here would bind part p's control to part 2p's partner.
  if (!isValidParamNumber(link.param1) || !slotOf) return;
  ControlAction** partnerSlot = slotOf(link.param1);
  if (!partnerSlot) return;
  if (!*partnerSlot) *partnerSlot = new ControlAction(kActionSysEx);
  (*partnerSlot)->linkInfo = LinkInfo{paramNumber, link.param2, -1};
}

bool calculateSysexWithChangingByte(const std::string& sysexTemplate, int changingByte, int count,
                                    ControlActionSysExMessage* out, int first, int part) {
  if (!out) return false;
  out->messages.clear();
  const std::vector<int> tmpl = convertStringSysextoVector(sysexTemplate);
  const int size = static_cast<int>(tmpl.size());
  const int pos = changingByte - 1;
  if (pos < 0 || pos >= size) return false;
  if (part >= 0 && size <= kSysExPartIndex) return false;
  if (count > kMaxPreparedMessages) return false;
  if (count <= 0) return true;

  out->messages.reserve(static_cast<std::size_t>(count));
  int value = first;
  std::vector<int> base = tmpl;
  // The part goes into every message, the template's own included: a per-part control whose
  // first message kept the template's part byte would edit another part for that value.
  if (part >= 0) base[kSysExPartIndex] = part;
  if (first == -1) {
    out->messages.push_back(base);
    value = tmpl[static_cast<std::size_t>(pos)] + 1;
  }
  while (static_cast<int>(out->messages.size()) < count) {
    std::vector<int> msg = base;
    if (value == 128)
      value = 0;
    else if (value < 0 || value > 127)
      value &= 0x7F;
    msg[static_cast<std::size_t>(pos)] = value;
    out->messages.push_back(std::move(msg));
    ++value;
  }
  return true;
}
