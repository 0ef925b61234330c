// The TORVEN-versus-floor benchmarks of torven_bench and their summary.
#ifndef BENCH_TORVEN_FLOOR_BENCH_H_
#define BENCH_TORVEN_FLOOR_BENCH_H_

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// The plug-in the VersusFloor cases load: build/TORVEN.so unless
// --plugin=PATH says otherwise (to compare two builds).
std::string& FloorPluginPath();

// Registers VersusFloor/<callback>/<signal>/<controls>/<N>.
void RegisterFloorBenchmarks();

// The console report, keeping each VersusFloor ratio (the median when the run
// is repeated) for the table printed at the end.
class FloorReporter : public benchmark::ConsoleReporter
{
public:
  void ReportRuns(const std::vector<Run>& reports) override;
  void PrintTable() const;

private:
  std::map<std::string, double> mRatio;
  std::map<std::string, bool> mFromMedian;
};

#endif  // BENCH_TORVEN_FLOOR_BENCH_H_
