// kelvotool create, fileinfo and dump on files the engine wrote, as separate processes.

#include <gtest/gtest.h>

#include <sstream>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "support/StringUtil.h"

namespace {

std::string Tool(const std::string& sArgs) { return std::string(KELVOTOOL_PATH) + " " + sArgs; }

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string sLine; std::getline(in, sLine);) v.push_back(sLine);
  return v;
}

TEST(ToolEngineTest, CreateInfoAndDump) {
  CScratchFolder folder;
  CTestUi ui;
  const std::string sPath = folder.File("admin.dbm");
  std::string sOut;
  ASSERT_EQ(RunCommand(Tool("create " + folder.File("admin")), &sOut), 0);
  EXPECT_EQ(sOut, "created " + sPath + "\n");
  EXPECT_EQ(RunCommand(Tool("create " + sPath) + " 2>/dev/null"), 2);  // never over a file

  uint32_t nFreed = 0, nLocked = 0;
  {
    CDbEngine db;
    ASSERT_EQ(db.OpenDB(sPath, false), eOpenResult::Opened);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (uint8_t nUser : {1, 2}) {
      db.m_nUserNumber = nUser;
      for (int i = 0; i < 3; ++i) {
        const uint32_t nKey = db.GetNextKey(TABLE_PERSON);
        WritePayload(db, TABLE_PERSON, nKey, MakePayload(6, nKey, 0, 50));
      }
      WritePayload(db, TABLE_LOG, db.GetNextKey(TABLE_LOG), "log");
    }
    nFreed = db.m_caDataHeaders[1].nCurrLoc;
    db.DeleteRecord(nFreed, 1, 1);
    nLocked = db.LockRecord(TABLE_PERSON, db.m_caDataHeaders[4].nKey);
    ASSERT_NE(nLocked, DB_NONE);
    ASSERT_EQ(db.LockTable(TABLE_SCHEDULE), 1);
    // fileinfo and dump run while this copy has the file open and locked.
    const std::string sBefore = ReadFileBytes(sPath);
    ASSERT_EQ(RunCommand(Tool("fileinfo " + sPath), &sOut), 0);
    const std::vector<std::string> info = Lines(sOut);
    auto fnHas = [&](const std::string& s) {
      return std::find(info.begin(), info.end(), s) != info.end();
    };
    EXPECT_TRUE(fnHas("Format version: 0"));
    EXPECT_TRUE(fnHas("Close status: 0 (open, or not closed properly)"));
    EXPECT_TRUE(fnHas("Root name: admin"));
    EXPECT_TRUE(fnHas("Database lock: 0"));
    EXPECT_TRUE(fnHas("Table lock 8 (Schedule table): 2"));
    EXPECT_TRUE(fnHas("Records: 8"));
    EXPECT_TRUE(fnHas("  table 6 (Person table), user 1: 2 live, 0 locked"));
    EXPECT_TRUE(fnHas("  table 6 (Person table), user 2: 3 live, 1 locked"));
    EXPECT_TRUE(fnHas("  table 9 (Log table), user 2: 1 live, 0 locked"));
    EXPECT_TRUE(fnHas("Free blocks: 1, 50 bytes, largest 50"));
    EXPECT_TRUE(fnHas("Chain: complete")) << sOut;

    // dump: the lines of the record dump view.
    ASSERT_EQ(RunCommand(Tool("dump " + sPath), &sOut), 0);
    const std::vector<std::string> dump = Lines(sOut);
    ASSERT_EQ(dump.size(), 8u);
    const std::string sFirst = "[1024.USED, size 50, used 50, next 1110] [Person table, key 1][User code 1]";
    EXPECT_EQ(dump[0].substr(0, sFirst.size()), sFirst);
    EXPECT_EQ(dump[1].substr(0, dump[1].find(',')), StrFormat("[%u.DELETED", nFreed));
    EXPECT_EQ(dump[4].substr(0, dump[4].find(',')), StrFormat("[%u.LOCKED", nLocked));
    EXPECT_NE(dump[4].find("[User code 2]"), std::string::npos);
    EXPECT_NE(dump[7].find(", LAST] [Log table, key 16777217][User code 2]log"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(sPath), sBefore);  // looking never writes
    db.CloseDB();
  }
  // A broken chain is reported, the file left as it was.
  std::string s = ReadFileBytes(sPath);
  PutUint32(reinterpret_cast<uint8_t*>(s.data()) + 1024 + 8, 5);
  FILE* f = fopen(sPath.c_str(), "wb");
  fwrite(s.data(), 1, s.size(), f);
  fclose(f);
  EXPECT_EQ(RunCommand(Tool("fileinfo " + sPath), &sOut), 1);
  EXPECT_NE(sOut.find("Chain: broken after the record at 1024 (next location 5)"), std::string::npos);
  // The dump still lists every record the walk finds, and names the link.
  EXPECT_EQ(RunCommand(Tool("dump " + sPath) + " 2>&1", &sOut), 1);
  EXPECT_EQ(Lines(sOut).size(), 9u);
  EXPECT_NE(sOut.find("kelvotool: chain broken after the record at 1024 (next location 5)"),
            std::string::npos);
  EXPECT_EQ(ReadFileBytes(sPath), s);
  EXPECT_EQ(RunCommand(Tool("fileinfo " + folder.File("missing.dbm")) + " 2>/dev/null"), 2);
}

}  // namespace
