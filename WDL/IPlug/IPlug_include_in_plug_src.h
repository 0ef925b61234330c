// Included once by the plug-in's main source file, after the plug-in class is
// declared: defines the exported VST 2.4 entry points for PLUG_CLASS_NAME.
//
//   #define PLUG_CLASS_NAME MyPlug
//   #include "WDL/IPlug/IPlug_include_in_plug_src.h"
#ifndef IPLUG_INCLUDE_IN_PLUG_SRC_H_
#define IPLUG_INCLUDE_IN_PLUG_SRC_H_

#ifndef PLUG_CLASS_NAME
#error "define PLUG_CLASS_NAME before including IPlug_include_in_plug_src.h"
#endif

#include "WDL/IPlug/IPlugVST.h"
#include "WDL/mutex.h"

#define IPLUG_EXPORT extern "C" __attribute__((visibility("default")))

// Creation is serialised process-wide: hosts may scan or instantiate from
// several threads at once.
IPLUG_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback)
{
  static WDL_Mutex sCreateMutex;  // constructed once, thread-safely
  WDL_MutexLock lock(&sCreateMutex);
  IPlugInstanceInfo instanceInfo;
  instanceInfo.mVSTHostCallback = hostCallback;
  PLUG_CLASS_NAME* pPlug = new PLUG_CLASS_NAME(instanceInfo);
  pPlug->EnsureDefaultPreset();
  AEffect* pEffect = pPlug->GetAEffect();
  if (pEffect->numPrograms < 1) pEffect->numPrograms = 1;
  return pEffect;
}

// The older entry name. C++ does not allow a function called main to return a
// pointer, so the symbol gets its name from the assembler instead.
IPLUG_EXPORT AEffect* VSTPluginMain_OldEntry(audioMasterCallback hostCallback) __asm__("main");
IPLUG_EXPORT AEffect* VSTPluginMain_OldEntry(audioMasterCallback hostCallback)
{
  return VSTPluginMain(hostCallback);
}

#endif  // IPLUG_INCLUDE_IN_PLUG_SRC_H_
