// IGraphicsLinux: sessions, the tick, event routing, overlays and the
// platform services. Popup menus and message boxes are in
// IGraphicsLinuxPopups.cpp; every Xlib call is behind ixwin::XConnection.
#include "WDL/IPlug/IGraphicsLinux.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPlugBase.h"
#include "WDL/IPlug/src/IGraphicsLinux_p.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

extern char** environ;

using ieditor::Session;

namespace ieditor {

IHostKey HostKeyOf(const ixwin::Event& e)
{
  IHostKey k;
  k.mKeypad = e.keypad;
  k.mShift = (e.mods & ixwin::kModShift) != 0;
  k.mControl = (e.mods & ixwin::kModControl) != 0;
  k.mAlt = (e.mods & ixwin::kModAlt) != 0;
  k.mNamed = e.key;
  if (k.mNamed == IHostKey::kSpace) k.mChar = ' ';
  if (k.mNamed == IHostKey::kNone)
  {
    // The first character of the text the key types.
    unsigned short c = 0;
    if (e.text[0]) utf8char(e.text, &c);
    k.mChar = c;
    if (c == 0) k.mNamed = IHostKey::kOther;
  }
  return k;
}

long long NowMs()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(
           std::chrono::steady_clock::now().time_since_epoch())
    .count();
}

}  // namespace ieditor

namespace {

// A host that sends no idle call for this long hands the repaint to our timer.
const long long kHostIdleTimeoutMs = 250;
// How long a clipboard owner may take to answer.
const int kClipboardTimeoutMs = 200;
// A closing editor waits this long for a tick elsewhere to hand its session back.
const long long kTeardownWaitMs = 3000;

ieditor::KeyMods ModsOf(unsigned mods)
{
  ieditor::KeyMods m;
  m.shift = (mods & ixwin::kModShift) != 0;
  m.control = (mods & ixwin::kModControl) != 0;
  m.alt = (mods & ixwin::kModAlt) != 0;
  m.super = (mods & ixwin::kModSuper) != 0;
  return m;
}

IRECT ClipToEditor(const IRECT& r, int w, int h)
{
  if (r.Empty()) return r;
  IRECT c(r.L < 0 ? 0 : r.L, r.T < 0 ? 0 : r.T, r.R > w ? w : r.R, r.B > h ? h : r.B);
  if (c.R <= c.L || c.B <= c.T) return IRECT();
  return c;
}

std::string HomeDir()
{
  const char* home = getenv("HOME");
  if (home && *home) return home;
  if (passwd* pw = getpwuid(getuid()))
    if (pw->pw_dir) return pw->pw_dir;
  return "/";
}

// The desktop folder from the XDG user-dirs file, else $HOME/Desktop.
std::string XDGDesktop()
{
  const std::string home = HomeDir();
  const char* cfg = getenv("XDG_CONFIG_HOME");
  const std::string file = std::string(cfg && *cfg ? cfg : (home + "/.config").c_str()) + "/user-dirs.dirs";
  if (FILE* f = fopen(file.c_str(), "r"))
  {
    char line[1024];
    std::string found;
    while (fgets(line, sizeof(line), f))
    {
      const char* key = "XDG_DESKTOP_DIR=\"";
      if (strncmp(line, key, strlen(key)) != 0) continue;
      std::string v = line + strlen(key);
      const size_t q = v.find('"');
      if (q == std::string::npos) continue;
      v.resize(q);
      if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
      if (!v.empty() && v[0] == '/') found = v;
    }
    fclose(f);
    if (!found.empty()) return found;
  }
  return home + "/Desktop";
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, resources, paths

IGraphicsLinux::IGraphicsLinux(IPlugBase* pPlug, int w, int h, int fps)
  : IGraphics(pPlug, w, h, fps), mImpl(new Impl(this))
{
}

IGraphicsLinux::~IGraphicsLinux()
{
  CloseWindow();
  mImpl->Reap(true);
  delete mImpl;
}

void IGraphicsLinux::SetResources(const IPNGResource* pTable, int n)
{
  mImpl->resources = n > 0 ? pTable : nullptr;
  mImpl->nResources = pTable && n > 0 ? n : 0;
}

void IGraphicsLinux::SetReadoutName(int paramIdx, const char* name)
{
  if (name && *name) mImpl->readoutNames[paramIdx] = name;
  else mImpl->readoutNames.erase(paramIdx);
}

LICE_IBitmap* IGraphicsLinux::OSLoadBitmap(int /*ID*/, const char* name)
{
  WDL_String base;
  if (!GetPNGResourceBaseName(name, &base)) return nullptr;
  for (int i = 0; i < mImpl->nResources; ++i)
  {
    const IPNGResource& r = mImpl->resources[i];
    if (r.mName && !strcmp(r.mName, base.Get()) && r.mData && r.mSize > 0)
      return LICE_LoadPNGFromMemory(r.mData, r.mSize);
  }
  return nullptr;
}

void IGraphicsLinux::HostPath(WDL_String* pPath)
{
  char buf[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return;
  buf[n] = 0;
  pPath->Set(buf);
}

void IGraphicsLinux::PluginPath(WDL_String* pPath)
{
  // The library this code lives in, whichever plug-in that is.
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&ieditor::NowMs), &info) || !info.dli_fname) return;
  std::string path = info.dli_fname;
  if (path.find('/') == std::string::npos)
  {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof(cwd))) return;
    path = std::string(cwd) + "/" + path;
  }
  path.resize(path.rfind('/') + 1);
  pPath->Set(path.c_str());
}

