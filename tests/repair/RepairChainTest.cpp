// Damage to the chain of record headers: every check of the walk, what the
// test reports, what the repair writes, and that nothing intact is lost.

#include "RepairFixture.h"
#include "support/StringUtil.h"

namespace {

using RepairChain = RepairFixture;

TEST_F(RepairChain, IntactFileReportsNothingAndStaysByteForByte) {
  BuildStandard();
  WriteFile();
  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.nResult, 1);
  EXPECT_EQ(t.saReport, (std::vector<std::string>{kTestHead, "", kNoProblems}));
  EXPECT_FALSE(t.bWrote);
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.nResult, 1);
  EXPECT_EQ(r.saReport, (std::vector<std::string>{kRepairHead1, kRepairHead2, "", kNoProblems}));
  EXPECT_FALSE(r.bWrote);
  EXPECT_EQ(FileBytes(m_sPath), m_sOriginal);
}

// A NextLoc bent into the data of the next record, right onto a "UU" pair of
// that data: the walk must not take data for a header, and the repair must
// not write a header there.
TEST_F(RepairChain, NextLinkBentIntoDataIsRelinkedWithoutTouchingTheData) {
  BuildStandard();
  const uint32_t nBent = Loc(2) + DB_HEADER_LEN + 9;  // "record 2 UU U..."
  Header(1).nNextLoc = nBent;
  WriteFile();
  ASSERT_EQ(FileBytes(m_sPath).substr(nBent, 2), "UU");
  const std::string sFault = StrFormat(
      "Record at %u has invalid pointer %u to following record at %u.", Loc(1), nBent, Loc(2));

  const std::string sDamaged = FileBytes(m_sPath);
  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.nResult, 0);
  EXPECT_EQ(t.saReport, (std::vector<std::string>{kTestHead, "", sFault}));
  EXPECT_EQ(FileBytes(m_sPath), sDamaged) << "the test changed the file";

  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.nResult, 0);
  EXPECT_EQ(r.saReport,
            (std::vector<std::string>{kRepairHead1, kRepairHead2, "", sFault,
                                      StrFormat(" Pointer to next record set to %u.", Loc(2))}));
  EXPECT_EQ(FileBytes(m_sPath), m_sOriginal);
  ExpectClean();
}

TEST_F(RepairChain, WrongLinksCurrLocAndEndsAreRepairedToTheOriginal) {
  BuildStandard();
  const uint32_t nEnd = uint32_t(m_sOriginal.size());
  Header(0).nPrevLoc = 1024;
  Header(2).nPrevLoc = 5000;
  Header(3).nCurrLoc = 12345;
  Header(4).cDelims[0] = 'X';
  Header(5).nNextLoc = nEnd + 100;
  WriteFile();
  const std::vector<std::string> saFaults = {
      "First record pointer to previous record wrong (1024).",
      StrFormat("Last record pointer to following record wrong (%u).", nEnd + 100),
      StrFormat("Record at %u has invalid pointer 5000 to previous record at %u.", Loc(2), Loc(1)),
      StrFormat("Record at %u has invalid current location 12345.", Loc(3)),
      StrFormat("Record at %u has invalid delimiters.", Loc(4))};
  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.nResult, 0);
  std::vector<std::string> saExpected = {kTestHead, ""};
  saExpected.insert(saExpected.end(), saFaults.begin(), saFaults.end());
  EXPECT_EQ(t.saReport, saExpected);

  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.saReport, (std::vector<std::string>{
                            kRepairHead1, kRepairHead2, "", saFaults[0],
                            " First record pointer to previous record repaired (1024).",
                            saFaults[1],
                            StrFormat(" Last record pointer to following record repaired (%u).",
                                      nEnd + 100),
                            saFaults[2], StrFormat(" Pointer to previous record set to %u.", Loc(1)),
                            saFaults[3], StrFormat(" Current location set to %u.", Loc(3)),
                            saFaults[4], " Delimiters set to UU."}))
      << r.Text();
  EXPECT_EQ(FileBytes(m_sPath), m_sOriginal);
  ExpectClean();
}

