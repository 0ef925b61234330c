// A real host: Ardour, headless on its dummy backend, puts TORVEN.lv2 on a
// track, sets two controls, lets the engine run, saves the session, loads it
// again and saves a second snapshot. The plug-in's state in the session is
// the VST2 program chunk for the same settings (Ardour moves its control
// values into the plug-in's ports only in a run, so it also shows the plug-in
// ran), the controls come back, and the state saved after the reload is the
// one restored (Ardour keeps one state folder while the state is unchanged).
// Skipped, saying so, when Ardour is not installed.
#include "tests/lv2/lv2_host_p.h"
#include "tests/plughost/plughost_test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using plughost_test::Quote;
using plughost_test::Sh;
using plughost_test::Shell;

namespace {

const char kScript[] = R"lua(
AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session(SESSION, "t", 48000)
assert(s, "no session")
local track = s:new_audio_track(2, 2, nil, 1, "T", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(s, URI, ARDOUR.PluginType.LV2, "")
assert(not p:isnil(), "the plug-in did not load")
assert(track:add_processor_by_index(p, 0, nil, true) == 0)
ARDOUR.LuaAPI.set_processor_param(p, 0, 3.5)
ARDOUR.LuaAPI.set_processor_param(p, 1, 0.9)
ARDOUR.LuaAPI.usleep(300000)
s:save_state("", false, false, false, false, false)
close_session()
s = load_session(SESSION, "t")
local q = s:route_by_name("T"):nth_plugin(0)
assert(not q:isnil(), "the plug-in did not come back")
print("name " .. q:display_name())
for i = 0, 7 do print("control " .. i .. " " .. ARDOUR.LuaAPI.get_processor_param(q, i)) end
s:save_state("again", false, false, false, false, false)
print("done")
-- Closing a reloaded session hangs this Ardour's dummy backend: stop and leave.
AudioEngine:stop(false)
os.exit(0)
)lua";

// Ardour's headless Lua session (the wrapper sets up its environment).
std::string LuaSession()
{
  for (const char* candidate : {"/usr/bin/ardour8-lua", "/usr/bin/ardour7-lua"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

std::vector<unsigned char> Base64(const std::string& text)
{
  std::vector<unsigned char> out;
  unsigned bits = 0;
  int n = 0;
  for (char c : text)
  {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else continue;
    bits = (bits << 6) | (unsigned)v;
    if ((n += 6) >= 8) out.push_back((unsigned char)(bits >> (n -= 8)));
  }
  return out;
}

// The plug-in's state blob in a saved state.ttl.
std::vector<unsigned char> SavedBlob(const std::string& stateFile)
{
  const std::string ttl = plughost_test::Slurp(stateFile);
  const size_t key = ttl.find(lv2test::kStateKey + "> \"\"\"");
  if (key == std::string::npos) return {};
  const size_t from = key + lv2test::kStateKey.size() + 5, to = ttl.find("\"\"\"", from);
  return to == std::string::npos ? std::vector<unsigned char>() : Base64(ttl.substr(from, to - from));
}

}  // namespace

TEST(LV2Ardour, LoadsRunsSavesAndRestoresThePlugin)
{
  const std::string lua = LuaSession();
  if (lua.empty()) GTEST_SKIP() << "Ardour is not installed";
  REQUIRE_FOREIGN_HOST();

  plughost_test::ScratchDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir / "lv2");
  fs::create_symlink(TORVEN_LV2_BUNDLE, dir / "lv2/TORVEN.lv2");
  const std::string session = dir / "session";
  std::ofstream(dir / "t.lua") << "SESSION = \"" << session << "\"\nURI = \"" << lv2test::kURI << "\"\n" << kScript;

  // Ardour's own settings and caches go to the scratch folder, not the user's.
  const std::string env = "env HOME=" + Quote(dir.Path()) + " XDG_CONFIG_HOME=" + Quote(dir / "config") +
                          " XDG_CACHE_HOME=" + Quote(dir / "cache") + " LV2_PATH=" + Quote(dir / "lv2");
  const Shell run = Sh(env + " timeout 90 " + Quote(lua) + " " + Quote(dir / "t.lua") + " </dev/null");
  ASSERT_EQ(run.code, 0) << run.out;
  ASSERT_NE(run.out.find("\ndone\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("name TORVEN\n"), std::string::npos) << run.out;

  // The controls as Ardour reads them back after the reload.
  const char* const kControls[] = {"3.5", "0.89999997615814", "0.0", "0.5", "0.5", "0.5", "0.0", "0.0"};
  for (int i = 0; i < 8; ++i)
    EXPECT_NE(run.out.find("control " + std::to_string(i) + " " + kControls[i] + "\n"), std::string::npos)
      << "control " << i << " in:\n" << run.out;

  // The state: one folder for both snapshots, holding the VST2 program chunk
  // of the same settings.
  std::vector<std::string> states;
  for (auto& e : fs::recursive_directory_iterator(session + "/plugins"))
    if (e.path().filename() == "state.ttl") states.push_back(e.path().string());
  ASSERT_EQ(states.size(), 1u) << "the state changed across the reload";
  const std::string again = plughost_test::Slurp(session + "/again.ardour");
  EXPECT_NE(again.find("state-dir=\"" + fs::path(states[0]).parent_path().filename().string() + "\""), std::string::npos);

  hosting::PlugLib vstLib(TORVEN_VST_SO);
  ASSERT_TRUE(vstLib.Ok()) << vstLib.Error();
  hosting::Plug vst(vstLib);
  vst.Start(48000.0, 512);
  char out[] = "3.5", hpf[] = "0.9";
  vst.Call(effString2Parameter, 0, 0, out);
  vst.Call(effString2Parameter, 1, 0, hpf);
  EXPECT_EQ(SavedBlob(states[0]), vst.GetChunk(true));
}
