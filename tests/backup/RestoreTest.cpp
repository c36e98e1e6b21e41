#include <sys/stat.h>

#include <cstdio>

#include "BackupTestHelpers.h"
#include "backup/BackupFiles.h"
#include "network/SessionProcess.h"
#include "support/FileUtil.h"

namespace {

const char* const kOtherUsers =
    "There are other users on-line.\nCan only restore when there is only one user on-line.";

class RestoreTest : public CBackupFixture {
 protected:
  void SetUp() override {
    CBackupFixture::SetUp();
    ASSERT_EQ(m_backup.BackupTo(m_db, m_sRoot, 3), 1);
    m_sGood = ArchiveEntry(m_sRoot + ".zp0");
    AddPersons(2);
    m_ui.ClearShown();
  }
  // Restore from this computer: Yes to the question, then the n-th backup.
  int RestoreChosen(int nItem) {
    m_ui.QueueAnswer(IDYES);
    m_ui.QueueChoice({nItem});
    return m_backup.RestoreFromFile(m_db);
  }
  CSessionProcess* StartSecondCopy() {
    m_pOther = std::make_unique<CSessionProcess>(
        DbPath(),
        std::vector<std::string>{"KELVO_HOME=" + m_folder.Path(), "KELVO_HOSTADDRESS=127.0.0.254"},
        std::vector<std::string>{"--local"});
    EXPECT_TRUE(m_pOther->IsOpen()) << m_pOther->OpenReply();
    return m_pOther.get();
  }
  std::string m_sGood;  // the database the archive holds (3 persons)
  std::unique_ptr<CSessionProcess> m_pOther;
};

TEST_F(RestoreTest, GoodArchiveRestoresByteExactAndKeepsTheOldFile) {
  const std::string sOld = ReadFileBytes(DbPath());
  bool bReopened = false;
  m_backup.SetViewHooks(nullptr, [&](bool bOpen) { bReopened = bOpen; });
  ASSERT_EQ(RestoreChosen(0), 1);  // Office.zp0 is the only backup
  EXPECT_TRUE(SawChoice("Restore from"));
  EXPECT_TRUE(bReopened);
  EXPECT_EQ(PersonCount(), 3);
  std::string sNow = ReadFileBytes(DbPath());
  EXPECT_EQ(U32Of(sNow, 4), 0u);  // open again
  EXPECT_TRUE(sNow.replace(4, 4, std::string("\1\0\0\0", 4)) == m_sGood);
  EXPECT_EQ(m_backup.KeptAs(), m_sRoot + ".BK1");
  EXPECT_TRUE(ReadFileBytes(m_sRoot + ".BK1").substr(1024) == sOld.substr(1024));
  // The kept copy is offered first and restores by plain copy.
  ASSERT_EQ(RestoreChosen(0), 1);
  EXPECT_EQ(PersonCount(), 5);
  EXPECT_EQ(GetBackupFiles(m_sRoot),
            (std::vector<std::string>{m_sRoot + ".BK1", m_sRoot + ".BK2", m_sRoot + ".zp0"}));
}

TEST_F(RestoreTest, FromADriveTheArchiveIsUnpackedWhereItIs) {
  CScratchFolder drive;
  m_drives.m_drives = {{drive.Path(), "STICK"}};
  WriteFileBytes(drive.File("Office.zp3"), ReadFileBytes(m_sRoot + ".zp0"));
  const std::string sLocal = ReadFileBytes(m_sRoot + ".zp0");
  m_ui.QueueAnswer(IDYES);
  m_ui.QueueChoice({0});  // the drive
  m_ui.QueueChoice({0});  // its only archive
  ASSERT_EQ(m_backup.Restore(m_db), 1);
  EXPECT_EQ(PersonCount(), 3);
  EXPECT_TRUE(ReadFileBytes(m_sRoot + ".zp0") == sLocal);
  EXPECT_EQ(FolderNames(), (std::vector<std::string>{"Office.BK1", "Office.dbm", "Office.zp0"}));
  // A drive without archives.
  std::remove(drive.File("Office.zp3").c_str());
  m_ui.QueueAnswer(IDYES);
  m_ui.QueueChoice({0});
  EXPECT_EQ(m_backup.Restore(m_db), 2);
  EXPECT_EQ(m_ui.Messages().back(), "No backup files found");
}

TEST_F(RestoreTest, HostileBackupsChangeNothing) {
  const std::string sDb = ReadFileBytes(DbPath());
  const std::string sZip = ReadFileBytes(m_sRoot + ".zp0");
  std::string sFlipped = sZip;
  sFlipped[sFlipped.size() / 3] ^= 0x20;
  const std::string sAbsolute = FolderOf(m_folder.Path()) + "/absolute-kelvo.dbm";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"flipped.zp7", sFlipped},
      {"truncated.zp7", sZip.substr(0, sZip.size() / 2)},
      {"two.zp7", RawZip({{"Office.dbm", m_sGood}, {"Other.dbm", m_sGood}})},
      {"dotdot.zp7", RawZip({{"../x.dbm", m_sGood}})},
      {"absolute.zp7", RawZip({{sAbsolute, m_sGood}})},
      {"encrypted.zp7", RawZip({{"Office.dbm", m_sGood, 1}})},
      {"method.zp7", RawZip({{"Office.dbm", m_sGood, 0, 12}})},
      {"huge.zp7", RawZip({{"Office.dbm", m_sGood, 0, 0, 5ULL << 30}})},
      {"text.zp7", "This is not an archive.\n"},
      {"Office.BK9", "short"}};
  for (const auto& [sName, sBytes] : cases) WriteFileBytes(m_folder.File(sName), sBytes);
  mkdir(m_folder.File("Office.bk7").c_str(), 0700);
  const std::vector<std::string> saNames = FolderNames();
  std::vector<std::string> saFiles = {"Office.bk7"};
  for (const auto& c : cases) saFiles.push_back(c.first);
  for (const std::string& sName : saFiles) {
    m_ui.ClearShown();
    EXPECT_EQ(m_backup.DoFileRestore(m_db, m_folder.File(sName)), 0) << sName;
    ASSERT_EQ(m_ui.Messages().size(), 1u) << sName;
    EXPECT_NE(m_ui.Messages()[0].find("The database was not changed."), std::string::npos);
    EXPECT_TRUE(m_db.IsDatabaseOpen()) << sName;
    EXPECT_TRUE(ReadFileBytes(DbPath()) == sDb) << sName;
    EXPECT_EQ(FolderNames(), saNames) << sName;
  }
  EXPECT_FALSE(FileExists(FolderOf(m_folder.Path()) + "/x.dbm"));
  EXPECT_FALSE(FileExists(sAbsolute));
}

