// The Xlib side of the editor host. See XConnection_p.h for the contract.
#include "WDL/IPlug/src/XConnection_p.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
// For xError, the wire record the per-display error hook receives; it also
// defines min and max as macros.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace ixwin {

XRectI XRectI::Union(const XRectI& o) const
{
  if (Empty()) return o;
  if (o.Empty()) return *this;
  const int l = std::min(x, o.x), t = std::min(y, o.y);
  const int r = std::max(x + w, o.x + o.w), b = std::max(y + h, o.y + o.h);
  return {l, t, r - l, b - t};
}

XRectI XRectI::Clip(int width, int height) const
{
  const int l = std::max(x, 0), t = std::max(y, 0);
  const int r = std::min(x + w, width), b = std::min(y + h, height);
  if (r <= l || b <= t) return {};
  return {l, t, r - l, b - t};
}

namespace {

// A shared-memory put whose completion never came (the window went away, the
// server dropped it) must not stop the editor for good.
constexpr auto kShmCompletionTimeout = std::chrono::milliseconds(500);

// Which displays are ours, so the process-wide IO handler can tell them from
// the host's. Guarded by gRegistryMutex.
std::mutex gRegistryMutex;
std::vector<Display*> gOurDisplays;

bool IsOurDisplay(Display* d)
{
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  return std::find(gOurDisplays.begin(), gOurDisplays.end(), d) != gOurDisplays.end();
}

// The process-wide IO error handler is ours only around our own Xlib calls
// (save and restore), and the host's handler still sees its own displays.
// Nesting (a modal loop inside a tick, several editors on several threads)
// is counted: the first entry saves, the last exit restores.
std::mutex gHandlerMutex;
int gHandlerDepth = 0;
XIOErrorHandler gPrevIOHandler = nullptr;

int OurIOHandler(Display* d)
{
  // Our display: the exit handler marks it dead; nothing else must happen.
  if (IsOurDisplay(d)) return 0;
  return gPrevIOHandler ? gPrevIOHandler(d) : 0;
}

class ScopedIOHandler
{
public:
  ScopedIOHandler()
  {
    std::lock_guard<std::mutex> lock(gHandlerMutex);
    if (gHandlerDepth++ == 0) gPrevIOHandler = XSetIOErrorHandler(OurIOHandler);
  }
  ~ScopedIOHandler()
  {
    std::lock_guard<std::mutex> lock(gHandlerMutex);
    if (--gHandlerDepth == 0)
    {
      // Someone (another plug-in, the host) replaced ours in between: theirs stays.
      XIOErrorHandler current = XSetIOErrorHandler(gPrevIOHandler);
      if (current != OurIOHandler) XSetIOErrorHandler(current);
      gPrevIOHandler = nullptr;
    }
  }
  ScopedIOHandler(const ScopedIOHandler&) = delete;
  ScopedIOHandler& operator=(const ScopedIOHandler&) = delete;
};

// Latin-1 and Unicode keysyms to UTF-8; other keysyms type nothing.
int KeysymToUTF8(KeySym ks, char* out)
{
  unsigned long cp = 0;
  if ((ks >= 0x20 && ks <= 0x7e) || (ks >= 0xa0 && ks <= 0xff)) cp = ks;
  else if ((ks & 0xff000000ul) == 0x01000000ul) cp = ks & 0x00fffffful;
  else return 0;
  if (cp < 0x80)
  {
    out[0] = (char)cp;
    return 1;
  }
  if (cp < 0x800)
  {
    out[0] = (char)(0xc0 | (cp >> 6));
    out[1] = (char)(0x80 | (cp & 0x3f));
    return 2;
  }
  if (cp < 0x10000)
  {
    out[0] = (char)(0xe0 | (cp >> 12));
    out[1] = (char)(0x80 | ((cp >> 6) & 0x3f));
    out[2] = (char)(0x80 | (cp & 0x3f));
    return 3;
  }
  if (cp < 0x110000)
  {
    out[0] = (char)(0xf0 | (cp >> 18));
    out[1] = (char)(0x80 | ((cp >> 12) & 0x3f));
    out[2] = (char)(0x80 | ((cp >> 6) & 0x3f));
    out[3] = (char)(0x80 | (cp & 0x3f));
    return 4;
  }
  return 0;
}

unsigned ModsFromState(unsigned state)
{
  unsigned m = 0;
  if (state & ShiftMask) m |= kModShift;
  if (state & ControlMask) m |= kModControl;
  if (state & Mod1Mask) m |= kModAlt;
  if (state & Mod4Mask) m |= kModSuper;
  if (state & Button1Mask) m |= kModButton1;
  if (state & Button2Mask) m |= kModButton2;
  if (state & Button3Mask) m |= kModButton3;
  return m;
}

// The key of a key event: a named key for keys without text, the text for
// the others. Keypad digits and operators type their character.
void TranslateKey(XKeyEvent* ke, Event* e)
{
  char latin[16];
  KeySym ks = 0;
  XLookupString(ke, latin, sizeof(latin), &ks, nullptr);
  e->keypad = (ks >= XK_KP_Space && ks <= XK_KP_9) || ks == XK_KP_Equal;
  switch (ks)
  {
    case XK_Left: case XK_KP_Left: e->key = IHostKey::kLeft; return;
    case XK_Right: case XK_KP_Right: e->key = IHostKey::kRight; return;
    case XK_Up: case XK_KP_Up: e->key = IHostKey::kUp; return;
    case XK_Down: case XK_KP_Down: e->key = IHostKey::kDown; return;
    case XK_Home: case XK_KP_Home: e->key = IHostKey::kHome; return;
    case XK_End: case XK_KP_End: e->key = IHostKey::kEnd; return;
    case XK_Page_Up: case XK_KP_Page_Up: e->key = IHostKey::kPageUp; return;
    case XK_Page_Down: case XK_KP_Page_Down: e->key = IHostKey::kPageDown; return;
    case XK_BackSpace: e->key = IHostKey::kBackspace; return;
    case XK_Delete: case XK_KP_Delete: e->key = IHostKey::kDelete; return;
    case XK_Return: case XK_KP_Enter: e->key = IHostKey::kReturn; return;
    case XK_Escape: e->key = IHostKey::kEscape; return;
    case XK_Tab: case XK_ISO_Left_Tab: case XK_KP_Tab: e->key = IHostKey::kTab; return;
    case XK_space: case XK_KP_Space:
      e->key = IHostKey::kSpace;
      e->text[0] = ' ';
      return;
    default: break;
  }
  if (ks >= XK_KP_0 && ks <= XK_KP_9)
  {
    e->text[0] = (char)('0' + (ks - XK_KP_0));
    return;
  }
  switch (ks)
  {
    case XK_KP_Decimal: e->text[0] = '.'; return;
    case XK_KP_Separator: e->text[0] = ','; return;
    case XK_KP_Add: e->text[0] = '+'; return;
    case XK_KP_Subtract: e->text[0] = '-'; return;
    case XK_KP_Multiply: e->text[0] = '*'; return;
    case XK_KP_Divide: e->text[0] = '/'; return;
    case XK_KP_Equal: e->text[0] = '='; return;
    default: break;
  }
  if (KeysymToUTF8(ks, e->text) == 0) e->key = IHostKey::kOther;
}

}  // namespace

