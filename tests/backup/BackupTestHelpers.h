#pragma once
// Shared set-up of the backup tests: a database in a scratch folder open in
// this process, drives that are folders of the test, an independent reader
// of archives, and a writer of hand-made (hostile) ZIP files.

#include <functional>
#include <string>
#include <vector>

#include "backup/CBackupRestore.h"
#include "backup/CRemovableDrives.h"
#include "common/TestCommon.h"
#include "data/CTableManager.h"

class CFolderDrives : public CRemovableDrives {
 public:
  std::vector<stDrive> GetRemovableDriveList() override { return m_drives; }
  std::vector<stDrive> m_drives;
};

// The scripted host, with a hook run when the overwrite question comes.
class CBackupUi : public CTestUi {
 public:
  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int nDefault) override;
  std::function<void()> m_fnOnOverwriteQuestion;
};

class CBackupFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string DbPath() const { return m_sRoot + ".dbm"; }
  void AddPersons(int nCount);
  int PersonCount() { return int(m_db.m_caPersonIndex.size()); }
  bool SawChoice(const std::string& sCaption) const {
    for (const auto& s : m_ui.Shown())
      if (s.sKind == "choice" && s.sCaption == sCaption) return true;
    return false;
  }
  // The names in the scratch folder, sorted.
  std::vector<std::string> FolderNames() const;

  CScratchFolder m_folder;
  CBackupUi m_ui;
  CTableManager m_db;
  std::string m_sRoot;
  CFolderDrives m_drives;
  CBackupRestore m_backup{m_drives};
  int m_nAdded = 0;
};

std::string ReadFileBytes(const std::string& sPath);
void WriteFileBytes(const std::string& sPath, const std::string& sBytes);
// The one entry of an archive as minizip reads it ("" when it cannot).
std::string ArchiveEntry(const std::string& sZip);
uint32_t U32Of(const std::string& sBytes, size_t nAt);

// One entry of a hand-made ZIP file: stored data, with what the archive
// claims about it.
struct stRawEntry {
  std::string sName;
  std::string sData;
  uint16_t nFlags = 0;
  uint16_t nMethod = 0;
  uint64_t nClaimedSize = ~0ULL;  // the data's size unless set (zip64 beyond 4 GiB)
};
std::string RawZip(const std::vector<stRawEntry>& entries);
