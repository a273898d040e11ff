#pragma once
// Short messages from the synth held back while a transfer holds input (a push, a multi send),
// and their release.
//
// The MIDI input thread holds a message (hold) while a transfer holds input, and also while
// earlier ones wait, so that they go in in the order they came. Whoever releases them (the input
// thread once nothing holds, the dump thread between two jobs) applies them oldest first, one
// releaser at a time, each message under the apply lock: a dump the input thread parses after
// drain() never has an older held message land over it.
//
// Only the last value of a parameter is held: a refresh held again replaces the held one of the
// same parameter, in its place (first arrival), unless a protected message came between the two (a
// program change: the value set after it is another program's); then the earlier one goes and the
// later one is held behind the protected message. A program the synth chooses for a part makes the
// values and choices held for that part before it moot: they still go in, but never back to the
// synth over the program it chose after them.
//
// A program chosen again makes the earlier choice moot: of the program changes of a channel (and
// of a part's programs in the multi) only the last is held, and of its bank selects the last
// before that program and the last after it. So a long push under program changes alone holds a
// few per channel.
//
// Bounded: past kMax held, the oldest refresh goes first (a controller's or knob's earlier value),
// then the oldest message that is neither a program change nor a bank select (a note); the program
// change, bank select or part's program in the multi that stands is never dropped.
//
// A message held while a dump of what it changes went to the synth after it (dumpSent), or while
// its target is about to be overwritten (dumpDue: a program chosen again), comes back from
// release() with `resend`: the synth lost it, so it must go to the synth again once the editor has
// it. Being the last held of its parameter, it is the synth's last word there; a moot one never
// comes back with `resend`.
//
// Threads: hold on the MIDI input thread; release and drain on the input or dump thread;
// dumpSent on the dump thread; clear anywhere. Never call release from inside `apply`.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class HeldInput {
 public:
  // What a dump carries: a part's sound (0..15), the multi, the global settings.
  static constexpr int kMulti = 16, kGlobal = 17, kTargets = 18;
  using Apply = std::function<void(const std::vector<uint8_t>& message, bool resend)>;

  // Holds the message when `holding`, or when earlier ones wait or are being applied; false when
  // it is to be applied now. targets: what of the synth it changes, one bit each (1 << part,
  // 1 << kMulti, ...), or 0. param: the editor's parameter a refresh sets (-1: told by its bytes).
  bool hold(const uint8_t* data, size_t size, bool holding, uint32_t targets, int param = -1);
  // Applies at most `limit` held messages, oldest first, while stillHolding() is false; waits
  // for another releaser's slice to end first. Returns how many it applied.
  size_t release(size_t limit, const std::function<bool()>& stillHolding, const Apply& apply);
  // A dump of `target` went to the synth: what is held for it now goes back to the synth.
  void dumpSent(int target);
  // One more (due) or one less overwrite of `target` is on its way to the synth: meanwhile all
  // that is released for it goes back.
  void dumpDue(int target, bool due);
  bool empty() const;
  size_t size() const;
  void clear();

  // A message whose later copy makes it moot: a controller other than a bank select, a knob's
  // parameter change (not a part's bank or program in the multi). Never a program change.
  static bool isRefresh(const uint8_t* bytes, size_t size);
  // A program change, a bank select, a part's bank or program in the multi, a dump.
  static bool isProtected(const uint8_t* bytes, size_t size);
  // Two refreshes of the same parameter (channel and controller; device, command, part and index).
  static bool sameParameter(const std::vector<uint8_t>& a, const uint8_t* b, size_t size);

  static constexpr size_t kMax = 4096;

 private:
  struct Held {
    std::vector<uint8_t> bytes;
    uint64_t seq;  // the arrival of the value it holds now
    uint32_t targets;
    int param = -1;
    bool moot = false;  // a later program choice of its part: never resent
  };
  // Queue lock held: makes room for one more under kMax.
  void makeRoomLocked();
  // Queue lock held: drops the program and bank choices that `newest`, just held, made moot.
  void coalesceChoicesLocked(const std::vector<uint8_t>& newest);

  mutable std::mutex queueLock;
  std::deque<Held> queue;
  bool releasing = false;  // queueLock: a releaser has taken a message it has not applied yet
  uint64_t arrivals = 0;   // queueLock: the number of the last message held
  uint64_t sentAt[kTargets] = {};  // queueLock: `arrivals` when each target's dump last went
  int due[kTargets] = {};          // queueLock: overwrites of each target on their way
  std::mutex applyLock;    // one releaser at a time
};
