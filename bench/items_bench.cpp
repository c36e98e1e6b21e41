// Item operations at a large table: adding, editing and deleting one person,
// each a complete user-level operation (dialog answered at once, database
// lock, refresh check, file writes, index, sequence, notices, unlock), alone
// on the file and with more than one user on line (locked, flushed and
// verified writes). Beside them SQLite's autocommit insert, update and
// delete of one row of a table of the same size, in the same folder: with
// synchronous=OFF beside the single user, with synchronous=FULL beside the
// verified multi-user path; and five processes updating one SQLite file in
// WAL mode at once (synchronous=FULL), the counterpart of five copies
// editing one database.
//
// Where the new or deleted person stands matters: every person behind it
// moves one place, and its 4 sequence bytes are patched in the file. "end"
// operations touch the last place, "middle" ones the middle of the table.
//
//   items_bench [--persons N]   (100,000 by default)
// ITEMS_BENCH_ITER sets the iterations per benchmark (40); with
// ITEMS_BENCH_CACHED set the generated files stay in the page cache as the
// generation left them (see DropFromPageCache).

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "data/CDatabaseNetwork.h"
#include "data/CTableManager.h"
#include "data/DemoData.h"
#include "engine/CLockManagerLink.h"
#include "support/CScriptedUi.h"
#include "support/StringUtil.h"

namespace {

long long g_nPersons = 100000;
std::string g_sFolder;
std::string g_sSqlitePath;
CTableManager* g_pDb = nullptr;
CScriptedUi* g_pUi = nullptr;
sqlite3* g_pSqlite = nullptr;
std::mt19937 g_rng(7);

bool MakeDatabase(const std::string& sRoot) {
  CTableManager db;
  if (!db.OpenDatabase(sRoot, 0) || !db.LockDatabase("generate")) return false;
  const bool bOk = WriteGeneratedItems(db, g_nPersons, 0, 0);
  db.UnlockDatabase();
  db.CloseDatabase();
  return bOk;
}

// Takes a generated file out of the page cache, so that the benchmark reads
// it from disk, as a copy that opens a database at the start of a session
// does. The kernel then caches it in large pages; the pages the generation's
// appends left are 4 KB each, and with them every big read and write of the
// file (a sequence store in the middle of the table rewrites half the
// records) costs two to three times as much.
bool DropFromPageCache(const std::string& sPath) {
  const int nFd = open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) return false;
  const bool bOk = fdatasync(nFd) == 0 && posix_fadvise(nFd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  close(nFd);
  return bOk;
}

// A last name that sorts at the end, or one that sorts near the middle.
std::string Name(bool bEnd, long long n) {
  if (bEnd) return StrFormat("ZZZZ%08lld", n);
  const auto& ia = g_pDb->m_caPersonIndex;
  return static_cast<const CPerson&>(*ia[ia.size() / 2].m_pItem).m_sLastName + "m";
}

std::string LastMessage() {
  const auto sa = g_pUi->Messages();
  return sa.empty() ? std::string("failed") : sa.back();
}

void SetUsers(unsigned nUsers) { g_pDb->SetUsersOnLine(nUsers); }

void AddPerson(benchmark::State& state, bool bEnd, unsigned nUsers) {
  SetUsers(nUsers);
  long long n = 0;
  std::vector<uint32_t> naAdded;
  for (auto _ : state) {
    g_pUi->QueueEdit({{"Last name", Name(bEnd, n++)}, {"First name", "Bench"}, {"City", "Bergen"}});
    uint32_t nCode = DB_NONE;
    if (g_pDb->AddTableItem(TABLE_PERSON, DB_NONE, nullptr, 0, {}, &nCode) != eItemResult::Done) {
      state.SkipWithError(LastMessage().c_str());
      break;
    }
    naAdded.push_back(nCode);
  }
  for (uint32_t nCode : naAdded) g_pDb->DeleteTableItem(TABLE_PERSON, nCode, 0);
}

void EditPerson(benchmark::State& state, unsigned nUsers) {
  SetUsers(nUsers);
  long long n = 0;
  for (auto _ : state) {
    const auto& ia = g_pDb->m_caPersonIndex;
    const uint32_t nCode = ia[g_rng() % ia.size()].m_nCode;
    g_pUi->QueueEdit({{"City", StrFormat("City %lld", n++)}});
    if (g_pDb->EditTableItem(TABLE_PERSON, nCode) != eItemResult::Done) {
      state.SkipWithError(LastMessage().c_str());
      break;
    }
  }
}

void DeletePerson(benchmark::State& state, bool bEnd, unsigned nUsers) {
  SetUsers(nUsers);
  long long n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    g_pUi->QueueEdit({{"Last name", Name(bEnd, n++)}});
    uint32_t nCode = DB_NONE;
    const eItemResult nAdded = g_pDb->AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false, {}, &nCode);
    state.ResumeTiming();
    if (nAdded != eItemResult::Done || g_pDb->DeleteTableItem(TABLE_PERSON, nCode, 0) != eItemResult::Done) {
      state.SkipWithError(LastMessage().c_str());
      break;
    }
  }
}