void IGraphicsLinux::DesktopPath(WDL_String* pPath)
{
  pPath->Set(XDGDesktop().c_str());
}

void IGraphicsLinux::AppSupportPath(WDL_String* pPath, bool isSystem)
{
  if (isSystem)
  {
    pPath->Set("/usr/share");
    return;
  }
  const char* data = getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') pPath->Set(data);
  else pPath->Set((HomeDir() + "/.local/share").c_str());
}

void IGraphicsLinux::SandboxSafeAppSupportPath(WDL_String* pPath)
{
  pPath->Set((HomeDir() + "/Music").c_str());
}

bool IGraphicsLinux::OpenURL(const char* url, const char*, const char*, const char*)
{
  // Nothing to open is a failure, not a success.
  if (!url || !*url) return false;
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(url), nullptr};
  pid_t pid = 0;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  const int rc = posix_spawnp(&pid, "xdg-open", &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  std::lock_guard<std::mutex> lock(mImpl->sessionMutex);
  mImpl->children.push_back(pid);
  return true;
}

bool IGraphicsLinux::GetTextFromClipboard(WDL_String* pStr)
{
  pStr->Set("");
  Impl::SessionUse s(mImpl);
  if (!s) return false;
  std::string text;
  if (!s->x->ClipboardText(&text, kClipboardTimeoutMs) || text.empty()) return false;
  pStr->Set(text.c_str());
  return true;
}

void IGraphicsLinux::HideMouseCursor()
{
  Impl::SessionUse s(mImpl);
  if (!s || mCursorHidden) return;
  int x = 0, y = 0;
  if (!s->x->QueryPointer(&x, &y)) return;
  s->x->SetCursorHidden(true);
  mCursorHidden = true;
  mHiddenCursorX = x;
  mHiddenCursorY = y;
}

void IGraphicsLinux::ShowMouseCursor()
{
  Impl::SessionUse s(mImpl);
  if (!mCursorHidden) return;
  mCursorHidden = false;
  if (!s) return;
  s->x->WarpPointer(mHiddenCursorX, mHiddenCursorY);
  s->x->SetCursorHidden(false);
}

void IGraphicsLinux::UpdateTooltips()
{
  // Tooltips follow the control under the mouse at every tick; nothing to register.
}

int IGraphicsLinux::ConnectionFd()
{
  Impl::SessionUse s(mImpl, 100);
  return s ? s->x->Fd() : -1;
}

int IGraphicsLinux::PendingTeardowns()
{
  mImpl->Reap(false);
  std::lock_guard<std::mutex> lock(mImpl->sessionMutex);
  return (int)mImpl->orphans.size();
}

bool IGraphicsLinux::TimerDriving()
{
  std::shared_ptr<Session> s = mImpl->Current();
  return s && s->timerDriving;
}

