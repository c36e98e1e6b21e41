#pragma once
// The record file engine: shared file access and the record store (base
// classes), record, table and database locks kept in the file, and opening
// and closing a database file. The table manager CDatabase derives from it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/CDbRecordStore.h"
#include "engine/CLockManagerLink.h"
#include "engine/CRefreshState.h"
#include "engine/DbResults.h"

class CDbEngine : public CDbRecordStore {
 public:
  CDbEngine();
  ~CDbEngine() override;

  // ---- opening and closing ----
  // Opens (with bCreate creates) the file; whether its last use closed it
  // properly. sPath includes ".dbm".
  eOpenResult OpenDB(const std::string& sPath, bool bCreate);
  // Opens a file only to look at it (tools, dumps): read-only, nothing is
  // written, not marked open in the file. 1 done, 0 failed (with a message).
  int OpenDBForReading(const std::string& sPath);
  void CloseDB();
  uint32_t SetFileCloseStatus(uint32_t nValue);
  bool IsNewFile() const { return m_bIsNewFile; }
  // The repair of a damaged file opens it although its first record header
  // is gone; every other open refuses such a file as no database.
  void SetOpenForRepair(bool bRepair) { m_bOpenForRepair = bRepair; }
  // True when no other copy had the file open as OpenDB read its close
  // status: only then does a status of 0 mean a copy ended abnormally.
  bool WasAloneAtOpen() const { return m_bAloneAtOpen; }

  // ---- being alone on the file ----
  // True when this copy is alone on the file, which it then stays (no other
  // copy can open it) until EndAloneSection.
  bool BeginAloneSection();
  void EndAloneSection();
  // Claims this copy's user number while the file is open; false (with a
  // message when another copy holds the number) when it cannot.
  bool ClaimUserNumber();

  // ---- keeping other copies out while the file is replaced ----
  // Turns this copy's presence lock exclusive, so that no other copy can open
  // the file; CloseDB then keeps the handle (and the lock) for TakeHeldFile.
  // False when another copy has the file open.
  bool HoldFileExclusively();
  // The handle a CloseDB kept, or the one handed over and not taken by an
  // open; null when there is none.
  std::unique_ptr<CSharedFile> TakeHeldFile();
  // A handle that holds a file exclusively: the next OpenDB of a path that
  // names that file opens through it and only then lets other copies in.
  void HandOverHeldFile(std::unique_ptr<CSharedFile> pFile);

  // ---- records ----
  uint32_t LockRecord(uint8_t nTable, uint32_t nKey);
  int DoRecordLock(uint32_t nLoc);
  int IsRecordLocked(int nKind, uint32_t nLoc);
  int IsRecordLocked(int nKind, uint8_t nTable, uint32_t nKey, uint32_t& nLoc);
  int UnlockRecord(uint32_t nLoc);
  // Ends the lock LockRecord gave for (table, key) at nLockLoc. The record
  // may have been rewritten elsewhere meanwhile and its old block reused by
  // another record: the lock and the notice follow the record itself.
  int UnlockRecordOf(uint8_t nTable, uint32_t nKey, uint32_t nLockLoc);
  int DoRecordUnlock(uint32_t nLoc);
  int IsAnyRecordLocked(int nKind, uint32_t& nLoc);
  int IsAnyRecordLocked(int nKind, uint8_t nTable, uint32_t& nLoc);
  // Clears every record, table and database lock in the file (only while
  // this copy is alone). 1, or 0 when a chain link had to be repaired.
  int UnlockAllRecords();
  // Clears the database and table locks a copy that is gone left in the
  // file (its record locks stay, as after any abnormal end); the number of
  // locks cleared. The lock manager calls it when a copy's connection ended
  // without a log-off; a database lock cleared makes every copy reload.
  int ClearLocksLeftBy(uint8_t nUser);

  // ---- tables ----
  int LockTable(uint8_t nTable);
  int IsTableLocked(int nKind, uint8_t nTable);
  int IsAnyTableLocked(int nKind);
  void UnlockTable(uint8_t nTable);

  // ---- database (re-entrant within this copy) ----
  int LockDatabase(const std::string& sReason, uint8_t nTable = 0, bool bTestRecords = false,
                   const std::vector<uint8_t>* pTables = nullptr);
  int IsDbLocked(int nKind);
  // Only the outermost unlock clears byte 256, flushes and sends the notice.
  // 0 when the flush failed (with the write-failure message; memory is then
  // owed a reload from the file).
  int UnlockDatabase();
  int DbLockDepth() const { return m_refresh.DatabaseLockDepth(); }
  bool HoldsDatabaseLock() const final { return m_refresh.HoldsDatabaseLock(); }

  // ---- waiting ----
  // What a lock wait is for; the characters are those the trace shows.
  enum class eLockType : char { Record = 'R', Table = 'T', Database = 'D' };
  int WaitForLockPermission(eLockType nType, const std::string& sReason, uint8_t nTable,
                            uint32_t nKey, bool bNoWarning, bool bTestRecords,
                            const std::vector<uint8_t>* pTables);
  int TestForLocks(bool bTestDb, bool bTestTables, bool bTestRecords, uint8_t nTable, uint32_t nKey,
                   const std::vector<uint8_t>* pTables, int& nDbLocked, int& nTableLocked,
                   int& nRecordLocked, uint32_t& nLoc);
  std::string GetWaitForLockText(const std::string& sReason, uint8_t nTable, uint32_t nLoc,
                                 int nDbLocked, int nTableLocked, int nRecordLocked,
                                 bool bNoWarning);
  int IsDatabaseLockRequestOK(uint8_t nTable, uint32_t nKey);

