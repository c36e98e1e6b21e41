#pragma once
// What the list view benchmarks share: a generated database per size, made
// once for the run, and the two cases every list view is measured on at
// 1,000 and 100,000 items: entering the view (building its lines), and
// paging down while laying out a window of 40 lines, which costs the same
// whatever the number of items because only the visible lines are asked for
// (and only those are formatted).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "data/CTableManager.h"
#include "print/CLineDrawer.h"
#include "print/CRecordingTarget.h"
#include "views/CScrollBase.h"
#include "support/CScriptedUi.h"

struct stViewBench {
  std::string sName;     // names the temporary folder
  std::string sCounter;  // what the view lists, for the report
  uint32_t nFormat;      // the view's line format
  std::string sHeader;   // a header word, to measure a line's height
  // Fills an open database with n generated items, as the view would
  // first find it; false when it could not.
  std::function<bool(CTableManager&, long long)> fnFill;
};

inline std::string g_sViewBenchFolder;
inline std::map<long long, std::unique_ptr<CTableManager>> g_viewBenchDbs;

inline CTableManager& ViewBenchDb(const stViewBench& bench, long long n) {
  auto& p = g_viewBenchDbs[n];
  if (p) return *p;
  p = std::make_unique<CTableManager>();
  if (p->OpenDatabase(g_sViewBenchFolder + "/" + bench.sName + std::to_string(n), 0) != 1 ||
      !bench.fnFill(*p, n))
    std::abort();
  return *p;
}

template <class View>
void BenchEnterView(benchmark::State& state, const stViewBench* pBench) {
  View view(&ViewBenchDb(*pBench, state.range(0)));
  for (auto _ : state) {
    view.ExitView();
    view.EnterView();
    benchmark::DoNotOptimize(view.MaxLines());
  }
  state.counters[pBench->sCounter] = view.MaxLines();
}

template <class View>
void BenchPageDownAndLayOut(benchmark::State& state, const stViewBench* pBench) {
  CTableManager& db = ViewBenchDb(*pBench, state.range(0));
  View view(&db);
  view.EnterView();
  CRecordingTarget target(96);
  const int nLine = CLineDrawer(target).GetLineSize(*db.GetFormat(pBench->nFormat), pBench->sHeader).nHeight;
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

// A benchmark program on generated databases: fnRegister registers its
// cases, which run in a temporary folder removed afterwards.
inline int RunBenchOnGeneratedDbs(const stViewBench& bench, int argc, char** argv,
                                  const std::function<void()>& fnRegister) {
  CScriptedUi ui;
  SetUi(&ui);
  g_sViewBenchFolder = std::filesystem::temp_directory_path() /
                       ("kelvo-" + bench.sName + "-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(g_sViewBenchFolder);
  fnRegister();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_viewBenchDbs.clear();
  std::filesystem::remove_all(g_sViewBenchFolder);
  SetUi(nullptr);
  return 0;
}

// The benchmark program of one list view: both cases at both sizes.
template <class View>
int RunViewBench(const stViewBench& bench, int argc, char** argv) {
  return RunBenchOnGeneratedDbs(bench, argc, argv, [&] {
    benchmark::RegisterBenchmark("BM_EnterView", BenchEnterView<View>, &bench)
        ->Arg(1000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PageDownAndLayOut", BenchPageDownAndLayOut<View>, &bench)
        ->Arg(1000)
        ->Arg(100000)
        ->Unit(benchmark::kMicrosecond);
  });
}
