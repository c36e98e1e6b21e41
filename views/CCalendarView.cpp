#include "views/CCalendarView.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "data/CTableManager.h"
#include "data/ItemSortKeys.h"
#include "data/ScheduleRecurrence.h"
#include "exchange/CCalendarPage.h"
#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/ViewCodes.h"

namespace {

constexpr int kCalendarMenu = 136;
constexpr const char* kRefreshLabel = "CCalendarView";
constexpr const char* kTimeFormat = "%I:%M%p";
constexpr int kNewItemHour = 8;
constexpr int kMonthCells = 42;

// Month/day/name, or month/week/weekday/name with weekday 1 = Sunday and
// week the ordinal of that weekday in the month. "Easter" is the date of
// each year's Easter.
constexpr const char* kHolidays[] = {
    "2/14/Valentine's day", "Easter",          "5/28/Memorial day", "6/3/1/Father's day",
    "7/4/Indep. day",       "9/1/2/Labor day", "10/31/Halloween",   "11/11/Veteran's day",
    "11/4/5/Thanksgiving",  "12/25/Christmas",
};

// The whole-day number of a date (0 = 30 December 1899).
long long DayNumber(double dDate) {
  long long nDay = 0, nMs = 0;
  return OleDateToSerial(dDate, nDay, nMs) ? nDay : -1;
}

// The time of day of a date on 1900-01-01, to the minute.
double TimeOfDay(double dDate) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return OLE_DATE_INVALID;
  return MakeOleDate(1900, 1, 1, dt.nHour, dt.nMinute);
}

// The position of a date in a sorted list (within a second); -1 when absent.
int FindInList(const std::vector<double>& da, double dDate) {
  std::vector<double> daOne = {dDate};
  for (size_t i = 0; i < da.size(); ++i)
    if (FoundDateTimeInList(da[i], daOne, 0)) return int(i);
  return -1;
}

// "%I:%M%p" of the times of day met, each formatted once: a month of a
// large schedule has hundreds of thousands of occurrences at few times.
class CTimeTexts {
 public:
  const std::string& Of(double dDate) {
    long long nDay = 0, nMs = 0;
    if (!OleDateToSerial(dDate, nDay, nMs)) return m_sInvalid;
    std::string& s = m_saTexts[size_t(std::clamp(nMs / 60000, 0LL, 24LL * 60 - 1))];
    if (s.empty()) s = FormatDateTime(dDate, kTimeFormat);
    return s;
  }

 private:
  std::array<std::string, 24 * 60> m_saTexts;
  std::string m_sInvalid = FormatDateTime(OLE_DATE_INVALID, kTimeFormat);
};

unsigned CellColour(const std::string& sText) {
  switch (sText.empty() ? 0 : sText[0]) {
    case '+': return GRID_RED;
    case '*': return GRID_LIGHT_BLUE;
    case '!': return GRID_GREEN;
    default: return GRID_WHITE;
  }
}

// Suspends the data refresh while the grid is built from the tables.
class CRefreshOff {
 public:
  explicit CRefreshOff(CTableManager& db) : m_db(db) { m_db.DataRefreshOff(kRefreshLabel); }
  ~CRefreshOff() { m_db.DataRefreshOn(kRefreshLabel); }
  CRefreshOff(const CRefreshOff&) = delete;
  CRefreshOff& operator=(const CRefreshOff&) = delete;

 private:
  CTableManager& m_db;
};

}  // namespace

CCalendarView::CCalendarView(CTableManager* pDB, CViewFrame* pFrame)
    : m_pDB(pDB), m_pFrame(pFrame ? pFrame : &CViewFrame::None()) {}

// A database loaded only for reading (kelvotool) shows its grids too.
bool CCalendarView::HasData() const { return m_pDB && (m_pDB->IsDatabaseOpen() || m_pDB->IsFileLoaded()); }

std::string CCalendarView::TitleLabel() const { return ViewTitleLabel(VIEW_CALENDAR, m_nMode); }

// ---- windows ----

void CCalendarView::EnterView(int nMode) {
  m_nMode = std::clamp(nMode, int(CALENDAR_DAILY), int(CALENDAR_MONTHLY));
  if (!HasData()) return;
  if (!m_bInitialized) {
    Host().InitializeWindow("Calendar", kCalendarMenu);
    m_bInitialized = true;
  }
  Current();
}

