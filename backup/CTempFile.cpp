#include "backup/CTempFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/FileUtil.h"
#include "support/IoFault.h"

CTempFile::CTempFile(const std::string& sFolder, const std::string& sPrefix) {
  std::string sTemplate = JoinPath(sFolder, "." + sPrefix + "-XXXXXX");
  const int nFd = ::mkostemp(sTemplate.data(), O_CLOEXEC);
  if (nFd < 0) return;
  m_nFd = nFd;
  m_sPath = sTemplate;
}

CTempFile::~CTempFile() {
  if (m_nFd >= 0) ::close(m_nFd);
  if (!m_sPath.empty()) ::unlink(m_sPath.c_str());
}

bool CTempFile::SetModeOf(const std::string& sModel) {
  struct stat st {};
  if (::stat(sModel.c_str(), &st) != 0) return false;
  return ::chmod(m_sPath.c_str(), st.st_mode & 0666) == 0;
}

bool CTempFile::Close() {
  if (m_nFd < 0) return true;
  bool bOk = FaultableFsync(m_nFd) == 0;
  const int nErr = errno;
  bOk = ::close(m_nFd) == 0 && bOk;
  m_nFd = -1;
  if (!bOk && nErr) errno = nErr;
  return bOk;
}

bool CTempFile::RenameTo(const std::string& sTarget) {
  if (!Close() || std::rename(m_sPath.c_str(), sTarget.c_str()) != 0) return false;
  m_sPath.clear();
  return true;
}
