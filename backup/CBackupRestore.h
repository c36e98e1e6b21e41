#pragma once
// The Backup and Restore commands of the open database, with every question
// and text they show, for the program and the tool alike. The main frame
// calls:
//   Backup          File, Backup and Ctrl+B
//   BackupOnClose   first step of closing the window
//   Restore         File, Restore from a removable drive
//   RestoreFromFile File, Restore from a backup on this computer
// and gets told through the view hooks when the database is about to close
// for a restore and whether it is open again afterwards.
//
// Results: 1 done, 2 cancelled or refused (nothing changed), 0 failed (the
// user was told why).

#include <functional>
#include <string>
#include <vector>

class CDatabase;
class CRemovableDrives;

class CBackupRestore {
 public:
  // The drive choice's answer for "Backup to hard drive only".
  static constexpr const char* kHardDrive = "HARD_DRIVE";

  explicit CBackupRestore(CRemovableDrives& drives) : m_drives(drives) {}

  // fnLeaveView runs before the database closes for a restore; fnReopened
  // gets whether a database is open after it (the frame shows the schedule
  // view then, or the closed state).
  void SetViewHooks(std::function<void()> fnLeaveView, std::function<void(bool)> fnReopened);

  // ---- backup ----
  // The archives beside the database, then the copies on the chosen drive.
  // The data refresh is off throughout; success clears the data-changed mark.
  int Backup(CDatabase& db);
  // Backup when data changed since the last one; otherwise nothing (1).
  int BackupOnClose(CDatabase& db);
  // The archives under another root path (sArchiveRoot.zp0 ...) with a given
  // number of generations, no drive: the tool's backup.
  int BackupTo(CDatabase& db, const std::string& sArchiveRoot, int nGenerations,
               std::vector<std::string>* pWritten = nullptr);

  // ---- restore ----
  int Restore(CDatabase& db);
  int RestoreFromFile(CDatabase& db);
  // Replaces the open database by a backup file and reopens it.
  int DoFileRestore(CDatabase& db, const std::string& sFile);
  // The same for a database file no copy has open (the tool): asks, then
  // replaces sDbPath (which need not exist yet).
  int RestoreClosedFile(const std::string& sFile, const std::string& sDbPath);
  // Where the old file was kept by the last restore (empty: none).
  const std::string& KeptAs() const { return m_sKeptAs; }

  // ---- choosing a drive ----
  // The list of removable drives (the last used one first), "Other folder..."
  // and with bOfferHardDrive "Backup to hard drive only". A drive's folder,
  // kHardDrive, or empty on Cancel.
  std::string GetRemovableDriveLetter(const std::string& sPrompt, bool bOfferHardDrive);

 private:
  // Refusals before anything is asked: not this computer's disk, other users.
  bool MayRestoreHere(const std::string& sDbPath, unsigned nUsersOnLine, bool bAlone);
  // Permission for the open database, then "Are you sure?". True to go on.
  bool OnFileRestoreAskOK(CDatabase& db);
  bool AskOverwrite();
  // The backups offered under "Restore from"; the chosen one or empty.
  std::string ChooseBackupFile(const std::vector<std::string>& saFiles);
  void ReportReopened(bool bOpen);

  CRemovableDrives& m_drives;
  std::function<void()> m_fnLeaveView;
  std::function<void(bool)> m_fnReopened;
  std::string m_sKeptAs;
};
