#pragma once
// The dump thread's serial queue: the jobs waiting behind the running one, the numbers the jobs
// are given, and how the last few ended.
//
// Every dump-thread job gets a number (never 0). A job may belong to a request (its record's
// `belongsTo`): it runs only once that request ended with its answer, and goes with a request
// that ended without one or was replaced. A newer job replaces the waiting ones it supersedes
// (the caller's test), and the jobs that belonged to those follow it instead.
//
// Threads: any; one lock guards everything, held for the length of each call only. lastId() is
// an atomic read. Record is the job's record (JobRecord), with a `belongsTo` number.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

template <class Record>
class JobQueue {
 public:
  struct Job {
    Record record;
    std::function<void()> beforeStart;
    uint64_t id = 0;
  };
  using Supersedes = bool (*)(const Record& newer, const Record& older);

  JobQueue() { reserveLocked(kRoom); }

  // A number for a job that starts at once: it runs now.
  uint64_t startNow() {
    std::lock_guard<std::mutex> g(lock);
    return running = ++last;
  }
  // Queues a job behind the others (first: ahead of them, to run next), replacing what it
  // supersedes; its number. Without mayWait (the render thread) nothing is queued (0) while
  // another caller holds the queue, or when the queue's room is used up: that caller allocates
  // nothing here (its beforeStart must be one that std::function holds in place, a lambda of a
  // pointer or two).
  uint64_t add(const Record& record, const std::function<void()>& beforeStart, Supersedes supersedes,
               bool mayWait = true, bool first = false) {
    std::unique_lock<std::mutex> g(lock, std::defer_lock);
    if (!mayWait && !g.try_lock()) return 0;
    if (mayWait) g.lock();
    if (queued.size() + 1 > queued.capacity()) {
      if (!mayWait) return 0;
      reserveLocked(2 * queued.capacity());
    }
    const uint64_t id = ++last;
    // Kept jobs into the spare buffer in order; the followers of replaced ones gather at the
    // front of this one, and go behind the new job.
    gone.clear();
    spare.clear();
    size_t followers = 0;
    for (Job& q : queued) {
      if (supersedes(record, q.record)) {
        gone.push_back(q.id);
        rememberLocked(q.id, false);
      } else if (std::find(gone.begin(), gone.end(), q.record.belongsTo) != gone.end()) {
        q.record.belongsTo = id;
        if (&queued[followers] != &q) queued[followers] = std::move(q);
        ++followers;
      } else {
        spare.push_back(std::move(q));
      }
    }
    const size_t kept = spare.size();
    spare.push_back({record, beforeStart, id});
    for (size_t i = 0; i < followers; ++i) spare.push_back(std::move(queued[i]));
    if (first) std::rotate(spare.begin(), spare.begin() + static_cast<std::ptrdiff_t>(kept), spare.end());
    queued.clear();
    queued.swap(spare);
    return id;
  }
  // Whether a job of request `request` may still run: the request runs (runningBusy: the running
  // job has not ended), waits here, or ended with its answer.
  bool mayFollow(uint64_t request, bool runningBusy) const {
    std::lock_guard<std::mutex> g(lock);
    if (request == running && runningBusy) return true;
    if (std::any_of(queued.begin(), queued.end(), [request](const Job& q) { return q.id == request; })) return true;
    return answeredLocked(request);
  }
  // The running job ended (answered: with its answer). The jobs of requests that ended without
  // theirs go; then the next job is taken out into *next and becomes the running one, if any.
  bool next(bool answered, Job* next) {
    std::lock_guard<std::mutex> g(lock);
    rememberLocked(running, answered);
    while (!queued.empty() && queued.front().record.belongsTo != 0 && !answeredLocked(queued.front().record.belongsTo)) {
      rememberLocked(queued.front().id, false);
      queued.erase(queued.begin());
    }
    if (queued.empty() || next == nullptr) return false;
    *next = std::move(queued.front());
    queued.erase(queued.begin());
    running = next->id;
    return true;
  }
  bool empty() const {
    std::lock_guard<std::mutex> g(lock);
    return queued.empty();
  }
  void clear() {
    std::lock_guard<std::mutex> g(lock);
    queued.clear();
  }
  // The last number given (a job numbered no higher was asked for before now).
  uint64_t lastId() const { return last.load(); }

 private:
  // Room for this many waiting jobs is made at once (a push queues a few dozen at most); more is
  // made by a caller that may wait.
  static constexpr size_t kRoom = 64;
  static constexpr size_t kEnded = 64;  // a send-back asks within moments of its request

  void reserveLocked(size_t room) {
    queued.reserve(room);
    spare.reserve(room);
    gone.reserve(room);
  }
  bool answeredLocked(uint64_t id) const {
    for (size_t i = 0; i < endedCount; ++i)
      if (ended[i].first == id) return ended[i].second;
    return false;
  }
  void rememberLocked(uint64_t id, bool answered) {
    // The oldest end is overwritten once the ring is full.
    ended[endedNext] = {id, answered};
    endedNext = (endedNext + 1) % kEnded;
    endedCount = std::min(endedCount + 1, kEnded);
  }

  mutable std::mutex lock;
  std::vector<Job> queued;  // oldest first
  std::vector<Job> spare;   // add's work buffer, swapped with queued
  std::vector<uint64_t> gone;  // add's: the numbers of the jobs it replaced
  std::atomic<uint64_t> last{0};
  uint64_t running = 0;
  std::array<std::pair<uint64_t, bool>, kEnded> ended{};  // (number, answered), a ring
  size_t endedNext = 0, endedCount = 0;
};
