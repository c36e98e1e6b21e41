// Copies of the program as separate processes ("kelvotool session"), each
// with its own program folder, computer name and loopback address, all on the
// same port; the database lies in a folder that the mount table shows as a
// share of PC2, so PC2 is the lock manager.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "SessionFixture.h"

TEST_F(SessionTest, ThreeCopiesLogOnAndOff) {
  auto a = Start(2, {3, 4});
  ASSERT_EQ(a->OpenReply(), "OK open user 2 users 1");
  auto b = Start(3, {2, 4});
  ASSERT_EQ(b->OpenReply(), "OK open user 3 users 2");
  auto c = Start(4, {2, 3});
  ASSERT_EQ(c->OpenReply(), "OK open user 4 users 3");
  EXPECT_EQ(a->Command("waitusers 3"), "OK 3");
  EXPECT_EQ(b->Command("waitusers 3"), "OK 3");
  std::vector<std::string> saUsers;
  EXPECT_EQ(b->Command("users", &saUsers), "OK 3");
  EXPECT_EQ(saUsers[0], "lock manager PC2 on-line");
  EXPECT_EQ(c->Command("quit"), "OK quit");
  EXPECT_EQ(c->Finish(), 0);
  EXPECT_EQ(a->Command("waitusers 2"), "OK 2");
  EXPECT_EQ(b->Command("waitusers 2"), "OK 2");
}

TEST_F(SessionTest, ASecondCopyWithTheSameUserNumberIsRefused) {
  auto a = Start(2, {5});
  ASSERT_TRUE(a->IsOpen());
  auto b = Start(5, {2});
  ASSERT_TRUE(b->IsOpen());
  CLoopbackRange other;
  auto twin = Start(15, {2, 5}, {}, other.Address(5), "PC5B");
  EXPECT_EQ(twin->OpenReply(), "FAIL open");
  EXPECT_TRUE(twin->SawText("MESSAGE: Duplicate user. Abort."));
  EXPECT_EQ(b->Command("waitusers 2"), "OK 2");
}

TEST_F(SessionTest, TheLockManagerGoesAndComesBack) {
  auto a = Start(2, {3, 4});
  ASSERT_TRUE(a->IsOpen());
  auto b = Start(3, {2, 4});
  ASSERT_TRUE(b->IsOpen());
  // Alone without the lock manager, B may go on working.
  EXPECT_EQ(b->Command("answer no"), "OK");
  EXPECT_EQ(a->Command("quit"), "OK quit");
  a->Finish();
  EXPECT_TRUE(b->WaitForText("MESSAGE: Server PC2 off-line. Close database?\\n"));
  EXPECT_EQ(b->Command("users").rfind("OK", 0), 0u);
  a = Start(2, {3, 4});
  ASSERT_TRUE(a->IsOpen());
  EXPECT_TRUE(b->WaitForText("MESSAGE: Server PC2 coming on-line.\\n"));
  // With a third copy on line, the lock manager's death closes the database.
  auto c = Start(4, {2, 3});
  ASSERT_TRUE(c->IsOpen());
  EXPECT_EQ(b->Command("waitusers 3"), "OK 3");
  a->Kill();
  for (auto* p : {b.get(), c.get()}) {
    EXPECT_TRUE(p->WaitForText("MESSAGE: Server PC2 off-line. Database must be closed.\\n"));
    EXPECT_TRUE(p->WaitForText("CLOSED"));
  }
}

TEST_F(SessionTest, ACopyStartingWithoutTheLockManager) {
  // Nobody on line: the question, and No opens the database to work alone.
  auto c = Start(4, {2, 3}, {"--answers", "no"});
  ASSERT_EQ(c->OpenReply(), "OK open user 4 users 1");
  EXPECT_TRUE(c->SawText("MESSAGE: READ THIS CAREFULLY\\nAn error (Error 10061:Connection refused) "
                         "was encountered in linking to server computer: PC2."));
  // Someone is on line but not the lock manager: refused.
  auto b = Start(3, {2, 4});
  EXPECT_EQ(b->OpenReply(), "FAIL open");
  EXPECT_TRUE(b->SawText("MESSAGE: The local area network server PC2 is not on line"));
}

