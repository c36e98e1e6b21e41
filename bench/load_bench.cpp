// Opening a large database: header list, every table into memory and the
// index checks, measured in a fresh process (the file's pages may still be
// cached; dropping them needs root: the program is started again for each
// such open) and warm in this one; beside it the time
// to read the file's bytes with one pread, and the time SQLite needs to
// select the same rows into the same item objects.
//
//   load_bench [--persons N] [--schedule N] [--log N]   (100,000 each by default)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/CDatabase.h"
#include "data/DemoData.h"
#include "support/StringUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string g_sRoot;  // the database path without ".dbm"
std::string g_sSqlite;
// Wall-clock and CPU seconds of every iteration.
struct stTimes {
  std::vector<double> daWall, daCpu;
};
stTimes g_freshOpen, g_warmOpen, g_rawRead, g_sqlite;
std::vector<double> g_daFreshFaults;  // page faults of each fresh open

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Times one run of fn into t.
template <class F>
void Timed(stTimes& t, F fn) {
  const double dCpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  fn();
  t.daWall.push_back(Seconds(t0));
  t.daCpu.push_back(CpuSeconds() - dCpu0);
}

long MinorFaults() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_minflt;
}

double Median(std::vector<double> da) {
  if (da.empty()) return 0.0;
  std::sort(da.begin(), da.end());
  return da[da.size() / 2];
}

bool Generate(long long nPersons, long long nSchedule, long long nLog) {
  CDatabase db;
  if (!db.OpenDatabase(g_sRoot, 0) || !db.LockDatabase("generate")) return false;
  const bool bOk = WriteGeneratedItems(db, nPersons, nSchedule, nLog);
  db.UnlockDatabase();
  db.CloseDatabase();
  return bOk;
}

// ---- SQLite with the same rows ----

std::string JoinLines(const std::vector<std::string>& sa) {
  std::string s;
  for (size_t i = 0; i < sa.size(); ++i) {
    if (i) s += "\n";
    s += sa[i];
  }
  return s;
}

std::string JoinCodes(const std::vector<uint32_t>& na) {
  std::string s;
  for (size_t i = 0; i < na.size(); ++i) {
    if (i) s += ",";
    s += std::to_string(na[i]);
  }
  return s;
}

std::vector<uint32_t> SplitCodes(const char* p) {
  std::vector<std::string> sa;
  ParseString(p ? p : "", ",", sa);
  std::vector<uint32_t> na;
  for (const auto& s : sa) na.push_back(uint32_t(std::strtoul(s.c_str(), nullptr, 10)));
  return na;
}

std::string Col(sqlite3_stmt* st, int i) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
  return p ? p : "";
}

