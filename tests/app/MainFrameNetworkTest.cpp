// The program as one copy among others: the main frame opens a shared
// database as its lock manager, a headless copy ("kelvotool session", a
// separate process) joins, and the frame follows the other copy's changes
// through its private message, shows a message record addressed to its user
// at the timer tick, and asks before it closes under another user.

#include <QLabel>
#include <QtTest/QTest>
#include <atomic>
#include <fstream>
#include <thread>

#include "AlarmBoxWatch.h"
#include "QtTestApp.h"
#include "app/CMainFrame.h"
#include "app/CQtUserInterface.h"
#include "app/CommandIds.h"
#include "common/TestCommon.h"
#include "data/CScheduleRecord.h"
#include "data/CTableManager.h"
#include "network/LanMessage.h"
#include "schedule/OleDate.h"
#include "network/LanTestHelpers.h"
#include "network/SessionProcess.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "views/CLineView.h"
#include "views/CLogView.h"
#include "views/CScheduleView.h"

namespace {

class MainFrameLan : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    m_savedSettings = AppSettings();
    const std::string sShare = m_folder.File("share");
    MakeFolder(sShare);
    m_sRoot = sShare + "/OFFICE";
    std::ofstream(m_folder.File("mountinfo"))
        << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 0:50 / " << sShare << " rw - cifs //PC2/share rw\n";
    // This process is PC2, the computer that holds the file.
    const std::string sHome = Home(2, {3});
    for (const auto& [sName, sValue] : Environment(2, sHome)) setenv(sName.c_str(), sValue.c_str(), 1);
    AppSettings() = stAppSettings();
    AppSettings().sComputerName = "PC2";
    AppSettings().bShowMaximized = false;
    AppSettings().nNetworkDisable = 0;
    AppSettings().sLanServerAddress = m_range.Address(2);
    AppSettings().sLanServerPort = m_range.Port();
    m_pUi = std::make_unique<CTestUi>();
    m_pFrame = std::make_unique<CMainFrame>(VIEW_SCHEDULE, "", &m_qtUi, [] { return true; });
    ASSERT_TRUE(m_pFrame->OnCreate());
  }
  void TearDown() override {
    SetClockOverride(0.0);
    m_pFrame.reset();
    m_pUi.reset();
    for (const char* p : {"KELVO_HOME", "KELVO_COMPUTERNAME", "KELVO_HOSTADDRESS", "KELVO_MOUNTINFO"})
      unsetenv(p);
    AppSettings() = m_savedSettings;
  }

  // Program folder of copy n with its computer list and configuration.
  std::string Home(int n, const std::vector<int>& naOthers) {
    const std::string sHome = m_folder.File(StrFormat("home%d", n));
    MakeFolder(sHome);
    WriteList(sHome + "/Kelvo.usr", m_range, naOthers);
    std::ofstream(sHome + "/Kelvo.cfg") << "IPADDRESS_LANSVR|" << m_range.Address(n)
                                        << "\nPORT_LANSVR|" << m_range.Port() << "\n";
    return sHome;
  }
  std::vector<std::pair<std::string, std::string>> Environment(int n, const std::string& sHome) {
    return {{"KELVO_HOME", sHome},
            {"KELVO_COMPUTERNAME", StrFormat("PC%d", n)},
            {"KELVO_HOSTADDRESS", m_range.Address(n)},
            {"KELVO_MOUNTINFO", m_folder.File("mountinfo")}};
  }
  // Runs the window's events until fn holds (at most 20 s).
  static bool EventsUntil(const std::function<bool()>& fn, int nSeconds = 20) {
    QElapsedTimer clock;
    clock.start();
    while (!fn() && clock.elapsed() < nSeconds * 1000) QTest::qWait(10);
    return fn();
  }
  // Runs fn (a talk with the other copy) on a thread of its own while this
  // window runs its events, as the lock manager must answer meanwhile.
  template <class F>
  static auto WithEvents(F fn) {
    decltype(fn()) result{};
    std::atomic<bool> bDone{false};
    std::thread talker([&] {
      result = fn();
      bDone = true;
    });
    EventsUntil([&] { return bDone.load(); }, 60);
    talker.join();
    return result;
  }
  static std::string Command(CSessionProcess& copy, const std::string& sLine) {
    return WithEvents([&] { return copy.Command(sLine); });
  }
  // The copy logs on while this window runs its events: the lock manager
  // answers on the window's thread.
  std::unique_ptr<CSessionProcess> StartCopy(int n) {
    std::vector<std::string> saEnv;
    for (const auto& [sName, sValue] : Environment(n, Home(n, {2}))) saEnv.push_back(sName + "=" + sValue);
    return WithEvents([&] {
      return std::make_unique<CSessionProcess>(m_sRoot + ".dbm", saEnv, std::vector<std::string>{});
    });
  }
  // The window opens the database and copy 3 logs on beside it.
  void OpenBesideCopy(std::unique_ptr<CSessionProcess>& copy) {
    m_pFrame->DatabaseOpen(m_sRoot);
    ASSERT_TRUE(m_pFrame->IsDatabaseOpen());
    copy = StartCopy(3);
    ASSERT_TRUE(copy->IsOpen()) << copy->OpenReply();
    ASSERT_EQ(Command(*copy, "waitusers 2"), "OK 2");
    ASSERT_TRUE(EventsUntil([&] { return Db().CountOnLine() == 2; }));
  }
  CTableManager& Db() { return *static_cast<CTableManager*>(m_pFrame->Database()); }
  // Repeats a command of the other copy until one of the lines it prints
  // holds sText (at most 20 s); those lines, or empty when none came.
  std::string LineOf(CSessionProcess& copy, const std::string& sCommand, const std::string& sText) {
    std::string sFound;
    EventsUntil([&] {
      std::vector<std::string> saLines;
      WithEvents([&] { return copy.Command(sCommand, &saLines); });
      for (const std::string& s : saLines)
        if (s.find(sText) != std::string::npos) sFound = s;
      return !sFound.empty();
    });
    return sFound;
  }

  CScratchFolder m_folder;
  CLoopbackRange m_range;
  std::string m_sRoot;
  stAppSettings m_savedSettings;
  CQtUserInterface m_qtUi;
  std::unique_ptr<CTestUi> m_pUi;
  std::unique_ptr<CMainFrame> m_pFrame;
};

}  // namespace

