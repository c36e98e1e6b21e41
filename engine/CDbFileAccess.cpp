#include "engine/CDbFileAccess.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/BackOff.h"
#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr int kInitialTries = 500;             // steps of a locked access before the wait box
constexpr int kPlainTries = 500;               // attempts of a plain access while the range is in use
constexpr int kVerifyReads = 501;              // read-back attempts of TestFileBlockWrite
constexpr int kRewrites = 3;                   // rewrites of a locked write that did not read back equal
constexpr size_t kHugePage = size_t(2) << 20;  // from this size the whole-file buffer asks for huge pages

const char* TrueFalse(bool b) { return b ? "TRUE" : "FALSE"; }

// Every file fault leaves a trace: switch tracing on when it is off.
void TraceFileFault(const std::string& sLine) {
  if (!DiagOn()) {
    SetDiagnosticLevel(1);
    OpenDiagnosticFile();
  }
  WriteDiagnostic(sLine);
}

// Locations are 32-bit; nothing is ever read or written at or past 2^32,
// where the presence lock lives.
bool InFileRange(uint32_t nLoc, uint32_t nSize) { return uint64_t(nLoc) + nSize <= 0xFFFFFFFFull; }

}  // namespace

CDbFileAccess::CDbFileAccess() = default;

CDbFileAccess::~CDbFileAccess() = default;

std::unique_ptr<CSharedFile> CDbFileAccess::OpenSharedFile(const std::string& sPath, bool bCreate) {
  auto pFile = std::make_unique<CSharedFile>();
  const bool bOk = bCreate ? pFile->CreateNew(sPath) : pFile->OpenExisting(sPath, m_bReadOnly);
  if (!bOk) {
    KTRACE("OpenSharedFile %s failed, error %i\n", sPath.c_str(), pFile->LastError());
    return nullptr;
  }
  return pFile;
}

uint32_t CDbFileAccess::ReadDbBlock(uint32_t nLoc, void* pBuffer, uint32_t nSize, bool bLock) {
  if (m_pFileBuffer) {
    if (nLoc > m_nFileBufferSize || nSize > m_nFileBufferSize - nLoc) return 0;
    std::memcpy(pBuffer, m_pFileBuffer.get() + nLoc, nSize);
    return nSize;
  }
  if (bLock) return LockedAccessFileBlock(eAccess::Read, m_pFile.get(), nLoc, pBuffer, nSize, "ReadDbBlock");
  return ReadFileBlockNoLock(m_pFile.get(), nLoc, pBuffer, nSize);
}

uint32_t CDbFileAccess::WriteDbBlock(uint32_t nLoc, const void* pBuffer, uint32_t nSize, bool bLock) {
  if (bLock && m_nUsersOnLine > 1)
    return LockedAccessFileBlock(eAccess::Write, m_pFile.get(), nLoc, const_cast<void*>(pBuffer), nSize,
                                 "WriteDbBlock");
  return WriteFileBlockUnflushed(m_pFile.get(), nLoc, pBuffer, nSize);
}

void CDbFileAccess::DoAccessFileBlock(eAccess nDirection, CSharedFile* pFile, uint32_t nLoc, void* pBuffer,
                                      uint32_t nSize, stAccessSteps& steps) {
  if (!pFile || !pFile->IsOpen()) return;
  if (!steps.bLocked) {
    const eIoResult n = pFile->Hold(nLoc, nSize);
    if (n == IO_OK) {
      steps.bLocked = true;
    } else if (n == IO_FAILED && !pFile->HandleFault()) {  // nothing held: the sequence ends
      steps.bLocked = steps.bAccessed = steps.bUnlocked = steps.bFailed = true;
      KTRACE("DoAccessFileBlock lock at %u failed, error %i\n", nLoc, pFile->LastError());
    }
    return;
  }
  if (!steps.bAccessed) {
    steps.bAccessed = true;
    size_t nDone = 0;
    if (nDirection == eAccess::Read) {
      steps.bFailed = pFile->Read(nLoc, pBuffer, nSize, &nDone) != IO_OK;
      steps.nCount = uint32_t(nDone);
      return;
    }
    // Write, flush and read back while the range is held, so that another
    // copy's legitimate write cannot look like a failed verification.
    steps.bFailed = true;
    for (int nTry = 0; nTry <= kRewrites; ++nTry) {
      if (pFile->Write(nLoc, pBuffer, nSize, &nDone) != IO_OK || pFile->Flush() != IO_OK) break;
      if (TestFileBlockWrite(pFile, nLoc, pBuffer, nSize, nullptr)) {
        steps.bFailed = false;
        break;
      }
    }
    steps.nCount = steps.bFailed ? 0 : uint32_t(nDone);
    if (steps.bFailed) KTRACE("DoAccessFileBlock write at %u failed, error %i\n", nLoc, pFile->LastError());
    return;
  }
  if (!steps.bUnlocked) {
    if (pFile->Release(nLoc, nSize) != IO_OK)
      KTRACE("DoAccessFileBlock unlock at %u failed, error %i\n", nLoc, pFile->LastError());
    steps.bUnlocked = true;
  }
}

