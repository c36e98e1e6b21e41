// Faults that lose or corrupt data when nothing reports them: flushes and
// closes that fail, the last copy's clearing of locks while another copy
// arrives, another user's record lock, a failed append, an append behind a
// cut chain, foreign files, records of user 0, and the close of a large file.

#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "engine/CDbRepair.h"
#include "support/StringUtil.h"

namespace {

constexpr const char* kWriteFailure = "Could not write record to file.";

void WriteBytes(const std::string& sPath, const std::string& s) {
  FILE* f = fopen(sPath.c_str(), "wb");
  fwrite(s.data(), 1, s.size(), f);
  fclose(f);
}

class HardeningTest : public ::testing::Test {
 protected:
  void SetUp() override { m_sPath = m_folder.File("h.dbm"); }
  void TearDown() override { CSharedFile::ClearFaults(); }

  // A closed database of nCount persons (keys 1..nCount) written by user 1.
  std::vector<uint32_t> MakeFile(uint32_t nCount, uint32_t nSize = 50) {
    CDbEngine db;
    EXPECT_EQ(db.OpenDB(m_sPath, true), eOpenResult::Opened);
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    std::vector<uint32_t> naLoc;
    for (uint32_t k = 1; k <= nCount; ++k)
      naLoc.push_back(WritePayload(db, TABLE_PERSON, k, MakePayload(6, k, 0, nSize)));
    db.CloseDB();
    return naLoc;
  }

  // Opens the file as user nUser with the header list built.
  void Open(CDbEngine& db, uint8_t nUser) {
    ASSERT_NE(db.OpenDB(m_sPath, false), eOpenResult::Failed);
    db.m_nUserNumber = nUser;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
  }

  CScratchFolder m_folder;
  CTestUi m_ui;
  std::string m_sPath;
};

TEST_F(HardeningTest, FailedFlushOrCloseFailsTheWorkAndLeavesTheFileMarkedOpen) {
  MakeFile(3);
  // The flush of a database unlock covers every write made under the lock.
  {
    CDbEngine db;
    Open(db, 1);
    ASSERT_EQ(db.LockDatabase("write"), 1);
    WritePayload(db, TABLE_PERSON, 9, MakePayload(6, 9, 0, 40));
    CSharedFile::InjectFault(IO_CALL_FSYNC, 1);
    EXPECT_EQ(db.UnlockDatabase(), 0);
    EXPECT_TRUE(m_ui.SawText(kWriteFailure));
    // Memory is owed a reload from the file.
    EXPECT_TRUE(db.RefreshState().IsRefreshOwed());
    EXPECT_TRUE(db.RefreshState().HasNotices());
    EXPECT_EQ(db.RefreshState().Notices()[0].nTable, TABLE_ALL);
    CSharedFile::ClearFaults();
    m_ui.ClearShown();
    db.CloseDB();
    EXPECT_FALSE(m_ui.SawText(kWriteFailure));
  }
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), LOC_CLOSED_OK), 1u);
  // A close whose flush, or whose close of the handle, fails leaves status 0,
  // so that the next open offers the integrity test.
  for (eIoCall nCall : {IO_CALL_FSYNC, IO_CALL_CLOSE}) {
    SCOPED_TRACE(int(nCall));
    m_ui.ClearShown();
    {
      CDbEngine db;
      Open(db, 1);
      CSharedFile::InjectFault(nCall, 1);
      db.CloseDB();
      CSharedFile::ClearFaults();
    }
    EXPECT_TRUE(m_ui.SawText(kWriteFailure));
    EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), LOC_CLOSED_OK), 0u);
    CDbEngine again;
    EXPECT_EQ(again.OpenDB(m_sPath, false), eOpenResult::NotClosedProperly);
    again.CloseDB();
    EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), LOC_CLOSED_OK), 1u);
  }
}

