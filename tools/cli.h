#pragma once
// What plughost's commands share on the command line: the one-line errors with
// their exit codes, and numbers read the same way everywhere.

#include "tools/params.h"

#include <cstdio>
#include <string>
#include <vector>

namespace plughost {

// "plughost: MESSAGE (plughost --help for usage)" on stderr; returns 2, the
// exit code for a mistake on the command line.
inline int UsageError(const std::string& message)
{
  fprintf(stderr, "plughost: %s (plughost --help for usage)\n", message.c_str());
  return 2;
}

// "plughost: MESSAGE" on stderr; returns 1, the exit code for a failure while running.
inline int Failure(const std::string& message)
{
  fprintf(stderr, "plughost: %s\n", message.c_str());
  return 1;
}

// A whole number in lo .. hi, in any locale.
inline bool ParseInt(const std::string& text, long lo, long hi, long* out)
{
  double v = 0.0;
  if (!vsthost::ParseNumber(text, true, &v) || v != (double)(long)v || v < lo || v > hi) return false;
  *out = (long)v;
  return true;
}

// A number in lo .. hi, in any locale.
inline bool ParseReal(const std::string& text, double lo, double hi, double* out)
{
  double v = 0.0;
  if (!vsthost::ParseNumber(text, true, &v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// NAME=VALUE with both parts present.
inline bool SplitSetting(const std::string& text, std::string* name, std::string* value)
{
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == text.size()) return false;
  *name = text.substr(0, eq);
  *value = text.substr(eq + 1);
  return true;
}

// Walks a command's arguments in order. An option's value follows it
// ("--rate 48000") or is joined to it ("--rate=48000").
class ArgReader
{
public:
  explicit ArgReader(const std::vector<std::string>& args) : mArgs(args) {}

  // Moves to the next argument; false after the last.
  bool Next()
  {
    if (mNext >= mArgs.size()) return false;
    mRaw = mArgs[mNext++];
    mName = mRaw;
    mHasInline = false;
    const size_t eq = mRaw.find('=');
    if (mRaw.compare(0, 2, "--") == 0 && eq != std::string::npos)
    {
      mName = mRaw.substr(0, eq);
      mInline = mRaw.substr(eq + 1);
      mHasInline = true;
    }
    return true;
  }
  // The option without a joined value, or the whole argument.
  const std::string& Name() const { return mName; }
  const std::string& Raw() const { return mRaw; }
  bool IsOption() const { return mRaw.size() > 1 && mRaw[0] == '-'; }
  // The option's value, joined or the next argument; false when there is none.
  bool Value(std::string* out)
  {
    if (mHasInline)
    {
      *out = mInline;
      return true;
    }
    if (mNext >= mArgs.size()) return false;
    *out = mArgs[mNext++];
    return true;
  }

private:
  const std::vector<std::string>& mArgs;
  size_t mNext = 0;
  std::string mRaw, mName, mInline;
  bool mHasInline = false;
};

}  // namespace plughost
