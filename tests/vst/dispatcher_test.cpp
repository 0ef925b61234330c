// The dispatcher and the parameter callbacks as a host drives them: only the
// effect record's function pointers, with a host callback that records what
// the plug-in asked.
#include "WDL/IPlug/VSTInterface.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct HostCall
{
  VstInt32 opcode, index;
  VstIntPtr value;
  float opt;
};

// One test host at a time; the callback answers from these fields.
struct TestHost
{
  std::vector<HostCall> calls;
  std::string productString = "Test Host";
  VstIntPtr vendorVersion = 2500;
  VstIntPtr processLevel = kVstProcessLevelRealtime;
  VstTimeInfo timeInfo{};
  bool answerTime = true;

  int Count(VstInt32 opcode) const
  {
    int n = 0;
    for (const HostCall& c : calls) n += c.opcode == opcode;
    return n;
  }
};

TestHost* gHost = nullptr;

VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!gHost) return 0;
  gHost->calls.push_back({opcode, index, value, opt});
  switch (opcode)
  {
    case audioMasterVersion: return kVstVersion;
    case audioMasterGetProductString:
      strncpy(static_cast<char*>(ptr), gHost->productString.c_str(), 63);
      return 1;
    case audioMasterGetVendorVersion: return gHost->vendorVersion;
    case audioMasterGetCurrentProcessLevel: return gHost->processLevel;
    case audioMasterGetTime: return gHost->answerTime ? reinterpret_cast<VstIntPtr>(&gHost->timeInfo) : 0;
    default: return 0;
  }
}

VstIntPtr SilentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

class Dispatcher : public ::testing::Test
{
protected:
  void SetUp() override
  {
    gHost = &host;
    lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    entry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    e = entry(HostCallback);
    ASSERT_NE(e, nullptr);
  }
  void TearDown() override
  {
    if (e) Call(effClose);
    e = nullptr;
    if (lib) dlclose(lib);
    gHost = nullptr;
  }
  VstIntPtr Call(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f)
  {
    return e->dispatcher(e, op, index, value, ptr, opt);
  }
  std::string Str(VstInt32 op, VstInt32 index = 0)
  {
    char buf[256];
    memset(buf, 0x7f, sizeof(buf));  // no terminator unless the plug-in writes one
    Call(op, index, 0, buf);
    buf[255] = 0;
    return buf;
  }
  void Open()
  {
    Call(effOpen);
    Call(effSetSampleRate, 0, 0, nullptr, 44100.f);
    Call(effSetBlockSize, 0, 512);
    Call(effMainsChanged, 0, 1);
  }
  std::vector<unsigned char> GetChunk(int index)
  {
    void* data = nullptr;
    const VstIntPtr size = Call(effGetChunk, index, 0, &data);
    if (size <= 0 || !data) return {};
    const unsigned char* p = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(p, p + size);
  }
  VstIntPtr SetChunk(int index, std::vector<unsigned char> bytes)
  {
    return Call(effSetChunk, index, (VstIntPtr)bytes.size(), bytes.empty() ? (void*)"" : bytes.data());
  }

  TestHost host;
  void* lib = nullptr;
  VstPluginMainProc entry = nullptr;
  AEffect* e = nullptr;
};

