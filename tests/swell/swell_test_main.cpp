// Test entry: pins fontconfig to the fonts every CI machine has before any font is looked up.
#include <gtest/gtest.h>

#include <cstdlib>

// fontconfig loses a few hundred bytes while parsing its configuration, once per process;
// LeakSanitizer (the sanitizer build) should not count that against us.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
  setenv("FONTCONFIG_FILE", SWELL_TEST_FONTCONFIG, 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
