// torven_artwork OUTDIR [--preview FILE] [--scales]
//
// Draws the editor's nine images into OUTDIR (bg.png, by.png, GainH.png, ...), optionally a
// preview of the whole editor at its defaults, and with --scales prints where every scale
// label sits and what the filter model measures there.
#include "artwork.h"
#include "layout.h"

#include "WDL/lice/lice.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// fontconfig keeps what it parsed for the life of the process.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
  const char* outdir = nullptr;
  const char* preview = nullptr;
  bool scales = false;
  for (int i = 1; i < argc; ++i)
  {
    if (!std::strcmp(argv[i], "--preview") && i + 1 < argc) preview = argv[++i];
    else if (!std::strcmp(argv[i], "--scales")) scales = true;
    else if (argv[i][0] != '-' && !outdir) outdir = argv[i];
    else
    {
      std::fprintf(stderr, "torven_artwork: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (!outdir && !scales)
  {
    std::fprintf(stderr, "usage: torven_artwork OUTDIR [--preview FILE] [--scales]\n");
    return 2;
  }
  // The same pixels everywhere: only the DejaVu files every build machine has.
  setenv("FONTCONFIG_FILE", TORVEN_ARTWORK_FONTCONFIG, 1);

  if (scales)
    for (const std::string& line : artwork::ScaleReport()) std::printf("%s\n", line.c_str());
  if (!outdir) return 0;

  const std::vector<artwork::Image> images = artwork::RenderArtwork();
  if (images.empty())
  {
    std::fprintf(stderr, "torven_artwork: out of memory\n");
    return 1;
  }
  for (const artwork::Image& img : images)
  {
    const std::string path = std::string(outdir) + "/" + img.name + ".png";
    if (!LICE_WritePNG(path.c_str(), img.bitmap.get()))
    {
      std::fprintf(stderr, "torven_artwork: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  if (preview)
  {
    auto shot = artwork::ComposePreview(images, artwork::DefaultValues());
    if (!shot || !LICE_WritePNG(preview, shot.get()))
    {
      std::fprintf(stderr, "torven_artwork: cannot write %s\n", preview);
      return 1;
    }
  }
  return 0;
}
