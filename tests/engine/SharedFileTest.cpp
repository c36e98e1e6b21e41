// The platform file layer: OFD range locks between handles, held ranges,
// the presence lock, error classification and the fault-injection seam.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <csignal>

#include "EngineTestUtil.h"
#include "common/TestCommon.h"
#include "engine/CSharedFile.h"

namespace {

class SharedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sPath = m_folder.File("f.dbm");
    ASSERT_TRUE(m_a.CreateNew(m_sPath));
    ASSERT_EQ(m_a.Write(0, std::string(4096, 'x').data(), 4096), IO_OK);
    ASSERT_TRUE(m_b.OpenExisting(m_sPath));
  }
  void TearDown() override { CSharedFile::ClearFaults(); }

  CScratchFolder m_folder;
  std::string m_sPath;
  CSharedFile m_a, m_b;
  char m_c[200] = {};
};

TEST_F(SharedFileTest, HeldRangeIsUnavailableToOtherHandles) {
  ASSERT_EQ(m_a.Hold(100, 36), IO_OK);
  EXPECT_EQ(m_b.Read(120, m_c, 10), IO_LOCKED);
  EXPECT_EQ(m_b.Read(90, m_c, 20), IO_LOCKED);   // overlaps the start
  EXPECT_EQ(m_b.Write(135, m_c, 1), IO_LOCKED);  // last held byte
  EXPECT_EQ(m_b.Read(136, m_c, 10), IO_OK);      // just after
  EXPECT_EQ(m_b.Read(0, m_c, 100), IO_OK);       // just before
  EXPECT_EQ(m_b.Hold(110, 1), IO_LOCKED);
  // The holder reads and writes its range freely.
  EXPECT_EQ(m_a.Write(100, "abc", 3), IO_OK);
  EXPECT_EQ(m_a.Read(100, m_c, 36), IO_OK);
  EXPECT_EQ(m_a.Release(100, 36), IO_OK);
  EXPECT_EQ(m_b.Read(120, m_c, 10), IO_OK);
  EXPECT_EQ(m_a.Release(100, 36), IO_FAILED);  // nothing of that range is held
}

TEST_F(SharedFileTest, HoldsNestAndShortLocksNeverDropThem) {
  ASSERT_EQ(m_a.Hold(0, 1024), IO_OK);
  ASSERT_EQ(m_a.Hold(256, 1), IO_OK);
  ASSERT_EQ(m_a.Release(256, 1), IO_OK);
  EXPECT_EQ(m_b.Read(256, m_c, 1), IO_LOCKED);  // the outer hold stays
  ASSERT_EQ(m_a.Release(0, 1024), IO_OK);
  EXPECT_EQ(m_b.Read(256, m_c, 1), IO_OK);
  // An access over a held range locks only the gaps and leaves the hold.
  ASSERT_EQ(m_a.Hold(300, 10), IO_OK);
  EXPECT_EQ(m_a.Read(200, m_c, 200), IO_OK);
  EXPECT_EQ(m_a.Write(250, m_c, 100), IO_OK);
  EXPECT_EQ(m_b.Read(305, m_c, 1), IO_LOCKED);
  EXPECT_EQ(m_b.Read(200, m_c, 100), IO_OK);
  EXPECT_TRUE(m_a.IsHeld(302, 8));
  EXPECT_FALSE(m_a.IsHeld(299, 2));
  // A short access by b over a range a merely read is free again.
  EXPECT_EQ(m_b.Write(200, m_c, 100), IO_OK);
}

TEST_F(SharedFileTest, LocksConflictAcrossProcesses) {
  CSignalPipe held, done;
  const pid_t nChild = StartChild([&] {
    CSharedFile f;
    if (!f.OpenExisting(m_sPath) || f.Hold(2000, 36) != IO_OK) return 1;
    held.Send();
    done.Wait(60);
    return 0;
  });
  ASSERT_TRUE(held.Wait());
  EXPECT_EQ(m_b.Read(2010, m_c, 4), IO_LOCKED);
  done.Send();
  EXPECT_EQ(WaitChild(nChild), 0);
  EXPECT_EQ(m_b.Read(2010, m_c, 4), IO_OK);  // the lock died with the handle
}

