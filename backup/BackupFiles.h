#pragma once
// Names and file work of the backup archives: the generations R.zp0 (newest)
// to R.zp<G-1>, the backups offered for a restore, and copies that are
// written to a temporary name, flushed and only then renamed into place.

#include <string>
#include <vector>

// The most generations kept, and the largest database file or archive
// entry a restore accepts (every location of a database file is 32-bit).
inline constexpr int kMaxGenerations = 10;
inline constexpr unsigned long long kMaxDatabaseBytes = 1ULL << 32;

// "%s.zp%i": generation n of the archives of root path sRoot.
std::string GenerationName(const std::string& sRoot, int n);
// The number-of-backup-files setting as a generation count: 1 to 10 (0
// keeps the newest archive only, as 1 does).
int GenerationCount(int nSetting);

// Shifts the generations of sRoot one place up (the oldest of nGenerations
// is overwritten) and returns the new names of those that moved, oldest
// first. The caller holds the rotation lock. False (errno set) when a rename
// failed; what moved before stays moved.
bool ShiftBackupFiles(const std::string& sRoot, int nGenerations,
                      std::vector<std::string>& saShifted);

// The backups of root path sRoot on this computer: R.BAK, R.BK*, R.zp0 and
// R.zp*, regular files only, in that order.
std::vector<std::string> GetBackupFiles(const std::string& sRoot);
// The archives N.zp* in a folder (a removable drive), newest generation first.
std::vector<std::string> GetArchivesInFolder(const std::string& sFolder, const std::string& sName);

// A plain copy of a database (".BAK", ".BK*"), told by its extension.
bool IsPlainCopyName(const std::string& sPath);
// A ZIP archive, told by its signature.
bool HasZipSignature(const std::string& sPath);
// "%s [%s]": a file's name and the time it was written ("%m/%d/%Y %I:%M%p").
std::string BackupFileItem(const std::string& sPath);

// The outcome of one copy: 0 or the errno of the failure, and whether the
// source (rather than the target) failed.
struct stCopyResult {
  int nError = 0;
  bool bSourceFailed = false;
};
// Copies sFrom to sTo through a temporary file beside sTo that is flushed
// and renamed over sTo, then flushes the folder. At most kMaxDatabaseBytes
// are copied (EFBIG beyond); the source must be a regular file.
stCopyResult CopyFileDurably(const std::string& sFrom, const std::string& sTo);
// Flushes a folder, so that renames in it survive a power loss.
bool SyncFolder(const std::string& sFolder);

// CopyFileDurably with the user's retries: every failure is shown by its
// reason, and where a retry makes sense the copy runs again while the user
// answers Yes. 0 copied, 1 not copied.
int FileCopyWithRetry(const std::string& sFrom, const std::string& sTo);
