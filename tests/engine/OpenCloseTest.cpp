// Opening and closing database files, creating them, and bad files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "support/StringUtil.h"

namespace {

void WriteBytes(const std::string& sPath, const std::string& s) {
  FILE* f = fopen(sPath.c_str(), "wb");
  fwrite(s.data(), 1, s.size(), f);
  fclose(f);
}

class OpenCloseTest : public ::testing::Test {
 protected:
  void SetUp() override { m_sPath = m_folder.File("oc.dbm"); }

  // A closed database with three person records.
  std::vector<uint32_t> MakeThreeRecords() {
    CDbEngine db;
    EXPECT_EQ(db.OpenDB(m_sPath, true), eOpenResult::Opened);
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    std::vector<uint32_t> naLoc;
    for (uint32_t k = 1; k <= 3; ++k) naLoc.push_back(WritePayload(db, TABLE_PERSON, k, MakePayload(6, k, 0, 50)));
    db.CloseDB();
    return naLoc;
  }

  CScratchFolder m_folder;
  CTestUi m_ui;
  std::string m_sPath;
};

TEST_F(OpenCloseTest, CloseStatusAcrossOpens) {
  MakeThreeRecords();
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), 4), 1u);
  CDbEngine a;
  EXPECT_EQ(a.OpenDB(m_sPath, false), eOpenResult::Opened);
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), 4), 0u);
  CDbEngine b;
  EXPECT_EQ(b.OpenDB(m_sPath, false),
            eOpenResult::NotClosedProperly);  // looks like a copy that did not close
  // Closing while another user is on line leaves the status and the locks.
  b.m_nUserNumber = 2;
  ASSERT_EQ(b.LockTable(TABLE_LOG), 1);
  b.SetUsersOnLine(2);
  b.CloseDB();
  std::string s = ReadFileBytes(m_sPath);
  EXPECT_EQ(RawUint32(s, 4), 0u);
  EXPECT_EQ(s[265], 2);
  // The last copy, alone, clears the locks and marks the file closed.
  a.CloseDB();
  s = ReadFileBytes(m_sPath);
  EXPECT_EQ(RawUint32(s, 4), 1u);
  EXPECT_EQ(s[265], 0);
  a.CloseDB();  // closing twice does nothing
  // Asked to continue while open: No keeps the open file.
  ASSERT_EQ(a.OpenDB(m_sPath, false), eOpenResult::Opened);
  m_ui.QueueAnswer(IDNO);
  EXPECT_EQ(a.OpenDB(m_sPath, false), eOpenResult::Failed);
  EXPECT_TRUE(m_ui.SawText("Database appears to be open. Continue?"));
  EXPECT_TRUE(a.IsOpen());
}

TEST_F(OpenCloseTest, CreatingReplacesOnlyAFileNobodyUses) {
  MakeThreeRecords();
  CDbEngine a;
  ASSERT_EQ(a.OpenDB(m_sPath, false), eOpenResult::Opened);
  const std::string sBefore = ReadFileBytes(m_sPath);
  CDbEngine b;
  EXPECT_EQ(b.OpenDB(m_sPath, true), eOpenResult::Failed);
  EXPECT_TRUE(m_ui.SawText(StrFormat("Can't write to file %s.", m_sPath.c_str())));
  EXPECT_EQ(ReadFileBytes(m_sPath), sBefore);
  a.CloseDB();
  // Alone: the old file is started afresh, in place.
  EXPECT_EQ(b.OpenDB(m_sPath, true), eOpenResult::Opened);
  EXPECT_TRUE(b.IsNewFile());
  const std::string s = ReadFileBytes(m_sPath);
  ASSERT_EQ(s.size(), DB_HEADER_AREA_SIZE);
  EXPECT_EQ(RawUint32(s, 0), 0u);
  EXPECT_EQ(RawUint32(s, 4), 0u);
  EXPECT_EQ(std::string(s.data() + 8), "oc");
  b.MakeFileHeaderArray(nullptr, 1, nullptr);
  EXPECT_TRUE(b.m_caDataHeaders.empty());
}

TEST_F(OpenCloseTest, TwoCopiesCreatingAtOnceMakeOneFile) {
  CSignalPipe tried, go;
  auto fnCreate = [&] {
    CScriptedUi ui;
    CScopedUi scope(ui);
    CDbEngine db;
    const bool bOpened = db.OpenDB(m_sPath, true) == eOpenResult::Opened;
    tried.Send(bOpened ? 'y' : 'n');
    go.Wait(60);  // keep the file open until both have tried
    return 0;
  };
  const pid_t p1 = StartChild(fnCreate);
  const pid_t p2 = StartChild(fnCreate);
  char c1 = 0, c2 = 0;
  ASSERT_TRUE(tried.Wait(60, &c1));
  ASSERT_TRUE(tried.Wait(60, &c2));
  go.Send();
  go.Send();
  EXPECT_EQ(WaitChild(p1), 0);
  EXPECT_EQ(WaitChild(p2), 0);
  EXPECT_EQ((c1 == 'y') + (c2 == 'y'), 1);
  EXPECT_EQ(ReadFileBytes(m_sPath).size(), DB_HEADER_AREA_SIZE);
}

