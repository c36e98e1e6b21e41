// The main frame with a database: File New creates one in the data folder,
// the view commands need it, closing marks the file closed properly, a file
// that is not a Kelvo database is refused and the program stays usable, and
// the notes mode of the log view asks for its access code, and View database
// shows the record dump of the open database or of another file.

#include <QComboBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest/QTest>

#include <algorithm>

#include "AlarmBoxWatch.h"
#include "QtTestApp.h"
#include "app/CAlarmBar.h"
#include "app/CDialogCategoryList.h"
#include "app/CPhoneDialerDlg.h"
#include "app/CQtPrintSystem.h"
#include "app/CMainFrame.h"
#include "app/CQtUserInterface.h"
#include "app/CommandIds.h"
#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "data/CItemDialogs.h"
#include "data/CTableManager.h"
#include "engine/CDbEngine.h"
#include "print/CReportsRTF.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "support/UserPrompts.h"
#include "tests/comms/FakeModem.h"
#include "views/CAddressView.h"
#include "views/CDatabaseView.h"
#include "views/CDialogRecordDump.h"
#include "views/CLineView.h"
#include "views/CLogView.h"
#include "views/CMailListView.h"

namespace {

class MainFrameDb : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    m_savedSettings = AppSettings();
    AppSettings() = stAppSettings();
    AppSettings().sComputerName = "TESTPC";
    AppSettings().bShowMaximized = false;
    AppSettings().nNetworkDisable = 1;
    setenv("XDG_DATA_HOME", m_folder.Path().c_str(), 1);
    setenv("KELVO_HOME", m_folder.Path().c_str(), 1);  // REPORT.RTF and the traces
    m_pUi = std::make_unique<CTestUi>();
    m_pFrame = std::make_unique<CMainFrame>(VIEW_SCHEDULE, "", &m_qtUi, [] { return true; });
    ASSERT_TRUE(m_pFrame->OnCreate());
    m_pFrame->show();
  }
  void TearDown() override {
    m_pFrame.reset();
    m_pUi.reset();
    SetClockOverride(0.0);
    unsetenv("XDG_DATA_HOME");
    unsetenv("KELVO_HOME");
    AppSettings() = m_savedSettings;
  }

  CMainFrame& frame() { return *m_pFrame; }
  std::string Title() const { return m_pFrame->windowTitle().toStdString(); }
  // 2 when the file was closed properly, 1 when not, 0 when it cannot be opened.
  static eOpenResult CloseStatusOf(const std::string& sPath) {
    CDbEngine engine;
    const eOpenResult n = engine.OpenDB(sPath, false);
    if (n != eOpenResult::Failed) engine.CloseDB();
    return n;
  }

  CScratchFolder m_folder;
  stAppSettings m_savedSettings;
  CQtUserInterface m_qtUi;
  std::unique_ptr<CTestUi> m_pUi;
  std::unique_ptr<CMainFrame> m_pFrame;
};

}  // namespace

