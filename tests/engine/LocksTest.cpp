// Record, table and database locks kept in the file, between two copies.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "support/StringUtil.h"

namespace {

// A lock manager link that records what the engine sends.
class CRecordingLink : public CLockManagerLink {
 public:
  bool HasLanServer() override { return true; }
  bool IsLockManagerOnLine() override { return m_bOnLine; }
  unsigned CountOnLine() override { return m_nUsers; }
  bool IsLockGrantedToOther(uint8_t, uint32_t) override { return false; }
  void ClearReceivedGrants() override { m_nGrants = 0; }
  bool TakeGrantFromLockManager() override {
    const bool b = m_nGrants > 0;
    m_nGrants = 0;
    return b;
  }
  void SendLockRequest(uint8_t nTable, uint32_t nKey) override {
    m_saSent.push_back(StrFormat("L %u %u", unsigned(nTable), nKey));
    if (m_bGrantAtOnce) ++m_nGrants;
  }
  void SendUnlockNotice(uint8_t nTable, uint32_t nKey) override {
    m_saSent.push_back(StrFormat("u %u %u", unsigned(nTable), nKey));
  }
  void SendDataModified(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc,
                        const std::vector<uint32_t>& naChanged) override {
    m_saSent.push_back(StrFormat("M %u %u %u %zu", unsigned(nTable), nKey, nHeaderLoc, naChanged.size()));
  }
  bool m_bOnLine = true;
  bool m_bGrantAtOnce = true;
  unsigned m_nUsers = 2;
  int m_nGrants = 0;
  std::vector<std::string> m_saSent;
};

class LocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sPath = m_folder.File("locks.dbm");
    ASSERT_EQ(m_a.OpenDB(m_sPath, true), eOpenResult::Opened);
    m_a.m_nUserNumber = 1;
    m_a.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (uint32_t k = 1; k <= 3; ++k) m_naLoc[k] = WritePayload(m_a, TABLE_PERSON, k, MakePayload(6, k, 0, 40));
    ASSERT_EQ(m_b.OpenDB(m_sPath, false),
              eOpenResult::NotClosedProperly);  // a has it open: not closed properly
    m_b.m_nUserNumber = 2;
    m_b.MakeFileHeaderArray(nullptr, 1, nullptr);
    m_a.SetUsersOnLine(2);
    m_b.SetUsersOnLine(2);
  }
  uint8_t Byte(uint32_t nLoc) { return uint8_t(ReadFileBytes(m_sPath)[nLoc]); }

  CScratchFolder m_folder;
  CTestUi m_ui;
  std::string m_sPath;
  CDbEngine m_a, m_b;
  uint32_t m_naLoc[4] = {};
};

