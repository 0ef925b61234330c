#include "WDL/ptrlist.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Tracked
{
  int id;
  std::vector<int>* log;
  ~Tracked() { log->push_back(id); }
};

std::vector<int> Contents(const WDL_PtrList<int>& l)
{
  std::vector<int> v;
  for (int i = 0; i < l.GetSize(); ++i) v.push_back(*l.Get(i));
  return v;
}

}  // namespace

TEST(PtrList, ReadsOutsideTheListAreNull)
{
  WDL_PtrList<int> l;
  EXPECT_EQ(l.Get(0), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
  EXPECT_EQ(l.GetList(), nullptr);
  int a = 1;
  l.Add(&a);
  EXPECT_EQ(l.Get(0), &a);
  EXPECT_EQ(l.Get(1), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
  EXPECT_EQ(l.Set(1, &a), nullptr);
}

TEST(PtrList, InsertAndDeleteShift)
{
  int v[6] = {0, 1, 2, 3, 4, 5};
  WDL_PtrList<int> l;
  l.Add(&v[1]);
  l.Add(&v[3]);
  l.Insert(0, &v[0]);
  l.Insert(2, &v[2]);
  l.Insert(99, &v[5]);  // beyond the end: appended
  l.Insert(-3, &v[4]);  // before the start: at 0
  EXPECT_EQ(Contents(l), (std::vector<int>{4, 0, 1, 2, 3, 5}));
  l.Delete(0);
  l.Delete(2);
  l.Delete(7);
  l.Delete(-1);
  EXPECT_EQ(Contents(l), (std::vector<int>{0, 1, 3, 5}));
  EXPECT_EQ(l.Find(&v[3]), 2);
  EXPECT_EQ(l.Find(&v[2]), -1);
  EXPECT_EQ(l.DeletePtr(&v[0]), 0);
  EXPECT_EQ(Contents(l), (std::vector<int>{1, 3, 5}));
}

TEST(PtrList, EmptyDeletesLastFirst)
{
  std::vector<int> log;
  WDL_PtrList<Tracked> l;
  for (int i = 0; i < 4; ++i) l.Add(new Tracked{i, &log});
  l.Delete(1, true);
  EXPECT_EQ(log, (std::vector<int>{1}));
  l.Empty(true);
  EXPECT_EQ(log, (std::vector<int>{1, 3, 2, 0}));
  EXPECT_EQ(l.GetSize(), 0);
}
