// Included by a plug-in class's header: picks the format adapter the class
// derives from, as IPlug. A build with IPLUG_API_LV2 defined gets IPlugLV2,
// every other build IPlugVST. Each binary is built for one format, so the two
// never meet in one program.
#ifndef IPLUG_INCLUDE_IN_PLUG_HDR_H_
#define IPLUG_INCLUDE_IN_PLUG_HDR_H_

#if defined(IPLUG_API_LV2)
#include "WDL/IPlug/IPlugLV2.h"
typedef IPlugLV2 IPlug;
#else
#include "WDL/IPlug/IPlugVST.h"
typedef IPlugVST IPlug;
#endif

// Four characters packed big-endian, the first in the highest byte (unique and
// manufacturer IDs), in any format's build.
constexpr int IPlugFourCC(char a, char b, char c, char d)
{
  return (int)(((unsigned)(unsigned char)a << 24) | ((unsigned)(unsigned char)b << 16) |
               ((unsigned)(unsigned char)c << 8) | (unsigned)(unsigned char)d);
}

#endif  // IPLUG_INCLUDE_IN_PLUG_HDR_H_
