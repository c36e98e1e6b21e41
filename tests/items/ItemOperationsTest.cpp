#include <gtest/gtest.h>

#include <random>

#include "engine/CSharedFile.h"
#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

namespace {

class ItemOperations : public ::testing::Test {
 protected:
  CScratchFolder m_folder;
  CTestUi m_ui;
  CCopyGroup m_group{m_folder.File("items")};
};

}  // namespace

TEST_F(ItemOperations, AddEditDeleteKeepIndexSequenceAndFileInStep) {
  CTableManager& db = m_group.Open(2).Db();
  const uint32_t nCat = AddCategory(db, m_ui, "Friends");
  EXPECT_EQ(db.m_caCategoryIndex.size(), 1u);
  EXPECT_EQ(db.m_caCategoryIndex[0].m_nSequence, 0u);  // appended at the old count
  const uint32_t nB = AddPerson(db, m_ui, "Brown", "Bob", "Friends");
  const uint32_t nA = AddPerson(db, m_ui, "Adams", "Ann");
  const uint32_t nC = AddPerson(db, m_ui, "Clark", "Cid");
  // Persons are kept by name: Adams, Brown, Clark.
  EXPECT_EQ(CodesOf(db, TABLE_PERSON), (std::vector<uint32_t>{nA, nB, nC}));
  EXPECT_EQ(PersonOf(db, nB)->m_naCategories, std::vector<uint32_t>{nCat});
  // Codes of user 2 come from its own key range.
  EXPECT_EQ(nB >> 24, 1u);
  ExpectConsistent(db, "after adds");

  // Renaming Adams to Zorn moves him to the end; the others move up.
  m_ui.QueueEdit({{ItemField::kLastName, "Zorn"}});
  EXPECT_EQ(db.EditTableItem(TABLE_PERSON, nA), eItemResult::Done);
  EXPECT_EQ(CodesOf(db, TABLE_PERSON), (std::vector<uint32_t>{nB, nC, nA}));
  EXPECT_EQ(PersonOf(db, nA)->m_sLastName, "Zorn");
  ExpectConsistent(db, "after edit");

  // A cancelled dialog changes nothing.
  m_ui.QueueEdit({{ItemField::kLastName, "Nobody"}}, false);
  EXPECT_EQ(db.EditTableItem(TABLE_PERSON, nB), eItemResult::Cancelled);
  EXPECT_EQ(PersonOf(db, nB)->m_sLastName, "Brown");

  // Deleting the item at position 0 of three: two items, sequences 0 and 1.
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(db.DeleteTableItem(TABLE_PERSON, nB, 1), eItemResult::Done);
  EXPECT_TRUE(m_ui.SawText("Are you sure you want to delete person and associated data?"));
  EXPECT_EQ(CodesOf(db, TABLE_PERSON), (std::vector<uint32_t>{nC, nA}));
  ExpectConsistent(db, "after delete");
  // Answering No keeps the person.
  m_ui.QueueAnswer(IDNO);
  EXPECT_EQ(db.DeleteTableItem(TABLE_PERSON, nC, 1), eItemResult::Cancelled);
  EXPECT_NE(PersonOf(db, nC), nullptr);
  ExpectFileMatches(m_group, db, "end");
}

TEST_F(ItemOperations, DeleteAndAddAnnounceTheItemAndTheSequence) {
  CTestCopy& a = m_group.Open(2);
  CTestCopy& b = m_group.Open(3);
  const uint32_t n1 = AddPerson(a.Db(), m_ui, "A", "1");
  const uint32_t n2 = AddPerson(a.Db(), m_ui, "B", "2");
  AddPerson(a.Db(), m_ui, "C", "3");
  EXPECT_TRUE(a.Db().RefreshState().Notices().empty());  // a copy queues nothing for itself
  EXPECT_EQ(b.Db().RefreshOnNotice(), 1);
  ExpectSameTables(a.Db(), b.Db(), "after adds");
  EXPECT_EQ(b.Db().RefreshOnNotice(), 0);  // nothing pending any more
  const uint32_t nLoc1 = a.Db().m_caPersonIndex[0].m_nFileLoc;
  EXPECT_EQ(a.Db().DeleteTableItem(TABLE_PERSON, n1, 0), eItemResult::Done);
  // The delete is announced by its header (the freed record) and the
  // sequence change of the table.
  const auto& flags = b.Db().RefreshState().Notices();
  EXPECT_NE(std::find(flags.begin(), flags.end(), stRefreshFlag{2, TABLE_HEADER, nLoc1}), flags.end());
  EXPECT_NE(std::find(flags.begin(), flags.end(), stRefreshFlag{2, TABLE_PERSON, SEQUENCE_CODE}),
            flags.end());
  EXPECT_EQ(b.Db().RefreshOnNotice(), 1);
  EXPECT_TRUE(b.Db().RefreshState().Notices().empty());
  EXPECT_EQ(CodesOf(b.Db(), TABLE_PERSON).front(), n2);
  ExpectSameTables(a.Db(), b.Db(), "after delete");
  ExpectConsistent(b.Db(), "after delete");
}

