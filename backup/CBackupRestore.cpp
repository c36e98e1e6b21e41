#include "backup/CBackupRestore.h"

#include <sys/stat.h>

#include <algorithm>

#include "backup/BackupFiles.h"
#include "backup/CBackupPacker.h"
#include "backup/CRemovableDrives.h"
#include "backup/CRestoreJob.h"
#include "data/BackupOnClose.h"
#include "data/CDatabase.h"
#include "engine/CSharedFile.h"
#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"
#include "support/CDialogWaitBox.h"
#include "support/CUserInterface.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

const char* const kOtherUsers =
    "There are other users on-line.\nCan only restore when there is only one user on-line.";
const char* const kUnchanged = "\nThe database was not changed.";
const char* const kOtherFolder = "Other folder...";
const char* const kHardDriveItem = "Backup to hard drive only";

// The data refresh stays off for the life of the object, on every path.
class CRefreshPause {
 public:
  CRefreshPause(CDatabase& db, std::string sLabel) : m_db(db), m_sLabel(std::move(sLabel)) {
    m_db.DataRefreshOff(m_sLabel);
  }
  ~CRefreshPause() { m_db.DataRefreshOn(m_sLabel); }
  CRefreshPause(const CRefreshPause&) = delete;
  CRefreshPause& operator=(const CRefreshPause&) = delete;

 private:
  CDatabase& m_db;
  std::string m_sLabel;
};

