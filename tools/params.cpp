#include "tools/params.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>
#include <vector>

namespace vsthost {

namespace {

std::string Lower(const std::string& s)
{
  std::string out = s;
  for (char& c : out) c = (char)tolower((unsigned char)c);
  return out;
}

std::string Trim(const std::string& s) { return Printable(s); }

bool AllDigits(const std::string& s)
{
  if (s.empty()) return false;
  for (char c : s)
    if (!isdigit((unsigned char)c)) return false;
  return true;
}

std::string Describe(Plugin& plugin, int index)
{
  const std::string name = Trim(plugin.ParamName(index));
  return name.empty() ? "parameter " + std::to_string(index) : name;
}

// Samples across the normalised range: fine enough to see every step of a
// switch or a list with up to 200 entries, and to bracket a number.
constexpr int kScanSteps = 200;
constexpr int kBisections = 40;

struct Sample
{
  float norm;
  std::string display;
  bool numeric;
  double number;
};

Sample Probe(Plugin& plugin, int index, float norm)
{
  plugin.SetParameter(index, norm);
  Sample s;
  s.norm = norm;
  s.display = Trim(plugin.ParamDisplay(index));
  s.numeric = ParseNumber(s.display, false, &s.number);
  return s;
}

}  // namespace

bool ParseNumber(const std::string& text, bool whole, double* value)
{
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && isspace((unsigned char)text[i])) ++i;
  const size_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && isdigit((unsigned char)text[i])) ++i, ++digits;
  if (i < n && text[i] == '.')
  {
    ++i;
    while (i < n && isdigit((unsigned char)text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E'))
  {
    size_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < n && isdigit((unsigned char)text[j]))
    {
      while (j < n && isdigit((unsigned char)text[j])) ++j;
      i = j;
    }
  }
  std::string number = text.substr(start, i - start);
  if (!number.empty() && number[0] == '+') number.erase(0, 1);
  std::istringstream in(number);
  in.imbue(std::locale::classic());
  double v = 0.0;
  in >> v;
  if (in.fail() || !std::isfinite(v)) return false;
  if (whole)
  {
    while (i < n && isspace((unsigned char)text[i])) ++i;
    if (i != n) return false;
  }
  *value = v;
  return true;
}

bool FindParameter(Plugin& plugin, const std::string& nameOrIndex, int* index, std::string* error)
{
  const std::string wanted = Lower(Trim(nameOrIndex));
  std::vector<int> matches;
  if (!wanted.empty())
  {
    for (int i = 0; i < plugin.NumParams(); ++i)
      if (Lower(Trim(plugin.ParamName(i))) == wanted) matches.push_back(i);
  }
  if (matches.size() == 1)
  {
    *index = matches[0];
    return true;
  }
  if (matches.size() > 1)
  {
    std::string list;
    for (int m : matches) list += (list.empty() ? "" : ", ") + std::to_string(m);
    *error = "parameter name '" + nameOrIndex + "' is ambiguous (indices " + list + "); use an index";
    return false;
  }
  if (AllDigits(wanted))
  {
    const long i = wanted.size() > 9 ? -1 : std::stol(wanted);
    if (i >= 0 && i < plugin.NumParams())
    {
      *index = (int)i;
      return true;
    }
    *error = "parameter index " + nameOrIndex + " is out of range (the plug-in has " +
             std::to_string(plugin.NumParams()) + " parameters)";
    return false;
  }
  *error = "unknown parameter '" + nameOrIndex + "' (plughost info lists them)";
  return false;
}

bool SetParameterNormalised(Plugin& plugin, int index, const std::string& text, std::string* error)
{
  double v = 0.0;
  if (!ParseNumber(text, true, &v) || v < 0.0 || v > 1.0)
  {
    *error = "bad value '" + text + "' for " + Describe(plugin, index) +
             ": a normalised value is a number from 0 to 1";
    return false;
  }
  plugin.SetParameter(index, (float)v);
  return true;
}

bool SetParameterPlain(Plugin& plugin, int index, const std::string& text, std::string* error)
{
  const std::string value = Trim(text);
  const std::string name = Describe(plugin, index);
  if (value.empty())
  {
    *error = "no value given for " + name;
    return false;
  }
  const float before = plugin.GetParameter(index);

  const std::string label = Trim(plugin.ParamLabel(index));
  const std::string wanted = Lower(value);
  auto matchesText = [&](const std::string& display) {
    const std::string d = Lower(display);
    return d == wanted || (!label.empty() && Lower(display + " " + label) == wanted) ||
           (!label.empty() && Lower(display + label) == wanted);
  };
  double number = 0.0;
  const bool numeric = ParseNumber(value, false, &number);

  // 1. The plug-in's own parser. Parsers built on atof read any word as 0
  //    and still say yes, so a word counts only if the display now shows it.
  {
    char buf[256];
    memset(buf, 0, sizeof(buf));
    strncpy(buf, value.c_str(), sizeof(buf) - 1);
    if (plugin.Dispatch(effString2Parameter, index, 0, buf) != 0)
    {
      if (numeric || matchesText(Trim(plugin.ParamDisplay(index)))) return true;
      plugin.SetParameter(index, before);
    }
  }

  // 2. The display texts across the range.
  std::vector<Sample> samples;
  for (int k = 0; k <= kScanSteps; ++k) samples.push_back(Probe(plugin, index, (float)k / kScanSteps));
  for (size_t k = 0; k < samples.size(); ++k)
  {
    if (!matchesText(samples[k].display)) continue;
    // The middle of the run of positions showing this text: safely inside
    // the step whatever way the plug-in rounds.
    size_t last = k;
    while (last + 1 < samples.size() && matchesText(samples[last + 1].display)) ++last;
    plugin.SetParameter(index, (samples[k].norm + samples[last].norm) * 0.5f);
    return true;
  }

  // 3. A number, by bisection on the display.
  double target = 0.0;
  bool anyNumeric = false;
  double lowest = 0.0, highest = 0.0;
  for (const Sample& s : samples)
  {
    if (!s.numeric) continue;
    if (!anyNumeric || s.number < lowest) lowest = s.number;
    if (!anyNumeric || s.number > highest) highest = s.number;
    anyNumeric = true;
  }
  target = number;
  if (!numeric)
  {
    plugin.SetParameter(index, before);
    *error = "bad value '" + text + "' for " + name + ": not one of its display texts and not a number";
    return false;
  }
  if (!anyNumeric)
  {
    plugin.SetParameter(index, before);
    *error = "cannot set " + name + " to '" + text + "': its display shows no numbers (\"" +
             samples.front().display + "\"); give a normalised value with --norm";
    return false;
  }
  for (size_t k = 0; k + 1 < samples.size(); ++k)
  {
    const Sample& a = samples[k];
    const Sample& b = samples[k + 1];
    if (!a.numeric || !b.numeric) continue;
    if (!((a.number <= target && target <= b.number) || (b.number <= target && target <= a.number))) continue;
    // Orient the segment so the displayed number grows with g(norm).
    const double sign = b.number >= a.number ? 1.0 : -1.0;
    const double t = sign * target;
    auto g = [&](float norm, bool* ok) {
      const Sample s = Probe(plugin, index, norm);
      *ok = s.numeric;
      return sign * s.number;
    };
    // First position whose number reaches the target.
    float lo = a.norm, hi = b.norm;
    for (int it = 0; it < kBisections; ++it)
    {
      const float mid = (lo + hi) * 0.5f;
      if (mid <= lo || mid >= hi) break;
      bool ok = false;
      const double v = g(mid, &ok);
      if (!ok) break;
      if (v < t) lo = mid;
      else hi = mid;
    }
    bool okLo = false, okHi = false;
    const double vLo = g(lo, &okLo);
    const double vHi = g(hi, &okHi);
    float chosen = hi;
    if (okHi && vHi == t)
    {
      // A display that rounds shows the target over a plateau: take its
      // middle rather than its edge. The plateau may run past this segment.
      size_t end = k + 1;
      while (end + 1 < samples.size() && samples[end + 1].numeric && samples[end + 1].number == target) ++end;
      float lo2 = hi, hi2 = end + 1 < samples.size() ? samples[end + 1].norm : samples[end].norm;
      if (end + 1 >= samples.size()) lo2 = hi2;  // the plateau reaches the end of the range
      for (int it = 0; it < kBisections; ++it)
      {
        const float mid = (lo2 + hi2) * 0.5f;
        if (mid <= lo2 || mid >= hi2) break;
        bool ok = false;
        const double v = g(mid, &ok);
        if (ok && v == t) lo2 = mid;
        else hi2 = mid;
      }
      chosen = (hi + lo2) * 0.5f;
    }
    else if (okLo && (!okHi || std::fabs(vLo - t) < std::fabs(vHi - t)))
    {
      chosen = lo;
    }
    plugin.SetParameter(index, chosen);
    return true;
  }
  plugin.SetParameter(index, before);
  const std::string unit = label.empty() ? "" : " " + label;
  std::ostringstream range;
  range.imbue(std::locale::classic());
  range << lowest << " .. " << highest << unit;
  *error = "value " + value + " is out of range for " + name + " (" + range.str() + ")";
  return false;
}

}  // namespace vsthost
