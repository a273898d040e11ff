#include <cstdlib>
#include <cstring>

#include "IPlugStructs.h"

IMidiQueue::IMidiQueue(int growthStep) : mGrow(growthStep > 0 ? growthStep : 0) {
  if (mGrow > 0) reallocLocked(mGrow);
}

IMidiQueue::~IMidiQueue() { free(mBuf); }

bool IMidiQueue::reallocLocked(int newSize) {
  if (newSize < mBack) return false;  // would lose messages in use
  if (newSize <= 0 || static_cast<size_t>(newSize) > static_cast<size_t>(0x7fffffff) / sizeof(IMidiMsg)) return false;
  void* p = realloc(mBuf, static_cast<size_t>(newSize) * sizeof(IMidiMsg));
  if (!p) return false;
  mBuf = static_cast<IMidiMsg*>(p);
  mSize = newSize;
  return true;
}

void IMidiQueue::compactLocked() {
  if (mFront > 0) {
    int n = mBack - mFront;
    if (n > 0) memmove(mBuf, mBuf + mFront, static_cast<size_t>(n) * sizeof(IMidiMsg));
    mBack = n;
    mFront = 0;
  }
}

bool IMidiQueue::Add(const IMidiMsg* msg) {
  if (!msg) return false;
  std::lock_guard<std::mutex> g(mLock);
  if (mBack >= mSize) {
    if (mFront > 0) {
      compactLocked();
    } else {
      if (mGrow <= 0) return false;
      long long want = (static_cast<long long>(mSize) / mGrow + 1) * mGrow;
      if (want > 0x7fffffffLL || !reallocLocked(static_cast<int>(want))) return false;
    }
  }
  if (mBack == mFront || msg->mOffset >= mBuf[mBack - 1].mOffset) {
    mBuf[mBack] = *msg;
  } else {
    // Last message, from the second-to-last towards front, whose offset is not above the new
    // one: insert right after it, so equal offsets keep their arrival order.
    int i = mBack - 2;
    while (i >= mFront && mBuf[i].mOffset > msg->mOffset) --i;
    int at = i + 1;
    memmove(mBuf + at + 1, mBuf + at, static_cast<size_t>(mBack - at) * sizeof(IMidiMsg));
    mBuf[at] = *msg;
  }
  ++mBack;
  return true;
}

void IMidiQueue::Remove() {
  std::lock_guard<std::mutex> g(mLock);
  if (mFront < mBack) ++mFront;
}

bool IMidiQueue::Empty() const {
  std::lock_guard<std::mutex> g(mLock);
  return mFront == mBack;
}

int IMidiQueue::ToDo() const {
  std::lock_guard<std::mutex> g(mLock);
  return mBack - mFront;
}

int IMidiQueue::GetSize() const {
  std::lock_guard<std::mutex> g(mLock);
  return mSize;
}

int IMidiQueue::GetGrowthStep() const {
  std::lock_guard<std::mutex> g(mLock);
  return mGrow;
}

bool IMidiQueue::Peek(IMidiMsg* msg) const {
  std::lock_guard<std::mutex> g(mLock);
  if (mFront == mBack || !msg) return false;
  *msg = mBuf[mFront];
  return true;
}

bool IMidiQueue::PopDue(int maxOffset, IMidiMsg* msg) {
  std::lock_guard<std::mutex> g(mLock);
  if (mFront == mBack || mBuf[mFront].mOffset > maxOffset) return false;
  if (msg) *msg = mBuf[mFront];
  ++mFront;
  return true;
}

void IMidiQueue::Flush(int nFrames) {
  std::lock_guard<std::mutex> g(mLock);
  compactLocked();
  for (int i = mFront; i < mBack; ++i) {
    // Offsets only shrink here; a long-stalled message must not wrap around to the far future.
    long long o = static_cast<long long>(mBuf[i].mOffset) - nFrames;
    mBuf[i].mOffset = o < -0x7fffffffLL ? -0x7fffffff : (o > 0x7fffffffLL ? 0x7fffffff : static_cast<int>(o));
  }
}

bool IMidiQueue::Resize(int blockSize) {
  std::lock_guard<std::mutex> g(mLock);
  compactLocked();
  auto roundUp = [](long long n) { return ((n + 511) / 512) * 512; };
  long long step = roundUp(blockSize > 0 ? blockSize : 0);
  if (step < 512) step = 512;  // a growth step of 0 would make the queue drop everything
  long long alloc = step;
  long long inUse = roundUp(mBack);
  if (inUse > alloc) alloc = inUse;
  if (step > 0x7fffffffLL || alloc > 0x7fffffffLL) return false;
  if (alloc != mSize && !reallocLocked(static_cast<int>(alloc))) return false;
  mGrow = static_cast<int>(step);
  return true;
}

void IMidiQueue::Clear() {
  std::lock_guard<std::mutex> g(mLock);
  mFront = mBack = 0;
}
