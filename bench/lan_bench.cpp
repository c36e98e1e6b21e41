// LAN coordination between copies on loopback, with two and with five
// copies in one process (each with its own engine, LAN server and address
// 127.X.Y.n): the lock request-to-grant round trip from a copy that is not
// the lock manager, the time from a change announced by one copy until
// another copy holds its refresh flag, and the time from the start of a
// saved change in one table manager until another copy's memory shows it
// (the designed 200 ms pause before a non-manager's unlock notice included).
// Each figure is the median and the 99th percentile of many rounds; copies
// drain their queues as fast as they can, as a copy does when the posted
// "messages waiting" arrives.
//
// The cases named ...FiveCopies run every copy as a process of its own with
// its own event loop, as five users would: how soon each of the four other
// copies shows a saved change (from a copy that is not the lock manager, and
// from the lock manager), how long a save keeps the saving copy's window from
// processing events, and how many operations five copies editing at once get
// through in all.

#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <thread>

#include "data/CItemDialogs.h"
#include "data/CTableManager.h"
#include "engine/CDbEngine.h"
#include "network/CLockManager.h"
#include "network/NetworkHelpers.h"
#include "support/CScriptedUi.h"
#include "support/FileUtil.h"
#include "support/UserPrompts.h"
#include "support/StringUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

struct stCopy {
  CQueuedPoster m_poster;
  CDbEngine m_engine;
  CLockManager m_lan;
};

// n copies on a private loopback range; copy 0 holds the database.
class CCopies {
 public:
  explicit CCopies(int nCopies) {
    std::random_device rd;
    m_nSecond = std::uniform_int_distribution<int>(10, 250)(rd);
    m_nThird = std::uniform_int_distribution<int>(0, 250)(rd);
    m_sFolder = StrFormat("/tmp/kelvo-lan-bench-%d", int(getpid()));
    MakeFolder(m_sFolder);
    for (int i = 0; i < nCopies; ++i) {
      std::vector<std::string> saList;
      for (int j = 0; j < nCopies; ++j)
        if (j != i) saList.push_back(StrFormat("PC%d:%s", j + 2, Address(j + 2).c_str()));
      const std::string sList = StrFormat("%s/Kelvo%d.usr", m_sFolder.c_str(), i);
      WriteComputerList(sList, saList);
      stLanIdentity id{StrFormat("PC%d", i + 2), Address(i + 2), Address(i + 2), "23456", sList};
      auto p = std::make_unique<stCopy>();
      p->m_lan.SetIdentity(id);
      p->m_lan.SetPoster(&p->m_poster);
      std::vector<stUserListEntry> users;
      p->m_engine.m_nUserNumber = p->m_lan.InitializeUserList(users);
      p->m_lan.StartLanServer(p->m_engine, "//PC2/share/BENCH.dbm");
      m_copies.push_back(std::move(p));
    }
    Pump([&] { return m_copies[0]->m_lan.Server()->ConnectedCount() == nCopies - 1; });
  }
  ~CCopies() {
    m_copies.clear();
    std::error_code ec;
    std::filesystem::remove_all(m_sFolder, ec);
  }
  std::string Address(int n) const { return StrFormat("127.%d.%d.%d", m_nSecond, m_nThird, n); }
  stCopy& operator[](size_t i) { return *m_copies[i]; }
  void Pump(const std::function<bool()>& fnDone) {
    while (!fnDone())
      for (auto& p : m_copies) p->m_lan.OnMessage();
  }

 private:
  int m_nSecond, m_nThird;
  std::string m_sFolder;
  std::vector<std::unique_ptr<stCopy>> m_copies;
};

void Report(benchmark::State& state, std::vector<double>& daMicros) {
  std::sort(daMicros.begin(), daMicros.end());
  state.counters["median_us"] = daMicros[daMicros.size() / 2];
  state.counters["p99_us"] = daMicros[daMicros.size() * 99 / 100];
}

