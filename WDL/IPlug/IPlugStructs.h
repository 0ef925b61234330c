// Small value records of the framework core: the plug-in API code, MIDI and
// SysEx messages, the transport record, a scoped "C" numeric locale and a scoped
// denormal mode for audio processing.
#ifndef IPLUG_IPLUGSTRUCTS_H_
#define IPLUG_IPLUGSTRUCTS_H_

#include <locale.h>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

// The plug-in format an instance runs under.
enum EAPI : int
{
  kAPIVST2 = 0,
  kAPIVST3 = 1,
  kAPIAU = 2,
  kAPIRTAS = 3,
  kAPIAAX = 4,
  kAPISA = 5,  // standalone
  kAPILV2 = 6
};

// One short MIDI message at a sample offset within the current block.
//
// Builders clear the record first. The channel is taken modulo 16 and data bytes
// are clamped to 0..127, so a builder always yields a well-formed message.
// Decoders return -1 (or -1.0 / 0.0 as stated) for a message of another kind.
struct IMidiMsg
{
  enum EStatusMsg : int
  {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };

  // A controller number, 0..127; the named ones are only conveniences.
  enum EControlChangeMsg : int
  {
    kModWheel = 1,
    kBreathController = 2,
    kFootController = 4,
    kPortamentoTime = 5,
    kChannelVolume = 7,
    kBalance = 8,
    kPan = 10,
    kExpressionController = 11,
    kSustainOnOff = 64,
    kAllNotesOff = 123
  };

  int mOffset = 0;
  unsigned char mStatus = 0;
  unsigned char mData1 = 0;
  unsigned char mData2 = 0;

  IMidiMsg() = default;
  IMidiMsg(int offset, unsigned char status, unsigned char data1, unsigned char data2)
    : mOffset(offset), mStatus(status), mData1(data1), mData2(data2)
  {
  }

  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0);
  void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0);
  // value -1.0 .. 1.0 (clamped); 0.0 is the centre 8192.
  void MakePitchWheelMsg(double value, int channel = 0);
  // value 0.0 .. 1.0 (clamped), sent as value * 127 truncated.
  void MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel = 0);
  void Clear();

  int Channel() const;
  EStatusMsg StatusMsg() const;
  int NoteNumber() const;
  int Velocity() const;
  int PolyAfterTouch() const;
  int ChannelAfterTouch() const;
  int Program() const;
  // -1.0 .. just below +1.0; 0.0 for another kind.
  double PitchWheel() const;
  EControlChangeMsg ControlChangeIdx() const;
  // data2 / 127 for a control change on controller idx, else -1.0.
  double ControlChange(EControlChangeMsg idx) const;
  void LogMsg() const {}

  // "none", "noteoff", "noteon", ..., "unknown".
  static const char* StatusMsgStr(EStatusMsg kind);
};

// One system-exclusive message. The data is borrowed, valid only during the call
// that delivers the record.
struct ISysEx
{
  int mOffset = 0;
  int mSize = 0;
  const unsigned char* mData = nullptr;

  ISysEx() = default;
  ISysEx(int offset, const unsigned char* data, int size) : mOffset(offset), mSize(size), mData(data) {}

  void Clear();
  void LogMsg() const {}
};

// Renders bytes as "F0 7E 7F F7" into str (maxlen bytes): as many whole bytes as
// fit in 3 characters each. Returns str; empty text for no data.
char* SysExStr(char* str, int maxlen, const unsigned char* data, int size);

// The transport as the host reports it. The format adapter overwrites only the
// fields the host supplies; the defaults stand for the others.
struct ITimeInfo
{
  double mTempo = 120.0;          // beats per minute
  double mSamplePos = 0.0;        // samples since the transport start
  double mPPQPos = 0.0;           // quarter notes
  double mLastBar = 0.0;          // start of the current bar, quarter notes
  double mCycleStart = 0.0;       // quarter notes
  double mCycleEnd = 0.0;         // quarter notes
  int mNumerator = 4;             // time signature
  int mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};

// Makes this thread format and parse numbers in the "C" locale for its scope, so
// a host that sets LC_NUMERIC cannot turn "0.5" into "0,5". Per thread; nests.
class IScopedCLocale
{
public:
  IScopedCLocale();
  ~IScopedCLocale();
  IScopedCLocale(const IScopedCLocale&) = delete;
  IScopedCLocale& operator=(const IScopedCLocale&) = delete;

private:
  locale_t mPrevious;
};

// Flush-to-zero and denormals-are-zero for this thread while in scope, so
// recursive filters decaying into silence never run on subnormal numbers (a CPU
// spike the moment the music stops). The thread's previous floating-point
// control and status word is restored exactly, flags included: a host's
// settings survive every call into the plug-in. Nests. No-op without SSE.
class IScopedDenormalGuard
{
public:
#if defined(__SSE__)
  static constexpr unsigned int kFlushToZero = 0x8000;      // MXCSR FTZ
  static constexpr unsigned int kDenormalsAreZero = 0x0040;  // MXCSR DAZ

  IScopedDenormalGuard() : mPrevious(_mm_getcsr())
  {
    const unsigned int wanted = mPrevious | kFlushToZero | kDenormalsAreZero;
    if (wanted != mPrevious) _mm_setcsr(wanted);
  }
  ~IScopedDenormalGuard()
  {
    if (_mm_getcsr() != mPrevious) _mm_setcsr(mPrevious);
  }
#else
  IScopedDenormalGuard() {}
#endif
  IScopedDenormalGuard(const IScopedDenormalGuard&) = delete;
  IScopedDenormalGuard& operator=(const IScopedDenormalGuard&) = delete;

#if defined(__SSE__)
private:
  unsigned int mPrevious;
#endif
};

#endif  // IPLUG_IPLUGSTRUCTS_H_
