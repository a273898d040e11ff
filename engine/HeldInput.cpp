#include "HeldInput.h"

#include <algorithm>

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

bool HeldInput::hold(const uint8_t* data, size_t size, bool holding, int target) {
  std::lock_guard<std::mutex> g(queueLock);
  // Behind what is held already, in order, even once the transfer let go.
  if (queue.empty() && !releasing && !holding) return false;
  makeRoomLocked();
  queue.push_back({std::vector<uint8_t>(data, data + size), ++arrivals, target});
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
      resend = m.target >= 0 && m.target < kTargets && sentAt[m.target] >= m.seq;
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
}