TEST_F(Dispatcher, NamesAndIdentity)
{
  Open();
  EXPECT_EQ(Str(effGetEffectName), "TORVEN");
  EXPECT_EQ(Str(effGetVendorString), "Morvane");
  EXPECT_EQ(Str(effGetProductString), "");
  EXPECT_EQ(Call(effGetVendorVersion), 40000);
  EXPECT_EQ(Call(effGetVstVersion), 2400);
  EXPECT_EQ(Call(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(Call(effIdentify), 0x4E764566);
  EXPECT_EQ(Call(effGetTailSize), 0);
  EXPECT_EQ(Call(effGetEffectName, 0, 0, nullptr), 0);
  EXPECT_EQ(Call(effGetVendorString, 0, 0, nullptr), 0);
  EXPECT_EQ(Call(effGetProductString, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, ParameterNamesLabelsAndDisplays)
{
  Open();
  const char* names[8] = {"OUT", "HPF", "LPF", "GainH", "GainM", "GainL", "Bypass", ""};
  for (int i = 0; i < 8; ++i)
  {
    EXPECT_EQ(Str(effGetParamName, i), names[i]) << i;
    EXPECT_EQ(Str(effGetParamLabel, i), "") << i;
    EXPECT_EQ(Call(effCanBeAutomated, i), 1);
  }
  EXPECT_EQ(Str(effGetParamDisplay, 0), "0.00");
  EXPECT_EQ(Str(effGetParamDisplay, 3), "0.50");
  // Out-of-range indices write nothing.
  EXPECT_EQ(Str(effGetParamName, 8), std::string(255, '\x7f'));
  EXPECT_EQ(Str(effGetParamName, -1), std::string(255, '\x7f'));
  // A host that passes no buffer gets nothing written and no crash.
  for (VstInt32 op : {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramName,
                      effGetProgramNameIndexed})
    EXPECT_EQ(Call(op, 0, 0, nullptr), 0) << op;
}

TEST_F(Dispatcher, String2ParameterSetsPlainValues)
{
  Open();
  EXPECT_EQ(Call(effString2Parameter, 0, 0, (void*)"-15"), 1);
  EXPECT_EQ(Str(effGetParamDisplay, 0), "-15.00");
  EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.f);
  EXPECT_EQ(Call(effString2Parameter, 0, 0, (void*)"40"), 1);  // clamped to the maximum
  EXPECT_FLOAT_EQ(e->getParameter(e, 0), 1.f);
  EXPECT_EQ(Call(effString2Parameter, 3, 0, (void*)"0.75"), 1);
  EXPECT_NEAR(e->getParameter(e, 3), 0.75f, 1e-6);
  EXPECT_EQ(Call(effString2Parameter, 6, 0, (void*)"1"), 1);  // int parameter: numbers parse
  EXPECT_FLOAT_EQ(e->getParameter(e, 6), 1.f);
  EXPECT_EQ(Call(effString2Parameter, 3, 0, nullptr), 1);  // valid index, no text: no effect
  EXPECT_NEAR(e->getParameter(e, 3), 0.75f, 1e-6);
  EXPECT_EQ(Call(effString2Parameter, 8, 0, (void*)"1"), 0);
  EXPECT_EQ(Call(effString2Parameter, -1, 0, (void*)"1"), 0);
  EXPECT_EQ(Call(effString2Parameter, 3, 0, (void*)"nan"), 0);  // refused, value kept
  EXPECT_NEAR(e->getParameter(e, 3), 0.75f, 1e-6);
}

TEST_F(Dispatcher, NumbersParseInTheCLocaleWhateverTheHostSet)
{
  Open();
  locale_t de = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", (locale_t)0);
  if (!de) GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine";
  locale_t old = uselocale(de);
  EXPECT_EQ(Call(effString2Parameter, 3, 0, (void*)"0.25"), 1);
  const std::string display = Str(effGetParamDisplay, 3);
  uselocale(old);
  freelocale(de);
  EXPECT_NEAR(e->getParameter(e, 3), 0.25f, 1e-6);
  EXPECT_EQ(display, "0.25");
}

TEST_F(Dispatcher, ProgramsAndTheirNames)
{
  Open();
  EXPECT_EQ(Call(effGetProgram), 0);
  EXPECT_EQ(Str(effGetProgramName), "-");
  EXPECT_EQ(Str(effGetProgramNameIndexed, 0), "-");
  char buf[64];
  memset(buf, 1, sizeof(buf));
  EXPECT_EQ(Call(effGetProgramNameIndexed, 1, 0, buf), 0);  // no preset there: empty name
  EXPECT_EQ(buf[0], 0);

  Call(effSetProgramName, 0, 0, (void*)"Lead vocal");
  EXPECT_EQ(Str(effGetProgramName), "Lead vocal");

  // A host string without a terminator is read no further than a preset name
  // holds, and the name handed back is cut to the interface's 24 bytes.
  std::vector<char> longName(4096, 'x');
  Call(effSetProgramName, 0, 0, longName.data());
  EXPECT_EQ(Str(effGetProgramName), std::string(23, 'x'));

  // Changing program stores the live values into the current preset first.
  e->setParameter(e, 3, 0.9f);
  Call(effSetProgram, 0, 0);
  EXPECT_NEAR(e->getParameter(e, 3), 0.9f, 1e-6);
  Call(effSetProgram, 0, 5);  // no such program: nothing changes
  EXPECT_EQ(Call(effGetProgram), 0);
}

TEST_F(Dispatcher, CanDoAnswers)
{
  Open();
  EXPECT_EQ(Call(effCanDo, 0, 0, (void*)"receiveVstTimeInfo"), 1);
  EXPECT_EQ(Call(effCanDo, 0, 0, (void*)"sendVstEvents"), 0);  // no MIDI
  EXPECT_EQ(Call(effCanDo, 0, 0, (void*)"receiveVstMidiEvent"), 0);
  EXPECT_EQ(Call(effCanDo, 0, 0, (void*)"hasCockosExtensions"), (VstIntPtr)0xBEEF0000);
  EXPECT_EQ(Call(effCanDo, 0, 0, (void*)"hasCockosViewAsConfig"), (VstIntPtr)0xBEEF0000);
  EXPECT_EQ(Call(effCanDo, 0, 0, (void*)"bypass"), 0);
  EXPECT_EQ(Call(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, VendorSpecificDisplayAndNameQueries)
{
  Open();
  char buf[64] = {0};
  EXPECT_EQ(Call(effVendorSpecific, effGetParamDisplay, 0, buf, 0.0f), 0xBEEF);
  EXPECT_STREQ(buf, "-15.00");
  memset(buf, 0, sizeof(buf));
  EXPECT_EQ(Call(effVendorSpecific, effGetParamDisplay, 99, buf, 0.5f), 0xBEEF);  // nothing written
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(Call(effVendorSpecific, effGetParamDisplay, 0, nullptr, 0.5f), 0);
  EXPECT_EQ(Call(effVendorSpecific, effGetParamName, 6), 0xBEEF);  // int parameter
  EXPECT_EQ(Call(effVendorSpecific, effGetParamName, 7), 0xBEEF);  // untyped parameter
  EXPECT_EQ(Call(effVendorSpecific, effGetParamName, 0), 0);       // double parameter
  EXPECT_EQ(Call(effVendorSpecific, effGetParamName, 99), 0);
  EXPECT_EQ(Call(effVendorSpecific, 3, 0, buf), 0);
}

TEST_F(Dispatcher, PinPropertiesAndSpeakerArrangements)
{
  Open();
  VstPinProperties pin;
  memset(&pin, 0, sizeof(pin));
  EXPECT_EQ(Call(effGetOutputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
  EXPECT_STREQ(pin.label, "Output 1");
  EXPECT_EQ(Call(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(pin.flags, kVstPinIsActive);
  EXPECT_STREQ(pin.label, "Output 2");
  EXPECT_EQ(Call(effGetInputProperties, 0, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Input 1");
  EXPECT_EQ(Call(effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(Call(effGetInputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(Call(effGetInputProperties, 0, 0, nullptr), 0);

  VstSpeakerArrangement* pIn = nullptr;
  VstSpeakerArrangement* pOut = nullptr;
  EXPECT_EQ(Call(effGetSpeakerArrangement, 0, (VstIntPtr)&pIn, &pOut), 1);
  ASSERT_NE(pIn, nullptr);
  ASSERT_NE(pOut, nullptr);
  EXPECT_EQ(pIn->type, kSpeakerArrStereo);
  EXPECT_EQ(pIn->numChannels, 2);
  EXPECT_EQ(pOut->type, kSpeakerArrStereo);
  EXPECT_EQ(Call(effGetSpeakerArrangement, 0, 0, nullptr), 1);

  VstSpeakerArrangement mono;
  memset(&mono, 0, sizeof(mono));
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  EXPECT_EQ(Call(effSetSpeakerArrangement, 0, (VstIntPtr)&mono, nullptr), 1);
  EXPECT_EQ(Call(effSetSpeakerArrangement, 0, 0, nullptr), 1);
}

TEST_F(Dispatcher, ProgramChunkRoundTrips)
{
  Open();
  e->setParameter(e, 0, 0.25f);
  e->setParameter(e, 3, 0.8f);
  const std::vector<unsigned char> chunk = GetChunk(1);
  ASSERT_EQ(chunk.size(), 72u);  // header + 8 doubles
  EXPECT_EQ(memcmp(chunk.data(), "tffp\0\0\1\0", 8), 0);

  e->setParameter(e, 0, 0.5f);
  e->setParameter(e, 3, 0.5f);
  EXPECT_EQ(SetChunk(1, chunk), 1);
  EXPECT_NEAR(e->getParameter(e, 0), 0.25f, 1e-6);
  EXPECT_NEAR(e->getParameter(e, 3), 0.8f, 1e-6);

  void* data = nullptr;
  EXPECT_EQ(Call(effGetChunk, 1, 0, nullptr), 0);
  EXPECT_EQ(Call(effSetChunk, 1, 72, nullptr), 0);
  EXPECT_GT(Call(effGetChunk, 1, 0, &data), 0);
  EXPECT_NE(data, nullptr);
}

TEST_F(Dispatcher, ProgramChunkWithoutHeaderReadsFromTheStart)
{
  Open();
  std::vector<unsigned char> chunk = GetChunk(1);
  ASSERT_EQ(chunk.size(), 72u);
  chunk.erase(chunk.begin(), chunk.begin() + 8);  // the bare 64-byte state
  double outDb = -15.0;
  memcpy(chunk.data(), &outDb, sizeof(double));
  EXPECT_EQ(SetChunk(1, chunk), 1);
  EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.f);
}

TEST_F(Dispatcher, BankChunkRoundTripsAndRefusals)
{
  Open();
  e->setParameter(e, 3, 0.9f);
  Call(effSetProgramName, 0, 0, (void*)"Bright");
  const std::vector<unsigned char> bank = GetChunk(0);
  // header, name length, "Bright", flag, 64 bytes of state
  ASSERT_EQ(bank.size(), 8u + 4 + 6 + 1 + 64);

  e->setParameter(e, 3, 0.1f);
  EXPECT_EQ(SetChunk(0, bank), 1);
  EXPECT_NEAR(e->getParameter(e, 3), 0.9f, 1e-6);
  EXPECT_EQ(Str(effGetProgramName), "Bright");

  // More presets than the plug-in has: read as far as its presets go.
  std::vector<unsigned char> longer = bank;
  longer.insert(longer.end(), bank.begin() + 8, bank.end());
  EXPECT_EQ(SetChunk(0, longer), 1);

  // Truncated state: refused.
  std::vector<unsigned char> truncated(bank.begin(), bank.end() - 10);
  EXPECT_EQ(SetChunk(0, truncated), 0);

  // Fewer presets than the plug-in has (none at all after the header): the
  // name cannot be read, reading stops, refused.
  std::vector<unsigned char> empty(bank.begin(), bank.begin() + 8);
  EXPECT_EQ(SetChunk(0, empty), 0);

  // Garbage: no header, so it is read as one program's state; 7 bytes cannot be.
  EXPECT_EQ(SetChunk(0, {1, 2, 3, 4, 5, 6, 7}), 0);
  EXPECT_EQ(SetChunk(1, {1, 2, 3, 4, 5, 6, 7}), 0);
  // A header whose version is cut off.
  EXPECT_EQ(SetChunk(1, {'t', 'f', 'f', 'p', 0}), 0);
  // A huge declared length field in the name.
  std::vector<unsigned char> hugeName(bank.begin(), bank.begin() + 8);
  for (unsigned char b : {0xff, 0xff, 0xff, 0x7f}) hugeName.push_back(b);
  EXPECT_EQ(SetChunk(0, hugeName), 0);
  EXPECT_EQ(Call(effSetChunk, 0, -5, (void*)"abc"), 0);
}

TEST_F(Dispatcher, OpenAppliesParametersAndIdentifiesTheHostOnce)
{
  Call(effOpen);
  EXPECT_EQ(host.Count(audioMasterGetProductString), 1);
  EXPECT_EQ(host.Count(audioMasterGetVendorVersion), 1);
  Call(effOpen);
  EXPECT_EQ(host.Count(audioMasterGetProductString), 1);
}

TEST(DispatcherHostIdentity, AnUnterminatedProductStringIsCut)
{
  TestHost host;
  host.productString = std::string(63, 'R');  // the host fills its 64 bytes and more below
  gHost = &host;
  void* lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "VSTPluginMain"));
  AEffect* e = entry([](AEffect* fx, VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) -> VstIntPtr {
    if (op == audioMasterGetProductString)
    {
      memset(ptr, 'R', 255);  // never terminated
      return 1;
    }
    return HostCallback(fx, op, index, value, ptr, opt);
  });
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.f);
  char name[64] = {0};
  e->dispatcher(e, effGetEffectName, 0, 0, name, 0.f);
  EXPECT_STREQ(name, "TORVEN");
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  dlclose(lib);
  gHost = nullptr;
}

TEST_F(Dispatcher, ParameterCallbacksAndEditorOpcodesWithoutAWindow)
{
  Open();
  e->setParameter(e, 6, 0.5f);  // bool-like int parameter rounds to its step
  EXPECT_FLOAT_EQ(e->getParameter(e, 6), 1.f);
  EXPECT_EQ(host.Count(audioMasterAutomate), 0);  // the host is not told back

  // The editor is attached from construction; with no window to open into,
  // the open is refused.
  ERect* rect = nullptr;
  ASSERT_EQ(Call(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_TRUE(rect);
  EXPECT_EQ(rect->right - rect->left, 300);
  EXPECT_EQ(rect->bottom - rect->top, 570);
  EXPECT_EQ(Call(effEditGetRect, 0, 0, nullptr), 0);
  EXPECT_EQ(Call(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(Call(effEditClose), 1);
}

TEST_F(Dispatcher, EventsAndUnsupportedOpcodes)
{
  Open();
  VstMidiEvent note;
  memset(&note, 0, sizeof(note));
  note.type = kVstMidiType;
  note.byteSize = sizeof(note);
  note.midiData[0] = (char)0x90;
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  struct
  {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[3];
  } list = {3, 0, {reinterpret_cast<VstEvent*>(&note), nullptr, reinterpret_cast<VstEvent*>(&note)}};
  EXPECT_EQ(Call(effProcessEvents, 0, 0, &list), 1);
  EXPECT_EQ(Call(effProcessEvents, 0, 0, nullptr), 0);

  for (VstInt32 op : {9, 16, 17, 18, 19, 20, 21, 28, 30, 31, 32, 36, 37, 38, 39, 40, 41, 44, 46, 53, 54, 55})
    EXPECT_EQ(Call(op, 0, 0, nullptr), 0) << op;
  for (VstInt32 op : {70, 71, 72, 77, 79, 200, -1}) EXPECT_EQ(Call(op, 1, 1, nullptr, 1.f), 0) << op;
}

TEST(DispatcherNullObject, EveryCallIsANoOp)
{
  void* lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "VSTPluginMain"));
  AEffect* e = entry(SilentHost);
  void* object = e->object;
  e->object = nullptr;
  for (VstInt32 op = 0; op < 80; ++op) EXPECT_EQ(e->dispatcher(e, op, 0, 0, nullptr, 0.f), 0) << op;
  EXPECT_EQ(e->getParameter(e, 0), 0.f);
  e->setParameter(e, 0, 1.f);
  float in[4] = {0}, out[4] = {0};
  float* ins[2] = {in, in};
  float* outs[2] = {out, out};
  e->processReplacing(e, ins, outs, 4);
  EXPECT_EQ(e->dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.f), 0);
  e->object = object;
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  dlclose(lib);
}

TEST(DispatcherScan, HostThatAnswersNothingAndSetsZeroRateAndBlock)
{
  void* lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "VSTPluginMain"));
  AEffect* e = entry(SilentHost);
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effSetBlockSize, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.f);  // resumed twice, no suspend
  char name[64] = {0};
  e->dispatcher(e, effGetEffectName, 0, 0, name, 0.f);
  EXPECT_STREQ(name, "TORVEN");
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  dlclose(lib);
}

}  // namespace
