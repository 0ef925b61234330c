// Installing as a user does it, into scratch folders: each layout puts exactly
// the plug-in (the VST2 binary and the LV2 bundle), plughost and its manual
// page where they belong, with the permissions they need; the installed
// plughost runs the installed plug-in and lilv lists the installed bundle;
// uninstall removes exactly those files (and the bundle's folder) and nothing
// beside them. The Debian
// package holds the same files under /usr plus its documents, takes its
// dependencies from the binaries and passes lintian without an error; Ardour's
// VST scanner finds the plug-in.
#include "tests/plughost/plughost_test_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using plughost_test::Quote;
using plughost_test::Sh;
using plughost_test::Shell;

// Regular files under root, relative to it, sorted.
std::vector<std::string> Files(const std::string& root)
{
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_regular_file()) out.push_back(fs::relative(it->path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

int Mode(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (int)(st.st_mode & 07777) : -1;
}

// The installed files of a layout, relative to its root.
struct Layout
{
  std::string plugin, tool, manual, lv2;  // lv2: the bundle's folder
};

const Layout kPrefixLayout = {"lib/vst/TORVEN.so", "bin/plughost", "share/man/man1/plughost.1.gz", "lib/lv2/TORVEN.lv2"};
const Layout kHomeLayout = {".vst/TORVEN.so", ".local/bin/plughost", ".local/share/man/man1/plughost.1.gz",
                            ".lv2/TORVEN.lv2"};
// What the LV2 bundle holds (nothing in a build without it).
#if defined(TORVEN_LV2_BUNDLE)
const std::vector<std::string> kBundleFiles = {"TORVEN.so", "TORVEN.ttl", "TORVEN_ui.so", "manifest.ttl"};
#else
const std::vector<std::string> kBundleFiles;
#endif

std::string Make(const std::string& target, const std::string& vars)
{
  return "make --no-print-directory -C " + Quote(SOURCE_DIR) + " " + target + " BUILD=" + Quote(BUILD_DIR) + " " + vars;
}

TEST(Install, EachLayoutHoldsExactlyTheProductsAndUninstallTakesExactlyThem)
{
  struct Case
  {
    const char* name;
    std::string install;    // %R: the scratch root
    std::string uninstall;  // "" when the way has none
    std::string under;      // where the layout starts below the root
    Layout layout;
  };
  const Case cases[] = {
    {"cmake --install --prefix", "cmake --install " + Quote(BUILD_DIR) + " --prefix %R", "", "", kPrefixLayout},
    {"make install (home)", Make("install-built", "HOME=%R"), Make("uninstall", "HOME=%R"), "", kHomeLayout},
    {"make install PREFIX=/usr DESTDIR", Make("install-built", "PREFIX=/usr DESTDIR=%R"),
     Make("uninstall", "PREFIX=/usr DESTDIR=%R"), "usr/", kPrefixLayout},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    plughost_test::ScratchDir s;
    auto fill = [&](std::string cmd) {
      for (size_t at; (at = cmd.find("%R")) != std::string::npos;) cmd.replace(at, 2, Quote(s.Path()));
      return cmd;
    };
    // Another plug-in already in the folder must survive it all.
    const std::string bystander = s.Path() + "/" + c.under + fs::path(c.layout.plugin).parent_path().string() + "/Other.so";
    fs::create_directories(fs::path(bystander).parent_path());
    std::ofstream(bystander) << "not ours";

    const Shell in = Sh(fill(c.install));
    ASSERT_EQ(in.code, 0) << in.out;
    const std::string root = s.Path() + "/" + c.under;
    std::vector<std::string> expected = {c.under + c.layout.plugin, c.under + c.layout.tool, c.under + c.layout.manual,
                                         fs::relative(bystander, s.Path()).string()};
    for (const std::string& f : kBundleFiles) expected.push_back(c.under + c.layout.lv2 + "/" + f);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Files(s.Path()), expected);
    EXPECT_EQ(Mode(root + c.layout.plugin), 0644);
    EXPECT_EQ(Mode(root + c.layout.tool), 0755);
    EXPECT_EQ(Mode(root + c.layout.manual), 0644);
    for (const std::string& f : kBundleFiles) EXPECT_EQ(Mode(root + c.layout.lv2 + "/" + f), 0644) << f;
    // An LV2 host finds the installed bundle where it lies.
    if (!kBundleFiles.empty() && plughost_test::HaveTool("lv2ls"))
    {
      const Shell ls = Sh("env LV2_PATH=" + Quote(fs::path(root + c.layout.lv2).parent_path().string()) + " lv2ls");
      EXPECT_EQ(ls.out, "https://www.morvane.com/torven\n");
    }

    // The installed tool runs the installed plug-in, and the manual page reads.
    const Shell info = Sh(Quote(root + c.layout.tool) + " info " + Quote(root + c.layout.plugin));
    EXPECT_EQ(info.code, 0) << info.out;
    EXPECT_NE(info.out.find("effect name:    TORVEN"), std::string::npos) << info.out;
    // As lintian checks it: troff's warnings on the raw output.
    const Shell man = Sh("man --warnings -E UTF-8 -l -Tutf8 -Z " + Quote(root + c.layout.manual) + " >/dev/null");
    EXPECT_EQ(man.code, 0) << man.out;
    EXPECT_EQ(man.out, "") << "the manual page has mistakes";

    if (c.uninstall.empty()) continue;
    const Shell out = Sh(fill(c.uninstall));
    ASSERT_EQ(out.code, 0) << out.out;
    EXPECT_EQ(Files(s.Path()), std::vector<std::string>{fs::relative(bystander, s.Path()).string()});
    EXPECT_FALSE(fs::exists(root + c.layout.lv2)) << "the bundle's folder stayed";
    // A second uninstall has nothing to remove, and says so.
    const Shell again = Sh(fill(c.uninstall));
    EXPECT_NE(again.code, 0);
    EXPECT_NE(again.out.find("nothing was installed"), std::string::npos) << again.out;
  }
}

std::string DebField(const std::string& deb, const std::string& field)
{
  Shell r = Sh("dpkg-deb -f " + Quote(deb) + " " + field);
  while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
  return r.out;
}

TEST(Install, TheDebianPackageHoldsTheProductsAndPassesLintian)
{
  plughost_test::ScratchDir s;
  const Shell pack = Sh("cpack --config " + Quote(std::string(BUILD_DIR) + "/CPackConfig.cmake") + " -B " + Quote(s.Path()));
  ASSERT_EQ(pack.code, 0) << pack.out;
  const std::string deb = s.Path() + "/torven_" PROJECT_VERSION "_amd64.deb";
  ASSERT_TRUE(fs::exists(deb)) << pack.out;

  EXPECT_EQ(DebField(deb, "Package"), "torven");
  EXPECT_EQ(DebField(deb, "Version"), PROJECT_VERSION);
  EXPECT_EQ(DebField(deb, "Architecture"), "amd64");
  // Computed from the binaries: the C and C++ runtimes, and what plughost
  // links (libsndfile) and the text layer (FreeType, fontconfig, HarfBuzz).
  const std::string depends = DebField(deb, "Depends");
  for (const char* lib : {"libc6 (>=", "libstdc++6 (>=", "libsndfile1 (>=", "libfreetype6 (>=", "libpng16-16 (>="})
    EXPECT_NE(depends.find(lib), std::string::npos) << lib << " missing from: " << depends;

  const std::string root = s.Path() + "/root";
  ASSERT_EQ(Sh("dpkg-deb -x " + Quote(deb) + " " + Quote(root)).code, 0);
  std::vector<std::string> expected = {"usr/bin/plughost", "usr/lib/vst/TORVEN.so", "usr/share/doc/torven/changelog.gz",
                                       "usr/share/doc/torven/copyright", "usr/share/man/man1/plughost.1.gz"};
  for (const std::string& f : kBundleFiles) expected.push_back("usr/lib/lv2/TORVEN.lv2/" + f);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Files(root), expected);
  // No maintainer scripts: nothing to run, and nothing of the package stays in
  // dpkg's records after `dpkg -r`.
  const Shell control = Sh("dpkg-deb -I " + Quote(deb));
  for (const char* script : {"postinst", "postrm", "preinst", "prerm"})
    EXPECT_EQ(control.out.find(script), std::string::npos) << control.out;
  const Shell owners = Sh("dpkg-deb -c " + Quote(deb));
  for (const std::string& line : {std::string("-rw-r--r-- root/root"), std::string("-rwxr-xr-x root/root")})
    EXPECT_NE(owners.out.find(line), std::string::npos) << owners.out;
  // Stripped, yet the extracted tool runs the extracted plug-in.
  const Shell info = Sh(Quote(root + "/usr/bin/plughost") + " info " + Quote(root + "/usr/lib/vst/TORVEN.so"));
  EXPECT_EQ(info.code, 0) << info.out;
  std::vector<std::string> binaries = {"/usr/bin/plughost", "/usr/lib/vst/TORVEN.so"};
  if (!kBundleFiles.empty())
    binaries.insert(binaries.end(), {"/usr/lib/lv2/TORVEN.lv2/TORVEN.so", "/usr/lib/lv2/TORVEN.lv2/TORVEN_ui.so"});
  for (const std::string& binary : binaries)
    EXPECT_EQ(Sh("readelf -S " + Quote(root + binary)).out.find(".symtab"), std::string::npos) << binary << " is not stripped";

  if (Sh("command -v lintian").code != 0)
  {
    GTEST_SKIP() << "lintian is not installed";
  }
  const Shell lint = Sh("lintian --no-tag-display-limit " + Quote(deb));
  std::istringstream lines(lint.out);
  for (std::string line; std::getline(lines, line);)
  {
    EXPECT_NE(line.compare(0, 3, "E: "), 0) << line;
    EXPECT_NE(line.compare(0, 3, "W: "), 0) << line;
  }
  RecordProperty("lintian", lint.out);
}

