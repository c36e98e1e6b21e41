// The monthly calendar grid at 1,000 and 100,000 schedule items of every
// repeat type (generated over 2024 and 2025, daily ones every day): the
// expansion of every item over the month, the occurrences in date order and
// the cells with their texts, for the last generated month, where nearly
// every repeating item has occurrences.

#include "bench/ViewBench.h"
#include "data/DemoData.h"
#include "views/CCalendarView.h"

namespace {

void BenchMonthlyGrid(benchmark::State& state, const stViewBench* pBench) {
  CCalendarView view(&ViewBenchDb(*pBench, state.range(0)));
  view.ShowMonth(2025, 12);
  for (auto _ : state) {
    view.RedrawGrid();
    benchmark::DoNotOptimize(view.Content().cells.GetAt(3, 3).size());
  }
  state.counters["items"] = double(state.range(0));
  state.counters["occurrences"] = double(view.GridLocations().size());
}

}  // namespace

int main(int argc, char** argv) {
  static const stViewBench bench{"calendar", "items", 8, "Type", [](CTableManager& db, long long n) {
                                   if (!db.LockDatabase("generate") || !WriteGeneratedItems(db, 0, n, 0))
                                     return false;
                                   db.UnlockDatabase();
                                   db.SortRecordsSchedule();
                                   return true;
                                 }};
  return RunBenchOnGeneratedDbs(bench, argc, argv, [] {
    benchmark::RegisterBenchmark("BM_MonthlyGrid", BenchMonthlyGrid, &bench)
        ->Arg(1000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond);
  });
}
