#include "ReplyWait.h"

#include <algorithm>
#include <chrono>

#include "SysexProtocol.h"
#include "WINX_Time.h"

namespace {
bool fits(int want, int have) { return want < 0 || want == have; }
}  // namespace

void ReplyWait::endLocked(bool owe) {
  // A wait for any dump (a librarian capture's) names no answer that could be told from another.
  if (owe && open && answered != armed && requestLeft && command >= 0 && owed.size() < 16)
    owed.push_back({command, part, lastSent});
  requestLeft = false;
  open = false;
}

void ReplyWait::arm(int cmd, int forPart, bool editor) {
  std::lock_guard<std::mutex> g(lock);
  endLocked(false);
  ++armed;
  command = cmd;
  part = forPart;
  forEditor = editor;
  open = true;
}

void ReplyWait::sent() {
  std::lock_guard<std::mutex> g(lock);
  requestLeft = true;
  lastSent = GetTickCount();
}

bool ReplyWait::matchesLocked(const uint8_t* data, int size) const {
  return data != nullptr && size > sysex::kNumberPos && fits(command, data[sysex::kCommandPos]) &&
         fits(part, data[sysex::kNumberPos]);
}

ReplyWait::Claim ReplyWait::claim(const uint8_t* data, int size, bool own) {
  if (data == nullptr || size <= sysex::kNumberPos) return Claim::kStray;
  std::lock_guard<std::mutex> g(lock);
  const uint32_t now = GetTickCount();
  owed.erase(std::remove_if(owed.begin(), owed.end(), [now](const Owed& o) { return now - o.sentAt > kOwedMs; }),
             owed.end());
  for (auto o = owed.begin(); o != owed.end() && !own; ++o)
    if (fits(o->command, data[sysex::kCommandPos]) && fits(o->part, data[sysex::kNumberPos])) {
      owed.erase(o);
      return Claim::kLate;
    }
  if (!open || answered == armed || !forEditor || !matchesLocked(data, size)) return Claim::kStray;
  return Claim::kAnswer;
}

void ReplyWait::answer(const uint8_t* data, int size) {
  {
    std::lock_guard<std::mutex> g(lock);
    if (!open || answered == armed || !matchesLocked(data, size)) return;
    answered = armed;
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
    if (now >= end || (giveUp && giveUp())) return false;
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
