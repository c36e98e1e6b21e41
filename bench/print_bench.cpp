// Print file writing and reading, page layout of a long list on a recording
// target, and recurrence expansion over a calendar month.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "data/CFormatRecord.h"
#include "data/CPageLayout.h"
#include "print/CPrintFile.h"
#include "print/CPrintJob.h"
#include "print/CRecordingTarget.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/StringUtil.h"

namespace {

const std::string& BenchFile() {
  static const std::string sPath =
      (std::filesystem::temp_directory_path() / StrFormat("kelvo-print-bench-%d.prn", int(getpid())))
          .string();
  return sPath;
}

void WriteList(int nLines) {
  static const stFormatRecord kList = CFormatRecord::DefaultFormat(4);
  static const stFormatRecord kHeader = CFormatRecord::DefaultFormat(3);
  auto pFile = CPrintFile::OpenPrintFile(BenchFile());
  pFile->WriteFmtString({&kHeader, 'H', "Name\tPhone\tCity"});
  for (int i = 0; i < nLines; ++i)
    pFile->WriteFmtString({&kList, '-', StrFormat("Person %06d, Ann\t555-%04d\tBoston", i, i % 10000)});
  pFile->ClosePrintFile();
}

void BM_WritePrintFile(benchmark::State& state) {
  for (auto _ : state) WriteList(int(state.range(0)));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WritePrintFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadPrintFile(benchmark::State& state) {
  WriteList(int(state.range(0)));
  for (auto _ : state) {
    std::string sError;
    auto pFile = CPrintFile::OpenForReading(BenchFile(), sError);
    stFmtString line;
    int n = 0;
    while (pFile->ReadFmtString(line)) ++n;
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadPrintFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One copy laid out page by page, with header, footer and page numbers.
void BM_LayoutCopy(benchmark::State& state) {
  WriteList(int(state.range(0)));
  const stPageLayout layout = CPageLayout::DefaultLayout(0);
  int nPages = 0;
  for (auto _ : state) {
    CRecordingTarget target;
    std::string sError;
    auto pFile = CPrintFile::OpenForReading(BenchFile(), sError);
    int nCounter = 0;
    CPrintJob job(target, stPrinterSetup{}, layout, "Footer", 1, nullptr, &nCounter);
    job.PrintCopy(*pFile);
    nPages = target.PagesEnded();
  }
  state.counters["pages"] = nPages;
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LayoutCopy)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A month of a calendar: a daily item started twenty years earlier and a
// monthly-by-weekday item of the same age.
void BM_ExpandMonth(benchmark::State& state) {
  stRecurrence daily{'D', MakeOleDate(2004, 3, 1, 9, 0, 0), 0, 0.0, 1};
  stRecurrence monthly{'m', MakeOleDate(2004, 3, 9, 9, 0, 0), 0, 0.0, 1};
  const double dFrom = MakeOleDate(2024, 5, 1), dTo = MakeOleDate(2024, 5, 31, 23, 59, 0);
  std::vector<double> fa;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ExpandRecurrence(daily, dFrom, dTo, false, fa));
    benchmark::DoNotOptimize(ExpandRecurrence(monthly, dFrom, dTo, false, fa));
  }
}
BENCHMARK(BM_ExpandMonth)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove(BenchFile());
  return 0;
}
