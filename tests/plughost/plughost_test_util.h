#pragma once
// Helpers for the plughost tests: running the built binary, scratch folders,
// reading and writing audio files, third-party plug-ins that may be missing.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace plughost_test {

struct RunResult
{
  int exitCode = -1;
  std::string out, err;
  int ErrLines() const
  {
    int n = 0;
    for (char c : err) n += c == '\n';
    return n;
  }
};

inline std::string Slurp(const std::string& path)
{
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A fresh folder under the system's temporary folder, removed at the end.
class ScratchDir
{
public:
  ScratchDir()
  {
    char tmpl[] = "/tmp/plughost_test_XXXXXX";
    const char* made = mkdtemp(tmpl);
    mPath = made ? made : "/tmp";
  }
  ~ScratchDir()
  {
    std::error_code ignored;
    if (mPath != "/tmp") std::filesystem::remove_all(mPath, ignored);
  }
  std::string operator/(const std::string& name) const { return mPath + "/" + name; }
  const std::string& Path() const { return mPath; }

private:
  std::string mPath;
};

// Runs the plughost binary with args (no shell), capturing both streams.
inline RunResult RunPlughost(const std::vector<std::string>& args)
{
  static int serial = 0;
  char base[64];
  snprintf(base, sizeof(base), "/tmp/plughost_run_%d_%d", (int)getpid(), serial++);
  const std::string outPath = std::string(base) + ".out", errPath = std::string(base) + ".err";
  RunResult r;
  const pid_t pid = fork();
  if (pid == 0)
  {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    std::string bin = PLUGHOST_BIN;
    argv.push_back(&bin[0]);
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = Slurp(outPath);
  r.err = Slurp(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return r;
}

struct Audio
{
  int channels = 0;
  int rate = 0;
  int format = 0;
  std::vector<double> data;  // interleaved
  size_t Frames() const { return channels ? data.size() / (size_t)channels : 0; }
  double At(size_t frame, int ch) const { return data[frame * (size_t)channels + ch]; }
};

inline bool ReadAudio(const std::string& path, Audio* a)
{
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return false;
  a->channels = info.channels;
  a->rate = info.samplerate;
  a->format = info.format;
  a->data.assign((size_t)info.frames * (size_t)info.channels, 0.0);
  const sf_count_t got = sf_readf_double(f, a->data.data(), info.frames);
  sf_close(f);
  return got == info.frames;
}

inline bool WriteAudio(const std::string& path, const std::vector<double>& data, int channels, int rate,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
  SF_INFO info = {};
  info.channels = channels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const sf_count_t frames = (sf_count_t)(data.size() / (size_t)channels);
  const bool ok = sf_writef_double(f, data.data(), frames) == frames;
  return sf_close(f) == 0 && ok;
}

inline double MaxAbsDiff(const std::vector<double>& a, const std::vector<double>& b)
{
  if (a.size() != b.size()) return HUGE_VAL;
  double m = 0.0;
  for (size_t i = 0; i < a.size(); ++i)
  {
    const double d = std::fabs(a[i] - b[i]);
    if (!(d <= m)) m = d;
  }
  return m;
}

inline double Rms(const std::vector<double>& a)
{
  double s = 0.0;
  for (double v : a) s += v * v;
  return a.empty() ? 0.0 : std::sqrt(s / (double)a.size());
}

inline bool Exists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A shell command's exit code and its output (stdout and stderr together);
// -1 when it could not run or did not exit.
struct Shell
{
  int code = -1;
  std::string out;
};

inline Shell Sh(const std::string& command)
{
  Shell r;
  FILE* p = popen(("{ " + command + "; } 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A shell word (no single quotes inside).
inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Whether a program is on PATH.
inline bool HaveTool(const std::string& name) { return Sh("command -v " + name + " >/dev/null").code == 0; }

// Third-party plug-ins from Debian's packages; a test that needs one skips
// when it is not installed.
constexpr const char* k3BandEQ = "/usr/lib/vst/3BandEQ-vst.so";
constexpr const char* kZamComp = "/usr/lib/vst/ZamComp-vst.so";
constexpr const char* kZamEQ2 = "/usr/lib/vst/ZamEQ2-vst.so";
constexpr const char* kMVerb = "/usr/lib/vst/MVerb-vst.so";

#define REQUIRE_PLUGIN(path)                                          \
  do                                                                  \
  {                                                                   \
    if (!::plughost_test::Exists(path)) GTEST_SKIP() << path << " is not installed"; \
  } while (0)

// A sanitizer build's binaries load only into programs that start the
// sanitizer's runtime first: other hosts (Ardour, lv2apply) cannot run them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
#define REQUIRE_FOREIGN_HOST()                                                                           \
  do                                                                                                     \
  {                                                                                                      \
    if (::plughost_test::kSanitizedBuild) GTEST_SKIP() << "another host cannot load a sanitizer build"; \
  } while (0)

// The error contract: exit code, one line, the tool's prefix, and the words
// that say what was wrong.
inline void ExpectOneLineError(const RunResult& r, int code, const std::string& words)
{
  EXPECT_EQ(r.exitCode, code) << r.err;
  EXPECT_EQ(r.ErrLines(), 1) << r.err;
  EXPECT_EQ(r.err.compare(0, 10, "plughost: "), 0) << r.err;
  EXPECT_NE(r.err.find(words), std::string::npos) << "expected '" << words << "' in: " << r.err;
}

}  // namespace plughost_test
