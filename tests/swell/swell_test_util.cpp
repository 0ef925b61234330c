#include "swell_test_util.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>

namespace swelltest
{
Ctx MakeCtx(int w, int h) { return Ctx(SWELL_CreateMemContext(nullptr, w, h)); }

Obj MakeFont(int px, const char* face, int weight, bool italic, int quality)
{
  return Obj(CreateFont(-px, 0, 0, 0, weight, italic ? 1 : 0, 0, 0, 0, 0, 0, (char)quality, 0, face));
}

RECT InkBox(HDC c, int w, int h, uint32_t background)
{
  const uint32_t* p = Pixels(c);
  RECT r = {w, h, 0, 0};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((p[(size_t)y * w + x] & 0xffffff) != (background & 0xffffff))
      {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
      }
  if (r.right == 0) r = RECT{0, 0, 0, 0};
  return r;
}

int InkCount(HDC c, int w, int h, uint32_t background)
{
  const uint32_t* p = Pixels(c);
  int n = 0;
  for (size_t i = 0; i < (size_t)w * h; ++i) n += (p[i] & 0xffffff) != (background & 0xffffff);
  return n;
}

std::string FontFile(const char* family, bool bold)
{
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* m = FcFontMatch(nullptr, pat, &res);
  std::string file;
  FcChar8* f = nullptr;
  if (m && FcPatternGetString(m, FC_FILE, 0, &f) == FcResultMatch) file = reinterpret_cast<const char*>(f);
  if (m) FcPatternDestroy(m);
  FcPatternDestroy(pat);
  return file;
}

Ctx DrawWhite(HGDIOBJ font, const char* text, int w, int h, int x, int y, int flags)
{
  Ctx c = MakeCtx(w, h);
  SelectObject(c.get(), font);
  SetTextColor(c.get(), RGB(255, 255, 255));
  RECT r = {x, y, w, h};
  SWELL_DrawText(c.get(), text, -1, &r, flags | DT_NOCLIP);
  return c;
}
}