TEST_F(SessionTest, AChangeInOneCopyReachesTheOthers) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  const std::string sAdded = b->Command("add person Last name=Curie; First name=Marie; City=Paris");
  ASSERT_EQ(sAdded.rfind("OK ", 0), 0u) << sAdded;
  const uint32_t nCode = CodeOf(sAdded);
  EXPECT_EQ(nCode >> 24, 2u);  // user 3 owns the keys from 2 << 24
  const std::vector<std::string> saB = List(*b, "person");
  ASSERT_EQ(saB.size(), 1u);
  EXPECT_TRUE(ListBecomes(*a, "person", saB));
  EXPECT_TRUE(ListBecomes(*c, "person", saB));
  ASSERT_EQ(c->Command(StrFormat("edit person %u City=Warsaw", nCode)), "OK");
  const std::vector<std::string> saC = List(*c, "person");
  EXPECT_NE(saC, saB);
  EXPECT_TRUE(ListBecomes(*a, "person", saC));
  EXPECT_TRUE(ListBecomes(*b, "person", saC));
  ASSERT_EQ(a->Command(StrFormat("delete person %u", nCode)), "OK");
  EXPECT_TRUE(ListBecomes(*b, "person", {}));
  EXPECT_TRUE(ListBecomes(*c, "person", {}));
}

// With five copies, a change by a copy that is not the lock manager and one
// by the lock manager reach all four others, also when the writer adds
// again at once, before the unlock notice of its first write went.
TEST_F(SessionTest, AChangeReachesAllFourOtherCopies) {
  std::vector<std::unique_ptr<CSessionProcess>> copies;
  ASSERT_TRUE(StartFive(copies));
  for (size_t nWriter : {3u, 0u}) {
    const std::string sAdded = copies[nWriter]->Command(StrFormat("add person Last name=Five %zu", nWriter));
    ASSERT_EQ(sAdded.rfind("OK ", 0), 0u) << sAdded;
    const std::string sAgain = copies[nWriter]->Command(StrFormat("add person Last name=Again %zu", nWriter));
    ASSERT_EQ(sAgain.rfind("OK ", 0), 0u) << sAgain;
    const std::vector<std::string> saWriter = List(*copies[nWriter], "person");
    EXPECT_TRUE(std::any_of(saWriter.begin(), saWriter.end(), [&](const std::string& sLine) {
      return sLine.rfind(StrFormat("%u ", CodeOf(sAdded)), 0) == 0;
    }));
    for (auto& p : copies) EXPECT_TRUE(ListBecomes(*p, "person", saWriter)) << Transcript(*p);
  }
  QuitAll(copies);
}

TEST_F(SessionTest, RecordLocksBetweenCopies) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  const uint32_t nCode = CodeOf(a->Command("add person Last name=Locke"));
  ASSERT_TRUE(ListBecomes(*b, "person", List(*a, "person")));
  ASSERT_TRUE(ListBecomes(*c, "person", List(*a, "person")));
  const std::string sLock = StrFormat("lock person %u", nCode);
  ASSERT_EQ(b->Command(sLock).rfind("OK", 0), 0u);
  EXPECT_EQ(c->Command(sLock), "FAIL lock");
  EXPECT_TRUE(c->SawText(StrFormat("MESSAGE: Access denied. Record %u in", nCode)));
  EXPECT_EQ(a->Command(sLock), "FAIL lock");
  ASSERT_EQ(b->Command(StrFormat("unlock person %u", nCode)), "OK");
  // The lock manager takes the record for itself through its own queue.
  ASSERT_EQ(a->Command(sLock).rfind("OK", 0), 0u);
  ASSERT_EQ(a->Command(StrFormat("unlock person %u", nCode)), "OK");
  ASSERT_EQ(c->Command(sLock).rfind("OK", 0), 0u);
  ASSERT_EQ(c->Command(StrFormat("unlock person %u", nCode)), "OK");
}