TEST_F(SharedFileTest, PresenceLockTellsWhetherACopyIsAlone) {
  ASSERT_EQ(m_a.TakePresence(false), IO_OK);
  EXPECT_TRUE(m_a.IsAlone());
  ASSERT_EQ(m_b.TakePresence(false), IO_OK);
  EXPECT_FALSE(m_a.IsAlone());
  EXPECT_FALSE(m_b.IsAlone());
  CSharedFile c;
  ASSERT_TRUE(c.OpenExisting(m_sPath));
  EXPECT_EQ(c.TakePresence(true), IO_LOCKED);  // nobody replaces a file in use
  m_b.Close();
  EXPECT_TRUE(m_a.IsAlone());
  // The presence byte never meets a data lock.
  ASSERT_EQ(m_a.Hold(0, 0xFFFFFFFF), IO_OK);
  EXPECT_FALSE(c.IsAlone());
  EXPECT_EQ(m_a.Release(0, 0xFFFFFFFF), IO_OK);
  EXPECT_FALSE(c.IsAlone());  // releasing every data byte kept the presence lock
  // A process that dies leaves no presence behind.
  const int n = RunChild([&] {
    CSharedFile f;
    return f.OpenExisting(m_sPath) && f.TakePresence(false) == IO_OK && !m_a.IsAlone() ? 0 : 1;
  });
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(m_a.IsAlone());
}

TEST_F(SharedFileTest, CreateIsExclusiveAndHandlesCloseOnExec) {
  CSharedFile c;
  EXPECT_FALSE(c.CreateNew(m_sPath));
  EXPECT_EQ(c.LastError(), EEXIST);
  EXPECT_NE(fcntl(m_a.Fd(), F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_NE(fcntl(m_b.Fd(), F_GETFD) & FD_CLOEXEC, 0);
  CSharedFile d;
  EXPECT_FALSE(d.OpenExisting(m_folder.Path()));  // a folder is not a database
  EXPECT_TRUE(m_a.SameFileAs(m_b));
  m_b.SimulateStaleHandle();
  EXPECT_EQ(m_b.Read(0, m_c, 1), IO_FAILED);
  EXPECT_TRUE(m_b.HandleFault());
  EXPECT_EQ(m_b.Size(), -1);
  EXPECT_TRUE(m_a.SameFileAs(m_b));  // the identity noted at open survives
}

TEST_F(SharedFileTest, ErrorsAreClassifiedAndFaultsInjected) {
  CSharedFile::InjectFault(IO_CALL_PWRITE, 2);
  EXPECT_EQ(m_a.Write(0, "a", 1), IO_OK);
  EXPECT_EQ(m_a.Write(0, "b", 1), IO_FAILED);
  EXPECT_EQ(m_a.LastError(), EIO);
  EXPECT_EQ(m_a.Write(0, "c", 1), IO_OK);
  CSharedFile::InjectFault(IO_CALL_FSYNC, 1, true);
  EXPECT_EQ(m_a.Flush(), IO_FAILED);
  EXPECT_EQ(m_a.Flush(), IO_FAILED);
  CSharedFile::ClearFaults();
  EXPECT_EQ(m_a.Flush(), IO_OK);
  // A short read is a failure, not a lock conflict.
  EXPECT_EQ(m_a.Read(4090, m_c, 36), IO_FAILED);
  // A read-only handle cannot write.
  CSharedFile r;
  ASSERT_TRUE(r.OpenExisting(m_sPath, true));
  EXPECT_EQ(r.Write(0, "x", 1), IO_FAILED);
  EXPECT_EQ(r.Read(0, m_c, 10), IO_OK);
}

TEST_F(SharedFileTest, FullFileSystemFailsAtOnce) {
  const int n = RunChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{8192, 8192};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 10;
    CSharedFile f;
    if (!f.OpenExisting(m_sPath)) return 11;
    std::string s(8192, 'y');
    size_t nDone = 0;
    if (f.Write(4096, s.data(), s.size(), &nDone) != IO_FAILED) return 12;
    if (nDone != 4096) return 13;  // the part below the limit went in
    return f.LastError() == EFBIG ? 0 : 14;
  });
  EXPECT_EQ(n, 0);
}

}  // namespace
