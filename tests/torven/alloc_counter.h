// Counts calls of the global operator new while armed (single-threaded use).
#ifndef TESTS_TORVEN_ALLOC_COUNTER_H_
#define TESTS_TORVEN_ALLOC_COUNTER_H_

namespace torven_test {

void ArmAllocCounter();
// Disarms and returns the allocations since ArmAllocCounter.
long DisarmAllocCounter();

}  // namespace torven_test

#endif  // TESTS_TORVEN_ALLOC_COUNTER_H_
