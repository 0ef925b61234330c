// IGraphicsLinux: the editor host for X11.
//
// Lifecycle. The plug-in creates it (MakeGraphics), attaches its controls and
// hands it to the framework, which owns it for the instance's life. Each
// OpenWindow (the host's effEditOpen) starts a session: a Display connection
// of our own, a child window of the host's window of the editor's size, and a
// fallback timer thread. CloseWindow (effEditClose, a second OpenWindow, the
// destructor, or the display going away) ends it: the timer stops, then our
// windows are destroyed, the shared memory freed and the connection closed,
// in that order.
//
// Repaint. The host's idle call (OnHostIdle, 15 to 60 times a second) is the
// redraw timer: it drains the connection's events into the IGraphics calls,
// then runs IsDirty -> Draw -> DrawScreen. When a host sends no idle call for
// 250 ms while the editor is open, the session's own thread runs the same tick
// at the editor's frame rate until idle calls come again. A tick with nothing
// dirty and no events does no drawing and no X request.
//
// Threading. A tick holds the plug-in's instance mutex around its editor work
// (event routing, IsDirty, Draw and the copy into the put image), so host calls
// from the audio thread never interleave with it; the put to the screen runs
// after the mutex is released. One tick runs at a time. Popup menus and message
// boxes run modally inside the call, with the instance mutex released while
// they wait for input. A close from any thread never waits on a thread that
// waits on the instance mutex: when a tick is in progress elsewhere, the
// session's teardown is left to that tick's end.
//
// Images come from a table of PNG files compiled into the plug-in (base name
// -> bytes), handed over with SetResources; nothing is read from disk.
#ifndef IPLUG_IGRAPHICSLINUX_H_
#define IPLUG_IGRAPHICSLINUX_H_

#include "WDL/IPlug/IGraphics.h"

#include <memory>

// A PNG compiled into the plug-in: its base name (file name without folders
// and extension) and bytes.
struct IPNGResource
{
  const char* mName;
  const unsigned char* mData;
  int mSize;
};

class IGraphicsLinux : public IGraphics
{
public:
  IGraphicsLinux(IPlugBase* pPlug, int w, int h, int fps = 0);
  ~IGraphicsLinux() override;

  // The plug-in's image table; it must outlive the editor (a static table).
  void SetResources(const IPNGResource* pTable, int n);
  void SetBundleID(const char* id) { mBundleID.Set(id); }
  const char* GetBundleID() const { return mBundleID.Get(); }
  // The name the value readout shows for a parameter instead of its host name
  // (null or "" restores the host name).
  void SetReadoutName(int paramIdx, const char* name);

  // Platform operations.
  bool DrawScreen(IRECT* pR) override;
  void ForceEndUserEdit() override;
  void Resize(int w, int h) override;
  const char* GetGUIAPI() override { return "X11 GUI"; }
  int ShowMessageBox(const char* text, const char* caption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) override;
  void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* str, IParam* pParam) override;
  void HostPath(WDL_String* pPath) override;
  void PluginPath(WDL_String* pPath) override;
  void DesktopPath(WDL_String* pPath) override;
  void AppSupportPath(WDL_String* pPath, bool isSystem = false) override;
  void SandboxSafeAppSupportPath(WDL_String* pPath) override;
  void PromptForFile(WDL_String* pFile, EFileAction action = kFileOpen, WDL_String* pDir = nullptr,
                     const char* extensions = "") override;
  bool PromptForColor(IColor*, const char* = "") override { return false; }
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  // pParentWnd is the host's X11 Window (an XID, not a pointer). Returns the
  // child window's XID as a pointer, or null.
  void* OpenWindow(void* pParentWnd) override;
  void CloseWindow() override;
  void* GetWindow() override;
  bool GetTextFromClipboard(WDL_String* pStr) override;
  void HideMouseCursor() override;
  void ShowMouseCursor() override;
  void UpdateTooltips() override;
  LICE_IBitmap* OSLoadBitmap(int ID, const char* name) override;

  void OnHostIdle() override;
  bool OnHostKey(const IHostKey& key, bool down) override;

  // For tests and tools: the X connection's descriptor (-1 when closed), the
  // number of sessions whose teardown is still pending, and whether the
  // fallback timer currently drives the editor.
  int ConnectionFd();
  int PendingTeardowns();
  bool TimerDriving();
  struct Impl;

private:
  Impl* mImpl;
  WDL_String mBundleID;
};

#endif  // IPLUG_IGRAPHICSLINUX_H_