void BM_LockRoundTrip(benchmark::State& state) {
  CScriptedUi ui;
  CScopedUi scope(ui);
  CCopies copies(int(state.range(0)));
  stCopy& client = copies[1];
  std::vector<double> daMicros;
  uint32_t nKey = 1;
  for (auto _ : state) {
    const auto start = Clock::now();
    client.m_engine.RefreshState().BeginLockWait();
    client.m_lan.ClearReceivedGrants();
    client.m_lan.SendLockRequest(6, nKey);
    copies.Pump([&] { return !client.m_lan.ReceivedGrants().empty(); });
    client.m_lan.TakeGrantFromLockManager();
    client.m_engine.RefreshState().EndLockWait();
    daMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    // Released without the designed pause, which is not part of the round trip.
    client.m_lan.SendAnotherUserMessage("PC2", MSG_DATAUNLOCKED, 6, nKey++);
  }
  Report(state, daMicros);
}

void BM_ChangeNotice(benchmark::State& state) {
  CScriptedUi ui;
  CScopedUi scope(ui);
  CCopies copies(int(state.range(0)));
  stCopy& writer = copies[size_t(state.range(0)) - 1];
  stCopy& reader = copies[0];
  std::vector<double> daMicros;
  uint32_t nKey = 1;
  for (auto _ : state) {
    const auto start = Clock::now();
    writer.m_lan.SendDataModified(6, nKey++, 4096, {});
    copies.Pump([&] { return !reader.m_engine.RefreshState().Notices().empty(); });
    daMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    for (size_t i = 0; i < size_t(state.range(0)); ++i)
      copies[i].m_engine.RefreshState().ClearNotices();
  }
  Report(state, daMicros);
}

// A table manager copy with its multi-user side.
struct stDbCopy : public CDatabaseNetwork {
  CQueuedPoster m_poster;
  CTableManager m_db;
  CLockManager m_lan;

  void InitializeUserList(CDatabase& db) override {
    std::vector<stUserListEntry> users;
    db.m_nUserNumber = m_lan.InitializeUserList(users);
  }
  int StartLanServer(CDatabase& db, const std::string& sFile) override {
    return m_lan.StartLanServer(db, sFile);
  }
  void EndLanServer(CDatabase&) override { m_lan.EndLanServer(); }
};

