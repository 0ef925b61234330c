#include "tools/vsthost.h"

#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vsthost {

namespace {

// A plug-in may call the host from inside its entry point, before the host
// has seen the effect record; such calls go to the instance being created.
std::mutex gCreateMutex;
Plugin* gCreating = nullptr;

}  // namespace

VstIntPtr Plugin::StaticHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt)
{
  Plugin* host = nullptr;
  if (effect && effect->user) host = static_cast<Plugin*>(effect->user);
  else host = gCreating;
  if (opcode == audioMasterVersion && !host) return kVstVersion;
  return host ? host->HostCallback(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr Plugin::HostCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* /*ptr*/,
                               float opt)
{
  calls.push_back({opcode, index, value, opt});
  if (verbose) fprintf(stderr, "host: opcode %d index %d value %ld opt %g\n", opcode, index, (long)value, opt);
  switch (opcode)
  {
    case audioMasterVersion: return kVstVersion;
    default: return 0;
  }
}

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, std::string* error)
{
  std::unique_ptr<Plugin> plugin(new Plugin());
  plugin->mLibrary = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!plugin->mLibrary)
  {
    const char* why = dlerror();
    *error = "cannot load " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  void* sym = dlsym(plugin->mLibrary, "VSTPluginMain");
  if (!sym) sym = dlsym(plugin->mLibrary, "main");
  if (!sym)
  {
    *error = path + " is not a VST 2.4 plug-in (no VSTPluginMain or main)";
    return nullptr;
  }
  VstPluginMainProc entry = reinterpret_cast<VstPluginMainProc>(sym);
  {
    std::lock_guard<std::mutex> lock(gCreateMutex);
    gCreating = plugin.get();
    plugin->mEffect = entry(&Plugin::StaticHostCallback);
    gCreating = nullptr;
  }
  if (!plugin->mEffect)
  {
    *error = path + ": the entry point returned no effect";
    return nullptr;
  }
  if (plugin->mEffect->magic != kEffectMagic)
  {
    char buf[96];
    snprintf(buf, sizeof(buf), ": bad effect magic 0x%08x", (unsigned)plugin->mEffect->magic);
    *error = path + buf;
    plugin->mEffect = nullptr;  // not a record we can safely close
    return nullptr;
  }
  plugin->mEffect->user = plugin.get();
  return plugin;
}

Plugin::~Plugin()
{
  if (mEffect && mEffect->dispatcher) mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.f);
  mEffect = nullptr;
  if (mLibrary) dlclose(mLibrary);
}

VstIntPtr Plugin::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!mEffect || !mEffect->dispatcher) return 0;
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string Plugin::DispatchString(VstInt32 opcode, VstInt32 index)
{
  char buf[512];
  memset(buf, 0, sizeof(buf));
  Dispatch(opcode, index, 0, buf, 0.f);
  buf[sizeof(buf) - 1] = 0;
  return buf;
}

std::string FourCCString(VstInt32 id)
{
  char c[4] = {(char)((id >> 24) & 0xff), (char)((id >> 16) & 0xff), (char)((id >> 8) & 0xff),
               (char)(id & 0xff)};
  bool printable = true;
  for (char ch : c) printable = printable && isprint((unsigned char)ch);
  char buf[32];
  if (printable) snprintf(buf, sizeof(buf), "'%c%c%c%c'", c[0], c[1], c[2], c[3]);
  else snprintf(buf, sizeof(buf), "0x%08x", (unsigned)id);
  return buf;
}

std::string FlagsString(VstInt32 flags)
{
  static const struct { VstInt32 bit; const char* name; } names[] = {
    {effFlagsHasEditor, "HasEditor"},       {effFlagsHasClip, "HasClip"},
    {effFlagsHasVu, "HasVu"},               {effFlagsCanMono, "CanMono"},
    {effFlagsCanReplacing, "CanReplacing"}, {effFlagsProgramChunks, "ProgramChunks"},
    {effFlagsIsSynth, "IsSynth"},           {effFlagsNoSoundInStop, "NoSoundInStop"},
    {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
  };
  std::string out;
  VstInt32 known = 0;
  for (const auto& n : names)
  {
    known |= n.bit;
    if (flags & n.bit)
    {
      if (!out.empty()) out += ' ';
      out += n.name;
    }
  }
  if (flags & ~known)
  {
    char buf[32];
    snprintf(buf, sizeof(buf), "unknown 0x%x", (unsigned)(flags & ~known));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace vsthost
