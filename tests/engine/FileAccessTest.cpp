// Shared file access: the locking rule, locked waits with their wait box,
// verified writes and the broken-handle question.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A file fault switches the trace on: its files go to the scratch folder.
    setenv("KELVO_HOME", m_folder.Path().c_str(), 1);
    m_sPath = m_folder.File("access.dbm");
    ASSERT_EQ(m_db.OpenDB(m_sPath, true), eOpenResult::Opened);
    m_db.m_nUserNumber = 1;
    const std::string s(4096, 'o');
    ASSERT_EQ(m_db.WriteDbBlock(1024, s.data(), uint32_t(s.size()), 0), s.size());
    ASSERT_TRUE(m_other.OpenExisting(m_sPath));
  }
  void TearDown() override {
    CSharedFile::ClearFaults();
    CloseDiagnosticFile();
    unsetenv("KELVO_HOME");
  }

  bool SawMessageWith(const std::string& sPart) const {
    for (const std::string& s : m_ui.Messages())
      if (s.find(sPart) != std::string::npos) return true;
    return false;
  }

  // A read through the engine while the other handle holds the range; the
  // hold is released on the nRelease-th event the wait box processes.
  uint32_t ReadWhileHeld(int nRelease, uint8_t* pOut) {
    EXPECT_EQ(m_other.Hold(2000, 36), IO_OK);
    int nEvents = 0;
    m_ui.SetEventHook([&] {
      if (++nEvents == nRelease) m_other.Release(2000, 36);
    });
    const uint32_t n = m_db.ReadDbBlock(2000, pOut, 36, 1);
    m_ui.SetEventHook(nullptr);
    return n;
  }

  CScratchFolder m_folder;
  CTestUi m_ui;
  std::string m_sPath;
  CDbEngine m_db;
  CSharedFile m_other;
};

TEST_F(FileAccessTest, LockedWritesAreFlushedOnlyWithOthersOnLine) {
  const uint8_t a[36] = {1, 2, 3};
  long nFlushes = CSharedFile::CallCount(IO_CALL_FSYNC);
  EXPECT_EQ(m_db.WriteDbBlock(2000, a, 36, 1), 36u);
  EXPECT_EQ(CSharedFile::CallCount(IO_CALL_FSYNC), nFlushes);  // one user: plain write
  m_db.SetUsersOnLine(2);
  long nReads = CSharedFile::CallCount(IO_CALL_PREAD);
  EXPECT_EQ(m_db.WriteDbBlock(2000, a, 36, 1), 36u);
  EXPECT_EQ(CSharedFile::CallCount(IO_CALL_FSYNC), nFlushes + 1);
  EXPECT_GT(CSharedFile::CallCount(IO_CALL_PREAD), nReads);  // read back
  EXPECT_EQ(m_db.WriteDbBlock(2000, a, 36, 0), 36u);         // no lock asked: plain
  EXPECT_EQ(CSharedFile::CallCount(IO_CALL_FSYNC), nFlushes + 1);
  // A held range makes a plain write wait too, briefly, then give up.
  ASSERT_EQ(m_other.Hold(2000, 36), IO_OK);
  EXPECT_EQ(m_db.WriteDbBlock(2000, a, 36, 0), 0u);
  m_other.Release(2000, 36);
  // A locked write whose pwrite fails returns 0 at once: no wait box.
  CSharedFile::InjectFault(IO_CALL_PWRITE, 1);
  EXPECT_EQ(m_db.WriteDbBlock(2000, a, 36, 1), 0u);
  CSharedFile::InjectFault(IO_CALL_FSYNC, 1);
  EXPECT_EQ(m_db.WriteDbBlock(2000, a, 36, 1), 0u);
  EXPECT_TRUE(m_ui.Shown().empty());
  // The bytes are in the file.
  EXPECT_EQ(std::memcmp(ReadFileBytes(m_sPath).data() + 2000, a, 36), 0);
}

TEST_F(FileAccessTest, LockedReadWaitsWithItsWaitBoxAndCompletes) {
  uint8_t a[36];
  EXPECT_EQ(ReadWhileHeld(5, a), 36u);
  EXPECT_EQ(a[0], 'o');
  const std::string sWait = StrFormat(
      "Record at 2000 (file handle %u) in use on network. Wait for read, status: locked FALSE, "
      "accessed FALSE, unlocked FALSE.",
      unsigned(m_db.FileHandle()->Fd()));
  EXPECT_TRUE(m_ui.SawText(sWait));
  // The range is free again for everyone.
  EXPECT_EQ(m_other.Hold(2000, 36), IO_OK);
  m_other.Release(2000, 36);
}

