// The schedule view without a window on a real database: its columns for
// every repeat type and its colours, the type and category filters, editing,
// deleting, moving and purging through the table manager's dialogs, the
// export of the chosen items while another copy changes them, ping,
// printing, and commands on an empty list.

#include <gtest/gtest.h>

#include "items/ItemTestCopies.h"
#include "network/NetworkHelpers.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tests/lines/TestLines.h"
#include "tests/print/PrintTestSupport.h"
#include "views/CScheduleView.h"
#include "views/ViewKeys.h"

namespace {

class CPingFrame : public CViewFrame {
 public:
  void FrameRequest(eFrameRequest request) override { m_naRequests.push_back(request); }
  std::vector<int> m_naRequests;
};

// The scripted host with a hook that runs while the file dialog is open.
class CFileHookUi : public CHookUi {
 public:
  void WhileChoosingFile(std::function<void()> fn) { m_fnFile = std::move(fn); }
  std::optional<std::string> ChooseFile(bool bSave, const std::string& sCaption, const std::string& sFilter,
                                        const std::string& sDefault) override {
    if (auto fn = std::exchange(m_fnFile, nullptr)) fn();
    return CHookUi::ChooseFile(bSave, sCaption, sFilter, sDefault);
  }

 private:
  std::function<void()> m_fnFile;
};

class ScheduleView : public ::testing::Test {
 protected:
  ScheduleView() : m_db(m_group.Open(2).Db()), m_view(&m_db, &m_frame) {
    m_nWork = AddCategory(m_db, m_ui, "Work");
    m_nHome = AddCategory(m_db, m_ui, "Home");
    m_nYearly = Add({{ItemField::kDescription, "Birthday"},
                     {ItemField::kRepeatType, "Y"},
                     {ItemField::kStart, "02/10/2024 12:00AM"},
                     {ItemField::kCategories, "Home"}});
    m_nMonthDay = Add({{ItemField::kDescription, "Club"},
                       {ItemField::kRepeatType, "m"},
                       {ItemField::kStart, "01/09/2024 07:00PM"},
                       {ItemField::kCategories, "Home"}});
    m_nMonthly = Add({{ItemField::kDescription, "Rent"},
                      {ItemField::kRepeatType, "M"},
                      {ItemField::kStart, "01/15/2024 09:00AM"},
                      {ItemField::kAlarmEnabled, "1"},
                      {ItemField::kAlarmUser, "2"},
                      {ItemField::kHoursBefore, "25"},
                      {ItemField::kCategories, "Home"}});
    m_nWeekly = Add({{ItemField::kDescription, "!Stand-up"},
                     {ItemField::kRepeatType, "W"},
                     {ItemField::kStart, "01/03/2024 09:00AM"},
                     {ItemField::kEndDateSet, "1"},
                     {ItemField::kEnd, "06/26/2024 09:00AM"},
                     {ItemField::kCategories, "Work"}});
    m_nDaily = Add({{ItemField::kDescription, "*Pills"},
                    {ItemField::kRepeatType, "D"},
                    {ItemField::kDayCount, "3"},
                    {ItemField::kStart, "01/02/2024 08:00AM"},
                    {ItemField::kAlarmEnabled, "1"},
                    {ItemField::kAlarmUser, "7"},
                    {ItemField::kHoursBefore, "2"}});
    m_nOnce = Add({{ItemField::kDescription, "+Dentist"},
                   {ItemField::kRepeatType, "O"},
                   {ItemField::kStart, "03/05/2024 02:30PM"},
                   {ItemField::kEndDateSet, "1"},
                   {ItemField::kEnd, "12/31/2024 12:00PM"},
                   {ItemField::kCategories, "Work"}});
    m_nSomeday = Add({{ItemField::kDescription, "Someday"},
                      {ItemField::kRepeatType, "U"},
                      {ItemField::kStart, "01/05/2024 10:00AM"},
                      {ItemField::kAlarmEnabled, "1"},
                      {ItemField::kAlarmUser, "2"},
                      {ItemField::kEndDateSet, "1"},
                      {ItemField::kEnd, "01/06/2024 10:00AM"}});
    m_view.EnterView();
  }
  ~ScheduleView() override { SetClockOverride(0.0); }

