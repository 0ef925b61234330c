// Stand-ins while the GDI text layer is not part of the build: no font can be
// made, so text draws nothing and reports that.
#include "WDL/IPlug/IGraphics.h"

LICE_IFont* IGraphics::CacheFont(IText*)
{
  return nullptr;
}

bool IGraphics::DrawIText(IText*, const char* str, IRECT*, bool)
{
  return !str || !*str;
}
