// IGraphics drawing side: the process-wide bitmap and font caches, image loading and scaling,
// and the drawing operations that controls call from Draw. Every call into the graphics
// library's pixel work goes through this file.
//
// The bitmap cache is shared by every editor instance in the process. Each entry records which
// graphics objects hold it; an instance's ReleaseBitmap (or its destruction) drops only its own
// hold, and the pixels are deleted when no instance holds them any more. Entries are keyed by
// image id AND scale, so two editors open at different size factors each draw their own copy;
// within one editor an id keeps the scale of its first load.
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <utility>
#include <string>
#include <system_error>
#include <vector>

#include "GFX_Bitmap.h"
#include "GFX_Blit.h"
#include "GFX_CachedFont.h"
#include "GFX_Circle.h"
#include "GFX_Fill.h"
#include "GFX_Line.h"
#include "GFX_PNG.h"
#include "GFX_Rotate.h"
#include "GFX_SysBitmap.h"
#include "IGraphics.h"
#include "UTIL_File.h"
#include "UTIL_Module.h"
#include "UTIL_Mutex.h"
#include "WINX_Font.h"

namespace {

// ---------------------------------------------------------------- bitmap cache

struct BitmapEntry {
  int id;
  double scale;
  GFX_IBitmap* bitmap;
  std::vector<const IGraphics*> holders;
};

class BitmapStorage {
public:
  ~BitmapStorage() {
    for (BitmapEntry& e : m_entries) delete e.bitmap;
  }
  UTIL_Mutex m_lock;
  std::vector<BitmapEntry> m_entries;  // insertion order; first match wins

