// The test and the repair beside other handles and copies of the file: reads
// that wait for a held range, reads that fail, the repair refused while
// another copy has the file open, the database lock while repairing, and the
// record store's reuse of the blocks the repair judged.

#include "RepairFixture.h"
#include "engine/CDbEngine.h"
#include "engine/CDbRepair.h"
#include "engine/CSharedFile.h"

#include <cstring>
#include "support/StringUtil.h"

namespace {

class RepairSharing : public RepairFixture {
 protected:
  // True when a wait box for the range at nLoc has been shown since the last call.
  bool NewWaitFor(uint32_t nLoc) {
    const std::string sPrefix = StrFormat("Record at %u (file handle", nLoc);
    size_t n = 0;
    for (const auto& s : m_ui.Shown())
      if (s.sKind == "waitbox" && s.sText.rfind(sPrefix, 0) == 0) ++n;
    const bool bNew = n > m_nWaitsSeen;
    m_nWaitsSeen = n;
    return bNew;
  }
  size_t m_nWaitsSeen = 0;
};

// Another copy holds a header for a moment: the walk waits and goes on, and
// nothing is reported.
TEST_F(RepairSharing, ReadOfAHeldHeaderWaitsAndCompletes) {
  BuildStandard();
  WriteFile();
  CSharedFile other;
  ASSERT_TRUE(other.OpenExisting(m_sPath));
  ASSERT_EQ(other.Hold(Loc(3), DB_HEADER_LEN), IO_OK);
  m_ui.SetEventHook([&] {
    if (NewWaitFor(Loc(3))) other.Release(Loc(3), DB_HEADER_LEN);
  });
  const stRunResult t = TestFile(m_sPath);
  m_ui.SetEventHook(nullptr);
  EXPECT_EQ(t.nResult, 1) << t.Text();
  EXPECT_EQ(other.HoldCount(), 0u);
}

// The range stays held and the user gives up the wait: the chain is not cut
// there and nothing at all is written, also not the faults found before it.
TEST_F(RepairSharing, ReadThatFailsInsideTheFileWritesNothing) {
  BuildStandard();
  Header(1).nPrevLoc = 4444;  // a fault the repair would mend
  WriteFile();
  const std::string sBefore = FileBytes(m_sPath);
  CSharedFile other;
  ASSERT_TRUE(other.OpenExisting(m_sPath));
  ASSERT_EQ(other.Hold(Loc(3), DB_HEADER_LEN), IO_OK);
  m_ui.SetEventHook([&] {
    if (!NewWaitFor(Loc(3))) return;
    m_ui.QueueAbortPress(1);
    m_ui.QueueAnswer(IDYES);  // "Are you sure you want to abort operation?"
  });
  CDbEngine engine;
  engine.m_nUserNumber = 1;
  ASSERT_EQ(engine.OpenDB(m_sPath, false), eOpenResult::Opened);
  std::vector<std::string> saReport;
  CDbRepair repair(engine);
  EXPECT_EQ(repair.TestAndRepairDatabase(1, saReport), 0);
  m_ui.SetEventHook(nullptr);
  other.Release(Loc(3), DB_HEADER_LEN);
  EXPECT_TRUE(repair.ReadFailed());
  EXPECT_FALSE(repair.WroteChanges());
  EXPECT_EQ(saReport.back(),
            StrFormat("Could not read the file at location %u; the test stopped and nothing was "
                      "changed.",
                      Loc(3)));
  engine.CloseDB();
  EXPECT_EQ(FileBytes(m_sPath), sBefore);
}

TEST_F(RepairSharing, RepairIsRefusedWhileAnotherCopyHasTheFileOpen) {
  BuildStandard();
  Header(2).nPrevLoc = 4444;
  WriteFile();
  const std::string sFault =
      StrFormat("Record at %u has invalid pointer 4444 to previous record at %u.", Loc(2), Loc(1));
  const char* const kOthers =
      "Other copies have this database open: repair needs the others to close the file.";
  CDbEngine other;
  ASSERT_EQ(other.OpenDB(m_sPath, false), eOpenResult::Opened);
  const std::string sBefore = FileBytes(m_sPath);

  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.saReport, (std::vector<std::string>{kTestHead, kOthers, "", sFault}));
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_TRUE(r.bRefused);
  EXPECT_FALSE(r.bWrote);
  EXPECT_EQ(r.saReport, (std::vector<std::string>{kTestHead, kOthers, "", sFault}));
  EXPECT_EQ(FileBytes(m_sPath), sBefore);

