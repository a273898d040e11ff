// IPluginBase's direct MIDI ports over real JACK ports: listing, opening by index and name,
// what the send operations put on the wire, and what reaches ProcessMidiMsg / ProcessSysEx.
#include "MidiJackTest.h"
#include "MidiTestPeer.h"
#include "TestPlug.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

typedef std::vector<unsigned char> Bytes;

// The plug-in class as far as these tests need it (TestPlug stubs the host slots); the two MIDI
// handlers record what arrives, copying the SysEx bytes, which live for the call only.
class MidiPlug : public TestPlug
{
public:
  ~MidiPlug() override { CloseDirectMidiPorts(); }

  // As the editor reopens its stored ports at start-up: its own list positions are the in-out
  // index, set to 1 first.
  int reopenStored(const char* inName, const char* outName)
  {
    mMidiInIndex = mMidiOutIndex = 1;
    const int in = setExternalMIDIIn(mMidiInIndex, inName);
    const int out = setExternalMIDIOut(mMidiOutIndex, outName);
    return in > 0 && in == mMidiInIndex && out > 0 && out == mMidiOutIndex ? 1 : 0;
  }

  struct Received
  {
    Bytes bytes;
    bool sysex;
    bool fromDevice;
  };

  void ProcessMidiMsg(IMidiMsg* msg, bool fromDevice) override
  {
    record({Bytes{msg->mStatus, msg->mData1, msg->mData2}, false, fromDevice});
  }
  void ProcessSysEx(ISysEx* sysex, bool fromDevice) override
  {
    Bytes b(sysex->mData, sysex->mData + sysex->mSize);
    if (MidiTestPeer::isPrimer(b))
    {
      primers++;
      return;
    }
    record({b, true, fromDevice});
  }

  bool waitFor(size_t n, double seconds = 5.0)
  {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return received.size() >= n; });
  }
  std::vector<Received> snapshot()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return received;
  }
  int inIndex() const { return mMidiInIndex; }
  int outIndex() const { return mMidiOutIndex; }

  // Optional work done in the handler, as the editor's handler does: take the plug-in lock and
  // answer through the output.
  std::atomic<bool> lockInHandler{false};
  std::atomic<bool> answerInHandler{false};
  std::atomic<int> primers{0};
  std::thread::id handlerThread;

private:
  void record(const Received& r)
  {
    if (lockInHandler)
    {
      Lock();
      Unlock();
    }
    if (answerInHandler)
    {
      const unsigned char ack[3] = {0xB0, 0x77, 1};
      SendDirectBytes(ack, 3);
    }
    std::lock_guard<std::mutex> lock(mutex);
    handlerThread = std::this_thread::get_id();
    received.push_back(r);
    cv.notify_all();
  }

  std::mutex mutex;
  std::condition_variable cv;
  std::vector<Received> received;
};

class MidiPluginTest : public MidiJackTest
{
protected:
  // Opens the plug-in's output on the peer and sends until the connection carries.
  static void connectOutput(MidiPlug& plug, MidiTestPeer& peer)
  {
    plug.getExternalMIDIOutNames();
    int index = 1;
    ASSERT_GT(plug.setExternalMIDIOut(index, peer.inputPortName().c_str()), 0);
    ASSERT_TRUE(peer.primeFrom([&](const Bytes& b) { plug.SendDirectBytes(b.data(), (int)b.size()); }));
  }
  static void connectInput(MidiPlug& plug, MidiTestPeer& peer)
  {
    plug.getExternalMIDIInNames();
    int index = 1;
    ASSERT_GT(plug.setExternalMIDIIn(index, peer.outputPortName().c_str()), 0);
    ASSERT_TRUE(peer.primeTo([&] { return plug.primers.load() > 0; }));
  }
};

int position(const std::vector<std::string>& names, const std::string& n)
{
  auto it = std::find(names.begin(), names.end(), n);
  return it == names.end() ? -1 : (int)(it - names.begin());
}

}  // namespace

