// The plug-in library's entry points.
#include "TORVEN/TORVEN.h"

#define PLUG_CLASS_NAME TORVEN
#include "WDL/IPlug/IPlug_include_in_plug_src.h"
