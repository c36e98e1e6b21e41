// The main frame without a database: function keys and menu commands switch
// the seven views, the title and the status panes follow, the timer runs its
// steps in order (only the clock while an operation is in progress), private
// messages wait for the busy depth, the daily pop-up and the to-do notes.

#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <thread>

#include "QtTestApp.h"
#include "app/CAlarmBar.h"
#include "app/CDialogNotes.h"
#include "app/CMainFrame.h"
#include "app/CQtUserInterface.h"
#include "app/CommandIds.h"
#include "common/TestCommon.h"
#include "data/CItemDialogs.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/UserPrompts.h"
#include "views/CCalculatorView.h"
#include "views/CLineView.h"

namespace {

class MainFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    m_savedSettings = AppSettings();
    AppSettings() = stAppSettings();
    AppSettings().sComputerName = "TESTPC";
    AppSettings().bShowMaximized = false;
    m_pUi = std::make_unique<CTestUi>();
  }
  void TearDown() override {
    m_pFrame.reset();
    m_pUi.reset();
    SetClockOverride(0.0);
    AppSettings() = m_savedSettings;
  }

  CMainFrame& Frame(int nStartView = VIEW_SCHEDULE) {
    m_pFrame = std::make_unique<CMainFrame>(nStartView, "", &m_qtUi, [this] {
      ++m_nSaves;
      return true;
    });
    EXPECT_TRUE(m_pFrame->OnCreate());
    m_pFrame->show();
    return *m_pFrame;
  }

  std::string Title() const { return m_pFrame->windowTitle().toStdString(); }
  std::string PaneText(int n) const { return m_pFrame->Pane(n)->text().toStdString(); }

  stAppSettings m_savedSettings;
  CQtUserInterface m_qtUi;
  std::unique_ptr<CTestUi> m_pUi;
  std::unique_ptr<CMainFrame> m_pFrame;
  int m_nSaves = 0;
};

}  // namespace

TEST_F(MainFrame, FunctionKeysSwitchTheViewsWithoutADatabase) {
  CMainFrame& frame = Frame(VIEW_ADDRESS);
  EXPECT_EQ(frame.CurrentView(), VIEW_ADDRESS);
  EXPECT_EQ(Title(), "Kelvo for user TESTPC, no database open, ADDRESSES");
  EXPECT_TRUE(frame.TimerRunning());

  struct stKey {
    Qt::Key key;
    int nView;
    const char* pLabel;
    const char* pStatus;
  };
  const stKey keys[] = {{Qt::Key_F5, VIEW_CALENDAR, "DAILY", "Grid"},
                        {Qt::Key_F6, VIEW_CALENDAR, "WEEKLY", "Grid"},
                        {Qt::Key_F7, VIEW_CALENDAR, "MONTHLY", "Grid"},
                        {Qt::Key_F8, VIEW_ADDRESS, "ADDRESSES", "Text"},
                        {Qt::Key_F9, VIEW_MAILLIST, "MAIL LIST", "Form"},
                        {Qt::Key_F10, VIEW_LOG, "LOG", "Text"},
                        {Qt::Key_F11, VIEW_CALCULATOR, "CALCULATOR", "Calc"}};
  for (const auto& k : keys) {
    // Keys reach the frame through whichever of its widgets has the focus.
    QTest::keyClick(frame.View(frame.CurrentView()), k.key);
    EXPECT_EQ(frame.CurrentView(), k.nView) << k.pLabel;
    EXPECT_EQ(Title(), std::string("Kelvo for user TESTPC, no database open, ") + k.pLabel);
    EXPECT_EQ(PaneText(2), k.pStatus);
    EXPECT_TRUE(frame.View(k.nView)->isVisible());
    for (int n = 0; n < VIEW_COUNT; ++n) EXPECT_EQ(frame.View(n)->isVisible(), n == k.nView) << n;
  }
  EXPECT_EQ(frame.PreviousView(), VIEW_LOG);

  // F4 is the schedule command: it needs a database, so nothing happens.
  QTest::keyClick(frame.View(frame.CurrentView()), Qt::Key_F4);
  EXPECT_EQ(frame.CurrentView(), VIEW_CALCULATOR);
  // The menu commands need a database too, except the calculator.
  frame.OnCommand(ID_VIEW_ADDRESS);
  frame.OnCommand(ID_VIEW_WEEKLY);
  EXPECT_EQ(frame.CurrentView(), VIEW_CALCULATOR);
  QTest::keyClick(frame.View(frame.CurrentView()), Qt::Key_F10);
  frame.OnCommand(ID_VIEW_CALCULATOR);
  EXPECT_EQ(frame.CurrentView(), VIEW_CALCULATOR);
  // With no database the calculator's window takes the tape's keys and totals it.
  auto& calc = static_cast<CCalculatorView&>(static_cast<CLineView*>(frame.View(VIEW_CALCULATOR))->Source());
  QTest::keyClicks(frame.View(VIEW_CALCULATOR), "100");
  QTest::keyClick(frame.View(VIEW_CALCULATOR), Qt::Key_Return);
  QTest::keyClicks(frame.View(VIEW_CALCULATOR), "25-");
  EXPECT_EQ(calc.Tape(), "100\r\n-25");
  EXPECT_EQ(calc.Result(), "75.000000");
  // A comment keeps the case it was typed in.
  QTest::keyClicks(frame.View(VIEW_CALCULATOR), " \"Rent paid");
  EXPECT_EQ(calc.Tape(), "100\r\n-25 \"Rent paid");
  EXPECT_EQ(calc.Result(), "75.000000");
  // The Notes button does nothing without a database (no password asked).
  frame.OnCommand(ID_ALARM_NOTES);
  EXPECT_TRUE(m_pUi->Shown().empty());
}