void CCalendarView::SetDayWindow(double dStart) {
  m_dStart = dStart;
  m_dEnd = IncrementDate(dStart, m_nDayCount);
}

void CCalendarView::ShowMonth(int nYear, int nMonth) {
  m_nMode = CALENDAR_MONTHLY;
  m_dStart = MakeOleDate(nYear, nMonth, 1);
  m_dEnd = IncrementDateExt(m_dStart, 0, 1);
  Content().sTitle = StrFormat("%s %i", MonthName(nMonth), nYear);
}

void CCalendarView::GetMonthlyDates(int nDirection) {
  stDateTime dt;
  if (!SplitOleDate(nDirection == 0 ? GetCurrentDate() : m_dStart, dt)) return;
  int nMonth = dt.nMonth + nDirection, nYear = dt.nYear;
  if (nMonth > 12) nMonth = 1, ++nYear;
  if (nMonth < 1) nMonth = 12, --nYear;
  ShowMonth(nYear, nMonth);
}

void CCalendarView::Current() {
  if (!HasData()) return;
  if (m_nMode == CALENDAR_MONTHLY) {
    GetMonthlyDates(0);
  } else {
    m_nDayCount = m_nMode == CALENDAR_WEEKLY ? 7 : 1;
    Content().sTitle = m_nMode == CALENDAR_WEEKLY ? "Week schedule" : "Day schedule";
    SetDayWindow(GetDatePart(GetCurrentDate()));
  }
  RedrawGrid();
}

void CCalendarView::Step(int nDirection) {
  if (!HasData()) return;
  if (m_nMode == CALENDAR_MONTHLY)
    GetMonthlyDates(nDirection);
  else
    SetDayWindow(IncrementDate(m_dStart, nDirection * m_nDayCount));
  RedrawGrid();
}

void CCalendarView::DatabaseChanged() {
  m_caGridLocs.clear();
  m_daDays.clear();
  m_daTimes.clear();
  Content().cells.Resize(0, 0);
  Content().saLinesBelow.clear();
}

// ---- building ----

void CCalendarView::RedrawGrid() {
  if (!HasData()) return;
  CRefreshOff refreshOff(*m_pDB);
  stGridContent& c = Content();
  c.nTitleFontTenths = 120;
  c.nCellFontTenths = 90;
  c.faColumnInches.clear();
  c.faRowInches.clear();
  m_daDays.clear();
  m_daTimes.clear();
  m_caGridLocs.clear();
  if (m_nMode == CALENDAR_MONTHLY) {
    MakeMonthlyGrid();
    c.faColumnInches.assign(7, 1.0f);
    c.faRowInches.assign(7, 1.25f);
    c.faRowInches[0] = 0.25f;
  } else {
    MakeDayTimeGrid(m_nDayCount, m_dStart, m_dEnd);
  }
  c.saLinesBelow.clear();
  for (const CScheduleRecord* p : m_pDB->UnscheduledItems()) c.saLinesBelow.push_back(p->m_sDescription);
  Host().Invalidate();
}

// The expansion starts a second early: every-N-days and weekly items are
// taken only strictly after the expansion's start, and one at exactly
// midnight of the first day belongs to the window.
void CCalendarView::MakeGridLocGrid(double dStart, double dEnd) {
  const double dFrom = IncrementDate(dStart, 0, 0, 0, -1);
  m_sTexts.clear();
  for (const stIndex& e : *m_pDB->PtrToIndexArray(TABLE_SCHEDULE)) {
    const auto& item = static_cast<const CScheduleRecord&>(*e.m_pItem);
    ExpandRecurrence(RecurrenceOf(item), dFrom, dEnd, false, m_daExpanded);
    const auto nOffset = uint32_t(m_sTexts.size());
    const auto nLength = uint32_t(item.m_sDescription.size());
    bool bShown = false;
    for (const double d : m_daExpanded)
      if (dStart <= d && d < dEnd) {
        m_caGridLocs.push_back({d, item.m_nCode, nOffset, nLength, -1, -1});
        bShown = true;
      }
    if (bShown) m_sTexts += item.m_sDescription;
  }
  std::stable_sort(m_caGridLocs.begin(), m_caGridLocs.end(),
                   [](const stGridLoc& a, const stGridLoc& b) { return a.dDate < b.dDate; });
}