TEST_F(OpenCloseTest, MissingAndEmptyFilesFailAndStayUntouched) {
  CDbEngine db;
  EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Failed);
  EXPECT_TRUE(m_ui.SawText(StrFormat("Can't read from file %s.", m_sPath.c_str())));
  EXPECT_FALSE(std::ifstream(m_sPath).good());  // not created
  WriteBytes(m_sPath, "");
  EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Failed);
  EXPECT_EQ(ReadFileBytes(m_sPath), "");
  EXPECT_FALSE(db.IsOpen());
}

TEST_F(OpenCloseTest, LaterFormatVersionAsksFirst) {
  MakeThreeRecords();
  std::string s = ReadFileBytes(m_sPath);
  PutUint32(reinterpret_cast<uint8_t*>(s.data()), 1);
  WriteBytes(m_sPath, s);
  CDbEngine db;
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Failed);
  EXPECT_TRUE(m_ui.SawText(
      "Database (format version 1) was created by later version of KELVO.\nthan this program "
      "version (format version 0). This can cause errors in reading the data\nfrom the file and "
      "could cause loss of data. Unless you have some compelling reason, you\nshould abort and try "
      "again with a later version of the program. Would you like to abort?"));
  EXPECT_EQ(ReadFileBytes(m_sPath), s);
  m_ui.QueueAnswer(IDNO);
  EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Opened);
}

TEST_F(OpenCloseTest, BadFilesReadOnlyNeverWrittenAndNeverCrash) {
  const std::vector<uint32_t> naLoc = MakeThreeRecords();
  const std::string sGood = ReadFileBytes(m_sPath);
  struct stCase {
    std::string sName;
    std::string sBytes;
    size_t nRecords;
  };
  std::string sLoop = sGood;  // the last link points at the first record
  PutUint32(reinterpret_cast<uint8_t*>(sLoop.data()) + naLoc[2] + 8, naLoc[0]);
  std::string sSelf = sGood;  // a record linking to itself
  PutUint32(reinterpret_cast<uint8_t*>(sSelf.data()) + naLoc[1] + 8, naLoc[1]);
  std::string sFar = sGood;
  PutUint32(reinterpret_cast<uint8_t*>(sFar.data()) + naLoc[0] + 8, 0xFFFFFFF0);
  const std::vector<stCase> cases = {
      {"header area only", sGood.substr(0, 1024), 0},
      {"short header area", sGood.substr(0, 300), 0},
      {"cut in the second header", sGood.substr(0, naLoc[1] + 20), 1},
      {"cut in the first data block", sGood.substr(0, naLoc[0] + 40), 1},
      {"link back to the start", sLoop, 3},
      {"link to itself", sSelf, 2},
      {"link far past the end", sFar, 1},
      {"garbage after the area", sGood.substr(0, 1024) + std::string(500, '\xEE'), 1},
  };
  for (const stCase& c : cases) {
    SCOPED_TRACE(c.sName);
    WriteBytes(m_sPath, c.sBytes);
    CDbEngine db;
    ASSERT_EQ(db.OpenDBForReading(m_sPath), 1);
    EXPECT_NE(db.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
    EXPECT_EQ(db.m_caDataHeaders.size(), c.nRecords);
    for (const stDataHeader& h : db.m_caDataHeaders) db.ReadRecord(h.nCurrLoc, 1);
    db.CloseDB();
    EXPECT_EQ(ReadFileBytes(m_sPath), c.sBytes);
  }
  // Opened for writing, a broken chain is cut at the bad link once.
  WriteBytes(m_sPath, sGood.substr(0, naLoc[1] + 20));
  CDbEngine db;
  ASSERT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Opened);
  db.MakeFileHeaderArray(nullptr, 1, nullptr);
  EXPECT_EQ(db.m_caDataHeaders.size(), 1u);
  EXPECT_EQ(db.m_caDataHeaders[0].nNextLoc, DB_NONE);
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), naLoc[0] + 8), DB_NONE);
  // And the next record appended goes after the intact one.
  const uint32_t n = WritePayload(db, TABLE_LOG, 1, "x");
  EXPECT_EQ(n, naLoc[1]);
  std::vector<std::string> faults;
  EXPECT_EQ(WalkRawChain(ReadFileBytes(m_sPath), &faults).size(), 2u);
  EXPECT_TRUE(faults.empty());
}

// A file that is not a Kelvo database (here 4000 "x") taken for one: its
// version is read as a later one. Aborting leaves the file as it was; going
// on in spite of the question writes nothing past the header area, where a
// record chain would begin: no end marker "repaired", no lock cleared.
TEST_F(OpenCloseTest, AForeignFileIsNeverWrittenWhereItsRecordsWouldBe) {
  const std::string sForeign(4000, 'x');
  WriteBytes(m_sPath, sForeign);
  CDbEngine db;
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(db.OpenDB(m_sPath, false), eOpenResult::Failed);
  EXPECT_EQ(ReadFileBytes(m_sPath), sForeign);
  m_ui.QueueAnswer(IDNO);
  if (db.OpenDB(m_sPath, false) != eOpenResult::Failed) {
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    db.CloseDB();
  }
  const std::string sAfter = ReadFileBytes(m_sPath);
  ASSERT_EQ(sAfter.size(), sForeign.size());
  EXPECT_EQ(sAfter.substr(DB_FIRST_RECORD_LOC), sForeign.substr(DB_FIRST_RECORD_LOC));
}

}  // namespace