TEST_F(MainFrame, MenusPanesAndClose) {
  CMainFrame& frame = Frame();
  bool bNewEnabled = false, bCloseEnabled = true;
  for (QAction* pMenu : frame.menuBar()->actions()) {
    if (!pMenu->menu()) continue;  // a command on the bar itself
    for (QAction* pAction : pMenu->menu()->actions()) {
      if (pAction->data().toInt() == ID_FILE_NEW) bNewEnabled = pAction->isEnabled();
      if (pAction->data().toInt() == ID_FILE_CLOSE) bCloseEnabled = pAction->isEnabled();
    }
  }
  EXPECT_TRUE(bNewEnabled);
  EXPECT_FALSE(bCloseEnabled);

  EXPECT_EQ(PaneText(0), "");
  EXPECT_EQ(PaneText(1), "Refresh OFF");
  frame.StatusPaneUsers(3);
  frame.StatusPaneRefresh(true);
  frame.StatusPaneLineNumber(12);
  EXPECT_EQ(PaneText(0), "Users 3");
  EXPECT_EQ(PaneText(1), "Refresh ON");
  EXPECT_EQ(PaneText(3), "Line 12");
  frame.ShowErrorStatus("Error 1051");
  EXPECT_EQ(frame.AlarmBar()->ErrorStatus()->text(), "Error 1051");

  // Hidden panes take no room, and the view text is not updated meanwhile.
  frame.OnCommand(ID_VIEW_STATUS_PANES);
  EXPECT_TRUE(frame.PanesHidden());
  EXPECT_FALSE(frame.Pane(0)->isVisible());
  frame.CalculatorView();
  EXPECT_EQ(PaneText(2), "Text");
  frame.OnCommand(ID_VIEW_STATUS_PANES);
  EXPECT_TRUE(frame.Pane(0)->isVisible());

  // The alarm-bar state and the view go back into the settings at close.
  m_pUi->QueueInput("15");
  QTest::mouseClick(frame.AlarmBar()->Button(ID_ALARM_SET), Qt::RightButton);
  frame.OnCommand(ID_ALARM_ON);
  EXPECT_FALSE(frame.AlarmSwitches().m_bAlarmOn);  // no quick alarm time yet
  m_pUi->QueueEdit({{ItemField::kDate, "03/05/2024 09:40AM"}});
  frame.OnCommand(ID_ALARM_SET);
  frame.OnCommand(ID_ALARM_ON);
  EXPECT_TRUE(frame.OnClose());
  EXPECT_FALSE(frame.TimerRunning());
  EXPECT_EQ(AppSettings().nView, VIEW_CALCULATOR);
  EXPECT_EQ(AppSettings().nAlarmOn, 1);
  EXPECT_DOUBLE_EQ(AppSettings().dQuickAlarm, MakeOleDate(2024, 3, 5, 9, 40, 0));
  EXPECT_EQ(AppSettings().nAlertMinutes, 15);
  EXPECT_FALSE(AppSettings().bShowMaximized);
}

