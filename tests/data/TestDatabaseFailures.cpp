// Loads that fail, files left unclosed or locked, and files that other
// writers changed: what the user is asked and what is left in the file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "DbTestFiles.h"
#include "RawPayload.h"
#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "support/FileUtil.h"

namespace {

struct stHostAddress {
  stHostAddress() { setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1); }
} g_hostAddress;

std::vector<uint8_t> EncodedPerson(uint32_t nCode, uint32_t nSeq) {
  CPerson p;
  p.m_nCode = nCode;
  p.m_nSequence = nSeq;
  p.m_sLastName = "Person " + std::to_string(nCode);
  p.m_saComments = {"a comment"};
  std::vector<uint8_t> buf(DB_BUFFER_SIZE);
  stRecordBuffer b(buf.data(), DB_MAX_BLOCK);
  buf.resize(p.LoadBufferPerson(b));
  return buf;
}

std::string NewDatabase(const CScratchFolder& dir) {
  const std::string sName = dir.File("db");
  CTestUi ui;
  CDatabase db;
  EXPECT_EQ(db.OpenDatabase(sName, 0), 1);
  db.CloseDatabase();
  return sName;
}

// 50 persons; the one with code 50 (the last in display order) has a comment
// count that runs past its record.
std::string FiftyPersonsOneBroken(const CScratchFolder& dir) {
  const std::string sName = NewDatabase(dir);
  CRawWriter w(sName + ".dbm");
  for (uint32_t n = 1; n <= 50; ++n) {
    std::vector<uint8_t> bytes = EncodedPerson(n, n - 1);
    if (n == 50) {
      // the comment array count sits 4 + 4 + 4 bytes before the end
      PutUint32(bytes.data() + bytes.size() - 4 - 4 - (4 + 10) - 4, 0x7FFFFFFF);
    }
    EXPECT_NE(w.Write(TABLE_PERSON, n, bytes), DB_NONE);
  }
  return sName;
}

std::string LoadQuestion(const std::string& sPath, uint32_t nKey) {
  for (const auto& h : ChainOf(sPath))
    if (h.nTable == TABLE_PERSON && h.nKey == nKey)
      return "Error loading Person table, key " + std::to_string(nKey) + ", file location " +
             std::to_string(h.nCurrLoc) + "\nDo you want to try to continue?";
  return "";
}

const char* kNotClosed =
    "Data file was not closed properly on last access.\nDo you want to run the database "
    "integrity tests?";

}  // namespace

TEST(DatabaseFailures, AFailedLoadLeavesTheFileAsItWasAndAYesLoadsTheRest) {
  CScratchFolder dir;
  const std::string sName = FiftyPersonsOneBroken(dir);
  const std::string sPath = sName + ".dbm";
  const size_t nRecords = ChainOf(sPath).size();
  {
    CTestUi ui;
    CDatabase db;
    ui.QueueAnswer(IDNO);  // continue loading?
    ui.QueueAnswer(IDNO);  // initialize a new database?
    EXPECT_EQ(db.OpenDatabase(sName, 0), 0);
    EXPECT_TRUE(ui.SawText(LoadQuestion(sPath, 50)));
    EXPECT_TRUE(ui.SawText("Database file could not be opened.\n" + sPath));
    EXPECT_FALSE(db.IsDatabaseOpen());
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(db.m_caPersonIndex.empty());  // nothing left behind in memory
  }
  EXPECT_EQ(ChainOf(sPath).size(), nRecords);
  EXPECT_EQ(CountLive(sPath, TABLE_PERSON), 50);
  EXPECT_EQ(ByteAt(sPath, LOC_LOCKALLTABLES_FLAG), 0);
  EXPECT_EQ(U32At(sPath, LOC_CLOSED_OK), 0u);  // not marked closed properly

  CTestUi ui;
  CDatabase db;
  ui.QueueAnswer(IDYES);  // continue loading
  ui.QueueAnswer(IDNO);   // the file was not closed properly: no test now
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(ui.SawText(kNotClosed));
  EXPECT_EQ(db.m_caPersonIndex.size(), 49u);
  EXPECT_EQ(db.LocateIndex(TABLE_PERSON, 50), DB_NONE);
  EXPECT_EQ(CountLive(sPath, TABLE_PERSON), 50);
  EXPECT_EQ(CountLive(sPath, TABLE_FONT), 12);
  EXPECT_EQ(ChainOf(sPath).size(), nRecords);  // nothing duplicated or added
  db.CloseDatabase();
  EXPECT_EQ(U32At(sPath, LOC_CLOSED_OK), 1u);
}

