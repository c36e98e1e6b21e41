#pragma once
// Replacing a database file by a backup without ever destroying the live
// file. Prepare copies (a ".BAK"/".BK*" copy) or unpacks (a ZIP archive) the
// backup into a private temporary file in the database's folder and checks
// it: size, format version 0, the first record header's "UU" at 1024 and an
// integrity test without findings. Replace keeps the old file as one R.BK<n>
// (a second name of the same file where the file system allows, else a
// copy) and renames the checked file over the database's name, so the name
// never stands empty and nothing is written outside the folder.
//
// The caller keeps every other copy out meanwhile: it passes the handle that
// holds the old file exclusively, and gets back one that holds the new file.

#include <memory>
#include <string>

#include "backup/CTempFile.h"

class CSharedFile;

class CRestoreJob {
 public:
  CRestoreJob(std::string sDbPath, std::string sBackup);
  ~CRestoreJob();

  // True when the backup is ready in the temporary file; Error() says why not.
  bool Prepare();
  // pHeld: in, the handle holding the old file (null when there is no
  // database file); out, one holding the new file. False (Error() set) when
  // the database file was left as it was.
  bool Replace(std::unique_ptr<CSharedFile>& pHeld);
  // After a replaced file could not be opened: the kept old file goes back
  // under the database's name. pHeld as for Replace (null: the new file
  // is no longer held; it is put back only when no copy has it open).
  bool PutBack(std::unique_ptr<CSharedFile>& pHeld);

  // A plain copy (true) or an archive.
  bool IsPlainCopy() const { return m_bPlainCopy; }
  const std::string& Error() const { return m_sError; }
  const std::string& KeptAs() const { return m_sKeptAs; }

 private:
  bool Fail(const std::string& sText);
  bool CopyInto(int nFd);
  bool UnpackInto(int nFd);
  bool VerifyDatabase();
  // Gives the old file its R.BK<n> name.
  bool KeepOldFile();

  std::string m_sDbPath;
  std::string m_sBackup;
  bool m_bPlainCopy = false;
  std::unique_ptr<CTempFile> m_pTemp;
  std::string m_sError;
  std::string m_sKeptAs;
};
