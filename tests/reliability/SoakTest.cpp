// The soak: five copies of the program as processes on loopback make random
// operations on one file; one copy is killed in the middle and started
// again. At the end every copy lists the same tables as a fresh load, the
// acknowledgement logs of all copies find every acknowledged update in the
// file, no key is there twice and the integrity test is clean (or, when the
// killed copy died in the middle of a write, the repair makes it so).
// KELVO_SOAK_OPS sets the operations per copy (tools/stress.sh runs it long).

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "AckModel.h"
#include "FaultSweep.h"
#include "engine/CDbRepair.h"
#include "data/CTableManager.h"
#include "network/SessionFixture.h"

namespace {

class Soak : public SessionTest {
 protected:
  std::string AckLog(int nCopy, int nPart) const {
    return m_folder.File(StrFormat("ack%d-%d.log", nCopy, nPart));
  }
  static size_t LinesIn(const std::string& sPath) {
    std::ifstream in(sPath);
    size_t n = 0;
    for (std::string s; std::getline(in, s);) ++n;
    return n;
  }
  // Starts copy i of the five (PCi+2), listing the other four.
  std::unique_ptr<CSessionProcess> StartCopy(size_t i) {
    std::vector<int> naOthers;
    for (int m = 2; m <= 6; ++m)
      if (m != int(i) + 2) naOthers.push_back(m);
    return Start(int(i) + 2, naOthers);
  }
};

TEST_F(Soak, FiveCopiesOneKilledAndRestartedLoseNothing) {
  const char* pOps = std::getenv("KELVO_SOAK_OPS");
  const int nOps = pOps ? std::atoi(pOps) : 20;
  const int nHalf = nOps / 2;
  constexpr size_t kVictim = 4;  // PC6; PC2, the lock manager, stays
  std::vector<std::unique_ptr<CSessionProcess>> copies;
  for (size_t i = 0; i < 5; ++i) {
    copies.push_back(StartCopy(i));
    ASSERT_TRUE(copies.back()->IsOpen()) << copies.back()->OpenReply();
  }
  for (auto& p : copies) ASSERT_EQ(p->Command("waitusers 5"), "OK 5");
  const auto start = std::chrono::steady_clock::now();
  auto fnRun = [&](size_t i, int nCount, int nPart) {
    copies[i]->Send(StrFormat("stress %d %zu %s", nCount, 100 * nPart + i, AckLog(int(i), nPart).c_str()));
  };
  auto fnReply = [&](size_t i) {
    const std::string s = copies[i]->ReadReply(nullptr, std::max(180, nOps * 3));
    EXPECT_EQ(s.rfind("OK person_adds=", 0), 0u) << s << Transcript(*copies[i]);
  };
  for (size_t i = 0; i < 5; ++i) fnRun(i, nHalf, 0);
  for (size_t i = 0; i < 5; ++i) fnReply(i);
  // The second half: the victim dies a few operations into it.
  for (size_t i = 0; i < 5; ++i) fnRun(i, nOps - nHalf, 1);
  WaitUntil([&] { return LinesIn(AckLog(int(kVictim), 1)) >= 6; }, 60);
  copies[kVictim]->Kill();
  for (size_t i = 0; i < 5; ++i)
    if (i != kVictim) fnReply(i);
  copies[kVictim] = StartCopy(kVictim);
  ASSERT_TRUE(copies[kVictim]->IsOpen()) << copies[kVictim]->OpenReply();
  for (auto& p : copies) EXPECT_EQ(p->Command("waitusers 5"), "OK 5");
  fnRun(kVictim, nOps - nHalf, 2);
  fnReply(kVictim);
  const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Once the last notices are in, every copy holds the same tables.
  std::map<std::string, std::vector<std::string>> tables;
  for (const std::string sTable : {"person", "schedule", "category", "log"}) {
    tables[sTable] = List(*copies[0], sTable);
    for (size_t i = 0; i < copies.size(); ++i)
      EXPECT_TRUE(ListBecomes(*copies[i], sTable, tables[sTable]))
          << sTable << " of PC" << i + 2 << Transcript(*copies[i]) << "expected:\n"
          << testing::PrintToString(tables[sTable]) << "\nlisted:\n"
          << testing::PrintToString(List(*copies[i], sTable));
  }
  for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
    EXPECT_EQ((*it)->Command("quit"), "OK quit");
    EXPECT_EQ((*it)->Finish(), 0);
  }
  auto fresh = Start(2, {}, {"--local"});
  ASSERT_TRUE(fresh->IsOpen());
  for (const auto& [sTable, saLines] : tables) EXPECT_EQ(List(*fresh, sTable), saLines) << sTable;
  fresh->Command("quit");
  fresh->Finish();
  // Every acknowledged update of every copy is in the file, no key twice.
  CAckModel model;
  std::string sPending, sKilled;
  for (int i = 0; i < 5; ++i)
    for (int nPart = 0; nPart < 3; ++nPart) {
      model.Apply(AckLog(i, nPart), &sPending);
      if (!sPending.empty()) sKilled = sPending;
    }
  CScriptedUi ui;
  CScopedUi scope(ui);
  CTableManager db;
  ASSERT_EQ(db.OpenDatabase(m_sFile.substr(0, m_sFile.size() - 4), false), 1);
  // The killed copy may have died in the middle of a write that the others
  // then went past: the integrity test finds its unfinished block, and the
  // repair must make the file sound with nothing acknowledged lost.
  std::string sReport;
  const bool bClean = CFaultSweep::Sound(m_sFile, &sReport);
  if (!bClean) {
    std::cout << "repair needed after the soak:" << sReport << "\n";
    std::vector<std::string> saRepair;
    CDbRepair(db).TestAndRepairDatabase(1, saRepair);
    EXPECT_TRUE(CFaultSweep::Sound(m_sFile, &sReport)) << "the repair left faults" << sReport;
    db.RefreshDatabase();
  }
  const int nLost = model.CountLost(db, sKilled);
  int nDuplicates = 0;
  for (uint8_t nTable : {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG}) {
    std::set<uint32_t> codes;
    for (const auto& e : *db.PtrToIndexArray(nTable)) nDuplicates += codes.insert(e.m_nCode).second ? 0 : 1;
  }
  db.CloseDatabase();
  EXPECT_EQ(nDuplicates, 0);
  EXPECT_GT(model.Acknowledged(), size_t(nOps));
  std::cout << StrFormat(
      "soak: copies=5 operations=%d acknowledged=%zu seconds=%.1f ops_per_second=%.1f "
      "lost_updates=%d duplicate_keys=%d integrity=%s\n",
      5 * nOps, model.Acknowledged(), dSeconds, double(model.Acknowledged()) / dSeconds, nLost, nDuplicates,
      bClean ? "clean" : "repaired");
}

}  // namespace