  other.CloseDB();
  const stRunResult r2 = RepairFile(m_sPath);
  EXPECT_FALSE(r2.bRefused);
  EXPECT_TRUE(r2.Has(StrFormat(" Pointer to previous record set to %u.", Loc(1)))) << r2.Text();
  ExpectClean();
}

// The repair holds the database lock while it asks and writes, and gives it
// back at the end.
TEST_F(RepairSharing, RepairRunsUnderTheDatabaseLock) {
  BuildStandard();
  WriteFile();
  const uint32_t c = Loc(1) + DB_HEADER_LEN + 110;  // an orphan behind record 1's data
  stDataHeader h;
  h.nCurrLoc = c;
  h.nBlkLen = h.nDataLen = 20;
  h.nTable = 6;
  h.nKey = 7;
  h.nUser = 1;
  h.cStatus = '+';
  PatchHeader(m_sPath, c, h);
  int nLockByte = -1;
  m_ui.SetEventHook(nullptr);
  m_ui.QueueAnswer(IDYES);
  CDbEngine engine;
  engine.m_nUserNumber = 3;
  ASSERT_EQ(engine.OpenDB(m_sPath, false), eOpenResult::Opened);
  CDbRepair repair(engine);
  std::vector<std::string> saReport;
  // The question is asked while the lock is held: look at the byte then.
  m_ui.SetEventHook([&] { nLockByte = uint8_t(FileBytes(m_sPath)[LOC_LOCKALLTABLES_FLAG]); });
  repair.TestAndRepairDatabase(1, saReport);
  m_ui.SetEventHook(nullptr);
  EXPECT_TRUE(repair.WroteChanges());
  EXPECT_EQ(nLockByte, 3);
  EXPECT_EQ(uint8_t(FileBytes(m_sPath)[LOC_LOCKALLTABLES_FLAG]), 0);
  EXPECT_EQ(engine.DbLockDepth(), 0);
  // The header list was rebuilt from the repaired file.
  ASSERT_EQ(engine.m_caDataHeaders.size(), 7u);
  EXPECT_EQ(engine.m_caDataHeaders[2].nCurrLoc, c);
  engine.CloseDB();
}

// A free block that reaches into the next header is reused only within the
// space before that header; a block the repair kept as deleted data ("#")
// is never reused.
TEST_F(RepairSharing, BlocksTheRepairJudgedAreReusedSafely) {
  BuildStandard();
  Header(3).nBlkLen = 120;  // free, 50 bytes before record 4's header
  Header(2).nBlkLen = Header(2).nDataLen = 90;  // data do not fit the 70 bytes
  WriteFile();
  const stDataHeader h4 = HeaderAt(m_sPath, Loc(4));
  const stDataHeader h3 = HeaderAt(m_sPath, Loc(3));
  {
    CDbEngine engine;
    engine.m_nUserNumber = 1;
    ASSERT_EQ(engine.OpenDB(m_sPath, false), eOpenResult::Opened);
    ASSERT_NE(engine.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
    std::memset(engine.m_cBuffer, 'n', 100);
    const uint32_t nBig = engine.WriteRecord(100, 6, 50, 0, 0);
    EXPECT_NE(nBig, Loc(3));
    EXPECT_NE(nBig, DB_NONE);
    EXPECT_EQ(HeaderAt(m_sPath, Loc(4)), h4);
    engine.CloseDB();
  }
  // The repair keeps record 2 as deleted data and cuts the free block back.
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_TRUE(r.Has(" Record marked as deleted status #.")) << r.Text();
  EXPECT_TRUE(r.Has(" Block size set to 50.")) << r.Text();
  EXPECT_EQ(HeaderAt(m_sPath, Loc(3)).nBlkLen, 50);
  {
    CDbEngine engine;
    engine.m_nUserNumber = 1;
    ASSERT_EQ(engine.OpenDB(m_sPath, false), eOpenResult::Opened);
    ASSERT_NE(engine.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
    std::memset(engine.m_cBuffer, 'm', 60);
    const uint32_t nLoc = engine.WriteRecord(60, 6, 51, 0, 0);
    EXPECT_NE(nLoc, Loc(2));
    EXPECT_NE(nLoc, Loc(3));
    std::memset(engine.m_cBuffer, 'k', 40);
    EXPECT_EQ(engine.WriteRecord(40, 6, 52, 0, 0), Loc(3));
    engine.CloseDB();
  }
  EXPECT_EQ(HeaderAt(m_sPath, Loc(4)), h4);
  EXPECT_EQ(HeaderAt(m_sPath, Loc(2)).cStatus, '#');
  EXPECT_EQ(h3.cStatus, '-');
  ExpectClean();
}

}  // namespace