TEST_F(MidiPluginTest, ListsStartWithSelectEntryAndAreReadOnce)
{
  MidiTestPeer peer;
  MidiPlug plug;
  const std::vector<std::string> outs = plug.getExternalMIDIOutNames();
  const std::vector<std::string> ins = plug.getExternalMIDIInNames();
  ASSERT_FALSE(outs.empty());
  ASSERT_FALSE(ins.empty());
  EXPECT_EQ("Select MIDI Device", outs[0]);
  EXPECT_EQ("Select MIDI Device", ins[0]);
  EXPECT_GT(position(outs, peer.inputPortName()), 0);
  EXPECT_GT(position(ins, peer.outputPortName()), 0);

  // A device that appears later shows up only in a new plug-in.
  MidiTestPeer late("LatePeer");
  EXPECT_EQ(outs, plug.getExternalMIDIOutNames());
  EXPECT_EQ(-1, position(plug.getExternalMIDIOutNames(), late.inputPortName()));
  MidiPlug fresh;
  EXPECT_GT(position(fresh.getExternalMIDIOutNames(), late.inputPortName()), 0);
  // A new listing (a menu opening) has it too, never an own port (the input), and a restarted server.
  connectInput(plug, peer);
  const std::vector<std::string> now = plug.rescanExternalMIDIOutNames();
  EXPECT_GT(position(now, late.inputPortName()), 0);
  EXPECT_TRUE(std::none_of(now.begin(), now.end(), [](const std::string& n) { return n.rfind("Sorvanta Editor", 0) == 0; }));
  // The open input hears its server stop (no listing needed); a listing then reaches no MIDI system.
  server().stop();
  for (int i = 0; i < 500 && !plug.DirectMidiPortLost(true); ++i)
    MidiTestSleep(0.01);
  plug.rescanExternalMIDIInNames();
  EXPECT_TRUE(plug.DirectMidiPortLost(true) && !plug.MIDISystemReachable(true));
  ASSERT_TRUE(server().start());
  MidiTestPeer again("AgainPeer");
  EXPECT_GT(position(plug.rescanExternalMIDIOutNames(), again.inputPortName()), 0);
  EXPECT_GT(position(plug.rescanExternalMIDIInNames(), again.outputPortName()), 0);
}

TEST_F(MidiPluginTest, DeviceAndPortNumbersByName)
{
  MidiTestPeer peer;
  MidiPlug plug;
  const std::string dev = peer.inputPortName();
  EXPECT_EQ(-1, plug.getExternalMIDIOutDevice(dev.c_str()));  // nothing listed yet
  const std::vector<std::string> outs = plug.getExternalMIDIOutNames();
  EXPECT_EQ(position(outs, dev), plug.getExternalMIDIOutDevice(dev.c_str()));
  EXPECT_EQ(0, plug.getExternalMIDIOutDevice("Select MIDI Device"));
  EXPECT_EQ(-1, plug.getExternalMIDIOutDevice("No such port"));
  EXPECT_EQ(-1, plug.getExternalMIDIInDevice(nullptr));

  EXPECT_EQ(0, plug.GetMIDIOutPortNumber("Select MIDI Device"));
  EXPECT_EQ(1, plug.GetMIDIOutPortNumber("virtual output"));
  EXPECT_EQ(1, plug.GetMIDIInPortNumber("virtual input"));
  // The list has "Select MIDI Device" in front; port numbers put 0 and 1 before the system's ports.
  EXPECT_EQ(position(outs, dev) + 1, plug.GetMIDIOutPortNumber(dev.c_str()));
  EXPECT_EQ(position(plug.getExternalMIDIInNames(), peer.outputPortName()) + 1,
            plug.GetMIDIInPortNumber(peer.outputPortName().c_str()));
  EXPECT_EQ(-1, plug.GetMIDIOutPortNumber("No such port"));
  EXPECT_EQ(-1, plug.GetMIDIInPortNumber(nullptr));
}

