#pragma once
// Shared file access of the record file engine: every byte the engine reads
// from or writes to the database file passes through here. While more than
// one user is on line, writes are locked, flushed and verified; a locked
// access waits with a wait box while another copy holds the range. The layer
// also serves reads from a copy of the whole file while the header list is
// being built.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/CSharedFile.h"
#include "engine/DbFormat.h"

class CDialogWaitBox;

// The three steps of one locked access, plus the count transferred. bFailed
// marks a fault that must not be retried (full disk, I/O error, short
// transfer, failed verification); the sequence then only unlocks.
struct stAccessSteps {
  bool bLocked = false;
  bool bAccessed = false;
  bool bUnlocked = false;
  bool bFailed = false;
  uint32_t nCount = 0;
};

class CDbFileAccess {
 public:
  CDbFileAccess();
  virtual ~CDbFileAccess();
  CDbFileAccess(const CDbFileAccess&) = delete;
  CDbFileAccess& operator=(const CDbFileAccess&) = delete;

  // Opens the file for shared reading and writing: an existing one, or with
  // bCreate a new one (O_EXCL). Empty on failure.
  std::unique_ptr<CSharedFile> OpenSharedFile(const std::string& sPath, bool bCreate = false);

  // The engine's read: from the whole-file buffer while it exists, else
  // locked (with bLock) or plain. Returns the bytes read, 0 on failure.
  uint32_t ReadDbBlock(uint32_t nLoc, void* pBuffer, uint32_t nSize, bool bLock);
  // The engine's write: locked, flushed and verified when bLock is set and
  // more than one user is on line, else a plain write. Never to the buffer.
  uint32_t WriteDbBlock(uint32_t nLoc, const void* pBuffer, uint32_t nSize, bool bLock);

  // Locked access; waits with a wait box while the range is in use. A write
  // is flushed and read back inside the locked range.
  enum class eAccess : char { Read = 'R', Write = 'W' };
  uint32_t LockedAccessFileBlock(eAccess nDirection, CSharedFile* pFile, uint32_t nLoc, void* pBuffer,
                                 uint32_t nSize, const char* pCaller);
  // One step of lock, access, unlock, chosen by the flags.
  void DoAccessFileBlock(eAccess nDirection, CSharedFile* pFile, uint32_t nLoc, void* pBuffer, uint32_t nSize,
                         stAccessSteps& steps);
  // 1 when the bytes at nLoc equal pBuffer (read back into a buffer that can
  // not match by accident); tries again up to 501 reads, or until the wait
  // box is aborted.
  int TestFileBlockWrite(CSharedFile* pFile, uint32_t nLoc, const void* pBuffer, uint32_t nSize,
                         CDialogWaitBox* pBox);
  // Plain accesses; they wait briefly only while another copy has the range.
  uint32_t ReadFileBlockNoLock(CSharedFile* pFile, uint32_t nLoc, void* pBuffer, uint32_t nSize);
  uint32_t WriteFileBlockUnflushed(CSharedFile* pFile, uint32_t nLoc, const void* pBuffer, uint32_t nSize);
  // Locks the whole file, flushes it, unlocks. 1 done, 0 failed.
  int LockAndFlush(CSharedFile* pFile);
  // File size (low 32 bits), 0xFFFFFFFF on failure.
  uint32_t GetFileSizeFromHandle(CSharedFile* pFile);

  // The held-range primitive: locks [nLoc, nLoc + nSize) of the open file for
  // a read-modify-write that must be atomic between copies, waiting (wait box,
  // abortable) while another copy holds it. 1 held, 0 failed or aborted.
  int HoldRange(uint32_t nLoc, uint32_t nSize, const char* pCaller);
  void ReleaseRange(uint32_t nLoc, uint32_t nSize);

  // Users on line (1 + connected peers); the locking rule tests it.
  unsigned GetUsersOnLine() const { return m_nUsersOnLine; }
  void SetUsersOnLine(unsigned nUsers) { m_nUsersOnLine = nUsers; }

  bool IsOpen() const { return m_bIsOpen; }
  CSharedFile* FileHandle() const { return m_pFile.get(); }
  // The open database's path without ".dbm" (the reopen uses "%s.dbm").
  const std::string& DatabaseName() const { return m_sDatabaseName; }

  // Whole-file buffer (present while the header list is built, or kept).
  bool HasFileBuffer() const { return m_pFileBuffer != nullptr; }
  uint32_t FileBufferSize() const { return m_nFileBufferSize; }
  void FreeFileBuffer();

  // Called when the user answers Yes (terminate) to the file-size question.
  void SetQuitHandler(std::function<void()> fn) { m_fnQuit = std::move(fn); }

 protected:
  // Loads the whole file into the whole-file buffer with one read; on failure
  // the error code is stored. 1 done, 0 failed.
  int LoadFileBuffer(uint32_t nFileSize, int& nError);
  // The initial try and the wait of a locked access.
  bool RunAccessSteps(eAccess nDirection, CSharedFile*& pFile, uint32_t nLoc, void* pBuffer, uint32_t nSize,
                      stAccessSteps& steps, const char* pCaller);
  // The file-size check of a stuck access, with the terminate / continue /
  // reopen question. Returns false when the user chose to terminate.
  bool CheckHandleOrAsk(CSharedFile*& pFile, const std::string& sWaitText);
  // Takes a hold, retrying briefly while another copy has the range.
  eIoResult TryHold(CSharedFile* pFile, uint32_t nLoc, uint32_t nSize);
  // Reopens "%s.dbm" of the open database; only the same file is accepted.
  bool ReopenSameFile(CSharedFile*& pFile);

  bool m_bIsOpen = false;
  bool m_bReadOnly = false;
  std::unique_ptr<CSharedFile> m_pFile;
  std::string m_sDatabaseName;
  unsigned m_nUsersOnLine = 1;
  struct stFreeBuffer {
    void operator()(uint8_t* p) const;
  };
  using CFileBuffer = std::unique_ptr<uint8_t[], stFreeBuffer>;
  // Room for the whole-file buffer; for a big file in huge pages, so that
  // the read into it faults in a few pages instead of one per 4 KB.
  static CFileBuffer AllocateFileBuffer(uint32_t nSize);
  CFileBuffer m_pFileBuffer;
  uint32_t m_nFileBufferSize = 0;
  int m_bLastByteReadFailed = 0;
  std::function<void()> m_fnQuit;
};
