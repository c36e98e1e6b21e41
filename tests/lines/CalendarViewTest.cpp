// The calendar grids without a window on a real database: exact monthly
// cells with holidays, Easter in every grid whatever order they are built
// in, items at the edges of a month, clicks that create, edit and delete
// items (and margins that do nothing), and the published page.

#include <gtest/gtest.h>

#include <cstdlib>

#include "exchange/CCalendarPage.h"
#include "items/ItemTestCopies.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "views/CCalendarView.h"
#include "views/ViewCodes.h"

namespace {

using Row = std::vector<std::string>;

class CUploadFrame : public CViewFrame {
 public:
  int DoFtpTransfer(const stFtpRequest& request) override {
    m_caRequests.push_back(request);
    return 0;
  }
  std::vector<stFtpRequest> m_caRequests;
};

class CalendarView : public ::testing::Test {
 protected:
  CalendarView() : m_db(m_group.Open(2).Db()), m_view(&m_db, &m_frame) {}
  ~CalendarView() override { SetClockOverride(0.0); }

  uint32_t Item(const std::string& sDescription, const std::string& sType, const std::string& sStart) {
    return AddSchedule(m_db, m_ui, sDescription, sType, sStart);
  }
  void Month(int nYear, int nMonth) {
    m_view.ShowMonth(nYear, nMonth);
    m_view.RedrawGrid();
  }
  // Today is that date; then the grid of the mode.
  void Enter(int nMode, int nYear, int nMonth, int nDay) {
    SetClockOverride(MakeOleDate(nYear, nMonth, nDay, 12));
    m_view.EnterView(nMode);
  }
  const std::string& Cell(int nRow, int nColumn) { return m_view.Content().cells.GetAt(nRow, nColumn); }
  Row RowOf(int nRow) {
    Row sa;
    for (unsigned c = 0; c < m_view.Content().cells.Columns(); ++c) sa.push_back(Cell(nRow, int(c)));
    return sa;
  }
  Row ColumnOf(int nColumn) {
    Row sa;
    for (unsigned r = 0; r < m_view.Content().cells.Rows(); ++r) sa.push_back(Cell(int(r), nColumn));
    return sa;
  }
  int Occurrences(uint32_t nCode) {
    int n = 0;
    for (const stGridLoc& loc : m_view.GridLocations()) n += loc.nCode == nCode;
    return n;
  }
  // The one item of that description.
  const CScheduleRecord* Find(const std::string& sDescription) {
    for (uint32_t nCode : CodesOf(m_db, TABLE_SCHEDULE))
      if (ScheduleOf(m_db, nCode)->m_sDescription == sDescription) return ScheduleOf(m_db, nCode);
    return nullptr;
  }

  CScratchFolder m_folder;
  CHookUi m_ui;
  CCopyGroup m_group{m_folder.File("calendar")};
  CTableManager& m_db;
  CUploadFrame m_frame;
  CCalendarView m_view;
};

TEST_F(CalendarView, MonthlyCellsOfFebruaryAndNovember2004) {
  Item("Dentist", "O", "02/10/2004 02:30PM");
  Item("Rent", "M", "01/01/2004 09:00AM");
  Item("+Late", "O", "11/30/2004 11:59PM");
  Item("Someday", "U", "01/05/2004 10:00AM");
  m_ui.QueueEdit({{ItemField::kDescription, "Not mine"},
                  {ItemField::kRepeatType, "U"},
                  {ItemField::kStart, "01/05/2004 10:00AM"},
                  {ItemField::kAlarmEnabled, "1"},
                  {ItemField::kAlarmUser, "7"}});
  ASSERT_EQ(m_db.AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, false), eItemResult::Done);