std::string CCalendarView::EasterDateString(int nYear) {
  const int c = (nYear / 100 * 3 + 3) / 4 - 12;
  const int d = ((nYear % 19 * 11 + (nYear / 100 * 8 + 13) / 25 - c + 26) % 30 + 30) % 30;
  int e = 44 - d;
  if (d == 24 || (d == 25 && nYear % 19 > 10)) --e;
  if (e <= 20) e += 30;
  e -= (e + nYear * 5 / 4 - c - 10) % 7;
  return e + 7 >= 32 ? StrFormat("4/%i/Easter", e - 24) : StrFormat("3/%i/Easter", e + 7);
}

// Easter is taken for the date's own year, whichever grid asks.
std::string CCalendarView::HolidayOn(double dDate) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return "";
  const int nWeek = (dt.nDay + 6) / 7;
  for (const char* pEntry : kHolidays) {
    const std::string sEntry = std::string(pEntry) == "Easter" ? EasterDateString(dt.nYear) : pEntry;
    std::vector<std::string> sa;
    ParseString(sEntry, "/", sa, 0, false);
    if (sa.size() < 3 || sa.size() > 4) continue;
    long long n[3] = {};
    const size_t nNumbers = sa.size() - 1;
    bool bOk = true;
    for (size_t i = 0; i < nNumbers; ++i) bOk = bOk && ParseInt(sa[i], n[i]);
    if (!bOk || n[0] != dt.nMonth) continue;
    if (nNumbers == 2 ? n[1] == dt.nDay : (n[1] == nWeek && n[2] == dt.nDayOfWeek)) return sa.back();
  }
  return "";
}

void CCalendarView::MakeMonthlyGrid() {
  MakeGridLocGrid(m_dStart, m_dEnd);
  CTextArray2D& cells = Content().cells;
  cells.Resize(7, 7);
  for (int i = 0; i < 7; ++i) cells.SetAt(0, i, StrFormat("%-25s", DayName(i + 1)));
  const int nFirstColumn = GetDayOfWeek(m_dStart) - 1;
  const long long nFirstDay = DayNumber(m_dStart);
  std::vector<std::string> saTexts;
  for (int k = 0; k < kMonthCells - nFirstColumn; ++k) {
    const double dDay = IncrementDate(m_dStart, k);
    stDateTime dt;
    SplitOleDate(dDay, dt);
    std::string s = StrFormat("%i", dt.nDay);
    const std::string sHoliday = HolidayOn(dDay);
    if (!sHoliday.empty()) s += "|" + sHoliday;
    saTexts.push_back(std::move(s));
  }
  // Occurrences go to the cell of their full date, so a trailing cell of
  // the next month never shows an item of this month's same day.
  CTimeTexts times;
  std::vector<long long> naCells(m_caGridLocs.size());
  std::vector<size_t> naSizes(saTexts.size());
  for (size_t i = 0; i < m_caGridLocs.size(); ++i) {
    const long long k = DayNumber(m_caGridLocs[i].dDate) - nFirstDay;
    naCells[i] = k >= 0 && k < static_cast<long long>(saTexts.size()) ? k : -1;
    if (naCells[i] >= 0) naSizes[size_t(k)] += m_caGridLocs[i].nTextLength + 9;
  }
  for (size_t k = 0; k < saTexts.size(); ++k) saTexts[k].reserve(saTexts[k].size() + naSizes[k]);
  for (size_t i = 0; i < m_caGridLocs.size(); ++i) {
    const long long k = naCells[i];
    if (k < 0) continue;
    stGridLoc& loc = m_caGridLocs[i];
    std::string& sCell = saTexts[size_t(k)];
    sCell += '|';
    sCell += times.Of(loc.dDate);
    sCell += ' ';
    sCell += Description(loc);
    loc.nRow = 1 + int((nFirstColumn + k) / 7);
    loc.nColumn = int((nFirstColumn + k) % 7);
  }
  for (size_t k = 0; k < saTexts.size(); ++k)
    cells.SetAt(1 + int((nFirstColumn + k) / 7), int((nFirstColumn + k) % 7), saTexts[k]);
}