TEST_F(MainFrameLan, FollowsAnotherCopyAndAsksBeforeClosingUnderIt) {
  CMainFrame& frame = *m_pFrame;
  frame.DatabaseOpen(m_sRoot);
  ASSERT_TRUE(frame.IsDatabaseOpen());
  EXPECT_TRUE(frame.Network().Lan().IsThisTheLockManager());
  EXPECT_EQ(Db().m_nUserNumber, 2);

  auto copy = StartCopy(3);
  std::string sSeen;
  for (const auto& s : copy->Seen()) sSeen += s + "\n";
  ASSERT_TRUE(copy->IsOpen()) << copy->OpenReply() << "\n" << sSeen;
  EXPECT_EQ(Command(*copy, "waitusers 2"), "OK 2");
  EXPECT_TRUE(EventsUntil([&] { return Db().CountOnLine() == 2; }));
  EXPECT_EQ(frame.Pane(0)->text().toStdString(), "Users 2");

  // A person added by the other copy reaches the frame's memory.
  const std::string sAdded = Command(*copy, "add person Last name=Curie; City=Paris");
  ASSERT_EQ(sAdded.rfind("OK ", 0), 0u) << sAdded;
  long long nCode = 0;
  ASSERT_TRUE(ParseInt(sAdded.substr(3), nCode));
  EXPECT_TRUE(EventsUntil([&] { return Db().GetPointer(TABLE_PERSON, uint32_t(nCode)) != nullptr; }));

  // A message record addressed to this user opens at a timer tick (the
  // window's own timer runs meanwhile, so its answer, "Mark as read", is
  // queued before the message is sent) and is read afterwards.
  m_pUi->QueueEdit({});
  const std::string sSent = Command(*copy, "message 2 Lunch at noon");
  ASSERT_EQ(sSent.rfind("OK ", 0), 0u) << sSent;
  long long nMessage = 0;
  ASSERT_TRUE(ParseInt(sSent.substr(3), nMessage));
  EXPECT_TRUE(EventsUntil([&] { return m_pUi->SawText("Message to user"); }));
  EXPECT_TRUE(Db().m_naPendingMessages.empty());
  const auto* pMessage = static_cast<const CLogRecord*>(Db().GetPointer(TABLE_LOG, uint32_t(nMessage)));
  ASSERT_NE(pMessage, nullptr);
  EXPECT_EQ(pMessage->m_cKind, CLogRecord::KIND_READ_MESSAGE);

  // Closing under another user asks first; Yes keeps the database open.
  m_pUi->QueueAnswer(IDYES);
  EXPECT_FALSE(frame.OnDatabaseClose());
  EXPECT_TRUE(frame.IsDatabaseOpen());
  EXPECT_TRUE(m_pUi->SawText(
      "This computer is acting as lock manager. If you close it the other 1 users\nwill not be able "
      "to operate correctly. You should not close the program unless you are sure\nthat the other "
      "users are not still on line. Would you like to abort closing the program"));
  EXPECT_EQ(Command(*copy, "quit"), "OK quit");
  EXPECT_EQ(copy->Finish(), 0);
  EXPECT_TRUE(EventsUntil([&] { return Db().CountOnLine() == 1; }));
  EXPECT_TRUE(frame.OnDatabaseClose());  // alone now: no question
  EXPECT_FALSE(frame.IsDatabaseOpen());
}

