// LAN coordination between copies on loopback, with two and with five
// copies in one process (each with its own engine, LAN server and address
// 127.X.Y.n): the lock request-to-grant round trip from a copy that is not
// the lock manager, and the time from a change announced by one copy until
// another copy holds its refresh flag. Each figure is the median and the
// 99th percentile of many rounds; copies drain their queues as fast as they
// can, as a copy does when the posted "messages waiting" arrives.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>

#include "engine/CDbEngine.h"
#include "network/CLockManager.h"
#include "network/NetworkHelpers.h"
#include "support/CScriptedUi.h"
#include "support/FileUtil.h"
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
    client.m_engine.m_bWaitingForLock = true;
    client.m_lan.ClearReceivedGrants();
    client.m_lan.SendLockRequest(6, nKey);
    copies.Pump([&] { return !client.m_lan.ReceivedGrants().empty(); });
    client.m_lan.TakeGrantFromLockManager();
    client.m_engine.m_bWaitingForLock = false;
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
    copies.Pump([&] { return !reader.m_engine.m_caRefreshFlags.empty(); });
    daMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    for (size_t i = 0; i < size_t(state.range(0)); ++i) copies[i].m_engine.m_caRefreshFlags.clear();
  }
  Report(state, daMicros);
}

}  // namespace

BENCHMARK(BM_LockRoundTrip)->Arg(2)->Arg(5)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChangeNotice)->Arg(2)->Arg(5)->Iterations(2000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
