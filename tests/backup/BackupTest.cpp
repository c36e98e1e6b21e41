#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BackupTestHelpers.h"
#include "backup/BackupFiles.h"
#include "backup/CRestoreJob.h"
#include "backup/CZipArchive.h"
#include "data/BackupOnClose.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"

namespace {

class BackupTest : public CBackupFixture {
 protected:
  // What the archive of this moment must hold: the file closed properly
  // and free of live locks.
  std::string Snapshot() {
    std::string s = ReadFileBytes(DbPath());
    s.replace(4, 4, std::string("\1\0\0\0", 4));
    s.replace(256, 768, std::string(768, '\0'));
    return s;
  }
  std::string Zp(int n) { return GenerationName(m_sRoot, n); }
};

TEST_F(BackupTest, FourBackupsKeepThreeSnapshotsAndCopyThemToTheDrive) {
  CScratchFolder drive;
  m_drives.m_drives = {{drive.Path(), "STICK"}};
  m_ui.QueueEdit({{"Number of backup files", "3"}});
  ASSERT_EQ(m_db.EditVarRecord(1), eItemResult::Done);
  std::vector<std::string> saSnapshots;
  SetBackupOnClose(true);
  for (int i = 0; i < 4; ++i) {
    AddPersons(1);
    saSnapshots.push_back(Snapshot());
    // Items: the drive, "Other folder...", "Backup to hard drive only".
    m_ui.QueueChoice({i < 3 ? 2 : 0});
    ASSERT_EQ(m_backup.Backup(m_db), 1);
    EXPECT_EQ(U32Of(ReadFileBytes(DbPath()), 4), 0u) << "the live file stays open";
    EXPECT_FALSE(m_db.RefreshState().IsRefreshSuspended());
  }
  EXPECT_FALSE(IsBackupOnClose());
  EXPECT_EQ(m_backup.BackupOnClose(m_db), 1);  // nothing changed: no question
  EXPECT_EQ(AppSettings().sBackup, drive.Path());
  for (int n = 0; n < 3; ++n) {
    const std::string sEntry = ArchiveEntry(Zp(n));
    EXPECT_TRUE(sEntry == saSnapshots[size_t(3 - n)]) << "generation " << n;
    EXPECT_EQ(U32Of(sEntry, 4), 1u);
    EXPECT_TRUE(ReadFileBytes(drive.File("Office.zp" + std::to_string(n))) == ReadFileBytes(Zp(n)));
  }
  EXPECT_FALSE(FileExists(Zp(3)));
  EXPECT_TRUE(SawChoice("Drive for backup"));
  // Cancel at the drive choice: nothing written, the refresh on again.
  const std::string sNewest = ReadFileBytes(Zp(0));
  m_ui.QueueChoice({});
  EXPECT_EQ(m_backup.Backup(m_db), 2);
  EXPECT_FALSE(m_db.RefreshState().IsRefreshSuspended());
  EXPECT_TRUE(ReadFileBytes(Zp(0)) == sNewest);
}

TEST_F(BackupTest, FailedPackLeavesEveryGenerationAsItWas) {
  ASSERT_EQ(m_backup.BackupTo(m_db, m_sRoot, 3), 1);
  AddPersons(1);
  ASSERT_EQ(m_backup.BackupTo(m_db, m_sRoot, 3), 1);
  const std::vector<std::string> saBefore = {ReadFileBytes(Zp(0)), ReadFileBytes(Zp(1))};
  const std::string sRandom = m_folder.File("random.bin");
  std::string sNoise(200000, '\0');
  for (auto& c : sNoise) c = char(std::rand());
  WriteFileBytes(sRandom, sNoise);
  const std::vector<std::string> saNames = FolderNames();
  const rlim_t nLimit = ReadFileBytes(DbPath()).size() / 2;
  m_ui.QueueChoice({1});  // "Backup to hard drive only" (no drives)
  const pid_t nPid = fork();
  if (nPid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{nLimit, nLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    const int nBackup = m_backup.Backup(m_db);
    CZipArchive zip;
    const int nZip = zip.ZipFile(sRandom, m_folder.File("random.zip"), "random.dbm");
    _exit((nBackup == 0 ? 0 : 1) | (m_db.RefreshState().IsRefreshSuspended() ? 2 : 0) |
          (nZip == CZipArchive::ZIP_CANNOT_ADD ? 0 : 4));
  }
  int nStatus = -1;
  ASSERT_EQ(waitpid(nPid, &nStatus, 0), nPid);
  EXPECT_TRUE(WIFEXITED(nStatus));
  EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "1: backup reported done, 2: refresh left off, 4: zip done";
  EXPECT_TRUE(ReadFileBytes(Zp(0)) == saBefore[0]);
  EXPECT_TRUE(ReadFileBytes(Zp(1)) == saBefore[1]);
  std::vector<std::string> saAfter = FolderNames();
  std::erase(saAfter, "random.zip");
  EXPECT_EQ(saAfter, saNames) << "no temporary file is left behind";
}

TEST_F(BackupTest, TwoCopiesBackingUpBesideAWriterMakeSoundArchives) {
  m_db.CloseDatabase();
  const std::string sTool = std::string(KELVOTOOL_PATH);
  // Each copy under a user number of its own, as copies on different computers.
  const auto fnEnv = [&](int nUser) {
    return "KELVO_HOME=" + m_folder.Path() + " KELVO_HOSTADDRESS=127.0.0." + std::to_string(nUser) +
           " ";
  };
  const auto fnBackup = [&](int nUser) {
    return "for i in $(seq 20); do " + fnEnv(nUser) + sTool + " backup " + DbPath() +
           " --generations 10 >/dev/null 2>&1 </dev/null || echo fail; done";
  };
  const std::string sWriter = "for i in $(seq 30); do " + fnEnv(23) + sTool + " add " + DbPath() +
                              " person \"Last name=W$i\" >/dev/null 2>&1 || echo fail; done";
  std::string sOut;
  RunCommand("(" + fnBackup(21) + ") & (" + fnBackup(22) + ") & (" + sWriter + ") & wait", &sOut);
  EXPECT_EQ(sOut, "");
  for (int n = 0; n < kMaxGenerations; ++n) {
    ASSERT_TRUE(FileExists(Zp(n))) << n;
    CRestoreJob job(DbPath(), Zp(n));
    EXPECT_TRUE(job.Prepare()) << Zp(n) << ": " << job.Error();
  }
  for (const auto& s : FolderNames()) EXPECT_NE(s[0], '.') << s;
}

}  // namespace
