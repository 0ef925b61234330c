// plughost: a command-line VST 2.4 host for Linux plug-ins.
//   plughost info PLUGIN.so                  the effect record and what the plug-in says of itself
//   plughost render PLUGIN.so IN OUT [...]   audio through the plug-in
//   plughost demo PLUGIN.so OUTDIR           the built-in demo
//   plughost gui PLUGIN.so [--audio]         the plug-in's editor in a window
//   plughost snapshot PLUGIN.so OUT.png      the editor's pixels as a PNG
// Errors: one line on stderr beginning "plughost: "; exit 2 for a bad
// command line, 1 for a failure while running.

#include "tools/cli.h"
#include "tools/demo.h"
#include "tools/editorhost.h"
#include "tools/params.h"
#include "tools/render.h"
#include "tools/response.h"
#include "tools/vsthost.h"

#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kHelp[] =
  "usage: plughost COMMAND ...\n"
  "  plughost info PLUGIN.so [-v]\n"
  "      the effect record, names, parameters, programs and capabilities\n"
  "  plughost render PLUGIN.so IN OUT [options]\n"
  "      IN through the plug-in into OUT (any format libsndfile reads)\n"
  "      --set NAME=VALUE   set a parameter (name or index) in its own units;\n"
  "                         repeat for more\n"
  "      --norm             --set values are normalised (0 to 1)\n"
  "      --block N          frames per process call (default 512)\n"
  "      --rate HZ          sample rate told to the plug-in and written to OUT\n"
  "                         (default: IN's; samples are not resampled)\n"
  "      --double           process in double precision\n"
  "      --fxp FILE         load a program file first\n"
  "      --fxb FILE         load a bank file first\n"
  "      --save-fxp FILE    save the program after rendering\n"
  "      --save-fxb FILE    save the bank after rendering\n"
  "      --format F         OUT's format: CONTAINER[:ENCODING], e.g. wav:float,\n"
  "                         flac:pcm24 (default: IN's format)\n"
  "      --tail SECONDS     render this much silence after IN (reverb tails)\n"
  "      --tempo BPM        the transport's tempo (default 120)\n"
  "      -v                 log what the plug-in asks of the host\n"
  "  plughost demo PLUGIN.so OUTDIR\n"
  "      render a built-in test piece dry and with settings into OUTDIR and\n"
  "      print the levels per band\n"
  "  plughost gui PLUGIN.so [--audio] [--seconds S] [-v]\n"
  "      the plug-in's editor in a window on $DISPLAY, idled 25 times a second;\n"
  "      --audio runs an audio thread on a generated signal\n"
  "  plughost snapshot PLUGIN.so OUT.png [--set NAME=VALUE]... [--norm]\n"
  "      open the editor (on a private Xvfb when there is no display), wait\n"
  "      until it has drawn and write its pixels to OUT.png\n"
  "  plughost response PLUGIN.so OUT.png [--set NAME=VALUE]... [--compare ...]\n"
  "      measure the frequency response (log sweep or impulse) and plot it\n"
  "      --set NAME=VALUE   a parameter for the current curve (--norm: 0 to 1)\n"
  "      --compare          start another curve (its own --set, --label TEXT,\n"
  "                         --plugin FILE)\n"
  "      --rate HZ          44100 to 768000 (default 48000); --level DBFS (-30)\n"
  "      --impulse          an impulse instead of the log sweep; --double;\n"
  "                         --output N (which output to read)\n"
  "      --phase            add a phase panel; --db LO:HI fixed range;\n"
  "                         --title TEXT; --width PX\n"
  "      --csv FILE         frequency (Hz), magnitude (dB), phase (degrees)\n";

using plughost::Failure;
using plughost::ParseInt;
using plughost::ParseReal;
using plughost::UsageError;