// While the frame waits for the database lock the other copy holds, its
// events run: the other copy's notices are taken in, a close-database
// message waits until the save is done and runs at the next tick.
TEST_F(MainFrameLan, ACloseMessageDuringALockWaitWaitsForTheSave) {
  CMainFrame& frame = *m_pFrame;
  std::unique_ptr<CSessionProcess> copy;
  ASSERT_NO_FATAL_FAILURE(OpenBesideCopy(copy));

  copy->Send("holddb 1500");
  ASSERT_TRUE(WithEvents([&] { return copy->WaitForText("HELD"); }));
  m_pUi->SetEventHook([] { QCoreApplication::processEvents(); });
  frame.PostMainFrameMessage(MAINFRAME_CLOSE_DATABASE);
  m_pUi->QueueEdit({{ItemField::kLastName, "Waited"}});
  uint32_t nCode = DB_NONE;
  ASSERT_EQ(Db().AddTableItem(TABLE_PERSON, DB_NONE, nullptr, 1, {}, &nCode), eItemResult::Done);
  m_pUi->SetEventHook(nullptr);
  EXPECT_EQ(WithEvents([&] { return copy->ReadReply(); }), "OK");
  ASSERT_NE(Db().GetPointer(TABLE_PERSON, nCode), nullptr);
  EXPECT_TRUE(frame.IsDatabaseOpen());
  EXPECT_EQ(frame.DeferredMessages(), std::vector<int>{MAINFRAME_CLOSE_DATABASE});

  // The next tick runs the close; the other copy is still on line, so the
  // lock manager asks first, and No goes on closing.
  m_pUi->QueueAnswer(IDNO);
  frame.OnTimer();
  EXPECT_FALSE(frame.IsDatabaseOpen());
  EXPECT_TRUE(frame.DeferredMessages().empty());
  // The other copy learns that its lock manager is gone.
  EXPECT_TRUE(WithEvents([&] { return copy->WaitForText("MESSAGE: Server PC2 off-line."); }));
  copy->Kill();  // its question stays unanswered
}

