// Records only the delimiter scan finds: reporting them, restoring them into
// the chain, clearing their delimiters, and the bounds of the scan.

#include "RepairFixture.h"
#include "support/StringUtil.h"

namespace {

class RepairOrphan : public RepairFixture {
 protected:
  // Puts a header (table 6, key nKey, nData bytes of data) at nLoc, as a
  // record that was once linked between record 1 and record 2.
  stDataHeader PlaceOrphan(uint32_t nLoc, uint32_t nKey, size_t nData, uint32_t nBlock) {
    stDataHeader h;
    h.nCurrLoc = nLoc;
    h.nPrevLoc = Loc(1);
    h.nNextLoc = Loc(2);
    h.nBlkLen = uint16_t(nBlock);
    h.nDataLen = uint16_t(nData);
    h.nTable = 6;
    h.nKey = nKey;
    h.nUser = 1;
    h.cStatus = '+';
    m_sOrphanData = TestRecordData(77, nData);
    PatchHeader(m_sPath, nLoc, h);
    PatchFile(m_sPath, nLoc + DB_HEADER_LEN, m_sOrphanData);
    return h;
  }
  // The orphan in the part of record 1's block behind its data.
  uint32_t SlackOrphanLoc() const { return Loc(1) + DB_HEADER_LEN + 110; }

  std::string m_sOrphanData;
};

std::vector<std::string> OrphanLines(uint32_t c, uint32_t nInside, const std::string& sLineB,
                                     const std::string& sHeader, const std::string& sLinks) {
  return {StrFormat("Record header at file location %u not found by normal linked list search "
                    "method. Inside of record at %u",
                    c, nInside),
          sLineB, sHeader, sLinks};
}

TEST_F(RepairOrphan, HeaderBehindTheDataOfABlockIsRestored) {
  BuildStandard();
  WriteFile();
  const uint32_t c = SlackOrphanLoc();
  PlaceOrphan(c, 7, 30, Loc(2) - c - DB_HEADER_LEN);
  const auto saLines = OrphanLines(
      c, Loc(1),
      StrFormat(" Within data storage block ending at %u, but not within data ending at %u",
                Loc(1) + 35 + 200, Loc(1) + 35 + 100),
      " Header data: Table 6(Ok)/0, key 7()/0, Usr 1(Ok), status +(Ok)",
      StrFormat(" NextLoc %u(Ok), PrevLoc %u(Ok), BlkLen 54(Ok), DataLen 30(Ok)", Loc(2),
                Loc(1)));
  const stRunResult t = TestFile(m_sPath);
  EXPECT_EQ(t.nResult, 0);
  std::vector<std::string> saExpected = {kTestHead, ""};
  saExpected.insert(saExpected.end(), saLines.begin(), saLines.end());
  EXPECT_EQ(t.saReport, saExpected);

  m_ui.QueueAnswer(IDYES);
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_TRUE(m_ui.SawText(saLines[0] + "\n" + saLines[1] +
                           "\n Restoring record will not cause duplicate key in Person table\n"
                           "Click Yes to restore record into database\nClick No to remove "
                           "record\nClick Cancel to make no change"));
  EXPECT_EQ(r.saReport.back(), " Record restored to database") << r.Text();
  // The block before it now ends at the restored header, and the record
  // after it links back to it at once.
  EXPECT_EQ(HeaderAt(m_sPath, Loc(1)).nBlkLen, 110);
  EXPECT_EQ(HeaderAt(m_sPath, Loc(1)).nNextLoc, c);
  EXPECT_EQ(HeaderAt(m_sPath, Loc(2)).nPrevLoc, c);
  ExpectClean();
  ExpectRecordsIntact({0, 1, 2, 3, 4, 5});
  const auto loaded = LoadRecords(m_sPath);
  const stLoadedRecord* p = FindRecord(loaded, c);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->sData, m_sOrphanData);
  EXPECT_EQ(loaded.size(), 7u);
}

TEST_F(RepairOrphan, NoClearsOnlyTheTwoDelimiterBytesAndCancelChangesNothing) {
  BuildStandard();
  WriteFile();
  const uint32_t c = SlackOrphanLoc();
  PlaceOrphan(c, 7, 30, Loc(2) - c - DB_HEADER_LEN);
  const std::string sBefore = FileBytes(m_sPath);

  m_ui.QueueAnswer(IDCANCEL);
  const stRunResult rCancel = RepairFile(m_sPath);
  EXPECT_EQ(rCancel.nResult, 0);
  EXPECT_FALSE(rCancel.bWrote);
  EXPECT_EQ(FileBytes(m_sPath), sBefore);

  m_ui.QueueAnswer(IDNO);
  const stRunResult rNo = RepairFile(m_sPath);
  EXPECT_EQ(rNo.saReport.back(), " Record cleared from database");
  std::string sExpected = sBefore;
  sExpected[c] = sExpected[c + 1] = '\0';
  EXPECT_EQ(FileBytes(m_sPath), sExpected);
  ExpectClean();
  ExpectRecordsIntact({0, 1, 2, 3, 4, 5});
}