TEST_F(MainFrameDb, NewOpenSwitchAndClose) {
  CMainFrame& frame = *m_pFrame;
  m_pUi->QueueInput("Office.xyz");  // any extension is stripped
  frame.OnCommand(ID_FILE_NEW);
  const std::string sRoot = m_folder.File("kelvo/Office");
  ASSERT_TRUE(frame.IsDatabaseOpen());
  EXPECT_TRUE(FileExists(sRoot + ".dbm"));
  EXPECT_EQ(AppSettings().sCurrentRoot, sRoot);
  EXPECT_EQ(AppSettings().sPrev, sRoot);
  EXPECT_EQ(Title(), "Kelvo for user TESTPC, database " + sRoot + ", SCHEDULE");

  // New is refused while a database is open; the view commands now work.
  frame.OnCommand(ID_FILE_NEW);
  frame.OnCommand(ID_VIEW_ADDRESS);
  EXPECT_EQ(frame.CurrentView(), VIEW_ADDRESS);
  frame.OnCommand(ID_VIEW_DAILY);
  EXPECT_EQ(frame.View(VIEW_CALENDAR)->Mode(), CALENDAR_DAILY);
  frame.OnCommand(ID_VIEW_DAILY);  // already daily: nothing changes
  EXPECT_EQ(frame.PreviousView(), VIEW_ADDRESS);
  QTest::keyClick(frame.View(VIEW_CALENDAR), Qt::Key_F6);
  EXPECT_EQ(frame.View(VIEW_CALENDAR)->Mode(), CALENDAR_WEEKLY);
  QTest::keyClick(frame.View(VIEW_CALENDAR), Qt::Key_F4);
  EXPECT_EQ(frame.CurrentView(), VIEW_SCHEDULE);

  frame.OnCommand(ID_FILE_CLOSE);
  EXPECT_FALSE(frame.IsDatabaseOpen());
  EXPECT_EQ(Title(), "Kelvo for user TESTPC, no database open, SCHEDULE");
  EXPECT_EQ(AppSettings().sCurrentRoot, sRoot);  // offered again at the next start
  EXPECT_EQ(CloseStatusOf(sRoot + ".dbm"), eOpenResult::Opened);

  // File Open takes the chosen file's root name and opens it again.
  m_pUi->QueueFile(sRoot + ".dbm");
  frame.OnCommand(ID_FILE_OPEN);
  EXPECT_TRUE(frame.IsDatabaseOpen());
  EXPECT_EQ(AppSettings().sCurrentRoot, sRoot);
  EXPECT_TRUE(frame.OnClose());
  EXPECT_EQ(CloseStatusOf(sRoot + ".dbm"), eOpenResult::Opened);
}

TEST_F(MainFrameDb, FilesThatCannotBeOpenedAreRefusedAndTheProgramStaysUsable) {
  // A chosen file that is gone by now is never created by File Open.
  const std::string sGone = m_folder.File("gone/Old.dbm");
  m_pUi->QueueFile(sGone);
  frame().OnCommand(ID_FILE_OPEN);
  EXPECT_FALSE(frame().IsDatabaseOpen());
  EXPECT_FALSE(FileExists(sGone));
  ASSERT_EQ(m_pUi->Messages().size(), 1u);
  EXPECT_EQ(m_pUi->Messages()[0].rfind("Can't open " + sGone + ", error 2", 0), 0u);

  // An empty file is no database: refused, left as it was.
  const std::string sEmpty = m_folder.File("Empty.dbm");
  ASSERT_TRUE(WriteFileAtomic(sEmpty, ""));
  m_pUi->QueueFile(sEmpty);
  frame().OnCommand(ID_FILE_OPEN);
  EXPECT_FALSE(frame().IsDatabaseOpen());
  EXPECT_GT(m_pUi->Messages().size(), 1u);
  std::string sContent = "?";
  ASSERT_TRUE(ReadWholeFile(sEmpty, sContent));
  EXPECT_EQ(sContent, "");
  EXPECT_EQ(Title(), "Kelvo for user TESTPC, no database open, SCHEDULE");
  frame().OnCommand(ID_VIEW_CALCULATOR);
  EXPECT_EQ(frame().CurrentView(), VIEW_CALCULATOR);
}

TEST_F(MainFrameDb, NotesModeNeedsTheAccessCode) {
  m_pUi->QueueInput("Diary");
  frame().OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame().IsDatabaseOpen());

  m_pUi->QueueInput("wrong");
  frame().OnCommand(ID_ALARM_NOTES);
  EXPECT_NE(frame().CurrentView(), VIEW_LOG);

  m_pUi->QueueInput("klm2741");  // upper-cased before the comparison
  frame().OnCommand(ID_ALARM_NOTES);
  EXPECT_EQ(frame().CurrentView(), VIEW_LOG);
  EXPECT_EQ(frame().View(VIEW_LOG)->Mode(), LOG_NOTES);
  // Notes mode already on: no second question.
  frame().OnCommand(ID_ALARM_NOTES);
  // F10 brings the log back to normal mode.
  frame().OnCommand(ID_VIEW_LOG);
  EXPECT_EQ(frame().View(VIEW_LOG)->Mode(), LOG_NORMAL);

  AppSettings().sComputerName = "JOX";
  frame().OnCommand(ID_ALARM_NOTES);
  EXPECT_EQ(frame().View(VIEW_LOG)->Mode(), LOG_NOTES);
  EXPECT_EQ(m_pUi->PendingAnswers(), 0u);
}

