#include "WDL/IPlug/IPlugStructs.h"

#include <cmath>
#include <cstdio>

namespace {

unsigned char DataByte(int v)
{
  return static_cast<unsigned char>(v < 0 ? 0 : (v > 127 ? 127 : v));
}

unsigned char StatusByte(int kind, int channel)
{
  return static_cast<unsigned char>((kind << 4) | (channel & 0x0F));
}

// The process-wide "C" locale object (immutable; created once).
locale_t CLocale()
{
  static const locale_t sC = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return sC;
}

}  // namespace

void IMidiMsg::MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel)
{
  Clear();
  mStatus = StatusByte(kNoteOn, channel);
  mData1 = DataByte(noteNumber);
  mData2 = DataByte(velocity);
  mOffset = offset;
}

void IMidiMsg::MakeNoteOffMsg(int noteNumber, int offset, int channel)
{
  Clear();
  mStatus = StatusByte(kNoteOff, channel);
  mData1 = DataByte(noteNumber);
  mOffset = offset;
}

// 14-bit value, centre 8192: i = value * 8192 truncated, v = i + 8192 in 0..16383;
// data1 holds the low 7 bits, data2 the high 7.
void IMidiMsg::MakePitchWheelMsg(double value, int channel)
{
  Clear();
  mStatus = StatusByte(kPitchWheel, channel);
  double x = value * 8192.0;
  if (std::isnan(x)) x = 0.0;
  if (x < -8192.0) x = -8192.0;
  if (x > 8191.0) x = 8191.0;
  const int v = static_cast<int>(x) + 8192;
  mData1 = static_cast<unsigned char>(v & 0x7F);
  mData2 = static_cast<unsigned char>(v >> 7);
}

void IMidiMsg::MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel)
{
  Clear();
  mStatus = StatusByte(kControlChange, channel);
  mData1 = DataByte(idx);
  double x = value * 127.0;
  if (!(x > 0.0)) x = 0.0;  // also NaN
  if (x > 127.0) x = 127.0;
  mData2 = static_cast<unsigned char>(static_cast<int>(x));
}

void IMidiMsg::Clear()
{
  mOffset = 0;
  mStatus = mData1 = mData2 = 0;
}

int IMidiMsg::Channel() const
{
  return mStatus & 0x0F;
}

IMidiMsg::EStatusMsg IMidiMsg::StatusMsg() const
{
  const int kind = mStatus >> 4;
  return ((mStatus & 0x80) && kind != 15) ? static_cast<EStatusMsg>(kind) : kNone;
}

int IMidiMsg::NoteNumber() const
{
  const EStatusMsg k = StatusMsg();
  return (k == kNoteOn || k == kNoteOff || k == kPolyAftertouch) ? mData1 : -1;
}

int IMidiMsg::Velocity() const
{
  const EStatusMsg k = StatusMsg();
  return (k == kNoteOn || k == kNoteOff) ? mData2 : -1;
}

int IMidiMsg::PolyAfterTouch() const
{
  return (mStatus >> 4) == kPolyAftertouch ? mData2 : -1;
}

int IMidiMsg::ChannelAfterTouch() const
{
  return (mStatus >> 4) == kChannelAftertouch ? mData1 : -1;
}

int IMidiMsg::Program() const
{
  return (mStatus >> 4) == kProgramChange ? mData1 : -1;
}

double IMidiMsg::PitchWheel() const
{
  if ((mStatus >> 4) != kPitchWheel) return 0.0;
  return ((mData2 * 128) + mData1 - 8192) * 0.0001220703125;
}

IMidiMsg::EControlChangeMsg IMidiMsg::ControlChangeIdx() const
{
  return static_cast<EControlChangeMsg>(mData1);
}

double IMidiMsg::ControlChange(EControlChangeMsg idx) const
{
  if ((mStatus >> 4) == kControlChange && mData1 == idx) return mData2 / 127.0;
  return -1.0;
}

const char* IMidiMsg::StatusMsgStr(EStatusMsg kind)
{
  switch (kind)
  {
    case kNone: return "none";
    case kNoteOff: return "noteoff";
    case kNoteOn: return "noteon";
    case kPolyAftertouch: return "aftertouch";
    case kControlChange: return "controlchange";
    case kProgramChange: return "programchange";
    case kChannelAftertouch: return "channelaftertouch";
    case kPitchWheel: return "pitchwheel";
    default: return "unknown";
  }
}

void ISysEx::Clear()
{
  mOffset = mSize = 0;
  mData = nullptr;
}

char* SysExStr(char* str, int maxlen, const unsigned char* data, int size)
{
  if (!str || maxlen <= 0) return str;
  str[0] = 0;
  if (!data || size <= 0) return str;
  const int n = maxlen / 3 < size ? maxlen / 3 : size;
  if (n <= 0) return str;
  static const char kHex[] = "0123456789ABCDEF";
  char* p = str;
  for (int i = 0; i < n; ++i)
  {
    *p++ = kHex[data[i] >> 4];
    *p++ = kHex[data[i] & 15];
    *p++ = ' ';
  }
  p[-1] = 0;
  return str;
}

IScopedCLocale::IScopedCLocale() : mPrevious(static_cast<locale_t>(0))
{
  const locale_t c = CLocale();
  if (c) mPrevious = uselocale(c);
}

IScopedCLocale::~IScopedCLocale()
{
  if (mPrevious) uselocale(mPrevious);
}
