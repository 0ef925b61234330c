// WDL_HeapBuf: a growable raw byte buffer; WDL_TypedBuf: the same viewed as an
// array of one trivially copyable element type.
//
// Allocation rule (written once here, tested in tests/wdl):
//   A resize reallocates only when the new size exceeds the allocation, or, when
//   shrinking is asked for, when it falls below max(1, min(alloc / 2,
//   alloc - 4 * granularity)). Otherwise only the size changes.
//   On reallocation to a size of 0 the buffer is freed. Otherwise, with
//   extra = max(newsize / 2, granularity):
//     granularity <  4096: alloc = newsize + extra
//     granularity >= 4096: extra is rounded down to a multiple of 4096 and
//       clamped to 4096 .. 4194304; alloc = ((newsize + extra + 96) & ~4095) - 96
//       (page-sized blocks that leave room for the allocator's own header).
//   A failed realloc is retried as malloc + copy + free; if that fails too the
//   buffer and its size stay as they were and the resize reports failure. A
//   shrink never fails: when the smaller block cannot be had, the larger one is
//   kept and only the size changes.
//
// Not thread-safe; the owner serialises access. Only Resize/ResizeOK/Add and
// copying allocate.
#ifndef WDL_HEAPBUF_H_
#define WDL_HEAPBUF_H_

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

class WDL_HeapBuf
{
public:
  explicit WDL_HeapBuf(int granul = 4096) noexcept : m_granul(granul > 0 ? granul : 0) {}
  ~WDL_HeapBuf() { std::free(m_buf); }

  // Copies take the bytes and the granularity; a copy that cannot allocate is empty.
  WDL_HeapBuf(const WDL_HeapBuf& other) noexcept : m_granul(other.m_granul) { CopyFrom(other); }
  WDL_HeapBuf& operator=(const WDL_HeapBuf& other) noexcept
  {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  WDL_HeapBuf(WDL_HeapBuf&& other) noexcept
    : m_buf(other.m_buf), m_alloc(other.m_alloc), m_size(other.m_size), m_granul(other.m_granul)
  {
    other.m_buf = nullptr;
    other.m_alloc = other.m_size = 0;
  }
  WDL_HeapBuf& operator=(WDL_HeapBuf&& other) noexcept
  {
    if (this != &other)
    {
      std::free(m_buf);
      m_buf = other.m_buf;
      m_alloc = other.m_alloc;
      m_size = other.m_size;
      m_granul = other.m_granul;
      other.m_buf = nullptr;
      other.m_alloc = other.m_size = 0;
    }
    return *this;
  }

  void* Get() const { return m_size > 0 ? m_buf : nullptr; }
  int GetSize() const { return m_size; }
  int GetAllocated() const { return m_alloc; }
  int GetGranul() const { return m_granul; }
  void SetGranul(int granul) { m_granul = granul > 0 ? granul : 0; }

  // Returns the buffer (null when the size is 0). On failure the old buffer and
  // size remain; compare GetSize() or use ResizeOK.
  void* Resize(int newsize, bool resizedown = true)
  {
    ResizeImpl(newsize, resizedown);
    return Get();
  }

  // The buffer, or null on failure and for a new size of 0.
  void* ResizeOK(int newsize, bool resizedown = true)
  {
    return ResizeImpl(newsize, resizedown) && newsize > 0 ? m_buf : nullptr;
  }

  // Appends len bytes (copied from buf when it is not null, otherwise left
  // uninitialised) and returns a pointer to them, or null on failure. buf may lie
  // inside this buffer.
  void* Add(const void* buf, int len)
  {
    if (len < 0) return nullptr;
    const int64_t newsize = static_cast<int64_t>(m_size) + len;
    if (newsize > INT_MAX) return nullptr;
    std::ptrdiff_t selfOffset = -1;
    if (buf && m_buf && static_cast<const char*>(buf) >= m_buf &&
        static_cast<const char*>(buf) < m_buf + m_alloc)
      selfOffset = static_cast<const char*>(buf) - m_buf;
    const int oldsize = m_size;
    if (!ResizeImpl(static_cast<int>(newsize), false)) return nullptr;
    char* dst = m_buf + oldsize;
    if (len > 0 && buf) std::memmove(dst, selfOffset >= 0 ? m_buf + selfOffset : buf, static_cast<size_t>(len));
    return dst;
  }

  void CopyFrom(const WDL_HeapBuf& other)
  {
    if (&other == this) return;
    if (ResizeImpl(other.m_size, true))
    {
      if (other.m_size > 0) std::memcpy(m_buf, other.m_buf, static_cast<size_t>(other.m_size));
    }
    else
    {
      ResizeImpl(0, true);
    }
  }

  // The allocation the rule above gives for newsize at granularity granul.
  static int64_t AllocationFor(int64_t newsize, int64_t granul)
  {
    if (newsize <= 0) return 0;
    int64_t extra = newsize / 2;
    if (extra < granul) extra = granul;
    int64_t alloc;
    if (granul < 4096)
    {
      alloc = newsize + extra;
    }
    else
    {
      extra &= ~static_cast<int64_t>(4095);
      if (extra < 4096) extra = 4096;
      else if (extra > 4194304) extra = 4194304;
      alloc = ((newsize + extra + 96) & ~static_cast<int64_t>(4095)) - 96;
    }
    return alloc > INT_MAX ? INT_MAX : alloc;
  }

private:
  bool ResizeImpl(int newsize, bool resizedown)
  {
    if (newsize < 0) return false;
    bool realloc_needed = newsize > m_alloc;
    if (!realloc_needed && resizedown)
    {
      int64_t under = m_alloc / 2;
      const int64_t alt = static_cast<int64_t>(m_alloc) - 4 * static_cast<int64_t>(m_granul);
      if (alt < under) under = alt;
      if (under < 1) under = 1;
      realloc_needed = newsize < under;
    }
    if (!realloc_needed)
    {
      m_size = newsize;
      return true;
    }

    const int newalloc = static_cast<int>(AllocationFor(newsize, m_granul));
    if (newalloc == 0)
    {
      std::free(m_buf);
      m_buf = nullptr;
      m_alloc = m_size = 0;
      return true;
    }

    char* nb = static_cast<char*>(std::realloc(m_buf, static_cast<size_t>(newalloc)));
    if (!nb)
    {
      nb = static_cast<char*>(std::malloc(static_cast<size_t>(newalloc)));
      if (!nb)
      {
        if (newsize <= m_alloc)
        {
          // Shrinking: the block we have is still large enough.
          m_size = newsize;
          return true;
        }
        return false;
      }
      const int keep = m_size < newalloc ? m_size : newalloc;
      if (m_buf && keep > 0) std::memcpy(nb, m_buf, static_cast<size_t>(keep));
      std::free(m_buf);
    }
    m_buf = nb;
    m_alloc = newalloc;
    m_size = newsize;
    return true;
  }

  char* m_buf = nullptr;
  int m_alloc = 0;
  int m_size = 0;
  int m_granul;
};

template <class T>
class WDL_TypedBuf
{
  static_assert(std::is_trivially_copyable<T>::value, "WDL_TypedBuf holds trivially copyable types only");

public:
  explicit WDL_TypedBuf(int granul = 4096) noexcept : m_hb(granul) {}

