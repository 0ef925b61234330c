// XConnection: the Xlib side of an open editor, seen through plain structs.
//
// One XConnection is one Display of our own (never the host's) with the
// editor's child window, the image it copies pixels through, and any popup
// windows (menus, message boxes) shown on top. It is the only code that
// includes Xlib; IGraphicsLinux sees events as XEvent-free records and hands
// pixels in as 32-bit BGRX rows.
//
// Lifecycle. Open() connects, checks the parent window and creates the child
// (mapped, flushed at once). The destructor tears down in the order that keeps
// a closing editor from crashing: popups and the child window are destroyed,
// the shared memory is detached and freed, then the display is closed. The
// caller stops its own threads before destroying the object.
//
// Errors. X errors of this connection go to a per-display hook and are
// counted here; they never reach the process-wide handler a host installed.
// A lost connection (the server went away) marks the object dead instead of
// ending the process: every later call returns at once, and Alive() says so.
//
// Threading. Every public call locks the object's own mutex, so the Xlib
// calls of one connection run on one thread at a time and no XInitThreads is
// needed. Wake() may be called from any thread without that lock, to end a
// Wait() early. Nothing here takes any other lock.
#ifndef IPLUG_SRC_XCONNECTION_P_H_
#define IPLUG_SRC_XCONNECTION_P_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "WDL/IPlug/IGraphics.h"

namespace ixwin {

// A rectangle in window pixels: x, y top-left, w x h.
struct XRectI
{
  int x = 0, y = 0, w = 0, h = 0;
  bool Empty() const { return w <= 0 || h <= 0; }
  XRectI Union(const XRectI& o) const;
  XRectI Clip(int width, int height) const;
};

// Modifier and button state, as a bit set.
enum : unsigned
{
  kModShift = 1u << 0,
  kModControl = 1u << 1,
  kModAlt = 1u << 2,    // Mod1
  kModSuper = 1u << 3,  // Mod4, the Command key
  kModButton1 = 1u << 4,
  kModButton2 = 1u << 5,
  kModButton3 = 1u << 6,
};

enum class EventKind : uint8_t
{
  kButtonDown,
  kButtonUp,
  kMotion,  // the last of a run of motion events (they are coalesced)
  kEnter,
  kLeave,
  kKeyDown,
  kKeyUp,
  kExpose,  // area is the union of a run of exposures
  kFocusIn,
  kFocusOut,
  kMapped,
  kUnmapped,
  kWake,  // a popup's wait ended without input (a timeout tick); not queued
};

// One input event. window is 0 for the editor's child window, else the id
// CreatePopup returned. Positions are pixels in that window, top-left origin.
struct Event
{
  EventKind kind = EventKind::kMotion;
  int window = 0;
  int x = 0, y = 0;
  int rootX = 0, rootY = 0;
  int button = 0;       // 1 left, 2 middle, 3 right, 4/5 wheel up/down, 6/7 sideways
  unsigned mods = 0;    // kMod* before the event
  unsigned long time = 0;  // server time in milliseconds
  // Keys: a named key (IHostKey::ENamed; kOther for keys the editor does
  // not use) for keys without text of their own, else the text they type.
  int key = IHostKey::kNone;
  bool keypad = false;  // the key is on the numeric keypad
  char text[8] = {0};   // UTF-8 the key types, "" when none
  bool synthetic = false;  // sent by another client (a host forwarding keys)
  XRectI area;          // kExpose
};

class XConnection
{
public:
  // Connects to displayName (null: $DISPLAY) and creates a w x h child of
  // parent, mapped. Null with *error set when the display cannot be opened,
  // the parent is 0 or no window of that display, the screen has no 24-bit
  // true-colour visual, or the size is not positive.
  static std::unique_ptr<XConnection> Open(const char* displayName, unsigned long parent, int w, int h,
                                           std::string* error);
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  // False once the connection to the server is lost.
  bool Alive() const;
  unsigned long WindowId() const { return mWindow; }
  unsigned long Parent() const { return mParent; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  // Whether the screen copy goes through MIT-SHM (decided by a live probe).
  bool UsesSharedMemory() const { return mShmInfo != nullptr; }
  // X errors this connection received since it opened.
  int ErrorCount() const;

  // Moves every pending event into *out (appending), coalescing motion and
  // exposure runs. Completion events of the shared image are consumed here.
  void Drain(std::vector<Event>* out);
  // Blocks until the connection has input, Wake() was called or timeoutMs
  // passed (negative: no limit). True when input or a wake arrived.
  bool Wait(int timeoutMs);
  // Ends a Wait() in progress (or the next one) on any thread.
  void Wake();

  // The image the editor's pixels are copied into before a put: Width() x
  // Height() BGRX pixels, ImageSpan() pixels per row. While a shared-memory
  // put is still being read by the server (ImageBusy), the image must not be
  // written; ImageBusy reads pending completions first.
  uint32_t* ImageBits() { return mImageBits; }
  int ImageSpan() const { return mWidth; }
  bool ImageBusy();
  // Copies rows of src (span pixels apart) inside r into the image.
  void CopyToImage(const uint32_t* src, int span, XRectI r);
  // Puts r of the image into the child window and flushes.
  bool PutImage(XRectI r);

  // A round trip: everything sent so far has been handled by the server.
  void Sync();

  void Resize(int w, int h);
  void Unmap();
  // The window is mapped and all its ancestors are (keyboard focus can go to it).
  bool Viewable();

  // Keyboard focus for a text entry: takes it (remembering who had it) when
  // the window is viewable; gives it back. True when taken.
  bool TakeFocus();
  void ReturnFocus();

  // Popups: override-redirect windows at root coordinates, for menus and
  // message boxes. Returns an id > 0, or 0 on failure. With grab the pointer
  // and keyboard go to it until it is destroyed (menus close on a click
  // outside, Escape reaches them).
  int CreatePopup(int rootX, int rootY, int w, int h, bool grab);
  void DestroyPopup(int id);
  // Plain XPutImage of r of a caller-owned BGRX buffer into popup id.
  bool PutPixels(int id, const uint32_t* bits, int span, XRectI r);
  // The child window's top-left corner in root coordinates, and the screen size.
  bool WindowOrigin(int* rootX, int* rootY);
  void ScreenSize(int* w, int* h);

  // The pointer in root coordinates: where it is, and warping it there.
  bool QueryPointer(int* rootX, int* rootY);
  void WarpPointer(int rootX, int rootY);
  void SetCursorHidden(bool hidden);

  // The CLIPBOARD selection as UTF-8 text, waiting at most timeoutMs.
  bool ClipboardText(std::string* text, int timeoutMs);

  // The connection's file descriptor (for counting in tests), -1 when dead.
  int Fd() const;

  // Xlib state, defined where Xlib is included.
  struct Impl;

private:
  XConnection();
  void DestroyImage();
  bool CreateImage();

  mutable std::recursive_mutex mMutex;
  Impl* mImpl = nullptr;
  unsigned long mWindow = 0;
  unsigned long mParent = 0;
  int mWidth = 0, mHeight = 0;
  uint32_t* mImageBits = nullptr;
  void* mShmInfo = nullptr;  // XShmSegmentInfo* when MIT-SHM is in use
  int mWakeFd = -1;
};

}  // namespace ixwin

#endif  // IPLUG_SRC_XCONNECTION_P_H_
