// Diagnostics of the framework: trace points, timestamps, an interval timer and
// a few small text helpers.
//
// Trace points are silent: Trace() evaluates nothing beyond its arguments and
// writes nothing, so the framework never logs. They mark the host-facing entry
// points and give a logger one place to hook in.
#ifndef IPLUG_LOG_H_
#define IPLUG_LOG_H_

#include <ctime>

#include "WDL/wdlstring.h"

// Function name and line of a trace point.
#define TRACELOC __func__, __LINE__

inline void Trace(const char* /*funcName*/, int /*line*/, const char* /*format*/, ...) {}

// Local time as "YYYYMMDD HH:MM +HHMM" (20 characters; the sign and offset are
// those of the local zone against UTC). The text lives in a per-thread buffer
// that the next call on the same thread overwrites.
const char* CurrentTime();

// Build stamp from compiler-style texts: date "Mmm dd yyyy" (day padded with a
// space) and time "hh:mm:ss": "[Dec 6 18:30]" for a one-digit day, "[Dec16 18:30]"
// for a two-digit one. Null texts count as "".
void CompileTimestamp(const char* date, const char* time, WDL_String* str);

// text + " " + CompileTimestamp(date, time), in a per-thread string.
const char* AppendTimestamp(const char* date, const char* time, const char* text);

// Measures processor time (clock()) since its last restart.
class Timer
{
public:
  Timer();
  // True (and restarts) when more than seconds have passed since the last restart.
  bool Every(double seconds);

private:
  clock_t mT;
};

// Tab, line feed, carriage return and space only.
bool IsWhitespace(char c);

// Copies src lower-cased into dst (dstSize bytes), cut to fit and terminated.
void ToLower(char* dst, const char* src, int dstSize);

// Names of opcodes and selectors for trace output; empty in this framework.
const char* VSTOpcodeStr(int opCode);
const char* AUSelectStr(int select);
const char* AUPropertyStr(int propID);
const char* AUScopeStr(int scope);

#endif  // IPLUG_LOG_H_