TEST_F(ItemOperations, RandomOperationsOnEveryTableAgreeWithAFreshLoad) {
  CTableManager& db = m_group.Open(2).Db();
  std::mt19937 rng(20240607);
  const char* aNames[] = {"Smith", "smith", "Jones", "Ng", "Zeta", "Alpha", "Smitha", "M\xC3\xBCller"};
  const char* aTypes[] = {"O", "D", "W", "M", "m", "Y", "U"};
  std::vector<std::string> saCategoryNames;
  auto readNames = [&] {
    saCategoryNames.clear();
    for (const stIndex& e : db.m_caCategoryIndex)
      saCategoryNames.push_back(static_cast<const CCategory&>(*e.m_pItem).m_sName);
  };
  static constexpr uint8_t kTables[] = {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG};
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  auto date = [&] {
    return StrFormat("%02u/%02u/%u %02u:%02u%s", unsigned(pick(12) + 1), unsigned(pick(28) + 1),
                     unsigned(2020 + pick(8)), unsigned(pick(12) + 1), unsigned(pick(60)),
                     pick(2) ? "AM" : "PM");
  };
  for (int nStep = 0; nStep < 160; ++nStep) {
    const uint8_t t = kTables[pick(4)];
    const CIndexArray& ia = *db.PtrToIndexArray(t);
    const int nOp = ia.empty() ? 0 : int(pick(3));
    const std::string sName = aNames[pick(8)] + std::to_string(pick(5));
    const std::string sWhere = StrFormat("step %d table %u op %d", nStep, t, nOp);
    if (nOp == 0) {
      switch (t) {
        case TABLE_CATEGORY:
          AddCategory(db, m_ui, sName);
          readNames();
          break;
        case TABLE_PERSON:
          AddPerson(db, m_ui, sName, aNames[pick(8)],
                    saCategoryNames.empty() ? "" : saCategoryNames[pick(saCategoryNames.size())]);
          break;
        case TABLE_SCHEDULE: AddSchedule(db, m_ui, sName, aTypes[pick(7)], date()); break;
        default: AddLogEvent(db, m_ui, sName, date());
      }
    } else {
      const uint32_t nCode = ia[pick(ia.size())].m_nCode;
      if (nOp == 1) {
        const char* pField = t == TABLE_CATEGORY ? ItemField::kName
                             : t == TABLE_PERSON ? ItemField::kLastName
                                                 : ItemField::kDescription;
        std::vector<stEditField> fields{{pField, sName}};
        if (t == TABLE_SCHEDULE) fields.push_back({ItemField::kStart, date(), 32});
        if (t == TABLE_LOG) fields.push_back({ItemField::kDate, date(), 32});
        m_ui.QueueEdit(fields);
        ASSERT_EQ(db.EditTableItem(t, nCode), eItemResult::Done) << sWhere;
        readNames();
      } else {
        ASSERT_EQ(db.DeleteTableItem(t, nCode, 0), eItemResult::Done) << sWhere;
        readNames();
        if (t == TABLE_CATEGORY) {
          for (const stIndex& e : db.m_caPersonIndex)
            ASSERT_FALSE(static_cast<const CPerson&>(*e.m_pItem).IsCategorySelected(nCode)) << sWhere;
        }
      }
    }
    ExpectConsistent(db, sWhere);
    if (nStep % 10 == 9) ExpectFileMatches(m_group, db, sWhere);
  }
  ExpectFileMatches(m_group, db, "end");
}

