// PNG decoding and encoding through libpng 1.6, and the image-loader registry.
//
// libpng reports errors by long-jumping back to the setjmp of the routine that called it.
// To keep that well defined, each setjmp sits in a small function (ReadInner, WriteInner)
// whose only locals are set before the setjmp and never changed after it; all state that
// the jump must not lose lives in a record owned by the caller, which cleans up afterwards.
// No object with a destructor lives in a frame that a jump can skip.
#include "WDL/lice/lice.h"

#include <png.h>

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <unistd.h>

namespace
{
// Larger images are refused before any pixel memory is allocated.
constexpr png_uint_32 kMaxPngDim = 16384;

// Errors unwind to our setjmp without printing: a plug-in inside a host writes no log.
void QuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void QuietWarning(png_structp, png_const_charp) {}

struct MemSource
{
  const unsigned char* p;
  size_t left;
};

// Reading past the end of a memory block is an error (a truncated image), not data.
void ReadFromMemory(png_structp png, png_bytep out, png_size_t n)
{
  MemSource* src = static_cast<MemSource*>(png_get_io_ptr(png));
  if (!src || n > src->left)
  {
    png_error(png, "read past end of data");
    return;
  }
  std::memcpy(out, src->p, n);
  src->p += n;
  src->left -= n;
}

struct ReadState
{
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_bytep* rows = nullptr;
  LICE_IBitmap* bmp = nullptr; // the target
  bool created = false;        // bmp was made here
};

// Everything between the header and the last row. False on any libpng error or refusal.
bool ReadInner(ReadState* st)
{
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_structp png = st->png;
  png_infop info = st->info;

  png_set_user_limits(png, kMaxPngDim, kMaxPngDim);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  if (width < 1 || height < 1 || width > kMaxPngDim || height > kMaxPngDim) return false;

  // Every colour type arrives as 8-bit A, R, G, B.
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
  {
    png_set_tRNS_to_alpha(png);
    colorType |= PNG_COLOR_MASK_ALPHA;
  }
  if (bitDepth == 16)
    png_set_strip_16(png);
  else if (bitDepth < 8)
    png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (colorType & PNG_COLOR_MASK_ALPHA)
    png_set_swap_alpha(png);
  else
    png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != (size_t)width * 4) return false;

  const int w = (int)width, h = (int)height;
  if (st->bmp)
    st->bmp->resize(w, h);
  else
  {
    st->bmp = new (std::nothrow) LICE_MemBitmap(w, h, 4);
    if (!st->bmp) return false;
    st->created = true;
  }
  LICE_pixel* bits = st->bmp->getBits();
  if (!bits || st->bmp->getWidth() != w || st->bmp->getHeight() != h) return false;
  const long long span = st->bmp->getRowSpan();
  if (span < w) return false;

  st->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * (size_t)h));
  if (!st->rows) return false;
  const bool flipped = st->bmp->isFlipped();
  for (int y = 0; y < h; ++y)
    st->rows[y] = reinterpret_cast<png_bytep>(bits + (flipped ? (long long)(h - 1 - y) : (long long)y) * span);

  png_read_image(png, st->rows);
  // Up to IEND, so that a file cut anywhere, even after its last pixel, is refused.
  png_read_end(png, nullptr);
  return true;
}

// Runs the decoder over a source attached by attach(png); returns the bitmap or null.
template <class ATTACH>
LICE_IBitmap* Decode(LICE_IBitmap* bmp, ATTACH attach)
{
  ReadState st;
  st.bmp = bmp;
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
  if (!st.png) return nullptr;
  st.info = png_create_info_struct(st.png);
  if (!st.info)
  {
    png_destroy_read_struct(&st.png, nullptr, nullptr);
    return nullptr;
  }
  attach(st.png);

  const bool ok = ReadInner(&st);
  png_destroy_read_struct(&st.png, &st.info, nullptr);
  std::free(st.rows);
  if (!ok)
  {
    if (st.created) delete st.bmp;
    return nullptr;
  }

  // A, R, G, B bytes in memory -> LICE_pixel
  LICE_IBitmap* out = st.bmp;
  LICE_pixel* bits = out->getBits();
  const int w = out->getWidth(), h = out->getHeight();
  const long long span = out->getRowSpan();
  for (int y = 0; y < h; ++y)
  {
    LICE_pixel* p = bits + y * span;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
    for (int x = 0; x < w; ++x, b += 4)
      p[x] = ((LICE_pixel)b[0] << 24) | ((LICE_pixel)b[1] << 16) | ((LICE_pixel)b[2] << 8) | (LICE_pixel)b[3];
  }
  return out;
}

