#pragma once
// The answer the running dump-thread job waits for, and the one place that decides whose answer
// a dump is.
//
// A job arms a wait before its request leaves (arm), says when a request left (sent) and waits
// (wait). The MIDI input thread asks claim() for every whole dump it is given: kAnswer only for a
// dump of the command and part the armed wait asks for, while that wait is not yet answered; the
// caller parses it and then marks it taken (answer). Nothing else arms, ends or fakes a wait.
//
// A wait cancelled unanswered after its request left still has an answer on its way: the synth
// answers in order, so the first matching dump within kOwedMs of that request is that late answer
// (kLate), never the answer of a later wait of the same kind. (A wait that timed out after the
// scan of every id expects none.) Another kind or part, or a dump with no wait armed, is kStray: the caller
// applies it as what it is.
//
// Threads: arm, sent, wait and disarm on the dump thread (a test may arm from its own); claim and
// answer on the MIDI input thread or a job handing its own dump to the parser; in() anywhere.
// One lock guards everything; wait() sleeps on it for at most 20 ms at a time.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class ReplyWait {
 public:
  enum class Claim { kAnswer, kLate, kStray };
  // command: the dump's command byte (-1: any); part: a sound dump's part at position 6 (-1:
  // any). forEditor: the answer is parsed into the editor (a librarian capture's is not).
  void arm(int command = -1, int part = -1, bool forEditor = false);
  // A request of the armed wait left now: should the wait end unanswered, its answer is owed.
  void sent();
  // Whose answer the dump is (see the class comment). A late answer is counted off here, except
  // from a job handing over its own dump (own), which is nobody's late answer.
  Claim claim(const uint8_t* data, int size, bool own = false);
  // A dump was taken: it answers the armed wait when it is of the kind asked for.
  void answer(const uint8_t* data, int size);
  bool in() const;
  // A wait for the editor is armed and not yet answered.
  bool waitingForEditor() const;
  // Waits at most ms for the answer, seeing giveUp() every 20 ms; true when the answer is in.
  bool wait(int ms, const std::function<bool()>& giveUp);
  // The job ends: the wait takes nothing more, and in() still says whether it was answered.
  // cancelled: the job was cancelled, and an unanswered request's answer is owed.
  void end(bool cancelled);
  // No answer is in until the next arm is answered (a new job starts).
  void disarm();

  // How long an unanswered request's answer is still expected. A sound dump takes 125 ms on a
  // DIN cable; two seconds cover a synth busy with its panel.
  static constexpr uint32_t kOwedMs = 2000;

 private:
  struct Owed {
    int command, part;
    uint32_t sentAt;
  };
  // Lock held: the armed wait ends; with owe, an unanswered one whose request left leaves its
  // answer owed.
  void endLocked(bool owe);
  bool matchesLocked(const uint8_t* data, int size) const;

  mutable std::mutex lock;
  std::condition_variable arrived;
  uint64_t armed = 0, answered = 0;  // numbers of waits; answered == armed: the answer is in
  int command = -1, part = -1;
  bool forEditor = false;
  bool open = false;  // armed and not ended: an answer may still come
  bool requestLeft = false;
  uint32_t lastSent = 0;
  std::deque<Owed> owed;  // oldest first; a few at most
};