TEST_F(MainFrameDb, IntegrityTestAndRepairShowTheirFindingsAsAReport) {
  CMainFrame& frame = *m_pFrame;
  m_pUi->QueueInput("Checked");
  frame.OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame.IsDatabaseOpen());
  const std::string sReport = CReportsRTF::DefaultPath();
  const auto reportText = [&] {
    std::string sText;
    return ReadWholeFile(sReport, sText) ? sText : std::string();
  };
  std::remove(sReport.c_str());
  frame.OnCommand(ID_TEST_DATABASE);
  EXPECT_NE(reportText().find("No problems found."), std::string::npos) << reportText();

  // The repair asks first; No leaves everything as it was.
  std::remove(sReport.c_str());
  m_pUi->QueueAnswer(IDNO);
  frame.OnCommand(ID_REPAIR_DATABASE);
  EXPECT_TRUE(m_pUi->SawText(
      "This is the last resort operation to recover a trashed database.\nYou should do a backup to "
      "floppy before you attempt this.\nAre you sure you want to do this?"));
  EXPECT_FALSE(FileExists(sReport));
  m_pUi->QueueAnswer(IDYES);
  frame.OnCommand(ID_REPAIR_DATABASE);
  EXPECT_NE(reportText().find("No problems found."), std::string::npos);
  EXPECT_TRUE(frame.IsDatabaseOpen());
}

TEST_F(MainFrameDb, CategoryListAddsAndRefusesWithoutASelection) {
  CMainFrame& frame = *m_pFrame;
  m_pUi->QueueInput("Categories");
  frame.OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame.IsDatabaseOpen());
  std::vector<std::string> saShown;
  WhenModal<CDialogCategoryList>([&](CDialogCategoryList* pDialog) {
    auto* pList = pDialog->findChild<QListWidget*>();
    const auto click = [&](const char* pText) {
      for (QPushButton* p : pDialog->findChildren<QPushButton*>())
        if (p->text() == pText) p->click();
    };
    m_pUi->QueueEdit({{ItemField::kName, "Work"}});
    click("Add");
    pList->setCurrentRow(-1);
    click("Edit");
    for (int i = 0; i < pList->count(); ++i) saShown.push_back(pList->item(i)->text().toStdString());
    pDialog->reject();
  });
  frame.OnCommand(ID_SETUP_CATEGORIES);
  EXPECT_NE(std::find(saShown.begin(), saShown.end(), "Work (not used)"), saShown.end());
  EXPECT_TRUE(m_pUi->SawText("No Category selected"));
}

