#include "backup/CBackupPacker.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "backup/BackupFiles.h"
#include "backup/CRotationLock.h"
#include "backup/CTempFile.h"
#include "backup/CZipArchive.h"
#include "data/CDatabase.h"
#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/IoFault.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr uint32_t kCopyChunk = 1 << 16;

bool WriteAt(int nFd, uint64_t nLoc, const void* p, size_t nSize) {
  return FaultablePwrite(nFd, p, nSize, off_t(nLoc)) == ssize_t(nSize);
}

// A backup copy counts as closed properly and holds no lock of a live copy.
bool MarkCopyClosed(int nFd) {
  uint8_t a[4];
  PutUint32(a, 1);
  const std::vector<uint8_t> cZero(LOC_LOCK_AREA_END - LOC_LOCKALLTABLES_FLAG, 0);
  return WriteAt(nFd, LOC_CLOSED_OK, a, 4) &&
         WriteAt(nFd, LOC_LOCKALLTABLES_FLAG, cZero.data(), cZero.size());
}

}  // namespace

int CBackupPacker::Failed(const std::string& sText) {
  GetResponse(sText, MB_OK);
  return 0;
}

bool CBackupPacker::CopyUnderLock(CDatabase& db, int nFd, uint32_t& nSize, std::string& sError) {
  if (!db.LockDatabase("backup database")) {
    sError = "The database could not be locked.";
    return false;
  }
  nSize = db.GetFileSizeFromHandle(db.FileHandle());
  bool bOk = nSize != DB_NONE && nSize >= DB_HEADER_AREA_SIZE;
  if (!bOk) sError = "The size of the database file cannot be read.";
  std::vector<uint8_t> cBuffer(kCopyChunk);
  for (uint32_t nLoc = 0; bOk && nLoc < nSize;) {
    const uint32_t n = std::min(kCopyChunk, nSize - nLoc);
    if (db.ReadFileBlockNoLock(db.FileHandle(), nLoc, cBuffer.data(), n) != n) {
      sError = StrFormat("The database file cannot be read at %u.", nLoc);
      bOk = false;
    } else if (!WriteAt(nFd, nLoc, cBuffer.data(), n)) {
      sError = StrFormat("Error %i in writing the copy: %s", errno, std::strerror(errno));
      bOk = false;
    }
    nLoc += n;
  }
  db.UnlockDatabase();
  return bOk;
}

int CBackupPacker::Pack(CDatabase& db, const std::string& sArchiveRoot, int nGenerations) {
  m_sArchive.clear();
  m_saShifted.clear();
  const std::string sDbPath = db.DatabaseName() + ".dbm";
  const std::string sFolder = FolderOf(sArchiveRoot);
  const std::string sName = FileNameOf(db.DatabaseName());
  const std::string sPackError = StrFormat("Error in ZIPping %s", sDbPath.c_str());
  CDialogWaitBox* pBox = StartWaitBox(StrFormat("Backing up %s", sDbPath.c_str()));
  struct stEnd {
    CDialogWaitBox* p;
    ~stEnd() { EndWaitBox(p); }
  } end{pBox};

  CTempFile copy(sFolder, sName + ".dbm");
  if (!copy.IsCreated()) return Failed("Error in creating ZIP file.\n" + std::string(std::strerror(errno)));
  uint32_t nSize = 0;
  std::string sError;
  if (!CopyUnderLock(db, copy.Fd(), nSize, sError)) return Failed(sPackError + "\n" + sError);
  if (!MarkCopyClosed(copy.Fd()) || !copy.Close())
    return Failed(sPackError + "\n" + StrFormat("Error %i in writing the copy.", errno));

  pBox->ChangeText(StrFormat("ZIP %s", sDbPath.c_str()));
  CTempFile zip(sFolder, sName + ".zp0");
  if (!zip.IsCreated()) return Failed("Error in creating ZIP file.\n" + std::string(std::strerror(errno)));
  CZipArchive archive;
  const int nZip = archive.ZipFile(copy.Path(), zip.Path(), sName + ".dbm");
  if (nZip == CZipArchive::ZIP_CANNOT_CREATE) return Failed("Error in creating ZIP file.\n" + archive.Error());
  zip.SetModeOf(sDbPath);
  if (nZip != CZipArchive::ZIP_DONE || !zip.Close())
    return Failed(sPackError + "\n" + (archive.Error().empty() ? std::strerror(errno) : archive.Error()));
  if (!archive.TestArchive(zip.Path()) || archive.EntrySize() != nSize)
    return Failed(sPackError + "\nThe archive does not read back: " + archive.Error());

  CRotationLock lock(sDbPath);
  if (!lock.IsLocked())
    return Failed(sPackError + "\n" + StrFormat("Error %i in locking the backup files.", errno));
  const std::string sArchive = GenerationName(sArchiveRoot, 0);
  if (!ShiftBackupFiles(sArchiveRoot, nGenerations, m_saShifted) || !zip.RenameTo(sArchive) ||
      !SyncFolder(sFolder))
    return Failed(sPackError + "\n" +
                  StrFormat("Error %i in renaming the backup files: %s", errno, std::strerror(errno)));
  m_sArchive = sArchive;
  KTRACE("Backup of %s into %s, %u bytes\n", sDbPath.c_str(), sArchive.c_str(), nSize);
  return 1;
}
