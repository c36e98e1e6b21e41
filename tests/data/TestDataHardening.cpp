// The table manager never reports a failure as success and never loses
// memory to a failed read: two copies under one user number, a failed
// header rebuild during a sequence refresh, index entries that point at the
// wrong record, settings and deletes whose writes fail, and refreshes that
// cannot load the file.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "DbTestFiles.h"
#include "common/TestCommon.h"
#include "data/CTableManager.h"
#include "support/StringUtil.h"

namespace {

constexpr const char* kWriteFailure = "Could not write record to file.";

std::vector<uint8_t> Person(uint32_t nCode, uint32_t nSeq) {
  CPerson p;
  p.m_nCode = nCode;
  p.m_nSequence = nSeq;
  p.m_sLastName = "Person " + std::to_string(nCode);
  std::vector<uint8_t> buf(DB_BUFFER_SIZE);
  stRecordBuffer b(buf.data(), DB_MAX_BLOCK);
  buf.resize(p.LoadBufferPerson(b));
  return buf;
}

class DataHardening : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1);
    m_sName = m_folder.File("hard");
    CDatabase db;
    ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
    db.CloseDatabase();
  }
  void TearDown() override { CSharedFile::ClearFaults(); }

  // nCount persons written as another program writes them.
  void AddPersons(uint32_t nCount) {
    CRawWriter w(Path());
    for (uint32_t n = 1; n <= nCount; ++n) ASSERT_NE(w.Write(TABLE_PERSON, n, Person(n, n - 1)), DB_NONE);
  }
  std::string Path() const { return m_sName + ".dbm"; }

  CScratchFolder m_folder;
  CTestUi m_ui;
  std::string m_sName;
};

