// Injected I/O errors swept over whole operations, and a real full disk:
// the caller gets the failure, the old copy stays live, the header list
// equals a freshly built one, and a reopen loads everything.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"

namespace {

struct stOperation {
  const char* pName;
  // Runs the operation; true when it reported success.
  std::function<bool(CDbEngine&)> fnRun;
  // The key it changes and the payload it writes when it succeeds ("" = freed).
  uint32_t nKey;
  std::string sNew;
};

class IoFaultTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    m_sPristine = m_folder.File("pristine.dbm");
    m_sPath = m_folder.File("work.dbm");
    CDbEngine db;
    ASSERT_EQ(db.OpenDB(m_sPristine, true), eOpenResult::Opened);
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (uint32_t k = 1; k <= 6; ++k) {
      m_items[k] = MakePayload(6, k, 0, 60 + k);
      WritePayload(db, TABLE_PERSON, k, m_items[k]);
    }
    db.DeleteRecord(db.GetItemFileLoc(TABLE_PERSON, 2, 0, 0), 1, 1);  // a free block of 62
    m_items.erase(2);
    db.CloseDB();
  }
  void TearDown() override { CSharedFile::ClearFaults(); }

  std::vector<stOperation> Operations() {
    auto fnWrite = [](uint32_t nKey, std::string s) {
      return [nKey, s](CDbEngine& db) { return WritePayload(db, TABLE_PERSON, nKey, s) != DB_NONE; };
    };
    return {
        {"append", fnWrite(7, MakePayload(6, 7, 1, 200)), 7, MakePayload(6, 7, 1, 200)},
        {"reuse a free block", fnWrite(8, MakePayload(6, 8, 1, 50)), 8, MakePayload(6, 8, 1, 50)},
        {"rewrite in place", fnWrite(3, MakePayload(6, 3, 1, 30)), 3, MakePayload(6, 3, 1, 30)},
        {"rewrite growing (moves)", fnWrite(4, MakePayload(6, 4, 1, 300)), 4, MakePayload(6, 4, 1, 300)},
        {"free", [](CDbEngine& db) {
           return db.DeleteRecord(db.GetItemFileLoc(TABLE_PERSON, 5, 0, 0), 1, 1) == 1;
         }, 5, ""},
    };
  }

  // The live items of the file as a fresh engine finds them by key; pFault
  // names a broken chain, pDuplicate is set when a key has two live copies.
  std::map<uint32_t, std::string> Load(std::string* pFault, bool* pDuplicate) {
    CDbEngine db;
    std::map<uint32_t, std::string> m;
    if (db.OpenDB(m_sPath, false) == eOpenResult::Failed ||
        db.MakeFileHeaderArray(nullptr, 1, nullptr) == DB_NONE) {
      *pFault = "cannot open";
      return m;
    }
    std::vector<std::string> faults;
    WalkRawChain(ReadFileBytes(m_sPath), &faults);
    if (!faults.empty()) *pFault = faults[0];
    for (const stDataHeader& h : db.m_caDataHeaders) {
      if (!IsLiveStatus(h.cStatus)) continue;
      if (m.count(h.nKey)) *pDuplicate = true;
      m[h.nKey] = ReadPayload(db, db.GetItemFileLoc(TABLE_PERSON, h.nKey, 0, 0));
    }
    return m;
  }

  CScratchFolder m_folder;
  std::string m_sPristine, m_sPath;
  std::map<uint32_t, std::string> m_items;
};