void BM_ChangeVisible(benchmark::State& state) {
  CScriptedUi ui;
  CScopedUi scope(ui);
  const int nCopies = int(state.range(0));
  std::random_device rd;
  const int nSecond = std::uniform_int_distribution<int>(10, 250)(rd);
  const std::string sFolder = StrFormat("/tmp/kelvo-lan-bench-db-%d", int(getpid()));
  MakeFolder(sFolder + "/share");
  WriteFileAtomic(sFolder + "/mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 0:50 / " +
                                              sFolder + "/share rw - cifs //PC2/share rw\n");
  setenv("KELVO_MOUNTINFO", (sFolder + "/mountinfo").c_str(), 1);
  std::vector<std::unique_ptr<stDbCopy>> copies;
  int nPumpDepth = 0;
  const auto fnPump = [&] {
    if (nPumpDepth > 2) return;
    ++nPumpDepth;
    for (auto& p : copies)
      for (int nCode : p->m_poster.Drain())
        if (nCode == MAINFRAME_MESSAGES_WAITING && p->m_db.IsDatabaseOpen()) p->m_lan.OnMessage();
    --nPumpDepth;
  };
  ui.SetEventHook(fnPump);
  for (int i = 0; i < nCopies; ++i) {
    const auto address = [&](int n) { return StrFormat("127.%d.77.%d", nSecond, n); };
    std::vector<std::string> saList;
    for (int j = 0; j < nCopies; ++j)
      if (j != i) saList.push_back(StrFormat("PC%d:%s", j + 2, address(j + 2).c_str()));
    const std::string sList = StrFormat("%s/Kelvo%d.usr", sFolder.c_str(), i);
    WriteComputerList(sList, saList);
    auto p = std::make_unique<stDbCopy>();
    p->m_lan.SetIdentity({StrFormat("PC%d", i + 2), address(i + 2), address(i + 2), "23457", sList});
    p->m_lan.SetPoster(&p->m_poster);
    CTableManager* pDb = &p->m_db;
    // One thread serves every copy: a refresh starts only while no copy is
    // inside a wait (as the program's timer does), else it is owed.
    p->m_lan.SetRefreshRequest([pDb] {
      if (BusyDepth() == 0)
        pDb->RefreshOnNotice();
      else
        pDb->RefreshState().OweRefresh();
    });
    p->m_db.SetNetwork(p.get());
    if (!p->m_db.OpenDatabase(sFolder + "/share/BENCH", 1)) {
      state.SkipWithError("a copy could not open the database");
      return;
    }
    copies.push_back(std::move(p));
  }
  while (copies[0]->m_db.CountOnLine() != unsigned(nCopies)) fnPump();
  for (auto& p : copies) p->m_db.RetryOwedRefresh();
  CTableManager& writer = copies[size_t(nCopies) - 1]->m_db;
  CPerson person;
  person.m_sLastName = "Bench";
  uint32_t nCode = DB_NONE;
  writer.AddTableItem(TABLE_PERSON, DB_NONE, &person, 0, {}, &nCode);
  std::vector<double> daMicros, daAllMicros;
  int nRound = 0;
  for (auto _ : state) {
    const std::string sCity = StrFormat("City %d", ++nRound);
    const auto start = Clock::now();
    writer.SaveModifiedItem(TABLE_PERSON, nCode, [&](CDataRecord& r) {
      static_cast<CPerson&>(r).m_sCity = sCity;
      return true;
    });
    // Until the first other copy shows the change, and until every copy does.
    const auto fnSeenBy = [&](const stDbCopy& c) {
      const auto* p = static_cast<const CPerson*>(c.m_db.GetPointer(TABLE_PERSON, nCode));
      return p && p->m_sCity == sCity;
    };
    // Looked at after every copy's step: one thread serves them all, so the
    // first copy's refresh is seen before the next copy starts its own.
    bool bFirst = false;
    const auto fnAllSeen = [&] {
      const int nSeen = int(std::count_if(copies.begin(), copies.end() - 1,
                                          [&](const auto& p) { return fnSeenBy(*p); }));
      const double dMicros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
      if (nSeen > 0 && !bFirst) {
        daMicros.push_back(dMicros);
        bFirst = true;
      }
      if (nSeen < nCopies - 1) return false;
      daAllMicros.push_back(dMicros);
      return true;
    };
    for (bool bAll = false; !bAll;) {
      fnPump();
      bAll = fnAllSeen();
      for (auto it = copies.begin(); it != copies.end() && !bAll; ++it) {
        (*it)->m_db.RetryOwedRefresh();
        bAll = fnAllSeen();
      }
    }
  }
  Report(state, daAllMicros);
  state.counters["all_median_us"] = state.counters["median_us"];
  state.counters["all_p99_us"] = state.counters["p99_us"];
  Report(state, daMicros);
  for (auto it = copies.rbegin(); it != copies.rend(); ++it) (*it)->m_db.CloseDatabase();
  copies.clear();
  std::error_code ec;
  std::filesystem::remove_all(sFolder, ec);
}

// ---- copies as processes ----

constexpr int kProcCopies = 5;
constexpr int kMaxRounds = 256;

// steady_clock is CLOCK_MONOTONIC: one time line for every process.
int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}
double Millis(int64_t nNs) { return double(nNs) / 1e6; }

