#include "DorvikSim.h"

#include "JackTestServer.h"

#include <chrono>

namespace {

const unsigned char kManufacturer = 0x3E, kModel = 0x10;
const size_t kSoundLength = 392, kMultiLength = 393, kGlobalLength = 207;

bool ours(const DorvikSim::Bytes& m)
{
  return m.size() >= 6 && m[0] == 0xF0 && m[1] == kManufacturer && m[2] == kModel;
}

}  // namespace

DorvikSim::DorvikSim(const std::string& portTag)
    : mPeer(new MidiTestPeer(portTag, "midi-in", "midi-out", [this](double delta, double at, const Bytes& m) { onInput(delta, at, m); }))
{
  // Arrivals until now only queued: the worker, which alone reads the memory and answers through
  // the ports, starts once both are in place.
  for (int p = 0; p < 16; ++p)
    mParts[p].assign(kSoundLength, 0);
  mMulti.assign(kMultiLength, 0);
  mGlobal.assign(kGlobalLength, 0);
  mWorker = std::thread([this] { work(); });
}

DorvikSim::~DorvikSim()
{
  // The worker first: it may be sending an answer through the ports. Arrivals until the ports
  // close only queue.
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mStop = true;
  }
  mChanged.notify_all();
  if (mWorker.joinable())
    mWorker.join();
  for (std::thread& t : mOnTime)
    t.join();
  mPeer.reset();
}

bool DorvikSim::ok() const { return mPeer && mPeer->ok(); }
const std::string& DorvikSim::editorOutputName() const { return mPeer->inputPortName(); }
const std::string& DorvikSim::editorInputName() const { return mPeer->outputPortName(); }

// MIDI system's thread: stamp, count the clock, judge, queue for the worker.
void DorvikSim::onInput(double delta, double serverTime, const Bytes& m)
{
  const double now = MidiTestNow();
  mFrameClock += delta;
  if (m.size() == 1 && m[0] >= 0xF8)
  {
    if (m[0] == 0xF8)
    {
      mTicks++;
      std::lock_guard<std::mutex> lock(mMutex);
      mTickTimes.push_back(serverTime);
    }
    else if (m[0] == 0xFA)
      mStarts++;
    else if (m[0] == 0xFC)
      mStops++;
    return;
  }
  const std::string verdict = verdictFor(m);
  if (verdict != "ok")
    mRejected++;
  std::lock_guard<std::mutex> lock(mMutex);
  // A good message is logged once applied, so a test that saw it may read the memory at once.
  if (verdict == "ok")
    mPending.push_back({now, true, m, verdict, mFrameClock});
  else
    mLog.push_back({now, true, m, verdict, mFrameClock});
  mChanged.notify_all();
}

std::string DorvikSim::verdictFor(const Bytes& m)
{
  if (m.empty())
    return "empty";
  if (m[0] != 0xF0)
  {
    if (m[0] < 0x80)
      return "no status byte";
    return "ok";  // a channel message
  }
  if (m.back() != 0xF7)
    return "no F7";
  for (size_t i = 1; i + 1 < m.size(); ++i)
    if (m[i] & 0x80)
      return "status byte inside";
  if (!ours(m))
    return "not a Dorvik message";
  const unsigned char cmd = m[4];
  size_t want = 0;
  switch (cmd)
  {
    case 0x00: case 0x01: want = 8; break;
    case 0x04: want = 6; break;
    case 0x10: want = kSoundLength; break;
    case 0x11: want = kMultiLength; break;
    case 0x14: want = kGlobalLength; break;
    case 0x20: want = 10; break;
    case 0x21: case 0x24: want = 9; break;
    default: return "unknown command";
  }
  if (m.size() != want)
    return "length " + std::to_string(m.size()) + " for command " + std::to_string(cmd);
  if (want > 200)
  {
    unsigned sum = 0;
    for (size_t i = 4; i + 2 < m.size(); ++i)
      sum += m[i];
    if ((sum & 0x7F) != m[m.size() - 2])
      return "bad checksum";
  }
  return "ok";
}

void DorvikSim::checksum(Bytes& d)
{
  unsigned sum = 0;
  for (size_t i = 4; i + 2 < d.size(); ++i)
    sum += d[i];
  d[d.size() - 2] = (unsigned char)(sum & 0x7F);
}

void DorvikSim::work()
{
  std::unique_lock<std::mutex> lock(mMutex);
  for (;;)
  {
    mChanged.wait(lock, [this] { return mStop || !mPending.empty(); });
    if (mStop)
      return;
    Entry e = mPending.front();
    mPending.pop_front();
    lock.unlock();
    Bytes reply = apply(e.bytes);
    lock.lock();
    mLog.push_back(e);
    mChanged.notify_all();
    if (!reply.empty() && !mAfter.empty())
    {
      const double after = mAfter.front();
      mAfter.pop_front();
      if (after >= 0)
        mOnTime.emplace_back([this, reply, due = e.time + after] {
          for (double now = MidiTestNow(); now < due && !mStop; now = MidiTestNow())
            std::this_thread::sleep_for(std::chrono::duration<double>(std::min(0.01, due - now)));
          if (!mStop)
            answer(reply, 0);
        });
    }
    else if (!reply.empty() && mLoseUntilOther.load() && (e.bytes[3] != mOtherId.load() || e.bytes[3] == mDeviceId.load()))
      continue;
    else if (!reply.empty())
    {
      mLoseUntilOther.store(false);
      lock.unlock();
      answer(reply, mDelay.load());
      lock.lock();
    }
  }
}