struct XConnection::Impl
{
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  Colormap colormap = 0;
  bool ownColormap = false;
  GC gc = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo shm = {};
  int shmCompletionType = -1;
  bool shmPending = false;
  std::chrono::steady_clock::time_point shmPutTime;
  std::atomic<bool> dead{false};
  std::atomic<int> errors{0};
  Cursor blankCursor = 0;
  bool cursorHidden = false;
  Window prevFocus = 0;
  int prevRevert = RevertToParent;
  bool focusTaken = false;
  Atom clipboard = 0, utf8String = 0, selectionProp = 0;
  struct Popup
  {
    int id;
    Window window;
    bool grab;
  };
  std::vector<Popup> popups;
  int nextPopupId = 1;

  Window PopupWindow(int id) const
  {
    for (const Popup& p : popups)
      if (p.id == id) return p.window;
    return 0;
  }
  int WindowId(Window w, Window child) const
  {
    if (w == child) return 0;
    for (const Popup& p : popups)
      if (p.window == w) return p.id;
    return -1;
  }
  // Errors raised by the calls since the last mark: everything sent is
  // synced first so the errors have arrived.
  int Mark() const { return errors.load(); }
  bool FailedSince(int mark)
  {
    if (!dead) XSync(dpy, False);
    return errors.load() != mark || dead;
  }