TEST_F(HardeningTest, AnOpenerWaitsWhileTheLastCopyIsAlone) {
  MakeFile(3);
  CDbEngine db;
  Open(db, 1);
  ASSERT_TRUE(db.BeginAloneSection());
  // Another process cannot even take its presence lock now; an open waits
  // for the end of the section and then finds the file marked open.
  CSignalPipe started, opened;
  const pid_t nChild = StartChild([&] {
    CSharedFile probe;
    if (!probe.OpenExisting(m_sPath) || probe.TakePresence(false) != IO_LOCKED) return 3;
    probe.Close();
    started.Send();
    CTestUi ui;
    CDbEngine other;
    other.m_nUserNumber = 2;
    if (other.OpenDB(m_sPath, false) == eOpenResult::Failed) return 4;
    opened.Send();
    other.MakeFileHeaderArray(nullptr, 1, nullptr);
    if (!other.LockDatabase("child")) return 5;
    if (uint8_t(ReadFileBytes(m_sPath)[LOC_LOCKALLTABLES_FLAG]) != 2) return 6;
    _exit(0);  // holding the lock, as a copy that ends abnormally
  });
  ASSERT_TRUE(started.Wait());
  EXPECT_FALSE(opened.Wait(1));  // still waiting for the section to end
  EXPECT_TRUE(db.UnlockAllRecords());
  db.EndAloneSection();
  EXPECT_TRUE(opened.Wait());
  EXPECT_EQ(WaitChild(nChild), 0);
  // The child's lock byte was set after the clearing and stays.
  EXPECT_EQ(uint8_t(ReadFileBytes(m_sPath)[LOC_LOCKALLTABLES_FLAG]), 2);
  EXPECT_TRUE(db.BeginAloneSection());  // the child is gone
  db.EndAloneSection();
}

TEST_F(HardeningTest, AnotherUsersRecordLockIsNeverWrittenOver) {
  MakeFile(3);
  CSignalPipe locked, done;
  const pid_t nChild = StartChild([&] {
    CTestUi ui;
    CDbEngine other;
    if (other.OpenDB(m_sPath, false) == eOpenResult::Failed) return 3;
    other.m_nUserNumber = 2;
    other.MakeFileHeaderArray(nullptr, 1, nullptr);
    if (other.LockRecord(TABLE_PERSON, 2) == DB_NONE) return 4;
    locked.Send();
    done.Wait();
    other.CloseDB();
    return 0;
  });
  ASSERT_TRUE(locked.Wait());
  const std::string sBefore = ReadFileBytes(m_sPath);
  {
    CDbEngine db;
    Open(db, 1);
    const uint32_t nLoc = db.GetItemFileLoc(TABLE_PERSON, 2, 0, 0);
    const std::string sDenied = "Access denied. Record 2 in Person table locked by another user.";
    // Rewritten in place, moved to a bigger block, rewritten by location,
    // deleted: each is refused and writes nothing.
    EXPECT_EQ(WritePayload(db, TABLE_PERSON, 2, MakePayload(6, 2, 1, 30)), DB_NONE);
    EXPECT_EQ(WritePayload(db, TABLE_PERSON, 2, MakePayload(6, 2, 1, 300)), DB_NONE);
    EXPECT_EQ(db.RewriteRecord(nLoc, 20, TABLE_PERSON, 2, 0, 0, 1), eRewriteResult::NotWritten);
    EXPECT_EQ(db.DeleteRecord(nLoc, 1, 1), 0);
    EXPECT_TRUE(m_ui.SawText(sDenied));
    EXPECT_EQ(ReadFileBytes(m_sPath).substr(DB_HEADER_AREA_SIZE), sBefore.substr(DB_HEADER_AREA_SIZE));
    // Another record is written as before.
    EXPECT_NE(WritePayload(db, TABLE_PERSON, 3, MakePayload(6, 3, 1, 30)), DB_NONE);
    db.SetUsersOnLine(2);  // not the last copy: the child's lock stays
    db.CloseDB();
  }
  done.Send();
  EXPECT_EQ(WaitChild(nChild), 0);
}