int CDbFileAccess::TestFileBlockWrite(CSharedFile* pFile, uint32_t nLoc, const void* pBuffer, uint32_t nSize,
                                      CDialogWaitBox* pBox) {
  if (!pFile || !pFile->IsOpen()) return 0;
  // The read-back buffer starts as the complement of the expected bytes, so
  // a read that transfers nothing can never pass for a good write.
  std::vector<uint8_t> aBack(nSize);
  const uint8_t* pExpected = static_cast<const uint8_t*>(pBuffer);
  for (int nRead = 0; nRead < kVerifyReads; ++nRead) {
    for (uint32_t i = 0; i < nSize; ++i) aBack[i] = uint8_t(~pExpected[i]);
    const eIoResult n = pFile->Read(nLoc, aBack.data(), nSize);
    if (n == IO_FAILED) return 0;
    if (n == IO_OK && std::memcmp(aBack.data(), pExpected, nSize) == 0) return 1;
    if (n == IO_OK && pFile->IsHeld(nLoc, nSize)) return 0;  // held: reading again cannot help
    if (pBox && pBox->TestForAbort()) return 0;
    BackOffTry(nRead);
  }
  return 0;
}

bool CDbFileAccess::RunAccessSteps(eAccess nDirection, CSharedFile*& pFile, uint32_t nLoc, void* pBuffer,
                                   uint32_t nSize, stAccessSteps& steps, const char* pCaller) {
  for (int i = 0; i < kInitialTries && !steps.bUnlocked; ++i) {
    if (i) BackOffTry(i);
    DoAccessFileBlock(nDirection, pFile, nLoc, pBuffer, nSize, steps);
  }
  if (steps.bUnlocked) return true;

  const std::string sStatus =
      StrFormat("status: locked %s, accessed %s, unlocked %s.", TrueFalse(steps.bLocked),
                TrueFalse(steps.bAccessed), TrueFalse(steps.bUnlocked));
  const std::string sWait =
      StrFormat("Record at %u (file handle %u) in use on network. Wait for %s, %s", nLoc,
                unsigned(pFile->Fd()), nDirection == eAccess::Write ? "write" : "read", sStatus.c_str());
  KTRACE("%s: %s\n", pCaller, sWait.c_str());
  CSharedFile* pBefore = pFile;
  const bool bGoOn = CheckHandleOrAsk(pFile, sWait);
  if (pFile != pBefore) {
    steps = stAccessSteps();  // a reopened file: the sequence starts again on the new handle
  } else if (!bGoOn) {
    if (steps.bLocked && !steps.bUnlocked) pFile->Release(nLoc, nSize);
    return false;
  }
  if (!bGoOn) return false;

  CDialogWaitBox* pBox = StartWaitBox(sWait, true);
  for (int nRound = 0; !pBox->AbortRequested();) {
    DoAccessFileBlock(nDirection, pFile, nLoc, pBuffer, nSize, steps);
    if (steps.bUnlocked || pBox->TestForAbort()) break;
    BackOffWait(nRound++);
  }
  EndWaitBox(pBox);
  if (!steps.bUnlocked && steps.bLocked) pFile->Release(nLoc, nSize);  // aborted: hold nothing
  return steps.bUnlocked;
}

