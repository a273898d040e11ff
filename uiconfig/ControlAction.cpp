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

void PreparedSysExTable::clear() {
  base.clear();
  preparedCount = 0;
  whole.clear();
}

bool PreparedSysExTable::copyTo(std::size_t index, Message* out) const {
  const std::size_t prepared = static_cast<std::size_t>(preparedCount);
  if (index >= prepared) {
    if (index - prepared >= whole.size()) return false;
    *out = whole[index - prepared];
    return true;
  }
  out->assign(base.begin(), base.end());
  if (firstIsBase && index == 0) return true;
  // Unsigned, so a first value near the int limits wraps instead of overflowing; the low 7 bits
  // are the same either way.
  const std::size_t k = firstIsBase ? index - 1 : index;
  (*out)[static_cast<std::size_t>(valuePos)] =
      static_cast<int>((static_cast<unsigned>(firstValue) + static_cast<unsigned>(k)) & 0x7Fu);
  return true;
}

PreparedSysExTable::Message PreparedSysExTable::operator[](std::size_t index) const {
  Message m;
  copyTo(index, &m);
  return m;
}

void PreparedSysExTable::push_back(Message message) { whole.push_back(std::move(message)); }

void PreparedSysExTable::assignPrepared(Message tmpl, int pos, bool keepFirst, int first,
                                        int count) {
  whole.clear();
  base = std::move(tmpl);
  valuePos = pos;
  firstIsBase = keepFirst;
  firstValue = first;
  preparedCount = count < 0 ? 0 : count;
}

std::size_t PreparedSysExTable::heapBytes() const {
  std::size_t n = base.capacity() * sizeof(int) + whole.capacity() * sizeof(Message);
  for (const Message& m : whole) n += m.capacity() * sizeof(int);
  return n;
}

const std::vector<int>* ControlAction::messageForValue(int value) const {
  // One buffer per thread: records are read under the plug-in's lock, but nothing here should
  // depend on it.
  thread_local std::vector<int> buffer;
  if (value < 0 || !sysex.messages.copyTo(static_cast<std::size_t>(value), &buffer)) return nullptr;
  return &buffer;
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
  return calculateSysexWithChangingByte(convertStringSysextoVector(sysexTemplate), changingByte,
                                        count, out, first, part);
}

bool calculateSysexWithChangingByte(const std::vector<int>& tmpl, int changingByte, int count,
                                    ControlActionSysExMessage* out, int first, int part) {
  if (!out) return false;
  out->messages.clear();
  const int size = static_cast<int>(tmpl.size());
  const int pos = changingByte - 1;
  if (pos < 0 || pos >= size) return false;
  if (part >= 0 && size <= kSysExPartIndex) return false;
  if (count > kMaxPreparedMessages) return false;
  if (count <= 0) return true;

  std::vector<int> base = tmpl;
  // The part goes into every message, the template's own included: a per-part control whose
  // first message kept the template's part byte would edit another part for that value.
  if (part >= 0) base[kSysExPartIndex] = part;
  // With first == -1 the template's own message comes first and counting goes on from its
  // value byte (as read before the part was written). Every computed value byte is the low 7
  // bits of the running value: 128 wraps to 0, and a negative minimum never yields a status
  // byte inside the SysEx.
  const bool keepFirst = first == -1;
  const int firstComputed = keepFirst ? tmpl[static_cast<std::size_t>(pos)] + 1 : first;
  out->messages.assignPrepared(std::move(base), pos, keepFirst, firstComputed, count);
  return true;
}