// The schedule view's Ping sends "TEST_PING" through the LAN server; the
// other copy answers it with its message.
TEST_F(MainFrameLan, SchedulePingReachesTheOtherCopy) {
  std::unique_ptr<CSessionProcess> copy;
  ASSERT_NO_FATAL_FAILURE(OpenBesideCopy(copy));
  m_pFrame->OnCommand(ID_SCHEDULE_PING);
  EXPECT_TRUE(WithEvents([&] { return copy->WaitForText("MESSAGE: Received test ping"); }));
  EXPECT_EQ(Command(*copy, "quit"), "OK quit");
  EXPECT_EQ(copy->Finish(), 0);
  EXPECT_TRUE(EventsUntil([&] { return Db().CountOnLine() == 1; }));
  EXPECT_TRUE(m_pFrame->OnDatabaseClose());
}

// The alarm of an item fires in the frame at its second while the other
// copy, a separate process, changes the item with the box on the screen:
// the alarm done saved afterwards keeps that change, and the other copy
// sees both.
TEST_F(MainFrameLan, AlarmDoneReachesTheOtherCopyAndKeepsItsChange) {
  CMainFrame& frame = *m_pFrame;
  std::unique_ptr<CSessionProcess> copy;
  ASSERT_NO_FATAL_FAILURE(OpenBesideCopy(copy));

  m_pUi->QueueEdit({{ItemField::kDescription, "Exam"},
                    {ItemField::kRepeatType, "O"},
                    {ItemField::kStart, "03/05/2024 10:00AM"},
                    {ItemField::kAlarmEnabled, "1"},
                    {ItemField::kAlarmUser, "2"},
                    {ItemField::kHoursBefore, "2"}});
  uint32_t nCode = DB_NONE;
  ASSERT_EQ(Db().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, true, {}, &nCode), eItemResult::Done);
  ASSERT_NE(LineOf(*copy, "alarms", StrFormat("done %u never Exam", nCode)), "");

  std::string sEdit;
  CAlarmBoxWatch watch([&](CDialogCustomMessageBox&) {
    sEdit = Command(*copy, StrFormat("edit schedule %u Description=Exam, room 4", nCode));
  });
  SetClockOverride(MakeOleDate(2024, 3, 5, 7, 59, 59));
  frame.OnTimer();
  EXPECT_EQ(frame.AlarmsShown(), 0);
  SetClockOverride(MakeOleDate(2024, 3, 5, 8, 0, 0));
  frame.OnTimer();
  ASSERT_EQ(frame.AlarmsShown(), 1);
  EXPECT_EQ(sEdit, "OK");
  ASSERT_EQ(watch.Seen().size(), 1u);
  EXPECT_EQ(watch.Seen()[0].sText, "Exam: Tuesday March 05, 2024, 08:00AM");

  const auto* pItem = static_cast<const CScheduleRecord*>(Db().GetPointer(TABLE_SCHEDULE, nCode));
  ASSERT_NE(pItem, nullptr);
  EXPECT_EQ(pItem->m_sDescription, "Exam, room 4");
  EXPECT_DOUBLE_EQ(pItem->m_dAlarmDone, MakeOleDate(2024, 3, 5, 8, 0, 0));
  EXPECT_NE(LineOf(*copy, "alarms", StrFormat("done %u 03/05/2024 08:00:00 Exam, room 4", nCode)), "");
  SetClockOverride(MakeOleDate(2024, 3, 5, 8, 0, 1));
  frame.OnTimer();
  EXPECT_EQ(frame.AlarmsShown(), 1);
  EXPECT_EQ(Command(*copy, "quit"), "OK quit");
  EXPECT_EQ(copy->Finish(), 0);
}

