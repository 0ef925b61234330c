// UTF-8 decoding for the text calls.
#include "swell_utf8_p.h"

namespace
{
// Sequence length announced by a lead byte, 0 for bytes that cannot start one.
int LeadLength(unsigned char b)
{
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// The range the second byte must fall in; the tighter bounds exclude overlong forms,
// surrogates and values above U+10FFFF.
void SecondByteRange(unsigned char lead, unsigned char* lo, unsigned char* hi)
{
  *lo = 0x80;
  *hi = 0xBF;
  if (lead == 0xE0) *lo = 0xA0;
  else if (lead == 0xED) *hi = 0x9F;
  else if (lead == 0xF0) *lo = 0x90;
  else if (lead == 0xF4) *hi = 0x8F;
}
}

namespace swell_detail
{
int DecodeUtf8(const unsigned char* s, int n, uint32_t* out)
{
  int i = 0, count = 0;
  while (i < n)
  {
    const unsigned char b = s[i];
    const int len = LeadLength(b);
    if (len == 1)
    {
      out[count++] = b;
      ++i;
      continue;
    }
    if (len == 0)
    {
      out[count++] = kReplacementChar;
      ++i;
      continue;
    }
    uint32_t cp = b & (0xFF >> (len + 1));
    int k = 1;
    for (; k < len; ++k)
    {
      if (i + k >= n) break;
      unsigned char lo = 0x80, hi = 0xBF;
      if (k == 1) SecondByteRange(b, &lo, &hi);
      const unsigned char c = s[i + k];
      if (c < lo || c > hi) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (k == len)
    {
      out[count++] = cp;
      i += len;
    }
    else
    {
      // the bytes read so far form one maximal subpart; the failing byte starts afresh
      out[count++] = kReplacementChar;
      i += k;
    }
  }
  return count;
}

int TrimCutUtf8Tail(const unsigned char* s, int n)
{
  // look back over at most three continuation bytes for the lead of the last sequence
  int i = n;
  int cont = 0;
  while (i > 0 && cont < 3 && (s[i - 1] & 0xC0) == 0x80)
  {
    --i;
    ++cont;
  }
  if (i == 0) return n;
  const int len = LeadLength(s[i - 1]);
  if (len > 1 && cont + 1 < len) return i - 1;
  return n;
}
}
