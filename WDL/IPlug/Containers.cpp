#include "WDL/IPlug/Containers.h"

#include <climits>

int StrCopyBounded(char* dst, const char* src, int dstSize)
{
  if (!dst || dstSize <= 0) return 0;
  int n = 0;
  if (src)
    while (n < dstSize - 1 && src[n]) ++n;
  if (n > 0) std::memmove(dst, src, static_cast<size_t>(n));
  dst[n] = 0;
  return n;
}

int ByteChunk::PutBytes(const void* pSrc, int nBytes)
{
  if (nBytes < 0 || (!pSrc && nBytes > 0)) return 0;
  if (nBytes == 0) return Size();
  if (!mBytes.GetHeapBuf()->Add(pSrc, nBytes)) return 0;
  return Size();
}

int ByteChunk::GetBytes(void* pDst, int nBytes, int startPos) const
{
  if (!pDst || nBytes < 0 || startPos < 0) return -1;
  const int64_t end = static_cast<int64_t>(startPos) + nBytes;
  if (end > Size()) return -1;
  if (nBytes > 0) std::memcpy(pDst, GetData() + startPos, static_cast<size_t>(nBytes));
  return static_cast<int>(end);
}

int ByteChunk::PutString(const char* str)
{
  if (!str) str = "";
  const size_t len = std::strlen(str);
  if (len > static_cast<size_t>(INT_MAX) - 4) return 0;
  const int32_t n = static_cast<int32_t>(len);
  const int oldSize = Size();
  const int64_t newSize = static_cast<int64_t>(oldSize) + 4 + n;
  if (newSize > INT_MAX) return 0;
  // One growth for length and text, so a failure stores neither.
  WDL_String copy;
  const bool inside = oldSize > 0 && str >= reinterpret_cast<const char*>(GetData()) &&
                      str < reinterpret_cast<const char*>(GetData()) + oldSize;
  if (inside && !copy.Set(str)) return 0;
  const char* src = inside ? copy.Get() : str;
  unsigned char* p = mBytes.ResizeOK(static_cast<int>(newSize), false);
  if (!p) return 0;
  std::memcpy(p + oldSize, &n, 4);
  if (n > 0) std::memcpy(p + oldSize + 4, src, static_cast<size_t>(n));
  return Size();
}

int ByteChunk::GetString(WDL_String* pStr, int startPos) const
{
  int32_t len = 0;
  const int pos = GetValue(&len, startPos);
  if (pos < 0 || len < 0) return -1;
  const int64_t end = static_cast<int64_t>(pos) + len;
  if (end > INT_MAX) return -1;
  if (end <= Size() && pStr)
  {
    const bool ok = len == 0 ? pStr->Set("") : pStr->Set(reinterpret_cast<const char*>(GetData()) + pos, len);
    if (!ok) return -1;
  }
  return static_cast<int>(end);
}

int ByteChunk::PutFlag(bool b)
{
  const unsigned char c = b ? 1 : 0;
  return PutValue(&c);
}

int ByteChunk::GetFlag(bool* pB, int startPos) const
{
  unsigned char c = 0;
  const int pos = GetValue(&c, startPos);
  if (pos >= 0 && pB) *pB = c != 0;
  return pos;
}

int ByteChunk::AppendChunk(const ByteChunk* pOther)
{
  if (!pOther) return 0;
  const int n = pOther->Size();
  if (n == 0) return Size();
  return PutBytes(pOther->GetData(), n);
}

int ByteChunk::Resize(int n)
{
  const int oldSize = Size();
  if (n < 0) return oldSize;
  unsigned char* p = mBytes.ResizeOK(n, false);
  if (!p) return n == 0 ? 0 : oldSize;
  if (n > oldSize) std::memset(p + oldSize, 0, static_cast<size_t>(n - oldSize));
  return n;
}
