#pragma once
// The calendar (F5 daily, F6 weekly, F7 monthly): the schedule as a grid of
// text cells, a day or a week as a time-by-day table or a month as a
// seven-column calendar with holidays, and the unscheduled items below it.
// A left click on a day cell creates a one-time item there; a right click
// lists the cell's items to edit, delete or move to the event log. The Web
// command writes the items it shows as an HTML page and uploads it.
//
// It is the grid's source and holds no window: the Qt grid window draws its
// content and hands it the clicks, so tools and tests run it headless.
// Grid locations keep item codes and copies of the descriptions, never
// pointers into the tables, so nothing dangles across a dialog or a refresh.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "views/CGridSource.h"
#include "views/CViewFrame.h"

class CScheduleRecord;
class CTableManager;

// The calendar's commands.
enum eCalendarCommand : int {
  ID_CALENDAR_NEXT = 32785,
  ID_CALENDAR_PREVIOUS = 32786,
  ID_CALENDAR_CURRENT = 32833,
  ID_CALENDAR_PRINT = 32835,
  ID_CALENDAR_WEB = 32876,
};

// One occurrence in the window and the cell that shows it.
struct stGridLoc {
  double dDate = 0.0;
  uint32_t nCode = 0;
  // The item's description in the view's text store (Description).
  uint32_t nTextOffset = 0;
  uint32_t nTextLength = 0;
  int nRow = -1;  // text-array cell; -1 until placed
  int nColumn = -1;
};

class CCalendarView : public CGridSource {
 public:
  explicit CCalendarView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);

  // ---- the grid source ----
  void EnterView(int nMode) override;
  void RedrawGrid() override;
  void DatabaseChanged() override;
  std::string TitleLabel() const override;
  void AddCommands(CCommandTable& table) override;
  void LeftClick(int nRow, int nColumn) override;
  void RightClick(int nRow, int nColumn) override;

  // ---- commands ----
  // Moves the window a month (monthly) or the day count in days.
  void Step(int nDirection);
  void Current();
  void Print();
  // Writes the page of the items shown and uploads it to the publishing
  // account; without an account says where the page is.
  void Web();

  // ---- state ----
  int Mode() const { return m_nMode; }
  double WindowStart() const { return m_dStart; }
  double WindowEnd() const { return m_dEnd; }
  // Shows the month of a date (monthly mode).
  void ShowMonth(int nYear, int nMonth);
  const std::vector<stGridLoc>& GridLocations() const { return m_caGridLocs; }
  std::string_view Description(const stGridLoc& loc) const {
    return std::string_view(m_sTexts).substr(loc.nTextOffset, loc.nTextLength);
  }
  const std::vector<double>& DayList() const { return m_daDays; }
  const std::vector<double>& TimeList() const { return m_daTimes; }
  // The items the grid shows, each once, in table order: those with an
  // occurrence in the window and the unscheduled items below the grid.
  std::vector<const CScheduleRecord*> ListedItems() const;

  // "%i/%i/Easter" (month, day) of a year.
  static std::string EasterDateString(int nYear);
  // The holiday of a date, or empty.
  static std::string HolidayOn(double dDate);

 private:
  bool HasData() const;
  // The window of the current month (direction 0), or the month after
  // (+1) or before (-1) the current window's.
  void GetMonthlyDates(int nDirection);
  void SetDayWindow(double dStart);
  // Every occurrence with start <= date < end, in date order.
  void MakeGridLocGrid(double dStart, double dEnd);
  void MakeMonthlyGrid();
  void MakeDayTimeGrid(int nDays, double dStart, double dEnd);
  // The date and time a left click on a day cell stands for; false outside.
  bool ClickedDate(int nRow, int nColumn, double& dDate) const;
  void EditCellItems(int nRow, int nColumn);

  CTableManager* m_pDB;
  CViewFrame* m_pFrame;
  bool m_bInitialized = false;
  int m_nMode = 0;
  int m_nDayCount = 1;
  double m_dStart = 0.0;
  double m_dEnd = 0.0;
  std::vector<double> m_daDays;
  std::vector<double> m_daTimes;
  std::vector<stGridLoc> m_caGridLocs;
  std::vector<double> m_daExpanded;  // one item's dates, reused
  // The descriptions of the items shown, one after the other in table
  // order: the cells read them in date order, and a compact store keeps
  // that cheap for a month of a large schedule.
  std::string m_sTexts;
};
