// Bytes that end at a PROT_NONE page: a read one byte past the end faults at once.
#ifndef TESTS_TEXT_SUPPORT_GUARD_BUFFER_H
#define TESTS_TEXT_SUPPORT_GUARD_BUFFER_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <new>

namespace textest
{
class GuardBuffer
{
public:
  explicit GuardBuffer(size_t capacity)
  {
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    m_data = (capacity + page - 1) / page * page;
    m_bytes = m_data + page;
    void* map = mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::bad_alloc();
    m_base = static_cast<unsigned char*>(map);
    mprotect(m_base + m_data, page, PROT_NONE);
  }
  ~GuardBuffer() { munmap(m_base, m_bytes); }
  GuardBuffer(const GuardBuffer&) = delete;
  GuardBuffer& operator=(const GuardBuffer&) = delete;

  // n writable bytes whose last one is followed by the guard page.
  unsigned char* tail(size_t n) { return m_base + m_data - n; }
  char* put(const char* s, size_t n)
  {
    unsigned char* p = tail(n);
    std::memcpy(p, s, n);
    return reinterpret_cast<char*>(p);
  }

private:
  unsigned char* m_base = nullptr;
  size_t m_data = 0, m_bytes = 0;
};
} // namespace textest

#endif
