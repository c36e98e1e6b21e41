// The schedule view at 1,000 and 100,000 schedule items: entering the view
// and building its lines (the sorted item list, filtered), and scrolling a
// page and laying out the lines of a window of 40 lines, which costs the
// same whatever the number of items because only the visible lines are
// asked for (and only those are formatted).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>

#include "data/CTableManager.h"
#include "data/DemoData.h"
#include "print/CLineDrawer.h"
#include "print/CRecordingTarget.h"
#include "support/CScriptedUi.h"
#include "views/CScheduleView.h"

namespace {

std::string g_sFolder;
std::map<long long, std::unique_ptr<CTableManager>> g_dbs;

// A database of generated items, sorted once as the first view would.
CTableManager& Db(long long nItems) {
  auto& p = g_dbs[nItems];
  if (p) return *p;
  const std::string sRoot = g_sFolder + "/schedule" + std::to_string(nItems);
  p = std::make_unique<CTableManager>();
  if (p->OpenDatabase(sRoot, 0) != 1 || !p->LockDatabase("generate") ||
      !WriteGeneratedItems(*p, 0, nItems, 0))
    std::abort();
  p->UnlockDatabase();
  p->SortRecordsSchedule();
  return *p;
}

void BM_EnterView(benchmark::State& state) {
  CScheduleView view(&Db(state.range(0)));
  for (auto _ : state) {
    view.ExitView();
    view.EnterView();
    benchmark::DoNotOptimize(view.MaxLines());
  }
  state.counters["items"] = view.MaxLines();
}
BENCHMARK(BM_EnterView)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_PageDownAndLayOut(benchmark::State& state) {
  CScheduleView view(&Db(state.range(0)));
  view.EnterView();
  CRecordingTarget target(96);
  const int nLine = CLineDrawer(target).GetLineSize(*Db(state.range(0)).GetFormat(8), "Type").nHeight;
  view.SetWindowSize(800, nLine * 41);
  view.LayOutPage(target);
  for (auto _ : state) {
    if (view.EndVisible())
      view.VScroll(SCROLL_TOP);
    else
      view.VScroll(SCROLL_PAGE_DOWN);
    view.LayOutPage(target);
    benchmark::DoNotOptimize(view.PageLines().data());
  }
  state.counters["lines_in_window"] = view.LinesInWindow();
}
BENCHMARK(BM_PageDownAndLayOut)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  CScriptedUi ui;
  SetUi(&ui);
  g_sFolder = std::filesystem::temp_directory_path() / ("kelvo-schedule-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(g_sFolder);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_dbs.clear();
  std::filesystem::remove_all(g_sFolder);
  SetUi(nullptr);
  return 0;
}