TEST_F(FileAccessTest, AbortedWaitHoldsNothing) {
  ASSERT_EQ(m_other.Hold(2000, 36), IO_OK);
  m_ui.QueueAbortPress(2);
  m_ui.QueueAnswer(IDYES);  // "Are you sure you want to abort operation?"
  uint8_t a[36];
  EXPECT_EQ(m_db.ReadDbBlock(2000, a, 36, 1), 0u);
  EXPECT_TRUE(m_ui.SawText("Are you sure you want to abort operation?\n"));
  m_other.Release(2000, 36);
  EXPECT_EQ(m_db.FileHandle()->HoldCount(), 0u);
}

TEST_F(FileAccessTest, ReadWaitsForAnotherProcessHoldingTheRange) {
  CSignalPipe held, release, done;
  const pid_t nChild = StartChild([&] {
    CSharedFile f;
    if (!f.OpenExisting(m_sPath) || f.Hold(2000, 36) != IO_OK) return 1;
    f.Write(2000, "held-by-child", 13);
    held.Send();
    release.Wait(60);
    f.Release(2000, 36);
    done.Wait(60);
    return 0;
  });
  ASSERT_TRUE(held.Wait());
  int nEvents = 0;
  m_ui.SetEventHook([&] {
    if (++nEvents == 3) release.Send();
  });
  uint8_t a[36];
  EXPECT_EQ(m_db.ReadDbBlock(2000, a, 36, 1), 36u);
  m_ui.SetEventHook(nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a), 13), "held-by-child");
  EXPECT_GE(nEvents, 3);
  done.Send();
  EXPECT_EQ(WaitChild(nChild), 0);
}

TEST_F(FileAccessTest, BrokenHandleQuestionReopensTheSameFile) {
  m_db.SetUsersOnLine(2);
  m_db.FileHandle()->SimulateStaleHandle();
  m_ui.QueueAnswer(IDCANCEL);
  uint8_t a[36];
  EXPECT_EQ(m_db.ReadDbBlock(2000, a, 36, 1), 36u);
  EXPECT_EQ(a[0], 'o');
  EXPECT_TRUE(SawMessageWith("in use on network. Wait for read, status: locked FALSE, accessed "
                             "FALSE, unlocked FALSE.\nError in file size access for file handle"));
  EXPECT_TRUE(SawMessageWith("Yes to terminate\n\nNo to attempt to continue\n\nCancel to "
                             "close/re-open DB and try again"));
  // Every file fault leaves a trace.
  EXPECT_TRUE(SawMessageWith("DIAGNOSE.TXT file opened."));
  EXPECT_TRUE(FileExists(m_folder.File("DIAGNOSE.TXT")));
  // The new handle works and is the same file.
  EXPECT_EQ(m_db.WriteDbBlock(2000, "new", 3, 1), 3u);
  EXPECT_TRUE(m_db.FileHandle()->SameFileAs(m_other));
  // Yes terminates: the quit handler runs and the access fails.
  bool bQuit = false;
  m_db.SetQuitHandler([&] { bQuit = true; });
  m_db.FileHandle()->SimulateStaleHandle();
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(m_db.ReadDbBlock(2000, a, 36, 1), 0u);
  EXPECT_TRUE(bQuit);
}

TEST_F(FileAccessTest, ReopenRefusesAReplacedFile) {
  m_db.SetUsersOnLine(2);
  m_db.FileHandle()->SimulateStaleHandle();
  // The file at the path is now another one.
  ASSERT_EQ(rename(m_sPath.c_str(), (m_sPath + ".old").c_str()), 0);
  FILE* f = fopen(m_sPath.c_str(), "wb");
  fputs("other", f);
  fclose(f);
  m_ui.QueueAnswer(IDCANCEL);  // reopen: refused, so the question comes again
  m_ui.QueueAnswer(IDNO);      // go on with the current handle
  m_ui.QueueAbortPress(2);
  m_ui.QueueAnswer(IDYES);
  uint8_t a[36];
  EXPECT_EQ(m_db.ReadDbBlock(2000, a, 36, 1), 0u);
  EXPECT_EQ(m_ui.PendingAnswers(), 0u);
  EXPECT_EQ(ReadFileBytes(m_sPath), "other");
}

TEST_F(FileAccessTest, VerificationCannotPassOnAFailedRead) {
  // An all-zero write whose read-back fails must not verify.
  const uint8_t aZero[36] = {};
  CSharedFile::InjectFault(IO_CALL_PREAD, 1, true);
  EXPECT_EQ(m_db.TestFileBlockWrite(m_db.FileHandle(), 2000, aZero, 36, nullptr), 0);
  CSharedFile::ClearFaults();
  ASSERT_EQ(m_db.WriteDbBlock(2000, aZero, 36, 0), 36u);
  EXPECT_EQ(m_db.TestFileBlockWrite(m_db.FileHandle(), 2000, aZero, 36, nullptr), 1);
  // LockAndFlush works on the whole file.
  EXPECT_EQ(m_db.LockAndFlush(m_db.FileHandle()), 1);
}

}  // namespace
