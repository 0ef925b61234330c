// Helpers shared by the drawing services' source files.
#ifndef IPLUG_SRC_IGRAPHICSDRAW_P_H_
#define IPLUG_SRC_IGRAPHICSDRAW_P_H_

namespace igraphics_detail {

// v truncated toward zero; NaN and values beyond +-2^30 map far outside any
// bitmap, so that they draw nothing instead of overflowing an int.
int TruncToCoord(double v);

}  // namespace igraphics_detail

#endif  // IPLUG_SRC_IGRAPHICSDRAW_P_H_
