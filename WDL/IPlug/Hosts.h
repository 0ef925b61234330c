// Host identification from the host's product string, host names, and the
// packed version words shared by plug-in and host versions.
//
// A version word packs major (bits 16 and up), minor (bits 8..15) and a third
// part (bits 0..7): 0x40000 is 4.0.0, decimal 40000, text "v4.0.0".
#ifndef IPLUG_HOSTS_H_
#define IPLUG_HOSTS_H_

enum EHost : int
{
  kHostUninit = -1,  // not yet identified
  kHostUnknown = 0,
  kHostReaper,
  kHostProTools,
  kHostCubase,
  kHostNuendo,
  kHostSonar,
  kHostVegas,
  kHostFL,
  kHostSamplitude,
  kHostAbletonLive,
  kHostUnused10,
  kHostUnused11,
  kHostMelodyneStudio,
  kHostVSTScanner,
  kHostAULab,
  kHostForte,
  kHostChainer,
  kHostAudition,
  kHostOrion,
  kHostUnused19,
  kHostSAWStudio,
  kHostLogic,
  kHostGarageBand,
  kHostDigitalPerformer,
  kHostStandalone,
  kHostAudioMulch,
  kHostStudioOne,
  kHostVST3TestHost,
  kHostArdour,
  kHostRenoise,
  kHostOpenMPT,
  kNumHosts
};

// Longest host name with its terminator ("DigitalPerformer", "VST3PluginTestHost").
static const int kMaxHostNameLen = 19;
// Longest version text with its terminator ("v-32768.255.255").
static const int kMaxVersionStrLen = 16;

// The host whose keyword occurs first in the search order, case-insensitively,
// in the first 255 characters of name; kHostUnknown for none, an empty or a null
// name.
EHost LookUpHost(const char* name);

// Writes the host's name (at most kMaxHostNameLen bytes); "Unknown" for codes
// without a name of their own.
void GetHostNameStr(EHost host, char* str);

// Splits a version word; null pointers are skipped. Returns the major number.
int GetVersionParts(int version, int* pMajor, int* pMinor, int* pThird);
// major * 10000 + minor * 100 + third.
int GetDecimalVersion(int version);
// "v%d.%d.%d", at most kMaxVersionStrLen bytes.
void GetVersionStr(int version, char* str);

// The running kernel's version (uname release "6.1.0-..." -> 6.1.0) as a version
// word, minor and third clamped to 255; 0 when it cannot be read.
int GetSystemVersion();

#endif  // IPLUG_HOSTS_H_