  // ---- users and the lock manager ----
  // Recounts the users on line through the lock manager link (without one the
  // count stays as set).
  unsigned CountOnLine();
  // "User code %u".
  virtual std::string GetUserName(uint8_t nUser);
  void SetLockManagerLink(CLockManagerLink* pLink) { m_pLockLink = pLink; }
  CLockManagerLink* LockManagerLink() const { return m_pLockLink; }
  bool IsLockManagerOnLine() const;
  // Announces a change to the other copies (changed headers first) and
  // empties the changed header list.
  void SetRefreshFlags(uint8_t nTable, uint32_t nKey, uint32_t nHeaderLoc);

  // ---- refresh state (shared with the table manager, the lock manager and
  // the main frame) ----
  CRefreshState& RefreshState() { return m_refresh; }
  const CRefreshState& RefreshState() const { return m_refresh; }

 protected:
  // Creates the file (O_EXCL), or starts an existing one afresh while no
  // other copy has it open; the handle holds the presence lock exclusively.
  std::unique_ptr<CSharedFile> CreateDatabaseFile(const std::string& sPath);
  // Why an existing file is not a database this program may write ("" when
  // it looks like one).
  std::string WhyNotADatabase(CSharedFile& file);
  // A file of a later format version, opened through a read-only handle.
  eOpenResult OpenLaterVersionForReading(const std::string& sPath,
                                         std::unique_ptr<CSharedFile> pFile);
  // The last copy's part of CloseDB: clears all locks and marks the file
  // closed properly. False when a flush failed.
  bool CloseLastCopy();
  // The database lock byte holds this copy's own lock.
  bool IsOwnDatabaseByte(uint8_t nByte) const;
  // Version 0, closed properly, the root name and zero lock bytes.
  bool WriteNewHeaderArea(const std::string& sPath);
  // Test-and-set of one lock byte (256 + table, 256 for the database) under a
  // held range.
  enum class eLockByte : int { Failed = -1, HeldByOther = 0, Set = 1 };
  [[nodiscard]] eLockByte SetLockByte(uint32_t nLoc, const char* pCaller);
  // Clears a lock byte of user nUser (this copy's own by default) under a
  // held range; true when cleared.
  bool ClearOwnLockByte(uint32_t nLoc, const char* pCaller) {
    return ClearLockByteOf(nLoc, m_nUserNumber, pCaller);
  }
  bool ClearLockByteOf(uint32_t nLoc, uint8_t nUser, const char* pCaller);
  // In-file wait while another user's lock conflicts (networking off, or no
  // lock manager). 1 free, 0 aborted.
  int WaitForFileLocks(eLockType nType, uint8_t nTable, uint32_t nKey, bool bNoWarning,
                       bool bTestRecords, const std::vector<uint8_t>* pTables);
  // The lock tests of one wait type (record, table, database).
  int TestForLocksOfType(eLockType nType, uint8_t nTable, uint32_t nKey, bool bTestRecords,
                         const std::vector<uint8_t>* pTables, int& nDb, int& nTab, int& nRec,
                         uint32_t& nLoc);
  std::string LockReasonText(eLockType nType, uint8_t nTable, uint32_t nKey,
                             bool bTestRecords) const;
  // True when the file's header at nLoc is the live record (table, key).
  bool IsRecordInFileAt(uint32_t nLoc, uint8_t nTable, uint32_t nKey);
  // Where the record lies after a lock wait, DB_NONE when it is gone.
  uint32_t RecordLocAfterWait(uint8_t nTable, uint32_t nKey, uint32_t nLoc);
  // One try of LockRecord; bDbBusy when another copy held the database lock,
  // which is not reported yet.
  uint32_t TryLockRecord(uint8_t nTable, uint32_t nKey, bool& bDbBusy);
  // Brings the header list up to date with what other copies changed during
  // a lock wait; the table manager refreshes its memory.
  virtual void RefreshAfterLockWait() {}
  // First live record (of one table, or of all when nTable < 0) whose header
  // in the file shows a lock of the kind.
  int FindLockedRecord(int nKind, int nTable, uint32_t& nLoc);
  // bSettle: the holder may have written (the notice then waits the pause).
  void SendUnlockNotice(uint8_t nTable, uint32_t nKey, bool bSettle = true);
  // True when this copy changed the file or announced a change since it took
  // the database lock.
  bool WroteUnderDatabaseLock() const;

  // Opens an existing file with the shared presence lock and the close turn
  // (CSharedFile); null on failure.
  std::unique_ptr<CSharedFile> OpenPresent(const std::string& sPath);

  CLockManagerLink* m_pLockLink = nullptr;
  // The file's change count and the notices sent when the database lock was taken.
  uint64_t m_nChangesAtDbLock = 0;
  uint64_t m_nNoticesSent = 0, m_nNoticesAtDbLock = 0;
  bool m_bIsNewFile = false;
  bool m_bAloneAtOpen = true;
  bool m_bHoldExclusive = false;
  bool m_bUserNumberClaimed = false;
  bool m_bOpenForRepair = false;
  std::unique_ptr<CSharedFile> m_pHeldFile;

 private:
  CRefreshState m_refresh;
};
