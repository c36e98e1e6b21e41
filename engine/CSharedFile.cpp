#include "engine/CSharedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

CSharedFile::~CSharedFile() { Close(); }

bool CSharedFile::OpenExisting(const std::string& sPath, bool bReadOnly) {
  Close();
  const int nFd = ::open(sPath.c_str(), (bReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (nFd < 0) {
    m_nLastError = errno;
    return false;
  }
  struct stat st {};
  if (::fstat(nFd, &st) != 0 || !S_ISREG(st.st_mode)) {
    m_nLastError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(nFd);
    return false;
  }
  m_nFd = nFd;
  m_bReadOnly = bReadOnly;
  m_sPath = sPath;
  m_nLastError = 0;
  m_nDev = st.st_dev;
  m_nIno = st.st_ino;
  return true;
}

bool CSharedFile::CreateNew(const std::string& sPath) {
  Close();
  const int nFd = ::open(sPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0660);
  if (nFd < 0) {
    m_nLastError = errno;
    return false;
  }
  struct stat st {};
  ::fstat(nFd, &st);
  m_nFd = nFd;
  m_bReadOnly = false;
  m_sPath = sPath;
  m_nLastError = 0;
  m_nDev = st.st_dev;
  m_nIno = st.st_ino;
  return true;
}

eIoResult CSharedFile::Close() {
  eIoResult nResult = IO_OK;
  if (m_nFd >= 0) {
    const int nInjected = IoFaultHit(IO_CALL_CLOSE);
    // Drops every OFD lock of this handle. Not retried on EINTR: the
    // descriptor is released whatever close returns.
    if (::close(m_nFd) != 0 && errno != EINTR)
      nResult = Fail(errno);
    else if (nInjected)
      nResult = Fail(nInjected);
  }
  m_nFd = -1;
  m_bStale = false;
  m_holds.clear();
  return nResult;
}

bool CSharedFile::Usable() {
  if (m_nFd < 0) m_nLastError = EBADF;
  if (m_bStale) m_nLastError = ESTALE;
  return m_nFd >= 0 && !m_bStale;
}

bool CSharedFile::SameFileAs(const CSharedFile& other) const {
  // The identity noted at open: it holds even when this handle went bad.
  return m_nIno != 0 && m_nDev == other.m_nDev && m_nIno == other.m_nIno;
}

bool CSharedFile::NamesFile(const std::string& sPath) const {
  struct stat st {};
  return m_nIno != 0 && ::stat(sPath.c_str(), &st) == 0 && st.st_dev == m_nDev &&
         st.st_ino == m_nIno;
}

eIoResult CSharedFile::Fail(int nErrno) {
  m_nLastError = nErrno;
  return IO_FAILED;
}

int64_t CSharedFile::Size() {
  struct stat st {};
  if (!Usable()) return -1;
  if (::fstat(m_nFd, &st) != 0) {
    m_nLastError = errno;
    return -1;
  }
  return int64_t(st.st_size);
}

eIoResult CSharedFile::Truncate(uint64_t nSize) {
  if (!Usable()) return IO_FAILED;
  ++m_nChanges;
  while (::ftruncate(m_nFd, off_t(nSize)) != 0) {
    if (errno != EINTR) return Fail(errno);
  }
  return IO_OK;
}

template <class Step>
eIoResult CSharedFile::Transfer(uint64_t nLoc, size_t nSize, size_t* pDone, short nLockType,
                                eIoCall nCall, int nShortError, Step fnStep) {
  if (pDone) *pDone = 0;
  if (!Usable()) return IO_FAILED;
  const std::vector<stRange> gaps = Gaps(nLoc, nLoc + nSize);
  const eIoResult nLock = LockGaps(nLockType, gaps);
  if (nLock != IO_OK) return nLock;
  size_t nDone = 0;
  eIoResult nResult = IO_OK;
  while (nDone < nSize) {
    if (const int nInjected = IoFaultHit(nCall)) {
      nResult = Fail(nInjected);
      break;
    }
    const ssize_t n = fnStep(nDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      nResult = Fail(n < 0 ? errno : nShortError);
      break;
    }
    nDone += size_t(n);
  }
  UnlockGaps(gaps);
  if (pDone) *pDone = nDone;
  if (nResult == IO_OK) m_nLastError = 0;
  return nResult;
}

eIoResult CSharedFile::Read(uint64_t nLoc, void* pBuffer, size_t nSize, size_t* pDone) {
  auto* p = static_cast<uint8_t*>(pBuffer);
  // A short read means the end of the file came before nSize bytes.
  return Transfer(nLoc, nSize, pDone, F_RDLCK, IO_CALL_PREAD, ENODATA, [&](size_t nDone) {
    return ::pread(m_nFd, p + nDone, nSize - nDone, off_t(nLoc + nDone));
  });
}

eIoResult CSharedFile::Write(uint64_t nLoc, const void* pBuffer, size_t nSize, size_t* pDone) {
  if (pDone) *pDone = 0;
  if (!Usable()) return IO_FAILED;
  if (m_bReadOnly) return Fail(EBADF);
  ++m_nChanges;
  const auto* p = static_cast<const uint8_t*>(pBuffer);
  return Transfer(nLoc, nSize, pDone, F_WRLCK, IO_CALL_PWRITE, ENOSPC, [&](size_t nDone) {
    return ::pwrite(m_nFd, p + nDone, nSize - nDone, off_t(nLoc + nDone));
  });
}

eIoResult CSharedFile::Flush() {
  if (!Usable()) return IO_FAILED;
  if (const int nInjected = IoFaultHit(IO_CALL_FSYNC)) return Fail(nInjected);
  if (::fdatasync(m_nFd) != 0) return Fail(errno);
  return IO_OK;
}

void CSharedFile::StartWriteBack(uint64_t nLoc, uint64_t nSize) {
  if (m_nFd >= 0 && !m_bStale && !m_bReadOnly)
    ::sync_file_range(m_nFd, off_t(nLoc), off_t(nSize), SYNC_FILE_RANGE_WRITE);
}

eIoResult CSharedFile::FlushForClose() {
  if (Flush() != IO_OK) return IO_FAILED;
  const int nDup = ::dup(m_nFd);
  if (nDup < 0) return Fail(errno);
  // OFD locks belong to the open file description, which the original
  // descriptor keeps: closing the duplicate releases none of them.
  if (const int nInjected = IoFaultHit(IO_CALL_CLOSE)) {
    ::close(nDup);
    return Fail(nInjected);
  }
  if (::close(nDup) != 0 && errno != EINTR) return Fail(errno);
  return IO_OK;
}

eIoResult CSharedFile::ClaimUserNumber(uint8_t nUser) {
  if (!Usable()) return IO_FAILED;
  return SetLock(F_WRLCK, kUserLockBase + nUser, 1);
}

eIoResult CSharedFile::SetLock(short nType, uint64_t nLoc, uint64_t nSize) {
  struct flock fl {};
  fl.l_type = nType;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(nLoc);
  fl.l_len = off_t(nSize);
  fl.l_pid = 0;
  while (::fcntl(m_nFd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) {
      m_nLastError = errno;
      return IO_LOCKED;
    }
    return Fail(errno);
  }
  return IO_OK;
}

std::vector<CSharedFile::stRange> CSharedFile::Gaps(uint64_t nStart, uint64_t nEnd) const {
  std::vector<stRange> covered;
  for (const stRange& r : m_holds)
    if (r.nStart < nEnd && r.nEnd > nStart) covered.push_back(r);
  std::sort(covered.begin(), covered.end(),
            [](const stRange& a, const stRange& b) { return a.nStart < b.nStart; });
  std::vector<stRange> gaps;
  uint64_t nPos = nStart;
  for (const stRange& r : covered) {
    if (r.nStart > nPos) gaps.push_back({nPos, std::min(r.nStart, nEnd)});
    nPos = std::max(nPos, r.nEnd);
    if (nPos >= nEnd) break;
  }
  if (nPos < nEnd) gaps.push_back({nPos, nEnd});
  return gaps;
}

eIoResult CSharedFile::LockGaps(short nType, const std::vector<stRange>& gaps) {
  for (size_t i = 0; i < gaps.size(); ++i) {
    const eIoResult n = SetLock(nType, gaps[i].nStart, gaps[i].nEnd - gaps[i].nStart);
    if (n != IO_OK) {
      UnlockGaps(std::vector<stRange>(gaps.begin(), gaps.begin() + long(i)));
      return n;
    }
  }
  return IO_OK;
}

void CSharedFile::UnlockGaps(const std::vector<stRange>& gaps) {
  for (const stRange& r : gaps) SetLock(F_UNLCK, r.nStart, r.nEnd - r.nStart);
}

eIoResult CSharedFile::Hold(uint64_t nLoc, uint64_t nSize) {
  if (!Usable()) return IO_FAILED;
  if (nSize == 0) return IO_OK;
  // A read-only handle cannot write-lock; its holds only keep writers out.
  const eIoResult n = LockGaps(m_bReadOnly ? F_RDLCK : F_WRLCK, Gaps(nLoc, nLoc + nSize));
  if (n == IO_OK) m_holds.push_back({nLoc, nLoc + nSize});
  return n;
}

eIoResult CSharedFile::Release(uint64_t nLoc, uint64_t nSize) {
  if (!Usable()) return IO_FAILED;
  if (nSize == 0) return IO_OK;
  for (size_t i = m_holds.size(); i-- > 0;) {
    if (m_holds[i].nStart == nLoc && m_holds[i].nEnd == nLoc + nSize) {
      m_holds.erase(m_holds.begin() + long(i));
      UnlockGaps(Gaps(nLoc, nLoc + nSize));
      return IO_OK;
    }
  }
  return Fail(EINVAL);
}

bool CSharedFile::IsHeld(uint64_t nLoc, uint64_t nSize) const {
  return Gaps(nLoc, nLoc + nSize).empty();
}

eIoResult CSharedFile::TakePresence(bool bExclusive) {
  if (!Usable()) return IO_FAILED;
  return SetLock(bExclusive ? F_WRLCK : F_RDLCK, kPresenceByte, 1);
}

eIoResult CSharedFile::SharePresence() {
  if (!Usable()) return IO_FAILED;
  return SetLock(F_RDLCK, kPresenceByte, 1);  // converts in place, never unlocked between
}

bool CSharedFile::IsAlone() {
  if (!Usable()) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(kPresenceByte);
  fl.l_len = 1;
  fl.l_pid = 0;
  if (::fcntl(m_nFd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type == F_UNLCK;
}

bool CSharedFile::WaitForByteLock(int nFd, uint64_t nByte) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(nByte);
  fl.l_len = 1;
  int n;
  while ((n = ::fcntl(nFd, F_OFD_SETLKW, &fl)) != 0 && errno == EINTR) {
  }
  return n == 0;
}

bool CSharedFile::WaitForCloseTurn() { return Usable() && WaitForByteLock(m_nFd, kCloseTurnByte); }

void CSharedFile::EndCloseTurn() {
  if (!Usable()) return;
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(kCloseTurnByte);
  fl.l_len = 1;
  ::fcntl(m_nFd, F_OFD_SETLK, &fl);
}
