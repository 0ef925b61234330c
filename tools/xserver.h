#pragma once
// A private X server: Xvfb on a display number it picks itself (-displayfd),
// so that several can run at once without colliding, with or without the
// MIT-SHM extension. plughost snapshot starts one when there is no display;
// the editor tests start their own.

#include <sys/types.h>

#include <string>

namespace xserver {

// Whether Xvfb is installed.
bool HaveXvfb();

class PrivateX
{
public:
  PrivateX() = default;
  // Stops the server.
  ~PrivateX();
  PrivateX(const PrivateX&) = delete;
  PrivateX& operator=(const PrivateX&) = delete;

  // True once the server accepts connections; Name() is then ":N".
  bool Start(bool shm = true, const char* screen = "1280x1024x24");
  // Asks the server to end and waits for it (killing it after 2 s).
  void Stop();
  // Ends the server at once, as a crash would.
  void Kill();
  bool Running() const { return mPid > 0; }
  const std::string& Name() const { return mName; }

private:
  pid_t mPid = -1;
  std::string mName;
};

}  // namespace xserver