// A message written in the frame's log view to the other copy's user is
// unread there; the other copy marks it read and the frame's log follows.
TEST_F(MainFrameLan, AMessageFromTheLogViewIsReadInTheOtherCopy) {
  CMainFrame& frame = *m_pFrame;
  std::unique_ptr<CSessionProcess> copy;
  ASSERT_NO_FATAL_FAILURE(OpenBesideCopy(copy));

  frame.OnCommand(ID_VIEW_LOG);
  ASSERT_EQ(frame.CurrentView(), VIEW_LOG);
  auto& log = static_cast<CLogView&>(dynamic_cast<CLineView&>(*frame.View(VIEW_LOG)).Source());
  m_pUi->QueueEdit({{ItemField::kTo, "3: PC3"}, {ItemField::kText, "Lunch at noon"}});
  frame.OnCommand(ID_LOG_MESSAGE);
  ASSERT_EQ(log.MaxLines(), 1);
  const uint32_t nCode = log.Codes()[0];
  char cStatus = 0;
  EXPECT_NE(log.GetLine(0, HINT_PAINT, cStatus).m_sText.find("\tUser code 2 to User code 3\tLunch at noon"),
            std::string::npos);

  // Unread in the other copy: pending there, and listed in its log view.
  EXPECT_NE(LineOf(*copy, "pending", StrFormat("pending %u", nCode)), "");
  EXPECT_NE(LineOf(*copy, "logview", "User code 2 to User code 3\tLunch at noon"), "");
  EXPECT_EQ(Command(*copy, StrFormat("edit log %u", nCode)), "OK");
  EXPECT_TRUE(EventsUntil([&] {
    const auto* p = static_cast<const CLogRecord*>(Db().GetPointer(TABLE_LOG, nCode));
    return p && p->m_cKind == CLogRecord::KIND_READ_MESSAGE;
  }));
  EXPECT_EQ(log.MaxLines(), 1);
  EXPECT_EQ(Command(*copy, "quit"), "OK quit");
  EXPECT_EQ(copy->Finish(), 0);
}

// Messages that wait while no database is open (it is still opening) are
// taken in once it is open, without a new notice from the network.
TEST_F(MainFrameLan, MessagesThatCameDuringTheOpenAreTakenAfterIt) {
  CMainFrame& frame = *m_pFrame;
  frame.Network().Lan().InboundQueue().Append(TEST_PING);
  frame.PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
  QCoreApplication::processEvents();
  EXPECT_FALSE(m_pUi->SawText("Received test ping"));
  frame.DatabaseOpen(m_sRoot);
  ASSERT_TRUE(frame.IsDatabaseOpen());
  EXPECT_TRUE(EventsUntil([&] { return m_pUi->SawText("Received test ping"); }));
}

// A short message from the other copy comes up in this copy's "Messages"
// window; one sent from here reaches the other copy and never this window.
TEST_F(MainFrameLan, ShortMessagesComeUpInTheOtherCopysMessagesWindowOnly) {
  std::unique_ptr<CSessionProcess> copy;
  ASSERT_NO_FATAL_FAILURE(OpenBesideCopy(copy));
  const auto shownInMessages = [&](const std::string& sText) {
    for (const auto& shown : m_pUi->Shown())
      if (shown.sCaption == "Messages" && shown.sText.find(sText) != std::string::npos) return true;
    return false;
  };
  EXPECT_EQ(Command(*copy, "short Coffee is ready"), "OK");
  EXPECT_TRUE(EventsUntil([&] { return shownInMessages("Coffee is ready"); }));
  m_pUi->QueueInput("Lunch at noon");
  m_pFrame->OnCommand(ID_SHORT_MESSAGE);
  EXPECT_NE(LineOf(*copy, "shorts", "Lunch at noon"), "");
  EventsUntil([] { return false; }, 1);  // a second of this window's timer
  EXPECT_FALSE(shownInMessages("Lunch at noon"));
  EXPECT_EQ(Command(*copy, "quit"), "OK quit");
  EXPECT_EQ(copy->Finish(), 0);
}
