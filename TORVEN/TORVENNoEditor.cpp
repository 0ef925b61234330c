// The plug-in without an editor, for the DSP tests and benchmarks that link
// the plug-in class alone. The shared object links TORVENEditor.cpp instead,
// whose definitions come first, so this member of the library stays unused.
#include "TORVEN/TORVEN.h"

IGraphics* MakeGraphics(IPlug*, int, int, int)
{
  return nullptr;
}

void TORVEN::LayoutEditor(IGraphics*) {}
