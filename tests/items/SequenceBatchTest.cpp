#include <gtest/gtest.h>

#include "data/DemoData.h"
#include "engine/CDbRepair.h"
#include "engine/CSharedFile.h"
#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

namespace {

constexpr int kPersons = 4000;

// A table big enough that a change in the middle of the order moves
// thousands of records, stored in a file order unlike the name order and
// spread over many runs of sequence patches (each record about 1.3 KB),
// more than the disk is started on while the later runs are made.
class SequenceBatch : public CCopiesTest {
 protected:
  SequenceBatch() : CCopiesTest("batch", 1) {}
  void SetUp() override {
    CCopiesTest::SetUp();
    ASSERT_EQ(A().LockDatabase("fill"), 1);
    for (int i = 0; i < kPersons; ++i) {
      auto p = std::make_unique<CPerson>();
      p->m_sLastName = StrFormat("N%04d", (i * 7919) % kPersons);
      p->m_saComments = {std::string(1200, char('a' + i % 26))};
      ASSERT_TRUE(AppendGeneratedItem(A(), TABLE_PERSON, std::move(p)));
    }
    A().SortRecordsPerson();  // stores the name order under the lock
    A().UnlockDatabase();
    ExpectConsistent(A(), "after the fill");
  }
  uint32_t MiddleCode() { return A().m_caPersonIndex[A().m_caPersonIndex.size() / 2].m_nCode; }
};

}  // namespace

TEST_F(SequenceBatch, AFailedWriteInTheBatchIsToldAndTheFileStaysSound) {
  // A sweep of one failing write over deletes in the middle: the first
  // writes mark the record, the batch of sequence patches (several runs)
  // follows. A failure in the batch leaves the item deleted and says so.
  int nInBatch = 0;
  for (int nNth = 1; nNth <= 12; ++nNth) {
    const uint32_t nCode = MiddleCode();
    m_ui.ClearShown();
    CSharedFile::InjectFault(IO_CALL_PWRITE, nNth);
    const eItemResult nResult = A().DeleteTableItem(TABLE_PERSON, nCode, false);
    CSharedFile::ClearFaults();
    if (nResult == eItemResult::Done) break;
    if (PersonOf(A(), nCode) == nullptr) {
      ++nInBatch;
      EXPECT_TRUE(m_ui.SawText("Could not write record to file.")) << nNth;
    }
    // What the file holds is what memory says it holds: entries whose patch
    // failed keep the sequence the file has.
    for (const stIndex& e : A().m_caPersonIndex)
      ASSERT_EQ(StoredSequence(A(), e.m_nFileLoc), e.m_nSequence) << nNth;
  }
  EXPECT_GE(nInBatch, 2);
  const size_t nLeft = A().m_caPersonIndex.size();
  m_group.Close(*m_pA);

  CTableManager& c = m_group.Open(2).Db();
  std::vector<std::string> saReport;
  EXPECT_EQ(CDbRepair(c).TestAndRepairDatabase(false, saReport), 1);
  EXPECT_EQ(c.m_caPersonIndex.size(), nLeft);
  ExpectConsistent(c, "reopened");  // the reopened copy stored a dense order
  c.SortRecordsPerson();
  ExpectConsistent(c, "sorted after the reopen");
}

TEST_F(SequenceBatch, TheOtherCopyReadsTheNewOrderInOneRead) {
  CTableManager& b = m_group.Open(3).Db();
  ExpectSameTables(A(), b, "after B opened");
  const auto fnDeliver = [&](const char* pWhat) {
    const long nReads = CSharedFile::CallCount(IO_CALL_PREAD);
    EXPECT_EQ(b.RefreshOnNotice(), 1) << pWhat;
    // Thousands of records moved; B reads their sequences from one read of
    // the file, not one read each.
    EXPECT_LT(CSharedFile::CallCount(IO_CALL_PREAD) - nReads, 40) << pWhat;
    ExpectSameTables(A(), b, pWhat);
    ExpectFileMatches(m_group, b, pWhat);  // the order a fresh load gives
  };
  const uint32_t nNew = AddPerson(A(), m_ui, StrFormat("N%04d", kPersons / 2) + "m", "Mid");
  ASSERT_NE(nNew, DB_NONE);
  EXPECT_EQ(A().LocateIndex(TABLE_PERSON, nNew), uint32_t(kPersons / 2 + 1));
  fnDeliver("after the insert in the middle");
  ASSERT_EQ(A().DeleteTableItem(TABLE_PERSON, MiddleCode(), false), eItemResult::Done);
  fnDeliver("after the delete in the middle");
}
