// IPlugLV2: the LV2 adapter. It turns an LV2 host's calls (instantiate,
// connect_port, activate, run, deactivate, cleanup, the state interface, and
// the UI's port events and idle calls) into IPlugBase calls, and answers the
// framework's questions about the host. It is the only framework code that
// sees the LV2 headers (its sources include them; this header does not).
//
// Ports, in index order: one audio input per input channel, one audio output
// per output channel, then one control input per parameter, in parameter
// order. A control port carries the parameter's plain value, in its own units.
//
// Roles. One class serves both sides of an LV2 plug-in:
// - the plug-in instance (lv2_descriptor): reads its control ports at the start
//   of each run, sets every parameter whose port changed since the last run
//   (IParam::Set, then OnParamChange, as the VST2 adapter does for
//   setParameter), and routes the audio through IPlugBase into
//   ProcessDoubleReplacing. State travels in the layout of the VST2 program
//   chunk (framework header, then SerializeState).
// - the UI instance (lv2ui_descriptor): a parameter mirror that owns the editor.
//   The host's port events set its parameters and move the controls; the
//   editor's changes go to the host as port writes (with touch gestures where
//   the host offers them). It never processes audio and never touches the
//   plug-in instance, which may live in another process.
//
// Lifecycle. The entry point (IPlugLV2_include_in_plug_src.h) constructs the
// plug-in class for each instantiate and deletes it at cleanup.
//
// Threading. run, connect_port, activate, deactivate, save and restore hold the
// instance mutex (recursive); run neither allocates nor takes any other lock.
// The UI's calls come on the host's UI thread; its port events hold the mutex,
// as the editor host does around its own work.
#ifndef IPLUG_IPLUGLV2_H_
#define IPLUG_IPLUGLV2_H_

#include <cstdint>

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/IPlugBase.h"

// How the LV2 build names a parameter's port. mName null (or "") takes the
// parameter's own name; mUnit is a unit of the LV2 units vocabulary ("db",
// "hz", ...) or null.
struct IPlugLV2Port
{
  const char* mSymbol;
  const char* mName;
  const char* mUnit;
};

// What an LV2 plug-in says about itself beyond its parameters: URIs, the
// binaries of its bundle, its class and one port description per parameter.
// Static data of the plug-in; the adapter and the Turtle writer only read it.
struct IPlugLV2Description
{
  const char* mURI;
  const char* mUIURI;        // null: no UI
  const char* mBinary;       // file name of the plug-in binary in the bundle
  const char* mUIBinary;     // file name of the UI binary
  const char* mTurtle;       // file name of the plug-in's data file
  const char* mPluginClass;  // local name in lv2core ("EQPlugin"), or null
  const IPlugLV2Port* mPorts;
  int mNPorts;
};

// The host's UI services for a UI instance (the LV2 write function and the
// optional touch feature), with the LV2 types spelled out.
struct IPlugLV2UIHost
{
  void (*mWrite)(void* controller, uint32_t portIndex, uint32_t bufferSize, uint32_t portProtocol,
                 const void* buffer) = nullptr;
  void* mController = nullptr;
  void (*mTouch)(void* handle, uint32_t portIndex, bool grabbed) = nullptr;
  void* mTouchHandle = nullptr;
};

// What the entry point hands to the plug-in's constructor: null host services
// for the plug-in instance, the UI host's for a UI instance.
struct IPlugInstanceInfo
{
  const IPlugLV2UIHost* mUIHost = nullptr;
};

class IPlugLV2 : public IPlugBase
{
public:
  // The same arguments as the other adapters; plugScChans is not used.
  IPlugLV2(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
           const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
           int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
           int plugScChans);
  ~IPlugLV2() override;

  // Host notifications: port writes and touch gestures from a UI instance;
  // nothing from the plug-in instance (LV2 gives it no way to tell the host).
  // The value written is the parameter's current plain value: the framework
  // sets the parameter before it informs the host.
  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  void InformHostOfProgramChange() override {}

