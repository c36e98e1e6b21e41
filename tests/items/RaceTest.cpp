// Two copies working on one file at the same time.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <utility>

#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

namespace {

class Race : public CCopiesTest {
 protected:
  Race() : CCopiesTest("race") {}
  // What another process sees in the database lock byte.
  std::string LockByteSeenByAnotherProcess() {
    std::string sOut;
    EXPECT_EQ(RunCommand("od -An -tu1 -j256 -N1 '" + m_group.FilePath() + "'", &sOut), 0);
    return Trim(sOut);
  }
};

}  // namespace

TEST_F(Race, EditInBWhileADeletesOrInsertsBeforeIt) {
  const uint32_t nP = AddPerson(A(), m_ui, "Moore", "Max");
  AddPerson(A(), m_ui, "Young", "Yve");
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  m_ui.BeforeNextEdit([&] {
    // B's dialog is up and B holds the record lock.
    m_ui.ClearShown();
    EXPECT_EQ(A().DeleteTableItem(TABLE_PERSON, nP, 0), eItemResult::Cancelled);
    EXPECT_TRUE(m_ui.SawText("Person table locked by another user"));
    AddPerson(A(), m_ui, "Adams", "Al");
    AddPerson(A(), m_ui, "Baker", "Bo");
    EXPECT_EQ(StoredSequence(A(), A().m_caPersonIndex[2].m_nFileLoc), 2u);
    EXPECT_EQ(B().RefreshOnNotice(), 0);  // the dialog holds the refresh
    m_ui.QueueEdit({{ItemField::kCity, "Paris"}});
  });
  ASSERT_EQ(B().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  EXPECT_EQ(A().RefreshOnNotice(), 1);
  // P moved to position 2 while B edited it; B saved it with its current
  // sequence, not the one it had when the dialog opened.
  EXPECT_EQ(A().LocateIndex(TABLE_PERSON, nP), 2u);
  EXPECT_EQ(PersonOf(A(), nP)->m_sCity, "Paris");
  EXPECT_EQ(StoredSequence(A(), A().m_caPersonIndex[2].m_nFileLoc), 2u);
  ExpectConsistent(A(), "A");
  ExpectConsistent(B(), "B");
  ExpectSameTables(A(), B(), "A and B");
  ExpectFileMatches(m_group, B(), "file");
}

TEST_F(Race, ANoticeDuringACategoryDeleteWaitsForTheOutermostUnlock) {
  const uint32_t nCat = AddCategory(A(), m_ui, "Club");
  const uint32_t n1 = AddPerson(A(), m_ui, "Xu", "Xi", "Club");
  const uint32_t n2 = AddPerson(A(), m_ui, "Yu", "Yi", "Club");
  const uint32_t nS = AddSchedule(A(), m_ui, "Meeting", "W", "01/01/2025 07:00PM", "Club");
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  int nChecks = 0;
  int nRefreshed = 0;
  m_ui.SetEventHook([&] {
    if (A().DbLockDepth() == 0 || nChecks >= 6) return;
    ++nChecks;
    // A change notice arrives while A waits in one of its wait boxes.
    A().RefreshState().QueueNotice({3, TABLE_PERSON, n2});
    nRefreshed += A().LockAndRefreshDatabase("refresh database", 0, 1);
    EXPECT_EQ(LockByteSeenByAnotherProcess(), "2");
  });
  m_ui.QueueAnswer(IDYES);  // the category is in use
  EXPECT_EQ(A().DeleteTableItem(TABLE_CATEGORY, nCat, 1), eItemResult::Done);
  EXPECT_TRUE(m_ui.SawText("Category is reference in database. Are you sure you want to delete it?"));
  m_ui.SetEventHook(nullptr);
  EXPECT_GT(nChecks, 2);
  EXPECT_EQ(nRefreshed, 0);
  EXPECT_EQ(LockByteSeenByAnotherProcess(), "0");
  // The notices were kept and are taken in now.
  EXPECT_TRUE(A().RefreshState().IsRefreshOwed());
  EXPECT_EQ(A().RetryOwedRefresh(), 1);
  EXPECT_TRUE(A().RefreshState().Notices().empty());
  for (uint32_t n : {n1, n2}) EXPECT_TRUE(PersonOf(A(), n)->m_naCategories.empty());
  EXPECT_TRUE(ScheduleOf(A(), nS)->m_naCategories.empty());
  EXPECT_EQ(CategoryOf(A(), nCat), nullptr);
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  ExpectSameTables(A(), B(), "after the delete");
  ExpectFileMatches(m_group, A(), "after the delete");
}

TEST_F(Race, ACategoryUsedByALockedPersonIsNotDeleted) {
  const uint32_t nCat = AddCategory(A(), m_ui, "Club");
  const uint32_t n1 = AddPerson(A(), m_ui, "Xu", "Xi", "Club");
  const uint32_t n2 = AddPerson(A(), m_ui, "Yu", "Yi", "Club");
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  const uint32_t nLock = B().LockRecord(TABLE_PERSON, n2);
  ASSERT_NE(nLock, DB_NONE);
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(A().DeleteTableItem(TABLE_CATEGORY, nCat, 1), eItemResult::Cancelled);
  EXPECT_TRUE(m_ui.SawText("Person table locked by another user"));
  // Nothing changed: the category and both memberships stay.
  EXPECT_NE(CategoryOf(A(), nCat), nullptr);
  for (uint32_t n : {n1, n2}) EXPECT_EQ(PersonOf(A(), n)->m_naCategories, std::vector<uint32_t>{nCat});
  EXPECT_TRUE(B().RefreshState().Notices().empty());
  B().UnlockRecord(nLock);
  ExpectFileMatches(m_group, A(), "after the refusal");
}

TEST_F(Race, AGapOrDuplicateLeftByAnInterruptedWriteIsRepairedOnTheNextLoad) {
  AddPerson(A(), m_ui, "Ash", "A");
  AddPerson(A(), m_ui, "Birch", "B");
  AddPerson(A(), m_ui, "Cedar", "C");
  AddPerson(A(), m_ui, "Doe", "D");
  // An interrupted write: one sequence patched, the next not.
  ASSERT_EQ(A().LockDatabase("damage"), 1);
  A().SetIntAt(A().m_caPersonIndex[1].m_nFileLoc + DB_HEADER_LEN, 0, 1);
  A().SetIntAt(A().m_caPersonIndex[3].m_nFileLoc + DB_HEADER_LEN, 7, 1);
  A().UnlockDatabase();
  const std::vector<uint32_t> naCodes = CodesOf(A(), TABLE_PERSON);
  m_group.Close(*m_pB);
  m_group.Close(*m_pA);
  m_ui.ClearShown();
  CTestCopy& c = m_group.Open(4);  // alone on the file: the load repairs
  bool bReported = false;
  for (const auto& s : m_ui.Messages())
    bReported = bReported || s.find("Invalid sequence index in table Person table") != std::string::npos;
  EXPECT_TRUE(bReported);
  EXPECT_EQ(CodesOf(c.Db(), TABLE_PERSON), naCodes);
  ExpectConsistent(c.Db(), "after the repair");
}

TEST_F(Race, RandomWorkOfTwoCopiesKeepsBothAndTheFileAlike) {
  std::mt19937 rng(4242);
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  static constexpr uint8_t kTables[] = {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG};
  const char* aNames[] = {"Ames", "Berg", "Chu", "Dahl", "Egan", "Fox"};
  for (int nStep = 0; nStep < 120; ++nStep) {
    CTableManager& me = pick(2) ? A() : B();
    CTableManager& other = &me == &A() ? B() : A();
    const uint8_t t = kTables[pick(4)];
    const size_t nCount = me.PtrToIndexArray(t)->size();
    const int nOp = nCount == 0 ? 0 : int(pick(3));
    const std::string sName = std::string(aNames[pick(6)]) + std::to_string(nStep);
    const std::string sDate = StrFormat("%02u/%02u/2025 %02u:00PM", unsigned(pick(12) + 1),
                                        unsigned(pick(28) + 1), unsigned(pick(12) + 1));
    const std::string sWhere = StrFormat("step %d table %u op %d", nStep, t, nOp);
    if (nOp == 0) {
      if (t == TABLE_CATEGORY) AddCategory(me, m_ui, sName);
      if (t == TABLE_PERSON) AddPerson(me, m_ui, sName, aNames[pick(6)]);
      if (t == TABLE_SCHEDULE) AddSchedule(me, m_ui, sName, pick(2) ? "W" : "O", sDate);
      if (t == TABLE_LOG) AddLogEvent(me, m_ui, sName, sDate);
    } else {
      const uint32_t nCode = (*me.PtrToIndexArray(t))[pick(nCount)].m_nCode;
      if (nOp == 1) {
        const char* pField = t == TABLE_CATEGORY ? ItemField::kName
                             : t == TABLE_PERSON ? ItemField::kLastName
                                                 : ItemField::kDescription;
        m_ui.QueueEdit({{pField, sName}});
        ASSERT_EQ(me.EditTableItem(t, nCode), eItemResult::Done) << sWhere;
      } else {
        ASSERT_EQ(me.DeleteTableItem(t, nCode, 0), eItemResult::Done) << sWhere;
      }
    }
    // The notices reach the other copy before it does anything else.
    other.RefreshOnNotice();
    ASSERT_TRUE(other.RefreshState().Notices().empty()) << sWhere;
    ExpectSameTables(A(), B(), sWhere);
    ExpectConsistent(me, sWhere);
    if (nStep % 30 == 29) ExpectFileMatches(m_group, A(), sWhere);
  }
}

TEST_F(Race, LateNoticesStillEndInOneOrderAndADenseSequence) {
  for (const char* p : {"Kay", "Lund", "Moss", "Nash"}) AddPerson(A(), m_ui, p, "x");
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  // A's notices are slow to reach B: B works on what it knew.
  m_pB->HoldNotices(true);
  AddPerson(A(), m_ui, "Abel", "a");
  AddPerson(A(), m_ui, "Lamb", "l");
  AddPerson(B(), m_ui, "Kemp", "k");
  m_ui.QueueEdit({{ItemField::kLastName, "Zane"}});
  ASSERT_EQ(B().EditTableItem(TABLE_PERSON, CodesOf(B(), TABLE_PERSON).front()), eItemResult::Done);
  m_pB->HoldNotices(false);
  m_pB->ReleaseNotices();
  // A few rounds of notices back and forth settle it.
  for (int nRound = 0; nRound < 6; ++nRound) {
    A().RefreshOnNotice();
    B().RefreshOnNotice();
    A().RetryOwedRefresh();
    B().RetryOwedRefresh();
  }
  EXPECT_TRUE(A().RefreshState().Notices().empty());
  EXPECT_TRUE(B().RefreshState().Notices().empty());
  ExpectSameTables(A(), B(), "settled");
  // The next view that lists the persons puts them in order, once for all.
  std::vector<CPerson*> pa;
  A().GetPersonPointerArray(pa, 1);
  EXPECT_EQ(B().RefreshOnNotice(), 1);
  B().GetPersonPointerArray(pa, 1);
  EXPECT_TRUE(A().RefreshState().Notices().empty());  // B found nothing to re-sort
  ExpectSameTables(A(), B(), "sorted");
  ExpectConsistent(A(), "settled");
  ExpectFileMatches(m_group, A(), "settled");
  std::vector<std::string> saNames;
  for (const stIndex& e : A().m_caPersonIndex)
    saNames.push_back(static_cast<const CPerson&>(*e.m_pItem).m_sLastName);
  EXPECT_EQ(saNames, (std::vector<std::string>{"Abel", "Kemp", "Lamb", "Lund", "Moss", "Nash", "Zane"}));
}

namespace {

// A copy's LAN side for the lock tests. With a lock manager on line its grant
// comes at the first round of a wait, after fnDuringWait (what another copy
// does meanwhile); without one the file alone decides. Every unlock notice
// (a grant handed back) is recorded, the first database unlock notice runs
// fnAtDatabaseUnlock, and change notices go on through the copy's own link.
class CWatchedLink : public CLockManagerLink {
 public:
  struct stHooks {
    bool bLockManager = false;
    std::function<void()> fnDuringWait, fnAtDatabaseUnlock;
  };
  CWatchedLink(CLockManagerLink& own, stHooks hooks) : m_own(own), m_hooks(std::move(hooks)) {}
  bool HasLanServer() override { return m_hooks.bLockManager; }
  bool IsLockManagerOnLine() override { return m_hooks.bLockManager; }
  unsigned CountOnLine() override { return 2; }
  bool IsLockGrantedToOther(uint8_t, uint32_t) override { return false; }
  void ClearReceivedGrants() override {}
  bool TakeGrantFromLockManager() override { return m_bGranted; }
  void SendLockRequest(uint8_t, uint32_t) override { m_bRequested = true; }
  void SendUnlockNotice(uint8_t nTable, uint32_t nKey) override {
    m_naUnlocks.push_back({nTable, nKey});
    if (nTable == TABLE_ALL && m_hooks.fnAtDatabaseUnlock)
      std::exchange(m_hooks.fnAtDatabaseUnlock, nullptr)();
  }
  void SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                        const std::vector<uint32_t>& naChangedHeaders) override {
    m_own.SendDataModified(nTable, nKey, nHeaderLoc, naChangedHeaders);
  }
  void ProcessPendingMessages() override {
    if (!m_bRequested || m_bGranted) return;
    if (m_hooks.fnDuringWait) std::exchange(m_hooks.fnDuringWait, nullptr)();
    m_bGranted = true;
  }
  // Unlock notices for one record (the refresh's database notices aside).
  size_t UnlocksOf(uint8_t nTable, uint32_t nKey) const {
    return size_t(std::count(m_naUnlocks.begin(), m_naUnlocks.end(), std::make_pair(nTable, nKey)));
  }

 private:
  CLockManagerLink& m_own;
  stHooks m_hooks;
  bool m_bRequested = false;
  bool m_bGranted = false;
  std::vector<std::pair<uint8_t, uint32_t>> m_naUnlocks;
};

// Puts a copy's own link back when the test ends, also after a failed assertion.
struct stRestoreLink {
  CTableManager& db;
  CLockManagerLink* pOwn;
  ~stRestoreLink() { db.SetLockManagerLink(pOwn); }
};

}  // namespace