// What the bench and its copies share: an anonymous shared mapping made
// before the copies are forked.
struct stShared {
  std::atomic<int> nOpened{0};  // copies that opened the database (they open in turn)
  std::atomic<int> nFailed{0};
  std::atomic<int> nOnLine{0};  // copies that count every copy on line
  std::atomic<int> naQuit[kProcCopies];
  std::atomic<uint32_t> nCode{DB_NONE};  // the person the rounds change
  std::atomic<int> nSeenCode{0};         // copies whose memory holds it
  std::atomic<int> nWriter{-1};
  std::atomic<int> nRound{0};   // the round the writer is to save now
  std::atomic<int> nSaved{0};   // the last round the writer saved
  int64_t naStart[kMaxRounds];  // when the writer's save began
  int64_t naSeen[kProcCopies][kMaxRounds];
  double dSaveMaxMs = 0;    // the writer's longest save
  double dFrozenMaxMs = 0;  // the writer's longest time between two event pumps in a save
  std::atomic<int> nEditOps{0};  // operations per copy in the editing run; 0: none yet
  std::atomic<int> nEditDone{0};
  int64_t nEditStart = 0;
  int64_t naEditEnd[kProcCopies];
  int naDone[kProcCopies], naRefused[kProcCopies];
  double daEditFrozenMs[kProcCopies];
};

// One copy in a process of its own: opens the database in its turn, then
// runs an event loop (posted messages at once, the owed refresh every
// second) and does what the bench asks through the shared block.
class CProcessCopy {
 public:
  CProcessCopy(stShared& sh, int nIndex, const std::string& sFolder, int nSecond)
      : m_sh(sh), m_nIndex(nIndex), m_sFolder(sFolder), m_nSecond(nSecond) {}

  int Run() {
    CScriptedUi ui;
    CScopedUi scope(ui);
    m_pUi = &ui;
    ui.SetEventHook([this] { Pump(); });
    if (!Open()) {
      ++m_sh.nFailed;
      return 1;
    }
    ++m_sh.nOpened;
    int64_t nLastTick = NowNs();
    while (!m_sh.naQuit[m_nIndex].load()) {
      m_copy.m_poster.WaitForPost(std::chrono::milliseconds(2));
      Pump();
      if (NowNs() - nLastTick > 1000000000 && BusyDepth() == 0) {
        nLastTick = NowNs();
        m_copy.m_db.RetryOwedRefresh();
      }
      Step();
    }
    m_copy.m_db.CloseDatabase();
    return 0;
  }

 private:
  bool Open() {
    std::vector<std::string> saList;
    for (int j = 0; j < kProcCopies; ++j)
      if (j != m_nIndex) saList.push_back(StrFormat("PC%d:%s", j + 2, Address(j + 2).c_str()));
    const std::string sList = StrFormat("%s/Kelvo%d.usr", m_sFolder.c_str(), m_nIndex);
    WriteComputerList(sList, saList);
    m_copy.m_lan.SetIdentity({StrFormat("PC%d", m_nIndex + 2), Address(m_nIndex + 2),
                              Address(m_nIndex + 2), "23458", sList});
    m_copy.m_lan.SetPoster(&m_copy.m_poster);
    m_copy.m_lan.SetRefreshRequest([this] {
      if (BusyDepth() == 0)
        m_copy.m_db.RefreshOnNotice();
      else
        m_copy.m_db.RefreshState().OweRefresh();
    });
    m_copy.m_db.SetNetwork(&m_copy);
    while (m_sh.nOpened.load() < m_nIndex) {
      if (m_sh.nFailed.load()) return false;
      usleep(1000);
    }
    return m_copy.m_db.OpenDatabase(m_sFolder + "/share/BENCH", 1);
  }
  std::string Address(int n) const { return StrFormat("127.%d.78.%d", m_nSecond, n); }

  // What the window does with its private message; also notes the longest
  // time between two event pumps while m_bTrackGap is set.
  void Pump() {
    const int64_t nNow = NowNs();
    if (m_bTrackGap) m_dMaxGapMs = std::max(m_dMaxGapMs, Millis(nNow - m_nLastPump));
    m_nLastPump = nNow;
    if (m_nPumpDepth > 2) return;
    ++m_nPumpDepth;
    for (int nCode : m_copy.m_poster.Drain())
      if (nCode == MAINFRAME_MESSAGES_WAITING && m_copy.m_db.IsDatabaseOpen()) m_copy.m_lan.OnMessage();
    --m_nPumpDepth;
  }
  void StartGap() {
    m_bTrackGap = true;
    m_dMaxGapMs = 0;
    m_nLastPump = NowNs();
  }
  double EndGap() {
    Pump();
    m_bTrackGap = false;
    return m_dMaxGapMs;
  }

