#include "MidiBackend.h"
#include "MidiInputDispatch.h"
#include "MidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

TEST(MidiPortName, StripsAlsaClientAndPortNumbers)
{
  EXPECT_EQ("Dorvik:Dorvik MIDI 1", MidiPortNameWithoutNumbers("Dorvik:Dorvik MIDI 1 24:0"));
  EXPECT_EQ("Midi Through:Midi Through Port-0", MidiPortNameWithoutNumbers("Midi Through:Midi Through Port-0 14:0"));
  // JACK names and names without the ending stay as they are.
  EXPECT_EQ("system:midi_capture_1", MidiPortNameWithoutNumbers("system:midi_capture_1"));
  EXPECT_EQ("peer:out 12", MidiPortNameWithoutNumbers("peer:out 12"));
  EXPECT_EQ("a 1:", MidiPortNameWithoutNumbers("a 1:"));
  EXPECT_EQ("x:1:2", MidiPortNameWithoutNumbers("x:1:2"));
  EXPECT_EQ(" 1:2", MidiPortNameWithoutNumbers(" 1:2"));
  EXPECT_EQ("", MidiPortNameWithoutNumbers(""));
}

// An exact name wins; two units of one model (ALSA numbers them apart) are never taken for each other.
TEST(MidiPortName, ExactMatchWinsAndTwoUnitsOfOneNameAreNeverTakenForEachOther)
{
  const std::vector<std::string> names = {"Select MIDI Device", "Dorvik:Dorvik MIDI 1 28:0",
                                          "Dorvik:Dorvik MIDI 1 24:0"};
  EXPECT_EQ(2, MidiFindPortName(names, "Dorvik:Dorvik MIDI 1 24:0"));
  EXPECT_EQ(0, MidiFindPortName(names, "Select MIDI Device"));
  EXPECT_EQ(std::make_pair(-1, -1), std::make_pair(MidiFindPortName(names, "Dorvik:Dorvik MIDI 1 32:0"), MidiFindPortName(names, "Dorvik:Dorvik MIDI 1")));
  MidiPortName lost;
  lost.set("Dorvik:Dorvik MIDI 1 24:0");
  EXPECT_FALSE(lost.mayReopen(true, {"Select MIDI Device", "Dorvik:Dorvik MIDI 1 28:0"}, true));
  EXPECT_TRUE(lost.mayReopen(true, names, true));
}

TEST(MidiPortName, StoredNameIsFoundWhenOnlyTheNumbersMoved)
{
  const std::vector<std::string> names = {"Select MIDI Device", "Midi Through:Midi Through Port-0 14:0",
                                          "Dorvik:Dorvik MIDI 1 32:0"};
  EXPECT_EQ(2, MidiFindPortName(names, "Dorvik:Dorvik MIDI 1 24:0"));
  EXPECT_EQ(2, MidiFindPortName(names, "Dorvik:Dorvik MIDI 1"));
  EXPECT_EQ(-1, MidiFindPortName(names, "Dorvik:Dorvik MIDI 2 24:0"));
  EXPECT_EQ(-1, MidiFindPortName(names, ""));
  EXPECT_EQ(-1, MidiFindPortName(names, "Select MIDI Device", 1));
}

TEST(MidiSystemChoice, SettingForcesJack)
{
  const char* old = getenv("SORVANTA_MIDI_API");
  std::string saved = old ? old : "";
  setenv("SORVANTA_MIDI_API", "jack", 1);
  EXPECT_EQ(kMidiSystemJack, MidiChooseSystem());
  EXPECT_STREQ("jack", MidiSystemName(MidiChooseSystem()));
  // An unknown value falls back to the automatic choice, which always finds one of the two here.
  setenv("SORVANTA_MIDI_API", "coremidi", 1);
  EXPECT_NE(kMidiSystemNone, MidiChooseSystem());
  if (old)
    setenv("SORVANTA_MIDI_API", saved.c_str(), 1);
  else
    unsetenv("SORVANTA_MIDI_API");
}

