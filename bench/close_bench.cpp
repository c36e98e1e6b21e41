// Closing a large database as the last copy: CloseDB clears every lock left
// in the file (a few locked records among 100,000) and marks the file closed
// properly. The file is built once; every iteration opens it, builds the
// header list as the load does, locks some records and times the close.
//
//   close_bench [--records N]   (100,000 by default)

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/CDbEngine.h"
#include "support/CScriptedUi.h"

namespace {

using Clock = std::chrono::steady_clock;

uint32_t g_nRecords = 100000;
constexpr uint32_t kLockedEvery = 10000;

std::string BenchFile() {
  const char* p = std::getenv("TMPDIR");
  return std::string(p && *p ? p : "/tmp") + "/close_bench_" + std::to_string(getpid()) + ".dbm";
}

bool BuildFile(const std::string& sPath) {
  unlink(sPath.c_str());
  CDbEngine db;
  if (db.OpenDB(sPath, true) != eOpenResult::Opened) return false;
  db.m_nUserNumber = 1;
  db.MakeFileHeaderArray(nullptr, 1, nullptr);
  for (uint32_t i = 0; i < g_nRecords; ++i) {
    const uint32_t nSize = 80 + i % 120;
    std::memset(db.m_cBuffer, 'a' + int(i % 26), nSize);
    if (db.WriteRecord(nSize, TABLE_PERSON, i + 1, 0, 0) == DB_NONE) return false;
  }
  db.CloseDB();
  return true;
}

void BM_CloseAlone(benchmark::State& state) {
  CScriptedUi ui;
  CScopedUi scope(ui);
  const std::string sPath = BenchFile();
  if (!BuildFile(sPath)) {
    state.SkipWithError("the bench file could not be built");
    return;
  }
  for (auto _ : state) {
    CDbEngine db;
    if (db.OpenDB(sPath, false) == eOpenResult::Failed) {
      state.SkipWithError("the bench file could not be opened");
      break;
    }
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (uint32_t k = 1; k <= g_nRecords; k += kLockedEvery)
      db.DoRecordLock(db.GetItemFileLoc(TABLE_PERSON, k, 0, 0));
    const auto t0 = Clock::now();
    db.CloseDB();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  state.counters["records"] = g_nRecords;
  unlink(sPath.c_str());
}

}  // namespace

BENCHMARK(BM_CloseAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--records") == 0) g_nRecords = uint32_t(std::atoi(argv[i + 1]));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
