#include "text.h"

#include "WDL/lice/lice.h"
#include "WDL/swell/swell.h"

namespace artwork
{
namespace
{
constexpr int kScratchW = 640, kScratchH = 160;
constexpr int kPad = 8; // room for ink beyond the measured box
} // namespace

struct TextPainter::Font
{
  int pixels;
  bool bold;
  HFONT font;
  int baseline; // rows from the pen box's top to the baseline
};

TextPainter::TextPainter() : m_scratch(new LICE_SysBitmap(kScratchW, kScratchH)) {}

TextPainter::~TextPainter()
{
  for (auto& f : m_fonts) DeleteObject(f->font);
}

TextPainter::Font* TextPainter::FontFor(const TextStyle& style)
{
  for (auto& f : m_fonts)
    if (f->pixels == style.pixels && f->bold == style.bold) return f.get();
  HFONT h = CreateFont(style.pixels, 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, 0, 0, 0,
                       ANTIALIASED_QUALITY, 0, "DejaVu Sans");
  m_fonts.emplace_back(new Font{style.pixels, style.bold, h, 0});
  Font* f = m_fonts.back().get();
  // The baseline is where a flat-bottomed capital ends: the text layer's own rounding of
  // the ascent, read back rather than re-derived.
  const TextMask probe = Measure("H", style);
  f->baseline = probe.inkY1;
  return f;
}

TextMask TextPainter::Measure(const std::string& utf8, const TextStyle& style)
{
  TextMask m;
  HDC dc = m_scratch->getDC();
  Font* f = FontFor(style);
  if (!dc || !f->font) return m;
  SelectObject(dc, f->font);
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, TRANSPARENT);
  LICE_Clear(m_scratch.get(), 0);

  m.baseline = f->baseline;

  // Letter-spaced text goes character by character at whole-pixel advances.
  std::vector<std::string> pieces;
  if (style.tracking)
  {
    for (size_t i = 0; i < utf8.size();)
    {
      size_t n = 1;
      while (i + n < utf8.size() && (utf8[i + n] & 0xC0) == 0x80) ++n;
      pieces.push_back(utf8.substr(i, n));
      i += n;
    }
  }
  else
    pieces.push_back(utf8);

  int pen = 0;
  for (size_t i = 0; i < pieces.size(); ++i)
  {
    RECT r = {0, 0, 0, 0};
    const int h = DrawText(dc, pieces[i].c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    RECT d = {kPad + pen, kPad, kPad + pen + r.right + kPad, kPad + h + kPad};
    DrawText(dc, pieces[i].c_str(), -1, &d, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    m.height = std::max(m.height, h);
    pen += r.right + (i + 1 < pieces.size() ? style.tracking : 0);
  }
  m.width = pen;

  m.maskX = -kPad, m.maskY = -kPad;
  m.maskW = std::min(m.width + 2 * kPad, kScratchW);
  m.maskH = std::min(m.height + 2 * kPad, kScratchH);
  m.cover.assign((size_t)m.maskW * m.maskH, 0);
  const LICE_pixel* bits = m_scratch->getBits();
  const int span = m_scratch->getRowSpan();
  int x0 = m.maskW, y0 = m.maskH, x1 = 0, y1 = 0;
  for (int y = 0; y < m.maskH; ++y)
    for (int x = 0; x < m.maskW; ++x)
    {
      const unsigned char v = (unsigned char)LICE_GETG(bits[(size_t)y * span + x]);
      m.cover[(size_t)y * m.maskW + x] = v;
      if (v)
      {
        x0 = std::min(x0, x), y0 = std::min(y0, y);
        x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
      }
    }
  if (x1 > x0)
  {
    m.inkX0 = x0 + m.maskX, m.inkY0 = y0 + m.maskY;
    m.inkX1 = x1 + m.maskX, m.inkY1 = y1 + m.maskY;
  }
  return m;
}

void TextPainter::Draw(Layer* layer, const TextMask& m, int x, int y, Color c, float opacity)
{
  for (int my = 0; my < m.maskH; ++my)
    for (int mx = 0; mx < m.maskW; ++mx)
    {
      const unsigned char v = m.cover[(size_t)my * m.maskW + mx];
      if (v) layer->Over(x + m.maskX + mx, y + m.maskY + my, c, v / 255.0f * opacity);
    }
}

void TextPainter::DrawCentred(Layer* layer, const std::string& utf8, const TextStyle& style, int cx, int baseline,
                              Color c, float opacity)
{
  const TextMask m = Measure(utf8, style);
  // Centred on the ink, not the advance box: letter-spacing and side bearings would
  // otherwise pull captions off the axis by a pixel.
  const int x = cx - (m.inkX0 + m.inkX1) / 2;
  Draw(layer, m, x, baseline - m.baseline, c, opacity);
}

} // namespace artwork
