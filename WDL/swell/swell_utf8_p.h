// Private: the UTF-8 decoding of text handed to the GDI layer.
#ifndef WDL_SWELL_SWELL_UTF8_P_H
#define WDL_SWELL_SWELL_UTF8_P_H

#include <cstdint>

namespace swell_detail
{
constexpr uint32_t kReplacementChar = 0xFFFD;

// Decodes n bytes into at most n code points; returns how many. Each maximal ill-formed
// subsequence (stray continuation bytes, overlong forms, surrogates, values above
// U+10FFFF, a sequence cut short) becomes one U+FFFD, so the shaper only sees scalar values.
int DecodeUtf8(const unsigned char* s, int n, uint32_t* out);

// The length of s[0..n) without a multi-byte sequence cut off at its end (for copies that
// stop at a byte limit).
int TrimCutUtf8Tail(const unsigned char* s, int n);
}

#endif