TEST_P(IoFaultTest, SweepOverEveryCallOfEveryOperation) {
  const unsigned nUsers = GetParam();
  for (const stOperation& op : Operations()) {
    for (eIoCall nCall : {IO_CALL_PWRITE, IO_CALL_FSYNC, IO_CALL_PREAD}) {
      for (bool bPersistent : {false, true}) {
        bool bFired = true;
        for (int n = 1; bFired && n < 200; ++n) {
          SCOPED_TRACE(::testing::Message() << op.pName << " call " << nCall << " #" << n
                                            << (bPersistent ? " persistent" : " once"));
          std::filesystem::copy_file(m_sPristine, m_sPath,
                                     std::filesystem::copy_options::overwrite_existing);
          CScriptedUi ui;
          CScopedUi scope(ui);
          bool bOk = false;
          {
            CDbEngine db;
            ASSERT_NE(db.OpenDB(m_sPath, false), eOpenResult::Failed);
            db.m_nUserNumber = 1;
            db.SetUsersOnLine(nUsers);
            ASSERT_NE(db.MakeFileHeaderArray(nullptr, 1, nullptr), DB_NONE);
            const long nBefore = CSharedFile::CallCount(nCall);
            CSharedFile::InjectFault(nCall, n, bPersistent);
            bOk = op.fnRun(db);
            bFired = CSharedFile::CallCount(nCall) - nBefore >= n;
            CSharedFile::ClearFaults();
            const int nMessages = int(ui.Messages().size());
            if (!bOk && op.sNew != "") {
              EXPECT_EQ(nMessages, 1) << "one message per failure";
            }
            if (bOk && !bFired) {
              EXPECT_EQ(nMessages, 0);
            }
            // The list kept in memory is the one the file gives.
            const std::vector<stDataHeader> kept = db.m_caDataHeaders;
            if (!bPersistent || nCall != IO_CALL_PREAD) {
              db.MakeFileHeaderArray(nullptr, 1, nullptr);
              EXPECT_EQ(kept, db.m_caDataHeaders);
            }
            db.SetUsersOnLine(1);
          }
          std::string sFault;
          bool bDuplicate = false;
          const std::map<uint32_t, std::string> loaded = Load(&sFault, &bDuplicate);
          EXPECT_EQ(sFault, "");
          // A duplicate can only stay when every write after the new copy failed.
          if (bDuplicate) {
            EXPECT_TRUE(bPersistent && !bOk);
          }
          std::map<uint32_t, std::string> expected = m_items;
          if (bOk && op.sNew.empty()) expected.erase(op.nKey);
          if (bOk && !op.sNew.empty()) expected[op.nKey] = op.sNew;
          // An in-place rewrite overwrites the only copy; when every write
          // after its data fails, not even the old bytes can be put back.
          if (!bOk && op.nKey == 3 && bPersistent && nCall == IO_CALL_PWRITE && loaded.count(3))
            expected[3] = loaded.at(3);
          EXPECT_EQ(loaded, expected);
          if (!bFired) {
            EXPECT_TRUE(bOk);
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Users, IoFaultTest, ::testing::Values(1u, 2u));

TEST(IoFullDisk, RealFullFileSystemFailsCleanly) {
  CScratchFolder folder;
  const std::string sPath = folder.File("full.dbm");
  {
    CTestUi ui;
    CDbEngine db;
    ASSERT_EQ(db.OpenDB(sPath, true), eOpenResult::Opened);
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    for (uint32_t k = 1; k <= 5; ++k) WritePayload(db, TABLE_PERSON, k, MakePayload(6, k, 0, 100));
    db.CloseDB();
  }
  const std::string sBefore = ReadFileBytes(sPath);
  const int n = RunChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    CScriptedUi ui;
    CScopedUi scope(ui);
    CDbEngine db;
    if (db.OpenDB(sPath, false) == eOpenResult::Failed) return 60;
    db.m_nUserNumber = 1;
    db.MakeFileHeaderArray(nullptr, 1, nullptr);
    const std::vector<stDataHeader> before = db.m_caDataHeaders;
    rlimit rl{rlim_t(sBefore.size() + 100), rlim_t(sBefore.size() + 100)};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 61;
    // Growing key 3 needs a new block past the limit: it must fail and keep the old copy.
    if (WritePayload(db, TABLE_PERSON, 3, MakePayload(6, 3, 1, 400)) != DB_NONE) return 62;
    if (ui.Messages() != std::vector<std::string>{"Could not write record to file."}) return 63;
    if (db.m_caDataHeaders != before) return 64;
    if (ReadPayload(db, db.GetItemFileLoc(TABLE_PERSON, 3, 0, 0)) != MakePayload(6, 3, 0, 100)) return 65;
    // Small writes inside the limit still work.
    if (WritePayload(db, TABLE_PERSON, 9, "small") == DB_NONE) return 66;
    db.CloseDB();
    return 0;
  });
  EXPECT_EQ(n, 0);
  CTestUi ui;
  CDbEngine db;
  ASSERT_NE(db.OpenDB(sPath, false), eOpenResult::Failed);
  db.MakeFileHeaderArray(nullptr, 1, nullptr);
  std::vector<std::string> faults;
  WalkRawChain(ReadFileBytes(sPath), &faults);
  EXPECT_TRUE(faults.empty());
  size_t nLive = 0;
  for (const stDataHeader& h : db.m_caDataHeaders) nLive += IsLiveStatus(h.cStatus);
  EXPECT_EQ(nLive, 6u);
  EXPECT_EQ(ReadPayload(db, db.GetItemFileLoc(TABLE_PERSON, 3, 0, 0)), MakePayload(6, 3, 0, 100));
}

}  // namespace