int Info(const std::string& path, bool verbose)
{
  std::string error;
  auto plugin = vsthost::Plugin::Load(path, &error);
  if (!plugin) return Failure(error);
  plugin->verbose = verbose;
  const AEffect* e = plugin->Effect();
  printf("plugin:         %s\n", path.c_str());
  printf("magic:          0x%08x %s\n", (unsigned)e->magic, vsthost::FourCCString(e->magic).c_str());
  printf("inputs:         %d\n", e->numInputs);
  printf("outputs:        %d\n", e->numOutputs);
  printf("parameters:     %d\n", e->numParams);
  printf("programs:       %d\n", e->numPrograms);
  printf("flags:          0x%x (%s)\n", (unsigned)e->flags, vsthost::FlagsString(e->flags).c_str());
  printf("unique ID:      %s\n", vsthost::FourCCString(e->uniqueID).c_str());
  printf("version:        %d\n", e->version);
  printf("initial delay:  %d\n", e->initialDelay);
  printf("io ratio:       %g\n", e->ioRatio);

  // What the plug-in says through its dispatcher, asked the way a host does:
  // opened, with a rate and a block size.
  plugin->Setup(44100.0, 512);
  using vsthost::Printable;
  printf("effect name:    %s\n", Printable(plugin->DispatchString(effGetEffectName)).c_str());
  printf("vendor:         %s\n", Printable(plugin->DispatchString(effGetVendorString)).c_str());
  printf("product:        %s\n", Printable(plugin->DispatchString(effGetProductString)).c_str());
  printf("vendor version: %ld\n", (long)plugin->Dispatch(effGetVendorVersion));
  printf("VST version:    %ld\n", (long)plugin->Dispatch(effGetVstVersion));
  const VstIntPtr category = plugin->Dispatch(effGetPlugCategory);
  const char* categoryName = vsthost::CategoryName(category);
  printf("category:       %ld%s%s%s\n", (long)category, *categoryName ? " (" : "", categoryName,
         *categoryName ? ")" : "");
  printf("tail size:      %ld\n", (long)plugin->Dispatch(effGetTailSize));

  for (int out = 0; out < 2; ++out)
  {
    const int count = out ? e->numOutputs : e->numInputs;
    for (int i = 0; i < count; ++i)
    {
      VstPinProperties pin;
      memset(&pin, 0, sizeof(pin));
      if (!plugin->Dispatch(out ? effGetOutputProperties : effGetInputProperties, i, 0, &pin)) continue;
      pin.label[sizeof(pin.label) - 1] = 0;
      printf("%s %-9d %s%s\n", out ? "output" : "input ", i, Printable(pin.label).c_str(),
             (pin.flags & kVstPinIsStereo) ? " (stereo pair)" : "");
    }
  }

  printf("parameters:\n");
  printf("  %-4s %-24s %-10s %-16s %s\n", "#", "name", "label", "display", "normalised");
  for (int i = 0; i < plugin->NumParams(); ++i)
  {
    printf("  %-4d %-24s %-10s %-16s %.6f\n", i, Printable(plugin->ParamName(i)).c_str(),
           Printable(plugin->ParamLabel(i)).c_str(), Printable(plugin->ParamDisplay(i)).c_str(),
           plugin->GetParameter(i));
  }

  printf("programs:       current %d\n", plugin->CurrentProgram());
  for (int i = 0; i < plugin->NumPrograms(); ++i)
  {
    std::string name = Printable(plugin->ProgramName(i));
    if (name.empty() && i == plugin->CurrentProgram()) name = Printable(plugin->CurrentProgramName());
    printf("  %-4d %s\n", i, name.c_str());
  }

  static const char* const kCapabilities[] = {
    "sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
    "receiveVstTimeInfo", "offline", "midiProgramNames", "bypass", "noRealTime",
    "plugAsChannelInsert", "plugAsSend", "mixDryWet", "multipass", "metapass",
    "1in1out", "1in2out", "2in1out", "2in2out", "2in4out", "4in2out", "4in4out", "4in8out",
    "8in4out", "8in8out", "conformsToWindowRules",
  };
  printf("can do:\n");
  for (const char* cap : kCapabilities)
  {
    const VstIntPtr answer = plugin->CanDo(cap);
    const char* word = answer > 0 ? "yes" : answer < 0 ? "no" : "-";
    printf("  %-24s %s", cap, word);
    if (answer != 0 && answer != 1 && answer != -1) printf(" (0x%lx)", (unsigned long)answer);
    printf("\n");
  }
  return 0;
}

// NAME=VALUE of --set, into *out; false with a usage message.
bool ParseSetting(const std::string& v, std::vector<plughost::Setting>* out, std::string* message)
{
  plughost::Setting setting;
  if (!plughost::SplitSetting(v, &setting.name, &setting.value))
  {
    *message = "--set needs NAME=VALUE, got '" + v + "'";
    return false;
  }
  out->push_back(setting);
  return true;
}

