// plughost response: the command line around the measurement and the plot.

#include "tools/cli.h"
#include "tools/response.h"
#include "tools/response_plot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace plughost {

const char kResponseHelp[] =
  "  plughost response PLUGIN.so OUT.png [options]\n"
  "      measure the frequency response (a log sweep into every input) and plot it\n"
  "      --set NAME=VALUE   a parameter for the current curve (name or index, in\n"
  "                         its own units); repeat for more\n"
  "      --norm             --set values are normalised (0 to 1)\n"
  "      --label TEXT       the current curve's name in the legend\n"
  "      --compare          start another curve with its own --set, --label and\n"
  "                         --plugin; the curves overlay in distinct colours\n"
  "      --plugin FILE      measure the current curve on another plug-in\n"
  "      --rate HZ          sample rate, 44100 to 768000 (default 48000)\n"
  "      --level DBFS       excitation level, -120 to 0 (default -30)\n"
  "      --impulse          an impulse instead of the sweep\n"
  "      --output N         the output channel recorded (default 1)\n"
  "      --double           process in double precision\n"
  "      --settle SECONDS   silence before measuring, 0 to 60 (default 3)\n"
  "      --phase            add a phase panel\n"
  "      --db LO:HI         a fixed dB range instead of one fitted to the curves\n"
  "      --title TEXT       the plot's title (default: the plug-in's name)\n"
  "      --width PIXELS     image width, 600 to 4000 (default 1200)\n"
  "      --csv FILE         also write the numbers: frequency in Hz, then\n"
  "                         magnitude in dB and phase in degrees per curve\n";

