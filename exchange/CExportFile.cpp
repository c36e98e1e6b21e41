#include "exchange/CExportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

bool WriteAll(int nFd, std::string_view s) {
  while (!s.empty()) {
    const ssize_t n = ::write(nFd, s.data(), s.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    s.remove_prefix(size_t(n));
  }
  return true;
}

std::string CreateError(const std::string& sPath, int nErr) {
  return StrFormat("The export file %s could not be created: %s.", sPath.c_str(), std::strerror(nErr));
}

std::string WriteError(const std::string& sPath, int nErr) {
  return StrFormat("The export file %s could not be written: %s. Nothing was exported.", sPath.c_str(),
                   std::strerror(nErr));
}

// A new, empty file beside sPath with a name of its own; -1 when none can be made.
int CreateBeside(const std::string& sPath, std::string& sTemp) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string sBase = JoinPath(FolderOf(sPath), ".");
  sBase += FileNameOf(sPath);
  sBase += '.';
  for (int nTry = 0; nTry < 100; ++nTry) {
    sTemp = sBase;
    for (int i = 0; i < 8; ++i) sTemp += kLetters[random() % (sizeof kLetters - 1)];
    const int nFd = ::open(sTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (nFd >= 0 || errno != EEXIST) return nFd;
  }
  return -1;
}

bool SaveInPlace(const std::string& sPath, std::string_view sContent, std::string& sError) {
  const int nFd = ::open(sPath.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (nFd < 0) {
    sError = CreateError(sPath, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(nFd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    ::close(nFd);  // it was replaced by something else after the name was looked at
    sError = CreateError(sPath, EEXIST);
    return false;
  }
  bool bOk = CExportFile::WriteDescriptor(nFd, sContent, sPath, sError);
  if (::close(nFd) != 0 && bOk) {
    sError = WriteError(sPath, errno);
    bOk = false;
  }
  return bOk;
}

}  // namespace

bool CExportFile::Save(const std::string& sPath, std::string_view sContent, std::string& sError) {
  struct stat st {};
  if (::lstat(sPath.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)))
    return SaveInPlace(sPath, sContent, sError);
  std::string sTemp;
  const int nFd = CreateBeside(sPath, sTemp);
  if (nFd < 0) {
    sError = CreateError(sPath, errno);
    return false;
  }
  bool bOk = WriteAll(nFd, sContent) && ::fsync(nFd) == 0;
  int nErr = errno;
  if (::close(nFd) != 0 && bOk) {
    bOk = false;
    nErr = errno;
  }
  if (bOk && ::rename(sTemp.c_str(), sPath.c_str()) == 0) return true;
  if (bOk) nErr = errno;
  ::unlink(sTemp.c_str());
  sError = WriteError(sPath, nErr);
  return false;
}

bool CExportFile::WriteDescriptor(int nFd, std::string_view sContent, const std::string& sName,
                                  std::string& sError) {
  if (WriteAll(nFd, sContent)) return true;
  sError = WriteError(sName, errno);
  return false;
}