TEST_F(DataHardening, ASecondCopyUnderTheSameUserNumberIsRefused) {
  // A real second process holds the database open under user number 5.
  int fdOpened[2], fdDone[2];
  ASSERT_EQ(pipe(fdOpened), 0);
  ASSERT_EQ(pipe(fdDone), 0);
  const pid_t nChild = fork();
  if (nChild == 0) {
    CTestUi ui;
    CDatabase db;
    const char cOpened = db.OpenDatabase(m_sName, 0) ? 'y' : 'n';
    char cDone = 0;
    if (write(fdOpened[1], &cOpened, 1) != 1 || read(fdDone[0], &cDone, 1) != 1) _exit(2);
    db.CloseDatabase();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(fdOpened[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  {
    CTableManager db;
    EXPECT_EQ(db.OpenDatabase(m_sName, 0), 0);
    EXPECT_TRUE(
        m_ui.SawText("User number 5 is in use by another copy of Kelvo on this database.\n"
                     "Two copies with one user number would overwrite each other's "
                     "records, so the database is not opened."));
  }
  // The refused copy wrote nothing the other copy relies on.
  EXPECT_EQ(ByteAt(Path(), LOC_LOCKALLTABLES_FLAG), 0);
  ASSERT_EQ(write(fdDone[1], "g", 1), 1);
  int nStatus = 0;
  waitpid(nChild, &nStatus, 0);
  // Once the first copy is gone the number is free again.
  CTableManager db;
  EXPECT_EQ(db.OpenDatabase(m_sName, 0), 1);
  db.CloseDatabase();
  EXPECT_EQ(U32At(Path(), LOC_CLOSED_OK), 1u);
}

TEST_F(DataHardening, AFailedRebuildDuringASequenceRefreshKeepsTheTable) {
  AddPersons(300);
  CTableManager db;
  ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
  ASSERT_EQ(db.PtrToIndexArray(TABLE_PERSON)->size(), 300u);
  const size_t nHeaders = db.m_caDataHeaders.size();
  // The whole-file read of the rebuild fails once.
  db.RefreshState().AddNoticeOnce({7, TABLE_PERSON, SEQUENCE_CODE});
  CSharedFile::InjectFault(IO_CALL_PREAD, 1);
  EXPECT_EQ(db.RefreshTable(TABLE_PERSON, SEQUENCE_CODE), 0);
  EXPECT_EQ(db.m_caDataHeaders.size(), nHeaders);
  EXPECT_EQ(db.PtrToIndexArray(TABLE_PERSON)->size(), 300u);
  EXPECT_TRUE(db.RefreshState().IsRefreshOwed());
  // Through the refresh: the failed round is tried again and nothing is lost.
  CSharedFile::InjectFault(IO_CALL_PREAD, 1);
  db.RefreshOnNotice();
  while (db.RefreshState().HasNotices() && db.RefreshOnNotice()) {
  }
  EXPECT_FALSE(db.RefreshState().HasNotices());
  EXPECT_EQ(db.PtrToIndexArray(TABLE_PERSON)->size(), 300u);
  db.CloseDatabase();
}

TEST_F(DataHardening, IndexEntriesMustPointAtTheirOwnLiveRecord) {
  AddPersons(3);
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
  CIndexArray& ia = *db.PtrToIndexArray(TABLE_PERSON);
  ASSERT_EQ(db.TestIndices(TABLE_PERSON, ia, false), 1);
  const uint32_t nGood = ia[0].m_nFileLoc;
  ia[0].m_nFileLoc = ia[1].m_nFileLoc;  // another key's record
  db.m_saLoadReport.clear();
  EXPECT_EQ(db.TestIndices(TABLE_PERSON, ia, false), 0);
  ASSERT_EQ(db.m_saLoadReport.size(), 1u);
  EXPECT_EQ(db.m_saLoadReport[0],
            StrFormat("Index entry of table Person table, key 1 points to file location %u, which "
                      "holds no live record of that key.",
                      ia[1].m_nFileLoc));
  EXPECT_EQ(ia[0].m_nFileLoc, ia[1].m_nFileLoc);  // the test alone changes nothing
  EXPECT_EQ(db.TestIndices(TABLE_PERSON, ia, true), 0);
  EXPECT_EQ(ia[0].m_nFileLoc, nGood);
  // An entry whose record is gone from the file is dropped by the repair.
  db.m_caDataHeaders[size_t(db.LocateHeaderInList(ia[2].m_nFileLoc))].cStatus = STATUS_DELETED;
  EXPECT_EQ(db.TestIndices(TABLE_PERSON, ia, true), 0);
  EXPECT_EQ(ia.size(), 2u);
  db.CloseDatabase();
}

TEST_F(DataHardening, ATableThatRunsBackwardsThroughTheFileChecksClean) {
  // Written first to last by code and numbered last to first: in sequence
  // order the table visits the file from its end to its start, so the index
  // check never finds the header it tries first.
  {
    CRawWriter w(Path());
    for (uint32_t n = 1; n <= 40; ++n) ASSERT_NE(w.Write(TABLE_PERSON, n, Person(n, 40 - n)), DB_NONE);
  }
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
  EXPECT_TRUE(db.m_saLoadReport.empty());
  CIndexArray& ia = *db.PtrToIndexArray(TABLE_PERSON);
  ASSERT_EQ(ia.size(), 40u);
  EXPECT_EQ(ia.front().m_nCode, 40u);
  EXPECT_EQ(db.TestIndices(TABLE_PERSON, ia, false), 1);
  // A wrong entry among them is still told, and only that one.
  ia[20].m_nFileLoc = ia[21].m_nFileLoc;
  EXPECT_EQ(db.TestIndices(TABLE_PERSON, ia, false), 0);
  ASSERT_EQ(db.m_saLoadReport.size(), 1u);
  EXPECT_NE(db.m_saLoadReport[0].find("key 20 points"), std::string::npos) << db.m_saLoadReport[0];
  db.CloseDatabase();
}

// The label and the stored value of the number of backup files.
const stParamRange& BackupFilesRange() {
  for (const auto& r : CVarData::Ranges())
    if (r.m_pField == &stVarData::m_nBackupFiles) return r;
  return CVarData::Ranges()[0];
}

TEST_F(DataHardening, SettingsThatCannotBeSavedAreNotReportedAsSaved) {
  const stParamRange& r = BackupFilesRange();
  // Every write after the record lock (the dialog comes then), and the
  // flush of the save, fails in turn.
  for (int nNth = 2; nNth <= 8; ++nNth) {
    SCOPED_TRACE(nNth);
    m_ui.ClearShown();
    CTableManager db;
    ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
    const int32_t nBefore = db.GetVarData().*r.m_pField;
    m_ui.QueueEdit({{r.m_pLabel, std::to_string(nBefore == 3 ? 4 : 3)}});
    CSharedFile::InjectFault(nNth <= 7 ? IO_CALL_PWRITE : IO_CALL_FSYNC, nNth <= 7 ? nNth : 1);
    const eItemResult n = db.EditVarRecord(true);
    CSharedFile::ClearFaults();
    db.SetUsersOnLine(2);  // keep the file as the failure left it
    db.CloseDatabase();
    CDatabase file;
    m_ui.QueueAnswer(IDNO);  // left marked open: no integrity test
    ASSERT_EQ(file.OpenDatabase(m_sName, 0), 1);
    const int32_t nInFile = file.GetVarData().*r.m_pField;
    file.CloseDatabase();
    if (n == eItemResult::Done) {
      EXPECT_NE(nInFile, nBefore);
    } else {
      EXPECT_EQ(db.GetVarData().*r.m_pField, nInFile);  // memory shows what the file holds
    }
  }
  // A format whose save fails keeps the file's format in memory.
  CTableManager db;
  ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
  const int nBold = db.GetFormat(2)->m_bBold;
  m_ui.QueueEdit({{"Bold", nBold ? "0" : "1"}});
  CSharedFile::InjectFault(IO_CALL_FSYNC, 1);
  EXPECT_EQ(db.EditFormatRecord(2, "Test", false), eItemResult::Cancelled);
  CSharedFile::ClearFaults();
  EXPECT_TRUE(m_ui.SawText(kWriteFailure));
  db.CloseDatabase();
}

TEST_F(DataHardening, DeletesAndRefreshesThatFailSaySo) {
  AddPersons(4);
  {
    CTableManager db;
    ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
    // An add whose flush fails is not done; memory is owed a reload.
    m_ui.QueueEdit({{ItemField::kLastName, "Unsure"}});
    CSharedFile::InjectFault(IO_CALL_FSYNC, 1);
    EXPECT_EQ(db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false, {}, nullptr), eItemResult::Cancelled);
    CSharedFile::ClearFaults();
    EXPECT_TRUE(m_ui.SawText(kWriteFailure));
    m_ui.ClearShown();
    // The first item goes and the three behind it move up: the database
    // lock and the status change are written, the sequence patches fail.
    CSharedFile::InjectFault(IO_CALL_PWRITE, 3, true);
    EXPECT_EQ(db.DeleteTableItem(TABLE_PERSON, 1, false), eItemResult::Cancelled);
    CSharedFile::ClearFaults();
    EXPECT_TRUE(m_ui.SawText(kWriteFailure));
    EXPECT_TRUE(db.RefreshState().IsRefreshOwed());
    db.CloseDatabase();
  }
  // The table manager of the headless tools: a reload that fails is a failure.
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(m_sName, 0), 1);
  ASSERT_EQ(db.LockDatabase("hold"), 1);
  CSharedFile::InjectFault(IO_CALL_PREAD, 1, true);
  EXPECT_EQ(db.RefreshDatabase(), 0);
  CSharedFile::ClearFaults();
  db.CloseDatabase();
  CDatabase again;
  m_ui.QueueAnswer(IDNO);  // the failed reload left the file marked open
  ASSERT_EQ(again.OpenDatabase(m_sName, 0), 1);
  ASSERT_EQ(again.LockDatabase("hold"), 1);
  again.RefreshState().AddNoticeOnce({7, TABLE_ALL, DB_NONE});
  CSharedFile::InjectFault(IO_CALL_PREAD, 1, true);
  EXPECT_EQ(again.LockAndRefreshDatabase("save"), 0);
  CSharedFile::ClearFaults();
  again.CloseDatabase();
}

}  // namespace