// ---- the other copy ----

// A second copy of the program on the same file, in this process: its own
// user number, and the first copy's change notices carried to it as the
// LAN carries them (one per changed header, then one for the item unless
// its header was among them).
class COtherCopy : public CDatabaseNetwork, public CLockManagerLink {
 public:
  explicit COtherCopy(uint8_t nUser) : m_nUser(nUser) { m_db.SetNetwork(this); }
  CTableManager& Db() { return m_db; }

  void InitializeUserList(CDatabase& db) override { db.m_nUserNumber = m_nUser; }
  int StartLanServer(CDatabase&, const std::string&) override { return 1; }
  void EndLanServer(CDatabase&) override {}

  bool HasLanServer() override { return false; }
  bool IsLockManagerOnLine() override { return false; }
  unsigned CountOnLine() override { return 2; }
  bool IsLockGrantedToOther(uint8_t, uint32_t) override { return false; }
  void ClearReceivedGrants() override {}
  bool TakeGrantFromLockManager() override { return true; }
  void SendLockRequest(uint8_t, uint32_t) override {}
  void SendUnlockNotice(uint8_t, uint32_t) override {}
  void SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                        const std::vector<uint32_t>& naChangedHeaders) override {
    const uint8_t nFrom = g_pDb->m_nUserNumber;
    for (uint32_t nLoc : naChangedHeaders) m_db.RefreshState().QueueNotice({nFrom, TABLE_HEADER, nLoc});
    if (std::find(naChangedHeaders.begin(), naChangedHeaders.end(), nHeaderLoc) == naChangedHeaders.end())
      m_db.RefreshState().QueueNotice({nFrom, nTable, nKey});
  }

 private:
  uint8_t m_nUser;
  CTableManager m_db;
};
COtherCopy* g_pOther = nullptr;

// The other copy's refresh after an add or a delete in the middle by the
// first copy: the changed item, then the new order of the half of the
// table behind it, which it reads from one read of the file.
void OtherCopyRefresh(benchmark::State& state, bool bDelete) {
  // Opened only here: the other benchmarks run with the first copy alone on the file.
  if (!g_pOther->Db().OpenDatabase(g_pDb->DatabaseName(), 1)) {
    state.SkipWithError("the other copy cannot open the database");
    return;
  }
  g_pDb->SetLockManagerLink(g_pOther);
  long long n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    g_pUi->QueueEdit({{"Last name", Name(false, n++)}});
    uint32_t nCode = DB_NONE;
    bool bOk = g_pDb->AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false, {}, &nCode) == eItemResult::Done;
    if (bOk && bDelete) {
      bOk = g_pOther->Db().RefreshOnNotice() == 1;
      bOk = bOk && g_pDb->DeleteTableItem(TABLE_PERSON, nCode, 0) == eItemResult::Done;
    }
    state.ResumeTiming();
    bOk = bOk && g_pOther->Db().RefreshOnNotice() == 1;
    if (!bOk || g_pOther->Db().m_caPersonIndex.size() != g_pDb->m_caPersonIndex.size()) {
      state.SkipWithError(bOk ? "the other copy's table differs" : LastMessage().c_str());
      break;
    }
  }
  g_pDb->SetLockManagerLink(nullptr);
  g_pOther->Db().CloseDatabase();
}

// ---- SQLite ----

