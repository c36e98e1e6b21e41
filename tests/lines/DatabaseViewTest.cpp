// The record dump view without a window: its lines on a hand-built file (the
// same lines `kelvotool dump` and the dump command write), its status, lock
// and byte edits on a real database, and its refusal to change a file another
// copy has open or that was opened only to look at it.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "engine/CRecordDump.h"
#include "engine/CRecordDumpEdit.h"
#include "engine/EngineTestUtil.h"
#include "items/ItemTestCopies.h"
#include "network/SessionProcess.h"
#include "repair/CDbFileBuilder.h"
#include "support/StringUtil.h"
#include "views/CDatabaseView.h"

namespace {

constexpr const char* kNotAlone =
    "Other copies have this database open: the record dump changes the file only while no other "
    "copy has it open.";
constexpr const char* kInspectOnly = "This file is open for inspection only: nothing was changed.";

std::vector<std::string> LinesOf(CDatabaseView& view) {
  std::vector<std::string> sa;
  char cStatus = 0;
  for (int i = 0; i < view.MaxLines(); ++i) sa.push_back(view.GetLine(i, HINT_PAINT, cStatus).m_sText);
  return sa;
}

std::unique_ptr<CDbEngine> OpenToLook(const std::string& sPath) {
  auto p = std::make_unique<CDbEngine>();
  EXPECT_EQ(p->OpenDBForReading(sPath), 1);
  return p;
}

// Three records, then (bFull) one of 3000 data bytes and one whose data run
// past the end of the file.
CDbFileBuilder HandBuilt(bool bFull) {
  CDbFileBuilder b;
  b.Add(TABLE_PERSON, 1, std::string("ab\x01", 3) + "c");
  b.Add(TABLE_PERSON, 2, "xy", 10, STATUS_MARKDEL);
  b.Add(12, 7, "z");
  b.Header(2).nSubTable = 3;
  if (bFull) {
    b.Add(TABLE_SCHEDULE, 5, TestRecordData(5, 3000));
    b.Add(TABLE_LOG, 9, "tail");
    b.Header(4).nDataLen = 200;
  }
  return b;
}

TEST(DatabaseView, HandBuiltFileLines) {
  CScratchFolder folder;
  CTestUi ui;
  const std::string sThree = folder.File("three.dbm"), sFull = folder.File("full.dbm");
  ASSERT_TRUE(HandBuilt(false).Write(sThree));
  const CDbFileBuilder full = HandBuilt(true);
  ASSERT_TRUE(full.Write(sFull));
  const std::vector<std::string> saThree = {
      "[1024.USED, size 4, used 4, next 1064] [Person table, key 1][User code 1]ab[1]c",
      "[1064.MARKDEL, size 10, used 2, next 1110] [Person table, key 2][User code 1]xy",
      "[1110.USED, size 1, used 1, LAST] [Table 12/3, key 7/3][User code 1]z"};

  CDatabaseView view;
  view.EnterView(OpenToLook(sThree));
  EXPECT_TRUE(view.ShowsOtherFile());
  EXPECT_EQ(LinesOf(view), saThree);

  view.EnterView(OpenToLook(sFull));
  std::vector<std::string> saFull = saThree;
  saFull[2] = "[1110.USED, size 1, used 1, next 1147] [Table 12/3, key 7/3][User code 1]z";
  saFull.push_back("[1147.USED, size 3000, used 3000, next 4183] [Schedule table, key 5][User code 1]" +
                   TestRecordData(5, 3000).substr(0, 1024));
  saFull.push_back(
      "[4183.USED, size 4, used 200, LAST] [Log table, key 9][User code 1]Error in reading from file "
      "location 4219, table 9, key 9");
  EXPECT_EQ(LinesOf(view), saFull);
  EXPECT_EQ(full.Loc(3), 1147u);
  EXPECT_EQ(full.Loc(4), 4183u);
  // Painting again asks nothing: the read error is in the line.
  EXPECT_EQ(LinesOf(view), saFull);
  EXPECT_TRUE(ui.Messages().empty());

  // The dump command and kelvotool write the same lines.
  ui.QueueInput(folder.File("dump.txt"));
  view.DumpToFile();
  std::string sExpected;
  for (const std::string& s : saFull) sExpected += s + "\n";
  EXPECT_EQ(FileBytes(folder.File("dump.txt")), sExpected);
  std::string sOut;
  EXPECT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " dump " + sFull, &sOut), 0);
  EXPECT_EQ(sOut, sExpected);

  // Show: the header field by field.
  view.SetHighlight(2);
  view.ShowHeader();
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0],
            " Delims 85 85, Next 1147, Prev 1064, BlkLen 1, DataLen 1, Table main 12, sub 3, key 7, sub 0, "
            "Usr 1, status + ");

  // A header that can no longer be read (the file shrank under the view).
  TruncateFile(sFull, 4190);
  char cStatus = 0;
  EXPECT_EQ(view.GetLine(4, HINT_PAINT, cStatus).m_sText,
            "Error in reading from file location 4183, table 0, key -1");
  view.ExitView();
  EXPECT_FALSE(view.ShowsOtherFile());
}