  // Per-display hooks: X errors of our connection end here, never in the
  // host's handler; a lost connection ends our editor, not the process.
  static Bool ErrorHook(Display* d, XErrorEvent*, xError*);
  static void ExitHook(Display* d, void* data);
};

namespace {

// The Impl of each display for the error hook (it receives no user data).
std::vector<std::pair<Display*, XConnection::Impl*>> gImpls;  // guarded by gRegistryMutex

}  // namespace

Bool XConnection::Impl::ErrorHook(Display* d, XErrorEvent*, xError*)
{
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  for (auto& p : gImpls)
    if (p.first == d) ++p.second->errors;
  return False;  // handled: Xlib reports it to no handler
}

void XConnection::Impl::ExitHook(Display*, void* data)
{
  static_cast<Impl*>(data)->dead = true;
}

// Every public call runs under the object's mutex and with our IO handler in place.
#define IXWIN_LOCK()                                  \
  std::lock_guard<std::recursive_mutex> guard(mMutex); \
  ScopedIOHandler ioHandler;

XConnection::XConnection() : mImpl(new Impl) {}

std::unique_ptr<XConnection> XConnection::Open(const char* displayName, unsigned long parent, int w, int h,
                                               std::string* error)
{
  std::string scratch;
  if (!error) error = &scratch;
  if (!parent)
  {
    *error = "no parent window";
    return nullptr;
  }
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384)
  {
    *error = "bad editor size";
    return nullptr;
  }
  std::unique_ptr<XConnection> c(new XConnection());
  Impl* im = c->mImpl;
  {
    ScopedIOHandler ioHandler;
    im->dpy = XOpenDisplay(displayName);
  }
  if (!im->dpy)
  {
    *error = std::string("cannot open display ") + XDisplayName(displayName);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    gOurDisplays.push_back(im->dpy);
    gImpls.push_back({im->dpy, im});
  }
  Display* d = im->dpy;
  // Every error code of this display, whether it arrives with a reply or
  // among events, is turned over to our hook before any handler sees it.
  for (int code = 1; code < 256; ++code) XESetWireToError(d, code, &Impl::ErrorHook);
  XSetIOErrorExitHandler(d, &Impl::ExitHook, im);
  c->mWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

  std::lock_guard<std::recursive_mutex> guard(c->mMutex);
  ScopedIOHandler ioHandler;

  // The parent must be a window of this display; its screen is ours.
  XWindowAttributes pa;
  memset(&pa, 0, sizeof(pa));
  const int mark = im->Mark();
  const Status ok = XGetWindowAttributes(d, (Window)parent, &pa);
  if (!ok || im->FailedSince(mark) || !pa.screen)
  {
    *error = "the parent window does not exist";
    return nullptr;
  }
  im->screen = XScreenNumberOfScreen(pa.screen);
  im->root = RootWindow(d, im->screen);

  XVisualInfo vi;
  if (!XMatchVisualInfo(d, im->screen, 24, TrueColor, &vi) || vi.red_mask != 0xff0000 ||
      vi.green_mask != 0xff00 || vi.blue_mask != 0xff)
  {
    *error = "the screen has no 24-bit true-colour visual";
    return nullptr;
  }
  im->visual = vi.visual;
  im->depth = 24;
  if (vi.visual == DefaultVisual(d, im->screen))
  {
    im->colormap = DefaultColormap(d, im->screen);
  }
  else
  {
    im->colormap = XCreateColormap(d, im->root, vi.visual, AllocNone);
    im->ownColormap = true;
  }

  XSetWindowAttributes swa;
  memset(&swa, 0, sizeof(swa));
  swa.colormap = im->colormap;
  swa.border_pixel = 0;
  swa.background_pixmap = None;  // we repaint every exposure ourselves: no flash of background
  swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                   LeaveWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask;
  const int mark2 = im->Mark();
  Window win = XCreateWindow(d, (Window)parent, 0, 0, (unsigned)w, (unsigned)h, 0, im->depth, InputOutput,
                             im->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &swa);
  if (!win || im->FailedSince(mark2))
  {
    *error = "cannot create the editor window";
    return nullptr;
  }
  c->mWindow = win;
  c->mParent = parent;
  c->mWidth = w;
  c->mHeight = h;
  XGCValues gcv;
  memset(&gcv, 0, sizeof(gcv));
  gcv.graphics_exposures = False;
  im->gc = XCreateGC(d, win, GCGraphicsExposures, &gcv);
  im->clipboard = XInternAtom(d, "CLIPBOARD", False);
  im->utf8String = XInternAtom(d, "UTF8_STRING", False);
  im->selectionProp = XInternAtom(d, "IPLUG_SELECTION", False);
  if (!c->CreateImage())
  {
    *error = "cannot create the editor image";
    return nullptr;
  }
  XMapWindow(d, win);
  XFlush(d);
  return c;
}