// Ardour's scanner, as Ardour runs it on each plug-in it finds: it loads the
// plug-in in a separate process and writes what it learnt to its cache.
TEST(Install, ArdoursScannerFindsThePlugin)
{
  std::string scanner;
  for (const char* candidate : {"/usr/lib/ardour8/ardour-vst-scanner", "/usr/lib/ardour7/ardour-vst-scanner"})
    if (access(candidate, X_OK) == 0) scanner = candidate;
  if (scanner.empty()) GTEST_SKIP() << "Ardour is not installed";
  REQUIRE_FOREIGN_HOST();

  plughost_test::ScratchDir s;
  const std::string vst = s.Path() + "/vst/TORVEN.so";
  fs::create_directories(s.Path() + "/vst");
  fs::copy_file(TORVEN_SO, vst);
  const std::string env = "env HOME=" + Quote(s.Path()) + " XDG_CACHE_HOME=" + Quote(s.Path() + "/cache") +
                          " LD_LIBRARY_PATH=" + Quote(fs::path(scanner).parent_path().string());
  const Shell scan = Sh(env + " timeout 60 " + scanner + " -f -v " + Quote(vst));
  ASSERT_EQ(scan.code, 0) << scan.out;
  EXPECT_NE(scan.out.find("Found Plugin"), std::string::npos) << scan.out;

  std::string cache;
  for (const std::string& f : Files(s.Path() + "/cache"))
    if (f.size() > 4 && f.compare(f.size() - 4, 4, ".v2i") == 0) cache = s.Path() + "/cache/" + f;
  ASSERT_FALSE(cache.empty()) << scan.out;
  std::stringstream text;
  text << std::ifstream(cache).rdbuf();
  for (const char* attribute : {"name=\"TORVEN\"", "creator=\"Morvane\"", "n_inputs=\"2\"", "n_outputs=\"2\"",
                                "is_instrument=\"0\"", "can_process_replace=\"1\""})
    EXPECT_NE(text.str().find(attribute), std::string::npos) << attribute << " in " << text.str();
}

}  // namespace
