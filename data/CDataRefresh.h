#pragma once
// Refresh after other users' changes: the refresh flags that the other copies
// sent (one per changed item, header, table sequence or table, or the whole
// database) are consumed here under the database lock, re-reading exactly
// what changed, and the views are brought up to date. Every write starts with
// LockAndRefreshDatabase, so a copy always writes on top of the current state.
//
// Re-entrancy: wait boxes and questions process pending events, so a change
// notice, the timer or a second operation can ask for a refresh while this
// copy is in the middle of a write. While this copy holds the database lock
// (a write is under way) such a request does not refresh: it is noted as
// owed and retried once the write is done, so no object the write is using is
// freed under it. An aborted or failed refresh is never reported as done: the
// flags stay pending and the caller gives up its write.

#include <cstdint>
#include <string>
#include <vector>

#include "data/CDatabase.h"

class CDataRefresh : public CDatabase {
 public:
  // 1: the database is locked (unlocked again with bRefreshOnly) and memory
  // holds every change announced so far; 0: skipped, refused or aborted, the
  // flags are kept and a refresh is owed.
  int LockAndRefreshDatabase(const std::string& sReason, uint8_t nTable = 0, bool bRefreshOnly = false) final;
  // Consumes the flag list: single items, whole tables, table sequences,
  // changed headers, or the whole database. 1 done, 0 the whole-database
  // reload or a table's re-read failed (the flags stay).
  int DoRefresh(CDialogWaitBox* pBox) final;
  // Reloads everything. 1, or 0 when the lock was refused or the file could
  // not be loaded (the database is then closed).
  int RefreshDatabase();
  // Re-reads one table (code 0xFFFFFFFF), one table's sequence (0xFFFFFFFE)
  // or one item, then updates the views. 0 when a sequence re-read could not
  // rebuild the header list (memory stays as it was).
  int RefreshTable(uint8_t nTable, uint32_t nCode);
  void RefreshItem(uint8_t nTable, uint32_t nCode);
  // Reads every stored sequence of the table into memory and re-sorts;
  // stores a dense sequence when the file's was not.
  int ReadTableSequence(uint8_t nTable, CDialogWaitBox* pBox);

  // Stores the sequence of every entry whose sequence is not its position:
  // the 4 sequence bytes of the record only, and only while this copy holds
  // the database lock. An entry whose location no longer holds a live record
  // of its table and code is looked up again; when the record is gone it is
  // not written (a sequence never lands in a reused block). The patches are
  // flushed by the database unlock. 1, or 0 when a write failed or the lock
  // is not held.
  int SaveTableSequence(uint8_t nTable, bool bSetRefreshFlag, CDialogWaitBox* pBox = nullptr) final;

  // The main frame's timer: retries an owed refresh unless the refresh is
  // suspended or an operation is under way. 1 when a refresh ran.
  int RetryOwedRefresh();
  // A change notice arrived: refresh now unless one is running (the message
  // handler's step). 1 when a refresh ran.
  int RefreshOnNotice();
  // Reads what other copies changed while this copy waited for a lock.
  void RefreshAfterLockWait() final;

 protected:
  // The views and lists that show a table, after it was re-read.
  virtual void OnTableRefreshed(uint8_t nTable);
  // Turns changed-header locations into item flags through the header list.
  void FlagsFromHeaders(const std::vector<uint32_t>& naLocs);
  // Adds an item flag for every in-memory item whose record is no longer
  // where its index entry says (after a rebuilt header list); with pLocs
  // (sorted) only for the items at those locations.
  void FlagsForMovedItems(const std::vector<uint32_t>* pLocs = nullptr);
  void RemoveEntryAt(uint8_t nTable, uint32_t nPos);
  // Moves a newly read entry to where its sequence puts it.
  void MoveToSequencePlace(uint8_t nTable, uint32_t nPos);
  void SetEntrySequence(uint8_t nTable, stIndex& e, uint32_t nSequence);
  // Stores the sequences of the entries at the positions: one 4-byte write
  // each, or (with the record area held) one read and write per run of
  // neighbouring records. 1, or 0 when a write failed.
  int PatchSequences(uint8_t nTable, const std::vector<uint32_t>& naMoved);
  // naMoved in file order. The disk starts on the runs behind while later
  // ones are made, so the flush at unlock has less to wait for.
  int PatchSequenceRuns(uint8_t nTable, const std::vector<uint32_t>& naMoved, CDialogWaitBox* pBox);
  // The positions whose sequence is not their position, in the file order of
  // their records, each entry pointed at the record that is live for its
  // code; an entry whose record is gone takes its position in memory only.
  std::vector<uint32_t> MovedInFileOrder(uint8_t nTable);

 private:
  struct stRefreshPlan {
    bool bReload = false;
    bool bRebuild = false;
    std::vector<uint8_t> naWholeTables;
    std::vector<uint8_t> naSequenceTables;
    std::vector<uint32_t> naHeaderLocs;
  };
  stRefreshPlan TakeRefreshPlan();
  // 0 when one of its table re-reads failed.
  int RunPartialRefresh(const stRefreshPlan& plan, const std::vector<stRefreshFlag>& flags);
};