TEST_F(MidiPluginTest, VirtualOutputIsOfferedUnderFromName)
{
  MidiPlug plug;
  ASSERT_TRUE(plug.initializeVirtualOutput("Sorvanta"));
  MidiPlug other;
  const std::vector<std::string> ins = other.getExternalMIDIInNames();
  EXPECT_TRUE(std::any_of(ins.begin(), ins.end(),
                          [](const std::string& n) { return n.find("From Sorvanta") != std::string::npos; }));
  // Replacing it leaves one port, under the new name.
  ASSERT_TRUE(plug.initializeVirtualOutput("Again"));
  MidiPlug third;
  const std::vector<std::string> now = third.getExternalMIDIInNames();
  EXPECT_FALSE(std::any_of(now.begin(), now.end(),
                           [](const std::string& n) { return n.find("From Sorvanta") != std::string::npos; }));
  EXPECT_TRUE(std::any_of(now.begin(), now.end(),
                          [](const std::string& n) { return n.find("From Again") != std::string::npos; }));
}

TEST_F(MidiPluginTest, SendMidiMsgsSendsEveryMessageAndReportsAnyFailure)
{
  class CountingPlug : public MidiPlug
  {
  public:
    bool SendMidiMsg(IMidiMsg* msg) override
    {
      sent.push_back(msg->mData1);
      return msg->mData1 != 99;
    }
    std::vector<int> sent;
  };
  CountingPlug plug;
  UTIL_TypedBuf<IMidiMsg> msgs;
  EXPECT_TRUE(plug.SendMidiMsgs(&msgs));
  EXPECT_TRUE(plug.SendMidiMsgs(nullptr));
  for (int d : {1, 99, 3})
    msgs.Add(IMidiMsg(0, 0x90, (uint8_t)d, 100));
  EXPECT_FALSE(plug.SendMidiMsgs(&msgs));
  EXPECT_EQ((std::vector<int>{1, 99, 3}), plug.sent);
  msgs.Resize(1);
  EXPECT_TRUE(plug.SendMidiMsgs(&msgs));
}

TEST_F(MidiPluginTest, OpenByMenuPositionAndByStoredNameThenSelectEntryCloses)
{
  MidiTestPeer peer;
  MidiPlug plug;
  const std::vector<std::string> outs = plug.getExternalMIDIOutNames();
  const int pos = position(outs, peer.inputPortName());
  ASSERT_GT(pos, 0);

  int index = pos;  // the menu hands over the chosen position and its text
  EXPECT_EQ(pos, plug.setExternalMIDIOut(index, outs[pos].c_str()));
  EXPECT_EQ(pos, index);
  EXPECT_EQ(pos, plug.outIndex());

  index = 0;  // 0 closes without looking at the name
  EXPECT_EQ(0, plug.setExternalMIDIOut(index, outs[pos].c_str()));
  const unsigned char cc[3] = {0xB0, 7, 100};
  EXPECT_FALSE(plug.SendDirectBytes(cc, 3));

  index = 1;  // start-up and state restore pass 1 and a stored name
  EXPECT_EQ(pos, plug.setExternalMIDIOut(index, peer.inputPortName().c_str()));
  EXPECT_EQ(pos, index);
  ASSERT_TRUE(peer.primeFrom([&](const Bytes& b) { plug.SendDirectBytes(b.data(), (int)b.size()); }));
  EXPECT_TRUE(plug.SendDirectBytes(cc, 3));
  ASSERT_TRUE(peer.waitForMessages(1));
  EXPECT_EQ((Bytes{0xB0, 7, 100}), peer.message(0));

  EXPECT_EQ(0, plug.setExternalMIDIOut(index, "Select MIDI Device"));
  EXPECT_EQ(0, index);
  EXPECT_EQ(0, plug.outIndex());
  EXPECT_FALSE(plug.SendDirectBytes(cc, 3));
}

TEST_F(MidiPluginTest, StoredPortsReopenWithThePluginsOwnIndexAsArgument)
{
  MidiTestPeer peer;
  MidiPlug plug;
  plug.getExternalMIDIInNames();
  plug.getExternalMIDIOutNames();
  EXPECT_EQ(1, plug.reopenStored(peer.outputPortName().c_str(), peer.inputPortName().c_str()));
}

