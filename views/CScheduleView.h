#pragma once
// The schedule view (F4): the schedule items of the open database, one line
// per item (not per occurrence) with its repeat type, start, end and alarm,
// filtered by category or by repeat type. Items are added, edited, deleted,
// moved to the log, purged, printed and exported as a vCalendar 1.0 file
// here, and exported and imported as iCalendar; the other computers can be
// pinged.
//
// The list holds pointers into the table manager's schedule table only
// between two rebuilds; anything that opens a dialog keeps item codes and
// looks them up again afterwards.

#include <cstdint>
#include <string>
#include <vector>

#include "views/CScrollBase.h"

class CScheduleRecord;

// The view's menu commands.
enum eScheduleCommand : int {
  ID_SCHEDULE_SELECT_ALL = 32843,
  ID_SCHEDULE_SELECT_CATEGORY = 32812,
  ID_SCHEDULE_SELECT_TYPE = 32831,
  ID_SCHEDULE_SELECT_FORMAT = 32813,
  ID_SCHEDULE_ADD = 32814,
  ID_SCHEDULE_EDIT = 32815,
  ID_SCHEDULE_DELETE = 32816,
  ID_SCHEDULE_MOVE_TO_LOG = 32859,
  ID_SCHEDULE_PURGE_DELETE = 32844,
  ID_SCHEDULE_PURGE_MOVE = 32858,
  ID_SCHEDULE_PRINT = 32841,
  ID_SCHEDULE_EXPORT = 32865,
  ID_SCHEDULE_PING = 32873,
  ID_SCHEDULE_EXPORT_ICALENDAR = 32950,
  ID_SCHEDULE_IMPORT_ICALENDAR = 32951,
};

class CScheduleView : public CScrollBase {
 public:
  explicit CScheduleView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);

  void EnterView() override;
  void ExitView() override;
  void SetUpLines() override;
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override;
  void EditLine() override;
  void AddCommands(CCommandTable& table) override;
  // Another database: the filters start again.
  void DatabaseChanged() override;

  // ---- commands ----
  void SelectAll();
  void SelectCategories();
  void SelectType();
  void SelectFormat();
  void AddItem();
  void DeleteItem();
  void MoveToLog();
  void Purge(char cMode);  // 'D' delete, 'M' move to the log
  void Export();
  // Every item of the list as iCalendar, in floating local time or a time zone
  // the user names; the items written with the nearest rule are listed after.
  void ExportICalendar();
  // Adds the items of an iCalendar file and shows what was imported and
  // which items were not, or not exactly, with the reasons.
  void ImportICalendar();
  void Ping();

  // The line of an item without the diagnostic suffix: type label,
  // description, start, end and alarm, separated by TAB.
  std::string ItemText(const CScheduleRecord& item) const;
  // The code of the highlighted item; DB_NONE on an empty list.
  uint32_t HighlightedCode() const;
  const std::vector<uint32_t>& SelectedCategories() const { return m_naSelectedCategories; }
  char TypeFilter() const { return m_cTypeFilter; }

 private:
  bool PassesFilter(const CScheduleRecord& item) const;
  // Runs an operation on the highlighted item with keep-page on.
  template <class Operation>
  void OnHighlighted(Operation fnOperation);
  // A new filter: from the top, rebuilt.
  void Refilter();

  std::vector<CScheduleRecord*> m_paItems;
  std::vector<uint32_t> m_naSelectedCategories;
  char m_cTypeFilter = 0;  // a repeat type; 0 for none
};
