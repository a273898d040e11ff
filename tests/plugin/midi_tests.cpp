#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "IPlugStructs.h"

TEST(IMidiMsg, MakersFillStatusAndData) {
  IMidiMsg m;
  m.MakeNoteOnMsg(60, 100, 5, 3);
  EXPECT_EQ(m.mStatus, 0x93);
  EXPECT_EQ(m.NoteNumber(), 60);
  EXPECT_EQ(m.Velocity(), 100);
  EXPECT_EQ(m.mOffset, 5);
  m.MakeNoteOffMsg(61, 7, 15, 20);
  EXPECT_EQ(m.mStatus, 0x8F);
  EXPECT_EQ(m.Velocity(), 20);
  m.MakeControlChangeMsg(IMidiMsg::kChannelVolume, 64 / 127.0, 1);
  EXPECT_EQ(m.mData2, 64);
  EXPECT_EQ(m.mOffset, 0);
  for (int k = 0; k <= 127; ++k) {
    m.MakeControlChangeMsg(IMidiMsg::kPan, k / 127.0, 0);
    ASSERT_EQ(m.mData2, k);
  }
  EXPECT_EQ(m.ControlChange(IMidiMsg::kChannelVolume), -1.0);  // a CC of controller 10
  EXPECT_EQ(m.NoteNumber(), -1);
  m.MakeProgramChangeMsg(5 / 127.0, 2);
  EXPECT_EQ(m.Program(), 5);
  EXPECT_EQ(m.mData2, 0);
  m.MakeControlChangeMsg(IMidiMsg::kPan, 5.0, 0);  // held, not wrapped
  EXPECT_EQ(m.mData2, 127);
  m.Clear();
  EXPECT_EQ(m.mStatus, 0);
}

TEST(IMidiMsg, PitchWheelIsHeldToFourteenBits) {
  IMidiMsg m;
  m.MakePitchWheelMsg(1.0, 0);
  EXPECT_EQ(m.mData1, 127);
  EXPECT_EQ(m.mData2, 127);
  m.MakePitchWheelMsg(-1.0, 0);
  EXPECT_EQ(m.mData1, 0);
  EXPECT_EQ(m.mData2, 0);
  m.MakePitchWheelMsg(0.0, 0);
  EXPECT_EQ(m.mData1, 0);
  EXPECT_EQ(m.mData2, 64);
  EXPECT_EQ(m.PitchWheel(), 0.0);
  m.MakePitchWheelMsg(-1.0, 0);
  EXPECT_EQ(m.PitchWheel(), -1.0);
}

TEST(IMidiMsg, StatusOfSystemAndDataBytesIsNone) {
  EXPECT_EQ(IMidiMsg(0, 0xF0).StatusMsg(), 0);
  EXPECT_EQ(IMidiMsg(0, 0xF8).StatusMsg(), 0);
  EXPECT_EQ(IMidiMsg(0, 0x45).StatusMsg(), 0);
  EXPECT_EQ(IMidiMsg(0, 0xB3).StatusMsg(), IMidiMsg::kControlChange);
  EXPECT_EQ(IMidiMsg(0, 0xF5).Channel(), 5);
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(IMidiMsg::kNoteOn), "noteon ");
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(3)), "unknown");
  EXPECT_EQ(sizeof(IMidiMsg), 8u);
}

TEST(ISysEx, HexTextFitsTheBuffer) {
  const uint8_t data[] = {0xF0, 0x3E, 0x10, 0xF7};
  char buf[16];
  SysExStr(buf, sizeof(buf), data, 4);
  EXPECT_STREQ(buf, "F0 3E 10 F7");
  char small[7];
  SysExStr(small, sizeof(small), data, 4);  // 7 / 3 = 2 bytes fit
  EXPECT_STREQ(small, "F0 3E");
  SysExStr(buf, sizeof(buf), nullptr, 4);
  EXPECT_STREQ(buf, "");
  SysExStr(buf, 2, data, 4);
  EXPECT_STREQ(buf, "");
}

