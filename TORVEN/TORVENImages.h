// The editor's images, compiled into the plug-in from TORVEN/resources/img
// (base name -> PNG bytes) by the build.
#ifndef TORVEN_TORVENIMAGES_H_
#define TORVEN_TORVENIMAGES_H_

#include "WDL/IPlug/IGraphicsLinux.h"

extern const IPNGResource kTORVENImages[];
extern const int kTORVENImageCount;

#endif  // TORVEN_TORVENIMAGES_H_