// The address view in the window: another change shows at once, the list
// prints (category filter applied) and the mail client is started with the
// addresses and its exit status is answered.
TEST_F(MainFrameDb, AddressViewPrintsAndHandsMailToTheClient) {
  m_pUi->QueueInput("Addresses");
  frame().OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame().IsDatabaseOpen());
  auto& db = static_cast<CTableManager&>(*frame().Database());
  auto add = [&](std::vector<stEditField> fields) {
    m_pUi->QueueEdit(std::move(fields));
    ASSERT_EQ(db.AddTableItem(TABLE_CATEGORY, DB_NONE, nullptr, false), eItemResult::Done);
  };
  add({{ItemField::kName, "Friends"}});
  add({{ItemField::kName, "Work"}});
  m_pUi->QueueEdit({{ItemField::kLastName, "Curie"}, {ItemField::kFirstName, "Marie"},
                    {ItemField::kEmail, "mc@example.org"}, {ItemField::kCategories, "Friends"}});
  ASSERT_EQ(db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false), eItemResult::Done);
  frame().OnCommand(ID_VIEW_ADDRESS);
  auto* pView = dynamic_cast<CLineView*>(frame().View(VIEW_ADDRESS));
  ASSERT_NE(pView, nullptr);
  EXPECT_EQ(pView->Source().MaxLines(), 1);
  // The view's own menus are on the bar.
  bool bHasAdd = false;
  for (QAction* pAction : frame().menuBar()->actions()) bHasAdd |= pAction->text() == "&Add";
  EXPECT_TRUE(bHasAdd);
  m_pUi->QueueEdit({{ItemField::kLastName, "Bohr"}, {ItemField::kFirstName, "Niels"}});
  frame().OnCommand(ID_ADDRESS_ADD);
  EXPECT_EQ(pView->Source().MaxLines(), 2);

  // Printing the list of the Friends only.
  CQtPrintSystem& printers = CQtPrintSystem::Install();
  printers.SetPdfFile(m_folder.File("list.pdf"));
  AppSettings().printerView.sPrinter = CQtPrintSystem::kPdfPrinter;
  m_pUi->QueueChoice({0});
  frame().OnCommand(ID_ADDRESS_SELECT_CATEGORY);
  EXPECT_EQ(pView->Source().MaxLines(), 1);
  m_pUi->QueueEdit({});  // the print set-up, as it is
  frame().OnCommand(ID_ADDRESS_PRINT_ALL);
  CQtPrintSystem::Uninstall();
  std::string sText;
  ASSERT_EQ(RunCommand("pdftotext -layout '" + m_folder.File("list.pdf") + "' -", &sText), 0);
  EXPECT_NE(sText.find("Curie, Marie"), std::string::npos) << sText;
  EXPECT_EQ(sText.find("Bohr"), std::string::npos);
  EXPECT_EQ(sText.find('\f'), sText.rfind('\f'));  // one page, no blank one after it

  // A mail client that records its arguments and answers with an exit status.
  const std::string sBin = m_folder.File("bin");
  ASSERT_TRUE(MakeFolder(sBin));
  ASSERT_TRUE(WriteFileAtomic(sBin + "/xdg-email",
                             "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\nexit $(cat \"$0.exit\")\n"));
  ASSERT_EQ(RunCommand("chmod +x '" + sBin + "/xdg-email'"), 0);
  const std::string sPath = std::getenv("PATH");
  setenv("PATH", (sBin + ":" + sPath).c_str(), 1);
  const std::pair<const char*, const char*> exits[] = {
      {"0", "The call succeeded. If you clicked 'Send' the message was put in out box."},
      {"3", nullptr},
      {"4", "One or more unspecified errors occurred. No message was sent. "}};
  for (const auto& [pExit, pMessage] : exits) {
    ASSERT_TRUE(WriteFileAtomic(sBin + "/xdg-email.exit", pExit));
    m_pUi->ClearShown();
    m_pUi->QueueChoice({0});
    frame().OnCommand(ID_ADDRESS_EMAIL_ONE);
    std::string sArgs;
    ASSERT_TRUE(ReadWholeFile(sBin + "/xdg-email.args", sArgs));
    EXPECT_EQ(sArgs, "mailto:mc@example.org\n");
    if (pMessage) EXPECT_TRUE(m_pUi->SawText(pMessage)) << pExit;
    else EXPECT_TRUE(m_pUi->Messages().empty()) << pExit;
  }
  setenv("PATH", sPath.c_str(), 1);
}

namespace {

double March5(int nHour, int nMinute, int nSecond) { return MakeOleDate(2024, 3, 5, nHour, nMinute, nSecond); }

// One timer tick of the frame at a time of the clock.
void TickAt(CMainFrame& frame, double dNow) {
  SetClockOverride(dNow);
  frame.OnTimer();
}

}  // namespace

