#pragma once
// What the response tests share: the CSV that plughost response writes, read
// back, and comparison of measured curves with expected ones.

#include "tests/plughost/plughost_test_util.h"
#include "tools/params.h"
#include "tools/response.h"

#include <complex>
#include <functional>
#include <string>
#include <vector>

namespace response_test {

// One row per frequency: hz, then magnitude (dB) and phase (degrees) per curve.
struct Table
{
  int commentLines = 0;
  std::vector<std::vector<double>> rows;
};

inline bool ReadCsv(const std::string& path, Table* t)
{
  std::istringstream in(plughost_test::Slurp(path));
  std::string line;
  while (std::getline(in, line))
  {
    if (line.empty()) return false;
    if (line[0] == '#')
    {
      if (!t->rows.empty()) return false;  // comments only at the top
      ++t->commentLines;
      continue;
    }
    std::vector<double> row;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ','))
    {
      double v = 0.0;
      if (!vsthost::ParseNumber(cell, true, &v)) return false;
      row.push_back(v);
    }
    t->rows.push_back(row);
  }
  return !t->rows.empty();
}

inline double PhaseDifference(double a, double b)
{
  double d = std::fmod(a - b, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

// Worst magnitude (dB) and phase (degrees) differences of one curve against
// an expected response, over every frequency of the table.
struct Worst
{
  double db = 0.0, deg = 0.0, dbAt = 0.0;
};

inline Worst Compare(const std::vector<double>& hz, const std::vector<double>& db, const std::vector<double>& deg,
                     const std::function<std::complex<double>(double)>& expected)
{
  Worst w;
  for (size_t i = 0; i < hz.size(); ++i)
  {
    const std::complex<double> e = expected(hz[i]);
    const double ddb = std::fabs(db[i] - plughost::MagnitudeDb(e));
    if (ddb > w.db)
    {
      w.db = ddb;
      w.dbAt = hz[i];
    }
    w.deg = std::max(w.deg, std::fabs(PhaseDifference(deg[i], plughost::PhaseDegrees(e))));
  }
  return w;
}

// Column c (0-based curve) of a table as a curve.
inline void Column(const Table& t, int c, std::vector<double>* hz, std::vector<double>* db, std::vector<double>* deg)
{
  for (const auto& r : t.rows)
  {
    hz->push_back(r[0]);
    db->push_back(r[1 + 2 * c]);
    deg->push_back(r[2 + 2 * c]);
  }
}

}  // namespace response_test
