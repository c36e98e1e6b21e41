#pragma once
// The refresh and lock state of one copy: the change notices waiting to be
// read in, the refresh owed, the suspension of the data refresh, the
// in-process and in-lock-and-refresh flags, the lock wait and the nesting of
// this copy's database lock. The engine owns one; the table manager, the lock
// manager and the main frame change it only through these methods. Everything
// runs on the user-interface thread, but wait boxes and questions process
// events, so a notice, the timer or a second operation can arrive in the
// middle of any of the states below.
//
//   state                   entered by                      left by
//   ----------------------  ------------------------------  -----------------------------
//   closed                  ResetForClosedFile (CloseDB)    ResetForOpenFile (OpenDB)
//   idle                    ResetForOpenFile, AllowRefresh  any of the others
//     (notices may be pending: QueueNotice; HasNotices)
//   suspended               SuspendRefresh (a dialog or a   ResumeRefresh down to zero,
//                           question), DisallowRefresh      then AllowRefresh
//                           (a database being opened)
//   waiting for a lock      BeginLockWait                   EndLockWait
//   holding the database    EnterDatabaseLock (nests)       LeaveDatabaseLock at the
//     lock                                                  outermost level
//   in lock-and-refresh     EnterLockAndRefresh             LeaveLockAndRefresh
//   refreshing              BeginRefresh (pays what is      EndRefresh; the notices held
//                           owed)                           back meanwhile follow with
//                                                           ReleaseDeferredNotices
//   writing with a refresh  holding the lock when a         the timer finds IsRefreshDue
//     owed                  refresh is skipped: OweRefresh  after the write; the refresh
//                                                           that runs then pays it
//
// While suspended, waiting for a lock, refreshing or holding the lock, a
// refresh asked for by an event is skipped and owed instead (OweRefresh), so
// that nothing a write or a dialog is using is freed under it.

#include <vector>

#include "engine/CDbRecordStore.h"

class CRefreshState {
 public:
  // ---- opening and closing ----
  // OpenDB: nothing suspended, owed, running or waited for.
  void ResetForOpenFile();
  // CloseDB: no notices, no lock held; the refresh stays off until the next open.
  void ResetForClosedFile();

  // ---- change notices ----
  // A notice from another copy. During a refresh it is held back (the refresh
  // has already taken the notices it consumes) and a refresh is owed.
  void QueueNotice(const stRefreshFlag& flag);
  // Moves the notices held back during the last refresh to the pending list;
  // true when there were some. Nothing while a refresh runs.
  bool ReleaseDeferredNotices();
  // The refresh's own findings: a notice for (table, key) unless one is pending.
  void AddNoticeOnce(const stRefreshFlag& flag);
  bool HasNotices() const { return !m_caRefreshFlags.empty(); }
  const std::vector<stRefreshFlag>& Notices() const { return m_caRefreshFlags; }
  // The refresh takes the pending list, and puts back what it did not consume
  // (ahead of anything queued meanwhile).
  std::vector<stRefreshFlag> TakeNotices();
  void PutBackNotices(std::vector<stRefreshFlag> caFlags);
  // Replaces the pending list (a reload that failed keeps what it started with).
  void SetNotices(std::vector<stRefreshFlag> caFlags);
  void ClearNotices();

  // ---- the owed refresh ----
  void OweRefresh() { m_bRefreshOwed = true; }
  void ClearOwedRefresh() { m_bRefreshOwed = false; }
  bool IsRefreshOwed() const { return m_bRefreshOwed; }
  // The main frame's timer: owed and not suspended.
  bool IsRefreshDue() const { return m_bRefreshOwed && !m_bDisableDataRefresh; }

  // ---- suspension ----
  // Nested: a dialog or a question is open.
  void SuspendRefresh();
  // True when the outermost suspension ended; the caller then lifts the
  // refresh-off flag with AllowRefresh unless a database is being opened.
  bool ResumeRefresh();
  int SuspendDepth() const { return m_nDisableDataRefreshCount; }
  // Refresh off without nesting (a database being opened), and on again.
  void DisallowRefresh() { m_bDisableDataRefresh = true; }
  void AllowRefresh() { m_bDisableDataRefresh = false; }
  bool IsRefreshSuspended() const { return m_bDisableDataRefresh; }

  // ---- refreshing ----
  void BeginRefresh();
  void EndRefresh() { m_bIsRefreshInProcess = false; }
  bool IsRefreshing() const { return m_bIsRefreshInProcess; }
  // Returns the flag as it was, for LeaveLockAndRefresh.
  bool EnterLockAndRefresh();
  void LeaveLockAndRefresh(bool bOuter) { m_bInLockAndRefresh = bOuter; }
  bool IsInLockAndRefresh() const { return m_bInLockAndRefresh; }

  // ---- lock waits ----
  void BeginLockWait() { m_bWaitingForLock = true; }
  void EndLockWait() { m_bWaitingForLock = false; }
  bool IsWaitingForLock() const { return m_bWaitingForLock; }

  // ---- this copy's database lock ----
  void EnterDatabaseLock() { ++m_nDbLockDepth; }
  // True when the outermost level was left (the lock byte is to be cleared).
  bool LeaveDatabaseLock();
  // Drops every inner level, keeping the outermost (CloseDB unlocks it).
  void CollapseDatabaseLock();
  // The lock bytes were cleared wholesale (UnlockAllRecords).
  void ForgetDatabaseLock() { m_nDbLockDepth = 0; }
  int DatabaseLockDepth() const { return m_nDbLockDepth; }
  bool HoldsDatabaseLock() const { return m_nDbLockDepth > 0; }

 private:
  std::vector<stRefreshFlag> m_caRefreshFlags;
  std::vector<stRefreshFlag> m_caDeferredFlags;  // arrived during a refresh
  bool m_bRefreshOwed = false;
  bool m_bDisableDataRefresh = true;
  int m_nDisableDataRefreshCount = 0;
  bool m_bIsRefreshInProcess = false;
  bool m_bInLockAndRefresh = false;
  bool m_bWaitingForLock = false;
  int m_nDbLockDepth = 0;
};