TEST_F(HardeningTest, AFailedAppendLeavesNoHeaderToBeRestored) {
  const std::vector<uint32_t> naLoc = MakeFile(3);
  const std::string sGood = ReadFileBytes(m_sPath);
  {
    CDbEngine db;
    Open(db, 1);
    // Record 2 grows: data, header and the link are three writes; the link fails.
    CSharedFile::InjectFault(IO_CALL_PWRITE, 3);
    EXPECT_EQ(WritePayload(db, TABLE_PERSON, 2, MakePayload(6, 2, 1, 300)), DB_NONE);
    CSharedFile::ClearFaults();
    db.CloseDB();
  }
  const std::string s = ReadFileBytes(m_sPath);
  const uint32_t nFailed = uint32_t(sGood.size());
  // The block that was not linked was cut off again.
  EXPECT_EQ(s.size(), size_t(nFailed));
  EXPECT_EQ(RawUint32(s, naLoc[2] + 8), DB_NONE);
  // The repair finds nothing to link in, so no second copy of record 2.
  CDbEngine db;
  Open(db, 1);
  std::vector<std::string> saReport;
  CDbRepair(db).TestAndRepairDatabase(1, saReport);
  EXPECT_EQ(m_ui.PendingAnswers(), 0u);
  db.CloseDB();
  int nLive2 = 0;
  for (const stRawRecord& r : WalkRawChain(ReadFileBytes(m_sPath), nullptr))
    nLive2 += r.header.nKey == 2 && IsLiveStatus(r.header.cStatus);
  EXPECT_EQ(nLive2, 1);
}

TEST_F(HardeningTest, AnAppendBehindACutChainGoesToTheEndOfTheFile) {
  const std::vector<uint32_t> naLoc = MakeFile(4);
  const std::string sGood = ReadFileBytes(m_sPath);
  struct stCut {
    const char* pName;
    uint32_t nNext;  // the second record's link
  } cuts[] = {{"link cut to the end", DB_NONE}, {"link past the end of the file", 0xFFFFFF00}};
  for (const stCut& c : cuts) {
    SCOPED_TRACE(c.pName);
    std::string s = sGood;
    PutUint32(reinterpret_cast<uint8_t*>(s.data()) + naLoc[1] + 8, c.nNext);
    WriteBytes(m_sPath, s);
    CDbEngine db;
    Open(db, 1);
    const uint32_t nNew = WritePayload(db, TABLE_PERSON, 9, MakePayload(6, 9, 0, 40));
    db.CloseDB();
    EXPECT_EQ(nNew, uint32_t(sGood.size()));
    const std::string sAfter = ReadFileBytes(m_sPath);
    // The records behind the cut are untouched, so the repair can restore them.
    EXPECT_EQ(sAfter.substr(naLoc[2], naLoc[3] + 86 - naLoc[2]),
              sGood.substr(naLoc[2], naLoc[3] + 86 - naLoc[2]));
    EXPECT_EQ(RawUint32(sAfter, naLoc[1] + 8), nNew);
  }
}

TEST_F(HardeningTest, AFileThatIsNoDatabaseIsNeverWritten) {
  MakeFile(2);
  const std::string sGood = ReadFileBytes(m_sPath);
  std::string sNoHeader = sGood;  // version 0, but no record header at 1024
  sNoHeader[DB_FIRST_RECORD_LOC] = 'x';
  const std::string sText = std::string(4, '\0') + std::string(2000, 'a');
  for (const std::string& s : {sNoHeader, sText}) {
    WriteBytes(m_sPath, s);
    m_ui.ClearShown();
    CDbEngine db;
    EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Failed);
    EXPECT_TRUE(
        m_ui.SawText(StrFormat("%s does not look like a Kelvo database file: there is no "
                               "record header at location 1024.\nThe file is left as it is.",
                               m_sPath.c_str())));
    EXPECT_EQ(ReadFileBytes(m_sPath), s);
  }
  // A later format version is looked at when the user goes on, never written.
  std::string sLater = sGood;
  PutUint32(reinterpret_cast<uint8_t*>(sLater.data()), 1);
  sLater[LOC_LOCKALLTABLES_FLAG] = 3;
  WriteBytes(m_sPath, sLater);
  {
    CDbEngine db;
    m_ui.QueueAnswer(IDNO);
    EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Opened);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    EXPECT_EQ(db.m_caDataHeaders.size(), 2u);
    EXPECT_EQ(db.LockDatabase("write"), 0);
    EXPECT_EQ(db.UnlockAllRecords(), 0);
    db.CloseDB();
  }
  EXPECT_EQ(ReadFileBytes(m_sPath), sLater);
  // The clearing of all locks leaves a file without a first header alone.
  WriteBytes(m_sPath, sGood);
  CDbEngine db;
  Open(db, 1);
  sNoHeader[LOC_LOCKALLTABLES_FLAG] = 7;
  WriteBytes(m_sPath, sNoHeader);
  EXPECT_EQ(db.UnlockAllRecords(), 0);
  EXPECT_EQ(ReadFileBytes(m_sPath), sNoHeader);
  db.SetUsersOnLine(2);
  db.CloseDB();
}