// Links that point backwards, past the end, or end the chain too early (an
// end-of-file repair after a failed read once did that): the walk follows the
// block ends, which the back links confirm.
TEST_F(RepairChain, EndOfFileMarkersInTheMiddleAreJoinedAgain) {
  BuildStandard();
  Header(1).nNextLoc = 1024;
  Header(2).nNextLoc = DB_NONE;
  Header(3).nNextLoc = 0x7FFFFFFF;
  WriteFile();
  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.saReport,
            (std::vector<std::string>{
                kTestHead, "",
                StrFormat("Record at %u has invalid pointer 1024 to following record at %u.",
                          Loc(1), Loc(2)),
                StrFormat("Record at %u has invalid pointer 4294967295 to following record at %u.",
                          Loc(2), Loc(3)),
                StrFormat("Record at %u has invalid pointer 2147483647 to following record at %u.",
                          Loc(3), Loc(4))}));
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.nResult, 0);
  EXPECT_TRUE(r.bWrote);
  EXPECT_EQ(FileBytes(m_sPath), m_sOriginal);
  ExpectClean();
}

TEST_F(RepairChain, BadStatusTableAndUserAreKeptNotFreed) {
  BuildStandard();
  Header(0).cStatus = 'x';
  Header(1).nTable = 12;
  Header(2).nKey = (1u << 24) + 5;  // a key of user 2 under the user byte 1
  Header(4).nUser = 0;
  Header(5).nKey = (199u << 24) + 1;  // user 200 is a valid user
  Header(5).nUser = 200;
  m_expected[5].nKey = Header(5).nKey;
  WriteFile();
  const std::vector<std::string> saFaults = {
      StrFormat("Record at %u has invalid status x.", Loc(0)),
      StrFormat("Record at %u has invalid table index 12", Loc(1)),
      StrFormat("Record at %u, table 6, created by user 1 but key 16777221 out of range "
                "0-16777216.",
                Loc(2)),
      StrFormat("Record at %u has invalid user number 0.", Loc(4))};
  const stRunResult t = TestFile(m_sPath);
  std::vector<std::string> saExpected = {kTestHead, ""};
  saExpected.insert(saExpected.end(), saFaults.begin(), saFaults.end());
  EXPECT_EQ(t.saReport, saExpected);

  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.saReport, (std::vector<std::string>{
                            kRepairHead1, kRepairHead2, "", saFaults[0],
                            " Record marked as deleted status #.", saFaults[1],
                            " Record marked as deleted status #.", saFaults[2],
                            " User code reset to 2.", saFaults[3], " User code reset to 1."}))
      << r.Text();
  ExpectClean();
  // The records with a broken status or table are kept with their data.
  m_expected[0].cStatus = '#';
  m_expected[1].cStatus = '#';
  m_expected[1].nTable = 12;
  m_expected[2].nKey = (1u << 24) + 5;
  ExpectRecordsIntact({0, 1, 2, 3, 4, 5});
  EXPECT_EQ(HeaderAt(m_sPath, Loc(2)).nUser, 2);
  EXPECT_EQ(HeaderAt(m_sPath, Loc(5)).nUser, 200);
}

// A block that reaches into the next header keeps its record when the data
// fit before it (the block is cut back), and keeps it as deleted data with
// its stated length when they do not.
TEST_F(RepairChain, OverlappingBlocksAreCutBackOrKept) {
  BuildStandard();
  Header(1).nBlkLen = 230;  // data 100 fit the 200 bytes before record 2
  Header(2).nBlkLen = 90;   // data 90 do not fit the 70 bytes before record 3
  Header(2).nDataLen = 90;
  WriteFile();
  const std::vector<std::string> saFaults = {
      StrFormat("Record at %u has invalid indicated block size 230 > 200 available.", Loc(1)),
      StrFormat("Record at %u has invalid indicated block size 90 > 70 available.", Loc(2))};
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.saReport,
            (std::vector<std::string>{kRepairHead1, kRepairHead2, "", saFaults[0],
                                      " Block size set to 200.", saFaults[1],
                                      " Record marked as deleted status #."}))
      << r.Text();
  ExpectClean();
  const stDataHeader h2 = HeaderAt(m_sPath, Loc(2));
  EXPECT_EQ(h2.cStatus, '#');
  EXPECT_EQ(h2.nBlkLen, 90);
  EXPECT_EQ(h2.nDataLen, 90);
  EXPECT_EQ(HeaderAt(m_sPath, Loc(1)).cStatus, '+');
  ExpectRecordsIntact({0, 1, 3, 4, 5});
}

