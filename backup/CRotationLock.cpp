#include "backup/CRotationLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

CRotationLock::CRotationLock(const std::string& sDbPath) {
  m_nFd = ::open(sDbPath.c_str(), O_RDWR | O_CLOEXEC);
  if (m_nFd < 0) return;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(kRotationByte);
  fl.l_len = 1;
  int nResult;
  while ((nResult = ::fcntl(m_nFd, F_OFD_SETLKW, &fl)) != 0 && errno == EINTR) {
  }
  m_bLocked = nResult == 0;
}

CRotationLock::~CRotationLock() {
  if (m_nFd >= 0) ::close(m_nFd);  // drops the lock
}
