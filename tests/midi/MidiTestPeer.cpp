#include "MidiTestPeer.h"

#include "JackTestServer.h"

#include <chrono>
#include <cmath>
#include <string>

#include <jack/jack.h>

MidiTestPeer::MidiTestPeer(const std::string& tag, const std::string& inName, const std::string& outName,
                           Listener listener)
    : mListener(std::move(listener))
{
  const std::string clientTag = tag + "-" + MidiTestClientSuffix();
  mIn.reset(new JackMidiInput);
  if (!mIn->create(clientTag + "-in", &MidiTestPeer::onInput, this, false) || !mIn->openVirtual(inName.c_str()) ||
      !mOut.create(clientTag + "-out") || !mOut.openVirtual(outName.c_str()))
    return;
  mOutOpen = true;
  mInFull = clientTag + "-in:" + inName;
  mOutFull = clientTag + "-out:" + outName;
}

MidiTestPeer::~MidiTestPeer()
{
  // Deactivated and closed whole before the recorder and the echo's output go: no port is
  // unregistered under a running cycle. mIn points at the input until it is gone: a last cycle
  // that runs while it lets go of its client still finds it (reset() would null it first).
  delete mIn.get();
  mIn.release();
}

void MidiTestPeer::onInput(double delta, const unsigned char* bytes, size_t size, void* userData)
{
  MidiTestPeer* self = static_cast<MidiTestPeer*>(userData);
  const Bytes message(bytes, bytes + size);
  if (self->mListener)
  {
    jack_client_t* client = self->mIn->client();
    const double rate = jack_get_sample_rate(client);
    if (self->mFrames < 0)
      self->mFirstCycle = jack_last_frame_time(client), self->mFrames = 0;
    self->mFrames += delta * rate;
    const jack_nframes_t frame = self->mFirstCycle + (jack_nframes_t)llround(self->mFrames);
    self->mListener(delta, self->mOut.cycleClock().timeOf(frame) * 1e-9, message);
    return;
  }
  std::lock_guard<std::mutex> lock(self->mMutex);
  if (isPrimer(message))
  {
    self->mPrimers++;
    return;
  }
  if (self->mEcho)
    self->mOut.send(bytes, size);
  self->mMessages.push_back(message);
  self->mBytes += size;
  self->mArrived.notify_all();
}

const MidiTestPeer::Bytes& MidiTestPeer::primer()
{
  static const Bytes p = {0xF0, 0x7D, 0x7F, 0x70, 0x72, 0x69, 0x6D, 0x65, 0xF7};
  return p;
}

size_t MidiTestPeer::primersSeen()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mPrimers;
}

void MidiTestPeer::setEcho(bool on)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mEcho = on;
}

void MidiTestPeer::send(const Bytes& message) { send(message.data(), message.size()); }

void MidiTestPeer::send(const unsigned char* bytes, size_t size)
{
  std::lock_guard<std::mutex> lock(mMutex);  // one writer at a time on the output queue
  mOut.send(bytes, size);
}

bool MidiTestPeer::waitForMessages(size_t count, double timeoutSeconds)
{
  std::unique_lock<std::mutex> lock(mMutex);
  return mArrived.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                           [&] { return mMessages.size() >= count; });
}

MidiTestPeer::Bytes MidiTestPeer::message(size_t i)
{
  std::lock_guard<std::mutex> lock(mMutex);
  return i < mMessages.size() ? mMessages[i] : Bytes();
}

std::vector<MidiTestPeer::Bytes> MidiTestPeer::messages()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mMessages;
}

size_t MidiTestPeer::messageCount()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mMessages.size();
}

size_t MidiTestPeer::byteCount()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mBytes;
}

void MidiTestPeer::clear()
{
  std::lock_guard<std::mutex> lock(mMutex);
  mMessages.clear();
  mBytes = 0;
}

MidiTestPeer::Bytes MidiTestStamped(int sender, int seq)
{
  if (seq % 3 == 0)
    return {(unsigned char)(0xB0 | sender), (unsigned char)seq, (unsigned char)(seq ^ sender)};
  MidiTestPeer::Bytes m(20);
  m[0] = 0xF0;
  m[1] = 0x7D;
  m[2] = (unsigned char)sender;
  m[3] = (unsigned char)seq;
  for (int i = 4; i < 19; ++i)
    m[i] = (unsigned char)((sender * 31 + seq * 7 + i) & 0x7F);
  m[19] = 0xF7;
  return m;
}

std::string MidiTestCheckStamped(const std::vector<MidiTestPeer::Bytes>& got, int senders, int each)
{
  std::vector<int> next(senders, 0);
  for (size_t k = 0; k < got.size(); ++k)
  {
    const MidiTestPeer::Bytes& m = got[k];
    const int sender = m.size() == 3 ? (m[0] & 0x0F) : (m.size() > 3 ? m[2] : -1);
    const int seq = m.size() >= 3 ? (m.size() == 3 ? m[1] : m[3]) : -1;
    if (sender < 0 || sender >= senders || seq < 0 || m != MidiTestStamped(sender, seq))
      return "message " + std::to_string(k) + " is not intact";
    if (seq != next[sender])
      return "sender " + std::to_string(sender) + ": " + std::to_string(seq) + " arrived, " +
             std::to_string(next[sender]) + " expected";
    next[sender] = seq + 1;
  }
  for (int t = 0; t < senders; ++t)
    if (next[t] != each)
      return "sender " + std::to_string(t) + ": " + std::to_string(next[t]) + " of " + std::to_string(each);
  return "";
}