TEST(DatabaseView, AnotherFileIsOnlyInspected) {
  // A file another copy left open, with a record and the database locked:
  // looking at it changes none of that, and every change is refused.
  CScratchFolder folder;
  CTestUi ui;
  const std::string sPath = folder.File("left.dbm");
  CDbFileBuilder b = HandBuilt(false);
  b.Header(0).cStatus = STATUS_LOCKED;
  b.Header(0).nLockOwner = 4;
  ASSERT_TRUE(b.Write(sPath));
  PatchFile(sPath, LOC_CLOSED_OK, std::string(4, '\0'));
  PatchFile(sPath, LOC_LOCKALLTABLES_FLAG, "\x04");
  const std::string sBefore = FileBytes(sPath);

  CDatabaseView view;
  view.EnterView(OpenToLook(sPath));
  EXPECT_EQ(LinesOf(view)[0].substr(0, 15), "[1024.LOCKED, s");
  view.SetHighlight(1);
  view.UndeleteRecord();
  view.UnlockAll();
  view.SetRecordDialog([&](CRecordDumpEdit& record) {
    ui.QueueInput("45");
    EXPECT_TRUE(record.EditHeaderByte(33));
    return true;
  });
  view.EditRecord();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>(3, kInspectOnly));
  view.ExitView();
  EXPECT_EQ(FileBytes(sPath), sBefore);
}

TEST(DatabaseView, ABlockThatCannotBeReadLeavesOnlyTheHeaderToWrite) {
  CScratchFolder folder;
  CTestUi ui;
  const std::string sPath = folder.File("short.dbm");
  CDbFileBuilder b = HandBuilt(false);
  b.Header(2).nBlkLen = 500;  // the block would run past the end of the file
  ASSERT_TRUE(b.Write(sPath));
  const std::string sBefore = FileBytes(sPath);
  CDbEngine engine;
  ASSERT_NE(engine.OpenDB(sPath, false), eOpenResult::Failed);
  const std::string sOpened = FileBytes(sPath);  // the close status is now 0
  CRecordDumpEdit record(engine, b.Loc(2));
  ASSERT_TRUE(record.Open());
  EXPECT_FALSE(record.DataRead());
  EXPECT_TRUE(record.DataEntries().empty());
  EXPECT_FALSE(record.EditDataByte(0));
  ui.QueueInput("9");
  ASSERT_TRUE(record.EditHeaderByte(35));
  ASSERT_EQ(record.Write(), 1);
  std::string sExpected = sOpened;
  sExpected[b.Loc(2) + 35] = '\x09';
  EXPECT_EQ(FileBytes(sPath), sExpected);
  EXPECT_EQ(sExpected.size(), sBefore.size());
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"No item selected"});
  engine.CloseDB();
}