TEST_F(MidiPluginTest, StoredNameWithOtherSessionNumbersStillOpens)
{
  MidiTestPeer peer;
  MidiPlug plug;
  plug.getExternalMIDIInNames();
  int index = 1;
  // As an ALSA name stored in an earlier session: the same port with other client:port numbers.
  const std::string stored = peer.outputPortName() + " 130:0";
  const int p = plug.setExternalMIDIIn(index, stored.c_str());
  EXPECT_GT(p, 0);
  EXPECT_EQ(peer.outputPortName(), plug.getExternalMIDIInNames()[p]);
}

TEST_F(MidiPluginTest, UnlistedNameOrNoListOpensNothingAndClosesThePreviousPort)
{
  MidiTestPeer peer;
  MidiPlug plug;
  int index = 1;
  // Before the list is read nothing can be opened.
  EXPECT_EQ(0, plug.setExternalMIDIOut(index, peer.inputPortName().c_str()));
  EXPECT_EQ(0, index);
  const unsigned char cc[3] = {0xB0, 7, 100};
  EXPECT_FALSE(plug.SendDirectBytes(cc, 3));

  connectOutput(plug, peer);
  index = 2;
  EXPECT_EQ(0, plug.setExternalMIDIOut(index, "Nobody:nothing"));
  EXPECT_EQ(0, index);
  EXPECT_EQ(0, plug.outIndex());
  EXPECT_FALSE(plug.SendDirectBytes(cc, 3));
  index = 1;
  EXPECT_EQ(0, plug.setExternalMIDIOut(index, nullptr));
}

TEST_F(MidiPluginTest, PortGoneSinceListingIsNotReportedOpen)
{
  MidiPlug plug;
  std::string gone;
  {
    MidiTestPeer peer("GonePeer");
    gone = peer.inputPortName();
    plug.getExternalMIDIOutNames();
  }
  int index = 1;
  EXPECT_EQ(0, plug.setExternalMIDIOut(index, gone.c_str()));
  EXPECT_EQ(0, index);
  EXPECT_EQ(0, plug.outIndex());
}

TEST_F(MidiPluginTest, SendOperationsPutTheRightBytesOnTheWire)
{
  MidiTestPeer peer;
  MidiPlug plug;
  connectOutput(plug, peer);

  IMidiMsg pc(0, 0xC3, 5, 99);  // data 2 of a program change is never sent
  IMidiMsg cc(0, 0xB0, 7, 100);
  IMidiMsg pressure(0, 0xD1, 64, 1);
  IMidiMsg clock(0, 0xF8, 0, 0);
  IMidiMsg songSelect(0, 0xF3, 4, 0);
  EXPECT_TRUE(plug.SendDirectMidiMsg(&pc));
  EXPECT_TRUE(plug.SendDirectMidiMsg(&cc));
  EXPECT_TRUE(plug.SendDirectMidiMsg(&pressure));
  EXPECT_TRUE(plug.SendDirectMidiMsg(&clock));
  EXPECT_TRUE(plug.SendDirectMidiMsg(&songSelect));
  IMidiMsg noStatus(0, 0x40, 1, 2), statusAsData1(0, 0xB0, 0x90, 1), statusAsData2(0, 0xB0, 7, 0xF8);
  EXPECT_FALSE(plug.SendDirectMidiMsg(&noStatus));
  EXPECT_FALSE(plug.SendDirectMidiMsg(&statusAsData1));
  EXPECT_FALSE(plug.SendDirectMidiMsg(&statusAsData2));
  EXPECT_FALSE(plug.SendDirectMidiMsg(nullptr));

  const unsigned char bare[3] = {0x43, 0x10, 0x7F};
  const unsigned char framed[4] = {0xF0, 0x43, 0x10, 0x7F};
  EXPECT_TRUE(plug.SendDirectSysex(bare, 3));
  EXPECT_TRUE(plug.SendDirectSysex(framed, 4));  // sent as it is, no F7 added
  EXPECT_FALSE(plug.SendDirectSysex(bare, 0));
  EXPECT_FALSE(plug.SendDirectBytes(bare, 0));
  EXPECT_FALSE(plug.SendDirectBytes(nullptr, 3));

  Bytes dump(400);
  for (size_t i = 0; i < dump.size(); ++i)
    dump[i] = (unsigned char)(i & 0x7F);
  dump.front() = 0xF0;
  dump.back() = 0xF7;
  EXPECT_TRUE(plug.SendDirectBytes(dump.data(), (int)dump.size()));

  // F0 43 10 7F went out without an F7: the peer's input hands it over alone (cut off) at the dump's F0.
  ASSERT_TRUE(peer.waitForMessages(8)) << peer.messageCount();
  MidiTestSleep(0.05);
  const std::vector<Bytes> got = peer.messages();
  ASSERT_EQ(8u, got.size());
  EXPECT_EQ((Bytes{0xC3, 5}), got[0]);
  EXPECT_EQ((Bytes{0xB0, 7, 100}), got[1]);
  EXPECT_EQ((Bytes{0xD1, 64}), got[2]);
  EXPECT_EQ((Bytes{0xF8}), got[3]);
  EXPECT_EQ((Bytes{0xF3, 4}), got[4]);
  EXPECT_EQ((Bytes{0xF0, 0x43, 0x10, 0x7F, 0xF7}), got[5]);
  EXPECT_EQ((Bytes{0xF0, 0x43, 0x10, 0x7F}), got[6]);
  EXPECT_EQ(dump, got[7]);
}