// While B waits for the lock manager's grant, A rewrites the record in a
// bigger block or deletes it. B locks the record where it lies now, or hands
// the grant back when it is gone: a grant kept for nothing would make every
// other copy wait for ever.
TEST_F(Race, ARecordLockFollowsARecordThatMovedDuringTheWait) {
  const uint32_t nP = AddPerson(A(), m_ui, "Mover", "Mo");
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  const uint32_t nOld = B().GetItemFileLoc(TABLE_PERSON, nP, 0, 0);
  stRestoreLink restore{B(), B().LockManagerLink()};
  CWatchedLink moved(*restore.pOwn, {true, [&] {
                                       m_ui.QueueEdit({{ItemField::kComments, std::string(3000, 'c')}});
                                       ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nP),
                                                 eItemResult::Done);
                                     }, nullptr});
  B().SetLockManagerLink(&moved);
  const uint32_t nLoc = B().LockRecord(TABLE_PERSON, nP);
  const uint32_t nNew = A().GetItemFileLoc(TABLE_PERSON, nP, 0, 0);
  ASSERT_NE(nNew, nOld);
  EXPECT_EQ(nLoc, nNew);
  EXPECT_EQ(B().IsRecordLocked(LOCK_BY_ME, nNew), 1);
  EXPECT_EQ(moved.UnlocksOf(TABLE_PERSON, nP), 0u);
  EXPECT_EQ(B().UnlockRecord(nLoc), 1);

  CWatchedLink deleted(
      *restore.pOwn,
      {true, [&] { ASSERT_EQ(A().DeleteTableItem(TABLE_PERSON, nP, 0), eItemResult::Done); },
       nullptr});
  B().SetLockManagerLink(&deleted);
  m_ui.ClearShown();
  EXPECT_EQ(B().LockRecord(TABLE_PERSON, nP), DB_NONE);
  EXPECT_TRUE(m_ui.SawText(StrFormat("Item %i from Person table not found.", int(nP))));
  EXPECT_EQ(deleted.UnlocksOf(TABLE_PERSON, nP), 1u);
  B().SetLockManagerLink(restore.pOwn);
  ExpectSameTables(A(), B(), "after the moved and the deleted record");
}