// Notices the view sends, on top of the copy's own link.
class CRecordingLink : public CLockManagerLink {
 public:
  explicit CRecordingLink(CLockManagerLink& inner) : m_inner(inner) {}
  bool HasLanServer() override { return m_inner.HasLanServer(); }
  bool IsLockManagerOnLine() override { return m_inner.IsLockManagerOnLine(); }
  unsigned CountOnLine() override { return m_inner.CountOnLine(); }
  bool IsLockGrantedToOther(uint8_t t, uint32_t k) override { return m_inner.IsLockGrantedToOther(t, k); }
  void ClearReceivedGrants() override { m_inner.ClearReceivedGrants(); }
  bool TakeGrantFromLockManager() override { return m_inner.TakeGrantFromLockManager(); }
  void SendLockRequest(uint8_t t, uint32_t k) override { m_inner.SendLockRequest(t, k); }
  void SendUnlockNotice(uint8_t t, uint32_t k) override { m_inner.SendUnlockNotice(t, k); }
  void SendDataModified(uint8_t t, uint32_t k, uint32_t nLoc, const std::vector<uint32_t>& na) override {
    if (t == TABLE_ALL) ++m_nWholeDatabase;
    m_inner.SendDataModified(t, k, nLoc, na);
  }
  CLockManagerLink& Inner() { return m_inner; }
  int m_nWholeDatabase = 0;

 private:
  CLockManagerLink& m_inner;
};

class DatabaseViewOnOpenDb : public ::testing::Test {
 protected:
  DatabaseViewOnOpenDb() : m_db(m_group.Open(2).Db()), m_link(*m_db.LockManagerLink()), m_view(&m_db) {
    m_nAnn = AddPerson(m_db, m_ui, "Ann", "A");
    m_nBob = AddPerson(m_db, m_ui, "Bob", "B");
    m_db.SetLockManagerLink(&m_link);
    m_view.EnterView();
  }
  ~DatabaseViewOnOpenDb() override { m_db.SetLockManagerLink(&m_link.Inner()); }
  // The line of the person's record.
  int LineOf(uint32_t nCode) {
    for (int i = 0; i < m_view.MaxLines(); ++i) {
      const stDataHeader h = HeaderAt(m_group.FilePath(), m_view.Locations()[size_t(i)]);
      if (h.nTable == TABLE_PERSON && h.nKey == nCode && IsLiveStatus(h.cStatus)) return i;
    }
    return -1;
  }

  CScratchFolder m_folder;
  CTestUi m_ui;
  CCopyGroup m_group{m_folder.File("dump")};
  CTableManager& m_db;
  CRecordingLink m_link;
  CDatabaseView m_view;
  uint32_t m_nAnn = 0, m_nBob = 0;
};