  Month(2004, 2);
  Row names;
  for (const char* p : {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
    names.push_back(StrFormat("%-25s", p));
  EXPECT_EQ(m_view.Content().sTitle, "February 2004");
  EXPECT_EQ(RowOf(0), names);
  EXPECT_EQ(RowOf(1), (Row{"1|09:00AM Rent", "2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(RowOf(2), (Row{"8", "9", "10|02:30PM Dentist", "11", "12", "13", "14|Valentine's day"}));
  EXPECT_EQ(RowOf(3), (Row{"15", "16", "17", "18", "19", "20", "21"}));
  EXPECT_EQ(RowOf(4), (Row{"22", "23", "24", "25", "26", "27", "28"}));
  // The trailing March cells show no February item of the same day number.
  EXPECT_EQ(RowOf(5), (Row{"29", "1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(RowOf(6), (Row{"7", "8", "9", "10", "11", "12", "13"}));
  EXPECT_EQ(m_view.Content().faColumnInches, std::vector<float>(7, 1.0f));
  EXPECT_EQ(m_view.Content().faRowInches,
            (std::vector<float>{0.25f, 1.25f, 1.25f, 1.25f, 1.25f, 1.25f, 1.25f}));
  EXPECT_EQ(m_view.Content().saLinesBelow, Row{"Someday"});

  for (int i = 0; i < 9; ++i) m_view.Step(1);
  EXPECT_EQ(m_view.Content().sTitle, "November 2004");
  EXPECT_EQ(RowOf(1), (Row{"", "1|09:00AM Rent", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(RowOf(2), (Row{"7", "8", "9", "10", "11|Veteran's day", "12", "13"}));
  EXPECT_EQ(RowOf(3), (Row{"14", "15", "16", "17", "18", "19", "20"}));
  EXPECT_EQ(RowOf(4), (Row{"21", "22", "23", "24", "25|Thanksgiving", "26", "27"}));
  EXPECT_EQ(RowOf(5), (Row{"28", "29", "30|11:59PM +Late", "1", "2", "3", "4"}));
  EXPECT_EQ(RowOf(6), (Row{"5", "6", "7", "8", "9", "10", "11"}));
  m_view.Step(-1);
  EXPECT_EQ(m_view.Content().sTitle, "October 2004");
  EXPECT_EQ(Cell(6, 0), "31|Halloween");
}

TEST_F(CalendarView, EasterInEveryGridWhateverTheOrder) {
  const uint32_t nCall = Item("Call", "O", "03/28/2005 10:15AM");
  Enter(CALENDAR_WEEKLY, 2005, 3, 27);
  EXPECT_EQ(m_view.Content().sTitle, "Week schedule");
  EXPECT_EQ(RowOf(0), (Row{"Time/day", "Sun 03/27/05", "Mon 03/28/05", "Tue 03/29/05", "Wed 03/30/05",
                           "Thu 03/31/05", "Fri 04/01/05", "Sat 04/02/05"}));
  // The default slots 08:00 to 21:00, and a row for the 10:15 item.
  EXPECT_EQ(ColumnOf(0),
            (Row{"Time/day", "08:00AM", "09:00AM", "10:00AM", "10:15AM", "11:00AM", "12:00PM", "01:00PM",
                 "02:00PM", "03:00PM", "04:00PM", "05:00PM", "06:00PM", "07:00PM", "08:00PM", "09:00PM"}));
  EXPECT_EQ(Cell(1, 1), "Easter|");
  EXPECT_EQ(Cell(4, 2), "Call|");
  ASSERT_EQ(m_view.GridLocations().size(), 1u);
  EXPECT_EQ(m_view.GridLocations()[0].nCode, nCall);
  EXPECT_EQ(m_view.GridLocations()[0].nRow, 4);

  Month(2004, 4);
  EXPECT_EQ(Cell(3, 0), "11|Easter");
  Enter(CALENDAR_DAILY, 2004, 4, 11);
  EXPECT_EQ(m_view.Content().sTitle, "Day schedule");
  EXPECT_EQ(RowOf(0), (Row{"Time/day", "Sun 04/11/04"}));
  EXPECT_EQ(Cell(1, 1), "Easter|");
  Month(2005, 3);
  EXPECT_EQ(Cell(5, 0), "27|Easter");
  Month(2005, 4);
  EXPECT_EQ(Cell(3, 1), "11");
  Enter(CALENDAR_WEEKLY, 2004, 4, 11);
  EXPECT_EQ(Cell(1, 1), "Easter|");
  EXPECT_EQ(CCalendarView::EasterDateString(2004), "4/11/Easter");
  EXPECT_EQ(CCalendarView::EasterDateString(2005), "3/27/Easter");
}

TEST_F(CalendarView, ItemsAtMidnightOfTheFirstAndTheLastMinuteOfTheMonth) {
  const uint32_t nWalk = Item("Walk", "D", "05/30/2004 12:00AM");
  const uint32_t nFirst = Item("First", "O", "06/01/2004 12:00AM");
  const uint32_t nLate = Item("Late", "O", "06/30/2004 11:59PM");
  Month(2004, 6);
  EXPECT_EQ(Cell(1, 2), "1|12:00AM First|12:00AM Walk");
  EXPECT_EQ(Cell(5, 3), "30|12:00AM Walk|11:59PM Late");
  EXPECT_EQ(Cell(5, 4), "1");
  EXPECT_EQ(Occurrences(nWalk), 30);
  EXPECT_EQ(Occurrences(nFirst), 1);
  EXPECT_EQ(Occurrences(nLate), 1);
  m_view.Step(-1);
  EXPECT_EQ(Occurrences(nWalk), 2);  // May 30 and 31
  EXPECT_EQ(Occurrences(nFirst), 0);
  EXPECT_EQ(Cell(6, 0), "30|12:00AM Walk");
}

TEST_F(CalendarView, ClicksCreateAndEditItemsOnlyInDayCells) {
  Month(2004, 11);
  m_ui.ClearShown();
  // Margins, the weekday row, beyond the grid, and the cell before the 1st.
  for (const auto& [nRow, nColumn] :
       std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {-1, 2}, {3, 0}, {3, -1}, {2, 1}, {8, 1}, {2, 8}}) {
    m_view.LeftClick(nRow, nColumn);
    m_view.RightClick(nRow, nColumn);
  }
  m_view.RightClick(4, 4);  // a day without items
  EXPECT_TRUE(CodesOf(m_db, TABLE_SCHEDULE).empty());
  EXPECT_TRUE(m_ui.Shown().empty());

  // The 32nd day of November is December 2nd, at 08:00.
  m_ui.QueueEdit({{ItemField::kDescription, "December"}});
  m_view.LeftClick(6, 5);
  ASSERT_NE(Find("December"), nullptr);
  EXPECT_EQ(Find("December")->m_dStart, MakeOleDate(2004, 12, 2, 8, 0));
  EXPECT_EQ(Find("December")->m_cRepeatType, 'O');

  Month(2004, 2);
  m_ui.QueueEdit({{ItemField::kDescription, "February"}});
  m_view.LeftClick(2, 1);
  EXPECT_EQ(Find("February")->m_dStart, MakeOleDate(2004, 2, 1, 8, 0));
  EXPECT_EQ(Cell(1, 0), "1|08:00AM February");
  // Delete, not to the log, confirmed.
  m_ui.QueueChoice({1});
  m_ui.QueueAnswer(IDNO);
  m_ui.QueueAnswer(IDYES);
  m_view.RightClick(2, 1);
  EXPECT_EQ(Find("February"), nullptr);
  EXPECT_EQ(Cell(1, 0), "1");
  EXPECT_TRUE(m_ui.SawText("Copy to event log?"));

  // Day/time cells: the day of the column, the time of the row.
  Enter(CALENDAR_WEEKLY, 2005, 3, 27);
  m_ui.QueueEdit({{ItemField::kDescription, "Slot"}});
  m_view.LeftClick(3, 3);
  EXPECT_EQ(Find("Slot")->m_dStart, MakeOleDate(2005, 3, 28, 9, 0));
  m_ui.QueueChoice({0});
  m_ui.QueueEdit({{ItemField::kDescription, "Renamed"}});
  m_view.RightClick(3, 3);
  EXPECT_EQ(Cell(2, 2), "Renamed|");
  // Moved to the event log.
  m_ui.QueueChoice({1});
  m_ui.QueueAnswer(IDYES);
  m_view.RightClick(3, 3);
  EXPECT_EQ(Find("Renamed"), nullptr);
  EXPECT_EQ(CodesOf(m_db, TABLE_LOG).size(), 1u);
}

TEST_F(CalendarView, WebPageEscapesTextAndUploadsOnlyAWrittenPage) {
  const char* pOldHome = std::getenv("KELVO_HOME");
  const std::string sOldHome = pOldHome ? pOldHome : "";
  setenv("KELVO_HOME", m_folder.Path().c_str(), 1);
  Item("<script>alert(\"x\")</script> & caf\xC3\xA9", "O", "02/10/2004 02:30PM");
  Item("+Pay", "M", "01/31/2004 09:00AM");
  Item("Outside", "O", "03/10/2004 02:30PM");
  Month(2004, 2);
  const stFtpAccount oldAccount = AppSettings().publishAccount;
  AppSettings().publishAccount = {};
  m_view.Web();
  const std::string sPath = m_folder.File(CCalendarPage::kFileName);
  std::string sPage;
  ASSERT_TRUE(ReadWholeFile(sPath, sPage));
  EXPECT_EQ(sPage.find("<script"), std::string::npos);
  EXPECT_NE(
      sPage.find("<tr>\n<td>February 10, 2004, 02:30PM (Tuesday)</td><td>&lt;script&gt;alert(&quot;x&quot;)"
                 "&lt;/script&gt; &amp; caf&#233;</td><td>None</td>\n</tr>\n"),
      std::string::npos);
  EXPECT_NE(
      sPage.find("</table>\nMonthly (date)\n<table border=\"2\" cellspacing=\"0\" bordercolor=\"#000000\">\n"
                 "<td>START TIME</td><td>EVENT</td><td>END TIME</td>\n<tr>\n<td>January 31, 2004, 09:00AM "
                 "(Saturday)</td><td><font color=\"#FF0000\">+Pay</font></td><td>None</td>\n</tr>\n"
                 "</table>\n</body>\n</html>\n"),
      std::string::npos);
  EXPECT_EQ(sPage.find("Outside"), std::string::npos);
  EXPECT_TRUE(m_frame.m_caRequests.empty());
  EXPECT_TRUE(m_ui.SawText("The calendar page was written to " + sPath +
                           ". Uploading it needs a publishing account in Kelvo.cfg."));

  AppSettings().publishAccount = {"ftp.example.net:2121", "cal", "secret", ""};
  m_view.Web();
  ASSERT_EQ(m_frame.m_caRequests.size(), 1u);
  const stFtpRequest& r = m_frame.m_caRequests[0];
  EXPECT_EQ(r.sLocalPath, sPath);
  EXPECT_EQ(r.sRemoteName, "ZorEduvavoz.htm");
  EXPECT_EQ(r.sRemoteFolder, "public");
  EXPECT_EQ(r.sServer, "ftp.example.net:2121");
  EXPECT_EQ(r.sPassword, "secret");
  EXPECT_TRUE(r.bPassive && !r.bDownload && !r.bModeless);
  EXPECT_TRUE(m_ui.SawText(sPath + " NOT transferred OK"));

  // A page that cannot be written is never uploaded.
  int nTransfers = 0;
  EXPECT_EQ(
      CCalendarPage::Publish(m_view.ListedItems(), m_folder.File("missing/page.htm"),
                             AppSettings().publishAccount, [&](const stFtpRequest&) { return ++nTransfers; }),
      CCalendarPage::ePublish::WriteFailed);
  EXPECT_EQ(nTransfers, 0);
  AppSettings().publishAccount = oldAccount;
  if (pOldHome)
    setenv("KELVO_HOME", sOldHome.c_str(), 1);
  else
    unsetenv("KELVO_HOME");
}

}  // namespace