TEST_F(RestoreTest, RefusedWhileAnotherCopyHasTheFileOpen) {
  CSessionProcess* pOther = StartSecondCopy();
  EXPECT_EQ(m_backup.RestoreFromFile(m_db), 2);
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{kOtherUsers});
  pOther->Finish();
  // The other copy opens while the question is on screen.
  m_ui.ClearShown();
  m_ui.m_fnOnOverwriteQuestion = [&] {
    m_ui.m_fnOnOverwriteQuestion = nullptr;
    StartSecondCopy();
  };
  EXPECT_EQ(RestoreChosen(0), 2);
  EXPECT_EQ(m_ui.Messages().back(), kOtherUsers);
  EXPECT_TRUE(m_db.IsDatabaseOpen());
  EXPECT_EQ(PersonCount(), 5);
  // A copy that ended abnormally leaves nothing that stops the restore.
  m_pOther->Kill();
  EXPECT_EQ(RestoreChosen(0), 1);
  EXPECT_EQ(PersonCount(), 3);
  EXPECT_TRUE(FileExists(m_sRoot + ".BK1"));
}

TEST_F(RestoreTest, KelvotoolAsksBeforeReplacing) {
  m_db.CloseDatabase();
  const std::string sOld = ReadFileBytes(DbPath());
  const std::string sTool = "KELVO_HOME=" + m_folder.Path() + " " + KELVOTOOL_PATH + " restore " +
                            m_sRoot + ".zp0 " + DbPath();
  std::string sOut;
  EXPECT_EQ(RunCommand(sTool + " </dev/null 2>&1", &sOut), 2);
  EXPECT_NE(sOut.find("Are you sure? This will overwrite current database."), std::string::npos);
  StartSecondCopy();
  EXPECT_EQ(RunCommand(sTool + " --yes 2>&1", &sOut), 2);
  EXPECT_NE(sOut.find(kOtherUsers), std::string::npos);
  m_pOther->Finish();
  EXPECT_TRUE(ReadFileBytes(DbPath()) == sOld);
  EXPECT_EQ(RunCommand(sTool + " --yes 2>/dev/null", &sOut), 0);
  EXPECT_EQ(sOut, "restored " + DbPath() + " from " + m_sRoot + ".zp0; the previous file is kept as " +
                      m_sRoot + ".BK1\n");
  EXPECT_TRUE(ReadFileBytes(DbPath()) == m_sGood);
}

}  // namespace