bool XConnection::CreateImage()
{
  Impl* im = mImpl;
  Display* d = im->dpy;
  // MIT-SHM only after a live probe: a remote display or a sandbox refuses the
  // attach, which arrives as an error on the sync.
  int major = 0, minor = 0;
  Bool pixmaps = False;
  int opcode = 0, event = 0, firstError = 0;
  if (XQueryExtension(d, "MIT-SHM", &opcode, &event, &firstError) && XShmQueryVersion(d, &major, &minor, &pixmaps))
  {
    XShmSegmentInfo* info = &im->shm;
    memset(info, 0, sizeof(*info));
    info->shmid = -1;
    XImage* img = XShmCreateImage(d, im->visual, (unsigned)im->depth, ZPixmap, nullptr, info, (unsigned)mWidth,
                                  (unsigned)mHeight);
    bool ok = img && img->bits_per_pixel == 32 && img->byte_order == LSBFirst && img->bytes_per_line == mWidth * 4;
    if (ok)
    {
      info->shmid = shmget(IPC_PRIVATE, (size_t)img->bytes_per_line * (size_t)img->height, IPC_CREAT | 0600);
      ok = info->shmid >= 0;
    }
    if (ok)
    {
      info->shmaddr = img->data = static_cast<char*>(shmat(info->shmid, nullptr, 0));
      ok = info->shmaddr != reinterpret_cast<char*>(-1);
      if (!ok) info->shmaddr = img->data = nullptr;
    }
    if (ok)
    {
      info->readOnly = False;
      const int mark = im->Mark();
      ok = XShmAttach(d, info) && !im->FailedSince(mark);
      if (!ok) info->shmseg = 0;
    }
    // Marked for removal at once: the segment goes away with the last detach
    // even if the process dies.
    if (info->shmid >= 0) shmctl(info->shmid, IPC_RMID, nullptr);
    if (ok)
    {
      im->image = img;
      im->shmCompletionType = XShmGetEventBase(d) + ShmCompletion;
      mImageBits = reinterpret_cast<uint32_t*>(img->data);
      mShmInfo = info;
      return true;
    }
    if (info->shmaddr) shmdt(info->shmaddr);
    memset(info, 0, sizeof(*info));
    if (img)
    {
      img->data = nullptr;
      XDestroyImage(img);
    }
  }

  // Plain XPutImage: Xlib copies the pixels into its request, so the buffer
  // may be written again as soon as the put returns.
  char* data = static_cast<char*>(calloc((size_t)mWidth * (size_t)mHeight, 4));
  if (!data) return false;
  XImage* img = XCreateImage(d, im->visual, (unsigned)im->depth, ZPixmap, 0, data, (unsigned)mWidth,
                             (unsigned)mHeight, 32, mWidth * 4);
  if (!img || img->bits_per_pixel != 32)
  {
    if (img) XDestroyImage(img);  // frees data
    else free(data);
    return false;
  }
  // Our pixels are little-endian BGRX whatever the server's order; Xlib swaps.
  img->byte_order = LSBFirst;
  im->image = img;
  mImageBits = reinterpret_cast<uint32_t*>(data);
  return true;
}

void XConnection::DestroyImage()
{
  Impl* im = mImpl;
  if (!im->image) return;
  if (mShmInfo)
  {
    if (!im->dead)
    {
      XShmDetach(im->dpy, &im->shm);
      XSync(im->dpy, False);
    }
    shmdt(im->shm.shmaddr);
    im->image->data = nullptr;
    mShmInfo = nullptr;
    im->shmPending = false;
  }
  XDestroyImage(im->image);  // frees a plain image's pixels
  im->image = nullptr;
  mImageBits = nullptr;
}

