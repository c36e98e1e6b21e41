#include "app/CInstanceLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "support/FileUtil.h"

CInstanceLock::~CInstanceLock() { Release(); }

std::string CInstanceLock::LockFileName(const std::string& sComputerName) {
  std::string sName = "KelvoMutex." + sComputerName + ".lock";
  for (char& c : sName)
    if (c == '/' || c == '\\') c = '_';
  return sName;
}

bool CInstanceLock::Acquire(const std::string& sFolder, const std::string& sComputerName) {
  if (Held()) return true;
  const std::string sPath = JoinPath(sFolder, LockFileName(sComputerName));
  const int nFd = ::open(sPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  m_nOpenError = nFd < 0 ? errno : 0;
  if (nFd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  int nResult;
  do {
    nResult = ::fcntl(nFd, F_OFD_SETLK, &lock);
  } while (nResult != 0 && errno == EINTR);
  if (nResult != 0) {
    ::close(nFd);
    return false;
  }
  m_nFd = nFd;
  return true;
}

void CInstanceLock::Release() {
  if (m_nFd < 0) return;
  ::close(m_nFd);  // closing the only descriptor of the description drops the lock
  m_nFd = -1;
}