namespace {

// Points per decade: the plot draws about one per pixel column; the table
// keeps to 48 per octave.
constexpr int kPlotPointsPerDecade = 400;
constexpr int kCsvPointsPerDecade = 160;

// A file written whole or not at all: the bytes go to a temporary file
// beside the target, which replaces the target only when complete. Opening
// it up front refuses an unwritable place before any work is done.
class OutputFile
{
public:
  ~OutputFile()
  {
    if (!mTemp.empty()) unlink(mTemp.c_str());
  }
  bool Open(const std::string& path, std::string* error)
  {
    mPath = path;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    {
      *error = "cannot write " + path + ": it is a folder";
      return false;
    }
    std::string pattern = path + ".XXXXXX";
    const int fd = mkstemp(&pattern[0]);
    if (fd < 0)
    {
      *error = "cannot write " + path + ": " + strerror(errno);
      return false;
    }
    // mkstemp makes the file private; the result gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    mTemp = pattern;
    return true;
  }
  const std::string& TempPath() const { return mTemp; }
  bool Commit(std::string* error)
  {
    if (rename(mTemp.c_str(), mPath.c_str()) != 0)
    {
      *error = "cannot write " + mPath + ": " + strerror(errno);
      return false;
    }
    mTemp.clear();
    return true;
  }

private:
  std::string mPath, mTemp;
};

struct Curve
{
  std::string label;
  std::string plugin;  // "" for the command's plug-in
  std::vector<Setting> settings;
};

std::string BaseName(const std::string& path)
{
  std::string name = path.substr(path.find_last_of('/') + 1);
  const size_t dot = name.rfind(".so");
  if (dot != std::string::npos && dot + 3 == name.size() && dot > 0) name.erase(dot);
  return name;
}

std::string DefaultLabel(const Curve& c, bool otherPlugin)
{
  std::string label;
  for (const Setting& s : c.settings) label += (label.empty() ? "" : ", ") + s.name + "=" + s.value;
  if (label.empty()) label = "defaults";
  return otherPlugin ? BaseName(c.plugin) + ": " + label : label;
}

std::string Quoted(const std::string& s)
{
  std::string out = "\"";
  for (char ch : s) out += ch == '"' ? '\'' : ch;
  return out + "\"";
}

// Into file (the temporary), naming path in errors.
bool WriteCsv(const std::string& file, const std::string& path, const std::string& about, const std::vector<std::string>& labels,
              const std::vector<Response>& responses, std::string* error)
{
  FILE* f = fopen(file.c_str(), "w");
  if (!f)
  {
    *error = "cannot write " + path + ": " + strerror(errno);
    return false;
  }
  fprintf(f, "# plughost response: %s\n# frequency_hz", about.c_str());
  for (const std::string& l : labels) fprintf(f, ", %s magnitude_db, %s phase_deg", Quoted(l).c_str(), Quoted(l).c_str());
  fprintf(f, "\n");
  for (double hz : LogFrequencies(kPlotLoHz, kPlotHiHz, kCsvPointsPerDecade))
  {
    fprintf(f, "%.3f", hz);
    for (const Response& r : responses)
    {
      const std::complex<double> h = r.At(hz);
      fprintf(f, ", %.4f, %.3f", MagnitudeDb(h), PhaseDegrees(h));
    }
    fprintf(f, "\n");
  }
  const bool ok = !ferror(f);
  if (fclose(f) != 0 || !ok)
  {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

PlotCurve SampleCurve(const Response& response, const std::string& label, int pointsPerDecade)
{
  PlotCurve c;
  c.label = label;
  c.hz = LogFrequencies(kPlotLoHz, kPlotHiHz, pointsPerDecade);
  for (double hz : c.hz)
  {
    const std::complex<double> h = response.At(hz);
    c.db.push_back(MagnitudeDb(h));
    c.deg.push_back(PhaseDegrees(h));
  }
  return c;
}

int ResponseCommand(const std::vector<std::string>& args)
{
  ResponseRequest base;
  PlotOptions plot;
  std::string csvPath;
  std::vector<Curve> curves(1);
  std::vector<std::string> positional;
  ArgReader reader(args);
  while (reader.Next())
  {
    const std::string& a = reader.Name();
    std::string v;
    if (a == "--set")
    {
      Setting setting;
      if (!reader.Value(&v)) return UsageError("--set needs NAME=VALUE");
      if (!SplitSetting(v, &setting.name, &setting.value)) return UsageError("--set needs NAME=VALUE, got '" + v + "'");
      curves.back().settings.push_back(setting);
    }
    else if (a == "--compare") curves.emplace_back();
    else if (a == "--label")
    {
      if (!reader.Value(&v)) return UsageError("--label needs a text");
      curves.back().label = v;
    }
    else if (a == "--plugin")
    {
      if (!reader.Value(&v) || v.empty()) return UsageError("--plugin needs a file name");
      curves.back().plugin = v;
    }
    else if (a == "--norm") base.normalised = true;
    else if (a == "--impulse") base.excitation = Excitation::kImpulse;
    else if (a == "--double") base.useDouble = true;
    else if (a == "--phase") plot.phase = true;
    else if (a == "--rate")
    {
      if (!reader.Value(&v)) return UsageError("--rate needs a sample rate");
      long n = 0;
      if (!ParseInt(v, (long)kMinResponseRate, (long)kMaxResponseRate, &n))
        return UsageError("cannot measure at '" + v + "' Hz: the rate must be 44100 to 768000 Hz to reach 20 kHz");
      base.rate = (double)n;
    }
    else if (a == "--level")
    {
      if (!reader.Value(&v)) return UsageError("--level needs a level in dBFS");
      if (!ParseReal(v, -120.0, 0.0, &base.levelDb)) return UsageError("bad level '" + v + "' (-120 to 0 dBFS)");
    }
    else if (a == "--settle")
    {
      if (!reader.Value(&v)) return UsageError("--settle needs seconds");
      if (!ParseReal(v, 0.0, 60.0, &base.settleSeconds)) return UsageError("bad settle time '" + v + "' (0 to 60 s)");
    }
    else if (a == "--output")
    {
      if (!reader.Value(&v)) return UsageError("--output needs a channel number");
      long n = 0;
      if (!ParseInt(v, 1, 1024, &n)) return UsageError("bad output '" + v + "' (1 to 1024)");
      base.output = (int)n - 1;
    }
    else if (a == "--width")
    {
      if (!reader.Value(&v)) return UsageError("--width needs pixels");
      long n = 0;
      if (!ParseInt(v, 600, 4000, &n)) return UsageError("bad width '" + v + "' (600 to 4000 pixels)");
      plot.width = (int)n;
    }
    else if (a == "--db")
    {
      if (!reader.Value(&v)) return UsageError("--db needs LO:HI");
      const size_t colon = v.find(':');
      double lo = 0.0, hi = 0.0;
      if (colon == std::string::npos || !ParseReal(v.substr(0, colon), -400.0, 400.0, &lo) ||
          !ParseReal(v.substr(colon + 1), -400.0, 400.0, &hi) || !(hi > lo))
        return UsageError("bad dB range '" + v + "' (LO:HI with LO below HI, e.g. -24:12)");
      plot.fixedRange = true;
      plot.dbLo = lo;
      plot.dbHi = hi;
    }
    else if (a == "--title")
    {
      if (!reader.Value(&v)) return UsageError("--title needs a text");
      plot.title = v;
    }
    else if (a == "--csv")
    {
      if (!reader.Value(&v) || v.empty()) return UsageError("--csv needs a file name");
      csvPath = v;
    }
    else if (reader.IsOption()) return UsageError("unknown option '" + reader.Raw() + "'");
    else positional.push_back(a);
  }
  if (positional.size() != 2) return UsageError("response needs PLUGIN.so OUT.png");
  base.plugin = positional[0];
  const std::string pngPath = positional[1];

  // Refuse unwritable outputs before the measurement runs.
  std::string error;
  OutputFile png, csv;
  if (!png.Open(pngPath, &error)) return Failure(error);
  if (!csvPath.empty() && !csv.Open(csvPath, &error)) return Failure(error);

  std::vector<Response> responses;
  std::vector<std::string> labels;
  std::vector<PlotCurve> sampled;
  std::string pluginName;
  for (const Curve& c : curves)
  {
    ResponseRequest r = base;
    r.settings = c.settings;
    if (!c.plugin.empty()) r.plugin = c.plugin;
    Response h;
    std::string name;
    if (!MeasureResponse(r, &h, &error, &name)) return Failure(error);
    if (pluginName.empty()) pluginName = name.empty() ? BaseName(base.plugin) : name;
    const bool other = !c.plugin.empty() && c.plugin != base.plugin;
    labels.push_back(c.label.empty() ? DefaultLabel({c.label, r.plugin, c.settings}, other) : c.label);
    sampled.push_back(SampleCurve(h, labels.back(), kPlotPointsPerDecade));
    responses.push_back(std::move(h));
  }

  char about[256];
  snprintf(about, sizeof(about), "%.0f Hz, %s at %.0f dBFS into every input, output %d", base.rate,
           base.excitation == Excitation::kSweep ? "log sweep" : "impulse", base.levelDb, base.output + 1);
  if (plot.title.empty()) plot.title = pluginName + ": frequency response";
  plot.subtitle = about;
  auto bm = DrawResponsePlot(sampled, plot);
  if (!LICE_WritePNG(png.TempPath().c_str(), bm.get())) return Failure("cannot write " + pngPath);
  if (!csvPath.empty() && !WriteCsv(csv.TempPath(), csvPath, BaseName(base.plugin) + ", " + about, labels, responses, &error))
    return Failure(error);
  if (!png.Commit(&error)) return Failure(error);
  if (!csvPath.empty() && !csv.Commit(&error)) return Failure(error);
  printf("response: %s (%zu curve%s)%s%s\n", pngPath.c_str(), sampled.size(), sampled.size() == 1 ? "" : "s",
         csvPath.empty() ? "" : ", ", csvPath.c_str());
  return 0;
}

}  // namespace plughost
