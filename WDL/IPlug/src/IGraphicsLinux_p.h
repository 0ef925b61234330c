// The state behind IGraphicsLinux, shared by its two source files (the host
// itself and its modal popups). See IGraphicsLinux.h for the contract.
#ifndef IPLUG_SRC_IGRAPHICSLINUX_P_H_
#define IPLUG_SRC_IGRAPHICSLINUX_P_H_

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "WDL/IPlug/IGraphicsLinux.h"
#include "WDL/IPlug/src/EditorInput_p.h"
#include "WDL/IPlug/src/EditorOverlay_p.h"
#include "WDL/IPlug/src/XConnection_p.h"

class LICE_IBitmap;

namespace ieditor {

// One open editor window: our X connection and the fallback timer thread.
// Created by OpenWindow; torn down exactly once (timer stopped first, then the
// connection destroyed) by whoever claims it while holding tickGuard: the
// closer when no tick is running, else the tick in progress when it ends.
// Freed only after its timer thread has been joined.
struct Session
{
  std::unique_ptr<ixwin::XConnection> x;
  std::thread timer;
  std::atomic<bool> closing{false};
  std::atomic<bool> claimed{false};
  std::atomic<bool> tornDown{false};
  std::atomic<bool> timerDone{false};
  std::atomic<bool> timerDriving{false};
  std::atomic<long long> lastHostIdleMs{0};
  // Held for the whole of a tick: one tick at a time.
  std::mutex tickGuard;
  std::atomic<std::thread::id> ticker{std::thread::id()};
  // The tick in progress took the instance mutex (a popup may give it up
  // while it waits); touched only by the holder of tickGuard.
  bool tickTookM = false;
  std::mutex cvMutex;
  std::condition_variable cv;
  unsigned long window = 0;
};

long long NowMs();
// The key of an X key event, as the host's key opcodes give keys.
IHostKey HostKeyOf(const ixwin::Event& e);

}  // namespace ieditor

struct IGraphicsLinux::Impl
{
  explicit Impl(IGraphicsLinux* pGraphics) : g(pGraphics) {}

  IGraphicsLinux* g;
  const IPNGResource* resources = nullptr;
  int nResources = 0;
  std::map<int, std::string> readoutNames;

  // The open session and those whose teardown or reaping is still due.
  std::mutex sessionMutex;
  std::shared_ptr<ieditor::Session> session;
  std::vector<std::shared_ptr<ieditor::Session>> orphans;

  // Editor state, touched only under the instance mutex.
  IRECT screenDirty;  // drawn, not yet copied to the screen
  IRECT overlayDamage;  // overlays moved or went: repaint what they covered
  ieditor::DoubleClickDetector doubleClick;
  int prevX = 0, prevY = 0;  // the last mouse position, in editor pixels
  int hoverControl = -1;
  double hoverSinceMs = 0.0;
  int wheelControl = -1;
  double wheelAtMs = 0.0;
  ieditor::TextBox readout;
  ieditor::TextBox tooltip;
  ieditor::TextField field;
  std::vector<pid_t> children;  // spawned helpers still to reap; guarded by sessionMutex
  std::vector<ixwin::Event> events;

  std::shared_ptr<ieditor::Session> Current();
  // The tick: events, repaint and the copy to the screen. fromTimer: run by
  // the fallback thread. Returns whether a key given in pKey was used.
  bool Tick(ieditor::Session* s, bool fromTimer, const IHostKey* pKey = nullptr, bool keyDown = false);
  void TimerLoop(ieditor::Session* s);
  // Teardown of a closing session by the thread that claimed it.
  void Teardown(ieditor::Session* s);
  void FinishIfClosing(ieditor::Session* s);
  void Reap(bool wait);
  void BeginClose(const std::shared_ptr<ieditor::Session>& s);

  void Route(ieditor::Session* s, const std::vector<ixwin::Event>& events);
  bool HandleKey(ieditor::Session* s, const IHostKey& key, bool down);
  void UpdateOverlays();
  void Repaint();
  void PaintOverlays(const IRECT& drawn);
  void CommitTextEntry();
  void CancelTextEntry();
  void EndTextEntry(ieditor::Session* s);

  // The open session for a service (clipboard, cursor, text entry, popups),
  // used by one thread at a time: inside a tick, that tick's thread; any
  // other thread takes the tick guard, waiting at most waitMs, and gets no
  // session when it cannot or the session is closing.
  class SessionUse
  {
  public:
    SessionUse(Impl* im, int waitMs = 0);
    ~SessionUse();
    SessionUse(const SessionUse&) = delete;
    SessionUse& operator=(const SessionUse&) = delete;
    explicit operator bool() const { return mSession != nullptr; }
    ieditor::Session* get() const { return mSession.get(); }
    ieditor::Session* operator->() const { return mSession.get(); }

  private:
    Impl* mIm;
    std::shared_ptr<ieditor::Session> mSession;
    bool mOwnsGuard = false;
  };

  // Runs while a popup waits for input: the instance mutex is released when
  // the current tick holds it, and taken back afterwards.
  class Unlocked
  {
  public:
    Unlocked(Impl* im, ieditor::Session* s);
    ~Unlocked();
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

  private:
    Impl* mIm;
    bool mReleased = false;
  };
};

#endif  // IPLUG_SRC_IGRAPHICSLINUX_P_H_
