// WDL_PtrList: an ordered list of pointers kept in a WDL_HeapBuf.
//
// The list does not own its items unless asked: Delete, DeletePtr and Empty
// delete an item only when wantDelete is true (with `delete`, or with delfunc
// when one is given). An item is always taken out of the list before it is
// deleted, so a destructor that looks at the list sees it without the item.
// Reading outside the list yields null; adding stores the item only when the
// list could grow. Not thread-safe.
#ifndef WDL_PTRLIST_H_
#define WDL_PTRLIST_H_

#include "WDL/heapbuf.h"

template <class T>
class WDL_PtrList
{
public:
  explicit WDL_PtrList(int granul = 4096) noexcept : m_hb(granul) {}
  ~WDL_PtrList() = default;
  WDL_PtrList(const WDL_PtrList&) = delete;
  WDL_PtrList& operator=(const WDL_PtrList&) = delete;

  T** GetList() const { return static_cast<T**>(m_hb.Get()); }
  int GetSize() const { return m_hb.GetSize() / static_cast<int>(sizeof(T*)); }

  T* Get(int idx) const
  {
    T** list = GetList();
    return (list && idx >= 0 && idx < GetSize()) ? list[idx] : nullptr;
  }

  // Index of the first entry equal to p, or -1.
  int Find(const T* p) const
  {
    T** list = GetList();
    const int n = GetSize();
    for (int i = 0; i < n; ++i)
      if (list[i] == p) return i;
    return -1;
  }

  // Appends item; returns it, or null when the list could not grow (the item is
  // then not stored and stays the caller's).
  T* Add(T* item)
  {
    const int n = GetSize();
    T** list = static_cast<T**>(m_hb.ResizeOK((n + 1) * static_cast<int>(sizeof(T*)), false));
    if (!list) return nullptr;
    list[n] = item;
    return item;
  }

  // Replaces entry idx; returns item, or null for an index outside the list.
  T* Set(int idx, T* item)
  {
    if (idx < 0 || idx >= GetSize()) return nullptr;
    GetList()[idx] = item;
    return item;
  }

  // Inserts item before entry idx (idx is clamped to 0 .. size; at size it
  // appends), shifting later entries up. Null when the list could not grow.
  T* Insert(int idx, T* item)
  {
    const int n = GetSize();
    if (idx < 0) idx = 0;
    if (idx > n) idx = n;
    T** list = static_cast<T**>(m_hb.ResizeOK((n + 1) * static_cast<int>(sizeof(T*)), false));
    if (!list) return nullptr;
    std::memmove(list + idx + 1, list + idx, sizeof(T*) * static_cast<size_t>(n - idx));
    list[idx] = item;
    return item;
  }

  // Removes entry idx (shifting later entries down) and optionally deletes it.
  // Ignored for an index outside the list.
  void Delete(int idx, bool wantDelete = false, void (*delfunc)(void*) = nullptr)
  {
    const int n = GetSize();
    if (idx < 0 || idx >= n) return;
    T** list = GetList();
    T* item = list[idx];
    std::memmove(list + idx, list + idx + 1, sizeof(T*) * static_cast<size_t>(n - idx - 1));
    m_hb.Resize((n - 1) * static_cast<int>(sizeof(T*)), false);
    if (wantDelete && item) Destroy(item, delfunc);
  }

  // Removes the first entry equal to p; returns its former index or -1.
  int DeletePtr(const T* p, bool wantDelete = false, void (*delfunc)(void*) = nullptr)
  {
    const int idx = Find(p);
    if (idx >= 0) Delete(idx, wantDelete, delfunc);
    return idx;
  }

  // Removes every entry, last first, deleting each when asked, and frees the list.
  void Empty(bool wantDelete = false, void (*delfunc)(void*) = nullptr)
  {
    if (wantDelete)
    {
      for (int i = GetSize() - 1; i >= 0; --i)
      {
        T* item = GetList()[i];
        m_hb.Resize(i * static_cast<int>(sizeof(T*)), false);
        if (item) Destroy(item, delfunc);
      }
    }
    m_hb.Resize(0, true);
  }

private:
  static void Destroy(T* item, void (*delfunc)(void*))
  {
    if (delfunc) delfunc(item);
    else delete item;
  }

  WDL_HeapBuf m_hb;
};

#endif  // WDL_PTRLIST_H_
