// The mail check window against a scripted POP3 server on loopback: the
// user's check lists the messages and titles both windows, "View normal"
// shows a body, the user-interface thread keeps running while the server
// stalls, the account dialog refuses the separator in a field, and the
// main frame keeps the window while the check is enabled.

#include <unistd.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "QtTestApp.h"
#include "app/CDialogEmailCheck.h"
#include "app/CDialogEmailSetup.h"
#include "app/CMainFrame.h"
#include "app/CQtUserInterface.h"
#include "comms/Pop3TestHelpers.h"
#include "support/CConfigFile.h"

namespace {

void Click(QWidget& window, const char* pButton) {
  for (QPushButton* p : window.findChildren<QPushButton*>())
    if (p->text() == pButton) return p->click();
  ADD_FAILURE() << "no button " << pButton;
}

std::vector<std::string> Row(const QTreeWidget& list, int n) {
  std::vector<std::string> sa;
  const QTreeWidgetItem* pItem = list.topLevelItem(n);
  for (int i = 0; pItem && i < 4; ++i) sa.push_back(pItem->text(i).toStdString());
  return sa;
}

}  // namespace

TEST(EmailCheckWindow, UserCheckListsMessagesWhileTheUiThreadRuns) {
  TestApp();
  const stAppSettings saved = AppSettings();
  const std::vector<std::string> saMessages = {NumberedMessage(1), NumberedMessage(2)};
  // The second message comes only after a stall the check must sit out.
  CScriptedPop3Server server([&](CScriptedPeer& peer, const std::string& sCommand) {
    if (sCommand == "RETR 2") usleep(1500 * 1000);
    return MailboxAnswer(peer, sCommand, saMessages);
  });
  AppSettings().saEmailAccounts = {LoopbackAccount(server.Port(), "u", "p")};
  AppSettings().nEmailCheckInterval = 0;
  CTestUi ui;
  std::string sMainTitle = "normal";
  {
    CDialogEmailCheck window([&](const std::string& s) { sMainTitle = s; }, nullptr);
    window.show();
    EXPECT_EQ(window.windowTitle().toStdString(), "0 Emails");

    int nTicksDuringCheck = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { nTicksDuringCheck += window.Check().IsRunning(); });
    ticker.start(100);
    Click(window, "Check for new emails");
    EXPECT_EQ(window.windowTitle().toStdString(), "Checking for new email");
    QElapsedTimer guard;
    guard.start();
    while ((window.Check().IsRunning() || window.Check().HasPending()) && guard.elapsed() < 60000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ticker.stop();
    EXPECT_GT(nTicksDuringCheck, 0);

    EXPECT_EQ(window.windowTitle().toStdString(), "2 Emails");
    EXPECT_EQ(sMainTitle, "2 Emails");
    auto* pList = window.findChild<QTreeWidget*>();
    ASSERT_NE(pList, nullptr);
    ASSERT_EQ(pList->topLevelItemCount(), 2);
    EXPECT_EQ(Row(*pList, 0), (std::vector<std::string>{"u", "sender1@example.org", "Message 1", ""}));
    EXPECT_EQ(Row(*pList, 1), (std::vector<std::string>{"u", "sender2@example.org", "Message 2", ""}));

    std::string sTitle, sShown;
    pList->setCurrentItem(pList->topLevelItem(1));
    WhenModal<QDialog>([&](QDialog* pViewer) {
      sTitle = pViewer->windowTitle().toStdString();
      if (auto* pBrowser = pViewer->findChild<QTextBrowser*>())
        sShown = pBrowser->toPlainText().toStdString();
      pViewer->accept();
    });
    Click(window, "View normal");
    EXPECT_EQ(sTitle, "Email body");
    EXPECT_NE(sShown.find("Body of message 2"), std::string::npos) << sShown;
    EXPECT_EQ(sShown.find("Body of message 1"), std::string::npos) << sShown;
  }
  const std::vector<std::string> saCommands = server.Commands();
  EXPECT_EQ(std::count_if(saCommands.begin(), saCommands.end(),
                          [](const std::string& s) { return s.rfind("DELE", 0) == 0; }),
            0);
  AppSettings() = saved;
}

TEST(EmailCheckWindow, AccountDialogRefusesTheSeparatorAndKeepsEveryField) {
  TestApp();
  CTestUi ui;
  int nTries = 0;
  std::function<void(QDialog*)> fill = [&](QDialog* pDialog) {
    const auto set = [&](const char* pName, const char* pText) {
      if (auto* p = pDialog->findChild<QLineEdit*>(pName)) p->setText(pText);
    };
    set("Server", "mail.example.org:995");
    set("UserID", "pat");
    // First a password holding the field separator, then a good one.
    set("Password", ++nTries == 1 ? "pa`ss" : "");
    if (nTries == 1) WhenModal<QDialog>(fill);
    for (QPushButton* p : pDialog->findChildren<QPushButton*>())
      if (p->text() == "OK" || p->text() == "&OK") p->click();
  };
  WhenModal<QDialog>(fill);
  const std::string sAccount = CDialogEmailSetup::EditAccount("", nullptr);
  EXPECT_EQ(nTries, 2);
  EXPECT_TRUE(ui.SawText("\"Password\" may not contain ` or |, a line break or a NUL character."));
  EXPECT_EQ(sAccount, "mail.example.org:995`pat`");
}

TEST(EmailCheckWindow, FrameKeepsTheWindowWithTheSettingAndShowsTheCountInItsTitle) {
  TestApp();
  const stAppSettings saved = AppSettings();
  AppSettings() = stAppSettings();
  AppSettings().sComputerName = "TESTPC";
  AppSettings().bShowMaximized = false;
  CQtUserInterface qtUi;
  CTestUi ui;
  {
    CMainFrame frame(VIEW_SCHEDULE, "", &qtUi, [] { return true; });
    ASSERT_TRUE(frame.OnCreate());
    const std::string sNormal = frame.windowTitle().toStdString();
    frame.OnTimer();
    EXPECT_EQ(frame.EmailCheckWindow(), nullptr);
    AppSettings().nEmailCheckEnable = 1;
    frame.OnTimer();
    ASSERT_NE(frame.EmailCheckWindow(), nullptr);
    EXPECT_TRUE(frame.EmailCheckWindow()->isMinimized());
    frame.EmailCheckWindow()->SetMainTitle("3 Emails");
    EXPECT_EQ(frame.windowTitle().toStdString(), "3 Emails");
    frame.EmailCheckWindow()->SetMainTitle("");
    EXPECT_EQ(frame.windowTitle().toStdString(), sNormal);
    AppSettings().nEmailCheckEnable = 0;
    frame.OnTimer();
    EXPECT_EQ(frame.EmailCheckWindow(), nullptr);
  }
  AppSettings() = saved;
}