// An item alarmed two hours before 10:00 fires once, at 08:00:00 exactly, in
// the alarm box; its alarm done is then stored. An alarm that falls due
// during an operation waits for it to end. The quick alarm and the alerts
// refuse the values that would fire at every tick; an alert's box closes by
// itself after its minute.
TEST_F(MainFrameDb, AlarmsFireAtTheirSecondInTheAlarmBox) {
  m_pUi->QueueInput("Alarms");
  frame().OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame().IsDatabaseOpen());
  auto& db = static_cast<CTableManager&>(*frame().Database());
  const std::string sUser = std::to_string(db.m_nUserNumber);
  auto addItem = [&](const char* pDescription, const char* pType, const char* pStart, const char* pHours) {
    m_pUi->QueueEdit({{ItemField::kDescription, pDescription},
                      {ItemField::kRepeatType, pType},
                      {ItemField::kStart, pStart},
                      {ItemField::kAlarmEnabled, pHours[0] ? "1" : "0"},
                      {ItemField::kAlarmUser, pHours[0] ? sUser : kNoneChoice},
                      {ItemField::kHoursBefore, pHours[0] ? pHours : "0"}});
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(db.AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, true, {}, &nCode), eItemResult::Done);
    return nCode;
  };
  const uint32_t nExam = addItem("Exam", "O", "03/05/2024 10:00AM", "2");
  addItem("Paint fence", "U", "03/05/2024 09:00AM", "");
  addItem("Fix roof", "U", "03/05/2024 09:00AM", "");
  CAlarmBoxWatch watch;

  TickAt(frame(), March5(7, 59, 59));
  EXPECT_EQ(frame().AlarmsShown(), 0);
  EXPECT_EQ(frame().AlarmBar()->AlarmText()->text().toStdString(), "Exam: Tuesday March 05, 2024, 08:00AM");
  EXPECT_EQ(frame().AlarmBar()->UnscheduledList()->currentText().toStdString(), "Paint fence, Fix roof");

  TickAt(frame(), March5(8, 0, 0));
  ASSERT_EQ(frame().AlarmsShown(), 1);
  ASSERT_EQ(watch.Seen().size(), 1u);
  const CAlarmBoxWatch::stSeen& box = watch.Seen()[0];
  EXPECT_EQ(box.sCaption, "Alarm");
  EXPECT_EQ(box.sHeading, "It is time for:");
  EXPECT_EQ(box.sText, "Exam: Tuesday March 05, 2024, 08:00AM");
  EXPECT_TRUE(box.headingFont.bold() && box.headingFont.italic());
  EXPECT_EQ(box.headingFont.pointSize(), 17);
  EXPECT_GE(box.nSoundRounds, 1);  // the sound loop started when the box was shown
  const auto* pExam = static_cast<const CScheduleRecord*>(db.GetPointer(TABLE_SCHEDULE, nExam));
  ASSERT_NE(pExam, nullptr);
  EXPECT_DOUBLE_EQ(pExam->m_dAlarmDone, March5(8, 0, 0));
  TickAt(frame(), March5(8, 0, 1));
  EXPECT_EQ(frame().AlarmsShown(), 1);
  EXPECT_EQ(frame().AlarmBar()->AlarmText()->text().toStdString(), "Alarm off");

  // During an operation the alarm waits; the first free tick shows it.
  addItem("Call", "O", "03/05/2024 08:05AM", "0");
  {
    CBusyScope busy;
    TickAt(frame(), March5(8, 5, 0));
    EXPECT_EQ(frame().AlarmsShown(), 1);
  }
  TickAt(frame(), March5(8, 5, 1));
  EXPECT_EQ(frame().AlarmsShown(), 2);

  // No quick alarm time, no alert interval: On arms nothing, no box opens.
  frame().OnCommand(ID_ALARM_ON);
  EXPECT_FALSE(frame().AlarmSwitches().m_bAlarmOn);
  m_pUi->QueueInput("0");
  QTest::mousePress(frame().AlarmBar()->Button(ID_ALARM_SET), Qt::RightButton);
  EXPECT_TRUE(m_pUi->SawText("Minutes between alerts"));
  QTest::mousePress(frame().AlarmBar()->Button(ID_ALARM_ON), Qt::RightButton);
  EXPECT_FALSE(frame().AlarmSwitches().m_bAlertOn);
  TickAt(frame(), March5(9, 0, 0));
  TickAt(frame(), March5(9, 1, 0));
  EXPECT_EQ(frame().AlarmsShown(), 2);

  // Alerts every 15 minutes; the box goes by itself once its minute is over.
  m_pUi->QueueInput("15");
  QTest::mousePress(frame().AlarmBar()->Button(ID_ALARM_SET), Qt::RightButton);
  SetClockOverride(March5(9, 0, 30));  // alerts count from the minute they were switched on
  QTest::mousePress(frame().AlarmBar()->Button(ID_ALARM_ON), Qt::RightButton);
  ASSERT_TRUE(frame().AlarmSwitches().m_bAlertOn);
  TickAt(frame(), March5(9, 14, 59));
  EXPECT_EQ(frame().AlarmsShown(), 2);
  watch.SetWhileUp([](CDialogCustomMessageBox&) { SetClockOverride(March5(9, 17, 0)); }, false);
  TickAt(frame(), March5(9, 15, 0));
  watch.SetWhileUp({}, true);
  ASSERT_EQ(watch.Seen().size(), 3u);
  EXPECT_EQ(watch.Seen().back().sText, "Alert at: Tuesday March 05, 2024, 09:15AM");
  EXPECT_EQ(frame().AlarmsShown(), 3);
  EXPECT_DOUBLE_EQ(frame().AlarmSwitches().m_dAlertStart, March5(9, 17, 0));
  TickAt(frame(), March5(9, 17, 1));
  EXPECT_EQ(frame().AlarmBar()->AlarmText()->text().toStdString(), "Alert at: Tuesday March 05, 2024, 09:32AM");

  // Set, then On: the quick alarm fires once and switches itself off.
  m_pUi->QueueEdit({{ItemField::kDate, "03/05/2024 09:40AM"}});
  frame().OnCommand(ID_ALARM_SET);
  frame().OnCommand(ID_ALARM_ON);
  ASSERT_TRUE(frame().AlarmSwitches().m_bAlarmOn);
  EXPECT_FALSE(frame().AlarmSwitches().m_bAlertOn);
  TickAt(frame(), March5(9, 40, 0));
  EXPECT_EQ(frame().AlarmsShown(), 4);
  EXPECT_EQ(watch.Seen().back().sText, "Quick alarm: Tuesday March 05, 2024, 09:40AM");
  EXPECT_FALSE(frame().AlarmSwitches().m_bAlarmOn);
  TickAt(frame(), March5(9, 40, 1));
  EXPECT_EQ(frame().AlarmsShown(), 4);
  EXPECT_EQ(m_pUi->PendingAnswers(), 0u);
}