  BitmapEntry* find(int id, double scale) {
    for (BitmapEntry& e : m_entries)
      if (e.id == id && e.scale == scale) return &e;
    return nullptr;
  }
  BitmapEntry* findId(int id) {
    for (BitmapEntry& e : m_entries)
      if (e.id == id) return &e;
    return nullptr;
  }
  BitmapEntry* findPixels(const GFX_IBitmap* bm) {
    for (BitmapEntry& e : m_entries)
      if (e.bitmap == bm) return &e;
    return nullptr;
  }
  static void hold(BitmapEntry* e, const IGraphics* g) {
    for (const IGraphics* h : e->holders)
      if (h == g) return;
    e->holders.push_back(g);
  }
  GFX_IBitmap* unholdIfHeld(BitmapEntry* e, const IGraphics* g) {
    for (const IGraphics* h : e->holders)
      if (h == g) return unhold(e, g);
    return nullptr;
  }
  // Drops g's hold on the entry; returns the pixels to delete (outside the lock) when that was
  // the last hold, else null.
  GFX_IBitmap* unhold(BitmapEntry* e, const IGraphics* g) {
    for (size_t i = 0; i < e->holders.size(); ++i)
      if (e->holders[i] == g) {
        e->holders.erase(e->holders.begin() + static_cast<long>(i));
        break;
      }
    if (!e->holders.empty()) return nullptr;
    GFX_IBitmap* bm = e->bitmap;
    m_entries.erase(m_entries.begin() + (e - m_entries.data()));
    return bm;
  }
};

BitmapStorage& bitmapStorage() {
  static BitmapStorage s;
  return s;
}

// ---------------------------------------------------------------- font cache

struct FontEntry {
  int size, orientation, style;
  std::string face;
  GFX_IFont* font;
};

class FontStorage {
public:
  ~FontStorage() {
    for (FontEntry& e : m_entries) deleteFont(e.font);
  }
  static void deleteFont(GFX_IFont* f);
  UTIL_Mutex m_lock;
  std::vector<FontEntry> m_entries;
};

FontStorage& fontStorage() {
  static FontStorage s;
  return s;
}

void FontStorage::deleteFont(GFX_IFont* f) { delete f; }

// Largest bitmap the cache makes from an image: the interface's images are a few thousand
// pixels a side; anything far beyond is a bad scale or a hostile file.
constexpr double kMaxScaledPixels = 64.0 * 1024 * 1024;

// Graphics-library mode and weight for a blend (no blend: copy with source alpha at 1.0).
int blendToMode(const IChannelBlend* blend, float* weight) {
  *weight = blend ? blend->mWeight : 1.0f;
  if (!blend) return GFX_MODE_USE_SOURCE_ALPHA;
  switch (blend->mMethod) {
    case IChannelBlend::kBlendClobber: return GFX_MODE_COPY;
    case IChannelBlend::kBlendAdd: return GFX_MODE_ADD | GFX_MODE_USE_SOURCE_ALPHA;
    case IChannelBlend::kBlendColorDodge: return GFX_MODE_DODGE | GFX_MODE_USE_SOURCE_ALPHA;
    default: return GFX_MODE_USE_SOURCE_ALPHA;
  }
}

// A float line end as the library's integer coordinate: truncated, with values far off any
// bitmap held at +-2^30 (still off it, so the clipped line is the same).
int lineEnd(float v) {
  const float lim = 1073741824.0f;
  return static_cast<int>(v < -lim ? -lim : v > lim ? lim : v);
}

// The size makeScaledCopy gives an image of w x h, or false when it would refuse it.
bool scaledSize(int w, int h, double scale, int* sw, int* sh) {
  if (!(scale > 0.0) || !std::isfinite(scale)) return false;
  const double fw = w * scale, fh = h * scale;
  if (fw < 1.0 || fh < 1.0 || fw * fh > kMaxScaledPixels) return false;
  *sw = static_cast<int>(fw);
  *sh = static_cast<int>(fh);
  return true;
}

// A new bitmap of src scaled by `scale` (bilinear), or null when the size is unusable.
GFX_IBitmap* makeScaledCopy(GFX_IBitmap* src, double scale) {
  int w = 0, h = 0;
  if (!src || !src->getBits() || !scaledSize(src->getWidth(), src->getHeight(), scale, &w, &h)) return nullptr;
  GFX_MemBitmap* dst = new GFX_MemBitmap(w, h, 4);
  if (!dst->getBits()) {
    delete dst;
    return nullptr;
  }
  GFX_ScaledBlit(dst, src, 0, 0, w, h, 0.0f, 0.0f, static_cast<float>(src->getWidth()),
                 static_cast<float>(src->getHeight()), 1.0f, GFX_MODE_COPY | GFX_MODE_FILTER_BILINEAR);
  return dst;
}

// Runs the image decodes queued ahead on the calling thread until none is left (defined with
// the helpers' queue below).
void runQueuedDecodes();

// A decoded image (owned, may be null) at `scale`: itself at 1.0 (the scaled copy would be the
// same pixels), else its scaled copy, the decoded one deleted. Null when either step fails.
GFX_IBitmap* loadScaled(GFX_IBitmap* loaded, double scale) {
  if (loaded && scale == 1.0 && loaded->getBits()) return loaded;
  GFX_IBitmap* scaled = makeScaledCopy(loaded, scale);
  delete loaded;
  return scaled;
}

std::atomic<GFX_IBitmap* (*)(const char*)> gImageDecoder{nullptr};

// The pixels of an image decoded from its PNG file, and scaled, when they are first asked for.
// The decode makes exactly the bitmap the eager load makes (same decoder, same scaled copy). It
// runs once, under the object's own lock; afterwards a read is one atomic load. Shared by the
// image and a helper decoding it ahead: an image deleted meanwhile goes at once, and the pixels
// go with the helper's hold when it is done. Owns the decoded bitmap.
class DeferredPixels {
public:
  DeferredPixels(std::string path, double scale, int w, int h)
      : mPath(std::move(path)), mScale(scale), mWidth(w), mHeight(h) {}
  ~DeferredPixels() { delete mPixels.load(std::memory_order_relaxed); }
  GFX_IBitmap* get() {
    GFX_IBitmap* p = mPixels.load(std::memory_order_acquire);
    if (p || mFailed.load(std::memory_order_acquire)) return p;
    std::unique_lock<std::mutex> lock(mDecodeLock, std::try_to_lock);
    if (!lock.owns_lock()) {
      // Another thread is decoding this image: rather than wait idle, decode the others queued
      // ahead (the page being drawn needs them too), then wait for what is left of this one.
      runQueuedDecodes();
      lock.lock();
    }
    p = mPixels.load(std::memory_order_relaxed);
    if (p || mFailed.load(std::memory_order_relaxed)) return p;
    GFX_IBitmap* (*const decode)(const char*) = gImageDecoder.load();
    std::string why = "cannot be scaled";
    p = loadScaled(decode ? decode(mPath.c_str()) : GFX_LoadPNG(mPath.c_str(), nullptr, &why), mScale);
    // A file changed or broken since its header was read draws nothing, as a missing image
    // does; a size that differs from the header's would break the controls' layout.
    if (p && (p->getWidth() != mWidth || p->getHeight() != mHeight)) {
      delete p;
      p = nullptr;
      why = "changed size since it was first read";
    }
    if (p) {
      mOpaque.store(allOpaque(p), std::memory_order_release);
      mPixels.store(p, std::memory_order_release);
    } else {
      mFailed.store(true, std::memory_order_release);
      UTIL_SayRefusal("GRAPHICS: " + mPath + " " + why + "; the image is left out");
    }
    return p;
  }
  // The decoded bitmap, or null while it is not (yet) decoded.
  GFX_IBitmap* decoded() const { return mPixels.load(std::memory_order_acquire); }
  bool opaque() const { return mOpaque.load(std::memory_order_acquire); }

private:
  static bool allOpaque(GFX_IBitmap* p) {
    const GFX_pixel* bits = p->getBits();
    const int w = p->getWidth(), h = p->getHeight(), span = p->getRowSpan();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((bits[static_cast<size_t>(y) * span + x] & 0xffu) != 0xffu) return false;
    return true;
  }
  const std::string mPath;
  const double mScale;
  const int mWidth, mHeight;
  std::mutex mDecodeLock;
  std::atomic<GFX_IBitmap*> mPixels{nullptr};
  std::atomic<bool> mFailed{false};
  std::atomic<bool> mOpaque{false};
};

// A cached image whose pixels are decoded when they are first asked for; its size comes from the
// file's header, so controls lay themselves out without the pixels. The first getBits may come
// from any drawing thread.
class GUI_DeferredBitmap : public GFX_IBitmap {
public:
  GUI_DeferredBitmap(std::string path, double scale, int w, int h)
      : mPixels(std::make_shared<DeferredPixels>(std::move(path), scale, w, h)), mWidth(w), mHeight(h) {}
  GFX_pixel* getBits() override {
    GFX_IBitmap* p = mPixels->get();
    return p ? p->getBits() : nullptr;
  }
  int getWidth() override { return mWidth; }
  int getHeight() override { return mHeight; }
  int getRowSpan() override {
    GFX_IBitmap* p = mPixels->get();
    return p ? p->getRowSpan() : mWidth;
  }
  bool resize(int width, int height) override {
    GFX_IBitmap* p = mPixels->get();
    if (!p || !p->resize(width, height)) return false;
    mWidth = p->getWidth();
    mHeight = p->getHeight();
    return true;
  }
  // Every pixel's alpha is 255 (known once decoded; false before).
  bool isOpaque() {
    mPixels->get();
    return mPixels->opaque();
  }
  size_t decodedBytes() {
    GFX_IBitmap* p = mPixels->decoded();
    return p ? static_cast<size_t>(p->getRowSpan()) * static_cast<size_t>(p->getHeight()) * sizeof(GFX_pixel) : 0;
  }
  const std::shared_ptr<DeferredPixels>& pixels() const { return mPixels; }

private:
  const std::shared_ptr<DeferredPixels> mPixels;
  int mWidth, mHeight;
};

// Work done ahead on a few helper threads while the editor is built and its window opened: the
// decoding of images before their first draw, so that the first paint of a page waits for the
// slowest image rather than for the sum of them; the mapping in of the canvas's pages; the
// loading of the font configuration and the making of the text machinery (PrepareTextAhead). An
// image job is only a call of the image's own decode (which runs once, under the image's lock):
// an image the drawing thread reaches first is decoded there, and the helper finds it done.
// Images of pages not shown yet wait in a second queue, taken only when the first is empty and
// nothing is being drawn: they never hold up a draw that the user waits for.
// An image's job holds the image's pixels (DeferredPixels), not the image: an image deleted while
// a helper decodes it goes at once (drop() takes its queued job away). Memory's job is waited
// out by forget() before the memory goes. The helpers start with the first job and are never
// ended or waited for: a decode may take a busy processor's tenth of a second, which an editor's
// close or the process's end must not wait for. So the pool is never destroyed, and the module
// that holds this code stays loaded once a helper runs it. The process's end waits only for a
// helper still starting, and starts no more: a thread half-started then is one whose start-up
// memory a leak checker at the end finds held by nothing.
class DecodeAheadPool {
public:
  // `later`: only while nothing is drawn and no other job waits. Submitted again without it,
  // an image waiting there is moved up.
  void submit(const std::shared_ptr<DeferredPixels>& image, bool later = false) {
    add(Job{image, nullptr, 0, nullptr}, later);
  }
  // Maps in the pages of memory that is about to be written for the first time.
  void submitPages(void* at, size_t bytes) { add(Job{nullptr, at, bytes, nullptr}, false); }
  void submit(std::function<void()> task) {
    add(Job{nullptr, nullptr, 0, std::make_shared<std::function<void()>>(std::move(task))}, false);
  }
  // How many helpers the process may have.
  static size_t helpers() { return maxThreads(); }
  // The calling thread takes queued image jobs as a helper would, until no image is queued
  // (those of pages not shown are left to the helpers).
  void runQueuedImages() {
    if (tHelping) return;  // a decode of this very thread asked: one level is enough
    tHelping = true;
    std::unique_lock<std::mutex> lock(mLock);
    for (;;) {
      auto it = std::find_if(mQueue.begin(), mQueue.end(), [](const Job& j) { return j.image != nullptr; });
      if (it == mQueue.end()) break;
      const Job job = *it;
      mQueue.erase(it);
      runLocked(job, lock);
    }
    tHelping = false;
  }
  // Drops the queued job of an image or of memory; waits for memory's job when it is running.
  void forget(const void* subject) {
    std::unique_lock<std::mutex> lock(mLock);
    drop(subject, lock);
    mDone.wait(lock, [&] { return std::find(mRunning.begin(), mRunning.end(), subject) == mRunning.end(); });
  }
  // Drops the queued job of an image; a running one keeps what it decodes until it is done.
  void drop(const DeferredPixels* image) {
    std::unique_lock<std::mutex> lock(mLock);
    drop(image, lock);
  }
  // Jobs queued or running.
  size_t pending() {
    std::lock_guard<std::mutex> lock(mLock);
    return mQueue.size() + mLater.size() + mRunning.size();
  }
  // A draw begins or ends: the second queue waits while any runs.
  void drawing(bool begins) {
    std::lock_guard<std::mutex> lock(mLock);
    mDrawing += begins ? 1 : -1;
    if (!mDrawing && !mLater.empty()) mWake.notify_all();
  }

private:
  struct Job {
    std::shared_ptr<DeferredPixels> image;
    void* pages;
    size_t pageBytes;
    std::shared_ptr<std::function<void()>> task;
    const void* subject() const { return image ? static_cast<const void*>(image.get()) : pages; }
    bool operator==(const Job& o) const { return image == o.image && pages == o.pages && task == o.task; }
  };
  void drop(const void* subject, std::unique_lock<std::mutex>&) {
    auto of = [&](const Job& j) { return j.subject() == subject; };
    mQueue.erase(std::remove_if(mQueue.begin(), mQueue.end(), of), mQueue.end());
    mLater.erase(std::remove_if(mLater.begin(), mLater.end(), of), mLater.end());
  }
  static size_t maxThreads() {
    // The cores this process may run on (a host or a test may hold it to fewer than exist).
    cpu_set_t set;
    CPU_ZERO(&set);
    const int allowed = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    const unsigned cores = allowed > 0 ? static_cast<unsigned>(allowed) : std::thread::hardware_concurrency();
    // One core stays with the thread that builds and draws the editor.
    return cores > 1 ? std::min<size_t>(cores - 1, 4) : 1;
  }
  void add(const Job& job, bool later) {
    std::lock_guard<std::mutex> lock(mLock);
    if (std::find(mQueue.begin(), mQueue.end(), job) != mQueue.end() ||
        (job.subject() && std::find(mRunning.begin(), mRunning.end(), job.subject()) != mRunning.end()))
      return;
    auto waiting = std::find(mLater.begin(), mLater.end(), job);
    if (waiting != mLater.end()) {
      if (later) return;
      mLater.erase(waiting);
    }
    (later ? mLater : mQueue).push_back(job);
    // Another helper while more jobs wait than there are helpers free to take them.
    if (mQueue.size() + mLater.size() > mIdle && mThreads.size() < maxThreads() && !mEnding) {
      if (mThreads.empty()) {
        UTIL_KeepModuleLoaded(reinterpret_cast<const void*>(&runQueuedDecodes));
        mProcess = getpid();
        std::atexit(&settleAtExit);
      }
      try {
        mThreads.emplace_back([this] { run(); });
      } catch (const std::system_error&) {
        // No thread to be had: the work is done where it is first needed, as without this.
      }
    }
    mWake.notify_one();
  }
  void run() {
    std::unique_lock<std::mutex> lock(mLock);
    ++mStarted;
    mDone.notify_all();
    for (;;) {
      ++mIdle;
      mWake.wait(lock, [&] { return !mQueue.empty() || (!mLater.empty() && !mDrawing); });
      --mIdle;
      std::deque<Job>& from = mQueue.empty() ? mLater : mQueue;
      const Job job = from.front();
      from.pop_front();
      runLocked(job, lock);
    }
  }
  // Maps in the whole pages of [at, at + bytes) as a first write would, without writing: the
  // thread that then writes there finds them mapped. Where the kernel cannot, the first write
  // maps them in as before.
  static void mapIn(void* at, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return;
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    const uintptr_t from = (reinterpret_cast<uintptr_t>(at) + page - 1) & ~(page - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(at) + bytes) & ~(page - 1);
    // A little at a time: the call holds the process's map lock, which the thread that grows
    // its heap meanwhile must wait for.
    const uintptr_t step = page * 8;
    for (uintptr_t p = from; p < to; p += step)
      if (madvise(reinterpret_cast<void*>(p), std::min(step, to - p), MADV_POPULATE_WRITE) != 0) break;
#else
    (void)at;
    (void)bytes;
#endif
  }
  // Runs a job taken off the queue, the lock released meanwhile.
  void runLocked(const Job& job, std::unique_lock<std::mutex>& lock) {
    mRunning.push_back(job.subject());
    lock.unlock();
    if (job.image)
      job.image->get();
    else if (job.pages)
      mapIn(job.pages, job.pageBytes);
    else
      (*job.task)();
    lock.lock();
    mRunning.erase(std::find(mRunning.begin(), mRunning.end(), job.subject()));
    mDone.notify_all();
  }
  // At the process's end (not a forked copy's, whose helpers are not there): no helper is left
  // half-started.
  static void settleAtExit();
  static thread_local bool tHelping;
  std::mutex mLock;
  std::condition_variable mWake, mDone;
  std::deque<Job> mQueue, mLater;
  std::vector<const void*> mRunning;  // image or memory; null for a job that is neither
  std::vector<std::thread> mThreads;
  size_t mIdle = 0, mStarted = 0;
  int mDrawing = 0;
  bool mEnding = false;
  std::atomic<pid_t> mProcess{0};
};

thread_local bool DecodeAheadPool::tHelping = false;

DecodeAheadPool& decodeAheadPool() {
  static DecodeAheadPool* pool = new DecodeAheadPool;  // never destroyed: see the class
  return *pool;
}

void DecodeAheadPool::settleAtExit() {
  DecodeAheadPool& pool = decodeAheadPool();
  if (getpid() != pool.mProcess) return;
  std::unique_lock<std::mutex> lock(pool.mLock);
  pool.mEnding = true;
  pool.mDone.wait(lock, [&] { return pool.mStarted == pool.mThreads.size(); });
}

void runQueuedDecodes() { decodeAheadPool().runQueuedImages(); }

// Deletes an image that has left the cache, once no helper is decoding it.
void deleteCachedBitmap(GFX_IBitmap* bitmap) {
  if (!bitmap) return;
  if (auto* deferred = dynamic_cast<GUI_DeferredBitmap*>(bitmap)) decodeAheadPool().drop(deferred->pixels().get());
  delete bitmap;
}

// Drawing a fully opaque image with source alpha at full weight gives the source's own pixels
// (colour s + (d - s) * 0, alpha d + 255 saturated), which a plain copy gives faster. Off only to
// compare both roads on the same input.
std::atomic<bool> gOpaqueImageCopies{true};

// Width and height from a PNG file's signature and IHDR chunk (big-endian words at bytes 16 and
// 20); false for anything else or for a size the decoder refuses.
bool readPNGSize(const std::string& path, int* w, int* h) {
  unsigned char head[24];
  FILE* f = UTIL_FOpenForRead(path, nullptr);
  if (!f) return false;
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (n != sizeof head || std::memcmp(head, kSignature, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
  auto be32 = [&](int at) {
    return static_cast<uint32_t>(head[at]) << 24 | static_cast<uint32_t>(head[at + 1]) << 16 |
           static_cast<uint32_t>(head[at + 2]) << 8 | head[at + 3];
  };
  const uint32_t pw = be32(16), ph = be32(20);
  if (pw < 1 || ph < 1 || pw > GFX_PNG_MAX_DIMENSION || ph > GFX_PNG_MAX_DIMENSION ||
      static_cast<long long>(pw) * ph > GFX_PNG_MAX_PIXELS)
    return false;
  *w = static_cast<int>(pw);
  *h = static_cast<int>(ph);
  return true;
}

// The draw bitmap lives in a memory device context so that text can be drawn into it.
GFX_IBitmap* makeDrawBitmap(int w, int h) { return new GFX_SysBitmap(w, h); }

// The font of a text style at a pixel height.
HFONT createStyleFont(const IText& text, int height) {
  const int weight = text.mStyle == IText::kStyleBold ? FW_BOLD : FW_NORMAL;
  const char italic = text.mStyle == IText::kStyleItalic ? 1 : 0;
  const int esc = text.mOrientation * 10;
  static const int kQualities[4] = {0, 3, 4, 4};
  const int quality = (text.mQuality >= 0 && text.mQuality <= 3) ? kQualities[text.mQuality] : 3;
  return CreateFont(height, 0, esc, esc, weight, italic, 0, 0, 0, 0, 0, static_cast<char>(quality), 0, text.mFont);
}

// Fonts report their own idea of "size": the height to ask for once more when the font made at
// height h has that line height, or 0 when it fits.
int refitHeight(int h, int lineHeight) {
  if (lineHeight == h || lineHeight <= 0) return 0;
  return static_cast<int>(static_cast<double>(h) * h / lineHeight + 0.5);
}

// The thread it is for never makes text while the helper does: it waits for a running warm-up
// (cut short) rather than share the text libraries' global caches with it.
struct TextAhead {
  enum State { kNone, kQueued, kRunning };
  std::mutex lock;
  std::condition_variable made;
  State state = kNone;
  bool abandoned = false;  // the thread went on before the warm-up started: it is skipped
  std::atomic<bool> hurry{false};  // the thread waits: the warm-up stops after the style in hand
  WINX_TextSetup* ready = nullptr;
};

TextAhead& textAhead() {
  static TextAhead* t = new TextAhead;  // kept past static destruction: a helper may still set it
  return *t;
}

// Makes each style's font as a text in it is given one, and draws the characters the
// interface's texts are mostly made of in it, into a memory context of its own.
void warmText(void* stylesArg) {
  static const char kSample[] = " -./:()#+%0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const auto& styles = *static_cast<const std::vector<IText>*>(stylesArg);
  GFX_SysBitmap scratch(1536, 64);
  HDC dc = scratch.getDC();
  if (!dc) return;
  for (const IText& style : styles) {
    if (textAhead().hurry.load(std::memory_order_relaxed)) break;
    int h = style.mSize;
    for (int pass = 0; pass < 2; ++pass) {
      const int hr = h < 2 ? 2 : h;
      HFONT font = createStyleFont(style, hr);
      if (!font) break;
      HGDIOBJ old = SelectObject(dc, font);
      TEXTMETRIC tm;
      GetTextMetrics(dc, &tm);
      h = pass > 0 ? 0 : refitHeight(hr, tm.tmHeight);
      if (!h) {
        RECT r = {0, 0, scratch.getWidth(), scratch.getHeight()};
        WINX_DrawText(dc, kSample, -1, &r, DT_NOCLIP | DT_SINGLELINE | DT_NOPREFIX);
      }
      SelectObject(dc, old);
      DeleteObject(font);
      if (!h) break;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------- draw bitmap

void IGraphics::PrepDraw() {
  deleteDrawBitmaps();
  mDrawBitmap = makeDrawBitmap(mWidth > 0 ? mWidth : 0, mHeight > 0 ? mHeight : 0);
  mTmpBitmap = new GFX_MemBitmap(0, 0, 4);
  // The first whole-window draw writes every pixel: a helper maps the pages in before it does.
  if (GFX_pixel* bits = mDrawBitmap->getBits())
    decodeAheadPool().submitPages(bits, static_cast<size_t>(mDrawBitmap->getRowSpan()) *
                                            static_cast<size_t>(mDrawBitmap->getHeight()) * sizeof(GFX_pixel));
}

void IGraphics::deleteDrawBitmaps() {
  if (mDrawBitmap) decodeAheadPool().forget(mDrawBitmap->getBits());
  delete mDrawBitmap;
  delete mTmpBitmap;
  mDrawBitmap = mTmpBitmap = nullptr;
}

void* IGraphics::GetBits() { return mDrawBitmap ? mDrawBitmap->getBits() : nullptr; }

// ---------------------------------------------------------------- bitmap cache operations

IBitmap IGraphics::LoadIBitmap(int ID, const char* name, double scale, int nStates, bool framesAreHoriz) {
  BitmapStorage& store = bitmapStorage();
  GFX_IBitmap* pixels = nullptr;
  {
    UTIL_MutexLock lock(&store.m_lock);
    // An id this editor already holds answers with its own copy, whatever scale is asked now:
    // the progress overlay loads at 1.0 an image preloaded at the size factor and must get the
    // scaled one. Other editors at other scales have their own entries.
    BitmapEntry* e = nullptr;
    auto mine = mMyBitmaps.find(ID);
    if (mine != mMyBitmaps.end()) e = store.findPixels(mine->second);
    if (!e) e = store.find(ID, scale);
    if (e) {
      BitmapStorage::hold(e, this);
      pixels = e->bitmap;
    }
  }
  if (!pixels) {
    // Decoding and scaling happen outside the lock; another thread may add the same image
    // meanwhile, in which case its copy wins and ours is dropped.
    // A PNG file of a usable size is decoded when first drawn; anything else now.
    const std::string file = OSBitmapFile(ID, name);
    int w = 0, h = 0, sw = 0, sh = 0;
    GFX_IBitmap* scaled = nullptr;
    if (!file.empty() && readPNGSize(file, &w, &h) && scaledSize(w, h, scale, &sw, &sh))
      scaled = new GUI_DeferredBitmap(file, scale, sw, sh);
    else
      scaled = loadScaled(OSLoadBitmap(ID, name), scale);
    if (!scaled) return IBitmap(nullptr, 0, 0, nStates, framesAreHoriz);
    UTIL_MutexLock lock(&store.m_lock);
    BitmapEntry* e = store.find(ID, scale);
    if (e) {
      delete scaled;
    } else {
      store.m_entries.push_back(BitmapEntry{ID, scale, scaled, {}});
      e = &store.m_entries.back();
    }
    BitmapStorage::hold(e, this);
    pixels = e->bitmap;
  }
  mMyBitmaps[ID] = pixels;
  return IBitmap(pixels, pixels->getWidth(), pixels->getHeight(), nStates, framesAreHoriz);
}

void IGraphics::PrepareTextAhead(const std::vector<IText>& styles) {
  // Worth a helper only beside those the decoding needs, and only for a thread with no text yet.
  if (styles.empty() || DecodeAheadPool::helpers() < 3 || WINX_ThreadTextMade()) return;
  TextAhead& t = textAhead();
  {
    std::lock_guard<std::mutex> lock(t.lock);
    if (t.state != TextAhead::kNone || t.ready) return;
    t.state = TextAhead::kQueued;
    t.abandoned = false;
    t.hurry = false;
  }
  std::vector<IText> copies(styles);
  for (IText& c : copies) c.mCached = nullptr;
  decodeAheadPool().submit([copies] {
    TextAhead& t = textAhead();
    {
      std::lock_guard<std::mutex> lock(t.lock);
      if (t.abandoned) {
        t.state = TextAhead::kNone;
        return;
      }
      t.state = TextAhead::kRunning;
    }
    WINX_TextSetup* setup = WINX_MakeTextSetup(&warmText, const_cast<std::vector<IText>*>(&copies));
    std::lock_guard<std::mutex> lock(t.lock);
    t.state = TextAhead::kNone;
    t.ready = setup;
    t.made.notify_all();
  });
}

void IGraphics::adoptTextAhead() {
  TextAhead& t = textAhead();
  WINX_TextSetup* setup = nullptr;
  {
    std::unique_lock<std::mutex> lock(t.lock);
    if (t.state == TextAhead::kQueued) t.abandoned = true;  // not started: this thread makes its own
    if (t.state == TextAhead::kRunning) {
      t.hurry = true;
      t.made.wait(lock, [&] { return t.state != TextAhead::kRunning; });
    }
    setup = t.ready;
    t.ready = nullptr;
  }
  WINX_AdoptTextSetup(setup);
}

void IGraphics::PrepareFontsAhead() {
  static std::atomic<bool> asked{false};
  if (!asked.exchange(true)) decodeAheadPool().submit(std::function<void()>(&WINX_LoadFontConfiguration));
}

void IGraphics::DecodeAhead(IBitmap* bitmap) { decodeAhead(bitmap, false); }

void IGraphics::DecodeAhead(std::vector<IBitmap> bitmaps) { decodeAhead(std::move(bitmaps), false); }

void IGraphics::decodeAhead(IBitmap* bitmap, bool later) {
  if (!bitmap) return;
  auto* deferred = dynamic_cast<GUI_DeferredBitmap*>(bitmap->mData);
  if (deferred && !deferred->decodedBytes()) decodeAheadPool().submit(deferred->pixels(), later);
}

void IGraphics::decodeAhead(std::vector<IBitmap> bitmaps, bool later) {
  // The largest first: they take longest, and the first draw waits for the last to finish.
  std::stable_sort(bitmaps.begin(), bitmaps.end(), [](const IBitmap& a, const IBitmap& b) {
    return static_cast<long long>(a.W) * a.H > static_cast<long long>(b.W) * b.H;
  });
  for (IBitmap& bm : bitmaps) decodeAhead(&bm, later);
}

std::vector<IBitmap> IGraphics::gatherImages(const std::function<void()>& dryRun) {
  // Every drawing call returns at once, there being no draw bitmap to draw into; the bitmap
  // calls note their images and the text calls leave text alone.
  std::vector<GFX_IBitmap*> seen;
  GFX_IBitmap* const drawBitmap = mDrawBitmap;
  const IRECT drawRect = mDrawRECT;
  mDrawBitmap = nullptr;
  mGathered = &seen;
  dryRun();
  mGathered = nullptr;
  mDrawBitmap = drawBitmap;
  mDrawRECT = drawRect;
  std::vector<IBitmap> images;
  for (GFX_IBitmap* bm : seen)
    if (std::none_of(images.begin(), images.end(), [&](const IBitmap& i) { return i.mData == bm; }))
      images.emplace_back(bm, bm->getWidth(), bm->getHeight());
  return images;
}

std::vector<IBitmap> IGraphics::ImagesOf(ControlLayer* layer, bool descendants) {
  IRECT all(0, 0, mWidth, mHeight);
  std::function<void(ControlLayer*)> walk = [&](ControlLayer* l) {
    mDrawRECT = all;
    for (int i = 0, n = l->controls.GetSize(); i < n; ++i) l->controls.Get(i)->Draw(this);
    for (int i = 0, n = descendants ? l->layers.GetSize() : 0; i < n; ++i) walk(l->layers.Get(i));
  };
  return layer ? gatherImages([&] { walk(layer); }) : std::vector<IBitmap>();
}

void IGraphics::DecodeAfterFirstDraw(std::vector<IBitmap> images) {
  if (mFirstDrawDone)
    decodeAhead(std::move(images), true);
  else
    mDecodeLater.insert(mDecodeLater.end(), images.begin(), images.end());
}

void IGraphics::noteDrawing(bool begins) {
  decodeAheadPool().drawing(begins);
  if (begins || mFirstDrawDone) return;
  mFirstDrawDone = true;
  decodeAhead(std::move(mDecodeLater), true);
  mDecodeLater.clear();
}

void IGraphics::DecodeShownImagesAhead() {
  // Dry runs of a whole-window draw, the strict walk (every shown control, none marked clean).
  // The first notes the images that the bitmap calls name, so that their decoding starts as soon
  // as can be; the second makes the fonts the text calls ask for meanwhile.
  const bool strict = mStrict;
  mStrict = true;
  IRECT all(0, 0, mWidth, mHeight);
  DecodeAhead(gatherImages([&] { walkDraw(&all, false); }));
  adoptTextAhead();
  GFX_IBitmap* const drawBitmap = mDrawBitmap;
  const IRECT drawRect = mDrawRECT;
  mDrawBitmap = nullptr;
  walkDraw(&all, false);
  mStrict = strict;
  mDrawBitmap = drawBitmap;
  mDrawRECT = drawRect;
}

size_t IGraphics::WorkAhead() { return decodeAheadPool().pending(); }

void IGraphics::SetImageDecoder(GFX_IBitmap* (*decode)(const char* path)) { gImageDecoder = decode; }

size_t IGraphics::DecodedBitmapBytes() {
  BitmapStorage& store = bitmapStorage();
  UTIL_MutexLock lock(&store.m_lock);
  size_t n = 0;
  for (BitmapEntry& e : store.m_entries) {
    if (auto* d = dynamic_cast<GUI_DeferredBitmap*>(e.bitmap))
      n += d->decodedBytes();
    else if (e.bitmap->getBits())
      n += static_cast<size_t>(e.bitmap->getRowSpan()) * static_cast<size_t>(e.bitmap->getHeight()) * sizeof(GFX_pixel);
  }
  return n;
}

IBitmap IGraphics::getImageById(int ID, int nStates, bool framesAreHoriz) {
  BitmapStorage& store = bitmapStorage();
  UTIL_MutexLock lock(&store.m_lock);
  BitmapEntry* e = nullptr;
  auto mine = mMyBitmaps.find(ID);
  if (mine != mMyBitmaps.end()) e = store.findPixels(mine->second);
  if (!e) e = store.findId(ID);
  if (!e) return IBitmap(nullptr, 0, 0, nStates, framesAreHoriz);
  // Whoever draws with the pixels holds them, so another instance's release cannot free them.
  BitmapStorage::hold(e, this);
  mMyBitmaps[ID] = e->bitmap;
  return IBitmap(e->bitmap, e->bitmap->getWidth(), e->bitmap->getHeight(), nStates, framesAreHoriz);
}

void IGraphics::ReleaseBitmap(IBitmap* bitmap) {
  if (!bitmap || !bitmap->mData) return;
  GFX_IBitmap* toDelete = nullptr;
  {
    BitmapStorage& store = bitmapStorage();
    UTIL_MutexLock lock(&store.m_lock);
    BitmapEntry* e = store.findPixels(bitmap->mData);
    if (e) toDelete = store.unhold(e, this);
  }
  for (auto it = mMyBitmaps.begin(); it != mMyBitmaps.end();)
    it = (it->second == bitmap->mData) ? mMyBitmaps.erase(it) : std::next(it);
  deleteCachedBitmap(toDelete);
}

void IGraphics::RetainBitmap(IBitmap* bitmap) {
  if (!bitmap || !bitmap->mData) return;
  BitmapStorage& store = bitmapStorage();
  UTIL_MutexLock lock(&store.m_lock);
  BitmapEntry* e = store.findPixels(bitmap->mData);
  if (!e) {
    store.m_entries.push_back(BitmapEntry{-1, 1.0, bitmap->mData, {}});
    e = &store.m_entries.back();
  }
  BitmapStorage::hold(e, this);
}

void IGraphics::dropBitmapReferences() {
  std::vector<GFX_IBitmap*> toDelete;
  {
    BitmapStorage& store = bitmapStorage();
    UTIL_MutexLock lock(&store.m_lock);
    for (size_t i = store.m_entries.size(); i-- > 0;) {
      GFX_IBitmap* bm = store.unholdIfHeld(&store.m_entries[i], this);
      if (bm) toDelete.push_back(bm);
    }
  }
  for (GFX_IBitmap* bm : toDelete) deleteCachedBitmap(bm);
  mMyBitmaps.clear();
}

IBitmap IGraphics::ScaleBitmap(IBitmap* src, int destW, int destH) {
  if (!src || !src->mData || destW < 1 || destH < 1 ||
      static_cast<double>(destW) * destH > kMaxScaledPixels)
    return IBitmap(nullptr, 0, 0, src ? src->N : 1);
  GFX_MemBitmap* dst = new GFX_MemBitmap(destW, destH, 4);
  if (!dst->getBits()) {
    delete dst;
    return IBitmap(nullptr, 0, 0, src->N);
  }
  GFX_ScaledBlit(dst, src->mData, 0, 0, destW, destH, 0.0f, 0.0f, static_cast<float>(src->W),
                 static_cast<float>(src->H), 1.0f, GFX_MODE_COPY | GFX_MODE_FILTER_BILINEAR);
  IBitmap out(dst, destW, destH, src->N, false);
  RetainBitmap(&out);
  return out;
}

IBitmap IGraphics::CropBitmap(IBitmap* src, IRECT* rect) {
  if (!src || !src->mData || !rect || rect->W() < 1 || rect->H() < 1) return IBitmap(nullptr, 0, 0, src ? src->N : 1);
  GFX_MemBitmap* dst = new GFX_MemBitmap(rect->W(), rect->H(), 4);
  if (!dst->getBits()) {
    delete dst;
    return IBitmap(nullptr, 0, 0, src->N);
  }
  GFX_Blit(dst, src->mData, 0, 0, rect->L, rect->T, rect->W(), rect->H(), 1.0f, GFX_MODE_COPY);
  IBitmap out(dst, rect->W(), rect->H(), src->N, false);
  RetainBitmap(&out);
  return out;
}

// ---------------------------------------------------------------- bitmaps

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY, const IChannelBlend* blend) {
  if (mGathered && bitmap && bitmap->mData) mGathered->push_back(bitmap->mData);
  if (!bitmap || !bitmap->mData || !dest || !mDrawBitmap) return true;
  const IRECT r = dest->Intersect(mDrawRECT);
  if (r.Empty()) return true;
  float weight;
  int mode = blendToMode(blend, &weight);
  if (mode == GFX_MODE_USE_SOURCE_ALPHA && weight == 1.0f && gOpaqueImageCopies.load(std::memory_order_relaxed)) {
    auto* deferred = dynamic_cast<GUI_DeferredBitmap*>(bitmap->mData);
    if (deferred && deferred->isOpaque()) mode = GFX_MODE_COPY;
  }
  GFX_Blit(mDrawBitmap, bitmap->mData, r.L, r.T, srcX + r.L - dest->L, srcY + r.T - dest->T, r.R - r.L, r.B - r.T,
           weight, mode);
  return true;
}

void IGraphics::SetOpaqueImageCopies(bool on) { gOpaqueImageCopies.store(on); }

bool IGraphics::drawsEveryPixel(IBitmap* bitmap, const IRECT& dest, const IChannelBlend* blend) {
  if (!bitmap || !bitmap->mData || bitmap->N > 1 || bitmap->W != dest.W() || bitmap->H != dest.H()) return false;
  float weight;
  const int mode = blendToMode(blend, &weight);
  if (weight != 1.0f || !bitmap->mData->getBits()) return false;
  if (mode == GFX_MODE_COPY) return true;
  auto* deferred = dynamic_cast<GUI_DeferredBitmap*>(bitmap->mData);
  return mode == GFX_MODE_USE_SOURCE_ALPHA && deferred && deferred->isOpaque();
}

namespace {
// Source offset of frame bmState (1-based) along the strip; 0 for state 0 or 1 and one-frame
// bitmaps.
int frameOffset(const IBitmap* bitmap, int bmState) {
  if (bmState < 2 || bitmap->N < 2) return 0;
  const int extent = bitmap->mFramesAreHorizontal ? bitmap->W : bitmap->H;
  return static_cast<int>(static_cast<double>(bmState - 1) * extent / bitmap->N + 0.5);
}
}  // namespace

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int bmState, const IChannelBlend* blend) {
  return DrawBitmap(bitmap, dest, bmState, 0, 0, blend);
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int bmState, int srcX, int srcY, const IChannelBlend* blend) {
  if (!bitmap) return true;
  const int offs = frameOffset(bitmap, bmState);
  if (bmState >= 2 && bitmap->N >= 2) {
    if (bitmap->mFramesAreHorizontal)
      srcX = offs;
    else
      srcY = offs;
  }
  return DrawBitmap(bitmap, dest, srcX, srcY, blend);
}

bool IGraphics::FillIRect(const IColor* color, IRECT* rect, const IChannelBlend* blend) {
  if (!color || !rect || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_FillRect(mDrawBitmap, rect->L, rect->T, rect->R - rect->L, rect->B - rect->T, color->Packed(), weight, mode);
  return true;
}

// ---------------------------------------------------------------- text

GFX_IFont* IGraphics::CacheFont(IText* text) {
  FontStorage& store = fontStorage();
  {
    UTIL_MutexLock lock(&store.m_lock);
    for (FontEntry& e : store.m_entries)
      if (e.size == text->mSize && e.orientation == text->mOrientation && e.style == text->mStyle &&
          e.face == text->mFont) {
        text->mCached = e.font;
        return e.font;
      }
  }
  GFX_CachedFont* font = new GFX_CachedFont();
  int h = text->mSize;
  for (int pass = 0; pass < 2; ++pass) {
    const int hr = h < 2 ? 2 : h;
    HFONT hf = createStyleFont(*text, hr);
    if (!hf) {
      delete font;
      return nullptr;
    }
    font->SetFromHFont(hf, 0x600);
    // Fit the line height to the requested size once.
    h = pass > 0 ? 0 : refitHeight(hr, font->GetLineHeight());
    if (!h) break;
  }
  UTIL_MutexLock lock(&store.m_lock);
  for (FontEntry& e : store.m_entries)
    if (e.size == text->mSize && e.orientation == text->mOrientation && e.style == text->mStyle &&
        e.face == text->mFont) {
      delete font;  // another thread made the same font meanwhile
      text->mCached = e.font;
      return e.font;
    }
  store.m_entries.push_back(FontEntry{text->mSize, text->mOrientation, text->mStyle, text->mFont, font});
  text->mCached = font;
  return font;
}

bool IGraphics::DrawIText(IText* text, const char* str, IRECT* rect, bool measure) {
  if (!str || !*str || (mGathered && !measure)) return true;
  if (!text || !rect) return false;
  GFX_IFont* font = text->mCached ? text->mCached : CacheFont(text);
  if (!font) return false;
  const unsigned int color = text->mColor.Packed();
  font->SetTextColor(color);
  unsigned int flags = DT_NOCLIP;
  if ((color & 0xff) < 255) flags |= 0x40000000;
  if (text->mAlign == IText::kAlignCenter)
    flags |= DT_CENTER;
  else if (text->mAlign != IText::kAlignNear)
    flags |= DT_RIGHT;
  if (text->mVAlign == IText::kVAlignBottom)
    flags |= DT_BOTTOM;
  else if (text->mVAlign != IText::kVAlignTop)
    flags |= DT_VCENTER;
  if (!measure) {
    if (!mDrawBitmap) return true;  // before PrepDraw there is nothing to draw into
    RECT r = {rect->L, rect->T, rect->R, rect->B};
    font->DrawText(mDrawBitmap, str, -1, &r, flags);
    return true;
  }
  RECT r = {0, 0, 0, 0};
  font->DrawText(mDrawBitmap, str, -1, &r, flags | DT_CALCRECT);
  const int width = r.right, height = r.bottom;
  if (text->mAlign == IText::kAlignCenter) {
    rect->L = static_cast<int>((rect->L + rect->R) * 0.5) - width / 2;
    rect->R = rect->L + width;
  } else if (text->mAlign == IText::kAlignNear) {
    rect->R = rect->L + width;
  } else {
    rect->L = rect->R - width;
  }
  rect->B = rect->T + height;
  return true;
}

bool IGraphics::MeasureIText(IText* text, const char* str, IRECT* destRect) { return DrawIText(text, str, destRect, true); }

// ---------------------------------------------------------------- pixels and lines

bool IGraphics::ForcePixel(const IColor* color, int x, int y) {
  if (!color || !mDrawBitmap || !mDrawBitmap->getBits()) return true;
  if (x < 0 || y < 0 || x >= mDrawBitmap->getWidth() || y >= mDrawBitmap->getHeight()) return true;
  mDrawBitmap->getBits()[y * mDrawBitmap->getRowSpan() + x] = color->Packed();
  return true;
}

bool IGraphics::DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend, bool) {
  if (!color || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_PutPixel(mDrawBitmap, static_cast<int>(std::floor(x + 0.5f)), static_cast<int>(std::floor(y + 0.5f)),
               color->Packed(), weight, mode);
  return true;
}

IColor IGraphics::GetPoint(int x, int y) {
  if (!mDrawBitmap) return IColor(0, 0, 0, 0);
  return IColor::FromPacked(GFX_GetPixel(mDrawBitmap, x, y));
}

bool IGraphics::DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi) {
  if (!color || !mDrawBitmap) return true;
  if (yHi < yLo) std::swap(yLo, yHi);
  GFX_FillRect(mDrawBitmap, xi, yLo, 1, yHi - yLo + 1, color->Packed(), 1.0f, GFX_MODE_USE_SOURCE_ALPHA);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi) {
  if (!color || !mDrawBitmap) return true;
  if (xHi < xLo) std::swap(xLo, xHi);
  GFX_FillRect(mDrawBitmap, xLo, yi, xHi - xLo + 1, 1, color->Packed(), 1.0f, GFX_MODE_USE_SOURCE_ALPHA);
  return true;
}

bool IGraphics::DrawRect(const IColor* color, IRECT* rect) {
  if (!rect) return true;
  DrawHorizontalLine(color, rect->T, rect->L, rect->R);
  DrawHorizontalLine(color, rect->B, rect->L, rect->R);
  DrawVerticalLine(color, rect->L, rect->T, rect->B);
  DrawVerticalLine(color, rect->R, rect->T, rect->B);
  return true;
}

bool IGraphics::DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IChannelBlend* blend,
                         bool aa) {
  if (!color || !mDrawBitmap) return true;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_Line(mDrawBitmap, lineEnd(x1), lineEnd(y1), lineEnd(x2), lineEnd(y2), color->Packed(), weight, mode, aa);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, IRECT* rect, float x) {
  if (!rect) return true;
  x = x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x;
  return DrawVerticalLine(color, rect->L + static_cast<int>(x * rect->W()), rect->T, rect->B);
}

bool IGraphics::DrawHorizontalLine(const IColor* color, IRECT* rect, float y) {
  if (!rect) return true;
  y = y < 0.0f ? 0.0f : y > 1.0f ? 1.0f : y;
  return DrawHorizontalLine(color, rect->B - static_cast<int>(y * rect->H()), rect->L, rect->R);
}

bool IGraphics::DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
                        const IChannelBlend* blend, bool aa) {
  if (!color || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_Arc(mDrawBitmap, cx, cy, r, minAngle, maxAngle, color->Packed(), weight, mode, aa);
  return true;
}

bool IGraphics::DrawCircle(const IColor* color, float cx, float cy, float r, const IChannelBlend* blend, bool aa) {
  if (!color || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_Circle(mDrawBitmap, cx, cy, r, color->Packed(), weight, mode, aa);
  return true;
}

bool IGraphics::DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin, float rMax,
                               const IChannelBlend* blend, bool aa) {
  const float s = std::sin(angle), c = std::cos(angle);
  return DrawLine(color, cx + rMin * s, cy - rMin * c, cx + rMax * s, cy - rMax * c, blend, aa);
}

bool IGraphics::FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend, bool aa) {
  if (!color || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_FillCircle(mDrawBitmap, static_cast<float>(cx), static_cast<float>(cy), r, color->Packed(), weight, mode, aa);
  return true;
}

bool IGraphics::RoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cr, bool aa) {
  if (!color || !rect || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  GFX_RoundRect(mDrawBitmap, static_cast<float>(rect->L), static_cast<float>(rect->T), static_cast<float>(rect->W()),
                static_cast<float>(rect->H()), cr, color->Packed(), weight, mode, aa);
  return true;
}

bool IGraphics::FillRoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cr, bool aa) {
  if (!color || !rect || !mDrawBitmap) return true;
  const IRECT& r = *rect;
  if (cr < 0) cr = 0;
  if (2 * cr > r.W()) cr = r.W() / 2;
  if (2 * cr > r.H()) cr = r.H() / 2;
  float weight;
  const int mode = blendToMode(blend, &weight);
  // Three bands and four corner discs, as it has always been drawn (discs overlap the bands).
  GFX_FillRect(mDrawBitmap, r.L + cr, r.T, r.W() - 2 * cr, r.H(), color->Packed(), weight, mode);
  GFX_FillRect(mDrawBitmap, r.L, r.T + cr, cr, r.H() - 2 * cr, color->Packed(), weight, mode);
  GFX_FillRect(mDrawBitmap, r.R - cr, r.T + cr, cr, r.H() - 2 * cr, color->Packed(), weight, mode);
  if (cr > 0) {
    const float f = static_cast<float>(cr);
    FillCircle(color, r.L + cr, r.T + cr, f, blend, aa);
    FillCircle(color, r.R - cr - 1, r.T + cr, f, blend, aa);
    FillCircle(color, r.L + cr, r.B - cr - 1, f, blend, aa);
    FillCircle(color, r.R - cr - 1, r.B - cr - 1, f, blend, aa);
  }
  return true;
}

bool IGraphics::FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3, IChannelBlend* blend) {
  int x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
  return FillIConvexPolygon(color, x, y, 3, blend);
}

bool IGraphics::FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints, const IChannelBlend* blend) {
  if (!color || !x || !y || npoints < 3 || !mDrawBitmap) return true;
  float weight;
  const int mode = blendToMode(blend, &weight);
  int minY = y[0], maxY = y[0];
  for (int i = 1; i < npoints; ++i) {
    minY = y[i] < minY ? y[i] : minY;
    maxY = y[i] > maxY ? y[i] : maxY;
  }
  // Only rows on the bitmap are walked: a polygon far outside costs nothing.
  if (minY < 0) minY = 0;
  if (maxY > mDrawBitmap->getHeight()) maxY = mDrawBitmap->getHeight();
  for (int row = minY; row < maxY; ++row) {
    const double yc = row + 0.5;  // sample at the pixel centre
    double lo = 1e300, hi = -1e300;
    for (int i = 0; i < npoints; ++i) {
      const int j = (i + 1) % npoints;
      const double ya = y[i], yb = y[j];
      if ((yc < ya) == (yc < yb)) continue;  // the edge does not cross this row
      const double xc = x[i] + (yc - ya) * (x[j] - x[i]) / (yb - ya);
      lo = xc < lo ? xc : lo;
      hi = xc > hi ? xc : hi;
    }
    if (hi < lo) continue;
    const int xl = static_cast<int>(std::ceil(lo - 0.5)), xr = static_cast<int>(std::ceil(hi - 0.5));
    if (xr > xl) GFX_FillRect(mDrawBitmap, xl, row, xr - xl, 1, color->Packed(), weight, mode);
  }
  return true;
}