TEST_F(RepairChain, DataLongerThanBlock) {
  BuildStandard();
  Header(0).nBlkLen = 30;   // data 40 still fit the 40 bytes before record 1
  Header(5).nDataLen = 30;  // the last record's 30 bytes do not fit the 20 left in the file
  WriteFile();
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.saReport,
            (std::vector<std::string>{
                kRepairHead1, kRepairHead2, "",
                StrFormat("Record at %u has data block larger (40) than storage block (30).",
                          Loc(0)),
                StrFormat("Record at %u has invalid indicated block size 30 < 40 available.",
                          Loc(0)),
                " Block size set to 40.",
                StrFormat("Record at %u has data block larger (30) than storage block (20).",
                          Loc(5)),
                " Record marked as deleted status #."}))
      << r.Text();
  ExpectClean();
  ExpectRecordsIntact({0, 1, 2, 3, 4});
  EXPECT_EQ(HeaderAt(m_sPath, Loc(5)).cStatus, '#');
}

TEST_F(RepairChain, TruncatedInsideTheLastRecord) {
  BuildStandard();
  WriteFile();
  TruncateFile(m_sPath, Loc(5) + DB_HEADER_LEN + 10);
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.saReport,
            (std::vector<std::string>{
                kRepairHead1, kRepairHead2, "",
                StrFormat("Record at %u has invalid indicated block size 20 > 10 available.",
                          Loc(5)),
                " Record marked as deleted status #."}))
      << r.Text();
  ExpectClean();
  ExpectRecordsIntact({0, 1, 2, 3, 4});
}

TEST_F(RepairChain, TruncatedInsideAHeaderLeavesBytesPastTheRecords) {
  BuildStandard();
  WriteFile();
  TruncateFile(m_sPath, Loc(5) + 20);
  const stRunResult t = TestFile(m_sPath);
  const std::string sFault =
      StrFormat("Last record pointer to following record wrong (%u).", Loc(5));
  EXPECT_EQ(t.saReport, (std::vector<std::string>{kTestHead, "", sFault, kDataPastEnd}));
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.saReport,
            (std::vector<std::string>{
                kRepairHead1, kRepairHead2, "", sFault,
                StrFormat(" Last record pointer to following record repaired (%u).", Loc(5)),
                kDataPastEnd}));
  // The stray bytes are reported on every test but are not a fault.
  const stRunResult t2 = TestFile(m_sPath);
  EXPECT_EQ(t2.nResult, 1);
  EXPECT_EQ(t2.saReport, (std::vector<std::string>{kTestHead, "", kDataPastEnd, kNoProblems}));
  ExpectRecordsIntact({0, 1, 2, 3, 4});
}

TEST_F(RepairChain, FirstHeaderDestroyedIsRebuiltAndTheRestRestored) {
  BuildStandard();
  WriteFile();
  PatchFile(m_sPath, DB_FIRST_RECORD_LOC, std::string(DB_HEADER_LEN, '\0'));
  for (int i = 0; i < 5; ++i) m_ui.QueueAnswer(IDYES);
  const stRunResult r = RepairFile(m_sPath);
  ASSERT_GE(r.saReport.size(), 5u);
  EXPECT_EQ(r.saReport[3], "First record header at 1024 is invalid.");
  EXPECT_EQ(r.saReport[4], " First record header rebuilt as deleted data, block size 40.");
  EXPECT_EQ(m_ui.PendingAnswers(), 0u);
  ExpectClean();
  ExpectRecordsIntact({1, 2, 3, 4, 5});
  const stDataHeader h = HeaderAt(m_sPath, DB_FIRST_RECORD_LOC);
  EXPECT_EQ(h.cStatus, '#');
  EXPECT_EQ(h.nNextLoc, Loc(1));
  // The rebuilt record keeps the old record's bytes behind it.
  EXPECT_EQ(FileBytes(m_sPath).substr(Loc(0) + DB_HEADER_LEN, 40), m_expected[0].sData);
}

TEST_F(RepairChain, BytesAfterTheLastRecordAreReportedNotCounted) {
  BuildStandard();
  m_builder.AppendRaw(std::string(100, 'U'));  // also "UU" up to the last byte of the file
  WriteFile();
  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.nResult, 1);
  EXPECT_EQ(t.saReport, (std::vector<std::string>{kTestHead, "", kDataPastEnd, kNoProblems}));
}

TEST_F(RepairChain, EmptyAndHeaderOnlyFilesAreSound) {
  const std::string sHeaderOnly = m_folder.File("empty.dbm");
  CDbFileBuilder().Write(sHeaderOnly);
  const stRunResult t = TestFile(sHeaderOnly);
  EXPECT_EQ(t.nResult, 1);
  EXPECT_EQ(t.saReport, (std::vector<std::string>{kTestHead, "", kNoProblems}));
}

}  // namespace
