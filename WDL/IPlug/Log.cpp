#include "WDL/IPlug/Log.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* CurrentTime()
{
  thread_local char sTimeStr[64];
  const time_t t = time(nullptr);
  struct tm local;
  struct tm utc;
  if (!localtime_r(&t, &local) || !gmtime_r(&t, &utc))
  {
    sTimeStr[0] = 0;
    return sTimeStr;
  }
  char buf[32];
  const size_t n = strftime(buf, sizeof(buf), "%Y%m%d %H:%M ", &local);
  buf[n] = 0;

  int offset = (local.tm_min - utc.tm_min) + (local.tm_hour - utc.tm_hour) * 60;
  const int d = local.tm_yday - utc.tm_yday;
  if (d < -1) offset += 1440;       // local is already in the next year
  else if (d == -1 || d == 1) offset += d * 1440;
  else if (d >= 2) offset -= 1440;  // local is still in the previous year

  const int a = std::abs(offset);
  snprintf(sTimeStr, sizeof(sTimeStr), "%s%c%02d%02d", buf, offset < 0 ? '-' : '+', (a / 60) % 100, a % 60);
  return sTimeStr;
}

void CompileTimestamp(const char* date, const char* time, WDL_String* str)
{
  if (!str) return;
  str->Set("[");
  str->Append(date ? date : "");
  str->SetLen(7);
  str->DeleteSub(4, 1);
  str->Append(" ");
  str->Append(time ? time : "");
  str->SetLen(12);
  str->Append("]");
}

const char* AppendTimestamp(const char* date, const char* time, const char* text)
{
  thread_local WDL_String sStr;
  WDL_String stamp;
  CompileTimestamp(date, time, &stamp);
  sStr.Set(text ? text : "");
  sStr.Append(" ");
  sStr.Append(stamp.Get());
  return sStr.Get();
}

Timer::Timer() : mT(clock()) {}

bool Timer::Every(double seconds)
{
  const clock_t now = clock();
  if (static_cast<double>(now - mT) > seconds * static_cast<double>(CLOCKS_PER_SEC))
  {
    mT = now;
    return true;
  }
  return false;
}

bool IsWhitespace(char c)
{
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

void ToLower(char* dst, const char* src, int dstSize)
{
  if (!dst || dstSize <= 0) return;
  int i = 0;
  if (src)
  {
    for (; i < dstSize - 1 && src[i]; ++i)
      dst[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(src[i])));
  }
  dst[i] = 0;
}

const char* VSTOpcodeStr(int)
{
  return "";
}
const char* AUSelectStr(int)
{
  return "";
}
const char* AUPropertyStr(int)
{
  return "";
}
const char* AUScopeStr(int)
{
  return "";
}