TEST_F(DatabaseViewOnOpenDb, StatusAndLocksChangeTheFileAndReload) {
  // Bob is the last person by sequence, so the reload finds the others in order.
  const int nBob = LineOf(m_nBob);
  ASSERT_GE(nBob, 0);
  EXPECT_EQ(m_view.MaxLines(), int(m_db.m_caDataHeaders.size()));
  const uint32_t nLoc = m_view.Locations()[size_t(nBob)];
  m_view.SetHighlight(nBob);
  m_view.DeleteRecord();
  EXPECT_EQ(HeaderAt(m_group.FilePath(), nLoc).cStatus, STATUS_DELETED);
  EXPECT_EQ(PersonOf(m_db, m_nBob), nullptr);  // the tables were read afresh
  EXPECT_EQ(m_link.m_nWholeDatabase, 1);
  m_view.UndeleteRecord();
  EXPECT_EQ(HeaderAt(m_group.FilePath(), nLoc).cStatus, STATUS_USED);
  ASSERT_NE(PersonOf(m_db, m_nBob), nullptr);

  // A record kept as deleted, made live again.
  ASSERT_EQ(m_db.ChangeStatus(nLoc, STATUS_MARKDEL, 1), 1);
  char cStatus = 0;
  EXPECT_NE(m_view.GetLine(nBob, HINT_PAINT, cStatus).m_sText.find(".MARKDEL"), std::string::npos);
  m_view.UndeleteRecord();
  EXPECT_NE(m_view.GetLine(nBob, HINT_PAINT, cStatus).m_sText.find(StrFormat("[%u.USED", nLoc)),
            std::string::npos);

  // Locks left behind by a copy that ended: every one is cleared.
  const uint32_t nAnnLoc = m_view.Locations()[size_t(LineOf(m_nAnn))];
  stDataHeader h = HeaderAt(m_group.FilePath(), nAnnLoc);
  h.cStatus = STATUS_LOCKED;
  h.nLockOwner = 7;
  PatchHeader(m_group.FilePath(), nAnnLoc, h);
  PatchFile(m_group.FilePath(), LOC_LOCKALLTABLES_FLAG + TABLE_LOG, "\x07");
  m_view.UnlockAll();
  h = HeaderAt(m_group.FilePath(), nAnnLoc);
  EXPECT_EQ(h.cStatus, STATUS_USED);
  EXPECT_EQ(h.nLockOwner, 0);
  EXPECT_EQ(FileBytes(m_group.FilePath())[LOC_LOCKALLTABLES_FLAG + TABLE_LOG], '\0');
  EXPECT_EQ(m_link.m_nWholeDatabase, 4);
  EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_F(DatabaseViewOnOpenDb, ByteEditWritesExactlyTheBytesShown) {
  const int nBob = LineOf(m_nBob);
  ASSERT_GE(nBob, 0);
  const uint32_t nLoc = m_view.Locations()[size_t(nBob)];
  const std::string sBefore = FileBytes(m_group.FilePath());
  std::array<uint8_t, DB_HEADER_LEN> aShownHeader{};
  std::vector<uint8_t> aShownData;
  m_view.SetHighlight(nBob);
  m_view.SetRecordDialog([&](CRecordDumpEdit& record) {
    EXPECT_FALSE(record.EditHeaderByte(-1));
    m_ui.QueueInput("256");
    EXPECT_FALSE(record.EditDataByte(0));
    m_ui.QueueInput("-1");
    EXPECT_FALSE(record.EditHeaderByte(33));
    m_ui.QueueInput("45");
    EXPECT_TRUE(record.EditHeaderByte(33));
    EXPECT_EQ(record.HeaderEntries()[33], "    33[ 45]-");
    EXPECT_EQ(record.HeaderEntries()[20], "    20[  6]");
    aShownHeader = record.HeaderBytes();
    aShownData = record.DataBytes();
    // A refresh while the dialog is open reads every record through the
    // engine's buffer, and more is written into it.
    EXPECT_EQ(m_db.RefreshDatabase(), 1);
    std::memset(m_db.m_cBuffer, 0xAB, DB_BUFFER_SIZE);
    return true;
  });
  m_view.EditRecord();
  EXPECT_EQ(m_ui.Messages(),
            (std::vector<std::string>{"No item selected", "A byte holds a value from 0 to 255.",
                                      "A byte holds a value from 0 to 255."}));
  std::string sExpected = sBefore;
  sExpected[nLoc + 33] = '-';
  const std::string sAfter = FileBytes(m_group.FilePath());
  EXPECT_EQ(sAfter, sExpected);
  EXPECT_EQ(sAfter.substr(nLoc, DB_HEADER_LEN), std::string(aShownHeader.begin(), aShownHeader.end()));
  const stDataHeader h = UnpackHeader(aShownHeader.data());
  ASSERT_EQ(aShownData.size(), h.nBlkLen);
  EXPECT_EQ(sAfter.substr(nLoc + DB_HEADER_LEN, h.nBlkLen),
            std::string(aShownData.begin(), aShownData.end()));
  EXPECT_EQ(PersonOf(m_db, m_nBob), nullptr);  // freed, and memory read afresh

  // Cancel writes nothing.
  m_view.SetHighlight(LineOf(m_nAnn));
  m_view.SetRecordDialog([&](CRecordDumpEdit& record) {
    m_ui.QueueInput("99");
    EXPECT_TRUE(record.EditDataByte(0));
    return false;
  });
  m_view.EditRecord();
  EXPECT_EQ(FileBytes(m_group.FilePath()), sAfter);
}

TEST_F(DatabaseViewOnOpenDb, RefusedWhileAnotherProcessHasTheFileOpen) {
  const int nBob = LineOf(m_nBob);
  ASSERT_GE(nBob, 0);
  m_view.SetHighlight(nBob);
  m_view.SetRecordDialog([&](CRecordDumpEdit& record) {
    m_ui.QueueInput("45");
    return record.EditHeaderByte(33);
  });
  CSignalPipe opened, done;
  const std::string sPath = m_group.FilePath();
  const pid_t nChild = StartChild([&] {
    CDbEngine other;
    if (other.OpenDB(sPath, false) == eOpenResult::Failed) return 1;
    opened.Send();
    done.Wait(60);
    return 0;
  });
  ASSERT_TRUE(opened.Wait());
  const std::string sBefore = FileBytes(sPath);
  m_view.DeleteRecord();
  m_view.UndeleteRecord();
  m_view.UnlockAll();
  m_view.EditRecord();
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>(4, kNotAlone));
  EXPECT_EQ(FileBytes(sPath), sBefore);
  EXPECT_EQ(m_link.m_nWholeDatabase, 0);
  done.Send();
  EXPECT_EQ(WaitChild(nChild), 0);

  // Alone again: the same command goes through.
  m_ui.ClearShown();
  m_view.DeleteRecord();
  EXPECT_TRUE(m_ui.Messages().empty());
  EXPECT_EQ(HeaderAt(sPath, m_view.Locations()[size_t(nBob)]).cStatus, STATUS_DELETED);
}

