#include "engine/CDbEngine.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "engine/BackOff.h"
#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr int kPresenceWaitRounds = 400;  // 25 ms each: a copy creating the file finishes first
// The longest pause of a lock wait between two looks at its events: work
// that falls due meanwhile (this copy's own held-back unlock notice, a grant
// the lock manager queued for itself) waits at most this long.
constexpr int kGrantPollMillis = 10;
// How long a record lock waits for another copy's database lock to end.
constexpr int kDatabaseHoldGraceMillis = 1000;

// The root name field holds 77 bytes and the NUL.
std::string RootNameField(const std::string& sPath) {
  std::string s = RootNameOf(sPath);
  if (s.size() > ROOT_NAME_FIELD - 1) s.resize(ROOT_NAME_FIELD - 1);
  return s;
}

std::string WithoutExtension(const std::string& sPath) {
  const std::string sExt = ".dbm";
  if (sPath.size() > sExt.size() && EqualsNoCase(sPath.substr(sPath.size() - sExt.size()), sExt))
    return sPath.substr(0, sPath.size() - sExt.size());
  return sPath;
}

void Message(const std::string& sText) { GetResponse(sText, MB_OK); }

}  // namespace

CDbEngine::CDbEngine() = default;

CDbEngine::~CDbEngine() { CloseDB(); }

// ------------------------------------------------------ open and close ----

