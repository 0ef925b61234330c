// The plug-in library as a host sees it: exported symbols, the effect record,
// and instance creation from several threads.
#include "tools/vsthost.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::unique_ptr<vsthost::Plugin> LoadTorven()
{
  std::string error;
  auto plugin = vsthost::Plugin::Load(TORVEN_SO, &error);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

TEST(EntryPoint, EffectRecordDescribesThePlugin)
{
  auto plugin = LoadTorven();
  ASSERT_TRUE(plugin);
  const AEffect* e = plugin->Effect();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->numParams, 8);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->flags, 0x1019);  // HasEditor | CanMono | CanReplacing | CanDoubleReplacing
  EXPECT_EQ(vsthost::FourCCString(e->uniqueID), "'Trv1'");
  EXPECT_EQ(e->uniqueID, 0x54727631);
  EXPECT_EQ(e->version, 40000);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->resvd1, 0);
  EXPECT_EQ(e->resvd2, 0);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->offQualities, 0);
  EXPECT_NE(e->object, nullptr);
  EXPECT_NE(e->dispatcher, nullptr);
  EXPECT_NE(e->process, nullptr);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);
  EXPECT_NE(e->setParameter, nullptr);
  EXPECT_NE(e->getParameter, nullptr);
  for (char c : e->future) EXPECT_EQ(c, 0);
}

TEST(EntryPoint, DefaultParameterValuesThroughTheRecord)
{
  auto plugin = LoadTorven();
  ASSERT_TRUE(plugin);
  AEffect* e = plugin->Effect();
  // OUT 0 dB in -15..15, HPF 0, LPF 0 at the top of -0.3..0, bands 0.5, bypass
  // and oversampling off.
  const float expected[8] = {0.5f, 0.f, 1.f, 0.5f, 0.5f, 0.5f, 0.f, 0.f};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(e->getParameter(e, i), expected[i], 1e-6) << "param " << i;
  EXPECT_EQ(e->getParameter(e, -1), 0.f);
  EXPECT_EQ(e->getParameter(e, 8), 0.f);

  e->setParameter(e, 7, 0.6f);  // an untyped 0..1 step-1 parameter lands on 1
  EXPECT_EQ(e->getParameter(e, 7), 1.f);
  e->setParameter(e, 7, 0.4f);
  EXPECT_EQ(e->getParameter(e, 7), 0.f);
  e->setParameter(e, 99, 0.5f);  // ignored
}

TEST(EntryPoint, OnlyTheEntryPointsAreExported)
{
  const std::string cmd = std::string("nm -D --defined-only '") + TORVEN_SO + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[1024];
  while (fgets(line, sizeof(line), pipe))
  {
    char addr[64], type[8], name[900];
    if (sscanf(line, "%63s %7s %899s", addr, type, name) == 3) symbols.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(EntryPoint, MainIsTheSameEntry)
{
  void* lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto mainEntry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "main"));
  ASSERT_NE(mainEntry, nullptr);
  AEffect* e = mainEntry([](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->uniqueID, VstFourCC('T', 'r', 'v', '1'));
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  dlclose(lib);
}

TEST(EntryPoint, InstancesCreatedFromManyThreadsComeOutWhole)
{
  void* lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "VSTPluginMain"));
  ASSERT_NE(entry, nullptr);

  constexpr int kThreads = 8, kPerThread = 16;
  std::vector<AEffect*> effects(kThreads * kPerThread, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i)
        effects[t * kPerThread + i] =
          entry([](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; });
    });
  for (auto& th : threads) th.join();

  std::set<void*> objects;
  for (AEffect* e : effects)
  {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numParams, 8);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->flags, 0x1019);
    EXPECT_NEAR(e->getParameter(e, 3), 0.5f, 1e-6);
    objects.insert(e->object);
  }
  EXPECT_EQ(objects.size(), effects.size());
  for (AEffect* e : effects) e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  dlclose(lib);
}

TEST(Plughost, RefusesWhatIsNotAPlugin)
{
  std::string error;
  EXPECT_FALSE(vsthost::Plugin::Load("/nonexistent/plugin.so", &error));
  EXPECT_NE(error.find("cannot load"), std::string::npos);
  error.clear();
  EXPECT_FALSE(vsthost::Plugin::Load("libm.so.6", &error));  // loads, but has no entry point
  EXPECT_NE(error.find("not a VST 2.4 plug-in"), std::string::npos) << error;
}

}  // namespace
