#include "WDL/mutex.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Mutex, IsRecursiveAndExcludesOtherThreads)
{
  WDL_Mutex m;
  m.Enter();
  m.Enter();
  bool otherGot = true;
  std::thread([&] { otherGot = m.TryEnter(); if (otherGot) m.Leave(); }).join();
  EXPECT_FALSE(otherGot);
  m.Leave();
  std::thread([&] { otherGot = m.TryEnter(); if (otherGot) m.Leave(); }).join();
  EXPECT_FALSE(otherGot);  // still held once
  m.Leave();
  std::thread([&] { otherGot = m.TryEnter(); if (otherGot) m.Leave(); }).join();
  EXPECT_TRUE(otherGot);
}

TEST(Mutex, ScopedLockSerialisesIncrements)
{
  WDL_Mutex m;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 100000; ++i)
    {
      WDL_MutexLock lock(&m);
      WDL_MutexLock again(&m);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);
}