// ---------------------------------------------------------------------------
// Window and sessions

void* IGraphicsLinux::OpenWindow(void* pParentWnd)
{
  // A second open without a close replaces the first.
  CloseWindow();
  const unsigned long parent = (unsigned long)(uintptr_t)pParentWnd;
  if (!parent) return nullptr;
  std::string error;
  std::unique_ptr<ixwin::XConnection> x = ixwin::XConnection::Open(nullptr, parent, Width(), Height(), &error);
  if (!x) return nullptr;

  auto s = std::make_shared<Session>();
  s->x = std::move(x);
  s->window = s->x->WindowId();
  // The host gets its grace period before our timer takes over.
  s->lastHostIdleMs = ieditor::NowMs();

  // The first frame goes up at once: hosts show the editor right after the open.
  Impl* im = mImpl;
  im->screenDirty.Clear();
  im->overlayDamage.Clear();
  im->hoverControl = im->wheelControl = -1;
  im->readout.Hide();
  im->tooltip.Hide();
  im->doubleClick.Reset();
  IRECT all(0, 0, Width(), Height());
  Draw(&all);
  im->screenDirty.Clear();
  if (LICE_SysBitmap* bm = GetDrawBitmap())
  {
    s->x->CopyToImage(bm->getBits(), bm->getRowSpan(), {0, 0, Width(), Height()});
    s->x->PutImage({0, 0, Width(), Height()});
  }

  Session* raw = s.get();
  s->timer = std::thread([im, raw] { im->TimerLoop(raw); });
  {
    std::lock_guard<std::mutex> lock(im->sessionMutex);
    im->session = s;
  }
  UpdateTooltips();
  return reinterpret_cast<void*>((uintptr_t)s->window);
}

void* IGraphicsLinux::GetWindow()
{
  std::shared_ptr<Session> s = mImpl->Current();
  return s ? reinterpret_cast<void*>((uintptr_t)s->window) : nullptr;
}

void IGraphicsLinux::CloseWindow()
{
  std::shared_ptr<Session> s;
  {
    std::lock_guard<std::mutex> lock(mImpl->sessionMutex);
    s = std::move(mImpl->session);
    mImpl->session.reset();
  }
  if (s)
  {
    mImpl->EndTextEntry(s.get());
    mImpl->readout.Hide();
    mImpl->tooltip.Hide();
    mImpl->BeginClose(s);
  }
  mImpl->Reap(false);
}

std::shared_ptr<Session> IGraphicsLinux::Impl::Current()
{
  std::lock_guard<std::mutex> lock(sessionMutex);
  return session;
}

void IGraphicsLinux::Impl::BeginClose(const std::shared_ptr<Session>& s)
{
  // The connection is used only before the close is published: from then on
  // a tick ending elsewhere may tear it down at any moment.
  s->x->Wake();
  s->x->Unmap();  // gone from the screen at once, whoever finishes the teardown
  {
    std::lock_guard<std::mutex> lock(sessionMutex);
    orphans.push_back(s);
  }
  s->closing = true;
  {
    std::lock_guard<std::mutex> lock(s->cvMutex);
    s->cv.notify_all();
  }
  // A tick in progress (on this thread: a close from inside a host callback;
  // or on another) ends the session itself when it finishes.
  if (s->ticker.load() == std::this_thread::get_id()) return;
  std::unique_lock<std::mutex> guard(s->tickGuard, std::try_to_lock);
  if (!guard.owns_lock()) return;
  if (!s->claimed.exchange(true)) Teardown(s.get());
}

void IGraphicsLinux::Impl::Teardown(Session* s)
{
  // The timer first (it never waits on anything we hold), then our windows,
  // the shared memory and the connection (the XConnection destructor).
  if (s->timer.joinable() && s->timer.get_id() != std::this_thread::get_id()) s->timer.join();
  s->x.reset();
  s->tornDown = true;
}

// The caller holds the session's tick guard.
void IGraphicsLinux::Impl::FinishIfClosing(Session* s)
{
  if (!s->closing || s->claimed.exchange(true)) return;
  Teardown(s);
}

