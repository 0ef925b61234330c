// Base64 (RFC 4648, standard alphabet "A-Za-z0-9+/", "=" padding).
//
// WDL_Base64Decode is strict: the text must be whole 4-character quanta of the
// alphabet, "=" may only pad the final quantum (one or two of them), and the
// unused bits before padding must be zero. Anything else is refused with -1 and
// nothing is written. WDL_Base64DecodePrefix is the lenient reader used for blobs
// embedded in source code: it decodes up to the first character outside the
// alphabet.
#ifndef WDL_BASE64_H_
#define WDL_BASE64_H_

#include <climits>
#include <cstdint>
#include <cstring>

namespace wdl {
namespace detail {

inline const char* Base64Alphabet()
{
  return "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

// 0..63 for a character of the alphabet, -1 otherwise.
inline int Base64Value(char c)
{
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace detail
}  // namespace wdl

// Characters needed for nBytes (without the terminator), or -1 when nBytes is
// negative or the text would not fit an int.
inline int WDL_Base64EncodedLength(int nBytes)
{
  if (nBytes < 0) return -1;
  const int64_t n = (static_cast<int64_t>(nBytes) + 2) / 3 * 4;
  return n >= INT_MAX ? -1 : static_cast<int>(n);
}

// Encodes inLen bytes into out, which holds outSize bytes, and terminates it.
// Returns the number of characters written (without the terminator), or -1 when
// the arguments are invalid or out is too small (out is then "" if it has room).
inline int WDL_Base64Encode(const void* in, int inLen, char* out, int outSize)
{
  const int need = WDL_Base64EncodedLength(inLen);
  if (!out || outSize <= 0) return -1;
  out[0] = 0;
  if (need < 0 || need + 1 > outSize || (!in && inLen > 0)) return -1;
  const char* abc = wdl::detail::Base64Alphabet();
  const unsigned char* src = static_cast<const unsigned char*>(in);
  int o = 0;
  int i = 0;
  for (; i + 3 <= inLen; i += 3)
  {
    const uint32_t v = (static_cast<uint32_t>(src[i]) << 16) | (static_cast<uint32_t>(src[i + 1]) << 8) | src[i + 2];
    out[o++] = abc[(v >> 18) & 63];
    out[o++] = abc[(v >> 12) & 63];
    out[o++] = abc[(v >> 6) & 63];
    out[o++] = abc[v & 63];
  }
  const int rest = inLen - i;
  if (rest > 0)
  {
    uint32_t v = static_cast<uint32_t>(src[i]) << 16;
    if (rest == 2) v |= static_cast<uint32_t>(src[i + 1]) << 8;
    out[o++] = abc[(v >> 18) & 63];
    out[o++] = abc[(v >> 12) & 63];
    out[o++] = rest == 2 ? abc[(v >> 6) & 63] : '=';
    out[o++] = '=';
  }
  out[o] = 0;
  return o;
}

// Upper bound of the decoded size of nChars characters of text.
inline int WDL_Base64DecodedMaxLength(int nChars)
{
  return nChars < 0 ? -1 : nChars / 4 * 3;
}

// Strict decoding of inLen characters (strlen of in when inLen < 0) into out
// (outSize bytes). Returns the number of bytes written, or -1 for malformed text
// or an output that is too small; nothing is written then.
inline int WDL_Base64Decode(const char* in, int inLen, void* out, int outSize)
{
  if (!in) return -1;
  size_t len = inLen < 0 ? std::strlen(in) : static_cast<size_t>(inLen);
  if (len % 4 != 0 || len / 4 * 3 > static_cast<size_t>(INT_MAX)) return -1;
  if (len == 0) return 0;

  int pad = 0;
  if (in[len - 1] == '=') pad = in[len - 2] == '=' ? 2 : 1;
  const int nBytes = static_cast<int>(len / 4 * 3) - pad;
  if (nBytes > outSize || !out) return -1;

  // Validate everything before writing anything.
  for (size_t i = 0; i < len - static_cast<size_t>(pad); ++i)
    if (wdl::detail::Base64Value(in[i]) < 0) return -1;
  if (pad > 0)
  {
    const int last = wdl::detail::Base64Value(in[len - 1 - pad]);
    if (pad == 1 && (last & 3) != 0) return -1;
    if (pad == 2 && (last & 15) != 0) return -1;
  }

  unsigned char* dst = static_cast<unsigned char*>(out);
  int o = 0;
  for (size_t i = 0; i < len; i += 4)
  {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
    {
      const int c = in[i + static_cast<size_t>(k)] == '=' ? 0 : wdl::detail::Base64Value(in[i + static_cast<size_t>(k)]);
      v = (v << 6) | static_cast<uint32_t>(c);
    }
    const unsigned char b[3] = {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v)};
    for (int k = 0; k < 3 && o < nBytes; ++k) dst[o++] = b[k];
  }
  return o;
}

// Lenient decoding: reads characters of the alphabet until the first one that is
// not (such as "=", a line break or the terminator) or until outSize bytes have
// been produced. Bits that do not make a whole byte are dropped. Returns the
// number of bytes written.
inline int WDL_Base64DecodePrefix(const char* in, void* out, int outSize)
{
  if (!in || !out || outSize <= 0) return 0;
  unsigned char* dst = static_cast<unsigned char*>(out);
  uint32_t acc = 0;
  int bits = 0;
  int o = 0;
  for (const char* p = in; o < outSize; ++p)
  {
    const int v = wdl::detail::Base64Value(*p);
    if (v < 0) break;
    acc = ((acc << 6) | static_cast<uint32_t>(v)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8)
    {
      bits -= 8;
      dst[o++] = static_cast<unsigned char>(acc >> bits);
    }
  }
  return o;
}

#endif  // WDL_BASE64_H_