TEST(DatabaseFailures, ReinitializingKeepsTheOldFileAndIsRefusedWhileAnotherCopyHasIt) {
  CScratchFolder dir;
  const std::string sName = FiftyPersonsOneBroken(dir);
  const std::string sPath = sName + ".dbm";
  const std::vector<uint8_t> old = FileBytes(sPath);
  {
    CFileHolder other(sPath);
    ASSERT_TRUE(other.Holding());
    CTestUi ui;
    CDatabase db;
    ui.QueueAnswer(IDNO);   // continue loading?
    ui.QueueAnswer(IDYES);  // initialize a new database: refused
    EXPECT_EQ(db.OpenDatabase(sName, 0), 0);
    EXPECT_EQ(ByteAt(sPath, LOC_LOCKALLTABLES_FLAG), 0);
    EXPECT_FALSE(FileExists(sName + ".BK1"));
    EXPECT_EQ(CountLive(sPath, TABLE_PERSON), 50);
    bool bTold = false;
    for (const auto& s : ui.Messages()) bTold = bTold || s.find("in use by another copy") != std::string::npos;
    EXPECT_TRUE(bTold);
  }
  // Alone, a Yes keeps the old file as .BK1 and starts a new one.
  std::filesystem::copy_file(sPath, sName + ".BK1");  // the first number is taken
  CTestUi ui;
  CDatabase db;
  ui.QueueAnswer(IDNO);   // continue loading?
  ui.QueueAnswer(IDYES);  // initialize a new database
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(db.m_caPersonIndex.empty());
  EXPECT_EQ(CountLive(sPath, TABLE_PERSON), 0);
  EXPECT_EQ(CountLive(sPath, TABLE_FONT), 12);
  ASSERT_TRUE(FileExists(sName + ".BK2"));
  EXPECT_EQ(CountLive(sName + ".BK2", TABLE_PERSON), 50);
  EXPECT_EQ(FileBytes(sName + ".BK2").size(), old.size());
}

TEST(DatabaseFailures, AFileNotClosedProperlyOffersTheIntegrityTest) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  PokeBytes(sPath, LOC_CLOSED_OK, {0, 0, 0, 0});
  {
    CTestUi ui;
    CDatabase db;
    ui.QueueAnswer(IDYES);
    ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
    EXPECT_TRUE(ui.SawText(kNotClosed));
    EXPECT_EQ(ui.PendingAnswers(), 0u);
  }
  // Closed properly by the last close: no question.
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_FALSE(ui.SawText(kNotClosed));
}

TEST(DatabaseFailures, LocksLeftBehindAreClearedOnlyWhenThisCopyIsAlone) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  const stDataHeader font = ChainOf(sPath)[3];
  auto leaveLocks = [&] {
    PokeBytes(sPath, LOC_LOCKALLTABLES_FLAG + TABLE_PERSON, {7});
    PokeBytes(sPath, font.nCurrLoc + 33, {STATUS_LOCKED, 7});
  };
  leaveLocks();
  {
    CFileHolder other(sPath);
    ASSERT_TRUE(other.Holding());
    CTestUi ui;
    CDatabase db;
    ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
    EXPECT_EQ(ByteAt(sPath, LOC_LOCKALLTABLES_FLAG + TABLE_PERSON), 7);
    EXPECT_EQ(ByteAt(sPath, font.nCurrLoc + 33), STATUS_LOCKED);
    db.CloseDatabase();
    EXPECT_EQ(U32At(sPath, LOC_CLOSED_OK), 0u);  // the other copy still has it open
  }
  CTestUi ui;
  CDatabase db;
  ui.QueueAnswer(IDNO);  // not closed properly (the other copy never closed)
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_EQ(ByteAt(sPath, LOC_LOCKALLTABLES_FLAG + TABLE_PERSON), 0);
  EXPECT_EQ(ByteAt(sPath, font.nCurrLoc + 33), STATUS_USED);
  EXPECT_EQ(ByteAt(sPath, font.nCurrLoc + 34), 0);
}