bool HasPngExtension(const char* name)
{
  const char* dot = std::strrchr(name, '.');
  if (!dot || std::strchr(dot, '/') || std::strchr(dot, '\\')) return false;
  return strcasecmp(dot, ".png") == 0;
}

// ---------------------------------------------------------------------------------------
// Writing

struct WriteState
{
  png_structp png = nullptr;
  png_infop info = nullptr;
  unsigned char* row = nullptr; // one row of R, G, B, A
  LICE_IBitmap* bmp = nullptr;
};

bool WriteInner(WriteState* st)
{
  if (setjmp(png_jmpbuf(st->png))) return false;
  LICE_IBitmap* bmp = st->bmp;
  const int w = bmp->getWidth(), h = bmp->getHeight();
  png_set_IHDR(st->png, st->info, (png_uint_32)w, (png_uint_32)h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(st->png, st->info);
  const LICE_pixel* bits = bmp->getBits();
  const long long span = bmp->getRowSpan();
  const bool flipped = bmp->isFlipped();
  for (int y = 0; y < h; ++y)
  {
    const LICE_pixel* p = bits + (flipped ? (long long)(h - 1 - y) : (long long)y) * span;
    unsigned char* o = st->row;
    for (int x = 0; x < w; ++x, o += 4)
    {
      o[0] = (unsigned char)LICE_GETR(p[x]);
      o[1] = (unsigned char)LICE_GETG(p[x]);
      o[2] = (unsigned char)LICE_GETB(p[x]);
      o[3] = (unsigned char)LICE_GETA(p[x]);
    }
    png_write_row(st->png, st->row);
  }
  png_write_end(st->png, nullptr);
  return true;
}

LICE_IBitmap* PngLoadFunc(const char* filename, bool checkFileName, LICE_IBitmap* bmp)
{
  if (!filename) return nullptr;
  if (checkFileName && !HasPngExtension(filename)) return nullptr;
  return LICE_LoadPNG(filename, bmp);
}

const char* PngExtList() { return "PNG files (*.PNG)\0*.PNG\0"; }

struct PngLoaderRegistration
{
  PngLoaderRegistration()
  {
    LICE_PNGLoader._next = LICE_ImageLoader_list;
    LICE_ImageLoader_list = &LICE_PNGLoader;
  }
} s_pngLoaderRegistration;
} // namespace

_LICE_ImageLoader_rec* LICE_ImageLoader_list = nullptr;
_LICE_ImageLoader_rec LICE_PNGLoader = {PngLoadFunc, PngExtList, nullptr};

LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp)
{
  if (!filename) return nullptr;
  FILE* fp = std::fopen(filename, "rb");
  if (!fp) return nullptr;
  LICE_IBitmap* r = Decode(bmp, [fp](png_structp png) { png_init_io(png, fp); });
  std::fclose(fp);
  return r;
}

LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int len, LICE_IBitmap* bmp)
{
  if (!data || len < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0) return nullptr;
  MemSource src = {static_cast<const unsigned char*>(data), (size_t)len};
  return Decode(bmp, [&src](png_structp png) { png_set_read_fn(png, &src, ReadFromMemory); });
}

LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp)
{
  if (!name || std::strlen(name) >= 401) return nullptr;
  char path[1536 + 16 + 401];
  const ssize_t n = readlink("/proc/self/exe", path, 1536);
  if (n <= 0 || n >= 1536) return nullptr;
  path[n] = 0;
  char* slash = std::strrchr(path, '/');
  if (!slash) return nullptr;
  slash[1] = 0;
  std::strcat(path, "resources/");
  std::strcat(path, name);
  return LICE_LoadPNG(path, bmp);
}

LICE_IBitmap* LICE_LoadPNGFromResource(void*, const char*, LICE_IBitmap*) { return nullptr; }

bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp)
{
  if (!filename || !bmp || !bmp->getBits()) return false;
  const int w = bmp->getWidth(), h = bmp->getHeight();
  if (w < 1 || h < 1 || w > INT_MAX / 4) return false;

  WriteState st;
  st.bmp = bmp;
  st.row = static_cast<unsigned char*>(std::malloc((size_t)w * 4));
  if (!st.row) return false;
  FILE* fp = std::fopen(filename, "wb");
  if (!fp)
  {
    std::free(st.row);
    return false;
  }
  bool ok = false;
  st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
  if (st.png) st.info = png_create_info_struct(st.png);
  if (st.png && st.info)
  {
    png_init_io(st.png, fp);
    ok = WriteInner(&st);
  }
  png_destroy_write_struct(&st.png, &st.info);
  std::free(st.row);
  if (std::fclose(fp) != 0) ok = false;
  if (!ok) std::remove(filename);
  return ok;
}
