#pragma once
// The table manager as the program uses it: the open database with its item
// tables (CDatabase), the refresh, the item operations and dialogs, and the
// per-table rules and helpers of persons, categories, schedule items and log
// entries: deletion rules, display order, the lists the views show, lookups
// by text, category maintenance, the unscheduled list, purging and moving old
// schedule items to the log, pending user messages and alarm users.
//
// The main frame owns one CTableManager; views, dialogs and alarms keep item
// codes, never pointers, across anything that can refresh.
//
// The layers, from the file up. Each has one job; a layer calls down, and up
// only through the hooks named here (a hook is declared by the layer that
// calls it and overridden above).
//
//   CDbFileAccess    (engine) every byte to and from the file: locked,
//                    flushed and verified accesses, held ranges, the
//                    whole-file buffer.
//   CDbRecordStore   (engine) the chain of records: the header list, finding,
//                    writing, rewriting, deleting and reusing records, keys.
//                    Declares HoldsDatabaseLock.
//   CDbEngine        (engine) record, table and database locks in the file,
//                    lock waits and the lock manager link, opening and closing
//                    the file; owns the refresh and lock state (CRefreshState).
//                    Overrides HoldsDatabaseLock (final); declares
//                    RefreshAfterLockWait, and GetUserName (not overridden yet).
//   CSettingsTables  the configuration, parameters, formats and page layouts
//                    in memory, their records and dialogs; the suspension of
//                    the refresh (DataRefreshOff/On). Declares
//                    LockAndRefreshDatabase.
//   CDatabase        opening, loading and closing a database; the four item
//                    tables in memory, their index and codec. Overrides
//                    LockAndRefreshDatabase (a whole reload); declares DoRefresh
//                    and SaveTableSequence.
//   CDataRefresh     reads in what other copies changed, exactly by the
//                    notices. Overrides LockAndRefreshDatabase, DoRefresh,
//                    SaveTableSequence and RefreshAfterLockWait (all final);
//                    declares OnTableRefreshed.
//   CItemOperations  the write path of the item tables: add, edit, save and
//                    delete in the one order of locks, writes and notices.
//                    Declares EditItemPointer, OKtoDeleteItem, DeleteItemInFile,
//                    RestoreTableOrder and AfterScheduleChange.
//   CItemDialogs     the edit dialogs of the item tables and the person
//                    helpers they share. Overrides EditItemPointer (final);
//                    declares EditUserMessage (not overridden yet).
//   CTableManager    the per-table rules (deletion, order, lists, purging,
//                    messages). Overrides OKtoDeleteItem, DeleteItemInFile,
//                    RestoreTableOrder, AfterScheduleChange and
//                    OnTableRefreshed (all final).
//
// Beside the chain: CDatabaseNetwork (the user list and the LAN server, one
// installed with SetNetwork; CLanDatabaseNetwork over the LAN) and the engine's
// CLockManagerLink (the lock manager, CLockManager over the LAN).

#include <cstdint>
#include <string>
#include <vector>

#include "data/CItemDialogs.h"

class CTableManager : public CItemDialogs {
 public:
  // ---- order ----
  // Each builds one key per item and sorts only when some key is out of
  // order; a changed order is stored under the database lock and announced.
  void SortRecordsPerson();
  void SortRecordsSchedule();
  void SortRecordsLog();

  // ---- the views' item lists (sorted first) ----
  void GetPersonPointerArray(std::vector<CPerson*>& pa, bool bAll);
  void GetSchedulePointerArray(std::vector<CScheduleRecord*>& pa);
  void GetLogPointerArray(std::vector<CLogRecord*>& pa);
  void GetCategoryList(std::vector<CCategory*>& pa);

  // ---- lookups by text ----
  CPerson* FoundPersonInList(const std::string& sLast, const std::string& sFirst);
  bool FoundLogInList(const std::string& sText) const;
  // The code of the category with that name; a missing one is added first.
  // 0xFFFFFFFF when it could not be added.
  uint32_t FoundCategoryInList(const std::string& sName);

  // ---- categories ----
  bool IsCategoryUsed(uint32_t nCode) const;
  // The lines of the "Category list" dialog (name, or "%s (not used)") and
  // their codes.
  std::vector<std::string> CategoryListLines(std::vector<uint32_t>& naCodes) const;
  // The dialog's buttons: add, edit or delete the category at nSelected of
  // naCodes (-1: none, "No Category selected").
  enum class eCategoryCommand : char { Add = 'A', Edit = 'E', Delete = 'D' };
  eItemResult CategoryListCommand(eCategoryCommand nCommand, int nSelected,
                                  const std::vector<uint32_t>& naCodes);

  // ---- schedule ----
  // Rebuilds the unscheduled box's text: the unscheduled items for nobody
  // or this copy's user, in table order, joined by ", ".
  void ShowUnscheduled();
  // The unscheduled items for nobody or this copy's user, in table order.
  std::vector<const CScheduleRecord*> UnscheduledItems() const;
  const std::string& UnscheduledText() const { return m_sUnscheduled; }
  // Deletes, or moves to the log, the out-of-date items the user picks.
  // Done when some were chosen.
  enum class ePurgeMode : char { Delete = 'D', Move = 'M' };
  eItemResult PurgeSchedule(ePurgeMode nMode);
  // Done when moved (the log entry is stored before the item is deleted).
  eItemResult MoveScheduleItemToLog(uint32_t nCode, bool bAsk);
  void TestAndRepairAlarmUsers();

  // ---- messages ----
  // Opens every pending message for this user that is still unread; codes
  // that arrive meanwhile stay pending.
  void CheckForMessages();

 protected:
  bool OKtoDeleteItem(uint8_t nTable, uint32_t nCode) final;
  bool DeleteItemInFile(uint8_t nTable, uint32_t nCode, uint32_t nFileLoc) final;
  int RestoreTableOrder(uint8_t nTable, uint32_t nCode) final;
  void AfterScheduleChange() final { ShowUnscheduled(); }
  void OnTableRefreshed(uint8_t nTable) final;

  // Sorts one table by its keys; stores the order when it changed.
  void SortTable(uint8_t nTable);
  // True when the entry a goes before b in the table's display order (equal
  // keys by code).
  static bool EntryBefore(uint8_t nTable, const stIndex& a, const stIndex& b);
  bool TableInOrder(uint8_t nTable) const;
  // Stores the table's order: at once when this copy holds the database
  // lock, else under a lock-and-refresh (sorting again after the refresh).
  void StoreTableOrder(uint8_t nTable);
  // Codes of the items of tables 6, 8 and 9 that list the category.
  std::vector<std::pair<uint8_t, uint32_t>> ItemsUsingCategory(uint32_t nCode) const;

  std::string m_sUnscheduled;
};