TEST(DatabaseFailures, SettingsFromAForeignWriterAreBroughtIntoShape) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  {
    CRawWriter w(sPath);
    CRawPayload params;
    params.Zeros(256).U32(500).U32(99).U32(0).U32(75).U32(14).U32(0).U32(121).Zeros(740);
    EXPECT_NE(w.Write(TABLE_PARAMETERS, 1, params.Bytes()), DB_NONE);
    CRawPayload f4;  // key 4 stored as code 40, a face without NUL, size 0, NaN scale
    f4.FontBlock(40, std::string(32, 'Z'), 0, std::numeric_limits<float>::quiet_NaN(), 0, 1, 0, 0, 0, 0, 0);
    f4.F64Array({-2.0});
    EXPECT_NE(w.Write(TABLE_FONT, 4, f4.Bytes()), DB_NONE);
    CRawPayload f40;
    f40.FontBlock(40, "Arial", 90, 1.0f, 0, 0, 0, 0, 0, 0, 0).F64Array({});
    EXPECT_NE(w.Write(TABLE_FONT, 40, f40.Bytes()), DB_NONE);
    CRawPayload l7, l2;
    l7.U32(7).F32(1).F32(1).F32(1).U32(1).U32(0).FontBlock(0, "Arial", 100, 1.0f, 0, 0, 0, 0, 0, 1, 0).U32(0);
    l2.U32(2).F32(1.5f).F32(1).F32(1).U32(3).U32(1).FontBlock(0, "Arial", 100, 1.0f, 0, 0, 0, 0, 0, 1, 0).U32(0);
    EXPECT_NE(w.Write(TABLE_PAGELAYOUT, 7, l7.Bytes()), DB_NONE);
    EXPECT_NE(w.Write(TABLE_PAGELAYOUT, 2, l2.Bytes()), DB_NONE);
  }
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(ui.Messages().empty()) << ui.Messages().front();
  const stVarData& v = db.GetVarData();
  EXPECT_EQ(v.m_nAlarmTestSeconds, 1);   // 500 is out of range
  EXPECT_EQ(v.m_nBackupFiles, 10);
  EXPECT_EQ(v.m_nStartHour, 8);          // 0 is below the range
  EXPECT_EQ(v.m_nStartMinute, 0);
  EXPECT_EQ(v.m_nMinutesPerIncrement, 60);
  EXPECT_EQ(v.m_nAlarmWindow, 60);
  ASSERT_EQ(db.FormatCount(), 12u);
  ASSERT_EQ(db.PageLayoutCount(), 4u);
  const stFormatRecord* f = db.GetFormat(4);
  EXPECT_EQ(f->m_nCode, 4u);
  EXPECT_EQ(f->m_sFaceName, std::string(32, 'Z'));
  EXPECT_EQ(f->m_nSize, 90u);
  EXPECT_EQ(f->m_fHeightScale, 1.0f);
  EXPECT_EQ(f->m_daTabStops, (std::vector<double>{4.75, 6.0}));
  for (uint32_t n = 0; n < 12; ++n) EXPECT_EQ(db.GetFormat(n)->m_nCode, n);
  for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(db.GetPageLayout(n)->m_nCode, n);
  // Layout 2 loads without margins or page numbers, whatever it stores.
  EXPECT_EQ(db.GetPageLayout(2)->m_fLeftMargin, 0.0f);
  EXPECT_EQ(db.GetPageLayout(2)->m_nPageFlag, 0u);
  EXPECT_EQ(db.GetPageLayout(2)->m_nLandscape, 1u);
}

TEST(DatabaseFailures, AShortParametersBlockFailsThatRecordOnly) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  {
    CRawWriter w(sPath);
    CRawPayload params;
    params.Zeros(256).U32(3).U32(2).U32(9);  // 268 bytes of 1024
    w.Delete(TABLE_PARAMETERS, 1, 1);
    EXPECT_NE(w.Write(TABLE_PARAMETERS, 1, params.Bytes()), DB_NONE);
  }
  uint32_t nLoc = 0;
  for (const auto& h : ChainOf(sPath))
    if (h.nTable == TABLE_PARAMETERS && IsLiveStatus(h.cStatus)) nLoc = h.nCurrLoc;
  CTestUi ui;
  CDatabase db;
  ui.QueueAnswer(IDYES);
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(ui.SawText("Error loading Parameters table, key 1, file location " +
                         std::to_string(nLoc) + "\nDo you want to try to continue?"));
  EXPECT_EQ(db.GetVarData(), stVarData());
}

TEST(DatabaseFailures, MissingFormatsAndLayoutsAreWrittenAndNothingIsDeleted) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  {
    CRawWriter w(sPath);
    EXPECT_EQ(w.Delete(TABLE_FONT, 6, 1), 1);
    EXPECT_EQ(w.Delete(TABLE_PAGELAYOUT, 3, 0), 1);
    CRawPayload f40;  // a surplus format with a key no format has
    f40.FontBlock(40, "Arial", 90, 1.0f, 0, 0, 0, 0, 0, 0, 0).F64Array({});
    EXPECT_NE(w.Write(TABLE_FONT, 40, f40.Bytes()), DB_NONE);
  }
  EXPECT_EQ(CountLive(sPath, TABLE_FONT), 12);  // eleven formats and the surplus one
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  EXPECT_TRUE(ui.SawText("Number of fonts has changed. Saving default fonts"));
  EXPECT_TRUE(ui.SawText("Number of page layouts has changed. Saving default layouts"));
  EXPECT_EQ(CountLive(sPath, TABLE_FONT), 13);  // the missing one added, the surplus kept
  EXPECT_EQ(CountLive(sPath, TABLE_PAGELAYOUT), 4);
  EXPECT_EQ(*db.GetFormat(6), CFormatRecord::DefaultFormat(6));
  db.CloseDatabase();
  CDatabase again;
  ASSERT_EQ(again.OpenDatabase(sName, 0), 1);
  EXPECT_EQ(ui.Messages().size(), 2u);  // no second round of messages
}

