// WDL_Mutex: a recursive mutex (a thread that holds it may lock it again and
// must unlock as often). WDL_MutexLock: holds a WDL_Mutex for its scope.
//
// Entering never fails in practice; if the system cannot create a recursive
// mutex the constructor falls back to a default one (the framework never
// relies on that path). Not copyable.
#ifndef WDL_MUTEX_H_
#define WDL_MUTEX_H_

#include <pthread.h>

class WDL_Mutex
{
public:
  WDL_Mutex()
  {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (pthread_mutex_init(&m_mutex, &attr) != 0) pthread_mutex_init(&m_mutex, nullptr);
    pthread_mutexattr_destroy(&attr);
  }
  ~WDL_Mutex() { pthread_mutex_destroy(&m_mutex); }
  WDL_Mutex(const WDL_Mutex&) = delete;
  WDL_Mutex& operator=(const WDL_Mutex&) = delete;

  void Enter() { pthread_mutex_lock(&m_mutex); }
  void Leave() { pthread_mutex_unlock(&m_mutex); }
  // True when the lock was taken (then Leave must follow).
  bool TryEnter() { return pthread_mutex_trylock(&m_mutex) == 0; }

private:
  pthread_mutex_t m_mutex;
};

class WDL_MutexLock
{
public:
  explicit WDL_MutexLock(WDL_Mutex* m) : m_m(m)
  {
    if (m_m) m_m->Enter();
  }
  ~WDL_MutexLock()
  {
    if (m_m) m_m->Leave();
  }
  WDL_MutexLock(const WDL_MutexLock&) = delete;
  WDL_MutexLock& operator=(const WDL_MutexLock&) = delete;

  // Unlocks before the end of the scope (once).
  void Release()
  {
    if (m_m) m_m->Leave();
    m_m = nullptr;
  }

private:
  WDL_Mutex* m_m;
};

#endif  // WDL_MUTEX_H_
