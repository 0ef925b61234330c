// What the LV2 adapter's entry code shares between its sources: the records
// behind the descriptors and handles it gives the host.
#ifndef IPLUG_SRC_IPLUGLV2_P_H_
#define IPLUG_SRC_IPLUGLV2_P_H_

#include "WDL/IPlug/IPlugLV2.h"

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

namespace lv2detail {

// The feature with this URI in a host's null-terminated list, or null.
const LV2_Feature* FindFeature(const LV2_Feature* const* features, const char* uri);

// The plug-in descriptor with what instantiate needs to make the plug-in;
// the host's descriptor pointer is the first member's address. Static, one
// per binary.
struct PluginEntry
{
  PluginEntry(const IPlugLV2Description* pDesc, IPlugLV2Factory factory);
  LV2_Descriptor mLV2 = {};
  const IPlugLV2Description* mDesc;
  IPlugLV2Factory mFactory;
};

// The handle of one plug-in instance: the plug-in and the URIDs its state
// needs (0 when the host gave no URID map). Made by instantiate, freed by
// cleanup.
struct PluginInstance
{
  IPlugLV2* mPlug = nullptr;
  LV2_URID_Map* mMap = nullptr;
  LV2_URID mStateKey = 0;
  LV2_URID mChunkType = 0;
};

// The UI descriptor, likewise.
struct UIEntry
{
  UIEntry(const IPlugLV2Description* pDesc, IPlugLV2Factory factory);
  LV2UI_Descriptor mLV2 = {};
  const IPlugLV2Description* mDesc;
  IPlugLV2Factory mFactory;
};

// The handle of one UI instance: the host's services (which the plug-in
// mirror points at, so they live as long as it) and the mirror, which owns
// the editor.
struct UIInstance
{
  IPlugLV2UIHost mHost;
  IPlugLV2* mPlug = nullptr;
};

}  // namespace lv2detail

#endif  // IPLUG_SRC_IPLUGLV2_P_H_
