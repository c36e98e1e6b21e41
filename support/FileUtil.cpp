#include "support/FileUtil.h"
#include "support/IoFault.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::string EnvOr(const char* pName, const std::string& sFallback) {
  const char* p = std::getenv(pName);
  return (p && *p) ? std::string(p) : sFallback;
}

std::string HomeFolder() { return EnvOr("HOME", "/tmp"); }

// Creates every missing folder of sPath with nMode.
bool MakeFolders(const std::string& sPath, int nMode) {
  if (sPath.empty()) return false;
  for (size_t i = 1; i <= sPath.size(); ++i) {
    if (i < sPath.size() && sPath[i] != '/') continue;
    const std::string sPart = sPath.substr(0, i);
    if (::mkdir(sPart.c_str(), mode_t(nMode)) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(sPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int nFd, const std::string& s) {
  size_t nDone = 0;
  while (nDone < s.size()) {
    const ssize_t n = FaultableWrite(nFd, s.data() + nDone, s.size() - nDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    nDone += size_t(n);
  }
  return true;
}

}  // namespace

std::string GetProgramFolder() {
  std::string sFolder = EnvOr("KELVO_HOME", "");
  if (sFolder.empty()) sFolder = EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config") + "/kelvo";
  return MakeFolders(sFolder, 0700) ? sFolder : std::string();
}

std::string GetDataFolder() {
  const std::string sFolder =
      EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share") + "/kelvo";
  MakeFolders(sFolder, 0700);
  return sFolder;
}

std::string ProgramFile(const std::string& sName) { return JoinPath(GetProgramFolder(), sName); }

bool FileExists(const std::string& sPath) {
  struct stat st {};
  return ::stat(sPath.c_str(), &st) == 0;
}

bool MakeFolder(const std::string& sPath, int nMode) { return MakeFolders(sPath, nMode); }

bool ReadWholeFile(const std::string& sPath, std::string& sOut) {
  sOut.clear();
  const int nFd = ::open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) return false;
  char cBuf[65536];
  bool bOk = true;
  for (;;) {
    const ssize_t n = ::read(nFd, cBuf, sizeof cBuf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) bOk = false;
    if (n <= 0) break;
    sOut.append(cBuf, size_t(n));
  }
  ::close(nFd);
  return bOk;
}

bool WriteFileAtomic(const std::string& sPath, const std::string& sContent, int nMode) {
  const std::string sTemp = sPath + ".new";
  ::unlink(sTemp.c_str());
  const int nFd = ::open(sTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode_t(nMode));
  if (nFd < 0) return false;
  // The error of the step that failed, never one left from an earlier call.
  int nErr = 0;
  if (!WriteAll(nFd, sContent) || FaultableFsync(nFd) != 0) nErr = errno ? errno : EIO;
  if (::close(nFd) != 0 && !nErr) nErr = errno;
  if (!nErr && ::rename(sTemp.c_str(), sPath.c_str()) == 0) return true;
  if (!nErr) nErr = errno;
  ::unlink(sTemp.c_str());
  errno = nErr;
  return false;
}

bool FileCopy(const std::string& sFrom, const std::string& sTo, bool bFailIfExists) {
  if (bFailIfExists && FileExists(sTo)) return false;
  std::string sContent;
  if (!ReadWholeFile(sFrom, sContent)) return false;
  struct stat st {};
  const int nMode = ::stat(sFrom.c_str(), &st) == 0 ? int(st.st_mode & 0777) : 0600;
  return WriteFileAtomic(sTo, sContent, nMode);
}

std::string FileNameOf(const std::string& sPath) {
  const size_t n = sPath.find_last_of('/');
  return n == std::string::npos ? sPath : sPath.substr(n + 1);
}

std::string FolderOf(const std::string& sPath) {
  const size_t n = sPath.find_last_of('/');
  if (n == std::string::npos) return ".";
  return n == 0 ? "/" : sPath.substr(0, n);
}

std::string RootNameOf(const std::string& sPath) {
  const std::string sName = FileNameOf(sPath);
  const size_t n = sName.find_last_of('.');
  return (n == std::string::npos || n == 0) ? sName : sName.substr(0, n);
}

std::string JoinPath(const std::string& sFolder, const std::string& sName) {
  if (sFolder.empty()) return sName;
  return sFolder.back() == '/' ? sFolder + sName : sFolder + "/" + sName;
}