// The log view in the frame: every access code opens the notes mode, a
// wrong one does not; the notes show only there, and a note added there is
// a note.
TEST_F(MainFrameDb, LogViewNotesModeWithEachAccessCode) {
  m_pUi->QueueInput("Journal");
  frame().OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame().IsDatabaseOpen());
  auto& db = static_cast<CTableManager&>(*frame().Database());
  m_pUi->QueueEdit({{ItemField::kDescription, "Private"}, {ItemField::kUndated, "1"}});
  ASSERT_EQ(db.AddTableItem(TABLE_LOG, DB_NONE, nullptr, true), eItemResult::Done);
  m_pUi->QueueEdit({{ItemField::kDescription, "Visit"}, {ItemField::kDate, "03/05/2024 10:00AM"}});
  ASSERT_EQ(db.AddTableItem(TABLE_LOG, DB_NONE, nullptr, true), eItemResult::Done);
  auto* pView = dynamic_cast<CLineView*>(frame().View(VIEW_LOG));
  ASSERT_NE(pView, nullptr);
  auto& log = static_cast<CLogView&>(pView->Source());
  char cStatus = 0;
  for (const char* pCode : {"4920517", "klm2741", "Tov582", "!", "wrong"}) {
    frame().OnCommand(ID_VIEW_LOG);
    ASSERT_EQ(frame().CurrentView(), VIEW_LOG);
    ASSERT_EQ(log.MaxLines(), 1);
    EXPECT_EQ(log.GetLine(0, HINT_PAINT, cStatus).m_sText, "03/05/2024 10:00AM\t\tVisit");
    m_pUi->QueueInput(pCode);
    frame().OnCommand(ID_ALARM_NOTES);
    const bool bRight = std::string(pCode) != "wrong";
    EXPECT_EQ(frame().View(VIEW_LOG)->Mode(), bRight ? LOG_NOTES : LOG_NORMAL) << pCode;
    ASSERT_EQ(log.MaxLines(), 1);
    EXPECT_EQ(log.GetLine(0, HINT_PAINT, cStatus).m_sText,
              bRight ? "Undated note\t\tPrivate" : "03/05/2024 10:00AM\t\tVisit")
        << pCode;
  }
  frame().OnCommand(ID_VIEW_LOG);
  m_pUi->QueueInput("TOV582");
  frame().OnCommand(ID_ALARM_NOTES);
  m_pUi->QueueEdit({{ItemField::kNote, "Another"}});
  frame().OnCommand(ID_LOG_ADD);
  EXPECT_EQ(log.MaxLines(), 2);
  EXPECT_EQ(m_pUi->PendingAnswers(), 0u);
}

