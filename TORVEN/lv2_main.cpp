// The LV2 plug-in binary's entry point (and, built with IPLUG_LV2_UI_BINARY,
// the UI binary's).
#include "TORVEN/TORVEN.h"

#define PLUG_CLASS_NAME TORVEN
#define PLUG_LV2_DESCRIPTION kTORVENLV2
#include "WDL/IPlug/IPlugLV2_include_in_plug_src.h"