TEST_F(HardeningTest, RecordsOfUserZeroAreSound) {
  {
    CDbEngine db;
    ASSERT_EQ(db.OpenDB(m_sPath, true), eOpenResult::Opened);
    db.m_nUserNumber = 0;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (int i = 0; i < 3; ++i) {
      const uint32_t nKey = db.GetNextKey(TABLE_PERSON);
      ASSERT_EQ(nKey >> 24, 0xFFu);
      WritePayload(db, TABLE_PERSON, nKey, MakePayload(6, nKey, 0, 40));
    }
    db.CloseDB();
  }
  const std::string sBefore = ReadFileBytes(m_sPath);
  for (const stRawRecord& r : WalkRawChain(sBefore, nullptr)) EXPECT_EQ(r.header.nUser, 0);
  CDbEngine db;
  Open(db, 0);
  std::vector<std::string> saReport;
  EXPECT_EQ(CDbRepair(db).TestAndRepairDatabase(1, saReport), 1);
  ASSERT_FALSE(saReport.empty());
  EXPECT_EQ(saReport.back(), "No problems found.");
  db.CloseDB();
  EXPECT_EQ(ReadFileBytes(m_sPath).substr(DB_HEADER_AREA_SIZE), sBefore.substr(DB_HEADER_AREA_SIZE));
  // A user-0 record behind a cut chain is still found by the delimiter scan.
  std::string s = sBefore;
  const std::vector<stRawRecord> chain = WalkRawChain(sBefore, nullptr);
  PutUint32(reinterpret_cast<uint8_t*>(s.data()) + chain[1].header.nCurrLoc + 8, DB_NONE);
  PutUint32(reinterpret_cast<uint8_t*>(s.data()) + chain[2].header.nCurrLoc + 12, 5);
  WriteBytes(m_sPath, s);
  CDbEngine look;
  ASSERT_EQ(look.OpenDBForReading(m_sPath), 1);
  saReport.clear();
  EXPECT_EQ(CDbRepair(look).TestAndRepairDatabase(0, saReport), 0);
  bool bOrphan = false;
  for (const auto& sLine : saReport)
    bOrphan = bOrphan || sLine.find(StrFormat("Record header at file location %u not found",
                                              chain[2].header.nCurrLoc)) == 0;
  std::string sAll;
  for (const auto& sLine : saReport) sAll += sLine + "\n";
  EXPECT_TRUE(bOrphan) << sAll;
}

TEST_F(HardeningTest, TheLastCloseClearsEveryLockOfALargeFile) {
  MakeFile(3000, 20);
  {
    CDbEngine db;
    Open(db, 1);
    for (uint32_t k = 7; k <= 3000; k += 499)
      ASSERT_EQ(db.DoRecordLock(db.GetItemFileLoc(TABLE_PERSON, k, 0, 0)), 1);
    ASSERT_EQ(db.LockTable(TABLE_LOG), 1);
    ASSERT_EQ(db.LockDatabase("hold"), 1);
    // Closed without unlocking, as a copy that ends in the middle of an edit.
    db.RefreshState().ForgetDatabaseLock();
    db.SetUsersOnLine(2);
    db.CloseDB();
  }
  int nLocked = 0;
  for (const stRawRecord& r : WalkRawChain(ReadFileBytes(m_sPath), nullptr))
    nLocked += r.header.cStatus == STATUS_LOCKED;
  EXPECT_EQ(nLocked, 6);
  {
    CDbEngine db;
    Open(db, 3);
    db.CloseDB();
  }
  const std::string s = ReadFileBytes(m_sPath);
  std::vector<std::string> faults;
  const std::vector<stRawRecord> chain = WalkRawChain(s, &faults);
  EXPECT_TRUE(faults.empty());
  EXPECT_EQ(chain.size(), 3000u);
  for (const stRawRecord& r : chain) {
    EXPECT_EQ(r.header.cStatus, STATUS_USED);
    EXPECT_EQ(r.header.nLockOwner, 0);
  }
  for (uint32_t n = LOC_LOCKALLTABLES_FLAG; n < LOC_LOCK_AREA_END; ++n) ASSERT_EQ(s[n], 0) << n;
  EXPECT_EQ(RawUint32(s, LOC_CLOSED_OK), 1u);
}

}  // namespace
