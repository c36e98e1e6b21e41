// Contact exports of 100,000 generated persons (several phones, an e-mail,
// a comment of three lines, a non-ASCII name among every few): building the
// bytes in memory, and the whole export written to a file and flushed, in
// each of the five kinds.
//
//   export_bench [--persons N]   (100,000 by default)

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "data/CDatabase.h"
#include "data/DemoData.h"
#include "exchange/CContactExport.h"
#include "support/StringUtil.h"

namespace {

std::string g_sFolder;
std::vector<const CPerson*> g_paPersons;
CDatabase g_db;

bool LoadPersons(long long nPersons) {
  const std::string sRoot = g_sFolder + "/persons";
  if (!g_db.OpenDatabase(sRoot, 0) || !g_db.LockDatabase("generate")) return false;
  bool bOk = WriteGeneratedItems(g_db, nPersons, 0, 0);
  g_db.UnlockDatabase();
  for (stIndex& e : *g_db.PtrToIndexArray(TABLE_PERSON)) {
    auto* p = static_cast<CPerson*>(e.m_pItem.get());
    if (g_paPersons.size() % 5 == 0) p->m_sLastName = "M\xC3\xBCller-Dvo\xC5\x99\xC3\xA1k";  // needs encoding
    g_paPersons.push_back(p);
  }
  return bOk;
}

void BM_ExportText(benchmark::State& state) {
  const char cKind = char(state.range(0));
  size_t nBytes = 0;
  for (auto _ : state) nBytes = CContactExport::Text(cKind, g_paPersons).size();
  state.counters["MB"] = double(nBytes) / 1e6;
  state.SetItemsProcessed(int64_t(state.iterations() * g_paPersons.size()));
}

void BM_ExportFile(benchmark::State& state) {
  const char cKind = char(state.range(0));
  const std::string sPath = g_sFolder + "/export" + CContactExport::FileFilter(cKind).substr(1);
  for (auto _ : state) {
    std::string sError;
    if (!CContactExport::WriteFile(cKind, g_paPersons, sPath, sError)) state.SkipWithError(sError.c_str());
  }
  state.SetItemsProcessed(int64_t(state.iterations() * g_paPersons.size()));
}

}  // namespace

int main(int argc, char** argv) {
  long long nPersons = 100000;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--persons") == 0) ParseInt(argv[i + 1], nPersons);
  benchmark::Initialize(&argc, argv);
  g_sFolder =
      (std::filesystem::temp_directory_path() / StrFormat("kelvo-export-bench-%d", int(getpid()))).string();
  std::filesystem::create_directories(g_sFolder);
  if (!LoadPersons(nPersons)) {
    std::fprintf(stderr, "cannot generate the persons in %s\n", g_sFolder.c_str());
    return 1;
  }
  for (char c : std::string("TEBLV")) {
    benchmark::RegisterBenchmark(StrFormat("BM_ExportText/%c", c).c_str(), BM_ExportText)
        ->Arg(c)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(StrFormat("BM_ExportFile/%c", c).c_str(), BM_ExportFile)
        ->Arg(c)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  g_db.CloseDatabase();
  std::filesystem::remove_all(g_sFolder);
  return 0;
}
