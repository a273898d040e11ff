#pragma once
// The answer the running dump-thread job waits for, and the one place that decides whose answer
// a dump is: the editor's, a librarian capture's, or nobody's.
//
// A job arms a wait before its request leaves (arm), hands every request that leaves to sent()
// and waits (wait). A dump answers the wait when it is what one of the wait's requests asked for:
// the dump of that command, from the device id it went to, for its bank and number (a sound
// request for part 3's edit buffer at id 0 is answered only by part 3's edit buffer from id 0;
// the global request, the device check, by the global dump from whatever id answers it). A
// wait armed with no request sent takes any dump of the kind it names (a job handing over its own
// dump, or a test standing in for the synth). The MIDI input thread asks claim() for every whole
// dump it is given; the caller parses or captures an answer and then marks it taken (answer).
// Nothing else arms, ends or fakes a wait.
//
// A wait cancelled unanswered may still have answers on their way: the requests it sent are owed
// theirs for kOwedMs. While one is owed, a dump of its kind may be that late answer (built for the
// sound the synth held then) rather than the new wait's, and the synth need not answer in order:
// such a dump is taken only when the synth says it twice. It is held, the wait asks once more
// (askAgain), and the answer is the dump that equals the one before it; one that is no longer in
// doubt (nothing of its kind owed) is taken at once. Answered so, the wait owes nothing of its
// own: one answer is still to come for each owed request it doubted, and those stay owed as long
// as they were (one answer for one request). A wait that timed out owes nothing; a
// late answer is never applied after its wait ended. A dump of another kind, part, bank or device,
// or one with no wait armed, is kStray: the caller applies it as what it is.
//
// Threads: arm, sent, wait and disarm on the dump thread (a test may arm from its own); claim and
// answer on the MIDI input thread or a job handing its own dump to the parser; in() anywhere.
// One lock guards everything; wait() sleeps on it for at most 20 ms at a time.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class ReplyWait {
 public:
  // kAnswer: the answer of the editor's wait. kJobAnswer: the answer of a wait that is not the
  // editor's (a librarian capture's, a job's own). kStray: nobody's.
  enum class Claim { kAnswer, kJobAnswer, kStray };
  // command: the dump's command byte (-1: any); number: a dump's number at position 6, for a sound
  // dump the part (-1: any). forEditor: the answer is parsed into the editor.
  void arm(int command = -1, int number = -1, bool forEditor = false);
  // A request of the armed wait left now (unframed, 3E 10 dev cmd [bank number], as the jobs
  // build it): its dump from that device id is the wait's answer.
  void sent(const std::vector<uint8_t>& request);
  // Whose answer the dump is (see the class comment). own: a job hands over the dump it built,
  // the answer of its wait as it stands.
  Claim claim(const uint8_t* data, int size, bool own = false);
  // A dump was taken: it answers the armed wait when it is the answer claim() names.
  void answer(const uint8_t* data, int size, bool own = false);
  bool in() const;
  // A wait for the editor is armed and not yet answered.
  bool waitingForEditor() const;
  // Waits at most ms for the answer, seeing giveUp() every 20 ms; true when the answer is in. Also
  // returns (false) the moment the wait wants to ask again.
  bool wait(int ms, const std::function<bool()>& giveUp);
  // The device id to ask again at, once (a dump in doubt came from it, or another id answered
  // while the wait keeps to this one), or -1.
  int takeAskAgain();
  // For the rest of the armed wait (an id scan), an answer from another id than `id` moves the
  // device id only once `id` was asked again in vain: it is held, and `id` asked (takeAskAgain).
  void keepTo(int id);
  // The id kept to was asked again in vain: the wait takes any id's answer again, and the one held
  // (empty when none) is handed back to be taken as it came.
  std::vector<uint8_t> moveToHeld();
  // The job ends: the wait takes nothing more, and in() still says whether it was answered.
  // cancelled: the job was cancelled, and its unanswered requests are owed their answers.
  void end(bool cancelled);
  // No answer is in until the next arm is answered (a new job starts).
  void disarm();
  // The device id whose dump last answered a request, or -1 before any did.
  int lastAnsweredId() const;

  // How long an unanswered request's answer is still expected. A sound dump takes 125 ms on a
  // DIN cable; two seconds cover a synth busy with its panel.
  static constexpr uint32_t kOwedMs = 2000;
  // The clock of kOwedMs (a test's own clock in its place).
  uint32_t (*clock)() = nullptr;

 private:
  // What a request asked for: its dump's command, the device id it went to (-1: any), bank and
  // number (-1 for a dump that has none), when it left, and whether the editor takes its answer.
  struct Asked {
    int device, command, bank, number;
    uint32_t at;
    bool forEditor;
    bool answeredBy(const uint8_t* data) const;
  };
  // Lock held: a dump of the armed wait's may be the late answer of an owed request.
  bool inDoubtLocked(const uint8_t* data) const;
  uint32_t ticks() const;
  // Lock held: what is owed, or also taken, for longer than kOwedMs goes.
  void pruneLocked(uint32_t t);
  // Lock held: the armed wait ends; with owe, the requests of an unanswered one are owed.
  void endLocked(bool owe);
  // Lock held: the dump answers the armed, unanswered wait.
  bool answersWaitLocked(const uint8_t* data, int size, bool own) const;

  mutable std::mutex lock;
  std::condition_variable arrived;
  uint64_t armed = 0, answered = 0;  // numbers of waits; answered == armed: the answer is in
  int command = -1, number = -1;
  bool forEditor = false;
  bool open = false;  // armed and not ended: an answer may still come
  std::vector<Asked> asked;  // the requests of the armed wait
  // Requests of ended waits whose answers may still come (see the class comment); oldest first.
  std::deque<Asked> owed;
  // The armed wait's dump in doubt, and the id to ask again at (-1: none).
  std::vector<uint8_t> heldDump;
  int askAgainAt = -1;
  // keepTo's id (-1: none), and the other id's answer held meanwhile.
  int keep = -1;
  std::vector<uint8_t> heldOther;
  int lastId = -1;
};