uint32_t CDbFileAccess::LockedAccessFileBlock(eAccess nDirection, CSharedFile* pFile, uint32_t nLoc,
                                              void* pBuffer, uint32_t nSize, const char* pCaller) {
  if (!pFile || !pFile->IsOpen()) {
    TraceFileFault(StrFormat("LockedAccessFileBlock from %s: invalid file handle\n", pCaller));
    return 0;
  }
  if (!InFileRange(nLoc, nSize)) return 0;
  stAccessSteps steps;
  const bool bDone = RunAccessSteps(nDirection, pFile, nLoc, pBuffer, nSize, steps, pCaller);
  if (!bDone) return steps.bFailed ? 0 : steps.nCount;
  if (steps.bFailed) return 0;
  return steps.nCount == nSize ? steps.nCount : 0;
}

bool CDbFileAccess::CheckHandleOrAsk(CSharedFile*& pFile, const std::string& sWaitText) {
  while (GetFileSizeFromHandle(pFile) == DB_NONE) {
    const std::string sQuestion =
        StrFormat("%s\nError in file size access for file handle %u.\n\nYes to terminate\n\n",
                  sWaitText.c_str(), unsigned(pFile ? pFile->Fd() : -1)) +
        "No to attempt to continue\n\n" + "Cancel to close/re-open DB and try again";
    const int nAnswer = GetResponse(sQuestion, MB_YESNOCANCEL);
    if (nAnswer == IDYES) {
      if (m_fnQuit) m_fnQuit();
      return false;
    }
    if (nAnswer == IDNO) return true;
    ReopenSameFile(pFile);
  }
  return true;
}

bool CDbFileAccess::ReopenSameFile(CSharedFile*& pFile) {
  if (m_sDatabaseName.empty() || !m_pFile) return false;
  // Open the existing file only (never create one) and accept it only when
  // it is the file this copy had open; the old handle stays until then.
  auto pNew = std::make_unique<CSharedFile>();
  if (!pNew->OpenExisting(m_sDatabaseName + ".dbm", m_bReadOnly) || !pNew->SameFileAs(*m_pFile)) return false;
  if (pNew->TakePresence(false) != IO_OK) return false;
  m_pFile = std::move(pNew);
  pFile = m_pFile.get();
  return true;
}

uint32_t CDbFileAccess::ReadFileBlockNoLock(CSharedFile* pFile, uint32_t nLoc, void* pBuffer,
                                            uint32_t nSize) {
  if (!pFile || !pFile->IsOpen()) {
    KTRACE("ReadFileBlockNoLock: invalid file handle\n");
    return 0;
  }
  if (!InFileRange(nLoc, nSize)) return 0;
  for (int i = 0; i < kPlainTries; ++i) {
    if (i) BackOffTry(i);
    const eIoResult n = pFile->Read(nLoc, pBuffer, nSize);
    if (n == IO_OK) return nSize;
    if (n == IO_FAILED) return 0;
  }
  return 0;
}

uint32_t CDbFileAccess::WriteFileBlockUnflushed(CSharedFile* pFile, uint32_t nLoc, const void* pBuffer,
                                                uint32_t nSize) {
  if (!pFile || !pFile->IsOpen()) {
    KTRACE("WriteFileBlockUnflushed: invalid file handle\n");
    return 0;
  }
  if (!InFileRange(nLoc, nSize)) return 0;
  for (int i = 0; i < kPlainTries; ++i) {
    if (i) BackOffTry(i);
    const eIoResult n = pFile->Write(nLoc, pBuffer, nSize);
    if (n == IO_OK) return nSize;
    if (n == IO_FAILED) {
      KTRACE("WriteFileBlockUnflushed at %u failed, error %i\n", nLoc, pFile->LastError());
      return 0;
    }
  }
  return 0;
}

int CDbFileAccess::LockAndFlush(CSharedFile* pFile) {
  const uint32_t nSize = GetFileSizeFromHandle(pFile);
  if (nSize == DB_NONE || TryHold(pFile, 0, nSize) != IO_OK) return 0;
  const bool bOk = pFile->Flush() == IO_OK;
  pFile->Release(0, nSize);
  return bOk ? 1 : 0;
}

eIoResult CDbFileAccess::TryHold(CSharedFile* pFile, uint32_t nLoc, uint32_t nSize) {
  eIoResult n = IO_LOCKED;
  for (int i = 0; i < kInitialTries && n == IO_LOCKED; ++i) {
    if (i) BackOffTry(i);
    n = pFile->Hold(nLoc, nSize);
  }
  return n;
}