TEST(DatabaseView, SessionRunsTheViewCommands) {
  // kelvotool session, a copy of its own, edits through the same view.
  CScratchFolder folder;
  CTestUi ui;
  uint32_t nLoc = DB_NONE;
  CCopyGroup group(folder.File("session"));
  {
    CTestCopy& copy = group.Open(2);
    AddPerson(copy.Db(), ui, "Ann", "A");
    const uint32_t nBob = AddPerson(copy.Db(), ui, "Bob", "B");
    nLoc = copy.Db().GetItemFileLoc(TABLE_PERSON, nBob, 0, 0);
    group.Close(copy);
  }
  const std::string sPath = group.FilePath();
  CSessionProcess session(sPath, {"KELVO_HOME=" + folder.Path()}, {"--local"});
  ASSERT_TRUE(session.IsOpen()) << session.OpenReply();
  const std::string sLoc = std::to_string(nLoc);
  std::vector<std::string> saLines;
  EXPECT_EQ(session.Command("record " + sLoc + " byte 33 300", &saLines), "FAIL record");
  EXPECT_EQ(saLines, std::vector<std::string>{"MESSAGE: A byte holds a value from 0 to 255."});
  EXPECT_EQ(session.Command("record " + sLoc + " byte 33 45"), "OK");
  EXPECT_EQ(HeaderAt(sPath, nLoc).cStatus, STATUS_DELETED);
  saLines.clear();
  EXPECT_EQ(session.Command("record " + sLoc + " show", &saLines), "OK");
  ASSERT_EQ(saLines.size(), 1u);
  EXPECT_EQ(saLines[0].find("MESSAGE:  Delims 85 85, Next "), 0u);
  EXPECT_NE(saLines[0].find("status - "), std::string::npos);
  EXPECT_EQ(session.Command("record 5 delete"), "FAIL no record at 5");

  // While this process has the file open too, the session refuses.
  {
    CDbEngine other;
    ASSERT_NE(other.OpenDB(sPath, false), eOpenResult::Failed);
    saLines.clear();
    EXPECT_EQ(session.Command("record " + sLoc + " undelete", &saLines), "FAIL record");
    EXPECT_EQ(saLines, std::vector<std::string>{std::string("MESSAGE: ") + kNotAlone});
    EXPECT_EQ(session.Command("record unlockall"), "FAIL record");
    EXPECT_EQ(HeaderAt(sPath, nLoc).cStatus, STATUS_DELETED);
    other.CloseDB();
  }
  EXPECT_EQ(session.Command("record " + sLoc + " undelete"), "OK");
  EXPECT_EQ(HeaderAt(sPath, nLoc).cStatus, STATUS_USED);
  EXPECT_EQ(session.Command("record unlockall"), "OK");
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
