#pragma once
// Packs the open database into the newest backup archive and rotates the
// older generations, without ever writing the live shared file:
//   1. under the database lock the file is copied to a private temporary
//      file, and the lock is given up at once;
//   2. the copy is marked closed properly and its lock bytes are cleared (a
//      backup is a picture of the data, not of the copies that had it open);
//   3. the copy is zipped into a temporary archive, which is flushed and
//      read back (CRC and size);
//   4. only then, under the rotation lock, the generations are shifted and
//      the new archive is renamed to R.zp0.
// A failure at any step leaves every generation as it was and the temporary
// files removed. Failures are shown to the user.

#include <string>
#include <vector>

class CDatabase;
class CDialogWaitBox;

class CBackupPacker {
 public:
  // sArchiveRoot: the archives' root path (R for R.zp0 ...).
  // 1 done, 0 failed (after the message).
  int Pack(CDatabase& db, const std::string& sArchiveRoot, int nGenerations);

  const std::string& Archive() const { return m_sArchive; }
  // The generations that moved up, oldest first.
  const std::vector<std::string>& Shifted() const { return m_saShifted; }

 private:
  // Copies the database file to the descriptor under the database lock.
  bool CopyUnderLock(CDatabase& db, int nFd, uint32_t& nSize, std::string& sError);
  int Failed(const std::string& sText);

  std::string m_sArchive;
  std::vector<std::string> m_saShifted;
};