TEST_F(ItemOperations, FailedWritesAreCancelledAndLeaveMemoryAsItWas) {
  CTableManager& db = m_group.Open(2).Db();
  const uint32_t nP = AddPerson(db, m_ui, "Keep", "Me");
  AddPerson(db, m_ui, "Other", "One");
  // Sweep a failing write over each operation: whatever write fails, the
  // operation gives 2 and memory, index and file still agree.
  for (int nNth = 1; nNth <= 6; ++nNth) {
    const CPerson before = *PersonOf(db, nP);
    const size_t nCount = db.m_caPersonIndex.size();
    CSharedFile::InjectFault(IO_CALL_PWRITE, nNth);
    m_ui.QueueEdit({{ItemField::kLastName, "Changed"}, {ItemField::kComments, std::string(300, 'x')}});
    const eItemResult nEdit = db.EditTableItem(TABLE_PERSON, nP);
    CSharedFile::ClearFaults();
    if (nEdit == eItemResult::Cancelled) {
      EXPECT_EQ(*PersonOf(db, nP), before) << "edit, write " << nNth;
    } else {
      // The failing write was the record unlock after the save.
      EXPECT_EQ(PersonOf(db, nP)->m_sLastName, "Changed");
      m_ui.QueueEdit({{ItemField::kLastName, "Keep"}, {ItemField::kComments, ""}});
      ASSERT_EQ(db.EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
    }
    ExpectConsistent(db, StrFormat("edit, write %d", nNth));

    CSharedFile::InjectFault(IO_CALL_PWRITE, nNth);
    m_ui.QueueEdit({{ItemField::kLastName, "New"}});
    uint32_t nNew = DB_NONE;
    const eItemResult nAdd = db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false, {}, &nNew);
    CSharedFile::ClearFaults();
    EXPECT_EQ(db.m_caPersonIndex.size(), nCount + (nAdd == eItemResult::Done ? 1 : 0))
        << "add, write " << nNth;
    ExpectConsistent(db, StrFormat("add, write %d", nNth));
    if (nAdd == eItemResult::Done) {
      ASSERT_EQ(db.DeleteTableItem(TABLE_PERSON, nNew, 0), eItemResult::Done);
    }

    CSharedFile::InjectFault(IO_CALL_PWRITE, nNth);
    const eItemResult nDel = db.DeleteTableItem(TABLE_PERSON, nP, false);
    CSharedFile::ClearFaults();
    if (nDel == eItemResult::Done || PersonOf(db, nP) == nullptr) {
      // Deleted; when the failing write was a sequence patch, the delete
      // says so, memory keeps the sequence the file holds, and the next
      // store fills the gap.
      if (nDel != eItemResult::Done) {
        EXPECT_TRUE(m_ui.SawText("Could not write record to file."));
      }
      EXPECT_EQ(PersonOf(db, nP), nullptr);
      const stIndex& e = db.m_caPersonIndex[0];
      EXPECT_EQ(StoredSequence(db, e.m_nFileLoc), e.m_nSequence);
      ASSERT_EQ(db.LockDatabase("test"), 1);
      EXPECT_EQ(db.SaveTableSequence(TABLE_PERSON, 1), 1);
      db.UnlockDatabase();
      ExpectConsistent(db, StrFormat("delete, write %d", nNth));
      break;  // the sweep has reached the end of the delete
    }
    EXPECT_NE(PersonOf(db, nP), nullptr) << "delete, write " << nNth;
    ExpectConsistent(db, StrFormat("delete, write %d", nNth));
  }
  ExpectFileMatches(m_group, db, "after the sweep");
}

TEST_F(ItemOperations, ASequencePatchNeverLandsInAnotherRecord) {
  CTableManager& db = m_group.Open(2).Db();
  AddPerson(db, m_ui, "Ash", "A");
  const uint32_t nB = AddPerson(db, m_ui, "Birch", "B");
  const uint32_t nS = AddSchedule(db, m_ui, "Other record", "O", "01/01/2025 09:00AM");
  const uint32_t nScheduleLoc = db.m_caScheduleIndex[0].m_nFileLoc;
  // B's entry points at a block that now holds another record, and its
  // sequence must be stored again.
  stIndex& e = db.m_caPersonIndex[db.LocateIndex(TABLE_PERSON, nB)];
  const uint32_t nRealLoc = e.m_nFileLoc;
  e.m_nFileLoc = nScheduleLoc;
  e.m_nSequence = 9;
  EXPECT_EQ(db.SaveTableSequence(TABLE_PERSON, 0), 0);  // refused without the lock
  ASSERT_EQ(db.LockDatabase("test"), 1);
  EXPECT_EQ(db.SaveTableSequence(TABLE_PERSON, 0), 1);
  db.UnlockDatabase();
  EXPECT_EQ(StoredSequence(db, nScheduleLoc), 0u);  // the schedule item's own sequence
  EXPECT_EQ(e.m_nFileLoc, nRealLoc);
  EXPECT_EQ(StoredSequence(db, nRealLoc), 1u);
  EXPECT_NE(ScheduleOf(db, nS), nullptr);
  ExpectFileMatches(m_group, db, "after the patch");
}
