// Test fonts: DejaVu Sans (the one face every build machine has), deleted with the holder.
#ifndef TESTS_TEXT_SUPPORT_FONTS_H
#define TESTS_TEXT_SUPPORT_FONTS_H

#include "WDL/lice/lice_text.h"

#include <string>

namespace textest
{
class TestFont
{
public:
  explicit TestFont(int px, int weight = FW_NORMAL, bool italic = false, int quality = DEFAULT_QUALITY)
      : m_font(CreateFont(-px, 0, 0, 0, weight, italic ? 1 : 0, 0, 0, 0, 0, 0, (char)quality, 0, "DejaVu Sans"))
  {
  }
  ~TestFont() { DeleteObject(m_font); }
  TestFont(const TestFont&) = delete;
  TestFont& operator=(const TestFont&) = delete;
  operator HFONT() const { return m_font; }

private:
  HFONT m_font;
};

// Renders every character of utf8 into the font's cache (a measure draws nothing).
inline void Touch(LICE_CachedFont& f, const std::string& utf8)
{
  RECT r = {0, 0, 0, 0};
  f.DrawText(nullptr, utf8.c_str(), -1, &r, DT_CALCRECT);
}
} // namespace textest

#endif