bool Exec(sqlite3* db, const char* pSql) {
  return sqlite3_exec(db, pSql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool BuildSqlite(const CDatabase& src) {
  sqlite3* db = nullptr;
  std::filesystem::remove(g_sSqlite);
  if (sqlite3_open(g_sSqlite.c_str(), &db) != SQLITE_OK) return false;
  bool bOk = Exec(db,
                  "CREATE TABLE person(code INTEGER PRIMARY KEY, seq, flag, type, status, dependent,"
                  " last, first, addr1, addr2, city, state, zip, country, home, work, cell, fax,"
                  " email, comments, categories);"
                  "CREATE TABLE schedule(code INTEGER PRIMARY KEY, seq, version, description,"
                  " repeat, start, end_set, end_date, alarm, alarm_user, hours_before, alarm_done,"
                  " contact, day_count, categories);"
                  "CREATE TABLE log(code INTEGER PRIMARY KEY, seq, version, kind, sender, contact,"
                  " text, date, categories);"
                  "BEGIN;");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO person VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st,
                     nullptr);
  for (const auto& e : src.m_caPersonIndex) {
    const auto& p = static_cast<const CPerson&>(*e.m_pItem);
    const std::string saText[] = {p.m_sLastName,
                                  p.m_sFirstName,
                                  p.m_sAddress1,
                                  p.m_sAddress2,
                                  p.m_sCity,
                                  p.m_sState,
                                  p.m_sZip,
                                  p.m_sCountry,
                                  p.m_sHomePhone,
                                  p.m_sWorkPhone,
                                  p.m_sCellPhone,
                                  p.m_sFax,
                                  p.m_sEmail,
                                  JoinLines(p.m_saComments),
                                  JoinCodes(p.m_naCategories)};
    sqlite3_bind_int64(st, 1, p.m_nCode);
    sqlite3_bind_int64(st, 2, p.m_nSequence);
    sqlite3_bind_int(st, 3, p.m_cFlag);
    sqlite3_bind_int(st, 4, p.m_cType);
    sqlite3_bind_int(st, 5, p.m_cStatus);
    sqlite3_bind_int64(st, 6, p.m_nDependentOn);
    for (int i = 0; i < 15; ++i) sqlite3_bind_text(st, 7 + i, saText[i].c_str(), -1, SQLITE_TRANSIENT);
    bOk = bOk && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db, "INSERT INTO schedule VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
  for (const auto& e : src.m_caScheduleIndex) {
    const auto& s = static_cast<const CScheduleRecord&>(*e.m_pItem);
    const std::string sCats = JoinCodes(s.m_naCategories);
    sqlite3_bind_int64(st, 1, s.m_nCode);
    sqlite3_bind_int64(st, 2, s.m_nSequence);
    sqlite3_bind_int(st, 3, s.m_cVersion);
    sqlite3_bind_text(st, 4, s.m_sDescription.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 5, s.m_cRepeatType);
    sqlite3_bind_double(st, 6, s.m_dStart);
    sqlite3_bind_int(st, 7, s.m_nEndDateSet);
    sqlite3_bind_double(st, 8, s.m_dEnd);
    sqlite3_bind_int(st, 9, s.m_nAlarmEnabled);
    sqlite3_bind_int64(st, 10, s.m_nAlarmUser);
    sqlite3_bind_int(st, 11, s.m_nHoursBefore);
    sqlite3_bind_double(st, 12, s.m_dAlarmDone);
    sqlite3_bind_int64(st, 13, s.m_nContact);
    sqlite3_bind_int(st, 14, s.m_nDayCount);
    sqlite3_bind_text(st, 15, sCats.c_str(), -1, SQLITE_TRANSIENT);
    bOk = bOk && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db, "INSERT INTO log VALUES(?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
  for (const auto& e : src.m_caLogIndex) {
    const auto& l = static_cast<const CLogRecord&>(*e.m_pItem);
    const std::string sCats = JoinCodes(l.m_naCategories);
    sqlite3_bind_int64(st, 1, l.m_nCode);
    sqlite3_bind_int64(st, 2, l.m_nSequence);
    sqlite3_bind_int(st, 3, l.m_cVersion);
    sqlite3_bind_int(st, 4, l.m_cKind);
    sqlite3_bind_int(st, 5, l.m_cSender);
    sqlite3_bind_int64(st, 6, l.m_nContact);
    sqlite3_bind_text(st, 7, l.m_sText.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 8, l.m_dDate);
    sqlite3_bind_text(st, 9, sCats.c_str(), -1, SQLITE_TRANSIENT);
    bOk = bOk && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  bOk = bOk && Exec(db, "COMMIT;");
  sqlite3_close(db);
  return bOk;
}

// Selects every row into item objects; returns the number of items.
size_t SelectSqlite() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(g_sSqlite.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 0;
  std::vector<std::unique_ptr<CDataRecord>> items;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM person ORDER BY seq", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto p = std::make_unique<CPerson>();
    p->m_nCode = uint32_t(sqlite3_column_int64(st, 0));
    p->m_nSequence = uint32_t(sqlite3_column_int64(st, 1));
    p->m_cFlag = uint8_t(sqlite3_column_int(st, 2));
    p->m_cType = char(sqlite3_column_int(st, 3));
    p->m_cStatus = char(sqlite3_column_int(st, 4));
    p->m_nDependentOn = uint32_t(sqlite3_column_int64(st, 5));
    std::string* paText[] = {&p->m_sLastName,  &p->m_sFirstName, &p->m_sAddress1,  &p->m_sAddress2,
                             &p->m_sCity,      &p->m_sState,     &p->m_sZip,       &p->m_sCountry,
                             &p->m_sHomePhone, &p->m_sWorkPhone, &p->m_sCellPhone, &p->m_sFax,
                             &p->m_sEmail};
    for (int i = 0; i < 13; ++i) *paText[i] = Col(st, 6 + i);
    ParseString(Col(st, 19), "\n", p->m_saComments, 0, true);
    p->m_naCategories = SplitCodes(reinterpret_cast<const char*>(sqlite3_column_text(st, 20)));
    items.push_back(std::move(p));
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db, "SELECT * FROM schedule ORDER BY seq", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto s = std::make_unique<CScheduleRecord>();
    s->m_nCode = uint32_t(sqlite3_column_int64(st, 0));
    s->m_nSequence = uint32_t(sqlite3_column_int64(st, 1));
    s->m_cVersion = uint8_t(sqlite3_column_int(st, 2));
    s->m_sDescription = Col(st, 3);
    s->m_cRepeatType = char(sqlite3_column_int(st, 4));
    s->m_dStart = sqlite3_column_double(st, 5);
    s->m_nEndDateSet = sqlite3_column_int(st, 6);
    s->m_dEnd = sqlite3_column_double(st, 7);
    s->m_nAlarmEnabled = sqlite3_column_int(st, 8);
    s->m_nAlarmUser = uint32_t(sqlite3_column_int64(st, 9));
    s->m_nHoursBefore = sqlite3_column_int(st, 10);
    s->m_dAlarmDone = sqlite3_column_double(st, 11);
    s->m_nContact = uint32_t(sqlite3_column_int64(st, 12));
    s->m_nDayCount = sqlite3_column_int(st, 13);
    s->m_naCategories = SplitCodes(reinterpret_cast<const char*>(sqlite3_column_text(st, 14)));
    items.push_back(std::move(s));
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db, "SELECT * FROM log ORDER BY seq", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto l = std::make_unique<CLogRecord>(0.0);
    l->m_nCode = uint32_t(sqlite3_column_int64(st, 0));
    l->m_nSequence = uint32_t(sqlite3_column_int64(st, 1));
    l->m_cVersion = uint8_t(sqlite3_column_int(st, 2));
    l->m_cKind = uint8_t(sqlite3_column_int(st, 3));
    l->m_cSender = uint8_t(sqlite3_column_int(st, 4));
    l->m_nContact = uint32_t(sqlite3_column_int64(st, 5));
    l->m_sText = Col(st, 6);
    l->m_dDate = sqlite3_column_double(st, 7);
    l->m_naCategories = SplitCodes(reinterpret_cast<const char*>(sqlite3_column_text(st, 8)));
    items.push_back(std::move(l));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return items.size();
}

size_t LoadedItems(const CDatabase& db) {
  return db.m_caCategoryIndex.size() + db.m_caPersonIndex.size() + db.m_caScheduleIndex.size() +
         db.m_caLogIndex.size();
}

// The open of a fresh process (this program started again with
// --fresh-open): it sends its wall-clock and CPU seconds and its page
// faults down the pipe.
int FreshOpenChild(const char* pRoot, int nFd) {
  CDatabase db;
  const long nFaults0 = MinorFaults();
  const double dCpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  const int nOk = db.OpenDatabase(pRoot, 0);
  const double d[3] = {nOk ? Seconds(t0) : -1.0, CpuSeconds() - dCpu0, double(MinorFaults() - nFaults0)};
  const bool bSent = write(nFd, d, sizeof d) == sizeof d;
  // Closed after the measurement: a file left open would make the next
  // fresh open offer (and, unattended, run) the integrity test.
  db.CloseDatabase();
  _exit(bSent ? 0 : 1);
}

// The first open in a fresh process: wall-clock and CPU seconds, page faults.
std::array<double, 3> FreshProcessOpen() {
  int fd[2];
  if (pipe(fd) != 0) return {-1.0, -1.0, 0.0};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    const std::string sFd = std::to_string(fd[1]);
    execl("/proc/self/exe", "load_bench", "--fresh-open", g_sRoot.c_str(), sFd.c_str(), nullptr);
    _exit(1);
  }
  close(fd[1]);
  std::array<double, 3> d = {-1.0, -1.0, 0.0};
  if (read(fd[0], d.data(), sizeof d) != sizeof d) d[0] = -1.0;
  close(fd[0]);
  waitpid(pid, nullptr, 0);
  return d;
}

// The medians of the iterations, as counters run.sh reads.
void SetMedians(benchmark::State& state, const stTimes& t) {
  state.counters["median_ms"] = Median(t.daWall) * 1e3;
  state.counters["cpu_median_ms"] = Median(t.daCpu) * 1e3;
}

void BM_FreshOpen(benchmark::State& state) {
  for (auto _ : state) {
    const auto [dWall, dCpu, dFaults] = FreshProcessOpen();
    if (dWall < 0) state.SkipWithError("open failed");
    g_freshOpen.daWall.push_back(dWall);
    g_freshOpen.daCpu.push_back(dCpu);
    g_daFreshFaults.push_back(dFaults);
    state.SetIterationTime(std::max(dWall, 0.0));
  }
  SetMedians(state, g_freshOpen);
  state.counters["page_faults"] = Median(g_daFreshFaults);
}

void BM_OpenDatabase(benchmark::State& state) {
  size_t nItems = 0;
  for (auto _ : state) {
    CDatabase db;
    Timed(g_warmOpen, [&] {
      if (!db.OpenDatabase(g_sRoot, 0)) state.SkipWithError("open failed");
    });
    nItems = LoadedItems(db);
    state.PauseTiming();
    db.CloseDatabase();
    state.ResumeTiming();
  }
  state.counters["items"] = double(nItems);
  SetMedians(state, g_warmOpen);
}

void BM_RawPread(benchmark::State& state) {
  const std::string sPath = g_sRoot + ".dbm";
  for (auto _ : state) {
    Timed(g_rawRead, [&] {
      const int fd = open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st {};
      fstat(fd, &st);
      std::unique_ptr<uint8_t[]> p(new uint8_t[size_t(st.st_size)]);
      const ssize_t n = pread(fd, p.get(), size_t(st.st_size), 0);
      close(fd);
      benchmark::DoNotOptimize(n);
    });
  }
  SetMedians(state, g_rawRead);
}

void BM_SqliteSelect(benchmark::State& state) {
  size_t nItems = 0;
  for (auto _ : state) Timed(g_sqlite, [&] { nItems = SelectSqlite(); });
  state.counters["items"] = double(nItems);
  SetMedians(state, g_sqlite);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--fresh-open") return FreshOpenChild(argv[2], std::atoi(argv[3]));
  long long naCounts[3] = {100000, 100000, 100000};
  const char* kFlags[3] = {"--persons", "--schedule", "--log"};
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    int nFlag = -1;
    for (int f = 0; f < 3; ++f)
      if (std::string(argv[i]) == kFlags[f]) nFlag = f;
    if (nFlag >= 0 && i + 1 < argc)
      naCounts[nFlag] = std::atoll(argv[++i]);
    else
      rest.push_back(argv[i]);
  }
  int nRest = int(rest.size());
  benchmark::Initialize(&nRest, rest.data());

  char cTemplate[] = "/tmp/kelvo-load-bench-XXXXXX";
  const char* pDir = mkdtemp(cTemplate);
  if (!pDir) return 1;
  g_sRoot = std::string(pDir) + "/bench";
  g_sSqlite = std::string(pDir) + "/bench.sqlite";
  auto t0 = Clock::now();
  if (!Generate(naCounts[0], naCounts[1], naCounts[2])) {
    std::fprintf(stderr, "load_bench: could not generate the database\n");
    return 1;
  }
  const double dGenerate = Seconds(t0);
  {
    CDatabase db;
    db.OpenDatabase(g_sRoot, 0);
    if (!BuildSqlite(db)) {
      std::fprintf(stderr, "load_bench: could not build the SQLite database\n");
      return 1;
    }
  }
  benchmark::RegisterBenchmark("OpenDatabase/fresh process", BM_FreshOpen)
      ->Iterations(5)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("OpenDatabase/warm", BM_OpenDatabase)
      ->Iterations(5)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("pread/whole file", BM_RawPread)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SQLite/select into items", BM_SqliteSelect)
      ->Iterations(5)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();

  const double dFresh = Median(g_freshOpen.daWall), dFreshCpu = Median(g_freshOpen.daCpu);
  const double dWarm = Median(g_warmOpen.daWall), dRaw = Median(g_rawRead.daWall);
  const double dSql = Median(g_sqlite.daWall);
  const double dWarmCpu = Median(g_warmOpen.daCpu), dRawCpu = Median(g_rawRead.daCpu);
  const double dSqlCpu = Median(g_sqlite.daCpu);
  const long long nRecords = naCounts[0] + naCounts[1] + naCounts[2];
  std::printf(
      "\nDatabase of %lld persons, %lld schedule items, %lld log entries: %.1f MB, generated in %.2f s\n",
      naCounts[0], naCounts[1], naCounts[2], double(std::filesystem::file_size(g_sRoot + ".dbm")) / 1e6,
      dGenerate);
  std::printf("                                             wall ms     CPU ms\n");
  std::printf("OpenDatabase, fresh process (median of 5):   %8.1f   %8.1f   (%.0f page faults)\n", dFresh * 1e3,
              dFreshCpu * 1e3, Median(g_daFreshFaults));
  std::printf("OpenDatabase, warm (median of 5):            %8.1f   %8.1f\n", dWarm * 1e3, dWarmCpu * 1e3);
  std::printf("One pread of the whole file (median of 5):   %8.1f   %8.1f\n", dRaw * 1e3, dRawCpu * 1e3);
  std::printf("SQLite select into the same items (median):  %8.1f   %8.1f\n", dSql * 1e3, dSqlCpu * 1e3);
  std::printf(
      "Ratio open/pread: fresh %.1fx wall (goal 2.5x), warm %.1fx wall (goal 1.5x); CPU %.1fx, %.1fx\n",
      dFresh / dRaw, dWarm / dRaw, dFreshCpu / dRawCpu, dWarmCpu / dRawCpu);
  std::printf("Ratio open/SQLite select: fresh %.2fx wall, %.2fx CPU; warm %.2fx wall, %.2fx CPU\n",
              dFresh / dSql, dFreshCpu / dSqlCpu, dWarm / dSql, dWarmCpu / dSqlCpu);
  std::printf("Goals for %lld records: fresh <= 400 ms and <= 2.5x: %s; warm <= 150 ms and <= 1.5x: %s\n",
              nRecords, dFresh <= 0.4 && dFresh <= 2.5 * dRaw ? "met" : "missed",
              dWarm <= 0.15 && dWarm <= 1.5 * dRaw ? "met" : "missed");
  benchmark::Shutdown();
  std::filesystem::remove_all(pDir);
  return 0;
}