int RenderCommand(const std::vector<std::string>& args)
{
  plughost::RenderOptions o;
  std::vector<std::string> positional;
  plughost::ArgReader reader(args);
  while (reader.Next())
  {
    const std::string& a = reader.Name();
    std::string v;
    if (a == "--set")
    {
      std::string message;
      if (!reader.Value(&v)) return UsageError("--set needs NAME=VALUE");
      if (!ParseSetting(v, &o.settings, &message)) return UsageError(message);
    }
    else if (a == "--norm") o.normalised = true;
    else if (a == "--double") o.useDouble = true;
    else if (a == "-v" || a == "--verbose") o.verbose = true;
    else if (a == "--block")
    {
      long n = 0;
      if (!reader.Value(&v)) return UsageError("--block needs a number of frames");
      if (!ParseInt(v, 1, 1 << 20, &n)) return UsageError("bad block size '" + v + "' (1 to 1048576 frames)");
      o.block = (int)n;
    }
    else if (a == "--rate")
    {
      long n = 0;
      if (!reader.Value(&v)) return UsageError("--rate needs a sample rate");
      if (!ParseInt(v, 1000, 1536000, &n)) return UsageError("bad sample rate '" + v + "' (1000 to 1536000 Hz)");
      o.rate = (double)n;
    }
    else if (a == "--tail")
    {
      if (!reader.Value(&v)) return UsageError("--tail needs seconds");
      if (!ParseReal(v, 0.0, 3600.0, &o.tailSeconds)) return UsageError("bad tail '" + v + "' (0 to 3600 s)");
    }
    else if (a == "--tempo")
    {
      if (!reader.Value(&v)) return UsageError("--tempo needs beats per minute");
      if (!ParseReal(v, 1.0, 999.0, &o.tempo)) return UsageError("bad tempo '" + v + "' (1 to 999 BPM)");
    }
    else if (a == "--format")
    {
      if (!reader.Value(&v)) return UsageError("--format needs a format");
      int format = 0;
      std::string error;
      if (!plughost::ParseFormat(v, SF_FORMAT_PCM_16, &format, &error)) return UsageError(error);
      o.format = v;
    }
    else if (a == "--fxp" || a == "--fxb" || a == "--save-fxp" || a == "--save-fxb")
    {
      if (!reader.Value(&v) || v.empty()) return UsageError(a + " needs a file name");
      (a == "--fxp" ? o.fxp : a == "--fxb" ? o.fxb : a == "--save-fxp" ? o.saveFxp : o.saveFxb) = v;
    }
    else if (reader.IsOption()) return UsageError("unknown option '" + reader.Raw() + "'");
    else positional.push_back(a);
  }
  if (positional.size() != 3) return UsageError("render needs PLUGIN.so IN OUT");
  o.plugin = positional[0];
  o.input = positional[1];
  o.output = positional[2];
  o.progress = isatty(STDERR_FILENO) != 0;
  std::string error;
  const int rc = plughost::Render(o, &error);
  if (rc != 0) return Failure(error);
  return 0;
}

int GuiCommand(const std::vector<std::string>& args)
{
  plughost::GuiOptions o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i)
  {
    const std::string& a = args[i];
    if (a == "--audio") o.audio = true;
    else if (a == "-v" || a == "--verbose") o.verbose = true;
    else if (a == "--seconds")
    {
      if (i + 1 >= args.size() || !ParseReal(args[i + 1], 0.0, 86400.0, &o.seconds))
        return UsageError("--seconds needs a duration (0 to 86400)");
      ++i;
    }
    else if (a.size() > 1 && a[0] == '-') return UsageError("unknown option '" + a + "'");
    else positional.push_back(a);
  }
  if (positional.size() != 1) return UsageError("gui needs one PLUGIN.so");
  o.plugin = positional[0];
  std::string error;
  if (plughost::RunGui(o, &error) != 0) return Failure(error);
  return 0;
}

int SnapshotCommand(const std::vector<std::string>& args)
{
  plughost::SnapshotOptions o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i)
  {
    const std::string& a = args[i];
    std::string message;
    if (a == "--set")
    {
      if (i + 1 >= args.size()) return UsageError("--set needs NAME=VALUE");
      if (!ParseSetting(args[++i], &o.settings, &message)) return UsageError(message);
    }
    else if (a.compare(0, 6, "--set=") == 0)
    {
      if (!ParseSetting(a.substr(6), &o.settings, &message)) return UsageError(message);
    }
    else if (a == "--norm") o.normalised = true;
    else if (a.size() > 1 && a[0] == '-') return UsageError("unknown option '" + a + "'");
    else positional.push_back(a);
  }
  if (positional.size() != 2) return UsageError("snapshot needs PLUGIN.so OUT.png");
  o.plugin = positional[0];
  o.output = positional[1];
  std::string error;
  if (plughost::Snapshot(o, &error) != 0) return Failure(error);
  return 0;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 2) return UsageError("no command given");
  const std::string cmd = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (cmd == "--help" || cmd == "-h" || cmd == "help")
  {
    fputs(kHelp, stdout);
    fputs(plughost::kResponseHelp, stdout);
    return 0;
  }
  if (cmd == "info")
  {
    bool verbose = false;
    std::vector<std::string> positional;
    for (const std::string& a : args)
    {
      if (a == "-v" || a == "--verbose") verbose = true;
      else if (a.size() > 1 && a[0] == '-') return UsageError("unknown option '" + a + "'");
      else positional.push_back(a);
    }
    if (positional.size() != 1) return UsageError("info needs one PLUGIN.so");
    return Info(positional[0], verbose);
  }
  if (cmd == "render") return RenderCommand(args);
  if (cmd == "gui") return GuiCommand(args);
  if (cmd == "snapshot") return SnapshotCommand(args);
  if (cmd == "response") return plughost::ResponseCommand(args);
  if (cmd == "demo")
  {
    if (args.size() != 2) return UsageError("demo needs PLUGIN.so OUTDIR");
    std::string error;
    if (plughost::RunDemo(args[0], args[1], &error) != 0) return Failure(error);
    return 0;
  }
  return UsageError("unknown command '" + cmd + "'");
}
