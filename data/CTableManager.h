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
  bool OKtoDeleteItem(uint8_t nTable, uint32_t nCode) override;
  bool DeleteItemInFile(uint8_t nTable, uint32_t nCode, uint32_t nFileLoc) override;
  void RestoreTableOrder(uint8_t nTable, uint32_t nCode) override;
  void AfterScheduleChange() override { ShowUnscheduled(); }
  void OnTableRefreshed(uint8_t nTable) override;

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