XConnection::~XConnection()
{
  Impl* im = mImpl;
  if (im->dpy)
  {
    std::lock_guard<std::recursive_mutex> guard(mMutex);
    ScopedIOHandler ioHandler;
    Display* d = im->dpy;
    if (!im->dead)
    {
      if (im->focusTaken) ReturnFocus();
      for (const Impl::Popup& p : im->popups)
      {
        if (p.grab)
        {
          XUngrabPointer(d, CurrentTime);
          XUngrabKeyboard(d, CurrentTime);
        }
        XDestroyWindow(d, p.window);
      }
      if (mWindow) XDestroyWindow(d, mWindow);
      // The parent (and with it our window) may be gone already: that error
      // ends in our hook.
      XSync(d, False);
    }
    im->popups.clear();
    DestroyImage();
    // The GC is client memory too: it is freed even on a dead connection.
    if (im->gc) XFreeGC(d, im->gc);
    if (!im->dead)
    {
      if (im->blankCursor) XFreeCursor(d, im->blankCursor);
      if (im->ownColormap) XFreeColormap(d, im->colormap);
    }
    XCloseDisplay(d);
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    gOurDisplays.erase(std::remove(gOurDisplays.begin(), gOurDisplays.end(), d), gOurDisplays.end());
    gImpls.erase(std::remove_if(gImpls.begin(), gImpls.end(), [d](const auto& p) { return p.first == d; }),
                 gImpls.end());
  }
  if (mWakeFd >= 0) close(mWakeFd);
  delete im;
}

bool XConnection::Alive() const
{
  return mImpl->dpy && !mImpl->dead;
}

int XConnection::ErrorCount() const
{
  return mImpl->errors.load();
}

int XConnection::Fd() const
{
  std::lock_guard<std::recursive_mutex> guard(mMutex);
  return Alive() ? ConnectionNumber(mImpl->dpy) : -1;
}

void XConnection::Drain(std::vector<Event>* out)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (im->dead) return;
  Display* d = im->dpy;
  // Exposures of one window are merged into one event at the first one's place.
  int exposeIndex[2] = {-1, -1};  // child window, any popup
  while (!im->dead && XPending(d) > 0)
  {
    XEvent xe;
    XNextEvent(d, &xe);
    if (im->image && xe.type == im->shmCompletionType)
    {
      im->shmPending = false;
      continue;
    }
    Event e;
    e.synthetic = xe.xany.send_event != 0;
    e.window = im->WindowId(xe.xany.window, mWindow);
    if (e.window < 0) continue;
    switch (xe.type)
    {
      case ButtonPress:
      case ButtonRelease:
        e.kind = xe.type == ButtonPress ? EventKind::kButtonDown : EventKind::kButtonUp;
        e.x = xe.xbutton.x;
        e.y = xe.xbutton.y;
        e.rootX = xe.xbutton.x_root;
        e.rootY = xe.xbutton.y_root;
        e.button = (int)xe.xbutton.button;
        e.mods = ModsFromState(xe.xbutton.state);
        e.time = xe.xbutton.time;
        break;
      case MotionNotify:
        e.kind = EventKind::kMotion;
        e.x = xe.xmotion.x;
        e.y = xe.xmotion.y;
        e.rootX = xe.xmotion.x_root;
        e.rootY = xe.xmotion.y_root;
        e.mods = ModsFromState(xe.xmotion.state);
        e.time = xe.xmotion.time;
        // A run of motion collapses into its last position.
        if (!out->empty() && out->back().kind == EventKind::kMotion && out->back().window == e.window)
        {
          out->back() = e;
          continue;
        }
        break;
      case EnterNotify:
      case LeaveNotify:
        // Crossings caused by grabs are not the pointer moving.
        if (xe.xcrossing.mode != NotifyNormal) continue;
        e.kind = xe.type == EnterNotify ? EventKind::kEnter : EventKind::kLeave;
        e.x = xe.xcrossing.x;
        e.y = xe.xcrossing.y;
        e.mods = ModsFromState(xe.xcrossing.state);
        e.time = xe.xcrossing.time;
        break;
      case KeyPress:
      case KeyRelease:
        e.kind = xe.type == KeyPress ? EventKind::kKeyDown : EventKind::kKeyUp;
        e.x = xe.xkey.x;
        e.y = xe.xkey.y;
        e.mods = ModsFromState(xe.xkey.state);
        e.time = xe.xkey.time;
        TranslateKey(&xe.xkey, &e);
        break;
      case Expose:
      {
        XRectI a{xe.xexpose.x, xe.xexpose.y, xe.xexpose.width, xe.xexpose.height};
        int& idx = exposeIndex[e.window == 0 ? 0 : 1];
        if (idx >= 0 && (*out)[idx].window == e.window)
        {
          (*out)[idx].area = (*out)[idx].area.Union(a);
          continue;
        }
        e.kind = EventKind::kExpose;
        e.area = a;
        idx = (int)out->size();
        break;
      }
      case FocusIn:
      case FocusOut:
        if (xe.xfocus.mode != NotifyNormal && xe.xfocus.mode != NotifyWhileGrabbed) continue;
        e.kind = xe.type == FocusIn ? EventKind::kFocusIn : EventKind::kFocusOut;
        break;
      case MapNotify: e.kind = EventKind::kMapped; break;
      case UnmapNotify: e.kind = EventKind::kUnmapped; break;
      default: continue;
    }
    out->push_back(e);
  }
}

