#include "backup/BackupFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "backup/CTempFile.h"
#include "support/CUserInterface.h"
#include "support/FileUtil.h"
#include "support/IoFault.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr size_t kCopyChunk = 1 << 20;

bool IsRegularFile(const std::string& sPath) {
  struct stat st {};
  return ::stat(sPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The names in a folder that begin with sPrefix, sorted.
std::vector<std::string> NamesWithPrefix(const std::string& sFolder, const std::string& sPrefix) {
  std::vector<std::string> saNames;
  DIR* pDir = ::opendir(sFolder.c_str());
  if (!pDir) return saNames;
  while (const dirent* p = ::readdir(pDir)) {
    const std::string sName = p->d_name;
    if (sName.size() > sPrefix.size() && sName.compare(0, sPrefix.size(), sPrefix) == 0)
      saNames.push_back(sName);
  }
  ::closedir(pDir);
  std::sort(saNames.begin(), saNames.end());
  return saNames;
}

// The generation number of an extension "zp<n>", -1 for any other.
int GenerationOf(const std::string& sExt) {
  long long n = -1;
  if (sExt.size() < 3 || !EqualsNoCase(sExt.substr(0, 2), "zp") || !ParseInt(sExt.substr(2), n))
    return -1;
  return n >= 0 && n < 1000 ? int(n) : -1;
}

// The archives "N.zp*" of a folder, by generation (unnumbered ones last).
std::vector<std::string> ArchivesOf(const std::string& sFolder, const std::string& sName) {
  std::vector<std::pair<int, std::string>> items;
  for (const auto& s : NamesWithPrefix(sFolder, sName + ".")) {
    const std::string sExt = s.substr(sName.size() + 1);
    const std::string sPath = JoinPath(sFolder, s);
    if (!EqualsNoCase(sExt.substr(0, 2), "zp") || !IsRegularFile(sPath)) continue;
    const int n = GenerationOf(sExt);
    items.emplace_back(n < 0 ? 1000 : n, sPath);
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> saOut;
  for (auto& [n, s] : items) saOut.push_back(std::move(s));
  return saOut;
}

bool WriteAll(int nFd, const char* p, size_t nSize) {
  while (nSize > 0) {
    const ssize_t n = FaultableWrite(nFd, p, nSize);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    nSize -= size_t(n);
  }
  return true;
}

// The question for a failed copy, and whether it offers a retry.
std::string CopyFailureText(const stCopyResult& r, const std::string& sFrom, const std::string& sTo,
                            bool& bRetry) {
  bRetry = true;
  switch (r.nError) {
    case EEXIST: return StrFormat("File %s exists.\n Overwrite?", sTo.c_str());
    case ENOSPC:
    case EDQUOT: return "Disk is full.\nChange it and try again?";
    case ENOENT:
    case ENOTDIR:
      bRetry = false;
      return StrFormat(r.bSourceFailed ? "File not found in copying %s to %s."
                                       : "Path not found in copying %s to %s.",
                       sFrom.c_str(), sTo.c_str());
    case EACCES:
    case EPERM:
    case EROFS:
      return StrFormat("Access denied in copying %s to %s.\nTry again?", sFrom.c_str(), sTo.c_str());
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
      return StrFormat("Device not ready in copying %s to %s.\nTry again?", sFrom.c_str(),
                       sTo.c_str());
    default:
      return StrFormat("Error %i in copying %s to %s.\nTry again?", r.nError, sFrom.c_str(),
                       sTo.c_str());
  }
}

}  // namespace

std::string GenerationName(const std::string& sRoot, int n) {
  return StrFormat("%s.zp%i", sRoot.c_str(), n);
}

int GenerationCount(int nSetting) { return std::clamp(nSetting, 1, kMaxGenerations); }

bool ShiftBackupFiles(const std::string& sRoot, int nGenerations,
                      std::vector<std::string>& saShifted) {
  saShifted.clear();
  for (int n = GenerationCount(nGenerations) - 2; n >= 0; --n) {
    const std::string sFrom = GenerationName(sRoot, n);
    if (!FileExists(sFrom)) continue;
    const std::string sTo = GenerationName(sRoot, n + 1);
    if (std::rename(sFrom.c_str(), sTo.c_str()) != 0) return false;
    saShifted.push_back(sTo);
  }
  return true;
}

std::vector<std::string> GetBackupFiles(const std::string& sRoot) {
  const std::string sFolder = FolderOf(sRoot);
  const std::string sName = FileNameOf(sRoot);
  std::vector<std::string> saBak, saBk;
  for (const auto& s : NamesWithPrefix(sFolder, sName + ".")) {
    const std::string sExt = ToUpper(s.substr(sName.size() + 1));
    const std::string sPath = JoinPath(sFolder, s);
    if (!IsRegularFile(sPath)) continue;
    if (sExt == "BAK") saBak.push_back(sPath);
    else if (sExt.rfind("BK", 0) == 0) saBk.push_back(sPath);
  }
  std::vector<std::string> saOut = saBak;
  saOut.insert(saOut.end(), saBk.begin(), saBk.end());
  const auto saZip = ArchivesOf(sFolder, sName);
  saOut.insert(saOut.end(), saZip.begin(), saZip.end());
  return saOut;
}

std::vector<std::string> GetArchivesInFolder(const std::string& sFolder, const std::string& sName) {
  return ArchivesOf(sFolder, sName);
}

bool IsPlainCopyName(const std::string& sPath) {
  const std::string sName = ToUpper(FileNameOf(sPath));
  const size_t nDot = sName.find_last_of('.');
  if (nDot == std::string::npos || nDot == 0) return false;
  const std::string sExt = sName.substr(nDot + 1);
  return sExt == "BAK" || sExt.rfind("BK", 0) == 0;
}

bool HasZipSignature(const std::string& sPath) {
  const int nFd = ::open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) return false;
  char c[4] = {};
  const bool bZip = ::read(nFd, c, 4) == 4 && c[0] == 'P' && c[1] == 'K' && c[2] == 3 && c[3] == 4;
  ::close(nFd);
  return bZip;
}

std::string BackupFileItem(const std::string& sPath) {
  struct stat st {};
  char cTime[32] = "";
  if (::stat(sPath.c_str(), &st) == 0) {
    struct tm tmLocal {};
    localtime_r(&st.st_mtime, &tmLocal);
    std::strftime(cTime, sizeof cTime, "%m/%d/%Y %I:%M%p", &tmLocal);
  }
  return StrFormat("%s [%s]", FileNameOf(sPath).c_str(), cTime);
}

bool SyncFolder(const std::string& sFolder) {
  const int nFd = ::open(sFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (nFd < 0) return false;
  const bool bOk = FaultableFsync(nFd) == 0 || errno == EINVAL;  // some file systems cannot
  ::close(nFd);
  return bOk;
}

stCopyResult CopyFileDurably(const std::string& sFrom, const std::string& sTo) {
  stCopyResult r;
  const int nIn = ::open(sFrom.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (nIn < 0 || ::fstat(nIn, &st) != 0 || !S_ISREG(st.st_mode)) {
    r = {nIn < 0 ? errno : EINVAL, true};
    if (nIn >= 0) ::close(nIn);
    return r;
  }
  CTempFile temp(FolderOf(sTo), FileNameOf(sTo));
  if (!temp.IsCreated()) {
    r.nError = errno;
    ::close(nIn);
    return r;
  }
  std::vector<char> cBuffer(kCopyChunk);
  unsigned long long nTotal = 0;
  for (;;) {
    const ssize_t n = FaultableRead(nIn, cBuffer.data(), cBuffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) r = {errno, true};
    if (n <= 0) break;
    nTotal += size_t(n);
    if (nTotal > kMaxDatabaseBytes) r = {EFBIG, true};
    else if (!WriteAll(temp.Fd(), cBuffer.data(), size_t(n))) r.nError = errno;
    if (r.nError) break;
  }
  ::close(nIn);
  if (!r.nError && !temp.RenameTo(sTo)) r.nError = errno ? errno : EIO;
  if (!r.nError && !SyncFolder(FolderOf(sTo))) r.nError = errno ? errno : EIO;
  return r;
}

int FileCopyWithRetry(const std::string& sFrom, const std::string& sTo) {
  for (;;) {
    const stCopyResult r = CopyFileDurably(sFrom, sTo);
    if (!r.nError) return 0;
    bool bRetry = false;
    const std::string sText = CopyFailureText(r, sFrom, sTo, bRetry);
    if (!bRetry) {
      GetResponse(sText, MB_OK);
      return 1;
    }
    if (GetResponse(sText, MB_YESNO) != IDYES) return 1;
  }
}