void IGraphicsLinux::Impl::Reap(bool wait)
{
  const long long deadline = ieditor::NowMs() + kTeardownWaitMs;
  for (;;)
  {
    std::vector<std::shared_ptr<Session>> done, unclaimed;
    {
      std::lock_guard<std::mutex> lock(sessionMutex);
      for (size_t i = 0; i < orphans.size();)
      {
        Session* s = orphans[i].get();
        const bool timerGone = !s->timer.joinable() || s->timerDone;
        if (s->tornDown && timerGone)
        {
          done.push_back(orphans[i]);
          orphans.erase(orphans.begin() + (long)i);
          continue;
        }
        if (!s->claimed) unclaimed.push_back(orphans[i]);
        ++i;
      }
      for (size_t i = 0; i < children.size();)
      {
        if (waitpid(children[i], nullptr, WNOHANG) != 0) children.erase(children.begin() + (long)i);
        else ++i;
      }
    }
    for (auto& s : done)
      if (s->timer.joinable()) s->timer.join();
    bool pending = false;
    {
      std::lock_guard<std::mutex> lock(sessionMutex);
      pending = !orphans.empty();
    }
    if (!wait || !pending || ieditor::NowMs() > deadline) break;
    // A session nobody is ticking any more is ours to finish now.
    for (auto& s : unclaimed)
    {
      std::unique_lock<std::mutex> guard(s->tickGuard, std::try_to_lock);
      if (guard.owns_lock() && !s->claimed.exchange(true)) Teardown(s.get());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void IGraphicsLinux::Impl::TimerLoop(Session* s)
{
  const int fps = g->FPS() > 0 ? g->FPS() : 25;
  const auto period = std::chrono::milliseconds(1000 / fps);
  while (!s->closing)
  {
    {
      std::unique_lock<std::mutex> lock(s->cvMutex);
      s->cv.wait_for(lock, period, [s] { return s->closing.load(); });
    }
    if (s->closing) break;
    if (ieditor::NowMs() - s->lastHostIdleMs < kHostIdleTimeoutMs)
    {
      s->timerDriving = false;
      continue;
    }
    s->timerDriving = true;
    Tick(s, true);
  }
  s->timerDriving = false;
  s->timerDone = true;
}

void IGraphicsLinux::OnHostIdle()
{
  std::shared_ptr<Session> s = mImpl->Current();
  if (s)
  {
    s->lastHostIdleMs = ieditor::NowMs();
    mImpl->Tick(s.get(), false);
  }
  mImpl->Reap(false);
}

bool IGraphicsLinux::OnHostKey(const IHostKey& key, bool down)
{
  std::shared_ptr<Session> s = mImpl->Current();
  if (!s) return false;
  return mImpl->Tick(s.get(), false, &key, down);
}

// ---------------------------------------------------------------------------
// The tick

IGraphicsLinux::Impl::SessionUse::SessionUse(Impl* im, int waitMs) : mIm(im), mSession(im->Current())
{
  if (!mSession) return;
  if (mSession->ticker.load() == std::this_thread::get_id()) return;  // inside our own tick
  const long long deadline = ieditor::NowMs() + waitMs;
  while (!(mOwnsGuard = mSession->tickGuard.try_lock()) && ieditor::NowMs() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!mOwnsGuard || mSession->closing)
  {
    if (mOwnsGuard) mSession->tickGuard.unlock();
    mOwnsGuard = false;
    mSession.reset();
    return;
  }
  mSession->ticker = std::this_thread::get_id();
}

IGraphicsLinux::Impl::SessionUse::~SessionUse()
{
  if (!mOwnsGuard) return;
  mSession->ticker = std::thread::id();
  // A close that came while we held the guard left the teardown to us.
  mIm->FinishIfClosing(mSession.get());
  mSession->tickGuard.unlock();
}

IGraphicsLinux::Impl::Unlocked::Unlocked(Impl* im, Session* s) : mIm(im)
{
  // Only the mutex this tick took is given up: a caller further up that held
  // it already keeps it (and then the popup simply runs under it).
  if (s && s->ticker.load() == std::this_thread::get_id() && s->tickTookM)
  {
    mIm->g->GetPlug()->GetMutex()->Leave();
    mReleased = true;
  }
}

IGraphicsLinux::Impl::Unlocked::~Unlocked()
{
  if (mReleased) mIm->g->GetPlug()->GetMutex()->Enter();
}

bool IGraphicsLinux::Impl::Tick(Session* s, bool fromTimer, const IHostKey* pKey, bool keyDown)
{
  // Re-entered from a host callback inside our own tick: nothing to do.
  if (s->ticker.load() == std::this_thread::get_id()) return false;
  std::unique_lock<std::mutex> guard(s->tickGuard, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  if (s->closing)
  {
    FinishIfClosing(s);
    return false;
  }
  WDL_Mutex* m = g->GetPlug()->GetMutex();
  if (fromTimer)
  {
    // Our own thread never blocks on the instance mutex, so a close is never
    // kept waiting by it.
    while (!m->TryEnter())
    {
      if (s->closing)
      {
        FinishIfClosing(s);
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  else
  {
    m->Enter();
  }
  s->ticker = std::this_thread::get_id();
  s->tickTookM = true;

  bool used = false;
  ixwin::XRectI toPut;
  if (!s->closing)
  {
    events.clear();
    s->x->Drain(&events);
    if (!s->x->Alive())
    {
      // The display went away: our editor ends, the host goes on.
      std::lock_guard<std::mutex> lock(sessionMutex);
      if (session.get() == s)
      {
        orphans.push_back(session);
        session.reset();
      }
      s->closing = true;
      field.Close();
    }
    else
    {
      Route(s, events);
      if (pKey) used = HandleKey(s, *pKey, keyDown);
      if (!s->closing)
      {
        UpdateOverlays();
        Repaint();
        if (!screenDirty.Empty() && !s->x->ImageBusy())
        {
          const IRECT r = ClipToEditor(screenDirty, g->Width(), g->Height());
          screenDirty.Clear();
          if (LICE_SysBitmap* bm = g->GetDrawBitmap())
          {
            toPut = {r.L, r.T, r.W(), r.H()};
            s->x->CopyToImage(bm->getBits(), bm->getRowSpan(), toPut);
          }
        }
      }
    }
  }
  s->tickTookM = false;
  m->Leave();
  if (!toPut.Empty() && !s->closing) s->x->PutImage(toPut);
  s->ticker = std::thread::id();
  // Still holding the guard: no other tick can be using the connection.
  FinishIfClosing(s);
  return used;
}

// ---------------------------------------------------------------------------
// Events

void IGraphicsLinux::Impl::Route(Session* s, const std::vector<ixwin::Event>& evs)
{
  const int h = g->Height();
  for (const ixwin::Event& e : evs)
  {
    if (s->closing) return;
    if (e.window != 0) continue;  // a popup's, after it closed
    int x = 0, y = 0;
    ieditor::WindowPointToEditor(e.x, e.y, h, &x, &y);
    const ieditor::KeyMods km = ModsOf(e.mods);
    IMouseMod left = ieditor::LeftButtonMod(km);
    IMouseMod right = ieditor::RightButtonMod(km);
    switch (e.kind)
    {
      case ixwin::EventKind::kButtonDown:
        prevX = x;
        prevY = y;
        if (e.button == 4 || e.button == 5)
        {
          EndTextEntry(s);
          g->OnMouseWheel(x, y, &left, e.button == 4 ? 1 : -1);
          wheelControl = g->GetMouseControlIdx(x, y);
          wheelAtMs = (double)ieditor::NowMs();
          break;
        }
        if (field.IsOpen())
        {
          if (field.Rect().Contains(x, y)) break;  // a click into the field keeps it
          CommitTextEntry();
        }
        if (e.button == 1)
        {
          if (doubleClick.Press(1, e.time, e.x, e.y)) g->OnMouseDblClick(x, y, &left);
          else g->OnMouseDown(x, y, &left);
        }
        else if (e.button == 3)
        {
          doubleClick.Reset();
          g->OnMouseDown(x, y, &right);
        }
        break;
      case ixwin::EventKind::kButtonUp:
        prevX = x;
        prevY = y;
        if (e.button == 1) g->OnMouseUp(x, y, &left);
        else if (e.button == 3) g->OnMouseUp(x, y, &right);
        break;
      case ixwin::EventKind::kMotion:
        prevX = x;
        prevY = y;
        if (e.mods & (ixwin::kModButton1 | ixwin::kModButton3))
        {
          if (!field.IsOpen()) g->OnMouseDrag(x, y, (e.mods & ixwin::kModButton1) ? &left : &right);
        }
        else
        {
          g->OnMouseOver(x, y, &left);
          const int over = g->GetMouseControlIdx(x, y, true);
          if (over != hoverControl)
          {
            hoverControl = over;
            hoverSinceMs = (double)ieditor::NowMs();
          }
        }
        break;
      case ixwin::EventKind::kLeave:
        if (!(e.mods & (ixwin::kModButton1 | ixwin::kModButton3)))
        {
          g->OnMouseOut();
          hoverControl = -1;
        }
        break;
      case ixwin::EventKind::kKeyDown:
      case ixwin::EventKind::kKeyUp: HandleKey(s, ieditor::HostKeyOf(e), e.kind == ixwin::EventKind::kKeyDown); break;
      case ixwin::EventKind::kExpose:
        screenDirty = screenDirty.Union(IRECT(e.area.x, e.area.y, e.area.x + e.area.w, e.area.y + e.area.h));
        break;
      default: break;
    }
  }
}

bool IGraphicsLinux::Impl::HandleKey(Session* s, const IHostKey& key, bool down)
{
  if (field.IsOpen())
  {
    if (!down) return true;
    switch (field.Key(key))
    {
      case ieditor::TextField::kCommit: CommitTextEntry(); break;
      case ieditor::TextField::kCancel: CancelTextEntry(); break;
      default: overlayDamage = overlayDamage.Union(field.Rect()); break;
    }
    (void)s;
    return true;
  }
  if (!down) return false;
  const int code = ieditor::EditorKeyCode(key);
  if (code < 0) return false;
  return g->OnKeyDown(prevX, prevY, code);
}

// ---------------------------------------------------------------------------
// Text entry

void IGraphicsLinux::CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* str,
                                     IParam* pParam)
{
  Impl::SessionUse s(mImpl);
  if (!s || mImpl->field.IsOpen() || !pControl || !pTextRect) return;
  IText style = pText ? *pText : IText();
  const IRECT r = ClipToEditor(*pTextRect, Width(), Height());
  if (r.Empty()) return;
  mImpl->field.Open(pControl, pParam, r, style, str, pControl->GetTextEntryLength());
  mImpl->overlayDamage = mImpl->overlayDamage.Union(r);
  // The keyboard comes to us only while the field is open, and only when the
  // user can see it.
  s->x->TakeFocus();
}

void IGraphicsLinux::ForceEndUserEdit()
{
  mImpl->CancelTextEntry();
}

void IGraphicsLinux::Impl::EndTextEntry(Session* s)
{
  if (!field.IsOpen()) return;
  overlayDamage = overlayDamage.Union(field.Rect());
  field.Close();
  // Given back only while it is still ours (the connection checks).
  if (s && s->x) s->x->ReturnFocus();
}

void IGraphicsLinux::Impl::CommitTextEntry()
{
  if (!field.IsOpen()) return;
  IControl* pControl = field.Control();
  IParam* pParam = field.Param();
  const std::string text = field.Text();
  {
    SessionUse s(this);
    EndTextEntry(s.get());
  }
  if (pParam) g->SetFromStringAfterPrompt(pControl, pParam, text.c_str());
  else if (pControl) pControl->TextFromTextEntry(text.c_str());
  // A full redisplay, as when a platform text field goes away.
  overlayDamage = IRECT(0, 0, g->Width(), g->Height());
}

void IGraphicsLinux::Impl::CancelTextEntry()
{
  SessionUse s(this);
  EndTextEntry(s.get());
}

// ---------------------------------------------------------------------------
// Repaint and overlays

void IGraphicsLinux::Impl::UpdateOverlays()
{
  const double now = (double)ieditor::NowMs();
  ieditor::ReadoutInput in;
  in.nowMs = now;
  const int capture = g->GetMouseCapture();
  if (capture >= 0) in.dragControl = capture;
  in.wheelControl = wheelControl;
  in.wheelAtMs = wheelAtMs;
  in.hoverControl = hoverControl;
  in.hoverSinceMs = hoverSinceMs;
  int idx = ieditor::ReadoutControl(in);
  IControl* pControl = idx >= 0 ? g->GetControl(idx) : nullptr;
  IParam* pParam = pControl && pControl->ParamIdx() >= 0 ? g->GetPlug()->GetParam(pControl->ParamIdx()) : nullptr;
  if (pParam && !pControl->IsHidden() && !field.IsOpen())
  {
    auto it = readoutNames.find(pControl->ParamIdx());
    const std::string text = ieditor::ReadoutText(pParam, it == readoutNames.end() ? nullptr : it->second.c_str());
    overlayDamage = overlayDamage.Union(readout.Show(g, pControl->GetRECT(), text));
  }
  else
  {
    overlayDamage = overlayDamage.Union(readout.Hide());
  }

  // Tooltips: the hovered control's own text, when the editor enables them
  // and no readout speaks for that control already.
  IControl* pHover = hoverControl >= 0 ? g->GetControl(hoverControl) : nullptr;
  const bool showTip = g->TooltipsEnabled() && pHover && !pHover->IsHidden() && capture < 0 &&
                       pHover->GetTooltip() && *pHover->GetTooltip() &&
                       now - hoverSinceMs >= ieditor::kTooltipDelayMs && !(readout.Visible() && idx == hoverControl);
  if (showTip)
  {
    IRECT anchor(prevX, prevY, prevX + 1, prevY + 14);
    overlayDamage = overlayDamage.Union(tooltip.Show(g, anchor, pHover->GetTooltip()));
  }
  else
  {
    overlayDamage = overlayDamage.Union(tooltip.Hide());
  }
}

void IGraphicsLinux::Impl::Repaint()
{
  const int w = g->Width(), h = g->Height();
  IRECT damage = ClipToEditor(overlayDamage, w, h);
  overlayDamage.Clear();
  if (!damage.Empty() && !g->GetStrictDrawing())
  {
    // Non-strict drawing paints dirty controls only: make those under the
    // damage dirty.
    for (int i = 0; i < g->NControls(); ++i)
    {
      IControl* pControl = g->GetControl(i);
      if (pControl->GetRECT().Intersects(damage) || damage.Intersects(pControl->GetRECT())) pControl->SetDirty(false);
    }
  }
  IRECT dirty;
  const bool anyDirty = g->IsDirty(&dirty);
  if (!anyDirty && damage.Empty()) return;
  IRECT r = anyDirty ? ieditor::RepaintRect(dirty, h) : IRECT();
  r = ClipToEditor(r.Union(damage), w, h);
  // An overlay partly repainted under is painted whole again.
  const IRECT boxes[3] = {readout.Visible() ? readout.Rect() : IRECT(), tooltip.Visible() ? tooltip.Rect() : IRECT(),
                          field.IsOpen() ? field.Rect() : IRECT()};
  for (const IRECT& b : boxes)
    if (!b.Empty() && !r.Empty() && r.Intersects(b)) r = ClipToEditor(r.Union(b), w, h);
  if (r.Empty()) return;
  g->Draw(&r);
  PaintOverlays(r);
}

void IGraphicsLinux::Impl::PaintOverlays(const IRECT& drawn)
{
  if (readout.Visible() && drawn.Intersects(readout.Rect())) readout.Draw(g);
  if (tooltip.Visible() && drawn.Intersects(tooltip.Rect())) tooltip.Draw(g);
  if (field.IsOpen() && drawn.Intersects(field.Rect())) field.Draw(g);
}

bool IGraphicsLinux::DrawScreen(IRECT* pR)
{
  if (!pR) return false;
  mImpl->screenDirty = mImpl->screenDirty.Union(ClipToEditor(*pR, Width(), Height()));
  return mImpl->Current() != nullptr;
}

void IGraphicsLinux::Resize(int w, int h)
{
  if (w == Width() && h == Height()) return;
  IGraphics::Resize(w, h);
  if (w != Width() || h != Height()) return;  // refused
  if (Impl::SessionUse s{mImpl})
  {
    s->x->Resize(w, h);
    mImpl->screenDirty = IRECT(0, 0, w, h);
  }
}
