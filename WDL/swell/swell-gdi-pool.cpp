// The free pools of context and object records.
#include "swell_gdi_p.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
// One mutex for both pools. It is constant-initialised and trivially destructible, so it is
// usable from the first call to the last, including from destructors that run after ours.
std::mutex g_poolMutex;

// Keeps up to Max released records of type T, linked through poolnext. Each record's pooled
// flag is set before it is linked; the memory is zeroed again when it is handed out.
template <class T, int Max>
class RecordPool
{
public:
  T* get()
  {
    {
      std::lock_guard<std::mutex> lock(g_poolMutex);
      if (m_head)
      {
        T* r = m_head;
        m_head = r->poolnext;
        --m_count;
        std::memset(static_cast<void*>(r), 0, sizeof(T));
        return r;
      }
    }
    return static_cast<T*>(std::calloc(1, sizeof(T)));
  }

  void put(T* r)
  {
    std::lock_guard<std::mutex> lock(g_poolMutex);
    r->pooled = true;
    if (m_closed || m_count >= Max)
    {
      std::free(r);
      return;
    }
    r->poolnext = m_head;
    m_head = r;
    ++m_count;
  }

  // At library unload; later releases free their record at once.
  void close()
  {
    std::lock_guard<std::mutex> lock(g_poolMutex);
    m_closed = true;
    while (m_head)
    {
      T* n = m_head->poolnext;
      std::free(m_head);
      m_head = n;
    }
    m_count = 0;
  }

private:
  T* m_head = nullptr;
  int m_count = 0;
  bool m_closed = false;
};

// Plain constant-initialised storage: the pools outlive every static object that might
// release a record during unload; the reaper below empties them.
RecordPool<HDC__, 100> g_contexts;
RecordPool<HGDIOBJ__, 200> g_objects;

struct PoolReaper
{
  ~PoolReaper()
  {
    g_contexts.close();
    g_objects.close();
  }
} g_reaper;
}

namespace swell_detail
{
HDC__* AllocContextRecord() { return g_contexts.get(); }
void ReleaseContextRecord(HDC__* ctx) { g_contexts.put(ctx); }
HGDIOBJ__* AllocObjectRecord() { return g_objects.get(); }
void ReleaseObjectRecord(HGDIOBJ__* obj) { g_objects.put(obj); }
}
