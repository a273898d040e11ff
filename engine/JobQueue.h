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
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
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

  // A number for a job that starts at once: it runs now.
  uint64_t startNow() {
    std::lock_guard<std::mutex> g(lock);
    return running = ++last;
  }
  // Queues a job behind the others (first: ahead of them, to run next), replacing what it
  // supersedes; its number. Without mayWait (the render thread) nothing is queued (0) while
  // another caller holds the queue.
  uint64_t add(const Record& record, const std::function<void()>& beforeStart, Supersedes supersedes,
               bool mayWait = true, bool first = false) {
    std::unique_lock<std::mutex> g(lock, std::defer_lock);
    if (!mayWait && !g.try_lock()) return 0;
    if (mayWait) g.lock();
    const uint64_t id = ++last;
    std::vector<uint64_t> gone;
    std::deque<Job> kept, followers;
    for (Job& q : queued) {
      if (supersedes(record, q.record)) {
        gone.push_back(q.id);
        rememberLocked(q.id, false);
      } else if (std::find(gone.begin(), gone.end(), q.record.belongsTo) != gone.end()) {
        q.record.belongsTo = id;
        followers.push_back(std::move(q));
      } else {
        kept.push_back(std::move(q));
      }
    }
    const auto at = first ? kept.begin() : kept.end();
    followers.push_front({record, beforeStart, id});
    kept.insert(at, std::make_move_iterator(followers.begin()), std::make_move_iterator(followers.end()));
    queued.swap(kept);
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
      queued.pop_front();
    }
    if (queued.empty() || next == nullptr) return false;
    *next = std::move(queued.front());
    queued.pop_front();
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
  bool answeredLocked(uint64_t id) const {
    for (const auto& [job, answered] : ended)
      if (job == id) return answered;
    return false;
  }
  void rememberLocked(uint64_t id, bool answered) {
    ended.emplace_back(id, answered);
    // A send-back asks within moments of its request: a few dozen ends are plenty.
    if (ended.size() > 64) ended.pop_front();
  }

  mutable std::mutex lock;
  std::deque<Job> queued;  // oldest first
  std::atomic<uint64_t> last{0};
  uint64_t running = 0;
  std::deque<std::pair<uint64_t, bool>> ended;  // (number, answered), oldest first
};