namespace {

// Records what the dispatch thread hands over; can hold the handler to let the queue fill.
struct Recorder
{
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::vector<unsigned char>> messages;
  std::thread::id thread;
  bool hold = false;
  bool inHandler = false;

  static void handle(double, std::vector<unsigned char>* m, void* self)
  {
    Recorder* r = static_cast<Recorder*>(self);
    std::unique_lock<std::mutex> lock(r->mutex);
    r->inHandler = true;
    r->cv.notify_all();
    r->cv.wait(lock, [r] { return !r->hold; });
    r->messages.push_back(*m);
    r->thread = std::this_thread::get_id();
    r->inHandler = false;
    r->cv.notify_all();
  }
  void setHold(bool on)
  {
    std::lock_guard<std::mutex> lock(mutex);
    hold = on;
    cv.notify_all();
  }
  bool waitInHandler()
  {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(5), [&] { return inHandler; });
  }
  bool waitFor(size_t n)
  {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(5), [&] { return messages.size() >= n; });
  }
};

}  // namespace

TEST(MidiInputDispatch, HandsMessagesOverInOrderOnItsOwnThread)
{
  Recorder rec;
  MidiInputDispatch dispatch(4096);
  dispatch.start(&Recorder::handle, &rec);
  std::vector<unsigned char> big(600);
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = (unsigned char)(i & 0x7F);
  big.front() = 0xF0;
  big.back() = 0xF7;
  for (int i = 0; i < 5; ++i)  // 5 x 600 bytes wrap around the 4096-byte ring
  {
    const unsigned char note[3] = {0x90, (unsigned char)i, 100};
    ASSERT_TRUE(dispatch.push(0.0, note, 3));
    ASSERT_TRUE(rec.waitFor(2 * i + 1));
    ASSERT_TRUE(dispatch.push(0.0, big.data(), big.size()));
    ASSERT_TRUE(rec.waitFor(2 * i + 2));
  }
  dispatch.stop();
  ASSERT_EQ(10u, rec.messages.size());
  for (int i = 0; i < 5; ++i)
  {
    EXPECT_EQ((std::vector<unsigned char>{0x90, (unsigned char)i, 100}), rec.messages[2 * i]);
    EXPECT_EQ(big, rec.messages[2 * i + 1]);
  }
  EXPECT_NE(std::this_thread::get_id(), rec.thread);
  EXPECT_EQ(0u, dispatch.droppedCount());
}

TEST(MidiInputDispatch, FullQueueDropsAndCountsWithoutBlocking)
{
  Recorder rec;
  MidiInputDispatch dispatch(256);
  dispatch.start(&Recorder::handle, &rec);
  rec.setHold(true);
  const unsigned char first[3] = {0xB0, 1, 1};
  ASSERT_TRUE(dispatch.push(0.0, first, 3));
  ASSERT_TRUE(rec.waitInHandler());  // taken and held there; the queue behind it is empty
  int accepted = 0, refused = 0;
  for (int i = 0; i < 40; ++i)
  {
    const unsigned char cc[3] = {0xB0, 7, (unsigned char)i};
    (dispatch.push(0.0, cc, 3) ? accepted : refused)++;
  }
  EXPECT_GT(accepted, 0);
  EXPECT_GT(refused, 0);
  EXPECT_EQ((uint64_t)refused, dispatch.droppedCount());
  // A message larger than the whole queue is refused too.
  std::vector<unsigned char> huge(1000, 0x10);
  EXPECT_FALSE(dispatch.push(0.0, huge.data(), huge.size()));
  rec.setHold(false);
  ASSERT_TRUE(rec.waitFor(1 + accepted));
  // The ones kept arrive in order: values 0 .. accepted-1.
  for (int i = 0; i < accepted; ++i)
    EXPECT_EQ(i, rec.messages[1 + i][2]);
}

