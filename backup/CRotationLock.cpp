#include "backup/CRotationLock.h"

#include <fcntl.h>
#include <unistd.h>

#include "engine/CSharedFile.h"

CRotationLock::CRotationLock(const std::string& sDbPath) {
  m_nFd = ::open(sDbPath.c_str(), O_RDWR | O_CLOEXEC);
  if (m_nFd < 0) return;
  m_bLocked = CSharedFile::WaitForByteLock(m_nFd, kRotationByte);
}

CRotationLock::~CRotationLock() {
  if (m_nFd >= 0) ::close(m_nFd);  // drops the lock
}