// A verified message from the editor: changes and dumps are stored; a request gives its answer.
DorvikSim::Bytes DorvikSim::apply(const Bytes& m)
{
  const int dev = mDeviceId.load();
  if (m[0] != 0xF0)
  {
    const int kind = m[0] >> 4, channel = m[0] & 0x0F;
    std::lock_guard<std::mutex> lock(mMutex);
    if (kind == 0xB && m.size() == 3 && m[1] == 32)
      mBankSelect[channel] = m[2];
    if (kind == 0xB && m.size() == 3 && (m[1] == 27 || m[1] == 28))  // oscillator 1's octave and semitone
      mParts[channel][m[1] - 19] = m[2], checksum(mParts[channel]);
    if (kind == 0xC && m.size() >= 2)
    {
      auto it = mStored.find((mBankSelect[channel] & 0x3F) * 128 + m[1]);
      if (it != mStored.end())
      {
        mParts[channel] = it->second;
        mParts[channel][5] = 0x30;
        mParts[channel][6] = (unsigned char)channel;
      }
    }
    return {};
  }
  const bool other = m[3] == mOtherId.load() && m[3] != dev;  // asked of the other unit: only answered
  if ((m[3] != dev && m[3] != 0x7F && !other) || (other && m[4] > 0x04))
    return {};  // addressed to another device
  const unsigned char cmd = m[4];
  Bytes reply;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    switch (cmd)
    {
      case 0x00:
        if (m[5] == 0x30 && m[6] < 16)
          reply = mParts[m[6]];
        else if (mStored.count(m[5] * 128 + m[6]))
          reply = mStored[m[5] * 128 + m[6]];
        break;
      case 0x01: reply = mMulti; break;
      case 0x04: reply = mGlobal; break;
      case 0x10:
        if (m[5] == 0x30 && m[6] < 16)
          mParts[m[6]] = m;
        else
          mStored[m[5] * 128 + m[6]] = m;
        break;
      case 0x11:
        if (m[5] == 0x20)
          mMulti = m;
        break;
      case 0x14: mGlobal = m; break;
      case 0x20:
        if (m[5] < 16 && 7 + m[6] * 128 + m[7] < 390)
          mParts[m[5]][7 + m[6] * 128 + m[7]] = m[8];
        break;
      case 0x21:
        if (7 + m[5] * 128 + m[6] < 391)
          mMulti[7 + m[5] * 128 + m[6]] = m[7];
        break;
      case 0x24:
        if (5 + m[5] * 128 + m[6] < 205)
          mGlobal[5 + m[5] * 128 + m[6]] = m[7];
        break;
      default: break;
    }
    if (cmd == 0x14 || cmd == 0x24)  // the id it answers at is the one its global data names
      mDeviceId.store(mGlobal[30] & 0x7F);
    for (Bytes* b : {&mMulti, &mGlobal})
      if (b->size() > 200)
        checksum(*b);
    for (Bytes& b : mParts)
      checksum(b);
  }
  if (!reply.empty())
  {
    reply[3] = (unsigned char)(other ? m[3] : dev);
    reply[85] = other ? (unsigned char)mOtherCutoff.load() : reply[85];
    checksum(reply);
  }
  return reply;
}

void DorvikSim::answer(Bytes reply, double delay)
{
  if (mSilent.load())
    return;
  Spoil kind = Spoil::kNone;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mSpoilCount != 0)
    {
      kind = mSpoil;
      if (mSpoilCount > 0)
        mSpoilCount--;
    }
  }
  switch (kind)
  {
    case Spoil::kNone: break;
    case Spoil::kBadChecksum: reply[reply.size() - 2] ^= 0x01; break;
    case Spoil::kTruncated: reply.resize(reply.size() / 2); reply.back() = 0xF7; break;
    case Spoil::kMissingEnd: reply.pop_back(); break;
    case Spoil::kWrongDeviceId: reply[3] = (unsigned char)((reply[3] + 1) & 0x7F); break;
    case Spoil::kHighBit: reply[12] = 0x85; break;
    case Spoil::kCutOff: reply.resize(50); break;
    case Spoil::kKnobFirst: turnSoundKnob(15, 1, 64); break;
  }
  if (delay > 0)
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
  send(reply);
  mWholeAnswers += kind == Spoil::kNone || kind == Spoil::kKnobFirst;
}

