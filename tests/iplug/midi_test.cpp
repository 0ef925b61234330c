#include "WDL/IPlug/IPlugStructs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

TEST(MidiMsg, NoteBuildersAndDecoders)
{
  IMidiMsg m;
  m.MakeNoteOnMsg(60, 100, 12, 3);
  EXPECT_EQ(m.mStatus, 0x93);
  EXPECT_EQ(m.mOffset, 12);
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNoteOn);
  EXPECT_EQ(m.Channel(), 3);
  EXPECT_EQ(m.NoteNumber(), 60);
  EXPECT_EQ(m.Velocity(), 100);
  EXPECT_EQ(m.Program(), -1);
  m.MakeNoteOffMsg(61, 5);
  EXPECT_EQ(m.mStatus, 0x80);
  EXPECT_EQ(m.mData2, 0);
  EXPECT_EQ(m.Velocity(), 0);
}

TEST(MidiMsg, BuildersYieldWellFormedMessages)
{
  IMidiMsg m;
  m.MakeNoteOnMsg(200, -5, 0, 18);  // channel taken modulo 16, data bytes clamped
  EXPECT_EQ(m.mStatus, 0x92);
  EXPECT_EQ(m.mData1, 127);
  EXPECT_EQ(m.mData2, 0);
  m.MakeNoteOnMsg(60, 100, 0, 32);  // would have turned the status into a control change
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNoteOn);
  m.MakeControlChangeMsg(IMidiMsg::kChannelVolume, 1.5, 0);
  EXPECT_EQ(m.mData2, 127);
  m.MakeControlChangeMsg(IMidiMsg::kChannelVolume, -1.0, 0);
  EXPECT_EQ(m.mData2, 0);
  m.MakeControlChangeMsg(IMidiMsg::kChannelVolume, NAN, 0);
  EXPECT_EQ(m.mData2, 0);
  m.MakePitchWheelMsg(NAN, 0);
  EXPECT_EQ(m.PitchWheel(), 0.0);
}

TEST(MidiMsg, PitchWheel)
{
  const struct
  {
    double value;
    int data1, data2;
    double decoded;
  } cases[] = {{0.0, 0, 64, 0.0},         {1.0, 127, 127, 0.9998779296875}, {-1.0, 0, 0, -1.0},
               {-2.0, 0, 0, -1.0},        {0.5, 0, 96, 0.5},                {1e300, 127, 127, 0.9998779296875},
               {-0.00001, 0, 64, 0.0}};
  for (const auto& c : cases)
  {
    IMidiMsg m;
    m.MakePitchWheelMsg(c.value, 1);
    EXPECT_EQ(m.mStatus, 0xE1);
    EXPECT_EQ(m.mData1, c.data1) << c.value;
    EXPECT_EQ(m.mData2, c.data2) << c.value;
    EXPECT_EQ(m.PitchWheel(), c.decoded) << c.value;
    EXPECT_EQ(m.mOffset, 0);
  }
}

TEST(MidiMsg, KindSpecificDecoders)
{
  IMidiMsg at(0, 0xA2, 64, 90);
  EXPECT_EQ(at.NoteNumber(), 64);
  EXPECT_EQ(at.Velocity(), -1);
  EXPECT_EQ(at.PolyAfterTouch(), 90);

  IMidiMsg cc;
  cc.MakeControlChangeMsg(IMidiMsg::kChannelVolume, 1.0);
  EXPECT_EQ(cc.ControlChange(IMidiMsg::kChannelVolume), 1.0);
  EXPECT_EQ(cc.ControlChange(IMidiMsg::kBalance), -1.0);
  EXPECT_EQ(cc.ControlChangeIdx(), 7);

  IMidiMsg pc(0, 0xC0, 5, 0);
  EXPECT_EQ(pc.Program(), 5);
  IMidiMsg ch(0, 0xD0, 33, 0);
  EXPECT_EQ(ch.ChannelAfterTouch(), 33);

  // A system message: kind none, and every kind-specific decoder says "not mine".
  IMidiMsg clock(0, 0xF8, 1, 2);
  EXPECT_EQ(clock.StatusMsg(), IMidiMsg::kNone);
  EXPECT_EQ(clock.NoteNumber(), -1);
  EXPECT_EQ(clock.Velocity(), -1);
  EXPECT_EQ(clock.PolyAfterTouch(), -1);
  EXPECT_EQ(clock.ChannelAfterTouch(), -1);
  EXPECT_EQ(clock.Program(), -1);
  EXPECT_EQ(clock.PitchWheel(), 0.0);
  EXPECT_EQ(clock.ControlChange(IMidiMsg::kModWheel), -1.0);
  IMidiMsg running(0, 0x40, 1, 2);  // no high bit
  EXPECT_EQ(running.StatusMsg(), IMidiMsg::kNone);

  running.Clear();
  EXPECT_EQ(running.mStatus | running.mData1 | running.mData2 | running.mOffset, 0);
}

TEST(MidiMsg, StatusNames)
{
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(IMidiMsg::kNone), "none");
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(3)), "unknown");
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(IMidiMsg::kPolyAftertouch), "aftertouch");
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(15)), "unknown");
}

TEST(SysEx, TextRendering)
{
  const unsigned char data[] = {0xF0, 0x7E, 0x7F, 0xF7};
  char str[64];
  EXPECT_STREQ(SysExStr(str, 64, data, 4), "F0 7E 7F F7");
  EXPECT_STREQ(SysExStr(str, 7, data, 4), "F0 7E");
  EXPECT_STREQ(SysExStr(str, 2, data, 4), "");
  EXPECT_STREQ(SysExStr(str, 64, data, -1), "");
  EXPECT_STREQ(SysExStr(str, 64, nullptr, 4), "");
  char untouched[4] = "abc";
  EXPECT_STREQ(SysExStr(untouched, 0, data, 4), "abc");

  ISysEx s(3, data, 4);
  EXPECT_EQ(s.mSize, 4);
  s.Clear();
  EXPECT_EQ(s.mData, nullptr);
  EXPECT_EQ(s.mSize, 0);
  EXPECT_EQ(s.mOffset, 0);
}