TEST_F(RepairOrphan, HeaderInsideTheDataIsNeverOffered) {
  BuildStandard();
  WriteFile();
  const uint32_t c = Loc(1) + DB_HEADER_LEN + 20;  // inside record 1's 100 data bytes
  stDataHeader h;
  h.nCurrLoc = c;
  h.nBlkLen = h.nDataLen = 10;
  h.nTable = 6;
  h.nKey = 8;
  h.nUser = 1;
  h.cStatus = '+';
  PatchHeader(m_sPath, c, h);
  m_expected[1].sData.replace(20, DB_HEADER_LEN, PackedHeader(h));
  const std::string sBefore = FileBytes(m_sPath);
  // No answer is queued: a question would fail the test.
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(r.nResult, 0);
  EXPECT_TRUE(r.Has(StrFormat(" Within data record ending at %u", Loc(1) + 35 + 100)))
      << r.Text();
  EXPECT_FALSE(r.bWrote);
  EXPECT_EQ(FileBytes(m_sPath), sBefore);
  ExpectRecordsIntact({0, 1, 2, 3, 4, 5});
}

TEST_F(RepairOrphan, HeaderAfterAStrayUIsFound) {
  BuildStandard();
  WriteFile();
  const uint32_t c = SlackOrphanLoc();
  PlaceOrphan(c, 7, 30, Loc(2) - c - DB_HEADER_LEN);
  PatchFile(m_sPath, c - 1, "U");
  const stRunResult t = TestFile(m_sPath);
  EXPECT_TRUE(t.Has(StrFormat("Record header at file location %u not found by normal linked list "
                              "search method. Inside of record at %u",
                              c, Loc(1))))
      << t.Text();
}

TEST_F(RepairOrphan, DuplicateIsJudgedByTableAndKey) {
  BuildStandard();
  WriteFile();
  const uint32_t c = SlackOrphanLoc();
  PlaceOrphan(c, 3, 30, Loc(2) - c - DB_HEADER_LEN);  // key 3 of table 6 is record 2
  m_ui.QueueAnswer(IDCANCEL);
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_TRUE(r.Has(" Header data: Table 6(Ok)/0, key 3( duplicate)/0, Usr 1(Ok), status +(Ok)"))
      << r.Text();
  ASSERT_FALSE(m_ui.Messages().empty());
  EXPECT_NE(m_ui.Messages().back().find(
                " Restoring record will cause duplicate key in Person table, not recommended!"),
            std::string::npos);

  // Key 4 lives in table 8 only: no duplicate in table 6.
  PlaceOrphan(c, 4, 30, Loc(2) - c - DB_HEADER_LEN);
  m_ui.QueueAnswer(IDCANCEL);
  const stRunResult r2 = RepairFile(m_sPath);
  EXPECT_TRUE(r2.Has(" Header data: Table 6(Ok)/0, key 4()/0, Usr 1(Ok), status +(Ok)"))
      << r2.Text();
}

// A record far behind the last one (70 KB of other bytes in between, with
// "UU" pairs among them and at the very end of the file).
TEST_F(RepairOrphan, RecordFarPastTheEndIsRestoredWithinTheBlockLimit) {
  BuildStandard();
  std::string sJunk;
  for (int i = 0; i < 70000; ++i) sJunk += char(i % 7 < 2 ? 'U' : 'a' + i % 13);
  m_builder.AppendRaw(sJunk);
  WriteFile();
  const uint32_t c = uint32_t(m_sOriginal.size() + sJunk.size());
  stDataHeader h;
  h.nCurrLoc = c;
  h.nPrevLoc = 4242;
  h.nBlkLen = 50;
  h.nDataLen = 50;
  h.nTable = 8;
  h.nKey = 9;
  h.nUser = 1;
  h.cStatus = '+';
  const std::string sData = TestRecordData(9, 50);
  PatchFile(m_sPath, c, PackedHeader(h) + sData + "UU");

  const stRunResult t = TestFile(m_sPath);
  EXPECT_TRUE(t.Has(kDataPastEnd)) << t.Text();
  EXPECT_TRUE(t.Has(StrFormat(" Following data storage block ending at %u", Loc(5) + 35 + 20)));

  m_ui.QueueAnswer(IDYES);
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_TRUE(r.Has(" Record restored to database")) << r.Text();
  const stDataHeader last = HeaderAt(m_sPath, Loc(5));
  EXPECT_EQ(last.nNextLoc, c);
  EXPECT_EQ(last.nBlkLen, 65535);  // the gap is wider than a block can be
  EXPECT_EQ(HeaderAt(m_sPath, c).nPrevLoc, Loc(5));
  const stRunResult t2 = TestFile(m_sPath);
  EXPECT_EQ(t2.nResult, 1) << t2.Text();
  ExpectRecordsIntact({0, 1, 2, 3, 4, 5});
  const auto loaded = LoadRecords(m_sPath);
  const stLoadedRecord* p = FindRecord(loaded, c);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->sData, sData);
}

// The chain ends at record 2 (its link and its block length are both
// broken): the records behind it are found by the scan and restored one by
// one, which gives back the original file.
TEST_F(RepairOrphan, CutChainIsRebuiltFromTheScan) {
  BuildStandard();
  Header(2).nNextLoc = 0x40000000;
  Header(2).nBlkLen = 10;
  WriteFile();
  for (int i = 0; i < 3; ++i) m_ui.QueueAnswer(IDYES);
  const stRunResult r = RepairFile(m_sPath);
  EXPECT_EQ(m_ui.PendingAnswers(), 0u);
  EXPECT_EQ(FileBytes(m_sPath), m_sOriginal) << r.Text();
  ExpectClean();
}

}  // namespace
