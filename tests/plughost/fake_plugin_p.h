#pragma once
// What the test plug-in (fake_plugin.cpp) and the tests that drive it agree on.

#include "WDL/IPlug/VSTInterface.h"

namespace fakeplugin {

enum Param
{
  kGain,  // -24 .. +24 dB, linear in the normalised value; parsed by the plug-in
  kMode,  // "Clean", "Warm", "Hot"
  kTone,  // 0 .. 100 %, 100 * n^2, shown with one decimal
  kTwinA, // two parameters named "Twin" and "twin"
  kTwinB,
  kNumParams
};

constexpr int kNumPrograms = 2;  // "Init", "Bright"
constexpr VstInt32 kPlainID = VstFourCC('P', 'h', 'F', 'k');
constexpr VstInt32 kChunkID = VstFourCC('P', 'h', 'F', 'c');

// Lifecycle bits the plug-in has seen.
enum Lifecycle
{
  kOpened = 1,
  kGotRate = 2,
  kGotBlock = 4,
  kResumed = 8,
  kStarted = 16,
  kStopped = 32,
  kSuspended = 64,
  kPrecision32 = 128,
  kPrecision64 = 256,
};

// effVendorSpecific questions (index); the answer is the return value.
enum Ask
{
  kAskLifecycle = 0x46610001,
  kAskTimeMismatches,  // transport answers that disagreed with the audio it got
  kAskProcessLevel,    // the level the host answered during the last block
  kAskHostVersion,     // audioMasterVersion at effOpen
  kAskProcessCalls,
  kAskSampleRate,
  kAskMaxBlock,
  kAskHostProduct,     // writes the host's product string into ptr (64 bytes)
};

}  // namespace fakeplugin