// B edits a person whose change by A has been announced but not yet read
// (B was busy): the dialog opens on A's version, so B's save keeps A's change.
TEST_F(Race, AnEditStartsFromTheChangesAnnouncedBeforeIt) {
  const uint32_t nP = AddPerson(A(), m_ui, "Stale", "Sam");
  m_ui.QueueEdit({{ItemField::kCity, "Bergen"}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  // A shorter text is written in place: the record stays where B knows it.
  const uint32_t nLoc = A().GetItemFileLoc(TABLE_PERSON, nP, 0, 0);
  m_ui.QueueEdit({{ItemField::kCity, "Oslo"}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  ASSERT_EQ(A().GetItemFileLoc(TABLE_PERSON, nP, 0, 0), nLoc);
  ASSERT_FALSE(B().RefreshState().Notices().empty());  // announced, not read
  m_ui.QueueEdit({{ItemField::kComments, "called back"}});
  ASSERT_EQ(B().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  ASSERT_EQ(A().RefreshOnNotice(), 1);
  EXPECT_EQ(PersonOf(A(), nP)->m_sCity, "Oslo");
  ASSERT_EQ(PersonOf(A(), nP)->m_saComments.size(), 1u);
  EXPECT_EQ(PersonOf(A(), nP)->m_saComments[0], "called back");
  ExpectSameTables(A(), B(), "after both edits");
}

// A's edit rewrites its person in a bigger block; before A ends the record
// lock, B stores a new person in the block A left. The end of A's lock
// concerns A's person, not the one that now lies where it was locked.
TEST_F(Race, TheEndOfARecordLockFollowsTheRecordWhenItsBlockIsReused) {
  const uint32_t nP = AddPerson(A(), m_ui, "Pat", "P");
  const uint32_t nOld = A().GetItemFileLoc(TABLE_PERSON, nP, 0, 0);
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  uint32_t nQ = DB_NONE;
  stRestoreLink restore{A(), A().LockManagerLink()};
  CWatchedLink link(*restore.pOwn, {false, nullptr, [&] {
                                      ASSERT_EQ(B().RefreshOnNotice(), 1);
                                      nQ = AddPerson(B(), m_ui, "Qui", "Q");  // as long as A's person was
                                    }});
  A().SetLockManagerLink(&link);
  m_ui.QueueEdit({{ItemField::kComments, std::string(2000, 'p')}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  A().SetLockManagerLink(restore.pOwn);
  ASSERT_NE(nQ, DB_NONE);
  ASSERT_EQ(B().GetItemFileLoc(TABLE_PERSON, nQ, 0, 0), nOld) << "B did not reuse the block";
  EXPECT_EQ(link.UnlocksOf(TABLE_PERSON, nP), 1u);
  EXPECT_EQ(link.UnlocksOf(TABLE_PERSON, nQ), 0u);
  uint32_t nLoc = DB_NONE;
  EXPECT_EQ(A().IsRecordLocked(LOCK_BY_ANYONE, TABLE_PERSON, nP, nLoc), 0);
  ASSERT_EQ(A().RefreshOnNotice(), 1);
  ExpectSameTables(A(), B(), "after the reused block");
}