TEST_F(LocksTest, RecordLocksAndTheirAccessDeniedTexts) {
  EXPECT_EQ(m_a.LockRecord(TABLE_PERSON, 2), m_naLoc[2]);
  EXPECT_EQ(Byte(m_naLoc[2] + 33), '*');
  EXPECT_EQ(Byte(m_naLoc[2] + 34), 1);
  EXPECT_TRUE(m_ui.Shown().empty());  // no wait box without a lock manager conflict
  EXPECT_EQ(m_b.LockRecord(TABLE_PERSON, 2), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Access denied. Record 2 in Person table locked by another user."));
  // Locking again by the holder is allowed.
  EXPECT_EQ(m_a.LockRecord(TABLE_PERSON, 2), m_naLoc[2]);
  EXPECT_EQ(m_b.IsRecordLocked(LOCK_BY_OTHER, m_naLoc[2]), 1);
  EXPECT_EQ(m_a.IsRecordLocked(LOCK_BY_OTHER, m_naLoc[2]), 0);
  EXPECT_EQ(m_a.IsRecordLocked(LOCK_BY_ME, m_naLoc[2]), 1);
  uint32_t nLoc = 0;
  EXPECT_EQ(m_b.IsAnyRecordLocked(LOCK_BY_OTHER, TABLE_PERSON, nLoc), 1);
  EXPECT_EQ(nLoc, m_naLoc[2]);
  // Another user's unlock changes nothing.
  EXPECT_EQ(m_b.UnlockRecord(m_naLoc[2]), 0);
  EXPECT_EQ(Byte(m_naLoc[2] + 33), '*');
  EXPECT_EQ(m_a.UnlockRecord(m_naLoc[2]), 1);
  EXPECT_EQ(Byte(m_naLoc[2] + 33), '+');
  EXPECT_EQ(Byte(m_naLoc[2] + 34), 0);
  EXPECT_EQ(m_b.LockRecord(TABLE_PERSON, 99), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Item 99 from Person table not found."));
  EXPECT_EQ(m_b.IsRecordLocked(LOCK_BY_ANYONE, TABLE_PERSON, 99, nLoc), 1);
  EXPECT_TRUE(m_ui.SawText("Record not found for table 6, key 99"));
}

TEST_F(LocksTest, TableAndDatabaseLocksDenyOthers) {
  ASSERT_EQ(m_a.LockTable(TABLE_PERSON), 1);
  EXPECT_EQ(Byte(262), 1);  // 256 + table 6
  EXPECT_EQ(m_b.LockRecord(TABLE_PERSON, 1), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Access denied. Table Person table locked by another user."));
  m_b.UnlockTable(TABLE_PERSON);  // not b's lock
  EXPECT_EQ(Byte(262), 1);
  m_a.UnlockTable(TABLE_PERSON);
  EXPECT_EQ(Byte(262), 0);

  ASSERT_EQ(m_a.LockDatabase("test"), 1);
  EXPECT_EQ(Byte(256), 1);
  EXPECT_EQ(m_b.LockRecord(TABLE_PERSON, 1), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Access denied. database locked by another user."));
  // b waits in a wait box for the database and gives up.
  m_ui.QueueAbortPress(3);
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(m_b.LockDatabase("test"), 0);
  EXPECT_TRUE(m_ui.SawText(
      "Database locked by User code 1. Waiting to Lock database, no tests. Press ESC to abort "
      "wait.\nIf you abort, any changes you just made will not be saved and changes by others "
      "will\nnot be posted to your computer's memory. If you abort you should do a manual "
      "refresh\n(press Ctrl-R) so that your memory resident data matches the data in the database "
      "file!"));
  EXPECT_FALSE(m_b.RefreshState().IsWaitingForLock());
  EXPECT_EQ(Byte(256), 1);
  // b waits and gets the lock as soon as a lets go.
  int nEvents = 0;
  m_ui.SetEventHook([&] {
    if (++nEvents == 2) m_a.UnlockDatabase();
  });
  EXPECT_EQ(m_b.LockDatabase("test"), 1);
  m_ui.SetEventHook(nullptr);
  EXPECT_EQ(Byte(256), 2);
  m_b.UnlockDatabase();
  EXPECT_EQ(Byte(256), 0);
}

TEST_F(LocksTest, DatabaseLockIsReentrant) {
  ASSERT_EQ(m_a.LockDatabase("outer"), 1);
  ASSERT_EQ(m_a.LockDatabase("inner"), 1);
  EXPECT_EQ(m_a.DbLockDepth(), 2);
  m_a.UnlockDatabase();
  EXPECT_EQ(Byte(256), 1);  // the inner unlock keeps the outer lock
  EXPECT_EQ(m_b.IsDbLocked(LOCK_BY_OTHER), 1);
  m_a.UnlockDatabase();
  EXPECT_EQ(Byte(256), 0);
  EXPECT_EQ(m_a.DbLockDepth(), 0);
  // Only the outermost unlock sends the unlock notice.
  CRecordingLink link;
  m_a.SetLockManagerLink(&link);
  ASSERT_EQ(m_a.LockDatabase("x"), 1);
  ASSERT_EQ(m_a.LockDatabase("y"), 1);
  m_a.UnlockDatabase();
  m_a.UnlockDatabase();
  EXPECT_EQ(link.m_saSent, (std::vector<std::string>{"L 255 4294967295", "u 255 4294967295"}));
  m_a.SetLockManagerLink(nullptr);
}

TEST_F(LocksTest, LockManagerPathAsksAndWaitsForTheGrant) {
  CRecordingLink link;
  link.m_bGrantAtOnce = false;
  m_a.SetLockManagerLink(&link);
  int nEvents = 0;
  m_ui.SetEventHook([&] {
    if (++nEvents == 3) link.m_nGrants = 1;
  });
  EXPECT_EQ(m_a.LockRecord(TABLE_PERSON, 3), m_naLoc[3]);
  m_ui.SetEventHook(nullptr);
  EXPECT_EQ(link.m_saSent, (std::vector<std::string>{"L 6 3"}));
  EXPECT_TRUE(m_ui.SawText("Waiting for permission to lock before Lock record 3 in Person table. "
                           "Press ESC to abort wait.\n"));
  // The bypass answer ends the wait as granted without a grant.
  m_ui.QueueAbortPress(2);
  m_ui.QueueAnswer(IDCANCEL);
  EXPECT_EQ(m_a.LockTable(TABLE_LOG), 1);
  EXPECT_EQ(Byte(265), 1);
  EXPECT_FALSE(m_a.RefreshState().IsWaitingForLock());
  m_a.UnlockTable(TABLE_LOG);
  EXPECT_EQ(link.m_saSent.back(), "u 9 4294967295");
  // The record unlock notice goes out even when the record is not locked.
  m_a.UnlockRecord(m_naLoc[1]);
  EXPECT_EQ(link.m_saSent.back(), "u 6 1");
  // Changes are announced and the changed-header list emptied.
  EXPECT_FALSE(m_a.m_naChangedHeaders.empty());
  m_a.SetRefreshFlags(TABLE_PERSON, 1, m_naLoc[1]);
  EXPECT_TRUE(m_a.m_naChangedHeaders.empty());
  EXPECT_EQ(link.m_saSent.back().substr(0, 5), "M 6 1");
  m_a.SetLockManagerLink(nullptr);
}

TEST_F(LocksTest, UnlockAllRecordsClearsEveryLockWhenAlone) {
  ASSERT_NE(m_a.LockRecord(TABLE_PERSON, 1), DB_NONE);
  ASSERT_NE(m_b.LockRecord(TABLE_PERSON, 2), DB_NONE);
  ASSERT_EQ(m_b.LockTable(TABLE_LOG), 1);
  ASSERT_EQ(m_a.LockDatabase("x"), 1);
  // Closing while the other copy is present clears nothing and leaves the
  // file marked open.
  m_b.CloseDB();
  std::string s = ReadFileBytes(m_sPath);
  EXPECT_EQ(s[m_naLoc[2] + 33], '*');
  EXPECT_EQ(s[265], 2);
  EXPECT_EQ(RawUint32(s, 4), 0u);
  m_a.UnlockDatabase();
  m_a.SetUsersOnLine(1);
  ASSERT_TRUE(m_a.IsAloneOnFile());
  ASSERT_EQ(m_a.LockDatabase("x"), 1);
  EXPECT_EQ(m_a.UnlockAllRecords(), 1);
  s = ReadFileBytes(m_sPath);
  for (uint32_t k = 1; k <= 3; ++k) EXPECT_EQ(s[m_naLoc[k] + 33], '+');
  for (uint32_t i = 256; i < 1024; ++i) ASSERT_EQ(s[i], 0) << i;
  EXPECT_EQ(std::string(s.data() + 8), "locks");  // the rest of the header area stays
  m_a.CloseDB();
  EXPECT_EQ(RawUint32(ReadFileBytes(m_sPath), 4), 1u);
}

TEST_F(LocksTest, TwoProcessesWithoutNetworkNeverBothHoldTheDatabase) {
  m_a.CloseDB();
  m_b.CloseDB();
  {
    CDbEngine db;
    ASSERT_NE(db.OpenDB(m_sPath, false), eOpenResult::Failed);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    PutUint32(db.m_cBuffer, 0);
    ASSERT_NE(db.WriteRecord(4, TABLE_PARAMETERS, 0, 0, 0), DB_NONE);
    db.CloseDB();
  }
  constexpr int kRounds = 150;
  auto fnWorker = [&](uint8_t nUser) {
    return [&, nUser] {
      CScriptedUi ui;
      CScopedUi scope(ui);
      CDbEngine db;
      if (db.OpenDB(m_sPath, false) == eOpenResult::Failed) return 20;
      db.m_nUserNumber = nUser;  // networking off: one user on line each
      db.MakeFileHeaderArray(nullptr, 1, nullptr);
      const uint32_t nLoc = db.GetItemFileLoc(TABLE_PARAMETERS, 0, 0, 0);
      for (int i = 0; i < kRounds; ++i) {
        if (!db.LockDatabase("count")) return 21;
        if (db.ReadRecord(nLoc, 1) != 4) return 22;
        const uint32_t n = GetUint32(db.m_cBuffer);
        usleep(200);  // widen the window a lost update would need
        PutUint32(db.m_cBuffer, n + 1);
        if (db.RewriteRecord(nLoc, 4, TABLE_PARAMETERS, 0, 0, 0, 1) != eRewriteResult::Written)
          return 23;
        db.UnlockDatabase();
      }
      db.CloseDB();
      return 0;
    };
  };
  const pid_t p1 = StartChild(fnWorker(1));
  const pid_t p2 = StartChild(fnWorker(2));
  EXPECT_EQ(WaitChild(p1), 0);
  EXPECT_EQ(WaitChild(p2), 0);
  const std::string s = ReadFileBytes(m_sPath);
  const auto recs = WalkRawChain(s, nullptr);
  for (const stRawRecord& r : recs) {
    if (r.header.nTable == TABLE_PARAMETERS) {
      EXPECT_EQ(GetUint32(reinterpret_cast<const uint8_t*>(r.sData.data())), 2u * kRounds);
    }
  }
  EXPECT_EQ(s[256], 0);
  EXPECT_EQ(RawUint32(s, 4), 1u);
}

TEST_F(LocksTest, KilledCopyLeavesLocksThatOnlyALoneCopyClears) {
  m_a.CloseDB();
  m_b.CloseDB();
  CSignalPipe locked;
  const pid_t nChild = StartChild([&] {
    CScriptedUi ui;
    CScopedUi scope(ui);
    CDbEngine db;
    if (db.OpenDB(m_sPath, false) == eOpenResult::Failed) return 30;
    db.m_nUserNumber = 5;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    if (db.LockRecord(TABLE_PERSON, 2) == DB_NONE || !db.LockDatabase("hold")) return 31;
    locked.Send();
    pause();
    return 0;
  });
  ASSERT_TRUE(locked.Wait());
  kill(nChild, SIGKILL);
  EXPECT_EQ(WaitChild(nChild), -1);
  std::string s = ReadFileBytes(m_sPath);
  ASSERT_EQ(s[256], 5);
  ASSERT_EQ(s[m_naLoc[2] + 33], '*');

  // Two copies present: neither is alone, so the leftovers stay.
  CDbEngine c, d;
  ASSERT_EQ(c.OpenDB(m_sPath, false),
            eOpenResult::NotClosedProperly);  // the killed copy never closed it
  ASSERT_EQ(d.OpenDB(m_sPath, false), eOpenResult::NotClosedProperly);
  c.m_nUserNumber = 3;
  d.m_nUserNumber = 4;
  EXPECT_FALSE(c.IsAloneOnFile());
  m_ui.QueueAbortPress(2);
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(d.LockDatabase("blocked by a leftover"), 0);
  c.CloseDB();
  s = ReadFileBytes(m_sPath);
  EXPECT_EQ(s[256], 5);
  EXPECT_EQ(s[m_naLoc[2] + 33], '*');
  EXPECT_EQ(RawUint32(s, 4), 0u);
  // d is alone now: the leftover database lock does not block it, and its
  // close clears everything and marks the file closed properly.
  EXPECT_TRUE(d.IsAloneOnFile());
  EXPECT_EQ(d.LockDatabase("alone"), 1);
  d.UnlockDatabase();
  d.CloseDB();
  s = ReadFileBytes(m_sPath);
  EXPECT_EQ(s[256], 0);
  EXPECT_EQ(s[m_naLoc[2] + 33], '+');
  EXPECT_EQ(RawUint32(s, 4), 1u);
}

TEST_F(LocksTest, LocksOfAnotherProcessAreDenied) {
  m_b.CloseDB();
  CSignalPipe locked, done;
  const pid_t nChild = StartChild([&] {
    CScriptedUi ui;
    CScopedUi scope(ui);
    CDbEngine db;
    if (db.OpenDB(m_sPath, false) == eOpenResult::Failed) return 70;
    db.m_nUserNumber = 7;
    db.SetUsersOnLine(2);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    if (db.LockRecord(TABLE_PERSON, 1) == DB_NONE || db.LockTable(TABLE_LOG) != 1) return 71;
    locked.Send('r');
    if (!done.Wait(60)) return 72;
    if (!db.LockDatabase("child")) return 73;
    locked.Send('d');
    done.Wait(60);
    db.UnlockDatabase();
    return 0;
  });
  char c = 0;
  ASSERT_TRUE(locked.Wait(60, &c));
  EXPECT_EQ(m_a.LockRecord(TABLE_PERSON, 1), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Access denied. Record 1 in Person table locked by another user."));
  EXPECT_EQ(m_a.LockRecord(TABLE_PERSON, 2), m_naLoc[2]);  // other records stay free
  EXPECT_EQ(m_a.LockTable(TABLE_PERSON), 1);
  m_a.UnlockTable(TABLE_PERSON);
  m_ui.QueueAbortPress(2);
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(m_a.LockTable(TABLE_LOG), 0);  // waits for the child's table lock, aborted
  EXPECT_TRUE(m_ui.SawText(
      "Table locked by User code 7. Waiting to Lock table Log table. Press ESC to abort wait.\n"
      "If you abort, any changes you just made will not be saved and changes by others will\n"
      "not be posted to your computer's memory. If you abort you should do a manual refresh\n"
      "(press Ctrl-R) so that your memory resident data matches the data in the database file!"));
  done.Send();
  ASSERT_TRUE(locked.Wait(60, &c));
  EXPECT_EQ(m_a.LockRecord(TABLE_PERSON, 3), DB_NONE);
  EXPECT_TRUE(m_ui.SawText("Access denied. database locked by another user."));
  EXPECT_EQ(m_a.IsDbLocked(LOCK_BY_OTHER), 1);
  done.Send();
  EXPECT_EQ(WaitChild(nChild), 0);
  EXPECT_EQ(m_a.IsDbLocked(LOCK_BY_ANYONE), 0);
}

TEST_F(LocksTest, LockingAndAppendingConcurrentlyLosesNeither) {
  // One process locks and unlocks the last record in a loop while the other
  // appends behind it: no orphaned record, no lost lock.
  m_a.CloseDB();
  m_b.CloseDB();
  constexpr int kAppends = 300;
  CSignalPipe started, appended;
  const pid_t nLocker = StartChild([&] {
    CScriptedUi ui;
    CScopedUi scope(ui);
    CDbEngine db;
    if (db.OpenDB(m_sPath, false) == eOpenResult::Failed) return 40;
    db.m_nUserNumber = 1;
    db.SetUsersOnLine(2);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    started.Send();
    int nRounds = 0;
    for (; !appended.Wait(0); ++nRounds) {
      if (db.DoRecordLock(m_naLoc[3]) != 1) return 41;
      if (db.IsRecordLocked(LOCK_BY_ME, m_naLoc[3]) != 1) return 42;  // the lock is not lost
      if (db.DoRecordUnlock(m_naLoc[3]) != 1) return 43;
    }
    return nRounds > 0 ? 0 : 44;
  });
  ASSERT_TRUE(started.Wait());
  const pid_t nAppender = StartChild([&] {
    CScriptedUi ui;
    CScopedUi scope(ui);
    CDbEngine db;
    if (db.OpenDB(m_sPath, false) == eOpenResult::Failed) return 50;
    db.m_nUserNumber = 2;
    db.SetUsersOnLine(2);
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (int i = 0; i < kAppends; ++i) {
      const uint32_t nKey = db.GetNextKey(TABLE_LOG);
      if (WritePayload(db, TABLE_LOG, nKey, MakePayload(9, nKey, 0, 30)) == DB_NONE) return 51;
    }
    return 0;
  });
  EXPECT_EQ(WaitChild(nAppender), 0);
  appended.Send();
  EXPECT_EQ(WaitChild(nLocker), 0);
  std::vector<std::string> faults;
  const auto recs = WalkRawChain(ReadFileBytes(m_sPath), &faults);
  EXPECT_TRUE(faults.empty());
  EXPECT_EQ(recs.size(), size_t(3 + kAppends));
  EXPECT_EQ(recs[2].header.cStatus, '+');
  EXPECT_EQ(recs[2].header.nNextLoc, recs[3].header.nCurrLoc);
}

}  // namespace
