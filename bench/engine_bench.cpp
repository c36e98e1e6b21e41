// Record file engine against SQLite on the same machine, in one run.
//
// 100,000 records of 200 to 400 bytes: write, find by table and key, read,
// rewrite in place, rewrite growing (the record moves), free, and building
// the header list at open. The engine runs single-user (plain writes) and
// with more than one user on line (locked, flushed, verified writes); SQLite
// keeps one table (key, table, blob) in autocommit and in one transaction.
// Paths whose every write waits for the disk (the engine with others on
// line, SQLite in autocommit) run a smaller count; the figures are per
// operation, so the ratios compare like with like.
//
// The files go to $KELVO_BENCH_DIR, else the current folder.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/CDbEngine.h"
#include "support/CScriptedUi.h"

namespace {

constexpr uint32_t kRecords = 100000;
constexpr uint32_t kFlushedRecords = 1000;  // paths that flush every write

const char* const kOps[] = {"write",           "find",          "read", "rewrite in place",
                            "rewrite growing", "free",          "build header list"};

// Seconds per operation, by path and operation.
std::map<std::string, std::map<std::string, double>> g_results;

std::string BenchFile(const std::string& sName) {
  const char* p = std::getenv("KELVO_BENCH_DIR");
  return std::string(p && *p ? p : ".") + "/" + sName;
}

double Seconds(const std::function<void()>& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<uint32_t> Sizes(uint32_t n, unsigned nSeed) {
  std::mt19937 rng(nSeed);
  std::vector<uint32_t> v(n);
  for (uint32_t& s : v) s = 200 + rng() % 201;
  return v;
}

void Fill(uint8_t* p, uint32_t nSize, uint32_t nKey) {
  for (uint32_t i = 0; i < nSize; ++i) p[i] = uint8_t('a' + (nKey + i) % 26);
}

void Record(benchmark::State& state, const std::string& sPath, const std::string& sOp,
            double dSeconds, uint32_t nOps) {
  state.SetIterationTime(dSeconds);
  state.counters["us_per_op"] = dSeconds / nOps * 1e6;
  g_results[sPath][sOp] = dSeconds / nOps;
}

// ---------------------------------------------------------------- engine ----

void RunEngine(benchmark::State& state, unsigned nUsers, uint32_t nCount) {
  const std::string sPath = nUsers > 1 ? "engine, 2 users on line" : "engine, single user";
  const std::string sFile = BenchFile(nUsers > 1 ? "bench_multi.dbm" : "bench_single.dbm");
  CScriptedUi ui;
  CScopedUi scope(ui);
  for (auto _ : state) {
    unlink(sFile.c_str());
    CDbEngine db;
    if (db.OpenDB(sFile, true) != eOpenResult::Opened) {
      state.SkipWithError("the bench file could not be created");
      break;
    }
    db.m_nUserNumber = 1;
    db.SetUsersOnLine(nUsers);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    const std::vector<uint32_t> sizes = Sizes(nCount, 1);
    std::vector<uint32_t> locs(nCount);
    double d = Seconds([&] {
      for (uint32_t i = 0; i < nCount; ++i) {
        Fill(db.m_cBuffer, sizes[i], i);
        locs[i] = db.WriteRecord(sizes[i], TABLE_PERSON, i + 1, 0, 0);
      }
    });
    g_results[sPath]["write"] = d / nCount;
    uint32_t nFound = 0;
    d = Seconds([&] {
      for (uint32_t i = 0; i < nCount; ++i) nFound += db.GetItemFileLoc(TABLE_PERSON, i + 1, 0, 0) == locs[i];
    });
    g_results[sPath]["find"] = d / nCount;
    uint64_t nBytes = 0;
    d = Seconds([&] {
      for (uint32_t i = 0; i < nCount; ++i) nBytes += db.ReadRecord(locs[i], 1);
    });
    g_results[sPath]["read"] = d / nCount;
    d = Seconds([&] {
      for (uint32_t i = 0; i < nCount; ++i) {
        Fill(db.m_cBuffer, sizes[i], i + 7);
        db.WriteRecord(sizes[i], TABLE_PERSON, i + 1, 0, 0);
      }
    });
    g_results[sPath]["rewrite in place"] = d / nCount;
    d = Seconds([&] {
      for (uint32_t i = 0; i < nCount; ++i) {
        Fill(db.m_cBuffer, sizes[i] + 50, i + 9);
        locs[i] = db.WriteRecord(sizes[i] + 50, TABLE_PERSON, i + 1, 0, 0);
      }
    });
    g_results[sPath]["rewrite growing"] = d / nCount;
    d = Seconds([&] {
      for (uint32_t i = 0; i < nCount; ++i) db.DeleteRecord(locs[i], 1, 1);
    });
    g_results[sPath]["free"] = d / nCount;
    db.SetUsersOnLine(1);
    db.CloseDB();
    // Building the list of a file of nCount live records.
    unlink(sFile.c_str());
    if (db.OpenDB(sFile, true) != eOpenResult::Opened) {
      state.SkipWithError("the bench file could not be created");
      break;
    }
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (uint32_t i = 0; i < nCount; ++i) db.WriteRecord(sizes[i], TABLE_PERSON, i + 1, 0, 0);
    db.CloseDB();
    if (db.OpenDB(sFile, false) == eOpenResult::Failed) {
      state.SkipWithError("the bench file could not be opened");
      break;
    }
    double dBest = 1e9;
    for (int n = 0; n < 5; ++n) dBest = std::min(dBest, Seconds([&] { db.MakeFileHeaderArray(nullptr, 1, nullptr); }));
    g_results[sPath]["build header list"] = dBest;
    g_results[sPath]["build header list, records"] = double(db.m_caDataHeaders.size());
    db.CloseDB();
    unlink(sFile.c_str());
    if (nFound != nCount || nBytes == 0) state.SkipWithError("engine results wrong");
    Record(state, sPath, "write", g_results[sPath]["write"] * nCount, nCount);
  }
}

// ---------------------------------------------------------------- SQLite ----

void Exec(sqlite3* p, const char* pSql) { sqlite3_exec(p, pSql, nullptr, nullptr, nullptr); }

void RunSqlite(benchmark::State& state, bool bTransaction, uint32_t nCount) {
  const std::string sPath = bTransaction ? "SQLite, one transaction" : "SQLite, autocommit";
  const std::string sFile = BenchFile("bench.sqlite");
  for (auto _ : state) {
    unlink(sFile.c_str());
    sqlite3* p = nullptr;
    sqlite3_open(sFile.c_str(), &p);
    Exec(p, "CREATE TABLE rec (k INTEGER PRIMARY KEY, tbl INTEGER, data BLOB)");
    sqlite3_stmt *pIns, *pFind, *pRead, *pUpd, *pDel;
    sqlite3_prepare_v2(p, "INSERT INTO rec VALUES (?, 6, ?)", -1, &pIns, nullptr);
    sqlite3_prepare_v2(p, "SELECT k FROM rec WHERE k = ? AND tbl = 6", -1, &pFind, nullptr);
    sqlite3_prepare_v2(p, "SELECT data FROM rec WHERE k = ?", -1, &pRead, nullptr);
    sqlite3_prepare_v2(p, "UPDATE rec SET data = ? WHERE k = ?", -1, &pUpd, nullptr);
    sqlite3_prepare_v2(p, "DELETE FROM rec WHERE k = ?", -1, &pDel, nullptr);
    const std::vector<uint32_t> sizes = Sizes(nCount, 1);
    std::vector<uint8_t> buf(1024);
    auto fnStep = [](sqlite3_stmt* s) {
      sqlite3_step(s);
      sqlite3_reset(s);
    };
    auto fnOp = [&](const std::string& sOp, const std::function<void(uint32_t)>& fn) {
      const double d = Seconds([&] {
        if (bTransaction) Exec(p, "BEGIN");
        for (uint32_t i = 0; i < nCount; ++i) fn(i);
        if (bTransaction) Exec(p, "COMMIT");
      });
      g_results[sPath][sOp] = d / nCount;
    };
    fnOp("write", [&](uint32_t i) {
      Fill(buf.data(), sizes[i], i);
      sqlite3_bind_int64(pIns, 1, i + 1);
      sqlite3_bind_blob(pIns, 2, buf.data(), int(sizes[i]), SQLITE_STATIC);
      fnStep(pIns);
    });
    uint32_t nFound = 0;
    fnOp("find", [&](uint32_t i) {
      sqlite3_bind_int64(pFind, 1, i + 1);
      nFound += sqlite3_step(pFind) == SQLITE_ROW;
      sqlite3_reset(pFind);
    });
    uint64_t nBytes = 0;
    fnOp("read", [&](uint32_t i) {
      sqlite3_bind_int64(pRead, 1, i + 1);
      if (sqlite3_step(pRead) == SQLITE_ROW) {
        std::memcpy(buf.data(), sqlite3_column_blob(pRead, 0), size_t(sqlite3_column_bytes(pRead, 0)));
        nBytes += size_t(sqlite3_column_bytes(pRead, 0));
      }
      sqlite3_reset(pRead);
    });
    auto fnUpdate = [&](uint32_t i, uint32_t nSize) {
      Fill(buf.data(), nSize, i + 7);
      sqlite3_bind_blob(pUpd, 1, buf.data(), int(nSize), SQLITE_STATIC);
      sqlite3_bind_int64(pUpd, 2, i + 1);
      fnStep(pUpd);
    };
    fnOp("rewrite in place", [&](uint32_t i) { fnUpdate(i, sizes[i]); });
    fnOp("rewrite growing", [&](uint32_t i) { fnUpdate(i, sizes[i] + 50); });
    fnOp("free", [&](uint32_t i) {
      sqlite3_bind_int64(pDel, 1, i + 1);
      fnStep(pDel);
    });
    for (sqlite3_stmt* s : {pIns, pFind, pRead, pUpd, pDel}) sqlite3_finalize(s);
    sqlite3_close(p);
    unlink(sFile.c_str());
    if (nFound != nCount || nBytes == 0) state.SkipWithError("SQLite results wrong");
    Record(state, sPath, "write", g_results[sPath]["write"] * nCount, nCount);
  }
}

void PrintComparison() {
  const char* const kPaths[] = {"engine, single user", "engine, 2 users on line",
                                "SQLite, autocommit", "SQLite, one transaction"};
  std::printf("\nMicroseconds per operation (build header list: milliseconds for the whole file)\n");
  std::printf("%-20s", "operation");
  for (const char* p : kPaths) std::printf("%26s", p);
  std::printf("\n");
  for (const char* pOp : kOps) {
    std::printf("%-20s", pOp);
    for (const char* p : kPaths) {
      auto it = g_results[p].find(pOp);
      if (it == g_results[p].end())
        std::printf("%26s", "-");
      else
        std::printf("%26.3f", it->second * (std::string(pOp) == "build header list" ? 1e3 : 1e6));
    }
    std::printf("\n");
  }
  std::printf("\nRatios (SQLite time / engine time; above 1 means the engine is faster)\n");
  std::printf("%-20s%26s%26s%26s\n", "operation", "single vs autocommit", "single vs transaction",
              "2 users vs autocommit");
  for (const char* pOp : kOps) {
    if (std::string(pOp) == "build header list") continue;
    const double dSingle = g_results[kPaths[0]][pOp], dMulti = g_results[kPaths[1]][pOp];
    const double dAuto = g_results[kPaths[2]][pOp], dTrans = g_results[kPaths[3]][pOp];
    std::printf("%-20s%26.2f%26.2f%26.2f\n", pOp, dAuto / dSingle, dTrans / dSingle, dAuto / dMulti);
  }
  std::printf("\nHeader list of %.0f records built in %.2f ms\n",
              g_results[kPaths[0]]["build header list, records"],
              g_results[kPaths[0]]["build header list"] * 1e3);
}

void BM_EngineSingleUser(benchmark::State& s) { RunEngine(s, 1, kRecords); }
void BM_EngineTwoUsers(benchmark::State& s) { RunEngine(s, 2, kFlushedRecords); }
void BM_SqliteAutocommit(benchmark::State& s) { RunSqlite(s, false, kFlushedRecords); }
void BM_SqliteTransaction(benchmark::State& s) { RunSqlite(s, true, kRecords); }

BENCHMARK(BM_EngineSingleUser)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineTwoUsers)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteAutocommit)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteTransaction)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintComparison();
  return 0;
}