  uint32_t Add(std::vector<stEditField> fields) {
    m_ui.QueueEdit(std::move(fields));
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(m_db.AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, false, {}, &nCode), eItemResult::Done);
    return nCode;
  }
  std::vector<std::string> Lines() { return PaintedLines(m_view); }
  std::vector<uint32_t> Listed() {
    std::vector<uint32_t> na;
    for (int i = 0; i < m_view.MaxLines(); ++i) {
      m_view.SetHighlight(i);
      na.push_back(m_view.HighlightedCode());
    }
    return na;
  }
  void Highlight(uint32_t nCode) {
    if (!HighlightCode(m_view, nCode)) FAIL() << "item " << nCode << " is not listed";
  }

  CScratchFolder m_folder;
  CFileHookUi m_ui;
  CCopyGroup m_group{m_folder.File("schedule")};
  CTableManager& m_db;
  CPingFrame m_frame;
  CScheduleView m_view;
  CRefreshingFrame m_refreshing{m_view, TABLE_SCHEDULE};
  uint32_t m_nWork = 0, m_nHome = 0;
  uint32_t m_nYearly = 0, m_nMonthDay = 0, m_nMonthly = 0, m_nWeekly = 0, m_nDaily = 0, m_nOnce = 0,
           m_nSomeday = 0;
};

TEST_F(ScheduleView, ColumnsOfEveryRepeatTypeAndTheirColours) {
  const std::string sMe = GetThisComputerName();
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Type\tDescription\tStart\tEnd\tAlarm",
                         "Unscheduled\tSomeday\tNone\tNone\tNone",
                         "One time\t+Dentist\t03/05/2024 02:30PM\tNone\tNone",
                         "Daily\t*Pills\t01/02/2024 08:00AM\tNone\tUnknown user: 01/02/2024 06:00AM",
                         "Weekly\t!Stand-up\t01/03/2024 09:00AM\t06/26/2024 09:00AM\tNone",
                         "Monthly (date)\tRent\t01/15/2024 09:00AM\tNone\t" + sMe + ": 01/14/2024 08:00AM",
                         "Monthly (day)\tClub\t01/09/2024 07:00PM\tNone\tNone",
                         "Yearly\tBirthday\t02/10/2024 12:00AM\tNone\tNone",
                     }));
  std::string sStatus;
  char cStatus = 'x';
  EXPECT_EQ(m_view.GetLine(-1, HINT_PAINT, cStatus).m_cType, FMT_HEADER);
  for (int i = 0; i < m_view.MaxLines(); ++i) {
    EXPECT_EQ(m_view.GetLine(i, HINT_PAINT, cStatus).m_cType, FMT_LINE);
    sStatus += cStatus ? cStatus : '0';
  }
  EXPECT_EQ(sStatus, "0REB000");
  EXPECT_EQ(m_view.GetLine(0, HINT_PAINT, cStatus).m_pFormat, m_db.GetFormat(8));
  SetDiagnosticLevel(1);
  const std::string sLine = m_view.GetLine(1, HINT_PAINT, cStatus).m_sText;
  SetDiagnosticLevel(0);
  EXPECT_EQ(sLine,
            Lines()[2] + StrFormat(" [code %u, seq %u]", m_nOnce, ScheduleOf(m_db, m_nOnce)->m_nSequence));
  CScheduleView closed;
  closed.EnterView();
  EXPECT_EQ(closed.GetLine(0, HINT_PAINT, cStatus).m_sText, "Database closed");
}