namespace {

std::vector<int> drainOffsets(IMidiQueue& q) {
  std::vector<int> out;
  IMidiMsg m;
  while (q.PopDue(1 << 30, &m)) out.push_back(m.mOffset * 100 + m.mData1);
  return out;
}

}  // namespace

TEST(IMidiQueue, SortedByOffsetAndStableForEqualOffsets) {
  IMidiQueue q;
  int offsets[] = {5, 2, 5, 0};
  for (int i = 0; i < 4; ++i) {
    IMidiMsg m(offsets[i], 0x90, static_cast<uint8_t>(i));
    q.Add(&m);
  }
  EXPECT_EQ(q.ToDo(), 4);
  // offset * 100 + arrival number: 0, 2, 5 (first), 5 (second)
  EXPECT_EQ(drainOffsets(q), (std::vector<int>{3, 201, 500, 502}));
  EXPECT_TRUE(q.Empty());
}

TEST(IMidiQueue, GrowsByStepAndKeepsEveryMessage) {
  IMidiQueue q;
  EXPECT_EQ(q.GetSize(), 1024);
  for (int i = 0; i < 1025; ++i) {
    IMidiMsg m(i);
    ASSERT_TRUE(q.Add(&m));
  }
  EXPECT_EQ(q.GetSize(), 2048);
  EXPECT_EQ(q.ToDo(), 1025);
  IMidiMsg m;
  for (int i = 0; i < 1025; ++i) {
    ASSERT_TRUE(q.PopDue(i, &m));
    ASSERT_EQ(m.mOffset, i);
  }
}

TEST(IMidiQueue, FullQueueWithRemovedFrontCompactsInsteadOfGrowing) {
  IMidiQueue q(4);
  for (int i = 0; i < 4; ++i) {
    IMidiMsg m(i);
    q.Add(&m);
  }
  q.Remove();
  q.Remove();
  IMidiMsg m(9);
  q.Add(&m);
  EXPECT_EQ(q.GetSize(), 4);
  EXPECT_EQ(q.ToDo(), 3);
}

TEST(IMidiQueue, ZeroGrowthStepDropsMessages) {
  IMidiQueue q(0);
  IMidiMsg m(1);
  EXPECT_FALSE(q.Add(&m));
  EXPECT_TRUE(q.Empty());
}

TEST(IMidiQueue, FlushCarriesLateMessagesIntoNextBlock) {
  IMidiQueue q;
  IMidiMsg early(10), late(70);
  q.Add(&early);
  q.Add(&late);
  IMidiMsg m;
  for (int s = 0; s < 64; ++s)
    while (q.PopDue(s, &m)) EXPECT_EQ(m.mOffset, 10);
  q.Flush(64);
  ASSERT_TRUE(q.Peek(&m));
  EXPECT_EQ(m.mOffset, 6);
  EXPECT_FALSE(q.PopDue(5, &m));
  EXPECT_TRUE(q.PopDue(6, &m));
}

TEST(IMidiQueue, ResizeFollowsBlockSizeAndKeepsMessages) {
  IMidiQueue q;
  for (int i = 0; i < 3; ++i) {
    IMidiMsg m(i);
    q.Add(&m);
  }
  q.Remove();
  EXPECT_TRUE(q.Resize(100));
  EXPECT_EQ(q.GetGrowthStep(), 512);
  EXPECT_EQ(q.GetSize(), 512);
  EXPECT_EQ(q.ToDo(), 2);
  EXPECT_TRUE(q.Resize(1025));
  EXPECT_EQ(q.GetSize(), 1536);
  EXPECT_TRUE(q.Resize(0));  // a block size of 0 must not make the queue drop everything
  IMidiMsg m(4);
  EXPECT_TRUE(q.Add(&m));
  IMidiMsg first;
  ASSERT_TRUE(q.PopDue(100, &first));
  EXPECT_EQ(first.mOffset, 1);
}