TEST_F(MidiPluginTest, InputReachesTheHandlersFromTheDevice)
{
  MidiTestPeer peer;
  MidiPlug plug;
  connectInput(plug, peer);

  Bytes dump(400);
  for (size_t i = 0; i < dump.size(); ++i)
    dump[i] = (unsigned char)((i * 3) & 0x7F);
  dump.front() = 0xF0;
  dump.back() = 0xF7;
  peer.send(Bytes{0xF6});
  peer.send(Bytes{0xC3, 5});
  peer.send(Bytes{0x90, 60, 100});
  peer.send(Bytes{0xF0, 0x01, 0x02, 0xF7});
  peer.send(dump);
  // A reply cut off before its F7 is joined by the MIDI input to the next SysEx: the two arrive
  // apart, so the whole one after the cut is not lost with it.
  peer.send(Bytes{0xF0, 0x11, 0x12, 0x13});
  peer.send(Bytes{0xF0, 0x21, 0x22, 0xF7});
  ASSERT_TRUE(plug.waitFor(7));
  const std::vector<MidiPlug::Received> got = plug.snapshot();
  EXPECT_EQ((Bytes{0xF0, 0x11, 0x12, 0x13}), got[5].bytes);
  EXPECT_EQ((Bytes{0xF0, 0x21, 0x22, 0xF7}), got[6].bytes);
  EXPECT_EQ((Bytes{0xF6, 0, 0}), got[0].bytes);
  EXPECT_EQ((Bytes{0xC3, 5, 0}), got[1].bytes);
  EXPECT_EQ((Bytes{0x90, 60, 100}), got[2].bytes);
  EXPECT_EQ((Bytes{0xF0, 0x01, 0x02, 0xF7}), got[3].bytes);
  EXPECT_EQ(dump, got[4].bytes);
  for (int i = 0; i < 5; ++i)
  {
    EXPECT_EQ(i >= 3, got[i].sysex) << i;
    EXPECT_TRUE(got[i].fromDevice) << i;
  }
  EXPECT_NE(std::this_thread::get_id(), plug.handlerThread);

  int index = 0;
  plug.setExternalMIDIIn(index, nullptr);
  peer.send(Bytes{0x90, 61, 100});
  MidiTestSleep(0.1);
  EXPECT_EQ(7u, plug.snapshot().size());
}

