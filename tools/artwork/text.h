// text.h: text for the artwork, rasterised by the GDI text layer and composed as coverage.
//
// Each string is drawn once in white on black into a scratch system bitmap; its coverage
// becomes a mask that any layer can take in any colour and opacity, at whole-pixel
// positions only (text never lands between pixels). Fonts are DejaVu Sans and DejaVu Sans
// Bold by name: main() pins fontconfig to those files so every machine draws the same.
//
// Owns its scratch bitmap and fonts; one thread.
#ifndef TORVEN_TOOLS_ARTWORK_TEXT_H
#define TORVEN_TOOLS_ARTWORK_TEXT_H

#include "paint.h"

#include <memory>
#include <string>
#include <vector>

class LICE_SysBitmap;

namespace artwork
{

struct TextStyle
{
  int pixels;        // em size
  bool bold;
  int tracking = 0;  // extra pixels between characters (letter-spaced captions)
};

// Coverage of one line of text. The pen box is width x height as the text layer measures
// it, with the baseline at row `baseline`; ink marks where coverage is non-zero, relative
// to the pen box (it may reach outside it).
struct TextMask
{
  int width = 0, height = 0, baseline = 0;
  int inkX0 = 0, inkY0 = 0, inkX1 = 0, inkY1 = 0;
  int maskX = 0, maskY = 0, maskW = 0, maskH = 0; // the stored window, pen-box relative
  std::vector<unsigned char> cover;               // maskW x maskH
};

class TextPainter
{
public:
  TextPainter();
  ~TextPainter();
  TextPainter(const TextPainter&) = delete;
  TextPainter& operator=(const TextPainter&) = delete;

  TextMask Measure(const std::string& utf8, const TextStyle& style);

  // Draws the mask with its pen box's top-left corner at (x, y).
  static void Draw(Layer* layer, const TextMask& m, int x, int y, Color c, float opacity = 1.0f);

  // Draws text centred on the ink box horizontally at cx, with its baseline at row baseline.
  void DrawCentred(Layer* layer, const std::string& utf8, const TextStyle& style, int cx, int baseline, Color c,
                   float opacity = 1.0f);

private:
  struct Font;
  Font* FontFor(const TextStyle& style);

  std::unique_ptr<LICE_SysBitmap> m_scratch;
  std::vector<std::unique_ptr<Font>> m_fonts;
};

} // namespace artwork

#endif
