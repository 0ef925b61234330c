// layout.h: where the editor puts each image, and what the artwork makes for it.
//
// The positions and frame counts are the editor's (its controls take one frame of an image
// at a fixed top-left corner); the frame sizes are the artwork's choice. Shared by the
// generator and its tests.
#ifndef TORVEN_TOOLS_ARTWORK_LAYOUT_H
#define TORVEN_TOOLS_ARTWORK_LAYOUT_H

namespace artwork
{

constexpr int kWindowW = 300, kWindowH = 570;

struct Placement
{
  const char* name; // file base name in TORVEN/resources/img/
  int x, y;         // top-left corner of a frame in the editor
  int frames;       // stacked vertically
  int frameW, frameH;
};

constexpr int kKnobFrames = 31;
constexpr int kKnobSize = 86;
constexpr int kBypassW = 294, kBypassH = 40;
constexpr int kOverW = 64, kOverH = 24;

// Attach order of the editor, the background first.
constexpr Placement kPlacements[] = {
    {"bg", 0, 0, 1, kWindowW, kWindowH},
    {"by", -2, 430, 2, kBypassW, kBypassH},
    {"GainH", 182, 62, kKnobFrames, kKnobSize, kKnobSize},
    {"GainL", 182, 310, kKnobFrames, kKnobSize, kKnobSize},
    {"GainM", 182, 185, kKnobFrames, kKnobSize, kKnobSize},
    {"OUT", 32, 309, kKnobFrames, kKnobSize, kKnobSize},
    {"HPF", 32, 185, kKnobFrames, kKnobSize, kKnobSize},
    {"LPF", 34, 61, kKnobFrames, kKnobSize, kKnobSize},
    {"OVER", 0, 543, 2, kOverW, kOverH},
};
constexpr int kPlacementCount = sizeof(kPlacements) / sizeof(kPlacements[0]);

// The invisible link area (right and bottom exclusive); it reaches past the window.
constexpr int kLinkL = 203, kLinkT = 540, kLinkR = 303, kLinkB = 640;

// Knob centres on the faceplate: two columns, three rows, on whole pixel corners so that a
// pointer at 12 o'clock covers two whole pixel columns.
constexpr int kColumnX[2] = {75, 225};
constexpr int kRowY[3] = {105, 228, 352};

} // namespace artwork

#endif