bool Exec(const char* pSql) { return sqlite3_exec(g_pSqlite, pSql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool MakeSqlite(const std::string& sPath) {
  std::filesystem::remove(sPath);
  if (sqlite3_open(sPath.c_str(), &g_pSqlite) != SQLITE_OK) return false;
  if (!Exec("CREATE TABLE person(code INTEGER PRIMARY KEY, seq INTEGER, last TEXT, first TEXT, "
            "city TEXT, email TEXT, comments TEXT)") ||
      !Exec("BEGIN"))
    return false;
  sqlite3_stmt* p = nullptr;
  sqlite3_prepare_v2(g_pSqlite, "INSERT INTO person VALUES(?,?,?,?,?,?,?)", -1, &p, nullptr);
  for (long long i = 0; i < g_nPersons; ++i) {
    sqlite3_bind_int64(p, 1, i + 1);
    sqlite3_bind_int64(p, 2, i);
    const std::string sLast = StrFormat("Last%08lld", i);
    sqlite3_bind_text(p, 3, sLast.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(p, 4, "First", -1, SQLITE_STATIC);
    sqlite3_bind_text(p, 5, "Bergen", -1, SQLITE_STATIC);
    sqlite3_bind_text(p, 6, "someone@example.com", -1, SQLITE_STATIC);
    sqlite3_bind_text(p, 7, "a comment of a few words\nand a second line", -1, SQLITE_STATIC);
    sqlite3_step(p);
    sqlite3_reset(p);
  }
  sqlite3_finalize(p);
  return Exec("COMMIT");
}

void SqliteStep(benchmark::State& state, const char* pSql, bool bKeyed) {
  sqlite3_stmt* p = nullptr;
  sqlite3_prepare_v2(g_pSqlite, pSql, -1, &p, nullptr);
  long long n = g_nPersons + 1;
  for (auto _ : state) {
    sqlite3_bind_int64(p, 1, bKeyed ? 1 + static_cast<long long>(g_rng() % g_nPersons) : n++);
    if (sqlite3_step(p) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(g_pSqlite));
    sqlite3_reset(p);
  }
  sqlite3_finalize(p);
}

void SetSynchronous(const char* pMode) { Exec((std::string("PRAGMA synchronous=") + pMode).c_str()); }

void SqliteInsert(benchmark::State& state, const char* pSync) {
  SetSynchronous(pSync);
  SqliteStep(state, "INSERT INTO person VALUES(?,0,'ZZZZ','Bench','Bergen','','')", false);
  Exec("DELETE FROM person WHERE last='ZZZZ'");
}
void SqliteUpdate(benchmark::State& state, const char* pSync) {
  SetSynchronous(pSync);
  SqliteStep(state, "UPDATE person SET city='Oslo' WHERE code=?", true);
}
void SqliteDelete(benchmark::State& state, const char* pSync) {
  SetSynchronous(pSync);
  // Delete and put back one row: the same work as the delete beside it.
  sqlite3_stmt* pDel = nullptr;
  sqlite3_stmt* pIns = nullptr;
  sqlite3_prepare_v2(g_pSqlite, "DELETE FROM person WHERE code=?", -1, &pDel, nullptr);
  sqlite3_prepare_v2(g_pSqlite, "INSERT INTO person VALUES(?,0,'Back','Bench','Bergen','','')", -1, &pIns,
                     nullptr);
  for (auto _ : state) {
    const long long nCode = 1 + static_cast<long long>(g_rng() % g_nPersons);
    sqlite3_bind_int64(pDel, 1, nCode);
    sqlite3_step(pDel);
    sqlite3_reset(pDel);
    state.PauseTiming();
    sqlite3_bind_int64(pIns, 1, nCode);
    sqlite3_step(pIns);
    sqlite3_reset(pIns);
    state.ResumeTiming();
  }
  sqlite3_finalize(pDel);
  sqlite3_finalize(pIns);
}

// One of the five writers: nRows autocommit updates of random rows. The exit
// code tells whether every one succeeded.
[[noreturn]] void WalWriter(int nWriter, int nRows) {
  sqlite3* db = nullptr;
  bool bOk = sqlite3_open(g_sSqlitePath.c_str(), &db) == SQLITE_OK;
  sqlite3_busy_timeout(db, 10000);
  bOk = bOk && sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt* p = nullptr;
  sqlite3_prepare_v2(db, "UPDATE person SET city=?2 WHERE code=?1", -1, &p, nullptr);
  std::mt19937 rng{unsigned(nWriter)};
  for (int i = 0; i < nRows && bOk; ++i) {
    sqlite3_bind_int64(p, 1, 1 + static_cast<long long>(rng() % g_nPersons));
    sqlite3_bind_int(p, 2, i);
    bOk = sqlite3_step(p) == SQLITE_DONE;
    sqlite3_reset(p);
  }
  sqlite3_finalize(p);
  sqlite3_close(db);
  _exit(bOk ? 0 : 1);
}

// Five processes updating the one SQLite file in WAL mode at once; the time
// of an iteration is that of every update of all five, and the counter
// gives the updates per second in all.
void SqliteWalFiveProcesses(benchmark::State& state) {
  constexpr int kWriters = 5, kRows = 40;
  Exec("PRAGMA journal_mode=WAL");
  double dOps = 0, dSeconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
      const pid_t pid = fork();
      if (pid == 0) WalWriter(w, kRows);
      pids.push_back(pid);
    }
    bool bOk = true;
    for (pid_t pid : pids) {
      int nStatus = 0;
      bOk = waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0 && bOk;
    }
    const double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!bOk) state.SkipWithError("a SQLite writer failed");
    state.SetIterationTime(d);
    dOps += kWriters * kRows;
    dSeconds += d;
  }
  state.counters["ops_per_s"] = dSeconds > 0 ? dOps / dSeconds : 0;
  Exec("PRAGMA journal_mode=DELETE");
}