uint32_t CDbFileAccess::GetFileSizeFromHandle(CSharedFile* pFile) {
  if (!pFile || !pFile->IsOpen()) {
    TraceFileFault("GetFileSizeFromHandle: invalid file handle\n");
    return DB_NONE;
  }
  const int64_t nSize = pFile->Size();
  if (nSize < 0) {
    TraceFileFault(StrFormat("GetFileSizeFromHandle: error %i: %s\n", pFile->LastError(),
                             std::strerror(pFile->LastError())));
    return DB_NONE;
  }
  // Past 4 GiB no location can reach; report the largest usable size.
  return uint32_t(std::min<int64_t>(nSize, DB_MAX_LOCATION));
}

int CDbFileAccess::HoldRange(uint32_t nLoc, uint32_t nSize, const char* pCaller) {
  CSharedFile* pFile = m_pFile.get();
  if (!pFile || !pFile->IsOpen() || !InFileRange(nLoc, nSize)) return 0;
  eIoResult n = TryHold(pFile, nLoc, nSize);
  if (n == IO_LOCKED) {
    const std::string sWait =
        StrFormat("Record at %u (file handle %u) in use on network. Wait for %s, %s", nLoc,
                  unsigned(pFile->Fd()), "write", "status: locked FALSE, accessed FALSE, unlocked FALSE.");
    KTRACE("%s: %s\n", pCaller, sWait.c_str());
    CDialogWaitBox* pBox = StartWaitBox(sWait, true);
    for (int nRound = 0; n == IO_LOCKED && !pBox->TestForAbort(); ++nRound) {
      BackOffWait(nRound);
      n = pFile->Hold(nLoc, nSize);
    }
    EndWaitBox(pBox);
  }
  if (n == IO_FAILED) KTRACE("%s: hold at %u failed, error %i\n", pCaller, nLoc, pFile->LastError());
  return n == IO_OK ? 1 : 0;
}

void CDbFileAccess::ReleaseRange(uint32_t nLoc, uint32_t nSize) {
  if (m_pFile) m_pFile->Release(nLoc, nSize);
}

void CDbFileAccess::stFreeBuffer::operator()(uint8_t* p) const { std::free(p); }

CDbFileAccess::CFileBuffer CDbFileAccess::AllocateFileBuffer(uint32_t nSize) {
  if (nSize < kHugePage) return CFileBuffer(static_cast<uint8_t*>(std::malloc(std::max<uint32_t>(nSize, 1))));
  const size_t nRounded = (size_t(nSize) + kHugePage - 1) / kHugePage * kHugePage;
  auto* p = static_cast<uint8_t*>(std::aligned_alloc(kHugePage, nRounded));
  if (p) madvise(p, nRounded, MADV_HUGEPAGE);  // advice only: without it the buffer still works
  return CFileBuffer(p);
}

void CDbFileAccess::FreeFileBuffer() {
  if (m_pFileBuffer) DeleteAllocateMem(m_pFileBuffer.get());
  m_pFileBuffer.reset();
  m_nFileBufferSize = 0;
}

int CDbFileAccess::LoadFileBuffer(uint32_t nFileSize, int& nError) {
  FreeFileBuffer();
  nError = 0;
  // Not zero-filled: the read below overwrites every byte or the buffer goes.
  m_pFileBuffer = AllocateFileBuffer(nFileSize);
  if (!m_pFileBuffer) {
    nError = ENOMEM;
    return 0;
  }
  StoreAllocateMem(m_pFileBuffer.get(), "whole-file buffer in CDbEngine::MakeFileHeaderArray");
  // Loaded first, then exposed: the read goes to the file, not to the buffer.
  CFileBuffer pBuffer = std::move(m_pFileBuffer);
  const uint32_t nRead = nFileSize ? ReadFileBlockNoLock(m_pFile.get(), 0, pBuffer.get(), nFileSize) : 0;
  m_pFileBuffer = std::move(pBuffer);
  if (nRead != nFileSize) {
    nError = m_pFile ? m_pFile->LastError() : EBADF;
    if (nError == 0) nError = ENODATA;
    FreeFileBuffer();
    return 0;
  }
  m_nFileBufferSize = nFileSize;
  return 1;
}