TEST_F(MainFrameDb, RecordDumpOfTheOpenDatabaseAndOfAnotherFile) {
  CMainFrame& frame = *m_pFrame;
  auto& dump = static_cast<CDatabaseView&>(static_cast<CLineView*>(frame.View(VIEW_DATABASE))->Source());
  const auto fileBytes = [](const std::string& sPath) {
    std::string s;
    return ReadWholeFile(sPath, s) ? s : std::string();
  };
  m_pUi->QueueInput("Dump");
  frame.OnCommand(ID_FILE_NEW);
  const std::string sPath = m_folder.File("kelvo/Dump.dbm");
  ASSERT_TRUE(frame.IsDatabaseOpen());
  ASSERT_NE(frame.FrameCommands().Find(ID_VIEW_DATABASE), nullptr);
  EXPECT_EQ(frame.FrameCommands().Find(ID_VIEW_DATABASE)->sText, "&View database");
  frame.OnCommand(ID_VIEW_DATABASE);
  ASSERT_EQ(frame.CurrentView(), VIEW_DATABASE);
  EXPECT_FALSE(dump.ShowsOtherFile());
  EXPECT_EQ(size_t(dump.MaxLines()), frame.Database()->m_caDataHeaders.size());
  // Reserved byte 35 of the first header, edited in the dialog; Enter
  // moves on without closing it; OK writes it.
  const uint32_t nLoc = dump.Locations()[0];
  WhenModal<CDialogRecordDump>([&](CDialogRecordDump* pDialog) {
    EXPECT_EQ(pDialog->HeaderList()->count(), 36);
    EXPECT_EQ(pDialog->HeaderList()->item(0)->text().toStdString(), "     0[ 85]U");
    pDialog->HeaderList()->setCurrentRow(35);
    m_pUi->QueueInput("7");
    pDialog->EditHeader();
    EXPECT_EQ(pDialog->HeaderList()->item(35)->text().toStdString(), "    35[  7]");
    QTest::keyClick(pDialog, Qt::Key_Return);
    EXPECT_TRUE(pDialog->isVisible());
    pDialog->accept();
  });
  frame.OnCommand(ID_DUMP_EDIT);
  EXPECT_EQ(fileBytes(sPath)[nLoc + 35], '\x07');

  // With no database open: another file, only looked at; the commands that
  // change the file need the open database; e&Xit returns to the schedule.
  frame.OnCommand(ID_FILE_CLOSE);
  const std::string sBefore = fileBytes(sPath);
  m_pUi->QueueFile(sPath);
  frame.OnCommand(ID_VIEW_DATABASE);
  ASSERT_EQ(frame.CurrentView(), VIEW_DATABASE);
  EXPECT_TRUE(dump.ShowsOtherFile());
  char cStatus = 0;
  EXPECT_EQ(dump.GetLine(0, HINT_PAINT, cStatus).m_sText.substr(0, 11), "[1024.USED,");
  const stCommand* pDelete = frame.ViewCommands().Find(ID_DUMP_DELETE);
  ASSERT_NE(pDelete, nullptr);
  EXPECT_EQ(pDelete->sText, "&Delete record");
  EXPECT_FALSE(CCommandTable::IsEnabled(*pDelete, frame.IsDatabaseOpen()));
  frame.OnCommand(ID_DUMP_EXIT);
  EXPECT_EQ(frame.CurrentView(), VIEW_SCHEDULE);
  EXPECT_FALSE(dump.ShowsOtherFile());
  EXPECT_EQ(fileBytes(sPath), sBefore);  // not marked open, nothing cleared
  EXPECT_TRUE(m_pUi->Messages().empty());
}