  const CPerson* Person(uint32_t nCode) const {
    return static_cast<const CPerson*>(m_copy.m_db.GetPointer(TABLE_PERSON, nCode));
  }

  void Step() {
    CTableManager& db = m_copy.m_db;
    if (!m_bOnLine && db.CountOnLine() == unsigned(kProcCopies)) {
      m_bOnLine = true;
      ++m_sh.nOnLine;
    }
    if (m_nIndex == 0 && m_sh.nOnLine.load() == kProcCopies && m_sh.nCode.load() == DB_NONE) {
      CPerson person;
      person.m_sLastName = "Bench";
      uint32_t nCode = DB_NONE;
      db.AddTableItem(TABLE_PERSON, DB_NONE, &person, false, {}, &nCode);
      m_sh.nCode = nCode;
    }
    const uint32_t nCode = m_sh.nCode.load();
    if (nCode == DB_NONE) return;
    if (!m_bSeenCode && Person(nCode)) {
      m_bSeenCode = true;
      ++m_sh.nSeenCode;
    }
    const int nRound = m_sh.nRound.load();
    if (nRound > m_nLastRound && m_sh.nWriter.load() == m_nIndex) {
      SaveRound(nCode, nRound);
    } else if (nRound > m_nLastRound) {
      const CPerson* p = Person(nCode);
      if (p && p->m_sCity == StrFormat("City %d", nRound)) {
        m_sh.naSeen[m_nIndex][nRound] = NowNs();
        m_nLastRound = nRound;
      }
    }
    if (m_sh.nEditOps.load() > 0 && !m_bEdited) EditRun(m_sh.nEditOps.load());
  }

  void SaveRound(uint32_t nCode, int nRound) {
    const std::string sCity = StrFormat("City %d", nRound);
    StartGap();
    const int64_t nStart = NowNs();
    m_sh.naStart[nRound] = nStart;
    m_copy.m_db.SaveModifiedItem(TABLE_PERSON, nCode, [&](CDataRecord& r) {
      static_cast<CPerson&>(r).m_sCity = sCity;
      return true;
    });
    const int64_t nEnd = NowNs();
    m_sh.dFrozenMaxMs = std::max(m_sh.dFrozenMaxMs, EndGap());
    m_sh.dSaveMaxMs = std::max(m_sh.dSaveMaxMs, Millis(nEnd - nStart));
    m_nLastRound = nRound;
    m_sh.nSaved = nRound;
  }

  // Adds, edits (record lock and dialog) and deletes of this copy's own
  // persons, one after another with the event loop between them.
  void EditRun(int nOps) {
    m_bEdited = true;
    CTableManager& db = m_copy.m_db;
    std::mt19937 gen{uint32_t(m_nIndex + 1)};
    std::vector<uint32_t> naOwn;
    int nDone = 0, nRefused = 0;
    double dFrozen = 0;
    StartGap();
    for (int i = 0; i < nOps; ++i) {
      const int nDice = int(gen() % 100);
      bool bOk = false;
      if (naOwn.empty() || nDice < 40) {
        CPerson person;
        person.m_sLastName = StrFormat("Edit %d-%d", m_nIndex, i);
        uint32_t nCode = DB_NONE;
        bOk = db.AddTableItem(TABLE_PERSON, DB_NONE, &person, false, {}, &nCode) == eItemResult::Done;
        if (bOk) naOwn.push_back(nCode);
      } else if (nDice < 80) {
        m_pUi->QueueEdit({{ItemField::kCity, StrFormat("Town %d", i)}});
        bOk = db.EditTableItem(TABLE_PERSON, naOwn[gen() % naOwn.size()]) == eItemResult::Done;
      } else {
        const size_t nPick = gen() % naOwn.size();
        bOk = db.DeleteTableItem(TABLE_PERSON, naOwn[nPick], false) == eItemResult::Done;
        if (bOk) naOwn.erase(naOwn.begin() + long(nPick));
      }
      (bOk ? nDone : nRefused) += 1;
      Pump();
    }
    dFrozen = EndGap();
    m_sh.naEditEnd[m_nIndex] = NowNs();
    m_sh.naDone[m_nIndex] = nDone;
    m_sh.naRefused[m_nIndex] = nRefused;
    m_sh.daEditFrozenMs[m_nIndex] = dFrozen;
    ++m_sh.nEditDone;
  }