  T* Get() const { return static_cast<T*>(m_hb.Get()); }
  int GetSize() const { return m_hb.GetSize() / static_cast<int>(sizeof(T)); }
  int GetAllocated() const { return m_hb.GetAllocated() / static_cast<int>(sizeof(T)); }
  int GetGranul() const { return m_hb.GetGranul(); }
  void SetGranul(int granul) { m_hb.SetGranul(granul); }

  // Sizes in elements. Resize returns the buffer even when it failed (compare
  // GetSize()); ResizeOK returns null on failure.
  T* Resize(int n, bool resizedown = true)
  {
    ResizeOK(n, resizedown);
    return Get();
  }
  T* ResizeOK(int n, bool resizedown = true)
  {
    const int64_t bytes = static_cast<int64_t>(n) * static_cast<int64_t>(sizeof(T));
    if (n < 0 || bytes > INT_MAX) return nullptr;
    return static_cast<T*>(m_hb.ResizeOK(static_cast<int>(bytes), resizedown));
  }

  // Appends one element; null when the buffer could not grow.
  T* Add(const T& val)
  {
    const T copy = val;  // val may live inside this buffer
    T* p = static_cast<T*>(m_hb.Add(nullptr, static_cast<int>(sizeof(T))));
    if (p) *p = copy;
    return p;
  }

  // Removes element idx, shifting later ones down; ignored out of range.
  void Delete(int idx)
  {
    const int n = GetSize();
    if (idx < 0 || idx >= n) return;
    T* p = Get();
    std::memmove(static_cast<void*>(p + idx), p + idx + 1, sizeof(T) * static_cast<size_t>(n - idx - 1));
    m_hb.Resize((n - 1) * static_cast<int>(sizeof(T)), false);
  }

  WDL_HeapBuf* GetHeapBuf() { return &m_hb; }
  const WDL_HeapBuf* GetHeapBuf() const { return &m_hb; }

private:
  WDL_HeapBuf m_hb;
};

#endif  // WDL_HEAPBUF_H_