TEST_F(MainFrameDb, AddressViewDialsThePersonsNumbersAndClosingHangsUp) {
  CFakeModem modem;
  ASSERT_TRUE(modem.Opened());
  setenv("KELVO_MODEM", modem.Path().c_str(), 1);
  setenv("KELVO_LOCKDIR", m_folder.Path().c_str(), 1);
  m_pUi->QueueInput("Phones");
  frame().OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame().IsDatabaseOpen());
  auto& db = static_cast<CTableManager&>(*frame().Database());
  m_pUi->QueueEdit({{ItemField::kLastName, "Meitner"},
                    {ItemField::kFirstName, "Lise"},
                    {ItemField::kHomePhone, "555-1234 home"},
                    {ItemField::kCellPhone, "(212) 555-9876"}});
  ASSERT_EQ(db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false), eItemResult::Done);
  frame().OnCommand(ID_VIEW_ADDRESS);

  std::vector<std::string> saOffered;
  bool bConnected = false;
  WhenModal<CPhoneDialerDlg>([&](CPhoneDialerDlg* pDialog) {
    for (int i = 0; i < pDialog->Numbers()->count(); ++i)
      saOffered.push_back(pDialog->Numbers()->itemText(i).toStdString());
    pDialog->DialButton()->click();
    for (int i = 0; i < 500 && !pDialog->Dialer().IsConnected(); ++i) QTest::qWait(10);
    bConnected = pDialog->Dialer().IsConnected();
    pDialog->close();
  });
  frame().OnCommand(ID_ADDRESS_PHONE);
  unsetenv("KELVO_MODEM");
  unsetenv("KELVO_LOCKDIR");
  EXPECT_EQ(saOffered, (std::vector<std::string>{"555-1234 home", "(212) 555-9876"}));
  EXPECT_TRUE(bConnected);
  for (int i = 0; i < 100 && modem.Written().find("ATH\r") == std::string::npos; ++i) QTest::qWait(10);
  EXPECT_EQ(modem.Written(), "AT\rATE0V1X4\rATDT5551234;\rATH\r");
}

TEST_F(MainFrameDb, MailListLetsGoOfItsTableBeforeTheDatabaseCloses) {
  setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1);
  m_pUi->QueueInput("Mailing");
  frame().OnCommand(ID_FILE_NEW);
  ASSERT_TRUE(frame().IsDatabaseOpen());
  // A second copy on the same file, so closing is not the last copy's close
  // (which clears every lock anyway).
  setenv("KELVO_HOSTADDRESS", "127.0.0.6", 1);
  CTableManager other;
  ASSERT_EQ(other.OpenDatabase(m_folder.File("kelvo/Mailing"), 0), 1);
  unsetenv("KELVO_HOSTADDRESS");
  QTest::keyClick(frame().View(VIEW_SCHEDULE), Qt::Key_F9);
  ASSERT_EQ(frame().CurrentView(), VIEW_MAILLIST);
  EXPECT_TRUE(other.IsTableLocked(LOCK_BY_OTHER, TABLE_MAILLIST));
  auto* pView = dynamic_cast<CLineView*>(frame().View(VIEW_MAILLIST));
  ASSERT_NE(pView, nullptr);
  EXPECT_TRUE(static_cast<CMailListView&>(pView->Source()).TableLocked());
  // Another view lets go of it, the mail list takes it again.
  QTest::keyClick(frame().View(VIEW_MAILLIST), Qt::Key_F8);
  EXPECT_FALSE(other.IsTableLocked(LOCK_BY_ANYONE, TABLE_MAILLIST));
  frame().OnCommand(ID_VIEW_MAILLIST);
  EXPECT_TRUE(other.IsTableLocked(LOCK_BY_OTHER, TABLE_MAILLIST));
  // Closing the database while in the mail list releases the table.
  frame().OnCommand(ID_FILE_CLOSE);
  EXPECT_FALSE(frame().IsDatabaseOpen());
  EXPECT_FALSE(other.IsTableLocked(LOCK_BY_ANYONE, TABLE_MAILLIST));
  EXPECT_EQ(other.LockTable(TABLE_MAILLIST), 1);
  other.UnlockTable(TABLE_MAILLIST);
  other.CloseDatabase();
}