// With a refresh test, a full queue drops its oldest controllers instead: all that arrive get in,
// and program changes and an answer too; what is kept stays in order and ends with the newest.
TEST(MidiInputDispatch, FullQueueMakesRoomByDroppingTheOldestRefreshes)
{
  Recorder rec;
  MidiInputDispatch dispatch(256);
  dispatch.start(&Recorder::handle, &rec, [](const unsigned char* b, size_t, void*) { return b[0] == 0xB0; });
  rec.setHold(true);
  std::vector<std::vector<unsigned char>> sent = {{0xC0, 1}, {0xC0, 2}};
  for (int i = 0; i < 40; ++i)
    sent.push_back({0xB0, 7, (unsigned char)i});
  sent.push_back({0xC0, 3});
  sent.push_back(std::vector<unsigned char>(100, 0x10));
  for (const auto& m : sent)
    EXPECT_TRUE(dispatch.push(0.0, m.data(), m.size()) && rec.waitInHandler());
  rec.setHold(false);
  ASSERT_TRUE(rec.waitFor(sent.size() - (size_t)dispatch.droppedCount()));
  auto got = [&](size_t fromEnd) { return rec.messages[rec.messages.size() - 1 - fromEnd]; };
  EXPECT_TRUE(got(0) == sent.back() && got(1) == sent[42] && got(2) == sent[41] && rec.messages[1] == sent[1]);
  for (size_t i = 3; i + 3 < rec.messages.size(); ++i)
    EXPECT_LT(rec.messages[i - 1][2], rec.messages[i][2]);
}

// Without a refresh to drop, an answer, a program change and a bank select take the room of the
// oldest notes: they are never the ones lost.
TEST(MidiInputDispatch, FullQueueNeverDropsAnAnswerAProgramChangeOrABankSelect)
{
  Recorder rec;
  MidiInputDispatch dispatch(256);
  dispatch.start(&Recorder::handle, &rec);
  rec.setHold(true);
  const std::vector<std::vector<unsigned char>> notes(41, {0x90, 60, 1}), keep = {{0xC0, 3}, {0xB0, 0, 0}, {0xB0, 32, 0x41}, std::vector<unsigned char>(100, 0xF0)};
  for (const auto& m : notes)
    dispatch.push(0.0, m.data(), 3), rec.waitInHandler();
  for (const auto& m : keep)
    EXPECT_TRUE(dispatch.push(0.0, m.data(), m.size()));
  rec.setHold(false);
  ASSERT_TRUE(rec.waitFor(41 + keep.size() - (size_t)dispatch.droppedCount()));
  EXPECT_TRUE(std::equal(keep.begin(), keep.end(), rec.messages.end() - 4));
}

TEST(MidiInputDispatch, DiscardDropsWhatIsQueuedAndStopJoins)
{
  Recorder rec;
  MidiInputDispatch dispatch(4096);
  dispatch.start(&Recorder::handle, &rec);
  rec.setHold(true);
  const unsigned char m[2] = {0xC0, 5};
  dispatch.push(0.0, m, 2);
  ASSERT_TRUE(rec.waitInHandler());
  for (int i = 0; i < 10; ++i)
    dispatch.push(0.0, m, 2);
  EXPECT_EQ(10u, dispatch.queuedCount());
  dispatch.discard();
  EXPECT_EQ(0u, dispatch.queuedCount());
  rec.setHold(false);
  dispatch.stop();
  EXPECT_FALSE(dispatch.running());
  EXPECT_EQ(1u, rec.messages.size());
}

TEST(MidiOutputPort, VirtualPortWithoutMidiSystemIsNotOpened)
{
  // No create(): the state an output is left in when no MIDI system could be reached.
  MidiOutputPort out;
  EXPECT_FALSE(out.openVirtual("From Sorvanta"));
  EXPECT_FALSE(out.isOpen());
  const unsigned char note[3] = {0x90, 60, 100};
  EXPECT_FALSE(out.send(note, 3));
}
