// Writes the LV2 bundle's Turtle (manifest.ttl, TORVEN.ttl) into the folder
// given, from a TORVEN instance's own tables. The build runs it.
#include "TORVEN/TORVEN.h"

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2)
  {
    fprintf(stderr, "usage: %s BUNDLE_FOLDER\n", argv[0]);
    return 2;
  }
  TORVEN plug{IPlugInstanceInfo()};
  WDL_String error;
  if (!plug.WriteTurtle(kTORVENLV2, argv[1], &error))
  {
    fprintf(stderr, "%s: %s\n", argv[0], error.Get());
    return 1;
  }
  return 0;
}
