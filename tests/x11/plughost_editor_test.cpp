// plughost's editor commands as a user runs them: a snapshot of TORVEN equals
// what its open editor shows for the same state, a snapshot works on a
// third-party plug-in with an X11 editor and without any display, and the
// gui command hosts an editor until it is told to stop. Bad command lines get
// one line on stderr and a non-zero exit.
#include <gtest/gtest.h>

#include "tests/x11/editor_host_p.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "WDL/lice/lice.h"

namespace {

constexpr int kW = 300, kH = 570;

struct CommandResult
{
  int status;
  std::string output;
};

// Runs plughost with args (a shell line) with DISPLAY set as given ("" unsets
// it) and extra NAME=VALUE environment settings.
CommandResult Plughost(const std::string& args, const std::string& display, const std::string& env = "")
{
  std::string cmd = (display.empty() ? std::string("env -u DISPLAY ") : "env DISPLAY=" + display + " ") + env +
                    " " + PLUGHOST_BIN + " " + args + " 2>&1";
  CommandResult r{-1, ""};
  if (FILE* p = popen(cmd.c_str(), "r"))
  {
    char buf[512];
    while (fgets(buf, sizeof(buf), p)) r.output += buf;
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  return r;
}

std::string TempPng(const char* name)
{
  return std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(getpid()) + ".png";
}

class PlughostEditor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    X11TEST_SKIP_WITHOUT_XVFB();
    mServer = x11test::UseSharedDisplay(true);
    ASSERT_TRUE(mServer) << "Xvfb did not start";
  }
  xserver::PrivateX* mServer = nullptr;
};

TEST_F(PlughostEditor, SnapshotEqualsTheOpenEditor)
{
  // The state through both paths: plughost's --set (in the parameters' own
  // units) and host automation of the same values in our own host.
  const std::string out = TempPng("torven");
  const CommandResult r = Plughost(std::string("snapshot ") + TORVEN_SO + " " + out + " --set Bypass=1 --set GainH=0.8 --set OUT=-6",
                         mServer->Name());
  ASSERT_EQ(r.status, 0) << r.output;
  std::unique_ptr<LICE_IBitmap> png(LICE_LoadPNG(out.c_str()));
  ASSERT_TRUE(png);
  ASSERT_EQ(png->getWidth(), kW);
  ASSERT_EQ(png->getHeight(), kH);

  hosting::PlugLib lib(TORVEN_SO);
  ASSERT_TRUE(lib.Ok());
  x11test::EditorHost h(lib, mServer->Name());
  ASSERT_TRUE(h.Ok());
  h.Plug().SetParam(6, 1.f);
  h.Plug().SetParam(3, 0.8f);
  h.Plug().SetParam(0, 0.3f);  // -6 dB of -15 .. +15
  h.PointerAway();
  ASSERT_TRUE(h.Open());
  h.IdleFor(100);
  const auto shown = h.Grab(kW, kH);
  ASSERT_EQ(shown.size(), (size_t)kW * kH);
  int bad = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      bad += (LICE_GetPixel(png.get(), x, y) & 0xffffff) != shown[(size_t)y * kW + x];
  EXPECT_EQ(bad, 0);
  unlink(out.c_str());
}

TEST_F(PlughostEditor, SnapshotOfAThirdPartyEditorWithoutADisplay)
{
  const char* kThirdParty = "/usr/lib/vst/3BandEQ-vst.so";
  if (access(kThirdParty, R_OK) != 0) GTEST_SKIP() << "dpf-plugins-vst is not installed";
  const std::string out = TempPng("dpf");
  // No DISPLAY: plughost starts and stops a private server itself. What the
  // third-party plug-in leaves allocated at exit is not ours to report.
  const CommandResult r = Plughost(std::string("snapshot ") + kThirdParty + " " + out, "", "ASAN_OPTIONS=detect_leaks=0");
  ASSERT_EQ(r.status, 0) << r.output;
  std::unique_ptr<LICE_IBitmap> png(LICE_LoadPNG(out.c_str()));
  ASSERT_TRUE(png);
  EXPECT_GT(png->getWidth(), 50);
  EXPECT_GT(png->getHeight(), 50);
  // Something was drawn: not one flat colour.
  const LICE_pixel first = LICE_GetPixel(png.get(), 0, 0);
  int differing = 0;
  for (int y = 0; y < png->getHeight(); y += 4)
    for (int x = 0; x < png->getWidth(); x += 4) differing += LICE_GetPixel(png.get(), x, y) != first;
  EXPECT_GT(differing, 100);
  unlink(out.c_str());
}

TEST_F(PlughostEditor, GuiHostsTheEditorForAWhileWithAudio)
{
  const CommandResult r = Plughost(std::string("gui ") + TORVEN_SO + " --audio --seconds 1", mServer->Name());
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST_F(PlughostEditor, BadCommandLines)
{
  const std::string plugin = TORVEN_SO;
  const std::string cases[][3] = {
    {"snapshot " + plugin, "2", "snapshot needs PLUGIN.so OUT.png"},
    {"snapshot " + plugin + " /tmp/x.png --set", "2", "--set needs NAME=VALUE"},
    {"snapshot " + plugin + " /tmp/x.png --set Gain", "2", "--set needs NAME=VALUE"},
    {"snapshot " + plugin + " /tmp/x.png --frobnicate", "2", "unknown option"},
    {"snapshot /nonexistent.so /tmp/x.png", "1", "no such file"},
    {"snapshot " + plugin + " /nonexistent-dir/x.png", "1", "cannot write"},
    {"snapshot " + plugin + " /tmp/x.png --set Nope=1", "1", "Nope"},
    {"gui", "2", "gui needs one PLUGIN.so"},
    {"gui " + plugin + " --seconds -1", "2", "--seconds"},
  };
  for (const auto& c : cases)
  {
    const CommandResult r = Plughost(c[0], mServer->Name());
    EXPECT_EQ(r.status, atoi(c[1].c_str())) << c[0] << ": " << r.output;
    EXPECT_NE(r.output.find(c[2]), std::string::npos) << c[0] << ": " << r.output;
    EXPECT_EQ(r.output.find("plughost: "), 0u) << c[0] << ": " << r.output;
  }
}

}  // namespace