TEST_F(ScheduleView, TypeFilterOverridesTheCategories) {
  m_ui.QueueChoice({0});  // Work
  m_view.SelectCategories();
  EXPECT_EQ(Listed(), (std::vector<uint32_t>{m_nOnce, m_nWeekly}));
  m_view.SetHighlight(1);
  // "Daily": only daily items, whatever the categories; the choice offers every type.
  m_ui.ClearShown();
  m_ui.QueueChoice({2});
  m_view.SelectType();
  EXPECT_EQ(m_ui.Shown().back().sCaption, "Select type");
  EXPECT_EQ(m_ui.Shown().back().sText,
            "All\nOne time\nDaily\nWeekly\nMonthly (Date)\nMonthly (Day)\nYearly\nUnscheduled\n");
  EXPECT_EQ(m_view.TypeFilter(), 'D');
  EXPECT_EQ(m_view.HiLiteLine(), 0);
  EXPECT_EQ(Listed(), std::vector<uint32_t>{m_nDaily});
  // Cancel changes nothing; "All" clears the type and the categories count again.
  m_ui.QueueChoice({});
  m_view.SelectType();
  EXPECT_EQ(m_view.TypeFilter(), 'D');
  m_ui.QueueChoice({0});
  m_view.SelectType();
  EXPECT_EQ(Listed(), (std::vector<uint32_t>{m_nOnce, m_nWeekly}));
  m_ui.QueueChoice({7});
  m_view.SelectType();
  EXPECT_EQ(Listed(), std::vector<uint32_t>{m_nSomeday});
  // A category choice clears the type filter; both categories are no filter.
  m_ui.QueueChoice({1});
  m_view.SelectCategories();
  EXPECT_EQ(m_view.TypeFilter(), 0);
  EXPECT_EQ(Listed(), (std::vector<uint32_t>{m_nMonthly, m_nMonthDay, m_nYearly}));
  m_ui.QueueChoice({});
  m_view.SelectCategories();
  EXPECT_TRUE(m_ui.SawText("None selected"));
  EXPECT_EQ(m_view.SelectedCategories(), std::vector<uint32_t>{m_nHome});
  m_ui.QueueChoice({0, 1});
  m_view.SelectCategories();
  EXPECT_TRUE(m_view.SelectedCategories().empty());
  EXPECT_EQ(m_view.MaxLines(), 7);
  // Select All by its command id clears both.
  m_ui.QueueChoice({1});
  m_view.SelectType();
  CCommandTable table;
  m_view.AddCommands(table);
  EXPECT_TRUE(table.Run(ID_SCHEDULE_SELECT_ALL, true));
  EXPECT_EQ(m_view.TypeFilter(), 0);
  EXPECT_EQ(m_view.MaxLines(), 7);
  for (int nId : {32843, 32812, 32831, 32813, 32814, 32815, 32816, 32859, 32844, 32858, 32841, 32865, 32873})
    EXPECT_NE(table.Find(nId), nullptr) << nId;
  m_view.DatabaseChanged();
  EXPECT_EQ(m_view.MaxLines(), 0);
}

TEST_F(ScheduleView, EditDeleteMoveAndPurgeThroughTheTableManager) {
  CTableManager& other = m_group.Open(3).Db();
  // Edit: the form round trip; the change is in the other copy too.
  Highlight(m_nWeekly);
  m_ui.QueueEdit({{ItemField::kDescription, "Stand-up, moved"}, {ItemField::kEnd, "07/31/2024 09:30AM"}});
  m_view.EditLine();
  other.RefreshOnNotice();
  ASSERT_NE(ScheduleOf(other, m_nWeekly), nullptr);
  EXPECT_EQ(ScheduleOf(other, m_nWeekly)->m_sDescription, "Stand-up, moved");
  EXPECT_EQ(ScheduleOf(other, m_nWeekly)->m_dEnd, MakeOleDate(2024, 7, 31, 9, 30));
  EXPECT_EQ(Lines()[4], "Weekly\tStand-up, moved\t01/03/2024 09:00AM\t07/31/2024 09:30AM\tNone");
  // Add through the dialog.
  m_ui.QueueEdit({{ItemField::kDescription, "Trip"},
                  {ItemField::kRepeatType, "O"},
                  {ItemField::kStart, "08/01/2024 06:00AM"}});
  m_view.AddItem();
  EXPECT_EQ(m_view.MaxLines(), 8);
  // Delete asks first; No keeps the item.
  Highlight(m_nMonthDay);
  m_ui.QueueAnswer(IDNO);
  m_view.DeleteItem();
  EXPECT_TRUE(m_ui.SawText("Are you sure you want to delete schedule item: Club?"));
  EXPECT_EQ(m_view.MaxLines(), 8);
  m_ui.QueueAnswer(IDYES);
  m_view.DeleteItem();
  EXPECT_EQ(m_db.GetPointer(TABLE_SCHEDULE, m_nMonthDay), nullptr);
  EXPECT_EQ(m_view.MaxLines(), 7);
  // Move to log: a repeating item opens the log event dialog first.
  const size_t nLogBefore = m_db.m_caLogIndex.size();
  Highlight(m_nYearly);
  m_ui.QueueEdit({});
  m_view.MoveToLog();
  EXPECT_EQ(m_db.GetPointer(TABLE_SCHEDULE, m_nYearly), nullptr);
  ASSERT_EQ(m_db.m_caLogIndex.size(), nLogBefore + 1);
  EXPECT_EQ(m_view.MaxLines(), 6);
  // Purge: the one-time items before now and the items past their end.
  SetClockOverride(MakeOleDate(2024, 7, 1, 12, 0));
  m_ui.ClearShown();
  m_ui.QueueChoice({0});
  m_view.Purge('D');
  ASSERT_EQ(m_ui.Shown().front().sKind, "choice");
  EXPECT_EQ(m_ui.Shown().front().sCaption, "Select one or more items to delete");
  EXPECT_EQ(m_ui.Shown().front().sText, "+Dentist, 03/05/2024\n");
  EXPECT_EQ(m_db.GetPointer(TABLE_SCHEDULE, m_nOnce), nullptr);
  EXPECT_EQ(m_view.MaxLines(), 5);
  SetClockOverride(MakeOleDate(2024, 9, 1, 12, 0));
  m_ui.QueueChoice({0, 1});
  m_view.Purge('M');
  EXPECT_EQ(m_db.GetPointer(TABLE_SCHEDULE, m_nWeekly), nullptr);
  EXPECT_EQ(m_db.m_caLogIndex.size(), nLogBefore + 3);
  EXPECT_EQ(m_view.MaxLines(), 3);
  m_ui.ClearShown();
  m_view.Purge('D');
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{"No out of date items found."});
  other.RefreshOnNotice();
  ExpectSameTables(m_db, other, "after the purges");
}