bool XConnection::Wait(int timeoutMs)
{
  int fd = -1;
  {
    IXWIN_LOCK();
    if (!mImpl->dead)
    {
      XFlush(mImpl->dpy);
      if (XPending(mImpl->dpy) > 0) return true;
      fd = ConnectionNumber(mImpl->dpy);
    }
  }
  pollfd fds[2];
  int n = 0;
  if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
  if (mWakeFd >= 0) fds[n++] = {mWakeFd, POLLIN, 0};
  if (n == 0) return false;
  const int r = poll(fds, (nfds_t)n, timeoutMs);
  if (r <= 0) return false;
  if (mWakeFd >= 0 && (fds[n - 1].revents & POLLIN))
  {
    uint64_t v;
    while (read(mWakeFd, &v, sizeof(v)) == (ssize_t)sizeof(v)) {}
  }
  return true;
}

void XConnection::Wake()
{
  if (mWakeFd < 0) return;
  const uint64_t one = 1;
  ssize_t r = write(mWakeFd, &one, sizeof(one));
  (void)r;
}

bool XConnection::ImageBusy()
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (!im->shmPending || im->dead) return false;
  XEvent xe;
  while (XCheckTypedEvent(im->dpy, im->shmCompletionType, &xe)) im->shmPending = false;
  if (im->shmPending && std::chrono::steady_clock::now() - im->shmPutTime > kShmCompletionTimeout)
    im->shmPending = false;
  return im->shmPending;
}

void XConnection::CopyToImage(const uint32_t* src, int span, XRectI r)
{
  std::lock_guard<std::recursive_mutex> guard(mMutex);
  r = r.Clip(mWidth, mHeight);
  if (r.Empty() || !src || !mImageBits) return;
  const int dspan = ImageSpan();
  for (int y = r.y; y < r.y + r.h; ++y)
    memcpy(mImageBits + (size_t)y * dspan + r.x, src + (size_t)y * span + r.x, (size_t)r.w * 4);
}

bool XConnection::PutImage(XRectI r)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  r = r.Clip(mWidth, mHeight);
  if (im->dead || !im->image || r.Empty()) return false;
  if (mShmInfo)
  {
    if (!XShmPutImage(im->dpy, mWindow, im->gc, im->image, r.x, r.y, r.x, r.y, (unsigned)r.w, (unsigned)r.h, True))
      return false;
    im->shmPending = true;
    im->shmPutTime = std::chrono::steady_clock::now();
  }
  else
  {
    XPutImage(im->dpy, mWindow, im->gc, im->image, r.x, r.y, r.x, r.y, (unsigned)r.w, (unsigned)r.h);
  }
  XFlush(im->dpy);
  return true;
}

void XConnection::Sync()
{
  IXWIN_LOCK();
  if (!mImpl->dead) XSync(mImpl->dpy, False);
}