void CCalendarView::MakeDayTimeGrid(int nDays, double dStart, double dEnd) {
  MakeGridLocGrid(dStart, dEnd);
  for (int i = 0; i < nDays; ++i) FoundDateTimeInList(IncrementDate(dStart, i), m_daDays, 'A');
  const stVarData& v = m_pDB->GetVarData();
  const int nFirst = v.m_nStartHour * 60 + v.m_nStartMinute;
  for (int i = 0; i < v.m_nTimeIncrements; ++i) {
    const int nMinute = (nFirst + i * v.m_nMinutesPerIncrement) % (24 * 60);
    FoundDateTimeInList(MakeOleDate(1900, 1, 1, nMinute / 60, nMinute % 60), m_daTimes, 'A');
  }
  // Times that are no slot get rows of their own.
  for (const stGridLoc& loc : m_caGridLocs) {
    FoundDateTimeInList(GetDatePart(loc.dDate), m_daDays, 'A');
    FoundDateTimeInList(TimeOfDay(loc.dDate), m_daTimes, 'A');
  }
  std::sort(m_daDays.begin(), m_daDays.end());
  std::sort(m_daTimes.begin(), m_daTimes.end());

  CTextArray2D& cells = Content().cells;
  cells.Resize(unsigned(m_daTimes.size() + 1), unsigned(m_daDays.size() + 1));
  cells.SetAt(0, 0, "Time/day");
  for (size_t r = 0; r < m_daTimes.size(); ++r)
    cells.SetAt(int(r + 1), 0, FormatDateTime(m_daTimes[r], kTimeFormat));
  std::vector<std::vector<std::string>> saTexts(m_daTimes.size(), std::vector<std::string>(m_daDays.size()));
  for (size_t c = 0; c < m_daDays.size(); ++c) {
    cells.SetAt(0, int(c + 1), FormatDateTime(m_daDays[c], "%a %m/%d/%y"));
    const std::string sHoliday = HolidayOn(m_daDays[c]);
    if (!sHoliday.empty() && !saTexts.empty()) saTexts[0][c] = sHoliday + "|";
  }
  for (stGridLoc& loc : m_caGridLocs) {
    const int nDay = FindInList(m_daDays, GetDatePart(loc.dDate));
    const int nTime = FindInList(m_daTimes, TimeOfDay(loc.dDate));
    if (nDay < 0 || nTime < 0) continue;
    std::string& sCell = saTexts[size_t(nTime)][size_t(nDay)];
    sCell += Description(loc);
    sCell += '|';
    loc.nRow = nTime + 1;
    loc.nColumn = nDay + 1;
  }
  for (size_t r = 0; r < saTexts.size(); ++r)
    for (size_t c = 0; c < saTexts[r].size(); ++c)
      cells.SetAt(int(r + 1), int(c + 1), saTexts[r][c], CellColour(saTexts[r][c]));
}

std::vector<const CScheduleRecord*> CCalendarView::ListedItems() const {
  std::vector<const CScheduleRecord*> pa;
  if (!HasData()) return pa;
  std::unordered_set<uint32_t> shown;
  for (const stGridLoc& loc : m_caGridLocs) shown.insert(loc.nCode);
  for (const CScheduleRecord* p : m_pDB->UnscheduledItems()) shown.insert(p->m_nCode);
  for (const stIndex& e : *m_pDB->PtrToIndexArray(TABLE_SCHEDULE))
    if (shown.count(e.m_nCode)) pa.push_back(static_cast<const CScheduleRecord*>(e.m_pItem.get()));
  // The schedule's display order, also for a file only read (whose stored
  // order nobody may have sorted).
  std::stable_sort(pa.begin(), pa.end(), [](const CScheduleRecord* a, const CScheduleRecord* b) {
    return CompareScheduleKeys(*a, *b) < 0;
  });
  return pa;
}

// ---- clicks ----