TEST_F(ScheduleView, ExportsTheChosenItemsAsTheyAreAfterTheDialog) {
  CTableManager& other = m_group.Open(3).Db();
  m_ui.ClearShown();
  // Offered: every item of the list but the unscheduled one, in list order.
  m_ui.QueueChoice({5, 0, 1, 3, 1});
  const std::string sFile = m_folder.File("plan.vcs");
  m_ui.QueueFile(sFile);
  // While the file dialog is open another copy changes one chosen item,
  // deletes another and adds one; this copy takes the notices in.
  m_ui.WhileChoosingFile([&] {
    ASSERT_EQ(other.SaveModifiedItem(TABLE_SCHEDULE, m_nDaily,
                                     [](CDataRecord& r) {
                                       static_cast<CScheduleRecord&>(r).m_sDescription = "Pills, changed";
                                       return true;
                                     }),
              1);
    ASSERT_EQ(other.DeleteTableItem(TABLE_SCHEDULE, m_nMonthly, false), eItemResult::Done);
    AddSchedule(other, m_ui, "New one", "O", "01/01/2024 08:00AM");
    m_db.RefreshOnNotice();
  });
  m_view.Export();
  ASSERT_EQ(m_ui.Shown().front().sCaption, "Select items");
  EXPECT_EQ(
      m_ui.Shown().front().sText,
      "One time: +Dentist\nDaily: *Pills\nWeekly: !Stand-up\nMonthly (date): Rent\nMonthly (day): Club\n"
      "Yearly: Birthday\n");
  std::string sText;
  ASSERT_TRUE(ReadWholeFile(sFile, sText));
  std::vector<std::string> saSummaries;
  for (size_t i = sText.find("SUMMARY"); i != std::string::npos; i = sText.find("SUMMARY", i + 1))
    saSummaries.push_back(sText.substr(i, sText.find("\r\n", i) - i));
  EXPECT_EQ(saSummaries, (std::vector<std::string>{"SUMMARY;ENCODING=QUOTED-PRINTABLE:+Dentist",
                                                   "SUMMARY;ENCODING=QUOTED-PRINTABLE:Pills, changed",
                                                   "SUMMARY;ENCODING=QUOTED-PRINTABLE:Birthday"}));
  // Nothing chosen, or no file chosen, writes nothing.
  m_ui.ClearShown();
  m_ui.QueueChoice({});
  m_view.Export();
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{"None selected."});
  m_ui.QueueChoice({0});
  m_ui.QueueFile("");
  m_view.Export();
  std::string sAfter;
  ASSERT_TRUE(ReadWholeFile(sFile, sAfter));
  EXPECT_EQ(sAfter, sText);
}