TEST_F(MidiPluginTest, EightThreadsSendingThroughThePlugInKeepEveryMessageWhole)
{
  MidiTestPeer peer;
  MidiPlug plug;
  connectOutput(plug, peer);
  const int kThreads = 8, kEach = 40;
  std::vector<std::thread> threads;
  std::atomic<int> failed{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int s = 0; s < kEach; ++s)
      {
        const Bytes m = MidiTestStamped(t, s);
        if (m.size() == 3)
        {
          IMidiMsg cc(0, m[0], m[1], m[2]);
          failed += !plug.SendDirectMidiMsg(&cc);
        }
        else  // without its F0 and F7, which SendDirectSysex puts back
          failed += !plug.SendDirectSysex(m.data() + 1, (int)m.size() - 2);
      }
    });
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(0, failed.load());
  ASSERT_TRUE(peer.waitForMessages(kThreads * kEach)) << peer.messageCount();
  EXPECT_EQ("", MidiTestCheckStamped(peer.messages(), kThreads, kEach));
}

// The parameter-change handler reopens ports while holding the plug-in lock, and the editor's
// input handler takes that lock: closing the input must not wait for the handler.
TEST_F(MidiPluginTest, ClosingInputUnderThePlugInLockWhileTheHandlerWaitsForItDoesNotHang)
{
  MidiTestPeer peer;
  MidiPlug plug;
  connectInput(plug, peer);
  plug.lockInHandler = true;
  plug.Lock();
  peer.send(Bytes{0x90, 60, 1});
  MidiTestSleep(0.05);  // the handler is now (very likely) waiting for the lock
  int index = 0;
  plug.setExternalMIDIIn(index, nullptr);
  plug.Unlock();
  SUCCEED();
}

TEST_F(MidiPluginTest, ReopeningAndTearingDownWhileTheDeviceFloodsIsSafe)
{
  MidiTestPeer peer;
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    Bytes dump(120, 0x11);
    dump.front() = 0xF0;
    dump.back() = 0xF7;
    for (int i = 0; flooding.load(); ++i)
    {
      peer.send(Bytes{0xB0, 7, (unsigned char)(i & 0x7F)});
      if (i % 3 == 0)
        peer.send(dump);
      if (i % 16 == 0)
        MidiTestSleep(0.0005);
    }
  });
  for (int round = 0; round < 3; ++round)
  {
    MidiPlug* plug = new MidiPlug;
    plug->getExternalMIDIInNames();
    plug->getExternalMIDIOutNames();
    int out = 1;
    ASSERT_GT(plug->setExternalMIDIOut(out, peer.inputPortName().c_str()), 0);
    plug->answerInHandler = true;  // the handler sends while the ports go away
    plug->lockInHandler = true;
    for (int i = 0; i < 4; ++i)
    {
      int in = 1;
      ASSERT_GT(plug->setExternalMIDIIn(in, peer.outputPortName().c_str()), 0);
      MidiTestSleep(0.01);
      in = 0;
      plug->setExternalMIDIIn(in, nullptr);
    }
    int in = 1;
    ASSERT_GT(plug->setExternalMIDIIn(in, peer.outputPortName().c_str()), 0);
    MidiTestSleep(0.02);
    delete plug;  // with input arriving and the handler answering
  }
  flooding = false;
  flood.join();
}

// The port watch's change count without a MIDI system: each side's first listing is a change (it
// says there is nothing to reach); the watch's listings that find the same are not.
TEST(MidiPluginWithoutMidi, TheWatchCountsNoChangeWhileListingsFindTheSame)
{
  setenv("SORVANTA_MIDI_API", "jack", 1);
  setenv("JACK_DEFAULT_SERVER", (std::string("sorvanta-none-") + MidiTestClientSuffix()).c_str(), 1);
  MidiPlug plug;
  EXPECT_EQ(std::vector<std::string>{"Select MIDI Device"}, plug.getExternalMIDIOutNames());
  plug.getExternalMIDIInNames();
  const unsigned listed = plug.DirectMidiListings();
  plug.StartDirectMidiInput();
  for (int i = 0; i < 1000 && plug.DirectMidiListings() < listed + 4; ++i)
    MidiTestSleep(0.01);
  EXPECT_TRUE(plug.DirectMidiListings() >= listed + 4 && !plug.MIDISystemReachable(false));
  EXPECT_EQ(2u, plug.DirectMidiListingChanges());
}