// Rows and columns as the window reports them: 0 the margin, k the cell
// row or column k - 1, -1 beyond the grid.
bool CCalendarView::ClickedDate(int nRow, int nColumn, double& dDate) const {
  if (m_nMode == CALENDAR_MONTHLY) {
    if (nRow < 2 || nRow > 7 || nColumn < 1 || nColumn > 7) return false;
    const int nDay = nRow * 7 + nColumn - GetDayOfWeek(m_dStart) - 13;
    if (nDay < 1) return false;
    dDate = IncrementDate(m_dStart, nDay - 1, kNewItemHour);
    return true;
  }
  const int nDay = nColumn - 2, nTime = nRow - 2;
  if (nDay < 0 || nTime < 0 || size_t(nDay) >= m_daDays.size() || size_t(nTime) >= m_daTimes.size())
    return false;
  stDateTime t;
  if (!SplitOleDate(m_daTimes[size_t(nTime)], t)) return false;
  dDate = IncrementDate(m_daDays[size_t(nDay)], 0, t.nHour, t.nMinute);
  return true;
}

void CCalendarView::LeftClick(int nRow, int nColumn) {
  double dDate = 0.0;
  if (!HasData() || !ClickedDate(nRow, nColumn, dDate)) return;
  stEditExtra extra;
  extra.dDate = dDate;
  if (m_pDB->AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, true, extra) == eItemResult::Done) RedrawGrid();
}

void CCalendarView::RightClick(int nRow, int nColumn) {
  if (HasData()) EditCellItems(nRow - 1, nColumn - 1);
}

// The cell's items by code: the dialogs below may refresh the tables.
void CCalendarView::EditCellItems(int nRow, int nColumn) {
  std::vector<uint32_t> naCodes;
  std::vector<std::string> saTexts;
  for (const stGridLoc& loc : m_caGridLocs) {
    if (loc.nRow != nRow || loc.nColumn != nColumn) continue;
    const auto* p = static_cast<const CScheduleRecord*>(m_pDB->GetPointer(TABLE_SCHEDULE, loc.nCode));
    if (!p) continue;
    naCodes.push_back(loc.nCode);
    saTexts.push_back(FormatDateTime(loc.dDate, kTimeFormat) + " " + p->m_sDescription);
  }
  if (naCodes.empty()) return;
  std::optional<CUserInterface::stButtonChoice> choice;
  {
    CBusyScope busy;
    choice = GetUi().ChooseWithButton("Edit", saTexts, "Delete");
  }
  if (!choice || choice->nRow < 0 || size_t(choice->nRow) >= naCodes.size()) return;
  const uint32_t nCode = naCodes[size_t(choice->nRow)];
  eItemResult result = eItemResult::Cancelled;
  if (!choice->bButton)
    result = m_pDB->EditTableItem(TABLE_SCHEDULE, nCode);
  else if (GetResponse("Copy to event log?", MB_YESNO) == IDYES)
    result = m_pDB->MoveScheduleItemToLog(nCode, true);
  else
    result = m_pDB->DeleteTableItem(TABLE_SCHEDULE, nCode, true);
  if (result == eItemResult::Done) RedrawGrid();
}

// ---- printing and publishing ----

void CCalendarView::Print() {
  if (HasData()) Host().PrintGrid();
}

void CCalendarView::Web() {
  if (!HasData()) return;
  const std::string sPath = CCalendarPage::PagePath();
  const auto result =
      CCalendarPage::Publish(ListedItems(), sPath, AppSettings().publishAccount,
                             [this](const stFtpRequest& r) { return m_pFrame->DoFtpTransfer(r); });
  const std::string sMessage = CCalendarPage::PublishMessage(result, sPath);
  if (!sMessage.empty()) GetResponse(sMessage, MB_OK);
}

void CCalendarView::AddCommands(CCommandTable& t) {
  const eEnable open = eEnable::DatabaseOpen;
  t.Add(ID_CALENDAR_NEXT, MENU_BAR, "&Next", open, [this] { Step(1); });
  t.Add(ID_CALENDAR_PREVIOUS, MENU_BAR, "&Previous", open, [this] { Step(-1); });
  t.Add(ID_CALENDAR_CURRENT, MENU_BAR, "&Current", open, [this] { Current(); });
  t.Add(ID_CALENDAR_PRINT, MENU_BAR, "p&Rint", open, [this] { Print(); });
  t.Add(ID_CALENDAR_WEB, MENU_BAR, "&Web", open, [this] { Web(); });
}