  // No transport: the plug-in has no time port.
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* pNumerator, int* pDenominator) override;
  void GetTime(ITimeInfo*) override {}
  // The editor has a fixed size.
  void ResizeGraphics(int, int) override {}
  // No MIDI ports.
  bool SendMidiMsg(IMidiMsg*) override { return false; }

  bool IsUIInstance() const { return mUIHost != nullptr; }

  // The port layout.
  int NAudioPorts() const { return NInChannels() + NOutChannels(); }
  int NPorts() const { return NAudioPorts() + NParams(); }
  // -1 for an index outside the parameters.
  int ParamPort(int paramIdx) const;
  // The parameter a port controls, -1 for an audio port or an index outside.
  int PortParam(int portIdx) const;
  // Whether a parameter's port is a toggle (two steps, 0 and 1) or an integer
  // (any other stepped range).
  static bool IsToggle(const IParam* pParam);
  static bool IsStepped(const IParam* pParam);
  // The plain value a port's float stands for. The float is read as the
  // shortest decimal that rounds to it, so a value typed as 0.98 in a host
  // reaches the parameter as the double 0.98 (as a typed value does through
  // the VST2 adapter's text path), not as the float's binary neighbour. A
  // toggle is on above 0 (as LV2 defines toggles); other stepped ranges round
  // to the nearest step, as a normalised value does. NaN stays NaN (callers
  // ignore it); the result is not clamped (IParam::Set does that).
  static double PortValueToPlain(const IParam* pParam, float portValue);
  // The double closest to the shortest decimal (up to 12 places) that rounds
  // to v; v itself when there is none.
  static double ShortestDecimal(float v);

  // The plug-in instance's side, called by the descriptor's callbacks (public
  // for them and for tests). Audio and control port buffers are borrowed
  // until the host connects another; null disconnects.
  void LV2ConnectPort(uint32_t port, void* pData);
  void LV2Activate();
  void LV2Deactivate();
  void LV2Run(uint32_t nFrames);
  // The state as the VST2 program chunk: framework header, then
  // SerializeState, after applying control ports that changed since the last
  // run (a host may save before it runs again).
  bool LV2SaveState(ByteChunk* pChunk);
  // Loads a saved state; a blob that does not load fully is refused and the
  // parameters keep every value they had. nBytes above INT32_MAX is refused.
  // The values loaded stand until a control port changes after the restore.
  bool LV2RestoreState(const void* pData, size_t nBytes);

  // The UI instance's side: a float port event sets the parameter and moves
  // its control. Audio ports, other formats and NaN are ignored.
  void LV2PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* pBuffer);

  // Writes manifest.ttl and the plug-in's data file into folder (which must
  // exist), from this instance's parameters and channels and description d.
  // False, with a reason, when a file cannot be written or the description
  // does not fit the instance (a port per parameter, valid symbols).
  bool WriteTurtle(const IPlugLV2Description& d, const char* folder, WDL_String* pError);

private:
  // Applies control port values that changed since the last run.
  void ReadControlPorts();
  // Connects the channels whose ports have buffers, and lists those buffers.
  void BindAudioPorts(float** ppIn, float** ppOut);

  const IPlugLV2UIHost* mUIHost;
  WDL_TypedBuf<float*> mPorts;         // every port's buffer, by port index
  WDL_TypedBuf<float> mLastControl;    // the control values last applied
  WDL_TypedBuf<unsigned char> mSeen;   // whether a control value was applied yet
  WDL_TypedBuf<float*> mInPtrs, mOutPtrs;  // connected channels' buffers, for one run
};

// The entry point's work for the plug-in class that factory makes (one
// plug-in per binary): the LV2_Descriptor for index 0, null for any other.
// Returned as void* so this header needs no LV2 declarations.
typedef IPlugLV2* (*IPlugLV2Factory)(IPlugInstanceInfo info);
const void* IPlugLV2PluginEntry(uint32_t index, const IPlugLV2Description* pDesc, IPlugLV2Factory factory);
// The same for the UI: the LV2UI_Descriptor.
const void* IPlugLV2UIEntry(uint32_t index, const IPlugLV2Description* pDesc, IPlugLV2Factory factory);

#endif  // IPLUG_IPLUGLV2_H_