TEST(DatabaseFailures, WrongSequencesAndDuplicateCodesAreRepairedWhenAlone) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  uint32_t nDupLoc = 0;
  {
    CRawWriter w(sPath);
    w.Write(TABLE_PERSON, 1, EncodedPerson(1, 0));
    w.Write(TABLE_PERSON, 2, EncodedPerson(2, 2));
    w.Write(TABLE_PERSON, 3, EncodedPerson(3, 3));
    // A second record of person 3, as a broken writer could leave it.
    std::vector<uint8_t> dup = EncodedPerson(3, 4);
    std::copy(dup.begin(), dup.end(), w.Engine().m_cBuffer);
    nDupLoc = w.Engine().WriteRecord(uint32_t(dup.size()), TABLE_MAILLIST, 3, 0, 0);
  }
  // Relabel the mail-list record as a person record with key 3.
  PokeBytes(sPath, nDupLoc + 20, {TABLE_PERSON});
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  ASSERT_EQ(db.m_caPersonIndex.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(db.m_caPersonIndex[i].m_nSequence, i);
    EXPECT_EQ(CDatabase::ItemSequence(TABLE_PERSON, *db.m_caPersonIndex[i].m_pItem), i);
    EXPECT_EQ(U32At(sPath, db.m_caPersonIndex[i].m_nFileLoc + DB_HEADER_LEN), i);
  }
  EXPECT_EQ(db.m_saLoadReport.size(), 3u);
  bool bSeqLine = false, bDupLine = false;
  for (const auto& s : db.m_saLoadReport) {
    bSeqLine = bSeqLine || s.find("Invalid sequence index in table Person table, key 2") == 0;
    bDupLine = bDupLine || s.find("Duplicate key in table Person table, key 3") == 0;
  }
  EXPECT_TRUE(bSeqLine);
  EXPECT_TRUE(bDupLine);
  EXPECT_EQ(ByteAt(sPath, nDupLoc + 33), STATUS_MARKDEL);  // kept for the integrity test
  EXPECT_EQ(ui.Messages().size(), 1u);                    // the report
}

TEST(DatabaseFailures, ACutChainIsReportedAndTheIntegrityTestOffered) {
  CScratchFolder dir;
  const std::string sName = NewDatabase(dir);
  const std::string sPath = sName + ".dbm";
  const auto chain = ChainOf(sPath);
  // The tenth record's link points back into the file.
  std::vector<uint8_t> back(4);
  PutUint32(back.data(), 1024);
  PokeBytes(sPath, chain[9].nCurrLoc + 8, back);
  CTestUi ui;
  CDatabase db;
  ui.QueueAnswer(IDNO);  // no integrity test now
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  bool bAsked = false;
  for (const auto& s : ui.Messages())
    bAsked = bAsked || (s.find("EOF Error loading") == 0 &&
                        s.find("Do you want to run the database integrity tests?") != std::string::npos);
  EXPECT_TRUE(bAsked);
  EXPECT_EQ(U32At(sPath, chain[9].nCurrLoc + 8), DB_NONE);  // cut there
  // The formats behind the cut are not written again over the records the
  // integrity test can link back; memory holds the defaults meanwhile.
  EXPECT_FALSE(ui.SawText("Number of fonts has changed. Saving default fonts"));
  const auto after = ChainOf(sPath);
  EXPECT_EQ(after.size(), 10u);
  const auto raw = FileBytes(sPath);
  EXPECT_EQ(UnpackHeader(raw.data() + chain[10].nCurrLoc), chain[10]);
  EXPECT_EQ(db.FormatCount(), 12u);
  EXPECT_EQ(*db.GetFormat(11), CFormatRecord::DefaultFormat(11));
}

TEST(DatabaseFailures, NoNameAndUnreadableFilesFail) {
  CScratchFolder dir;
  CTestUi ui;
  CDatabase db;
  EXPECT_EQ(db.OpenDatabase("", 0), 0);
  const std::string sName = dir.File("empty");
  { std::ofstream f(sName + ".dbm"); }  // exists, but empty
  ui.QueueAnswer(IDNO);                 // no new database
  EXPECT_EQ(db.OpenDatabase(sName, 0), 0);
  EXPECT_TRUE(ui.SawText("Database file could not be opened.\n" + sName + ".dbm"));
}