bool IGraphics::DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg,
                                  const IChannelBlend* blend) {
  // The bitmap's centre (moved up by yOffsetZeroDeg) lands on the point between pixels at
  // (destCtrX, destCtrY), turned by the angle, unscaled and bilinear. The destination is the
  // square that holds every turn of the bitmap, cut to the draw rectangle; the library's rotated
  // blit maps a rectangle's centre to a source point, so the cut square's centre is handed the
  // source point that the turn puts there.
  if (mGathered && bitmap && bitmap->mData) mGathered->push_back(bitmap->mData);
  if (!bitmap || !bitmap->mData || !mDrawBitmap || !bitmap->mData->getBits() || !std::isfinite(angle)) return true;
  GFX_IBitmap* src = bitmap->mData;
  const int W = bitmap->W, H = bitmap->H;
  const int R = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(W) * W + static_cast<double>(H) * H) / 2.0));
  const IRECT square(destCtrX - R, destCtrY - R, destCtrX + R + 1, destCtrY + R + 1);
  const IRECT part = square.Intersect(mDrawRECT);
  if (part.Empty()) return true;
  const double s = std::sin(angle), c = std::cos(angle);
  const double dx = (part.L + part.R) / 2.0 - destCtrX, dy = (part.T + part.B) / 2.0 - destCtrY;
  const double sx = W / 2.0 + c * dx + s * dy, sy = H / 2.0 - yOffsetZeroDeg - s * dx + c * dy;
  float weight;
  const int mode = blendToMode(blend, &weight);
  const float pw = static_cast<float>(part.W()), ph = static_cast<float>(part.H());
  GFX_RotatedBlit(mDrawBitmap, src, part.L, part.T, part.W(), part.H(), 0.0f, 0.0f, pw, ph,
                  static_cast<float>(angle), false, weight, mode | GFX_MODE_FILTER_BILINEAR,
                  static_cast<float>(sx - pw / 2.0), static_cast<float>(sy - ph / 2.0));
  return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y, double angle,
                                const IChannelBlend* blend) {
  // Base, then the rotated mask over it, then the top, each at the rectangle's corner.
  if (!base) return true;
  IRECT r(x, y, x + base->W, y + base->H);
  DrawBitmap(base, &r, 0, 0, blend);
  if (mask) DrawRotatedBitmap(mask, x + base->W / 2, y + base->H / 2, angle, 0, blend);
  if (top) {
    IRECT rt(x, y, x + top->W, y + top->H);
    DrawBitmap(top, &rt, 0, 0, blend);
  }
  return true;
}