void XConnection::Resize(int w, int h)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (im->dead || w <= 0 || h <= 0 || (w == mWidth && h == mHeight)) return;
  DestroyImage();
  mWidth = w;
  mHeight = h;
  XResizeWindow(im->dpy, mWindow, (unsigned)w, (unsigned)h);
  CreateImage();
  XFlush(im->dpy);
}

void XConnection::Unmap()
{
  IXWIN_LOCK();
  if (mImpl->dead) return;
  XUnmapWindow(mImpl->dpy, mWindow);
  XFlush(mImpl->dpy);
}

bool XConnection::Viewable()
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (im->dead) return false;
  XWindowAttributes wa;
  const int mark = im->Mark();
  if (!XGetWindowAttributes(im->dpy, mWindow, &wa) || im->FailedSince(mark)) return false;
  return wa.map_state == IsViewable;
}

bool XConnection::TakeFocus()
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (im->dead) return false;
  if (im->focusTaken) return true;
  if (!Viewable()) return false;
  XGetInputFocus(im->dpy, &im->prevFocus, &im->prevRevert);
  const int mark = im->Mark();
  XSetInputFocus(im->dpy, mWindow, RevertToParent, CurrentTime);
  if (im->FailedSince(mark)) return false;
  im->focusTaken = true;
  return true;
}

void XConnection::ReturnFocus()
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (!im->focusTaken || im->dead) return;
  im->focusTaken = false;
  // Only while we still have it: the user may have clicked elsewhere since.
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(im->dpy, &focus, &revert);
  if (focus != mWindow) return;
  // The earlier holder may be gone: the error ends in our hook and the focus
  // falls back to the host's window.
  const int mark = im->Mark();
  if (im->prevFocus != None && im->prevFocus != mWindow)
    XSetInputFocus(im->dpy, im->prevFocus, im->prevRevert, CurrentTime);
  if (im->prevFocus == None || im->prevFocus == mWindow || im->FailedSince(mark))
    XSetInputFocus(im->dpy, (Window)mParent, RevertToParent, CurrentTime);
  XFlush(im->dpy);
}

int XConnection::CreatePopup(int rootX, int rootY, int w, int h, bool grab)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (im->dead || w <= 0 || h <= 0) return 0;
  Display* d = im->dpy;
  XSetWindowAttributes swa;
  memset(&swa, 0, sizeof(swa));
  swa.override_redirect = True;
  swa.save_under = True;
  swa.colormap = im->colormap;
  swa.border_pixel = 0;
  swa.background_pixmap = None;
  swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                   KeyReleaseMask | LeaveWindowMask | EnterWindowMask | StructureNotifyMask;
  const int mark = im->Mark();
  Window win = XCreateWindow(d, im->root, rootX, rootY, (unsigned)w, (unsigned)h, 0, im->depth, InputOutput,
                             im->visual,
                             CWOverrideRedirect | CWSaveUnder | CWColormap | CWBorderPixel | CWBackPixmap |
                                 CWEventMask,
                             &swa);
  if (!win || im->FailedSince(mark)) return 0;
  XMapRaised(d, win);
  XSync(d, False);
  bool grabbed = false;
  if (grab)
  {
    const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                          LeaveWindowMask;
    grabbed = XGrabPointer(d, win, False, mask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) ==
              GrabSuccess;
    XGrabKeyboard(d, win, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  }
  const int id = im->nextPopupId++;
  im->popups.push_back({id, win, grab || grabbed});
  XFlush(d);
  return id;
}

void XConnection::DestroyPopup(int id)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  for (size_t i = 0; i < im->popups.size(); ++i)
  {
    if (im->popups[i].id != id) continue;
    if (!im->dead)
    {
      if (im->popups[i].grab)
      {
        XUngrabPointer(im->dpy, CurrentTime);
        XUngrabKeyboard(im->dpy, CurrentTime);
      }
      XDestroyWindow(im->dpy, im->popups[i].window);
      XFlush(im->dpy);
    }
    im->popups.erase(im->popups.begin() + (long)i);
    return;
  }
}

