// Two copies working on one file at the same time.

#include <gtest/gtest.h>

#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

namespace {

class Race : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pA = &m_group.Open(2);
    m_pB = &m_group.Open(3);
  }
  CTableManager& A() { return m_pA->Db(); }
  CTableManager& B() { return m_pB->Db(); }
  // What another process sees in the database lock byte.
  std::string LockByteSeenByAnotherProcess() {
    std::string sOut;
    EXPECT_EQ(RunCommand("od -An -tu1 -j256 -N1 '" + m_group.FilePath() + "'", &sOut), 0);
    return Trim(sOut);
  }

  CScratchFolder m_folder;
  CHookUi m_ui;
  CCopyGroup m_group{m_folder.File("race")};
  CTestCopy* m_pA = nullptr;
  CTestCopy* m_pB = nullptr;
};

}  // namespace

TEST_F(Race, EditInBWhileADeletesOrInsertsBeforeIt) {
  const uint32_t nP = AddPerson(A(), m_ui, "Moore", "Max");
  AddPerson(A(), m_ui, "Young", "Yve");
  ASSERT_EQ(B().RefreshOnNotice(), 1);
  m_ui.BeforeNextEdit([&] {
    // B's dialog is up and B holds the record lock.
    m_ui.ClearShown();
    EXPECT_EQ(A().DeleteTableItem(TABLE_PERSON, nP, 0), 2);
    EXPECT_TRUE(m_ui.SawText("Person table locked by another user"));
    AddPerson(A(), m_ui, "Adams", "Al");
    AddPerson(A(), m_ui, "Baker", "Bo");
    EXPECT_EQ(StoredSequence(A(), A().m_caPersonIndex[2].m_nFileLoc), 2u);
    EXPECT_EQ(B().RefreshOnNotice(), 0);  // the dialog holds the refresh
    m_ui.QueueEdit({{ItemField::kCity, "Paris"}});
  });
  ASSERT_EQ(B().EditTableItem(TABLE_PERSON, nP), 1);
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
    A().m_caRefreshFlags.push_back({3, TABLE_PERSON, n2});
    nRefreshed += A().LockAndRefreshDatabase("refresh database", 0, 1);
    EXPECT_EQ(LockByteSeenByAnotherProcess(), "2");
  });
  m_ui.QueueAnswer(IDYES);  // the category is in use
  EXPECT_EQ(A().DeleteTableItem(TABLE_CATEGORY, nCat, 1), 1);
  EXPECT_TRUE(m_ui.SawText("Category is reference in database. Are you sure you want to delete it?"));
  m_ui.SetEventHook(nullptr);
  EXPECT_GT(nChecks, 2);
  EXPECT_EQ(nRefreshed, 0);
  EXPECT_EQ(LockByteSeenByAnotherProcess(), "0");
  // The notices were kept and are taken in now.
  EXPECT_TRUE(A().m_bRefreshOwed);
  EXPECT_EQ(A().RetryOwedRefresh(), 1);
  EXPECT_TRUE(A().m_caRefreshFlags.empty());
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
  EXPECT_EQ(A().DeleteTableItem(TABLE_CATEGORY, nCat, 1), 2);
  EXPECT_TRUE(m_ui.SawText("Person table locked by another user"));
  // Nothing changed: the category and both memberships stay.
  EXPECT_NE(CategoryOf(A(), nCat), nullptr);
  for (uint32_t n : {n1, n2}) EXPECT_EQ(PersonOf(A(), n)->m_naCategories, std::vector<uint32_t>{nCat});
  EXPECT_TRUE(B().m_caRefreshFlags.empty());
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