void DorvikSim::send(const Bytes& m)
{
  std::lock_guard<std::mutex> sendLock(mSendLock);
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mLog.push_back({MidiTestNow(), false, m, "ok"});
  }
  mPeer->send(m);
}

// The synth also reports its id in its global data (position 30).
void DorvikSim::setDeviceId(int id)
{
  mDeviceId.store(id & 0x7F);
  setGlobalData(25, id & 0x7F);
}

void DorvikSim::answerAfter(const std::vector<double>& seconds)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mAfter.assign(seconds.begin(), seconds.end());
}

void DorvikSim::spoilAnswers(Spoil kind, int count)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mSpoil = kind;
  mSpoilCount = count;
}

void DorvikSim::setMemory(const Bytes& sound, const Bytes& multi, const Bytes& global)
{
  std::lock_guard<std::mutex> lock(mMutex);
  for (int p = 0; p < 16; ++p)
  {
    mParts[p] = sound;
    mParts[p][5] = 0x30;
    mParts[p][6] = (unsigned char)p;
    checksum(mParts[p]);
  }
  mMulti = multi;
  mGlobal = global;
}

DorvikSim::Bytes DorvikSim::partSound(int part)
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mParts[part & 15];
}

DorvikSim::Bytes DorvikSim::multiBuffer()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mMulti;
}

DorvikSim::Bytes DorvikSim::globals()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mGlobal;
}

void DorvikSim::setPartData(int part, int index, int value)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mParts[part & 15][7 + index] = (unsigned char)value;
  checksum(mParts[part & 15]);
}

void DorvikSim::setMultiData(int index, int value)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mMulti[7 + index] = (unsigned char)value;
  checksum(mMulti);
}

void DorvikSim::setGlobalData(int index, int value)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mGlobal[5 + index] = (unsigned char)value;
  checksum(mGlobal);
}

void DorvikSim::storeSound(int bank, int number, const Bytes& dump)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mStored[bank * 128 + number] = dump;
}

DorvikSim::Bytes DorvikSim::soundDump(int bank, int number)
{
  std::lock_guard<std::mutex> lock(mMutex);
  Bytes d = mParts[0];
  d[5] = (unsigned char)bank;
  d[6] = (unsigned char)number;
  checksum(d);
  return d;
}

void DorvikSim::turnSoundKnob(int part, int index, int value)
{
  setPartData(part, index, value);
  send({0xF0, kManufacturer, kModel, (unsigned char)mDeviceId.load(), 0x20, (unsigned char)part,
        (unsigned char)(index >> 7), (unsigned char)(index & 0x7F), (unsigned char)value, 0xF7});
}

void DorvikSim::turnGlobalKnob(int index, int value)
{
  setGlobalData(index, value);
  send({0xF0, kManufacturer, kModel, (unsigned char)mDeviceId.load(), 0x24, (unsigned char)(index >> 7),
        (unsigned char)(index & 0x7F), (unsigned char)value, 0xF7});
}

void DorvikSim::selectOnPanel(int part, int bank, int number, bool bySysEx)
{
  const unsigned char ch = (unsigned char)(part & 15), n = (unsigned char)number;
  const int index = 32 + 22 * ch + 1;  // the multi's part block: its program
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mStored.count(bank * 128 + number))
      mParts[ch] = mStored[bank * 128 + number], mParts[ch][5] = 0x30, mParts[ch][6] = ch, checksum(mParts[ch]);
  }
  if (bySysEx)
    return send({0xF0, kManufacturer, kModel, (unsigned char)mDeviceId.load(), 0x21, (unsigned char)(index >> 7),
                 (unsigned char)(index & 0x7F), n, 0xF7});
  send({(unsigned char)(0xB0 | ch), 0, 0});
  send({(unsigned char)(0xB0 | ch), 32, (unsigned char)(0x40 + bank)});
  send({(unsigned char)(0xC0 | ch), n});
}

void DorvikSim::sendShort(unsigned char status, unsigned char d1, unsigned char d2)
{
  send({status, d1, d2});
}

void DorvikSim::sendRaw(const Bytes& bytes) { send(bytes); }

std::vector<DorvikSim::Entry> DorvikSim::log()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mLog;
}

std::vector<DorvikSim::Entry> DorvikSim::received(std::function<bool(const Bytes&)> match)
{
  std::vector<Entry> out;
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mLog)
    if (e.incoming && match(e.bytes))
      out.push_back(e);
  return out;
}

bool DorvikSim::waitFor(std::function<bool(const Bytes&)> match, size_t count, double timeoutSeconds)
{
  std::unique_lock<std::mutex> lock(mMutex);
  return mChanged.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] {
    size_t n = 0;
    for (const Entry& e : mLog)
      if (e.incoming && match(e.bytes))
        ++n;
    return n >= count;
  });
}

void DorvikSim::clearLog()
{
  std::lock_guard<std::mutex> lock(mMutex);
  mLog.clear();
  mTickTimes.clear();
}

std::vector<double> DorvikSim::tickTimes()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mTickTimes;
}
