#pragma once
// A small VST 2.4 host: loads any Linux VST2 shared object through the ABI
// alone (dlopen + the exported entry point) and owns the one instance it made.
// Used by plughost and by the tests that drive plug-ins the way a host does.

#include "WDL/IPlug/VSTInterface.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vsthost {

// What the plug-in asked of the host, in order; tests read this back.
struct HostCall
{
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  float opt;
};

class Plugin
{
public:
  // Loads the library and creates one instance. On failure returns null and
  // fills *error with one line saying what was wrong.
  static std::unique_ptr<Plugin> Load(const std::string& path, std::string* error);
  ~Plugin();  // effClose (which deletes the instance), then unload

  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  AEffect* Effect() const { return mEffect; }
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f);
  // A dispatcher string query into a generous, zeroed buffer; the result is
  // always terminated whatever the plug-in wrote.
  std::string DispatchString(VstInt32 opcode, VstInt32 index = 0);

  // The host's side of the conversation.
  std::vector<HostCall> calls;
  bool verbose = false;

private:
  Plugin() = default;
  VstIntPtr HostCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  static VstIntPtr StaticHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt);

  void* mLibrary = nullptr;
  AEffect* mEffect = nullptr;
};

// 'Trv1' when all four bytes are printable, else the hex form.
std::string FourCCString(VstInt32 id);
std::string FlagsString(VstInt32 flags);

}  // namespace vsthost
