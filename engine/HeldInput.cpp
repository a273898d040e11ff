#include "HeldInput.h"

#include <algorithm>
#include <iterator>

#include "SysexProtocol.h"

namespace {
constexpr int kParts = 16;
}

bool HeldInput::isRefresh(const uint8_t* m, size_t size) {
  if (size == 3 && (m[0] & 0xF0) == 0xB0) return m[1] != 0 && m[1] != 32;
  if ((size != 9 && size != 10) || m[0] != sysex::kStart || m[1] != sysex::kManufacturer) return false;
  if (size == 9 && m[4] == sysex::kMultiParamChange) {
    const int index = m[5] * 128 + m[6];
    return index < 32 || index >= 32 + 22 * kParts || (index - 32) % 22 > 1;
  }
  return true;
}

bool HeldInput::isProtected(const uint8_t* m, size_t size) {
  if (size == 0 || isRefresh(m, size)) return false;
  if (m[0] == sysex::kStart) return true;  // a dump, or a part's bank or program in the multi
  const int kind = m[0] & 0xF0;
  return kind == 0xC0 || (kind == 0xB0 && size > 1 && (m[1] == 0 || m[1] == 32));
}

bool HeldInput::sameParameter(const std::vector<uint8_t>& a, const uint8_t* b, size_t size) {
  if (a.size() != size || !isRefresh(b, size)) return false;
  const size_t from = size == 3 ? 0 : 3, to = size == 3 ? 2 : size - 2;  // status and controller; id to index
  return std::equal(a.begin() + static_cast<long>(from), a.begin() + static_cast<long>(to), b + from);
}

namespace {

// Where a message that chooses a program belongs: its channel's (program change, bank select) or
// its part's in the multi (the multi's bank and program of the part), and which of the choosing
// messages there it is: kProgram, or a bank key. domain -1: none of these.
constexpr int kProgram = 2;
struct Choice {
  int domain = -1;
  int key = 0;
};

Choice choiceOf(const std::vector<uint8_t>& m) {
  Choice c;
  if (m.size() >= 2 && (m[0] & 0xF0) == 0xC0) {
    c.domain = m[0] & 0x0F, c.key = kProgram;
  } else if (m.size() == 3 && (m[0] & 0xF0) == 0xB0 && (m[1] == 0 || m[1] == 32)) {
    c.domain = m[0] & 0x0F, c.key = m[1] == 0 ? 0 : 1;
  } else if (m.size() == 9 && m[0] == sysex::kStart && m[4] == sysex::kMultiParamChange) {
    const int index = m[5] * 128 + m[6] - 32;
    if (index >= 0 && index < 22 * kParts && index % 22 <= 1) c.domain = 16 + index / 22, c.key = index % 22 == 1 ? kProgram : 0;
  }
  return c;
}

}  // namespace

void HeldInput::coalesceChoicesLocked(const std::vector<uint8_t>& newest) {
  const Choice chosen = choiceOf(newest);
  if (chosen.domain < 0) return;
  // From the newest back: the last program of the domain stands, an earlier one is moot (the synth
  // plays the last). A bank select stands when it is the last of its kind before a program that
  // stands, or after the last one (the bank the next program is chosen in); the rest are moot.
  bool later[kProgram + 1] = {};
  for (size_t i = queue.size(); i-- > 0;) {
    const Choice c = choiceOf(queue[i].bytes);
    if (c.domain != chosen.domain) continue;
    if (later[c.key]) {
      queue.erase(queue.begin() + static_cast<long>(i));
      continue;
    }
    later[c.key] = true;
    if (c.key == kProgram) later[0] = later[1] = false;
  }
}

void HeldInput::makeRoomLocked() {
  if (queue.size() < kMax) return;
  auto dropFirst = [this](bool (*droppable)(const Held&)) {
    auto it = std::find_if(queue.begin(), queue.end(), droppable);
    if (it == queue.end()) return false;
    queue.erase(it);
    return true;
  };
  if (dropFirst([](const Held& h) { return isRefresh(h.bytes.data(), h.bytes.size()); })) return;
  // Nothing but protected messages is over the bound only by what a synth never sends so fast.
  dropFirst([](const Held& h) { return !isProtected(h.bytes.data(), h.bytes.size()); });
}

bool HeldInput::hold(const uint8_t* data, size_t size, bool holding, uint32_t targets, int param) {
  std::lock_guard<std::mutex> g(queueLock);
  // Behind what is held already, in order, even once the transfer let go.
  if (queue.empty() && !releasing && !holding) return false;
  if (isRefresh(data, size)) {
    bool protectedBetween = false;
    for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
      if (param >= 0 ? it->param != param : !sameParameter(it->bytes, data, size)) {
        protectedBetween = protectedBetween || isProtected(it->bytes.data(), it->bytes.size());
        continue;
      }
      if (!protectedBetween) {
        it->bytes.assign(data, data + size);
        it->seq = ++arrivals;
        it->targets = targets;
        it->moot = false;
        return true;
      }
      queue.erase(std::next(it).base());
      break;  // one at most is held
    }
  }
  makeRoomLocked();
  queue.push_back({std::vector<uint8_t>(data, data + size), ++arrivals, targets, param});
  const std::vector<uint8_t>& newest = queue.back().bytes;
  // The parts whose program it chooses: what was held for them before is no word to put back.
  if (const uint32_t parts = targets & ((1u << kParts) - 1); parts != 0 && isProtected(data, size))
    for (size_t i = 0; i + 1 < queue.size(); ++i)
      if (queue[i].targets & parts) queue[i].moot = true;
  coalesceChoicesLocked(newest);
  return true;
}

size_t HeldInput::release(size_t limit, const std::function<bool()>& stillHolding, const Apply& apply) {
  std::lock_guard<std::mutex> a(applyLock);
  size_t n = 0;
  for (; n < limit; ++n) {
    Held m;
    bool resend = false;
    {
      std::lock_guard<std::mutex> g(queueLock);
      if (queue.empty() || (stillHolding && stillHolding())) break;
      m = std::move(queue.front());
      queue.pop_front();
      for (int t = 0; t < kTargets && !m.moot; ++t)
        resend = resend || ((m.targets >> t & 1u) && (due[t] > 0 || sentAt[t] >= m.seq));
      releasing = true;
    }
    apply(m.bytes, resend);
    std::lock_guard<std::mutex> g(queueLock);
    releasing = false;
  }
  return n;
}

void HeldInput::dumpSent(int target) {
  std::lock_guard<std::mutex> g(queueLock);
  if (target >= 0 && target < kTargets) sentAt[target] = arrivals;
}

void HeldInput::dumpDue(int target, bool isDue) {
  std::lock_guard<std::mutex> g(queueLock);
  if (target >= 0 && target < kTargets) due[target] = std::max(0, due[target] + (isDue ? 1 : -1));
}

bool HeldInput::empty() const {
  std::lock_guard<std::mutex> g(queueLock);
  return queue.empty() && !releasing;
}

size_t HeldInput::size() const {
  std::lock_guard<std::mutex> g(queueLock);
  return queue.size();
}

void HeldInput::clear() {
  std::lock_guard<std::mutex> g(queueLock);
  queue.clear();
  std::fill(std::begin(due), std::end(due), 0);
}
