#pragma once
// plughost's editor commands: the editor of any Linux VST2 plug-in in a
// window of ours, driven as a host drives it (effEditGetRect before and after
// the open, effEditOpen with our window's XID, effEditIdle about 25 times a
// second, effEditClose), and a snapshot of it written as a PNG.

#include "tools/render.h"

#include <string>
#include <vector>

namespace plughost {

struct GuiOptions
{
  std::string plugin;
  bool audio = false;      // run an audio thread on a generated signal
  bool verbose = false;    // log what the plug-in asks of the host
  double seconds = 0.0;    // close after this long; 0: when the window is closed
  int idleHz = 25;
};

// Shows the editor until the user closes the window (or the time is up).
int RunGui(const GuiOptions& o, std::string* error);

struct SnapshotOptions
{
  std::string plugin;
  std::string output;
  std::vector<Setting> settings;
  bool normalised = false;
};

// Opens the editor on $DISPLAY, or on a private Xvfb started (and stopped)
// for it when there is no display; waits until it has drawn and stopped
// changing; writes the editor's pixels to the PNG.
int Snapshot(const SnapshotOptions& o, std::string* error);

}  // namespace plughost
