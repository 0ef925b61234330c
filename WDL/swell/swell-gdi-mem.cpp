// Memory drawing contexts and the context-record pool: the platform-free part of the GDI layer.
#include "swell_gdi_p.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
// Released records are kept (and stay readable, marked pooled) so that a late call on a
// released handle finds the pooled flag instead of freed memory.
class ContextPool
{
public:
  ~ContextPool()
  {
    while (m_head)
    {
      HDC__* n = m_head->poolnext;
      std::free(m_head);
      m_head = n;
    }
  }

  HDC__* get()
  {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_head)
      {
        HDC__* r = m_head;
        m_head = r->poolnext;
        --m_count;
        std::memset(r, 0, sizeof(*r));
        return r;
      }
    }
    return static_cast<HDC__*>(std::calloc(1, sizeof(HDC__)));
  }

  void put(HDC__* r)
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    r->pooled = true;
    if (m_count >= kMaxPooled)
    {
      std::free(r);
      return;
    }
    r->poolnext = m_head;
    m_head = r;
    ++m_count;
  }

private:
  static constexpr int kMaxPooled = 100;
  std::mutex m_mutex;
  HDC__* m_head = nullptr;
  int m_count = 0;
};

ContextPool& Pool()
{
  static ContextPool pool;
  return pool;
}

// Frame buffers above this are refused: LICE addresses pixels with int offsets.
constexpr uint64_t kMaxFrameBytes = 0x7fffffffu - 63u;
}

namespace swell_detail
{
HDC__* AllocContextRecord() { return Pool().get(); }
void ReleaseContextRecord(HDC__* ctx) { Pool().put(ctx); }
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
