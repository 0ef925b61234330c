// Replaces the global operator new/delete of the test program with counting
// forwards to malloc/free. Kept in a file of its own so no caller is inlined
// against these definitions.
#include "tests/torven/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> gArmed{false};
std::atomic<long> gCount{0};
}  // namespace

namespace torven_test {

void ArmAllocCounter()
{
  gCount = 0;
  gArmed = true;
}

long DisarmAllocCounter()
{
  gArmed = false;
  return gCount.load();
}

}  // namespace torven_test

void* operator new(std::size_t size)
{
  if (gArmed.load(std::memory_order_relaxed)) gCount.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
