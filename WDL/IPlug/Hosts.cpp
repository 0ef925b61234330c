#include "WDL/IPlug/Hosts.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WDL/IPlug/Log.h"

namespace {

struct HostKeyword
{
  const char* keyword;
  EHost host;
};

// Search order matters: a name holding two keywords takes the earlier one.
const HostKeyword kHostKeywords[] = {
  {"cubase", kHostCubase},         {"reaper", kHostReaper},
  {"nuendo", kHostNuendo},         {"cakewalk", kHostSonar},
  {"samplitude", kHostSamplitude}, {"fruity", kHostFL},
  {"live", kHostAbletonLive},      {"melodyne", kHostMelodyneStudio},
  {"vstmanlib", kHostVSTScanner},  {"aulab", kHostAULab},
  {"garageband", kHostGarageBand}, {"forte", kHostForte},
  {"chainer", kHostChainer},       {"audition", kHostAudition},
  {"orion", kHostOrion},           {"sawstudio", kHostSAWStudio},
  {"logic", kHostLogic},           {"digital", kHostDigitalPerformer},
  {"audiomulch", kHostAudioMulch}, {"presonus", kHostStudioOne},
  {"vst3plugintesthost", kHostVST3TestHost},
  {"protools", kHostProTools},     {"ardour", kHostArdour},
  {"openmpt", kHostOpenMPT},       {"renoise", kHostRenoise},
  {"standalone", kHostStandalone},
};

// Indexed by host code; null where the code has no name of its own.
const char* const kHostNames[kNumHosts] = {
  "Unknown",   "Reaper",     "ProTools",  "Cubase",      "Nuendo",
  "Sonar",     "Vegas",      "FLStudio",  "Samplitude",  "Live",
  nullptr,     nullptr,      nullptr,     "VSTScanner",  "AULab",
  "Forte",     "Chainer",    "Audition",  "Orion",       nullptr,
  "SAWStudio", "Logic",      "GarageBand", "DigitalPerformer", "Standalone",
  "AudioMulch", "StudioOne", "VST3PluginTestHost", "Ardour", "Renoise",
  "OpenMPT",
};

}  // namespace

EHost LookUpHost(const char* name)
{
  char lower[256];
  ToLower(lower, name, static_cast<int>(sizeof(lower)));
  for (const HostKeyword& k : kHostKeywords)
    if (std::strstr(lower, k.keyword)) return k.host;
  return kHostUnknown;
}

void GetHostNameStr(EHost host, char* str)
{
  if (!str) return;
  const char* name = (host > kHostUnknown && host < kNumHosts) ? kHostNames[host] : nullptr;
  snprintf(str, kMaxHostNameLen, "%s", name ? name : "Unknown");
}

int GetVersionParts(int version, int* pMajor, int* pMinor, int* pThird)
{
  const int major = version >> 16;
  if (pMajor) *pMajor = major;
  if (pMinor) *pMinor = (version >> 8) & 0xFF;
  if (pThird) *pThird = version & 0xFF;
  return major;
}

int GetDecimalVersion(int version)
{
  int major, minor, third;
  GetVersionParts(version, &major, &minor, &third);
  return major * 10000 + minor * 100 + third;
}

void GetVersionStr(int version, char* str)
{
  if (!str) return;
  int major, minor, third;
  GetVersionParts(version, &major, &minor, &third);
  snprintf(str, kMaxVersionStrLen, "v%d.%d.%d", major, minor, third);
}

int GetSystemVersion()
{
  struct utsname u;
  if (uname(&u) != 0) return 0;
  int parts[3] = {0, 0, 0};
  const char* p = u.release;
  for (int i = 0; i < 3; ++i)
  {
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p) break;
    parts[i] = v < 0 ? 0 : (v > (i == 0 ? 32767 : 255) ? (i == 0 ? 32767 : 255) : static_cast<int>(v));
    if (*end != '.') break;
    p = end + 1;
  }
  return (parts[0] << 16) | (parts[1] << 8) | parts[2];
}