TEST_F(SessionTest, ShortMessagesAndMessagesToAUser) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  ASSERT_EQ(b->Command("short Coffee is ready"), "OK");
  for (auto* p : {a.get(), c.get()}) {
    std::vector<std::string> saLines;
    EXPECT_TRUE(WaitUntil([&] {
      p->Command("shorts", &saLines);
      return !saLines.empty();
    }, 15));
    EXPECT_EQ(saLines, std::vector<std::string>{"short Coffee is ready"});
  }
  EXPECT_EQ(b->Command("shorts"), "OK 0");
  const std::string sSent = b->Command("message 4 Please call the printer man");
  ASSERT_EQ(sSent.rfind("OK ", 0), 0u) << sSent;
  std::vector<std::string> saPending;
  EXPECT_TRUE(WaitUntil([&] {
    saPending.clear();
    c->Command("pending", &saPending);
    return !saPending.empty();
  }, 20));
  EXPECT_EQ(saPending, std::vector<std::string>{"pending " + sSent.substr(3)});
  EXPECT_EQ(a->Command("pending"), "OK 0");
}

TEST_F(SessionTest, AKilledCopyIsOffLineEverywhereAndRejoins) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  b->Kill();
  EXPECT_EQ(a->Command("waitusers 2"), "OK 2");
  EXPECT_EQ(c->Command("waitusers 2"), "OK 2");
  EXPECT_EQ(a->Command("ping"), "OK");
  b = Start(3, {2, 4});
  ASSERT_TRUE(b->IsOpen());
  EXPECT_EQ(a->Command("waitusers 3"), "OK 3");
  EXPECT_EQ(c->Command("waitusers 3"), "OK 3");
  EXPECT_EQ(b->Command("waitusers 3"), "OK 3");
}

namespace {

// The counts a stress run reports: "OK person_adds=3 person_deletes=1 ...".
std::map<std::string, int> Counts(const std::string& sReply) {
  std::map<std::string, int> counts;
  std::vector<std::string> saWords;
  ParseString(sReply, " ", saWords);
  for (const auto& s : saWords) {
    const size_t nEq = s.find('=');
    long long n = 0;
    if (nEq != std::string::npos && ParseInt(s.substr(nEq + 1), n)) counts[s.substr(0, nEq)] = int(n);
  }
  return counts;
}

}  // namespace