TEST_F(ScheduleView, PingPrintAndAnEmptyList) {
  m_view.Ping();
  EXPECT_EQ(m_frame.m_naRequests, std::vector<int>{FRAME_PING});
  CScratchProgramFolder home;
  CTestPrintSystem printers;
  AppSettings().printerView.sPrinter = "Office";
  m_ui.QueueEdit({});  // the print set-up dialog, as it is
  CCommandTable table;
  m_view.AddCommands(table);
  EXPECT_TRUE(table.Run(ID_SCHEDULE_PRINT, true));
  AppSettings().printerView = {};
  ASSERT_TRUE(printers.Printed());
  std::vector<std::string> saTexts;
  for (const auto& t : printers.Last().PageTexts(1)) saTexts.push_back(t.sText);
  ASSERT_GE(saTexts.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(saTexts.begin(), saTexts.begin() + 5),
            (std::vector<std::string>{"Type", "Description", "Start", "End", "Alarm"}));
  EXPECT_NE(std::find(saTexts.begin(), saTexts.end(), "Monthly (day)"), saTexts.end());

  // A filter that leaves nothing: the commands on the highlighted line ask
  // nothing and change nothing; the export says there is nothing.
  m_ui.QueueChoice({4});  // Monthly (Date)
  m_view.SelectType();
  ASSERT_EQ(m_db.DeleteTableItem(TABLE_SCHEDULE, m_nMonthly, false), eItemResult::Done);
  m_view.UpdateView();
  ASSERT_EQ(m_view.MaxLines(), 0);
  m_ui.ClearShown();
  m_view.EditLine();
  m_view.DeleteItem();
  m_view.MoveToLog();
  m_view.KeyDown(KEY_DOWN, false);
  EXPECT_EQ(m_view.HighlightedCode(), DB_NONE);
  EXPECT_TRUE(m_ui.Shown().empty());
  EXPECT_EQ(m_view.PrintList(), 0);
  m_view.Export();
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{"No items found."});
  EXPECT_EQ(m_db.m_caScheduleIndex.size(), 6u);
}

}  // namespace

TEST_F(ScheduleView, ICalendarRowsExportTheListAndImportItWithASummary) {
  CTableManager& other = m_group.Open(3).Db();
  m_view.EnterView();
  const size_t nItems = m_db.m_caScheduleIndex.size();
  const std::string sFile = m_folder.File("plan.ics");
  m_ui.ClearShown();
  m_ui.QueueFile(sFile);
  m_ui.QueueInput("No/Such_Zone");
  m_view.ExportICalendar();
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{"unknown time zone 'No/Such_Zone'"});
  EXPECT_FALSE(FileExists(sFile));
  m_ui.ClearShown();
  m_ui.QueueFile(sFile);
  m_ui.QueueInput("");
  m_view.ExportICalendar();
  EXPECT_TRUE(m_ui.Messages().empty());
  std::string sText;
  ASSERT_TRUE(ReadWholeFile(sFile, sText));
  // A rule the repeat types cannot say, added by another program.
  sText.insert(sText.rfind("END:VCALENDAR"),
               "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240129T090000\r\nSUMMARY:Last Monday\r\n"
               "RRULE:FREQ=MONTHLY;BYDAY=MO;BYSETPOS=-1\r\nEND:VEVENT\r\n");
  ASSERT_TRUE(WriteFileAtomic(sFile, sText));
  m_ui.QueueFile(sFile);
  m_view.ImportICalendar();
  // The list's own items are there already: only the new one could be added.
  EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{
                                 StrFormat("Imported 0 schedule items (0 not exactly); 1 not imported. %zu were "
                                           "in the schedule already.\n"
                                           "Not imported: Last Monday: Kelvo has no repeat type for a rule "
                                           "with BYSETPOS=-1.",
                                           nItems)});
  EXPECT_EQ(m_db.m_caScheduleIndex.size(), nItems);
  other.RefreshOnNotice();
  ExpectSameTables(m_db, other, "after the import");
}