TEST_F(MainFrame, TimerStepsRunInOrderAndOnlyTheClockWhileBusy) {
  CMainFrame& frame = Frame();
  SetClockOverride(MakeOleDate(2004, 3, 5, 14, 7, 9));
  std::vector<int> naSteps;
  frame.SetTickObserver([&naSteps](int n) { naSteps.push_back(n); });
  frame.OnTimer();
  EXPECT_EQ(naSteps, (std::vector<int>{TICK_AUTO_TEST, TICK_REFRESH, TICK_CLOCK, TICK_POPUP,
                                       TICK_ALARMS, TICK_USER_MESSAGES, TICK_MAIL_SLOT,
                                       TICK_EMAIL_CHECK}));
  EXPECT_EQ(frame.AlarmBar()->TimeText()->text(), "Friday March 05, 2004, 02:07:09PM");

  naSteps.clear();
  {
    CBusyScope busy;
    SetClockOverride(MakeOleDate(2004, 3, 5, 14, 7, 10));
    frame.OnTimer();
    // A close-database message waits while an operation is in progress.
    frame.PostMainFrameMessage(MAINFRAME_CLOSE_DATABASE);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.DeferredMessages(), std::vector<int>{MAINFRAME_CLOSE_DATABASE});
  }
  EXPECT_EQ(naSteps, std::vector<int>{TICK_CLOCK});
  EXPECT_EQ(frame.AlarmBar()->TimeText()->text(), "Friday March 05, 2004, 02:07:10PM");
  frame.OnTimer();
  EXPECT_TRUE(frame.DeferredMessages().empty());
}

TEST_F(MainFrame, PrivateMessagesFromAnotherThreadArriveOnTheWindowThread) {
  CMainFrame& frame = Frame();
  std::thread poster([&frame] { frame.PostMainFrameMessage(MAINFRAME_CLOSE_DATABASE); });
  poster.join();
  CBusyScope busy;
  QElapsedTimer clock;
  clock.start();
  while (frame.DeferredMessages().empty() && clock.elapsed() < 15000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(frame.DeferredMessages(), std::vector<int>{MAINFRAME_CLOSE_DATABASE});
}

TEST_F(MainFrame, DailyPopupRestoresAMinimizedWindowOncePerTenMinutes) {
  AppSettings().bPopup = true;
  AppSettings().nPopupHour = 8;
  AppSettings().nPopupMinute = 30;
  CMainFrame& frame = Frame();
  frame.setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(frame.isMinimized());
  SetClockOverride(MakeOleDate(2004, 3, 5, 8, 29, 59));
  frame.OnTimer();
  QCoreApplication::processEvents();
  EXPECT_TRUE(frame.isMinimized());

  SetClockOverride(MakeOleDate(2004, 3, 5, 8, 30, 1));
  frame.OnTimer();
  QCoreApplication::processEvents();
  EXPECT_FALSE(frame.isMinimized());
  EXPECT_EQ(frame.CurrentView(), VIEW_CALENDAR);
  EXPECT_EQ(frame.View(VIEW_CALENDAR)->Mode(), CALENDAR_WEEKLY);
  EXPECT_DOUBLE_EQ(AppSettings().dLastPopup, MakeOleDate(2004, 3, 5, 8, 30, 1));

  // Within the same minute, minimized again: no second pop-up.
  frame.setWindowState(Qt::WindowMinimized);
  SetClockOverride(MakeOleDate(2004, 3, 5, 8, 30, 40));
  frame.OnTimer();
  QCoreApplication::processEvents();
  EXPECT_TRUE(frame.isMinimized());
}

TEST_F(MainFrame, TodoNotesAreSavedAtOnceAndCancelAsksAfterAChange) {
  AppSettings().sNotesString = CConfigFile::JoinNotes({"buy milk", "", "", "call Bob"});
  CMainFrame& frame = Frame();

  // Cancel after a change asks; No keeps the dialog, Yes closes it unsaved.
  m_pUi->QueueAnswer(IDNO);
  m_pUi->QueueAnswer(IDYES);
  WhenModal<CDialogNotes>([](CDialogNotes* pDialog) {
    EXPECT_EQ(pDialog->Field(3)->toPlainText(), "call Bob");
    pDialog->Field(1)->setPlainText("changed");
    pDialog->reject();
    EXPECT_TRUE(pDialog->isVisible());
    pDialog->reject();
  });
  frame.OnCommand(ID_ALARM_TODO);
  EXPECT_TRUE(m_pUi->SawText("You have made changes. Are you sure you want to cancel?"));
  EXPECT_EQ(m_nSaves, 0);
  EXPECT_EQ(CConfigFile::SplitNotes(AppSettings().sNotesString)[1], "");

  WhenModal<CDialogNotes>([](CDialogNotes* pDialog) {
    pDialog->Field(1)->setPlainText("line 1\nline 2");
    pDialog->accept();
  });
  frame.OnCommand(ID_ALARM_TODO);
  EXPECT_EQ(m_nSaves, 1);
  EXPECT_EQ(CConfigFile::SplitNotes(AppSettings().sNotesString)[1], "line 1\nline 2");
}