// Every copy makes random adds, edits and deletes at once; afterwards every
// copy's tables equal each other and a fresh load, nothing was lost, no key
// is used twice and the file passes the integrity test. KELVO_STRESS_OPS
// sets the operations per copy (40 by default; tools/stress.sh runs more).
TEST_F(SessionTest, StressOfFiveCopies) {
  const char* pOps = getenv("KELVO_STRESS_OPS");
  const int nOps = pOps ? atoi(pOps) : 40;
  const std::vector<int> naAll = {2, 3, 4, 5, 6};
  std::vector<std::unique_ptr<CSessionProcess>> copies;
  ASSERT_TRUE(StartFive(copies));
  for (size_t i = 0; i < copies.size(); ++i) copies[i]->Send(StrFormat("stress %d %zu", nOps, 100 + i));
  std::map<std::string, int> totals;
  std::map<std::string, int> editsBy;
  for (size_t i = 0; i < copies.size(); ++i) {
    const std::string sReply = copies[i]->ReadReply(nullptr, std::max(180, nOps * 3));
    ASSERT_EQ(sReply.rfind("OK person_adds=", 0), 0u) << sReply << Transcript(*copies[i]);
    for (const auto& [k, v] : Counts(sReply)) totals[k] += v;
    editsBy[StrFormat("PC%d", naAll[i])] = Counts(sReply)["edits"];
  }
  // Once the last notices are in, every copy holds the same tables.
  for (const std::string sTable : {"person", "schedule"}) {
    const std::vector<std::string> saFirst = List(*copies[0], sTable);
    for (auto& p : copies) EXPECT_TRUE(ListBecomes(*p, sTable, saFirst)) << sTable << Transcript(*p);
  }
  const std::vector<std::string> saPersons = List(*copies[0], "person");
  const std::vector<std::string> saSchedule = List(*copies[0], "schedule");
  EXPECT_EQ(int(saPersons.size()), totals["person_adds"] - totals["person_deletes"]);
  EXPECT_EQ(int(saSchedule.size()), totals["schedule_adds"] - totals["schedule_deletes"]);
  // Every edit's token is in the file: no update was lost.
  std::vector<std::string> saTokens;
  EXPECT_EQ(copies[0]->Command("tokens", &saTokens), "OK duplicates=0");
  for (const auto& [sName, nEdits] : editsBy)
    if (nEdits) {
      EXPECT_NE(std::find(saTokens.begin(), saTokens.end(), StrFormat("tokens %s %d", sName.c_str(), nEdits)),
                saTokens.end()) << sName;
    }
  QuitAll(copies);
  // A fresh load of the file holds the same.
  auto fresh = Start(2, {}, {"--local"});
  ASSERT_TRUE(fresh->IsOpen());
  EXPECT_EQ(List(*fresh, "person"), saPersons);
  EXPECT_EQ(List(*fresh, "schedule"), saSchedule);
  fresh->Command("quit");
  fresh->Finish();
  std::string sOut;
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " test " + m_sFile + " 2>&1", &sOut), 0) << sOut;
}

// A copy that dies holding a record lock in the middle of the others'
// stress: they go on, that record stays refused, and the file is sound.
TEST_F(SessionTest, ACopyKilledDuringTheStress) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  const uint32_t nHeld = CodeOf(a->Command("add person Last name=S-held"));
  // Both others have read the add (a copy that is still refreshing holds the
  // database lock, and C's record lock would be refused).
  ASSERT_TRUE(ListBecomes(*b, "person", List(*a, "person")));
  ASSERT_TRUE(ListBecomes(*c, "person", List(*a, "person")));
  ASSERT_EQ(c->Command(StrFormat("lock person %u", nHeld)).rfind("OK", 0), 0u);
  a->Send("stress 30 7");
  b->Send("stress 30 8");
  // The others are busy writing when C dies.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  c->Kill();
  const std::string sA = a->ReadReply(nullptr, 180);
  const std::string sB = b->ReadReply(nullptr, 180);
  ASSERT_EQ(sA.rfind("OK person_adds=", 0), 0u) << sA;
  ASSERT_EQ(sB.rfind("OK person_adds=", 0), 0u) << sB;
  EXPECT_EQ(a->Command("waitusers 2"), "OK 2");
  EXPECT_EQ(b->Command("waitusers 2"), "OK 2");
  // The held record is refused with the lock's text; the others are editable.
  EXPECT_EQ(b->Command(StrFormat("edit person %u City=Nowhere", nHeld)), "FAIL edit");
  EXPECT_TRUE(b->SawText(StrFormat("Record %u in", nHeld)));
  const uint32_t nFree = CodeOf(b->Command("add person Last name=S-free"));
  EXPECT_EQ(a->Command(StrFormat("edit person %u City=Somewhere", nFree)), "OK");
  EXPECT_TRUE(ListBecomes(*b, "person", List(*a, "person")));
  for (auto* p : {a.get(), b.get()}) {
    p->Command("quit");
    EXPECT_EQ(p->Finish(), 0);
  }
  std::string sOut;
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " test " + m_sFile + " 2>&1", &sOut), 0) << sOut;
}
