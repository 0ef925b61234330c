// Included once by an LV2 binary's main source file, after the plug-in class
// is declared: defines the binary's one exported entry point for
// PLUG_CLASS_NAME, described by PLUG_LV2_DESCRIPTION (an IPlugLV2Description).
// lv2_descriptor for the plug-in binary, or lv2ui_descriptor when
// IPLUG_LV2_UI_BINARY is defined.
//
//   #define PLUG_CLASS_NAME MyPlug
//   #define PLUG_LV2_DESCRIPTION kMyPlugLV2
//   #include "WDL/IPlug/IPlugLV2_include_in_plug_src.h"
#ifndef IPLUGLV2_INCLUDE_IN_PLUG_SRC_H_
#define IPLUGLV2_INCLUDE_IN_PLUG_SRC_H_

#if !defined(PLUG_CLASS_NAME) || !defined(PLUG_LV2_DESCRIPTION)
#error "define PLUG_CLASS_NAME and PLUG_LV2_DESCRIPTION before including IPlugLV2_include_in_plug_src.h"
#endif

#include "WDL/IPlug/IPlugLV2.h"

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

namespace {

IPlugLV2* IPlugLV2Create(IPlugInstanceInfo info)
{
  return new PLUG_CLASS_NAME(info);
}

}  // namespace

#if defined(IPLUG_LV2_UI_BINARY)
extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
  return static_cast<const LV2UI_Descriptor*>(IPlugLV2UIEntry(index, &PLUG_LV2_DESCRIPTION, IPlugLV2Create));
}
#else
extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
  return static_cast<const LV2_Descriptor*>(IPlugLV2PluginEntry(index, &PLUG_LV2_DESCRIPTION, IPlugLV2Create));
}
#endif

#endif  // IPLUGLV2_INCLUDE_IN_PLUG_SRC_H_
