// Memory drawing contexts: the platform-free part of the GDI layer.
#include "swell_gdi_p.h"

#include <cstdint>
#include <cstdlib>

namespace
{
// Frame buffers above this are refused: LICE addresses pixels with int offsets.
constexpr uint64_t kMaxFrameBytes = 0x7fffffffu - 63u;
}

HDC SWELL_CreateMemContext(HDC, int w, int h)
{
  if (w < 1 || h < 1) return nullptr;
  const uint64_t bytes = (uint64_t)w * 4u * (uint64_t)h;
  if (bytes > kMaxFrameBytes) return nullptr;

  void* block = std::calloc(1, (size_t)bytes + 63);
  if (!block) return nullptr;

  HDC__* ctx = swell_detail::AllocContextRecord();
  if (!ctx)
  {
    std::free(block);
    return nullptr;
  }
  ctx->ownedBlock = block;
  ctx->bits = reinterpret_cast<unsigned char*>(((uintptr_t)block + 63) & ~(uintptr_t)63);
  ctx->width = w;
  ctx->height = h;
  ctx->textcolor = 0;
  ctx->clip = RECT{0, 0, w, h};
  return ctx;
}

void* SWELL_GetCtxFrameBuffer(HDC ctx)
{
  return swell_detail::IsLiveContext(ctx) ? ctx->bits : nullptr;
}

void SWELL_DeleteGfxContext(HDC ctx)
{
  if (!swell_detail::IsLiveContext(ctx)) return;
  std::free(ctx->ownedBlock);
  ctx->ownedBlock = nullptr;
  ctx->bits = nullptr;
  swell_detail::ReleaseContextRecord(ctx);
}
