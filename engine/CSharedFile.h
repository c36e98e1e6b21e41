#pragma once
// One open handle of a database file shared by several program copies.
//
// Byte-range locks are open-file-description locks (F_OFD_SETLK), which
// conflict between any two handles, also two handles of one process. Linux
// locks are advisory, so every read and write of this class that is not
// covered by a range this handle holds first takes its own short lock on the
// accessed bytes: a range another copy holds is unavailable to this copy for
// the duration of the access. OFD locks of one handle merge, so the class
// keeps the list of ranges it holds and never takes or drops a short lock
// over them.
//
// The presence lock is a read lock on the byte at 2^32, beyond every 32-bit
// location: every copy with the database open holds it, so a copy is alone
// when a probe for a write lock on that byte succeeds.
//
// Errors are classified: a lock conflict is IO_LOCKED (the only result worth
// waiting on); everything else, short transfers included, is IO_FAILED.

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/IoFault.h"

enum eIoResult : int { IO_OK = 0, IO_LOCKED = 1, IO_FAILED = 2 };

class CSharedFile {
 public:
  static constexpr uint64_t kPresenceByte = uint64_t(1) << 32;
  static constexpr uint64_t kCloseTurnByte = kPresenceByte + 2;
  // User number u is claimed by a write lock on the byte kUserLockBase + u.
  static constexpr uint64_t kUserLockBase = kPresenceByte + 16;

  CSharedFile() = default;
  ~CSharedFile();
  CSharedFile(const CSharedFile&) = delete;
  CSharedFile& operator=(const CSharedFile&) = delete;

  // Opens an existing file (O_RDWR, or O_RDONLY with bReadOnly; O_CLOEXEC).
  bool OpenExisting(const std::string& sPath, bool bReadOnly = false);
  // Creates a new file with O_CREAT | O_EXCL, mode 0660 less the umask.
  bool CreateNew(const std::string& sPath);
  // IO_FAILED when close reported an error (a share may report a failed
  // write only then); the handle is gone either way.
  eIoResult Close();

  bool IsOpen() const { return m_nFd >= 0; }
  bool IsReadOnly() const { return m_bReadOnly; }
  int Fd() const { return m_nFd; }
  const std::string& Path() const { return m_sPath; }
  // errno of the last failure of this handle (0 after success).
  int LastError() const { return m_nLastError; }
  // True when both handles refer to the same file (device and inode).
  bool SameFileAs(const CSharedFile& other) const;
  // True when the path names this handle's file now: false once another
  // copy renamed a different file over that name.
  bool NamesFile(const std::string& sPath) const;

  // File size, or -1 on failure.
  int64_t Size();
  eIoResult Truncate(uint64_t nSize);

  // Positioned read and write of exactly nSize bytes (looped); a short
  // transfer is IO_FAILED. *pDone receives the bytes transferred.
  eIoResult Read(uint64_t nLoc, void* pBuffer, size_t nSize, size_t* pDone = nullptr);
  eIoResult Write(uint64_t nLoc, const void* pBuffer, size_t nSize, size_t* pDone = nullptr);
  // Counts every change asked of the file through this handle (writes and
  // truncations, done or failed): a lock holder compares it to tell whether
  // it wrote anything while it held the lock.
  uint64_t ChangeCount() const { return m_nChanges; }
  // fdatasync. A failure is final: the writes it covers have failed.
  eIoResult Flush();
  // Starts writing the range to disk without waiting for it and without a
  // flush of the device, so that a later Flush has less left to wait for.
  // An error of those writes is not lost: the next Flush reports it.
  void StartWriteBack(uint64_t nLoc, uint64_t nSize);
  // Flush, then the close of a duplicate handle: a network share sends what
  // it still holds and reports its errors at close. The locks stay.
  eIoResult FlushForClose();

  // Holds (locks exclusively) or releases a byte range. Holds nest: a range
  // stays locked while any hold covers it.
  eIoResult Hold(uint64_t nLoc, uint64_t nSize);
  eIoResult Release(uint64_t nLoc, uint64_t nSize);
  // True when every byte of the range is covered by a hold of this handle.
  bool IsHeld(uint64_t nLoc, uint64_t nSize) const;
  size_t HoldCount() const { return m_holds.size(); }

  // Presence lock: shared for an ordinary open, exclusive while a copy
  // creates or replaces the file; Share turns an exclusive one shared.
  eIoResult TakePresence(bool bExclusive);
  eIoResult SharePresence();
  // True when no other handle holds the presence lock.
  bool IsAlone();
  // Closing copies take turns: the turn is a write lock on the byte after
  // the presence byte, waited for, and given up with the handle (after its
  // presence lock) or by EndCloseTurn. So of two copies that close at once
  // the second sees the first gone and knows it is the last.
  bool WaitForCloseTurn();
  // Waits for an OFD write lock on one byte of an open descriptor (a turn
  // between copies, beyond every data lock). True once it is held.
  static bool WaitForByteLock(int nFd, uint64_t nByte);
  void EndCloseTurn();
  // Claims a user number for this handle until it is closed: IO_LOCKED while
  // another handle (of any copy) holds the same number.
  eIoResult ClaimUserNumber(uint8_t nUser);

  // Test seam: every later call on this handle fails with ESTALE, as a
  // handle to a file on a share that went away does.
  void SimulateStaleHandle() { m_bStale = true; }
  // A fault of the handle itself (stale, closed) rather than of one access.
  bool HandleFault() const { return m_nLastError == ESTALE || m_nLastError == EBADF; }

  // Fault injection for tests (support/IoFault.h): the nNth call (1 = the
  // next) of the kind from now on fails with nErrno; with bPersistent every
  // later one fails too.
  static void InjectFault(eIoCall nCall, int nNth, bool bPersistent = false, int nErrno = EIO) {
    InjectIoFault(nCall, nNth, bPersistent, nErrno);
  }
  static void ClearFaults() { ClearIoFaults(); }
  static long CallCount(eIoCall nCall) { return IoCallCount(nCall); }

 private:
  struct stRange {
    uint64_t nStart;
    uint64_t nEnd;  // exclusive
  };

  eIoResult SetLock(short nType, uint64_t nLoc, uint64_t nSize);
  // The parts of [nStart, nEnd) no hold covers.
  std::vector<stRange> Gaps(uint64_t nStart, uint64_t nEnd) const;
  eIoResult LockGaps(short nType, const std::vector<stRange>& gaps);
  // Moves nSize bytes at nLoc under a lock of nLockType on the ranges this
  // handle does not hold yet; fnStep does one pread or pwrite from the offset
  // reached and returns its result. A step that moves nothing fails with
  // nShortError.
  template <class Step>
  eIoResult Transfer(uint64_t nLoc, size_t nSize, size_t* pDone, short nLockType, eIoCall nCall,
                     int nShortError, Step fnStep);
  void UnlockGaps(const std::vector<stRange>& gaps);
  eIoResult Fail(int nErrno);

  bool Usable();

  int m_nFd = -1;
  uint64_t m_nChanges = 0;
  bool m_bReadOnly = false;
  bool m_bStale = false;
  dev_t m_nDev = 0;
  ino_t m_nIno = 0;
  std::string m_sPath;
  int m_nLastError = 0;
  std::vector<stRange> m_holds;
};
