// WDL_String: a zero-terminated growable string (growth granularity 128 bytes).
//
// Every edit goes through one primitive, ReplaceTail: keep the text before an
// offset, put the new characters there, and keep a given number of the old
// trailing characters after them. Set, Append, Insert and DeleteSub are that
// primitive with different arguments. The source may lie inside the string's own
// buffer. The text is always terminated; its length is strlen of the buffer, so
// a zero written into the buffer ends the string there.
//
// An edit that cannot allocate leaves the string unchanged and returns false.
// Not thread-safe.
#ifndef WDL_WDLSTRING_H_
#define WDL_WDLSTRING_H_

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "WDL/heapbuf.h"

class WDL_String
{
public:
  explicit WDL_String(int granul = 128) noexcept : m_hb(granul) {}
  explicit WDL_String(const char* initial, int maxlen = 0) : m_hb(128) { Set(initial, maxlen); }
  WDL_String(const WDL_String& other) : m_hb(other.m_hb) {}
  WDL_String& operator=(const WDL_String& other)
  {
    if (this != &other) Set(other.Get());
    return *this;
  }
  WDL_String(WDL_String&&) noexcept = default;
  WDL_String& operator=(WDL_String&&) noexcept = default;

  // Never null: "" while nothing is stored.
  const char* Get() const
  {
    const char* p = static_cast<const char*>(m_hb.Get());
    return p ? p : "";
  }
  int GetLength() const { return static_cast<int>(std::strlen(Get())); }

  // Writable buffer of GetCapacity() bytes (allocating the terminator if needed);
  // null when it cannot be allocated. Keep a terminator inside it.
  char* GetWritable()
  {
    if (m_hb.GetSize() < 1 && !m_hb.ResizeOK(1, false)) return nullptr;
    char* p = static_cast<char*>(m_hb.Get());
    if (m_hb.GetSize() == 1) p[0] = 0;
    return p;
  }
  int GetCapacity() const { return m_hb.GetSize(); }

  // maxlen > 0 takes at most maxlen characters of str; null counts as "".
  bool Set(const char* str, int maxlen = 0) { return ReplaceTail(0, str, SourceLen(str, maxlen), 0); }
  bool Append(const char* str, int maxlen = 0)
  {
    return ReplaceTail(GetLength(), str, SourceLen(str, maxlen), 0);
  }
  // Inserts before character position (clamped to 0 .. length).
  bool Insert(const char* str, int position, int maxlen = 0)
  {
    const int len = GetLength();
    if (position < 0) position = 0;
    if (position > len) position = len;
    return ReplaceTail(position, str, SourceLen(str, maxlen), len - position);
  }
  // Removes up to len characters starting at position.
  bool DeleteSub(int position, int len)
  {
    const int cur = GetLength();
    if (position < 0 || position >= cur || len <= 0) return true;
    if (len > cur - position) len = cur - position;
    return ReplaceTail(position, "", 0, cur - position - len);
  }

  // Makes room for length characters and a terminator. Shorter: the text is cut
  // at length. Longer: the new bytes are zero, so the text itself is unchanged
  // (the room can be written through GetWritable()).
  bool SetLen(int length, bool resizeDown = false)
  {
    if (length < 0) length = 0;
    const int oldsize = m_hb.GetSize();
    char* p = static_cast<char*>(m_hb.ResizeOK(length + 1, resizeDown));
    if (!p) return false;
    if (length + 1 > oldsize) std::memset(p + oldsize, 0, static_cast<size_t>(length + 1 - oldsize));
    p[length] = 0;
    return true;
  }

  // printf-style; maxlen > 0 keeps at most maxlen characters of the result. The
  // arguments may point into this string.
  bool SetFormatted(int maxlen, const char* fmt, ...)
  {
    va_list args;
    va_start(args, fmt);
    const bool ok = SetAppendFormattedArgs(false, maxlen, fmt, args);
    va_end(args);
    return ok;
  }
  bool AppendFormatted(int maxlen, const char* fmt, ...)
  {
    va_list args;
    va_start(args, fmt);
    const bool ok = SetAppendFormattedArgs(true, maxlen, fmt, args);
    va_end(args);
    return ok;
  }
  bool SetAppendFormattedArgs(bool append, int maxlen, const char* fmt, va_list args)
  {
    if (!fmt) fmt = "";
    va_list measure;
    va_copy(measure, args);
    const int need = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (need < 0) return false;
    WDL_HeapBuf tmp(128);
    char* t = static_cast<char*>(tmp.ResizeOK(need + 1, false));
    if (!t) return false;
    std::vsnprintf(t, static_cast<size_t>(need) + 1, fmt, args);
    return append ? Append(t, maxlen) : Set(t, maxlen);
  }

  // The primitive: text becomes old[0 .. offset) + src[0 .. srclen) + the last
  // trailkeep characters of old. offset is clamped to 0 .. length and trailkeep
  // to what follows offset.
  bool ReplaceTail(int offset, const char* src, int srclen, int trailkeep)
  {
    const int len = GetLength();
    if (offset < 0) offset = 0;
    if (offset > len) offset = len;
    if (trailkeep < 0) trailkeep = 0;
    if (trailkeep > len - offset) trailkeep = len - offset;
    if (!src || srclen < 0) srclen = 0;
    const int64_t newlen = static_cast<int64_t>(offset) + srclen + trailkeep;
    if (newlen >= INT_MAX) return false;

    // A source inside our own buffer would move or be overwritten: copy it first.
    WDL_HeapBuf tmp(128);
    const char* cur = static_cast<const char*>(m_hb.Get());
    if (srclen > 0 && cur && src >= cur && src < cur + m_hb.GetSize())
    {
      char* t = static_cast<char*>(tmp.ResizeOK(srclen, false));
      if (!t) return false;
      std::memcpy(t, src, static_cast<size_t>(srclen));
      src = t;
    }

    char* p = static_cast<char*>(m_hb.ResizeOK(static_cast<int>(newlen) + 1, false));
    if (!p) return false;
    if (trailkeep > 0) std::memmove(p + offset + srclen, p + (len - trailkeep), static_cast<size_t>(trailkeep));
    if (srclen > 0) std::memcpy(p + offset, src, static_cast<size_t>(srclen));
    p[newlen] = 0;
    return true;
  }

private:
  static int SourceLen(const char* str, int maxlen)
  {
    if (!str) return 0;
    if (maxlen > 0)
    {
      const void* z = std::memchr(str, 0, static_cast<size_t>(maxlen));
      return z ? static_cast<int>(static_cast<const char*>(z) - str) : maxlen;
    }
    const size_t n = std::strlen(str);
    return n >= static_cast<size_t>(INT_MAX) ? INT_MAX - 1 : static_cast<int>(n);
  }

  WDL_HeapBuf m_hb;
};

#endif  // WDL_WDLSTRING_H_
