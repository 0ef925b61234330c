// ByteChunk, the buffer in which state, presets and chunks travel, and IPreset,
// one stored preset.
#ifndef IPLUG_CONTAINERS_H_
#define IPLUG_CONTAINERS_H_

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "WDL/heapbuf.h"
#include "WDL/wdlstring.h"

// Copies src (null counts as "") into dst of dstSize bytes, cut to fit and always
// terminated. Returns the number of characters copied. Every copy into a fixed
// field or a host buffer goes through here.
int StrCopyBounded(char* dst, const char* src, int dstSize);

// A growable byte buffer (granularity 4096 bytes). Values are stored in native
// byte order (little-endian on every build) with no padding; strings as an int32
// length followed by the characters, without a terminator.
//
// Writers append and return the new size, or 0 when nothing could be stored (the
// chunk is then unchanged). Readers take a start position and return the
// position after what they read, or -1 when it is not there; a failed read
// leaves its output unchanged. No reader ever touches memory outside the chunk.
class ByteChunk
{
public:
  ByteChunk() : mBytes(4096) {}

  template <class T>
  int PutValue(const T* pVal)
  {
    static_assert(std::is_trivially_copyable<T>::value, "PutValue stores plain values only");
    return PutBytes(pVal, static_cast<int>(sizeof(T)));
  }
  template <class T>
  int GetValue(T* pVal, int startPos) const
  {
    static_assert(std::is_trivially_copyable<T>::value, "GetValue reads plain values only");
    return GetBytes(pVal, static_cast<int>(sizeof(T)), startPos);
  }

  int PutBytes(const void* pSrc, int nBytes);
  int GetBytes(void* pDst, int nBytes, int startPos) const;

  // strlen(str) as int32, then the characters. Null counts as "".
  int PutString(const char* str);
  // Reads the int32 length L at startPos. When the L characters lie inside the
  // chunk, sets str to them ("" for L = 0; an embedded zero ends the text early)
  // and returns startPos + 4 + L. When they do not, returns startPos + 4 + L all
  // the same (a position past the end, so the next read fails) and leaves str.
  // A negative L, or a position beyond INT_MAX, is refused with -1.
  int GetString(WDL_String* pStr, int startPos) const;

  // One byte, 1 or 0; any non-zero byte reads as true.
  int PutFlag(bool b);
  int GetFlag(bool* pB, int startPos) const;

  // Appends every byte of other (which may be this chunk).
  int AppendChunk(const ByteChunk* pOther);
  int PutChunk(const ByteChunk* pOther) { return AppendChunk(pOther); }

  void Clear() { mBytes.Resize(0, false); }
  int Size() const { return mBytes.GetSize(); }
  // Keeps the existing bytes and zero-fills new ones; returns the size afterwards
  // (the old size when the chunk could not grow or n is negative).
  int Resize(int n);
  // Null while empty.
  unsigned char* GetData() { return mBytes.Get(); }
  const unsigned char* GetData() const { return mBytes.Get(); }

  bool IsEqual(const ByteChunk& other) const
  {
    return Size() == other.Size() && (Size() == 0 || std::memcmp(GetData(), other.GetData(), static_cast<size_t>(Size())) == 0);
  }

private:
  WDL_TypedBuf<unsigned char> mBytes;
};

static const int kMaxPresetNameLen = 256;

// One preset: whether it holds a state, its name and that state (as written by
// SerializeState). A preset that is not initialised has no meaningful chunk.
struct IPreset
{
  bool mInitialized = false;
  char mName[kMaxPresetNameLen];
  ByteChunk mChunk;

  IPreset() { StrCopyBounded(mName, "empty", kMaxPresetNameLen); }
  // Cut to 255 characters.
  void SetName(const char* name) { StrCopyBounded(mName, name, kMaxPresetNameLen); }
};

#endif  // IPLUG_CONTAINERS_H_