bool IsFolder(const std::string& sPath) {
  struct stat st {};
  return ::stat(sPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Show(const std::string& sText) { GetResponse(sText, MB_OK); }

// Unpacks or copies the chosen file and checks it, behind a wait box; a
// refusal is shown. True when the job is ready to replace the database.
bool PrepareRestore(CRestoreJob& job, const std::string& sFile) {
  CDialogWaitBox* pBox = StartWaitBox(StrFormat("Checking %s", sFile.c_str()));
  const bool bReady = job.Prepare();
  EndWaitBox(pBox);
  if (!bReady) Show(job.Error() + kUnchanged);
  return bReady;
}

// The database file held exclusively; null when another copy has it open.
std::unique_ptr<CSharedFile> HoldDatabaseFile(const std::string& sPath) {
  auto pFile = std::make_unique<CSharedFile>();
  if (!pFile->OpenExisting(sPath) || pFile->TakePresence(true) != IO_OK) return nullptr;
  return pFile;
}

std::string ChooseOtherFolder(const std::string& sPrompt, const std::string& sDefault) {
  std::optional<std::string> sFolder;
  {
    CBusyScope busy;
    sFolder = GetUi().ChooseFolder(sPrompt, sDefault);
  }
  if (!sFolder || Trim(*sFolder).empty()) return "";
  const std::string s = Trim(*sFolder);
  if (IsFolder(s)) return s;
  Show(StrFormat("Folder %s not found.", s.c_str()));
  return "";
}

}  // namespace

void CBackupRestore::SetViewHooks(std::function<void()> fnLeaveView,
                                  std::function<void(bool)> fnReopened) {
  m_fnLeaveView = std::move(fnLeaveView);
  m_fnReopened = std::move(fnReopened);
}

// ---------------------------------------------------------------- backup ----

int CBackupRestore::BackupTo(CDatabase& db, const std::string& sArchiveRoot, int nGenerations,
                             std::vector<std::string>* pWritten) {
  if (!db.IsDatabaseOpen()) return 2;
  CRefreshPause pause(db, "backup");
  CBackupPacker packer;
  if (!packer.Pack(db, sArchiveRoot, nGenerations)) return 0;
  if (pWritten) {
    *pWritten = {packer.Archive()};
    pWritten->insert(pWritten->end(), packer.Shifted().begin(), packer.Shifted().end());
  }
  return 1;
}

int CBackupRestore::Backup(CDatabase& db) {
  if (!db.IsDatabaseOpen()) return 2;
  CRefreshPause pause(db, "backup");
  const std::string sDrive = GetRemovableDriveLetter("Drive for backup", true);
  if (sDrive.empty()) return 2;
  const bool bHardDriveOnly = sDrive == kHardDrive;
  if (!bHardDriveOnly) AppSettings().sBackup = sDrive;
  std::vector<std::string> saWritten;
  const int nPacked = BackupTo(db, db.DatabaseName(), GenerationCount(db.GetVarData().m_nBackupFiles),
                               &saWritten);
  if (nPacked != 1) return nPacked;
  int nFailed = 0;
  if (!bHardDriveOnly) {
    // The drive gets the new archive and every generation that moved, each
    // under its own name.
    CDialogWaitBox* pBox = StartWaitBox(StrFormat("Copying backup files to %s", sDrive.c_str()));
    for (const std::string& s : saWritten) nFailed += FileCopyWithRetry(s, JoinPath(sDrive, FileNameOf(s)));
    EndWaitBox(pBox);
  }
  if (nFailed) return 0;
  SetBackupOnClose(false);
  return 1;
}

int CBackupRestore::BackupOnClose(CDatabase& db) {
  if (!db.IsDatabaseOpen() || !IsBackupOnClose()) return 1;
  return Backup(db);
}

std::string CBackupRestore::GetRemovableDriveLetter(const std::string& sPrompt,
                                                    bool bOfferHardDrive) {
  std::vector<stDrive> drives = m_drives.GetRemovableDriveList();
  const std::string sLast = AppSettings().sBackup;
  // The last drive used stands first; a folder chosen last time is offered
  // again while it exists.
  const auto itLast = std::stable_partition(drives.begin(), drives.end(),
                                            [&](const stDrive& d) { return d.sPath == sLast; });
  if (itLast == drives.begin() && !sLast.empty() && IsFolder(sLast))
    drives.insert(drives.begin(), {sLast, FileNameOf(sLast)});
  if (drives.empty() && !bOfferHardDrive) {
    Show("No removable drives found");
    return ChooseOtherFolder(sPrompt, GetDataFolder());
  }
  std::vector<std::string> saItems;
  for (const stDrive& d : drives) saItems.push_back(StrFormat("%s [%s]", d.sPath.c_str(), d.sLabel.c_str()));
  saItems.push_back(kOtherFolder);
  if (bOfferHardDrive) saItems.push_back(kHardDriveItem);
  std::optional<std::vector<int>> chosen;
  {
    CBusyScope busy;
    chosen = GetUi().ChooseFromList(sPrompt, saItems, false);
  }
  if (!chosen || chosen->empty()) return "";
  const size_t n = size_t(chosen->front());
  if (n < drives.size()) return drives[n].sPath;
  if (n == drives.size()) return ChooseOtherFolder(sPrompt, sLast.empty() ? GetDataFolder() : sLast);
  return bOfferHardDrive ? kHardDrive : "";
}

// --------------------------------------------------------------- restore ----

bool CBackupRestore::MayRestoreHere(const std::string& sDbPath, unsigned nUsersOnLine, bool bAlone) {
  if (!EqualsNoCase(GetComputerFromFileName(sDbPath), GetThisComputerName())) {
    Show("Can only restore on computer with database on its hard disk");
    return false;
  }
  if (nUsersOnLine >= 2 || !bAlone) {
    Show(kOtherUsers);
    return false;
  }
  return true;
}

bool CBackupRestore::AskOverwrite() {
  return GetResponse("Are you sure? This will overwrite current database.", MB_YESNO) == IDYES;
}

bool CBackupRestore::OnFileRestoreAskOK(CDatabase& db) {
  const unsigned nUsers = db.CountOnLine();
  return MayRestoreHere(db.DatabaseName() + ".dbm", nUsers, db.IsAloneOnFile()) && AskOverwrite();
}

std::string CBackupRestore::ChooseBackupFile(const std::vector<std::string>& saFiles) {
  if (saFiles.empty()) {
    Show("No backup files found");
    return "";
  }
  std::vector<std::string> saItems;
  for (const auto& s : saFiles) saItems.push_back(BackupFileItem(s));
  std::optional<std::vector<int>> chosen;
  {
    CBusyScope busy;
    chosen = GetUi().ChooseFromList("Restore from", saItems, false);
  }
  if (!chosen || chosen->empty() || size_t(chosen->front()) >= saFiles.size()) return "";
  return saFiles[size_t(chosen->front())];
}

int CBackupRestore::Restore(CDatabase& db) {
  if (!db.IsDatabaseOpen() || !OnFileRestoreAskOK(db)) return 2;
  const std::string sDrive = GetRemovableDriveLetter("Drive for restore", false);
  if (sDrive.empty()) return 2;
  // The archive is unpacked from the drive itself: nothing beside the
  // database (its own generations) is overwritten on the way.
  const std::string sFile =
      ChooseBackupFile(GetArchivesInFolder(sDrive, FileNameOf(db.DatabaseName())));
  return sFile.empty() ? 2 : DoFileRestore(db, sFile);
}

int CBackupRestore::RestoreFromFile(CDatabase& db) {
  if (!db.IsDatabaseOpen() || !OnFileRestoreAskOK(db)) return 2;
  const std::string sFile = ChooseBackupFile(GetBackupFiles(db.DatabaseName()));
  return sFile.empty() ? 2 : DoFileRestore(db, sFile);
}

void CBackupRestore::ReportReopened(bool bOpen) {
  if (m_fnReopened) m_fnReopened(bOpen);
}

int CBackupRestore::DoFileRestore(CDatabase& db, const std::string& sFile) {
  if (!db.IsDatabaseOpen()) return 2;
  m_sKeptAs.clear();
  const std::string sRoot = db.DatabaseName();
  CRestoreJob job(sRoot + ".dbm", sFile);
  if (!PrepareRestore(job, sFile)) return 0;
  // Alone from here through the replace to the reopen: the exclusive hold
  // keeps every other copy from opening the file in between.
  if (db.CountOnLine() >= 2 || !db.IsAloneOnFile() || !db.HoldFileExclusively()) {
    Show(kOtherUsers);
    return 2;
  }
  if (m_fnLeaveView) m_fnLeaveView();
  const int nNetworked = AppSettings().nNetworkDisable ? 0 : 1;
  db.CloseDatabase();
  std::unique_ptr<CSharedFile> pHeld = db.TakeHeldFile();
  const bool bReplaced = job.Replace(pHeld);
  if (!bReplaced) Show(job.Error() + kUnchanged);
  const auto fnReopen = [&] {
    db.HandOverHeldFile(std::move(pHeld));
    const bool bOpen = db.OpenDatabase(sRoot, nNetworked) == 1;
    pHeld = db.TakeHeldFile();  // a handle the open did not take over
    return bOpen;
  };
  bool bOpen = fnReopen();
  // The restore is done only when the restored file opened: an open of the
  // previous database put back is no success.
  const bool bRestored = bReplaced && bOpen;
  if (bReplaced && !bOpen) {
    if (job.PutBack(pHeld)) {
      bOpen = fnReopen();
      Show(StrFormat("The restored database %s.dbm could not be opened.\nThe previous database was "
                     "put back.",
                     sRoot.c_str()));
    } else {
      Show(job.Error());
    }
  }
  pHeld.reset();
  if (bRestored) m_sKeptAs = job.KeptAs();
  ReportReopened(bOpen);
  return bRestored ? 1 : 0;
}

int CBackupRestore::RestoreClosedFile(const std::string& sFile, const std::string& sDbPath) {
  m_sKeptAs.clear();
  const bool bExists = FileExists(sDbPath);
  if (!MayRestoreHere(sDbPath, 1, !bExists || HoldDatabaseFile(sDbPath) != nullptr)) return 2;
  if (bExists && !AskOverwrite()) return 2;
  CRestoreJob job(sDbPath, sFile);
  if (!PrepareRestore(job, sFile)) return 0;
  std::unique_ptr<CSharedFile> pHeld;
  if (bExists && !(pHeld = HoldDatabaseFile(sDbPath))) {
    Show(kOtherUsers);
    return 2;
  }
  if (!job.Replace(pHeld)) {
    Show(job.Error() + kUnchanged);
    return 0;
  }
  m_sKeptAs = job.KeptAs();
  return 1;
}