bool XConnection::PutPixels(int id, const uint32_t* bits, int span, XRectI r)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  Window win = id == 0 ? mWindow : im->PopupWindow(id);
  if (im->dead || !win || !bits || r.Empty() || span <= 0) return false;
  // An image header over the caller's rows; Xlib copies them out during the put.
  XImage* img = XCreateImage(im->dpy, im->visual, (unsigned)im->depth, ZPixmap, 0,
                             reinterpret_cast<char*>(const_cast<uint32_t*>(bits)), (unsigned)(r.x + r.w),
                             (unsigned)(r.y + r.h), 32, span * 4);
  if (!img) return false;
  img->byte_order = LSBFirst;
  XPutImage(im->dpy, win, im->gc, img, r.x, r.y, r.x, r.y, (unsigned)r.w, (unsigned)r.h);
  img->data = nullptr;
  XDestroyImage(img);
  XFlush(im->dpy);
  return true;
}

bool XConnection::WindowOrigin(int* rootX, int* rootY)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  *rootX = *rootY = 0;
  if (im->dead) return false;
  Window child = 0;
  return XTranslateCoordinates(im->dpy, mWindow, im->root, 0, 0, rootX, rootY, &child) != 0;
}

void XConnection::ScreenSize(int* w, int* h)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  *w = im->dead ? 0 : DisplayWidth(im->dpy, im->screen);
  *h = im->dead ? 0 : DisplayHeight(im->dpy, im->screen);
}

bool XConnection::QueryPointer(int* rootX, int* rootY)
{
  IXWIN_LOCK();
  *rootX = *rootY = 0;
  if (mImpl->dead) return false;
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned mask = 0;
  return XQueryPointer(mImpl->dpy, mImpl->root, &root, &child, rootX, rootY, &wx, &wy, &mask) != 0;
}

void XConnection::WarpPointer(int rootX, int rootY)
{
  IXWIN_LOCK();
  if (mImpl->dead) return;
  XWarpPointer(mImpl->dpy, None, mImpl->root, 0, 0, 0, 0, rootX, rootY);
  XFlush(mImpl->dpy);
}

void XConnection::SetCursorHidden(bool hidden)
{
  IXWIN_LOCK();
  Impl* im = mImpl;
  if (im->dead || hidden == im->cursorHidden) return;
  if (hidden)
  {
    if (!im->blankCursor)
    {
      static const char kNoBits[1] = {0};
      Pixmap empty = XCreateBitmapFromData(im->dpy, mWindow, kNoBits, 1, 1);
      XColor black;
      memset(&black, 0, sizeof(black));
      im->blankCursor = XCreatePixmapCursor(im->dpy, empty, empty, &black, &black, 0, 0);
      XFreePixmap(im->dpy, empty);
    }
    XDefineCursor(im->dpy, mWindow, im->blankCursor);
  }
  else
  {
    XUndefineCursor(im->dpy, mWindow);
  }
  im->cursorHidden = hidden;
  XFlush(im->dpy);
}

bool XConnection::ClipboardText(std::string* text, int timeoutMs)
{
  text->clear();
  Impl* im = mImpl;
  {
    IXWIN_LOCK();
    if (im->dead || XGetSelectionOwner(im->dpy, im->clipboard) == None) return false;
    XDeleteProperty(im->dpy, mWindow, im->selectionProp);
    XConvertSelection(im->dpy, im->clipboard, im->utf8String, im->selectionProp, mWindow, CurrentTime);
    XFlush(im->dpy);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;)
  {
    {
      IXWIN_LOCK();
      if (im->dead) return false;
      XEvent xe;
      if (XCheckTypedWindowEvent(im->dpy, mWindow, SelectionNotify, &xe))
      {
        if (xe.xselection.property == None) return false;
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        // At most 64 KiB: an incremental transfer of more is not for a text field.
        if (XGetWindowProperty(im->dpy, mWindow, im->selectionProp, 0, 16384, True, AnyPropertyType, &type,
                               &format, &n, &after, &data) != Success)
          return false;
        bool ok = false;
        if (data && format == 8 && (type == im->utf8String || type == XA_STRING))
        {
          text->assign(reinterpret_cast<char*>(data), n);
          ok = true;
        }
        if (data) XFree(data);
        return ok;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    Wait((int)std::min<long>(left.count(), 20));
  }
}

}  // namespace ixwin
