#include "ReplyWait.h"

#include <algorithm>
#include <chrono>

#include "SysexProtocol.h"
#include "WINX_Time.h"

namespace {
bool fits(int want, int have) { return want < 0 || want == have; }
// Requests owed their answers at most: a cancelled scan asked every id.
constexpr size_t kMaxOwed = 512;
}  // namespace

bool ReplyWait::Asked::answeredBy(const uint8_t* d) const {
  // A request to 0x7F asks every device, and the global request is the device check: any id
  // answers them.
  return d[sysex::kCommandPos] == command && (device < 0 || device == 0x7F || d[sysex::kDevicePos] == device) &&
         (bank < 0 || (d[sysex::kBankPos] == bank && d[sysex::kNumberPos] == number));
}

uint32_t ReplyWait::ticks() const { return clock ? clock() : GetTickCount(); }

void ReplyWait::pruneLocked(uint32_t t) {
  auto expired = [t](const Asked& a) { return t - a.at > kOwedMs; };
  owed.erase(std::remove_if(owed.begin(), owed.end(), expired), owed.end());
}

bool ReplyWait::inDoubtLocked(const uint8_t* data) const {
  return std::any_of(owed.begin(), owed.end(), [data](const Asked& a) { return a.answeredBy(data); });
}

void ReplyWait::endLocked(bool owe) {
  if (owe && open && answered != armed)
    for (const Asked& a : asked) owed.push_back(a);
  while (owed.size() > kMaxOwed) owed.pop_front();
  asked.clear();
  heldDump.clear();
  askAgainAt = -1;
  keep = -1;
  heldOther.clear();
  open = false;
}

void ReplyWait::arm(int cmd, int forNumber, bool editor) {
  std::lock_guard<std::mutex> g(lock);
  endLocked(false);
  ++armed;
  command = cmd;
  number = forNumber;
  forEditor = editor;
  open = true;
}

void ReplyWait::sent(const std::vector<uint8_t>& r) {
  if (r.size() < 4) return;
  const int cmd = r[3];
  const bool addressed = (cmd == sysex::kSoundRequest || cmd == sysex::kMultiRequest) && r.size() >= 6;
  if (!addressed && cmd != sysex::kGlobalRequest) return;
  std::lock_guard<std::mutex> g(lock);
  const uint32_t t = ticks();
  Asked a{addressed ? r[2] : -1,
          cmd == sysex::kSoundRequest ? sysex::kSoundDump : cmd == sysex::kMultiRequest ? sysex::kMultiDump : sysex::kGlobalDump,
          addressed ? r[4] : -1,
          addressed ? r[5] : -1,
          t,
          forEditor};
  auto same = [&a](const Asked& o) {
    return o.device == a.device && o.command == a.command && o.bank == a.bank && o.number == a.number;
  };
  asked.erase(std::remove_if(asked.begin(), asked.end(), same), asked.end());
  asked.push_back(a);
  pruneLocked(t);
}

bool ReplyWait::answersWaitLocked(const uint8_t* data, int size, bool own) const {
  if (!open || answered == armed || data == nullptr || size <= sysex::kNumberPos ||
      !fits(command, data[sysex::kCommandPos]) || !fits(number, data[sysex::kNumberPos]))
    return false;
  return own || asked.empty() ||
         std::any_of(asked.begin(), asked.end(), [data](const Asked& a) { return a.answeredBy(data); });
}

ReplyWait::Claim ReplyWait::claim(const uint8_t* data, int size, bool own) {
  if (data == nullptr || size <= sysex::kNumberPos) return Claim::kStray;
  {
    std::lock_guard<std::mutex> g(lock);
    pruneLocked(ticks());
    if (!answersWaitLocked(data, size, own)) return Claim::kStray;
    // Another id than the one kept to: the kept one is asked once more first.
    if (!own && keep >= 0 && data[sysex::kDevicePos] != keep) {
      if (!heldOther.empty()) return Claim::kStray;
      heldOther.assign(data, data + size);
      askAgainAt = keep;
      arrived.notify_all();
      return Claim::kStray;
    }
    // Said twice, or no longer in doubt: the synth's answer as it stands.
    if (own || asked.empty() || !inDoubtLocked(data) ||
        (heldDump.size() == static_cast<size_t>(size) && std::equal(heldDump.begin(), heldDump.end(), data))) {
      if (!own) lastId = data[sysex::kDevicePos];
      return forEditor ? Claim::kAnswer : Claim::kJobAnswer;
    }
    heldDump.assign(data, data + size);
    askAgainAt = data[sysex::kDevicePos];
  }
  arrived.notify_all();
  return Claim::kStray;
}

void ReplyWait::keepTo(int id) {
  std::lock_guard<std::mutex> g(lock);
  if (open) keep = id;
}

std::vector<uint8_t> ReplyWait::moveToHeld() {
  std::lock_guard<std::mutex> g(lock);
  std::vector<uint8_t> held;
  held.swap(heldOther);
  if (!held.empty()) keep = -1;
  return held;
}

int ReplyWait::takeAskAgain() {
  std::lock_guard<std::mutex> g(lock);
  const int d = askAgainAt;
  askAgainAt = -1;
  return d;
}

void ReplyWait::answer(const uint8_t* data, int size, bool own) {
  {
    std::lock_guard<std::mutex> g(lock);
    if (!answersWaitLocked(data, size, own)) return;
    answered = armed;
    // Asked again n times, the wait sent n + 1 requests and took n + 1 dumps: what is still to
    // come is one answer for each owed request it doubted, which stay owed as long as they were.
    // Owing its answered requests again would put every later wait of their kind in doubt for as
    // long as such waits come less than kOwedMs apart.
    askAgainAt = -1;
  }
  arrived.notify_all();
}

bool ReplyWait::in() const {
  std::lock_guard<std::mutex> g(lock);
  return armed != 0 && answered == armed;
}

bool ReplyWait::waitingForEditor() const {
  std::lock_guard<std::mutex> g(lock);
  return open && answered != armed && forEditor;
}

int ReplyWait::lastAnsweredId() const {
  std::lock_guard<std::mutex> g(lock);
  return lastId;
}

void ReplyWait::end(bool cancelled) {
  std::lock_guard<std::mutex> g(lock);
  endLocked(cancelled);
}

bool ReplyWait::wait(int ms, const std::function<bool()>& giveUp) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(ms, 0));
  std::unique_lock<std::mutex> g(lock);
  for (;;) {
    if (armed != 0 && answered == armed) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= end || askAgainAt >= 0 || (giveUp && giveUp())) return false;
    // A cancel is a plain flag: looked at every 20 ms, as the jobs' pauses do.
    arrived.wait_until(g, std::min(end, now + std::chrono::milliseconds(20)));
  }
}

void ReplyWait::disarm() {
  // A new number that nothing answers: in() is false until the next arm is answered.
  std::lock_guard<std::mutex> g(lock);
  endLocked(false);
  ++armed;
  forEditor = false;
}
