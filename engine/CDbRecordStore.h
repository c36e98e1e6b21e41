#pragma once
// The record store: the chain of records in the file as records found by
// table and key, written, rewritten in place, deleted and reused. One
// in-memory copy of every record header, the header list m_caDataHeaders,
// serves lookups, the free-space search and key allocation; record data pass
// through the record buffer m_cBuffer.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/CDbFileAccess.h"
#include "engine/CHeaderIndex.h"
#include "engine/DbResults.h"

class CDialogWaitBox;

// One data-modified notice waiting for the refresh.
struct stRefreshFlag {
  uint8_t nUser = 0;
  uint8_t nTable = 0;
  uint32_t nKey = 0;
  bool operator==(const stRefreshFlag&) const = default;
};

class CDbRecordStore : public CDbFileAccess {
 public:
  CDbRecordStore();
  ~CDbRecordStore() override;

  // ---- header list ----
  // Rebuilds the header list from the file. Without bFreeBuffer the whole-file
  // buffer stays and serves ReadDbBlock until FreeFileBuffer. With pReport the
  // failure texts go there instead of a message box (emptied on success).
  // Returns the file size, 0xFFFFFFFF on failure.
  uint32_t MakeFileHeaderArray(CDialogWaitBox* pBox, bool bFreeBuffer, std::string* pReport);
  // Re-reads one header another copy changed. 1 updated or appended, 0 rebuilt.
  int UpdateHeader(uint32_t nLoc, std::vector<stRefreshFlag>& refreshList);
  // Writes 36 header bytes and brings the list in step (after a good write).
  uint32_t WriteDbHeader(uint32_t nLoc, const stDataHeader& header, bool bLock);
  // Reads and decodes one header. 1 read, 0 failed.
  int ReadDbHeader(uint32_t nLoc, stDataHeader& header, bool bLock);
  // Position of the header at nLoc in the list, -1 when none. nHint, where
  // the caller expects it (walks in file order know), is tried first.
  int LocateHeaderInList(uint32_t nLoc, size_t nHint = SIZE_MAX) const;
  // End-of-file check of one header that is not the last: 1 when its NextLoc
  // was invalid (the walk stops there; repaired when this copy may), else 0.
  int FoundEofError(uint32_t nFileSize, uint32_t nLoc, stDataHeader& header, const char* pCaller);

  // ---- finding records ----
  int GetHeaderLoc(uint8_t nTable, uint32_t nKey, uint8_t nSubTable) const;
  uint32_t GetItemFileLoc(uint8_t nTable, uint32_t nKey, uint8_t nSubTable, bool bIncludeMarked);
  // Status character of the header at nLoc (locked read), 0 when unreadable.
  char GetTableAndKey(uint32_t nLoc, uint8_t& nTable, uint32_t& nKey);
  void GetFileLocations(std::vector<uint32_t>& naLocs) const;
  void GetFileLocations(uint8_t nTable, std::vector<uint32_t>& naLocs) const;
  void GetFileLocations(uint8_t nTable, uint32_t nKey, uint8_t nSubTable,
                        std::vector<uint32_t>& naLocs) const;

  // ---- reading, writing, deleting ----
  // Writes the first nSize bytes of m_cBuffer as a new or replacing record.
  // Returns its location, 0xFFFFFFFF on failure.
  uint32_t WriteRecord(uint32_t nSize, uint8_t nTable, uint32_t nKey, uint8_t nSubTable,
                       uint32_t nSubKey);
  // In-place rewrite. nSize 0xFFFFFFFF keeps DataLen and writes no data.
  eRewriteResult RewriteRecord(uint32_t nLoc, uint32_t nSize, uint8_t nTable, uint32_t nKey,
                               uint8_t nSubTable, uint32_t nSubKey, bool bLock);
  // Reads a record's data into m_cBuffer. Returns DataLen read, 0 on failure.
  uint32_t ReadRecord(uint32_t nLoc, bool bLock, uint32_t* pKey = nullptr,
                      uint32_t* pSubKey = nullptr, uint8_t* pSubTable = nullptr);
  uint32_t ReadTableRecord(uint8_t nTable, uint32_t nKey);
  // Status "-" (bFree, space reusable) or "#". 1 done, 0 failed.
  int DeleteRecord(uint32_t nLoc, bool bFree, bool bLock);
  int ChangeStatus(uint32_t nLoc, char cStatus, bool bLock);
  uint32_t SetIntAt(uint32_t nLoc, uint32_t nValue, bool bLock);
  uint32_t GetIntAt(uint32_t nLoc);
  uint32_t SetByteAt(uint32_t nLoc, uint8_t nValue, bool bLock);
  uint8_t GetByteAt(uint32_t nLoc, bool bLock);
  // Reads a header from the file itself (never the whole-file buffer), under
  // a short lock. 1 read, 0 failed.
  int ReadHeaderFromFile(uint32_t nLoc, stDataHeader& header);
  // Read-modify-write of one header under a held range: fnChange edits the
  // header read from the file and returns false to leave it unchanged.
  eHeaderChange ChangeHeaderInFile(uint32_t nLoc,
                                   const std::function<bool(stDataHeader&)>& fnChange,
                                   const char* pCaller);
  bool LastByteReadFailed() const { return m_bLastByteReadFailed != 0; }

