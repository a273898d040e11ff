#include "MidiInputDispatch.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {
const size_t kHeaderSize = sizeof(uint32_t) + sizeof(double);
}

MidiInputDispatch::MidiInputDispatch(size_t capacityBytes)
  : mRing(capacityBytes < 64 ? 64 : capacityBytes), mSpare(mRing.size())
{
}

MidiInputDispatch::~MidiInputDispatch() { stop(); }

void MidiInputDispatch::start(Handler handler, void* userData, RefreshTest refresh)
{
  if (mThread.joinable() || !handler)
    return;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mHandler = handler;
    mUserData = userData;
    mRefresh = refresh;
    mStopping = false;
  }
  mThread = std::thread(&MidiInputDispatch::run, this);
}

void MidiInputDispatch::stop()
{
  if (!mThread.joinable())
  {
    // Never started: what was held goes, and the drops are still admitted.
    discard();
    reportDrops();
    return;
  }
  // Joining itself would throw; the owner destroyed the port from its own handler.
  assert(std::this_thread::get_id() != mThread.get_id());
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mStopping = true;
  }
  mWake.notify_all();
  mThread.join();
  discard();
  reportDrops();
}

void MidiInputDispatch::writeRing(const void* src, size_t n)
{
  const unsigned char* p = static_cast<const unsigned char*>(src);
  size_t first = mRing.size() - mTail;
  if (first > n)
    first = n;
  memcpy(&mRing[mTail], p, first);
  memcpy(&mRing[0], p + first, n - first);
  mTail = (mTail + n) % mRing.size();
  mUsed += n;
}

void MidiInputDispatch::readRing(void* dst, size_t n)
{
  unsigned char* p = static_cast<unsigned char*>(dst);
  size_t first = mRing.size() - mHead;
  if (first > n)
    first = n;
  memcpy(p, &mRing[mHead], first);
  memcpy(p + first, &mRing[0], n - first);
  mHead = (mHead + n) % mRing.size();
  mUsed -= n;
}

bool MidiInputDispatch::push(double deltaTime, const unsigned char* bytes, size_t size)
{
  if (!size)
    return true;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mRefresh && size <= mRing.size() && mRing.size() - mUsed < kHeaderSize + size)
      // A quarter at least: under a flood the copy happens now and then, not for every message.
      dropOldest(std::max(kHeaderSize + size, mRing.size() / 4), mRefresh, mUserData);
    if (mustKeep(bytes, size) && size <= mRing.size() && mRing.size() - mUsed < kHeaderSize + size)
      dropOldest(kHeaderSize + size, [](const unsigned char* b, size_t n, void*) { return !mustKeep(b, n); }, nullptr);
    if (size > mRing.size() || mRing.size() - mUsed < kHeaderSize + size)
    {
      mDropped.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    const uint32_t n = (uint32_t)size;
    writeRing(&n, sizeof n);
    writeRing(&deltaTime, sizeof deltaTime);
    writeRing(bytes, size);
    ++mCount;
  }
  mWake.notify_one();
  return true;
}

bool MidiInputDispatch::mustKeep(const unsigned char* b, size_t size)
{
  if (size == 0)
    return false;
  const unsigned char kind = b[0] & 0xF0;
  return b[0] == 0xF0 || kind == 0xC0 || (kind == 0xB0 && size > 1 && (b[1] == 0 || b[1] == 32));
}

void MidiInputDispatch::dropOldest(size_t need, RefreshTest droppable, void* userData)
{
  size_t kept = 0, w = 0;
  const size_t records = mCount;
  for (size_t i = 0; i < records; ++i)
  {
    uint32_t n = 0;
    readRing(&n, sizeof n);
    unsigned char* at = &mSpare[w];
    memcpy(at, &n, sizeof n);
    readRing(at + sizeof n, sizeof(double));
    readRing(at + kHeaderSize, n);
    // Free with this record kept: the ring less what is kept before it, it, and all after it
    // (readRing has counted it out of mUsed).
    if (mRing.size() - mUsed - w - (kHeaderSize + n) < need && droppable(at + kHeaderSize, n, userData))
    {
      mDropped.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    w += kHeaderSize + n;
    ++kept;
  }
  mRing.swap(mSpare);
  mHead = 0;
  mTail = w % mRing.size();
  mUsed = w;
  mCount = kept;
}

void MidiInputDispatch::discard()
{
  std::lock_guard<std::mutex> lock(mMutex);
  mHead = mTail = mUsed = mCount = 0;
}

size_t MidiInputDispatch::queuedCount()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mCount;
}

void MidiInputDispatch::reportDrops()
{
  const uint64_t dropped = mDropped.load(std::memory_order_relaxed);
  if (dropped != mDropsReported)
  {
    fprintf(stderr, "MIDI INPUT: queue full, %llu message(s) dropped\n",
            (unsigned long long)(dropped - mDropsReported));
    mDropsReported = dropped;
  }
}

void MidiInputDispatch::run()
{
  // One buffer for the thread's life: a SysEx dump does not cost an allocation per message.
  std::vector<unsigned char> message;
  message.reserve(1024);
  for (;;)
  {
    double delta = 0.0;
    {
      std::unique_lock<std::mutex> lock(mMutex);
      mWake.wait(lock, [this] { return mStopping || mCount > 0; });
      if (mStopping)
        return;
      uint32_t n = 0;
      readRing(&n, sizeof n);
      readRing(&delta, sizeof delta);
      message.resize(n);
      readRing(message.data(), n);
      --mCount;
    }
    // At most one line a second while a flood lasts; stop() reports the rest.
    const auto now = std::chrono::steady_clock::now();
    if (now - mLastReport >= std::chrono::seconds(1))
    {
      reportDrops();
      mLastReport = now;
    }
    mHandler(delta, &message, mUserData);
  }
}
