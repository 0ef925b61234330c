// Test entry: pins fontconfig to the fonts every CI machine has before any font is looked up.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
  setenv("FONTCONFIG_FILE", SWELL_TEST_FONTCONFIG, 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
