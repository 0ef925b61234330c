// artwork.h: TORVEN's editor images, drawn from scratch.
//
// RenderArtwork() draws the nine images of the editor (background, six knob film strips of
// 31 frames, the two-frame Bypass and oversampling switches) in the order of kPlacements;
// frame i of a knob shows value (i - 1) / 30. Everything is computed (the scales measured
// from the filter models, the surfaces from a fixed light and fixed noise), so the same
// fonts give the same pixels on every run.
//
// ComposePreview() puts the editor together as it draws itself: the background, then one
// frame of each control at its position, blitted with source alpha.
#ifndef TORVEN_TOOLS_ARTWORK_ARTWORK_H
#define TORVEN_TOOLS_ARTWORK_ARTWORK_H

#include <memory>
#include <string>
#include <vector>

class LICE_MemBitmap;

namespace artwork
{

struct Image
{
  std::string name; // base name, as in kPlacements
  int frames = 1;
  std::unique_ptr<LICE_MemBitmap> bitmap;
};

// The images in kPlacements order; empty when a bitmap could not be made.
std::vector<Image> RenderArtwork();

// The editor with the frame of each control for its normalised value (values[i] belongs to
// kPlacements[i]; the background's entry is ignored). Null when images are missing.
std::unique_ptr<LICE_MemBitmap> ComposePreview(const std::vector<Image>& images, const std::vector<double>& values);

// Each parameter's default as the editor shows it (normalised), in kPlacements order.
std::vector<double> DefaultValues();

// Text lines "knob  label  position  measured" of every scale label drawn.
std::vector<std::string> ScaleReport();

} // namespace artwork

#endif