void Register() {
  const int nIter = std::getenv("ITEMS_BENCH_ITER") ? std::atoi(std::getenv("ITEMS_BENCH_ITER")) : 40;
  auto reg = [&](const char* pName, auto fn) {
    benchmark::RegisterBenchmark(pName, fn)->Iterations(nIter)->Unit(benchmark::kMillisecond);
  };
  for (unsigned nUsers : {1u, 2u}) {
    const std::string s = nUsers == 1 ? "single_user/" : "two_users_on_line/";
    reg((s + "add_person_end").c_str(), [nUsers](benchmark::State& st) { AddPerson(st, true, nUsers); });
    reg((s + "add_person_middle").c_str(), [nUsers](benchmark::State& st) { AddPerson(st, false, nUsers); });
    reg((s + "edit_person").c_str(), [nUsers](benchmark::State& st) { EditPerson(st, nUsers); });
    reg((s + "delete_person_end").c_str(),
        [nUsers](benchmark::State& st) { DeletePerson(st, true, nUsers); });
    reg((s + "delete_person_middle").c_str(),
        [nUsers](benchmark::State& st) { DeletePerson(st, false, nUsers); });
  }
  reg("two_copies/other_copy_refresh_after_add_middle",
      [](benchmark::State& st) { OtherCopyRefresh(st, false); });
  reg("two_copies/other_copy_refresh_after_delete_middle",
      [](benchmark::State& st) { OtherCopyRefresh(st, true); });
  for (const char* pSync : {"OFF", "FULL"}) {
    const std::string s = std::string("sqlite_sync_") + pSync + "/";
    reg((s + "insert_row").c_str(), [pSync](benchmark::State& st) { SqliteInsert(st, pSync); });
    reg((s + "update_row").c_str(), [pSync](benchmark::State& st) { SqliteUpdate(st, pSync); });
    reg((s + "delete_row").c_str(), [pSync](benchmark::State& st) { SqliteDelete(st, pSync); });
  }
  benchmark::RegisterBenchmark("sqlite_wal/five_processes_updating", SqliteWalFiveProcesses)
      ->Iterations(3)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--persons" && i + 1 < argc)
      g_nPersons = std::atoll(argv[++i]);
    else
      args.push_back(argv[i]);
  }
  int nArgs = int(args.size());
  benchmark::Initialize(&nArgs, args.data());
  char cTemplate[] = "/tmp/items_bench-XXXXXX";
  if (!mkdtemp(cTemplate)) return 1;
  g_sFolder = cTemplate;
  const std::string sRoot = g_sFolder + "/items";
  CScriptedUi ui;
  CScopedUi scope(ui);
  g_pUi = &ui;
  std::printf("making %lld persons...\n", g_nPersons);
  const bool bCold = !std::getenv("ITEMS_BENCH_CACHED");
  if (!MakeDatabase(sRoot) || !MakeSqlite(g_sSqlitePath = g_sFolder + "/items.sqlite") ||
      (bCold && !(DropFromPageCache(sRoot + ".dbm") && DropFromPageCache(g_sSqlitePath)))) {
    std::fprintf(stderr, "items_bench: cannot make the databases in %s\n", g_sFolder.c_str());
    return 1;
  }
  CTableManager db;
  if (!db.OpenDatabase(sRoot, 0)) return 1;
  // The generated persons are stored in the order they were made; the first
  // view puts them in name order once (what a user's first look does).
  db.SortRecordsPerson();
  g_pDb = &db;
  COtherCopy other(uint8_t(db.m_nUserNumber + 1));
  g_pOther = &other;
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  db.CloseDatabase();
  sqlite3_close(g_pSqlite);
  std::filesystem::remove_all(g_sFolder);
  return 0;
}