  stShared& m_sh;
  const int m_nIndex;
  const std::string m_sFolder;
  const int m_nSecond;
  CScriptedUi* m_pUi = nullptr;
  stDbCopy m_copy;
  int m_nPumpDepth = 0;
  bool m_bTrackGap = false;
  int64_t m_nLastPump = 0;
  double m_dMaxGapMs = 0;
  bool m_bOnLine = false, m_bSeenCode = false, m_bEdited = false;
  int m_nLastRound = 0;
};

// Five copies as processes; copy 0 (PC2) holds the database and is the lock
// manager. Ready once every copy counts all five on line and holds the
// bench's person.
class CCopyProcesses {
 public:
  CCopyProcesses() {
    void* p = mmap(nullptr, sizeof(stShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    m_pShared = new (p) stShared();
    std::random_device rd;
    const int nSecond = std::uniform_int_distribution<int>(10, 250)(rd);
    m_sFolder = StrFormat("/tmp/kelvo-lan-bench-proc-%d", int(getpid()));
    MakeFolder(m_sFolder + "/share");
    WriteFileAtomic(m_sFolder + "/mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 0:50 / " +
                                                   m_sFolder + "/share rw - cifs //PC2/share rw\n");
    setenv("KELVO_MOUNTINFO", (m_sFolder + "/mountinfo").c_str(), 1);
    for (int i = 0; i < kProcCopies; ++i) {
      const pid_t nPid = fork();
      if (nPid == 0) _exit(CProcessCopy(*m_pShared, i, m_sFolder, nSecond).Run());
      m_naPids.push_back(nPid);
    }
  }
  ~CCopyProcesses() {
    // The lock manager ends last: the others would be asked what to do without it.
    for (int i = kProcCopies - 1; i >= 0; --i) {
      m_pShared->naQuit[i] = 1;
      if (size_t(i) < m_naPids.size()) waitpid(m_naPids[size_t(i)], nullptr, 0);
    }
    munmap(m_pShared, sizeof(stShared));
    std::error_code ec;
    std::filesystem::remove_all(m_sFolder, ec);
  }
  stShared& Shared() { return *m_pShared; }
  bool WaitReady() {
    return WaitFor([&] { return m_pShared->nSeenCode.load() == kProcCopies; }, 60) &&
           !m_pShared->nFailed.load();
  }
  static bool WaitFor(const std::function<bool()>& fn, int nSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(nSeconds);
    while (!fn())
      if (Clock::now() > deadline)
        return false;
      else
        usleep(200);
    return true;
  }

 private:
  stShared* m_pShared = nullptr;
  std::string m_sFolder;
  std::vector<pid_t> m_naPids;
};

double Percentile(std::vector<double> da, int nPercent) {
  std::sort(da.begin(), da.end());
  return da.empty() ? 0 : da[std::min(da.size() - 1, da.size() * size_t(nPercent) / 100)];
}

// One copy saves a person's city, round after round; every other copy's
// time until its memory shows the new city (median and p99 per copy, and
// until the last of them), the writer's longest save and its longest time
// without processing events in a save.
void RunPropagation(benchmark::State& state, int nWriter) {
  CCopyProcesses copies;
  stShared& sh = copies.Shared();
  if (!copies.WaitReady()) return state.SkipWithError("the copies did not come on line");
  sh.nWriter = nWriter;
  int nRound = 0;
  for (auto _ : state) {
    if (++nRound >= kMaxRounds) break;
    sh.nRound = nRound;
    const bool bSeen = CCopyProcesses::WaitFor([&] {
      for (int i = 0; i < kProcCopies; ++i)
        if (i != nWriter && !sh.naSeen[i][nRound]) return false;
      return sh.nSaved.load() == nRound;
    }, 20);
    if (!bSeen) return state.SkipWithError("a change did not reach every copy");
    usleep(20000);  // the last notices go before the next round
  }
  std::vector<double> daLast;
  for (int r = 1; r <= nRound && r < kMaxRounds; ++r) {
    double dLast = 0;
    for (int i = 0; i < kProcCopies; ++i)
      if (i != nWriter) dLast = std::max(dLast, Millis(sh.naSeen[i][r] - sh.naStart[r]));
    daLast.push_back(dLast);
  }
  for (int i = 0; i < kProcCopies; ++i) {
    if (i == nWriter) continue;
    std::vector<double> da;
    for (int r = 1; r <= nRound && r < kMaxRounds; ++r) da.push_back(Millis(sh.naSeen[i][r] - sh.naStart[r]));
    state.counters[StrFormat("PC%d_median_ms", i + 2)] = Percentile(da, 50);
    state.counters[StrFormat("PC%d_p99_ms", i + 2)] = Percentile(da, 99);
  }
  state.counters["last_median_ms"] = Percentile(daLast, 50);
  state.counters["last_p99_ms"] = Percentile(daLast, 99);
  state.counters["save_max_ms"] = sh.dSaveMaxMs;
  state.counters["frozen_max_ms"] = sh.dFrozenMaxMs;
}

// A copy that is not the lock manager (PC6) saves.
void BM_PropagationFiveCopies(benchmark::State& state) { RunPropagation(state, kProcCopies - 1); }
// The lock manager (PC2) saves.
void BM_PropagationFromLockManagerFiveCopies(benchmark::State& state) { RunPropagation(state, 0); }

// Five copies each add, edit and delete their own persons as fast as they
// can, all at once: operations per second in all, refusals, and the longest
// time one of them went without processing events.
void BM_EditingFiveCopies(benchmark::State& state) {
  CCopyProcesses copies;
  stShared& sh = copies.Shared();
  if (!copies.WaitReady()) return state.SkipWithError("the copies did not come on line");
  for (auto _ : state) {
    sh.nEditStart = NowNs();
    sh.nEditOps = int(state.range(0));
    if (!CCopyProcesses::WaitFor([&] { return sh.nEditDone.load() == kProcCopies; }, 600))
      return state.SkipWithError("the editing did not end");
  }
  int nDone = 0, nRefused = 0;
  int64_t nEnd = 0;
  double dFrozen = 0;
  for (int i = 0; i < kProcCopies; ++i) {
    nDone += sh.naDone[i];
    nRefused += sh.naRefused[i];
    nEnd = std::max(nEnd, sh.naEditEnd[i]);
    dFrozen = std::max(dFrozen, sh.daEditFrozenMs[i]);
  }
  state.counters["ops_per_s"] = nDone / (Millis(nEnd - sh.nEditStart) / 1000.0);
  state.counters["ops"] = nDone;
  state.counters["refused"] = nRefused;
  state.counters["frozen_max_ms"] = dFrozen;
}


}  // namespace

BENCHMARK(BM_ChangeVisible)->Arg(2)->Arg(5)->Iterations(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LockRoundTrip)->Arg(2)->Arg(5)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChangeNotice)->Arg(2)->Arg(5)->Iterations(2000)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_PropagationFiveCopies)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PropagationFromLockManagerFiveCopies)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditingFiveCopies)->Arg(40)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