namespace {

// Takes the presence lock, waiting while a copy that creates or replaces the
// file holds it exclusively.
bool TakePresenceWaiting(CSharedFile& file, bool bExclusive, int nRounds) {
  for (int i = 0; i < nRounds; ++i) {
    const eIoResult n = file.TakePresence(bExclusive);
    if (n != IO_LOCKED) return n == IO_OK;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

}  // namespace

eOpenResult CDbEngine::OpenDB(const std::string& sPath, bool bCreate) {
  if (m_bIsOpen) {
    if (GetResponse("Database appears to be open. Continue?", MB_YESNO) != IDYES)
      return eOpenResult::Failed;
    CloseDB();
  }
  m_bReadOnly = false;
  m_bIsNewFile = false;
  m_sDatabaseName = WithoutExtension(sPath);
  std::unique_ptr<CSharedFile> pFile;
  bool bNotClosedProperly = false;
  m_bAloneAtOpen = true;
  if (bCreate) {
    pFile = CreateDatabaseFile(sPath);
    if (!pFile) {
      Message(StrFormat("Can't write to file %s.", sPath.c_str()));
      return eOpenResult::Failed;
    }
  } else {
    // A handle held exclusively for this file is used as it is.
    if (m_pHeldFile && m_pHeldFile->NamesFile(sPath)) pFile = std::move(m_pHeldFile);
    m_pHeldFile.reset();
    if (pFile)
      pFile->WaitForCloseTurn();
    else
      pFile = OpenPresent(sPath);
    uint8_t a[4], cStatus[4];
    const bool bRead = pFile && ReadFileBlockNoLock(pFile.get(), LOC_FORMAT_VERSION, a, 4) == 4;
    // Read in this copy's turn, as the last copy to close sets 1 in its own
    // turn: a status of 0 found while no other copy has the file open means
    // a copy ended without closing it.
    bNotClosedProperly = bRead && ReadFileBlockNoLock(pFile.get(), LOC_CLOSED_OK, cStatus, 4) == 4 &&
                         GetUint32(cStatus) == 0;
    m_bAloneAtOpen = bRead && pFile->IsAlone();
    if (pFile) pFile->EndCloseTurn();
    if (!bRead) {
      Message(StrFormat("Can't read from file %s.", sPath.c_str()));
      return eOpenResult::Failed;
    }
    const std::string sForeign = WhyNotADatabase(*pFile);
    if (!sForeign.empty()) {
      Message(StrFormat("%s does not look like a Kelvo database file: %s.\nThe file is left as "
                        "it is.",
                        sPath.c_str(), sForeign.c_str()));
      return eOpenResult::Failed;
    }
    const uint32_t nVersion = GetUint32(a);
    if (nVersion != DB_FORMAT_VERSION) {
      if (GetResponse(StrFormat("Database (format version %u) was created by later version of %s.\n"
                                "than this program version (format version %u). This can cause "
                                "errors in reading the data\nfrom the file and could cause loss of "
                                "data. Unless you have some compelling reason, you\nshould abort "
                                "and try again with a later version of the program. Would you like "
                                "to abort?",
                                nVersion, "KELVO", DB_FORMAT_VERSION),
                      MB_YESNO) == IDYES)
        return eOpenResult::Failed;
      // A later program's file is looked at, never written: this program
      // does not know what its bytes mean.
      return OpenLaterVersionForReading(sPath, std::move(pFile));
    }
  }
  m_pFile = std::move(pFile);
  m_bIsOpen = true;
  // From here other copies may open the file too (a held handle's lock is
  // turned shared in place, so none slipped in before).
  if (!bCreate) m_pFile->SharePresence();
  if (bCreate) {
    if (!WriteNewHeaderArea(sPath) || m_pFile->SharePresence() != IO_OK) {
      m_pFile.reset();
      m_bIsOpen = false;
      Message(StrFormat("Can't write to file %s.", sPath.c_str()));
      return eOpenResult::Failed;
    }
    m_bIsNewFile = true;
  }
  const eOpenResult nResult = bNotClosedProperly ? eOpenResult::NotClosedProperly : eOpenResult::Opened;
  SetFileCloseStatus(0);
  m_refresh.ResetForOpenFile();
  KTRACE("OpenDB %s, create %i, result %i\n", sPath.c_str(), int(bCreate), int(nResult));
  return nResult;
}

std::string CDbEngine::WhyNotADatabase(CSharedFile& file) {
  // Every database file this program writes starts with the whole header
  // area, and a longer one has its first record header at 1024.
  const int64_t nSize = file.Size();
  if (nSize <= int64_t(DB_HEADER_AREA_SIZE) || m_bOpenForRepair) return "";
  uint8_t a[DB_HEADER_LEN];
  if (nSize < int64_t(DB_FIRST_RECORD_LOC + DB_HEADER_LEN) ||
      ReadFileBlockNoLock(&file, DB_FIRST_RECORD_LOC, a, DB_HEADER_LEN) != DB_HEADER_LEN ||
      !IsRecordHeaderAt(UnpackHeader(a), DB_FIRST_RECORD_LOC))
    return StrFormat("there is no record header at location %u", DB_FIRST_RECORD_LOC);
  return "";
}

eOpenResult CDbEngine::OpenLaterVersionForReading(const std::string& sPath,
                                                  std::unique_ptr<CSharedFile> pFile) {
  m_bReadOnly = true;
  std::unique_ptr<CSharedFile> pReader = OpenSharedFile(sPath, false);
  if (!pReader || pReader->TakePresence(false) != IO_OK) {
    m_bReadOnly = false;
    Message(StrFormat("Can't read from file %s.", sPath.c_str()));
    return eOpenResult::Failed;
  }
  pFile.reset();
  m_pFile = std::move(pReader);
  m_bIsOpen = true;
  m_refresh.ResetForOpenFile();
  KTRACE("OpenDB %s: a later format version, opened for reading only\n", sPath.c_str());
  return eOpenResult::Opened;
}

std::unique_ptr<CSharedFile> CDbEngine::OpenPresent(const std::string& sPath) {
  // A copy that replaced the file while this one waited for the presence
  // lock leaves the handle on the old file under another name: the path is
  // opened again, so no copy ever works on a file that was put aside.
  // The close turn is taken first (and kept for the caller), so that no
  // copy decides it is the last one while this one is arriving.
  for (int nTry = 0; nTry < 3; ++nTry) {
    std::unique_ptr<CSharedFile> pFile = OpenSharedFile(sPath, false);
    if (!pFile || !pFile->WaitForCloseTurn() ||
        !TakePresenceWaiting(*pFile, false, kPresenceWaitRounds))
      return nullptr;
    if (pFile->NamesFile(sPath)) return pFile;
  }
  return nullptr;
}

bool CDbEngine::HoldFileExclusively() {
  if (!m_bIsOpen || m_bReadOnly || !m_pFile || m_pFile->TakePresence(true) != IO_OK) return false;
  m_bHoldExclusive = true;
  return true;
}

std::unique_ptr<CSharedFile> CDbEngine::TakeHeldFile() { return std::move(m_pHeldFile); }

void CDbEngine::HandOverHeldFile(std::unique_ptr<CSharedFile> pFile) {
  m_pHeldFile = std::move(pFile);
}

std::unique_ptr<CSharedFile> CDbEngine::CreateDatabaseFile(const std::string& sPath) {
  // A new file is created with O_EXCL; an existing one is started afresh only
  // while no other copy has it open, proven by an exclusive presence lock
  // that also keeps every other copy out until the header area is written.
  std::unique_ptr<CSharedFile> pFile = OpenSharedFile(sPath, true);
  if (pFile) return TakePresenceWaiting(*pFile, true, 40) ? std::move(pFile) : nullptr;
  pFile = OpenSharedFile(sPath, false);
  if (!pFile || pFile->TakePresence(true) != IO_OK || pFile->Truncate(0) != IO_OK) return nullptr;
  return pFile;
}

bool CDbEngine::WriteNewHeaderArea(const std::string& sPath) {
  // The whole area at once: version 0, closed properly, the root name, and
  // zero lock bytes that every later lock test can read.
  uint8_t a[DB_HEADER_AREA_SIZE] = {};
  PutUint32(a + LOC_FORMAT_VERSION, DB_FORMAT_VERSION);
  PutUint32(a + LOC_CLOSED_OK, 1);
  const std::string sRoot = RootNameField(sPath);
  std::memcpy(a + LOC_ROOT_NAME, sRoot.data(), sRoot.size());
  return WriteDbBlock(0, a, DB_HEADER_AREA_SIZE, 1) == DB_HEADER_AREA_SIZE &&
         m_pFile->Flush() == IO_OK;
}

int CDbEngine::OpenDBForReading(const std::string& sPath) {
  if (m_bIsOpen) CloseDB();
  m_bReadOnly = true;
  m_sDatabaseName = WithoutExtension(sPath);
  m_pFile = OpenSharedFile(sPath, false);
  uint8_t a[4];
  if (!m_pFile || ReadFileBlockNoLock(m_pFile.get(), LOC_FORMAT_VERSION, a, 4) != 4) {
    m_pFile.reset();
    m_bReadOnly = false;
    Message(StrFormat("Can't read from file %s.", sPath.c_str()));
    return 0;
  }
  m_bIsOpen = true;
  return 1;
}

void CDbEngine::CloseDB() {
  if (!m_bIsOpen) return;
  if (!m_bReadOnly) {
    // A lock this copy still holds would keep every other copy waiting.
    if (m_refresh.HoldsDatabaseLock()) {
      m_refresh.CollapseDatabaseLock();
      UnlockDatabase();
    }
    // The turn is given up with the handle below, after its presence lock.
    m_pFile->WaitForCloseTurn();
    CountOnLine();
    bool bWritten = CloseLastCopy();
    if (m_bHoldExclusive) m_pFile->EndCloseTurn();
    if (!m_bHoldExclusive && m_pFile->Close() != IO_OK) bWritten = false;
    if (!bWritten) ShowWriteFailure();
  }
  if (m_bHoldExclusive) m_pHeldFile = std::move(m_pFile);
  m_bHoldExclusive = false;
  m_pFile.reset();
  m_bUserNumberClaimed = false;
  m_refresh.ResetForClosedFile();
  m_caDataHeaders.clear();
  m_index.Clear();
  m_naChangedHeaders.clear();
  FreeFileBuffer();
  m_bIsOpen = false;
  m_bReadOnly = false;
}

bool CDbEngine::CloseLastCopy() {
  // Alone from the test to the last write: no copy can open the file (and
  // set its lock bytes or its open status) while they are cleared.
  const bool bAlone = BeginAloneSection();
  if (bAlone) UnlockAllRecords();
  // A share reports a failed write only at a flush or a close, and only
  // once: the file counts as closed properly only when everything written
  // before the status is known to be in it.
  const bool bFlushed = m_pFile->FlushForClose() == IO_OK;
  bool bClosedOk = false;
  if (bAlone && bFlushed) {
    bClosedOk = SetFileCloseStatus(1) == 4 && m_pFile->FlushForClose() == IO_OK;
    if (!bClosedOk) SetFileCloseStatus(0);  // the next open offers the integrity test
  }
  if (bAlone) EndAloneSection();
  return bFlushed && (!bAlone || bClosedOk);
}

bool CDbEngine::BeginAloneSection() {
  // The presence lock turned exclusive is the test: it fails while any other
  // copy has the file open, and an opener's shared lock waits until it ends.
  if (m_nUsersOnLine > 1 || !m_pFile || m_bReadOnly) return false;
  return m_pFile->TakePresence(true) == IO_OK;
}

void CDbEngine::EndAloneSection() {
  if (m_pFile && !m_bHoldExclusive) m_pFile->SharePresence();
}

bool CDbEngine::ClaimUserNumber() {
  if (!m_pFile || m_bReadOnly) return false;
  const eIoResult n = m_pFile->ClaimUserNumber(m_nUserNumber);
  m_bUserNumberClaimed = n == IO_OK;
  if (n == IO_LOCKED)
    Message(StrFormat("User number %u is in use by another copy of Kelvo on this database.\nTwo "
                      "copies with one user number would overwrite each other's records, so the "
                      "database is not opened.",
                      unsigned(m_nUserNumber)));
  return m_bUserNumberClaimed;
}

bool CDbEngine::IsOwnDatabaseByte(uint8_t nByte) const {
  // Another copy with this number cannot hold the lock once the number is
  // claimed; without the claim only this copy's lock depth makes it ours.
  return nByte != 0 && nByte == m_nUserNumber &&
         (m_refresh.HoldsDatabaseLock() || m_bUserNumberClaimed);
}

uint32_t CDbEngine::SetFileCloseStatus(uint32_t nValue) {
  return SetIntAt(LOC_CLOSED_OK, nValue, 1);
}

// ------------------------------------------------------------- records ----

uint32_t CDbEngine::LockRecord(uint8_t nTable, uint32_t nKey) {
  // Another copy holds the database lock mostly for a refresh or a save of a
  // few milliseconds: an edit asked for meanwhile waits that out for a
  // moment, and is refused only when the hold lasts.
  const auto tGiveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDatabaseHoldGraceMillis);
  for (int nRound = 0;; ++nRound) {
    bool bDbBusy = false;
    const uint32_t nLoc = TryLockRecord(nTable, nKey, bDbBusy);
    if (!bDbBusy) return nLoc;
    if (m_nUsersOnLine < 2 || std::chrono::steady_clock::now() >= tGiveUp) {
      Message("Access denied. database locked by another user.");
      return DB_NONE;
    }
    if (m_pLockLink) m_pLockLink->ProcessPendingMessages();
    BackOffWait(nRound);
  }
}

uint32_t CDbEngine::TryLockRecord(uint8_t nTable, uint32_t nKey, bool& bDbBusy) {
  const uint32_t nLoc = GetItemFileLoc(nTable, nKey, 0, 0);
  const std::string sTable = GetTableName(nTable);
  if (nLoc == DB_NONE) {
    Message(StrFormat("Item %i from %s not found.", int(nKey), sTable.c_str()));
    return DB_NONE;
  }
  const std::string sRecordDenied =
      StrFormat("Access denied. Record %u in %s locked by another user.", nKey, sTable.c_str());
  if ((bDbBusy = IsDbLocked(LOCK_BY_OTHER))) return DB_NONE;
  if (IsTableLocked(LOCK_BY_OTHER, nTable)) {
    Message(StrFormat("Access denied. Table %s locked by another user.", sTable.c_str()));
    return DB_NONE;
  }
  if (IsRecordLocked(LOCK_BY_OTHER, nLoc)) {
    Message(sRecordDenied);
    return DB_NONE;
  }
  if (!WaitForLockPermission(eLockType::Record, "Lock record", nTable, nKey, true, false, nullptr))
    return DB_NONE;
  // During the wait another copy may have rewritten the record elsewhere or
  // deleted it; a lock on the old place would lock nothing.
  const uint32_t nNow = RecordLocAfterWait(nTable, nKey, nLoc);
  if (nNow != DB_NONE && DoRecordLock(nNow)) {
    // The database or table test and the record lock are two accesses: a
    // copy that locked between them writes while this copy edits.
    if (!IsDbLocked(LOCK_BY_OTHER) && !IsTableLocked(LOCK_BY_OTHER, nTable)) return nNow;
    DoRecordUnlock(nNow);
    SendUnlockNotice(nTable, nKey);
    bDbBusy = true;
    return DB_NONE;
  }
  // Not locked after all: the lock manager's grant goes back, or every other
  // copy asking for this record would wait for ever.
  SendUnlockNotice(nTable, nKey);
  if (nNow == DB_NONE)
    Message(StrFormat("Item %i from %s not found.", int(nKey), sTable.c_str()));
  else if (IsRecordLocked(LOCK_BY_OTHER, nNow))  // locked between the test and the lock
    Message(sRecordDenied);
  else  // the lock could not be written
    ShowWriteFailure();
  return DB_NONE;
}

bool CDbEngine::IsRecordInFileAt(uint32_t nLoc, uint8_t nTable, uint32_t nKey) {
  stDataHeader h;
  return nLoc != DB_NONE && ReadDbHeader(nLoc, h, 1) && IsLiveStatus(h.cStatus) &&
         h.nTable == nTable && h.nKey == nKey && h.nSubTable == 0;
}

uint32_t CDbEngine::RecordLocAfterWait(uint8_t nTable, uint32_t nKey, uint32_t nLoc) {
  if (IsRecordInFileAt(nLoc, nTable, nKey)) return nLoc;
  RefreshAfterLockWait();
  nLoc = GetItemFileLoc(nTable, nKey, 0, 0);
  return IsRecordInFileAt(nLoc, nTable, nKey) ? nLoc : DB_NONE;
}

int CDbEngine::DoRecordLock(uint32_t nLoc) {
  const eHeaderChange n = ChangeHeaderInFile(
      nLoc,
      [this](stDataHeader& h) {
        if (!IsLiveStatus(h.cStatus)) return false;
        if (h.cStatus == STATUS_LOCKED && h.nLockOwner != m_nUserNumber && !IsAloneOnFile())
          return false;  // test and set in one held range: another copy's lock stays
        h.cStatus = STATUS_LOCKED;
        h.nLockOwner = m_nUserNumber;
        return true;
      },
      "DoRecordLock");
  return n == eHeaderChange::Written ? 1 : 0;
}

int CDbEngine::IsRecordLocked(int nKind, uint32_t nLoc) {
  stDataHeader h;
  if (!ReadDbHeader(nLoc, h, 1)) return 1;  // unreadable counts as locked
  if (h.cStatus != STATUS_LOCKED) return 0;
  switch (nKind) {
    case LOCK_BY_ANYONE: return 1;
    case LOCK_BY_OTHER: return h.nLockOwner != m_nUserNumber ? 1 : 0;
    case LOCK_BY_ME: return h.nLockOwner == m_nUserNumber ? 1 : 0;
    default: return 0;
  }
}

int CDbEngine::IsRecordLocked(int nKind, uint8_t nTable, uint32_t nKey, uint32_t& nLoc) {
  const uint32_t n = GetItemFileLoc(nTable, nKey, 0, 0);
  if (n == DB_NONE) {
    Message(StrFormat("Record not found for table %u, key %u", unsigned(nTable), nKey));
    return 1;
  }
  nLoc = n;
  return IsRecordLocked(nKind, n);
}

int CDbEngine::UnlockRecordOf(uint8_t nTable, uint32_t nKey, uint32_t nLockLoc) {
  uint32_t nLoc = nLockLoc;
  if (!IsRecordInFileAt(nLoc, nTable, nKey)) nLoc = GetItemFileLoc(nTable, nKey, 0, 0);
  if (IsRecordInFileAt(nLoc, nTable, nKey)) return UnlockRecord(nLoc);
  SendUnlockNotice(nTable, nKey);  // the record is gone: only the grant goes back
  return 0;
}

int CDbEngine::UnlockRecord(uint32_t nLoc) {
  stDataHeader h;
  if (!ReadDbHeader(nLoc, h, 1)) return 0;
  SendUnlockNotice(h.nTable, h.nKey);
  return h.cStatus == STATUS_LOCKED ? DoRecordUnlock(nLoc) : 0;
}

int CDbEngine::DoRecordUnlock(uint32_t nLoc) {
  const eHeaderChange n = ChangeHeaderInFile(
      nLoc,
      [this](stDataHeader& h) {
        if (h.cStatus != STATUS_LOCKED || h.nLockOwner != m_nUserNumber) return false;
        h.cStatus = STATUS_USED;
        h.nLockOwner = 0;
        return true;
      },
      "DoRecordUnlock");
  return n == eHeaderChange::Written ? 1 : 0;
}

int CDbEngine::IsAnyRecordLocked(int nKind, uint32_t& nLoc) {
  return FindLockedRecord(nKind, -1, nLoc);
}

int CDbEngine::IsAnyRecordLocked(int nKind, uint8_t nTable, uint32_t& nLoc) {
  return FindLockedRecord(nKind, nTable, nLoc);
}

int CDbEngine::FindLockedRecord(int nKind, int nTable, uint32_t& nLoc) {
  // The list says which records exist; their lock state is read from the file.
  std::vector<uint32_t> naLocs;
  if (nTable < 0)
    GetFileLocations(naLocs);
  else
    GetFileLocations(uint8_t(nTable), naLocs);
  for (uint32_t n : naLocs) {
    stDataHeader h;
    if (!ReadDbHeader(n, h, 1) || h.cStatus != STATUS_LOCKED) continue;
    if (nKind == LOCK_BY_OTHER && h.nLockOwner == m_nUserNumber) continue;
    nLoc = n;
    return 1;
  }
  return 0;
}

int CDbEngine::UnlockAllRecords() {
  const uint32_t nSize = GetFileSizeFromHandle(m_pFile.get());
  if (nSize == DB_NONE) return 0;
  // The chain comes from a few large reads of the file, not one read per
  // header; only the headers that show a lock are read again and written,
  // each under its own held range.
  stReadWindow window;
  stDataHeader h;
  // A file longer than the header area without a record header at 1024 is
  // not a database: nothing in it is written, not even the lock bytes.
  if (nSize > DB_HEADER_AREA_SIZE &&
      (!WindowedHeader(DB_FIRST_RECORD_LOC, nSize, window, h) ||
       !IsRecordHeaderAt(h, DB_FIRST_RECORD_LOC)))
    return 0;
  int nResult = 1;
  uint32_t nLoc = DB_FIRST_RECORD_LOC;
  while (uint64_t(nLoc) + DB_HEADER_LEN <= nSize) {
    if (!WindowedHeader(nLoc, nSize, window, h)) break;
    // Bytes that are not a record header (a foreign or damaged file) are
    // never written into: the walk stops and the integrity test takes over.
    if (!IsRecordHeaderAt(h, nLoc)) {
      nResult = 0;
      break;
    }
    if (h.cStatus == STATUS_LOCKED)
      ChangeHeaderInFile(
          nLoc,
          [](stDataHeader& o) {
            if (o.cStatus != STATUS_LOCKED) return false;
            o.cStatus = STATUS_USED;
            o.nLockOwner = 0;
            return true;
          },
          "UnlockAllRecords");
    if (h.nNextLoc == DB_NONE) break;
    if (!LinkOk(nLoc, h.nNextLoc, nSize)) {
      ChangeHeaderInFile(
          nLoc,
          [](stDataHeader& o) {
            o.nNextLoc = DB_NONE;
            return true;
          },
          "UnlockAllRecords");
      Message("Invalid end of file marker found and repaired.");
      nResult = 0;
      break;
    }
    nLoc = h.nNextLoc;
  }
  // Every table lock and the database lock: bytes 256..1023 to zero.
  if (!HoldRange(0, DB_HEADER_AREA_SIZE, "UnlockAllRecords")) return 0;
  uint8_t a[DB_HEADER_AREA_SIZE] = {};
  const uint32_t nHave = std::min<uint32_t>(nSize == DB_NONE ? 0 : nSize, DB_HEADER_AREA_SIZE);
  const bool bRead = ReadFileBlockNoLock(m_pFile.get(), 0, a, nHave) == nHave;
  std::memset(a + LOC_LOCKALLTABLES_FLAG, 0, LOC_LOCK_AREA_END - LOC_LOCKALLTABLES_FLAG);
  const bool bWritten = bRead && WriteDbBlock(0, a, DB_HEADER_AREA_SIZE, 1) == DB_HEADER_AREA_SIZE;
  ReleaseRange(0, DB_HEADER_AREA_SIZE);
  if (!bWritten) return 0;
  m_refresh.ForgetDatabaseLock();
  return nResult;
}

// -------------------------------------------------------------- tables ----

CDbEngine::eLockByte CDbEngine::SetLockByte(uint32_t nLoc, const char* pCaller) {
  if (!HoldRange(nLoc, 1, pCaller)) return eLockByte::Failed;
  uint8_t n = 0;
  eLockByte nResult = eLockByte::Failed;
  if (ReadFileBlockNoLock(m_pFile.get(), nLoc, &n, 1) == 1) {
    // Another user's number is a live lock unless this copy is alone, when
    // it can only be left behind by a copy that ended abnormally.
    const bool bOwn = nLoc == LOC_LOCKALLTABLES_FLAG ? IsOwnDatabaseByte(n) : n == m_nUserNumber;
    if (n != 0 && !bOwn && !IsAloneOnFile())
      nResult = eLockByte::HeldByOther;
    else if (WriteDbBlock(nLoc, &m_nUserNumber, 1, 1) == 1)
      nResult = eLockByte::Set;
    else
      ShowWriteFailure();
  } else {
    // A lock refused for a failed access is told, not left to look refused.
    Message(StrFormat("Can't read from file %s.", m_pFile->Path().c_str()));
  }
  ReleaseRange(nLoc, 1);
  return nResult;
}

bool CDbEngine::ClearLockByteOf(uint32_t nLoc, uint8_t nUser, const char* pCaller) {
  if (!HoldRange(nLoc, 1, pCaller)) return false;
  uint8_t n = 0;
  bool bCleared = false;
  if (ReadFileBlockNoLock(m_pFile.get(), nLoc, &n, 1) == 1 && n != 0 && n == nUser) {
    const uint8_t nZero = 0;
    bCleared = WriteDbBlock(nLoc, &nZero, 1, 1) == 1;
  }
  ReleaseRange(nLoc, 1);
  return bCleared;
}

int CDbEngine::ClearLocksLeftBy(uint8_t nUser) {
  if (!m_pFile || m_bReadOnly || nUser == 0 || nUser == m_nUserNumber) return 0;
  const bool bDatabase = ClearLockByteOf(LOC_LOCKALLTABLES_FLAG, nUser, "ClearLocksLeftBy");
  int nCleared = bDatabase ? 1 : 0;
  for (int nTable = DB_FIRST_TABLE; nTable <= DB_LAST_TABLE; ++nTable)
    nCleared += ClearLockByteOf(LOC_LOCKALLTABLES_FLAG + nTable, nUser, "ClearLocksLeftBy") ? 1 : 0;
  if (!nCleared) return 0;
  KTRACE("%d database and table locks of user %u cleared: the copy is gone\n", nCleared, unsigned(nUser));
  m_pFile->Flush();
  if (bDatabase) {
    // What it wrote under the lock may never have been announced: every
    // copy, this one too, reads the whole file again.
    SetRefreshFlags(TABLE_ALL, DB_NONE, 0);
    m_refresh.AddNoticeOnce({0, TABLE_ALL, DB_NONE});
    m_refresh.OweRefresh();
  }
  return nCleared;
}

int CDbEngine::LockTable(uint8_t nTable) {
  if (nTable < DB_FIRST_TABLE || nTable > DB_LAST_TABLE) return 0;
  for (;;) {
    if (!WaitForLockPermission(eLockType::Table, "Lock table", nTable, DB_NONE, false, false,
                               nullptr))
      return 0;
    const eLockByte n = SetLockByte(LOC_LOCKALLTABLES_FLAG + nTable, "LockTable");
    if (n == eLockByte::Set) return 1;
    if (n == eLockByte::Failed) {  // the grant goes back to the lock manager
      SendUnlockNotice(nTable, DB_NONE);
      return 0;
    }
  }
}

int CDbEngine::IsTableLocked(int nKind, uint8_t nTable) {
  if (nTable < DB_FIRST_TABLE || nTable > DB_LAST_TABLE) return 0;
  const uint8_t n = GetByteAt(LOC_LOCKALLTABLES_FLAG + nTable, 0);
  if (LastByteReadFailed()) return 1;
  if (nKind == LOCK_BY_ANYONE) return n != 0;
  if (nKind == LOCK_BY_OTHER) return n != 0 && n != m_nUserNumber;
  return 0;
}

int CDbEngine::IsAnyTableLocked(int nKind) {
  for (int t = DB_FIRST_TABLE; t <= DB_LAST_TABLE; ++t)
    if (IsTableLocked(nKind, uint8_t(t))) return 1;
  return 0;
}

void CDbEngine::UnlockTable(uint8_t nTable) {
  if (nTable < DB_FIRST_TABLE || nTable > DB_LAST_TABLE) return;
  if (ClearOwnLockByte(LOC_LOCKALLTABLES_FLAG + nTable, "UnlockTable"))
    SendUnlockNotice(nTable, DB_NONE);
}

// ------------------------------------------------------------ database ----

int CDbEngine::LockDatabase(const std::string& sReason, uint8_t nTable, bool bTestRecords,
                            const std::vector<uint8_t>* pTables) {
  if (m_refresh.HoldsDatabaseLock()) {  // this copy holds it already: nest
    m_refresh.EnterDatabaseLock();
    return 1;
  }
  for (;;) {
    if (!WaitForLockPermission(eLockType::Database, sReason, nTable, DB_NONE, false, bTestRecords,
                               pTables))
      return 0;
    const eLockByte n = SetLockByte(LOC_LOCKALLTABLES_FLAG, "LockDatabase");
    if (n == eLockByte::Set) {
      m_refresh.EnterDatabaseLock();
      m_nChangesAtDbLock = m_pFile->ChangeCount();
      m_nNoticesAtDbLock = m_nNoticesSent;
      return 1;
    }
    if (n == eLockByte::Failed) {  // the grant goes back to the lock manager
      SendUnlockNotice(TABLE_ALL, DB_NONE);
      return 0;
    }
  }
}

int CDbEngine::IsDbLocked(int nKind) {
  const uint8_t n = GetByteAt(LOC_LOCKALLTABLES_FLAG, 1);
  if (LastByteReadFailed()) return 1;
  switch (nKind) {
    case LOCK_BY_ANYONE: return n != 0;
    case LOCK_BY_OTHER: return n != 0 && !IsOwnDatabaseByte(n);
    case LOCK_BY_ME: return IsOwnDatabaseByte(n);
    default: return 0;
  }
}

int CDbEngine::UnlockDatabase() {
  if (!m_refresh.LeaveDatabaseLock()) return 1;  // an inner unlock: the outer lock stays
  if (!m_pFile || m_bReadOnly) return 1;
  // Told before the lock byte is cleared, which is itself a write.
  const bool bWrote = WroteUnderDatabaseLock();
  const bool bCleared = ClearOwnLockByte(LOC_LOCKALLTABLES_FLAG, "UnlockDatabase");
  // Also with one user on line: a copy that opens the file from another
  // computer right after must see the data, and the next holder reads it
  // only after this flush. A failed flush means writes of this lock may be
  // lost: memory is read again from the file.
  const bool bFlushed = m_pFile->Flush() == IO_OK;
  if (bCleared) SendUnlockNotice(TABLE_ALL, DB_NONE, bWrote);
  if (bFlushed) return 1;
  ShowWriteFailure();
  m_refresh.AddNoticeOnce({0, TABLE_ALL, DB_NONE});
  m_refresh.OweRefresh();
  return 0;
}

// ------------------------------------------------------------- waiting ----

std::string CDbEngine::LockReasonText(eLockType nType, uint8_t nTable, uint32_t nKey,
                                      bool bTestRecords) const {
  const std::string sTable = GetTableName(nTable);
  if (nType == eLockType::Record) return StrFormat("Lock record %u in %s", nKey, sTable.c_str());
  if (nType == eLockType::Table) return "Lock table " + sTable;
  if (nTable == 0) return "Lock database, no tests";
  if (!bTestRecords) return "Lock database, test " + sTable;
  return "Lock database, test records in " + sTable;
}

int CDbEngine::TestForLocksOfType(eLockType nType, uint8_t nTable, uint32_t nKey, bool bTestRecords,
                                  const std::vector<uint8_t>* pTables, int& nDb, int& nTab,
                                  int& nRec, uint32_t& nLoc) {
  const bool bDbOnly = nType == eLockType::Database && nTable == 0;
  const bool bTestTables = nType == eLockType::Table || (nType == eLockType::Database && !bDbOnly);
  const bool bRecords = nType == eLockType::Database && !bDbOnly && bTestRecords;
  return TestForLocks(true, bTestTables, bRecords, nTable,
                      nType == eLockType::Record ? nKey : DB_NONE, pTables, nDb, nTab, nRec, nLoc);
}

int CDbEngine::WaitForLockPermission(eLockType nType, const std::string& sReason, uint8_t nTable,
                                     uint32_t nKey, bool bNoWarning, bool bTestRecords,
                                     const std::vector<uint8_t>* pTables) {
  KTRACE("WaitForLockPermission %c for %s, table %u, key %u\n", char(nType), sReason.c_str(),
         unsigned(nTable), nKey);
  if (!IsLockManagerOnLine() || m_nUsersOnLine < 2)
    return WaitForFileLocks(nType, nTable, nKey, bNoWarning, bTestRecords, pTables);

  const std::string sReasonText = LockReasonText(nType, nTable, nKey, bTestRecords);
  int nDb = 0, nTab = 0, nRec = 0;
  uint32_t nLoc = DB_NONE;
  auto fnConflict = [&] {
    return TestForLocksOfType(nType, nTable, nKey, bTestRecords, pTables, nDb, nTab, nRec, nLoc);
  };
  // No grant can come once the lock manager is gone or the database is about
  // to close: the wait is denied, and the close that was put off runs after it.
  auto fnLockManagerLost = [&] {
    if (m_pLockLink && m_pLockLink->IsLockManagerOnLine() && !m_pLockLink->IsCloseRequested()) return false;
    KTRACE("Lock wait for table %u, key %u denied: the lock manager is off line\n", unsigned(nTable), nKey);
    return true;
  };
  m_refresh.BeginLockWait();
  fnConflict();
  CDialogWaitBox* pBox = StartWaitBox(
      GetWaitForLockText(sReasonText, nTable, nLoc, nDb, nTab, nRec, bNoWarning), true);
  int nGranted = 0;
  bool bAborted = false;
  // Phase 1: wait until the file shows no conflicting lock and the lock
  // manager has granted nobody else this table and key.
  for (int nRound = 0; fnConflict() || m_pLockLink->IsLockGrantedToOther(nTable, nKey); ++nRound) {
    m_pLockLink->ProcessPendingMessages();
    if (fnLockManagerLost() || pBox->TestForAbort()) {
      bAborted = true;
      break;
    }
    BackOffWait(nRound);
  }
  // The table and key the lock manager knows this lock by.
  const uint8_t nSpecTable = nType == eLockType::Database ? uint8_t(TABLE_ALL) : nTable;
  const uint32_t nSpecKey = nType == eLockType::Record ? nKey : DB_NONE;
  if (!bAborted && m_pLockLink->TakeBackUnlockNotice(nSpecTable, nSpecKey)) {
    // Its notice had not gone yet: the lock manager still counts this copy
    // as the holder and has handed the lock to nobody since.
    nGranted = 1;
  } else if (!bAborted && IsDatabaseLockRequestOK(nTable, nKey)) {
    nGranted = 1;
  } else if (!bAborted) {
    // Phase 2: ask the lock manager and wait for its grant.
    m_pLockLink->ClearReceivedGrants();
    m_pLockLink->SendLockRequest(nSpecTable, nSpecKey);
    for (;;) {
      m_pLockLink->ProcessPendingMessages();
      if (fnLockManagerLost()) break;
      int nBypass = 0;
      if (pBox->TestForAbort(&nBypass)) {
        if (nBypass == 1) {
          m_pLockLink->ClearReceivedGrants();
          nGranted = 1;
        }
        break;
      }
      if (!fnConflict() && IsDatabaseLockRequestOK(nTable, nKey)) {
        nGranted = 1;
        break;
      }
      // Ends early when the grant (or any message) arrives.
      m_pLockLink->WaitForMessages(std::chrono::milliseconds(kGrantPollMillis));
    }
  }
  EndWaitBox(pBox);
  m_refresh.EndLockWait();
  return nGranted;
}

int CDbEngine::WaitForFileLocks(eLockType nType, uint8_t nTable, uint32_t nKey, bool bNoWarning,
                                bool bTestRecords, const std::vector<uint8_t>* pTables) {
  // Without a lock manager the file alone tells who holds what. A copy that
  // is alone on the file meets only locks left behind: nothing to wait for.
  if (IsAloneOnFile()) return 1;
  int nDb = 0, nTab = 0, nRec = 0;
  uint32_t nLoc = DB_NONE;
  auto fnConflict = [&] {
    return TestForLocksOfType(nType, nTable, nKey, bTestRecords, pTables, nDb, nTab, nRec, nLoc);
  };
  if (!fnConflict()) return 1;
  m_refresh.BeginLockWait();
  const std::string sReasonText = LockReasonText(nType, nTable, nKey, bTestRecords);
  CDialogWaitBox* pBox = StartWaitBox(
      GetWaitForLockText(sReasonText, nTable, nLoc, nDb, nTab, nRec, bNoWarning), true);
  int nFree = 1;
  for (int nRound = 0; fnConflict() && !IsAloneOnFile(); ++nRound) {
    if (m_pLockLink) m_pLockLink->ProcessPendingMessages();
    if (pBox->TestForAbort()) {
      nFree = 0;
      break;
    }
    BackOffWait(nRound);
  }
  EndWaitBox(pBox);
  m_refresh.EndLockWait();
  return nFree;
}

int CDbEngine::TestForLocks(bool bTestDb, bool bTestTables, bool bTestRecords, uint8_t nTable,
                            uint32_t nKey, const std::vector<uint8_t>* pTables, int& nDbLocked,
                            int& nTableLocked, int& nRecordLocked, uint32_t& nLoc) {
  nDbLocked = nTableLocked = nRecordLocked = 0;
  const bool bList = pTables && !pTables->empty();
  if (bTestDb && IsDbLocked(LOCK_BY_OTHER)) {
    nDbLocked = 1;
    return 1;
  }
  if (bTestTables) {
    if (nTable == TABLE_ALL) {
      nTableLocked = IsAnyTableLocked(LOCK_BY_OTHER);
    } else if (bList) {
      for (uint8_t t : *pTables)
        if ((nTableLocked = IsTableLocked(LOCK_BY_OTHER, t))) break;
    } else {
      nTableLocked = IsTableLocked(LOCK_BY_OTHER, nTable);
    }
    if (nTableLocked) return 1;
  }
  if (bTestRecords) {
    if (nTable == TABLE_ALL) {
      nRecordLocked = IsAnyRecordLocked(LOCK_BY_OTHER, nLoc);
    } else if (bList) {
      for (uint8_t t : *pTables)
        if ((nRecordLocked = IsAnyRecordLocked(LOCK_BY_OTHER, t, nLoc))) break;
    } else {
      nRecordLocked = IsAnyRecordLocked(LOCK_BY_OTHER, nTable, nLoc);
    }
    return nRecordLocked;
  }
  if (nKey != DB_NONE) {
    nRecordLocked = IsRecordLocked(LOCK_BY_OTHER, nTable, nKey, nLoc);
    return nRecordLocked;
  }
  return 0;
}

std::string CDbEngine::GetWaitForLockText(const std::string& sReason, uint8_t nTable, uint32_t nLoc,
                                          int nDbLocked, int nTableLocked, int nRecordLocked,
                                          bool bNoWarning) {
  std::string s;
  if (nDbLocked) {
    s = StrFormat("Database locked by %s. Waiting to %s. ",
                  GetUserName(GetByteAt(LOC_LOCKALLTABLES_FLAG, 0)).c_str(), sReason.c_str());
  } else if (nTableLocked) {
    const uint8_t nHolder = (nTable >= DB_FIRST_TABLE && nTable <= DB_LAST_TABLE)
                                ? GetByteAt(LOC_LOCKALLTABLES_FLAG + nTable, 0)
                                : 0;
    s = StrFormat("Table locked by %s. Waiting to %s. ", GetUserName(nHolder).c_str(),
                  sReason.c_str());
  } else if (nRecordLocked) {
    s = StrFormat("Record at %u locked. Waiting to %s. ", nLoc, sReason.c_str());
  } else {
    s = StrFormat("Waiting for permission to lock before %s. ", sReason.c_str());
  }
  s += "Press ESC to abort wait.\n";
  if (!bNoWarning)
    s += std::string("If you abort, any changes you just made will not be saved and changes by "
                     "others will\n") +
         "not be posted to your computer's memory. If you abort you should do a manual refresh\n" +
         "(press Ctrl-R) so that your memory resident data matches the data in the database file!";
  return s;
}

int CDbEngine::IsDatabaseLockRequestOK(uint8_t /*nTable*/, uint32_t /*nKey*/) {
  if (!m_pLockLink || !m_pLockLink->HasLanServer()) return 1;
  return m_pLockLink->TakeGrantFromLockManager() ? 1 : 0;
}

// ----------------------------------------------------- users and notices ----

unsigned CDbEngine::CountOnLine() {
  if (m_pLockLink) m_nUsersOnLine = m_pLockLink->CountOnLine();
  return m_nUsersOnLine;
}

std::string CDbEngine::GetUserName(uint8_t nUser) {
  return StrFormat("User code %u", unsigned(nUser));
}

bool CDbEngine::IsLockManagerOnLine() const {
  return m_pLockLink && m_pLockLink->IsLockManagerOnLine();
}

void CDbEngine::SendUnlockNotice(uint8_t nTable, uint32_t nKey, bool bSettle) {
  if (!m_pLockLink) return;
  if (bSettle)
    m_pLockLink->SendUnlockNotice(nTable, nKey);
  else
    m_pLockLink->SendUnlockNoticeAfterRead(nTable, nKey);
}

bool CDbEngine::WroteUnderDatabaseLock() const {
  return !m_pFile || m_pFile->ChangeCount() != m_nChangesAtDbLock ||
         m_nNoticesSent != m_nNoticesAtDbLock;
}

void CDbEngine::SetRefreshFlags(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc) {
  ++m_nNoticesSent;
  if (m_pLockLink) m_pLockLink->SendDataModified(nTable, nKey, nHeaderLoc, m_naChangedHeaders);
  m_naChangedHeaders.clear();  // also without a LAN server, so the list never grows unbounded
}
