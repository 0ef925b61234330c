// plughost: a command-line VST 2.4 host for Linux plug-ins.
//   plughost info PLUGIN.so     print the effect record

#include "tools/vsthost.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage()
{
  fprintf(stderr, "usage: plughost info PLUGIN.so\n");
  return 2;
}

int Info(const char* path)
{
  std::string error;
  auto plugin = vsthost::Plugin::Load(path, &error);
  if (!plugin)
  {
    fprintf(stderr, "plughost: %s\n", error.c_str());
    return 1;
  }
  const AEffect* e = plugin->Effect();
  printf("plugin:         %s\n", path);
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
  return 0;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  if (cmd == "info")
  {
    if (argc != 3) return Usage();
    return Info(argv[2]);
  }
  fprintf(stderr, "plughost: unknown command '%s'\n", cmd.c_str());
  return 2;
}