  // ---- keys and users ----
  // The next free key of the current user in the table; 0xFFFFFFFF (with a
  // message) when the user's range is full.
  uint32_t GetNextKey(uint8_t nTable);
  uint8_t GetUserFromKey(uint32_t nKey) const;

  // ---- names ----
  // "All tables" for 255, "No tables" for 0, the table's name for 1..9,
  // "Bad table index %i" otherwise. The table manager sets its own names.
  std::string GetTableName(int nTable) const;
  void SetTableNames(const std::vector<std::string>& saNames);
  static std::string HeaderDescription(const stDataHeader& header);

  // True while this copy holds the database lock (the record store's chain
  // repairs and stale-list checks rely on it).
  virtual bool HoldsDatabaseLock() const { return false; }
  // True when no other copy has the file open and no other user is on line.
  bool IsAloneOnFile();

  // The record buffer (65,536 bytes, zero-filled at construction).
  uint8_t* m_cBuffer = nullptr;
  // One header per record in chain order. Others read it; changes go
  // through the store, which keeps its lookup index in step.
  std::vector<stDataHeader> m_caDataHeaders;
  // Locations of every header this copy wrote since the last notice.
  std::vector<uint32_t> m_naChangedHeaders;
  // This copy's user number.
  uint8_t m_nUserNumber = 0;

 protected:
  // What the free-space search chose for a new record.
  enum ePlace : int { PLACE_FIRST, PLACE_SAME_ITEM, PLACE_FREE_BLOCK, PLACE_APPEND };
  struct stPlacement {
    ePlace nPlace = PLACE_FIRST;
    stDataHeader chosen;                // the chosen header as the list has it
    stDataHeader last;                  // the last record (for an append)
    stDataHeader inFile;                // the chosen (or last) header as the file has it
    std::vector<uint32_t> naOldCopies;  // too small live copies of the same item
    uint32_t nAppendAt = 0;             // an append at the end of the file, past stray records
    bool bLockedByOther = false;        // the file shows another user's lock on the item
  };
  // True when the header read from the file shows another user's live lock.
  bool IsLockedByOtherInFile(const stDataHeader& f);
  void ShowRecordLocked(uint8_t nTable, uint32_t nKey);
  // Reads the old copies' headers: true when another user has one locked.
  bool OldCopiesLockedByOther(stPlacement& place);
  // Where an append goes: behind the last record, or past records that lie
  // there although the chain does not reach them (0xFFFFFFFF: no room).
  uint32_t AppendLocation(stPlacement& place, stDataHeader& header, uint32_t nSize);
  // Free-space search over the list; fills the placement and the prepared
  // header's CurrLoc, links and BlkLen. Returns the location, 0xFFFFFFFF when
  // no place can hold it.
  uint32_t GetNextFree(uint32_t nSize, stDataHeader& header, stPlacement& place);
  // Re-reads the chosen place from the file: true when it is still as the
  // list says (the list can lag behind another copy's changes).
  bool PlacementStillValid(stPlacement& place, bool bAcceptLongerFile);
  // Usable bytes of a block: BlkLen, cut at the next header in the list.
  uint32_t BlockCapacity(size_t nIndex) const;
  // Data, header and link of a new record at its checked place.
  bool WriteAtPlacement(const stPlacement& place, stDataHeader& header, uint32_t nSize);
  // Frees the too small old copies of the item once the new one is written.
  bool FreeOldCopies(const stPlacement& place, const stDataHeader& header);
  // Links a new last record behind the old last one (held and checked).
  int LinkAppendedRecord(const stPlacement& place, uint32_t nNewLoc);
  // ReadRecord as two accesses: the header, then its DataLen bytes.
  bool ReadRecordInTwoSteps(uint32_t nLoc, bool bLock, stDataHeader& header);
  // After a failed write: rebuilds the list from the file without a message.
  void ResyncHeaderList();
  void ShowWriteFailure();
  void NoteChangedHeader(uint32_t nLoc);
  void ReplaceOrRebuildEntry(uint32_t nLoc, const stDataHeader& header);
  // Best effort after a failed header write: puts the old bytes back.
  void RestoreHeaderBytes(uint32_t nLoc, const stDataHeader& old);
  // A link from nLoc to nNext is in order in a file of nFileSize bytes.
  static bool LinkOk(uint32_t nLoc, uint32_t nNext, uint32_t nFileSize);
  // A part of the file read at once, from which the headers of a walk of the
  // chain are taken (1 MiB per read).
  struct stReadWindow {
    uint32_t nLoc = 0;
    uint32_t nLen = 0;
    std::vector<uint8_t> aBytes;
  };
  // The 36 bytes at nLoc (which must lie in a file of nFileSize bytes) as a
  // pointer into the window, read again when they lie outside it; null when
  // that read fails.
  const uint8_t* WindowBytes(uint32_t nLoc, uint32_t nFileSize, stReadWindow& window);
  bool WindowedHeader(uint32_t nLoc, uint32_t nFileSize, stReadWindow& window, stDataHeader& h);
  void EnsureIndex() const;
  void AppendEntry(const stDataHeader& header);
  void ReplaceEntry(size_t nIndex, const stDataHeader& header);
  void ShowOrReport(const std::string& sText, std::string* pReport);

  mutable CHeaderIndex m_index;

  std::vector<std::string> m_saTableNames;
};
