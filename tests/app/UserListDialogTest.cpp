// The "User list" dialog without an open database: it shows the computer
// list file and this copy's address and port, and its buttons edit the list
// and change the port, the texts following at once.

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "QtTestApp.h"
#include "app/CDialogUserList.h"
#include "common/TestCommon.h"
#include "network/CUserListModel.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"

namespace {

std::vector<std::string> Lines(const CDialogUserList& dialog) {
  std::vector<std::string> sa;
  const auto* pList = dialog.findChild<QListWidget*>();
  for (int i = 0; pList && i < pList->count(); ++i) sa.push_back(pList->item(i)->text().toStdString());
  return sa;
}

bool ShowsLabel(const CDialogUserList& dialog, const std::string& sText) {
  for (const QLabel* p : dialog.findChildren<QLabel*>())
    if (p->text().toStdString() == sText) return true;
  return false;
}

void Click(CDialogUserList& dialog, const char* pButton) {
  for (QPushButton* p : dialog.findChildren<QPushButton*>())
    if (p->text() == pButton) return p->click();
  ADD_FAILURE() << "no button " << pButton;
}

}  // namespace

TEST(UserListDialog, ShowsTheComputerListAndChangesItWithoutADatabase) {
  TestApp();
  CScratchFolder folder;
  setenv("KELVO_HOME", folder.Path().c_str(), 1);
  const stAppSettings saved = AppSettings();
  AppSettings().sLanServerAddress = "127.0.0.2";
  AppSettings().sLanServerPort = "";
  ASSERT_TRUE(WriteFileAtomic(folder.File("Kelvo.usr"), "ALPHA:127.0.0.3\n"));
  CTestUi ui;
  {
    CUserListModel model(nullptr);
    CDialogUserList dialog(model, nullptr);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "User list");
    EXPECT_TRUE(ShowsLabel(dialog, "File sharing off"));
    EXPECT_TRUE(ShowsLabel(dialog, "This IP address: 127.0.0.2"));
    EXPECT_TRUE(ShowsLabel(dialog, "DORVATCH selected port"));
    EXPECT_EQ(Lines(dialog), std::vector<std::string>{"ALPHA:127.0.0.3 off-line"});

    ui.QueueInput("ALPHA:127.0.0.3\nBRAVO:127.0.0.4");
    Click(dialog, "Edit computer list");
    EXPECT_EQ(Lines(dialog), (std::vector<std::string>{"ALPHA:127.0.0.3 off-line", "BRAVO:127.0.0.4 off-line"}));

    ui.QueueInput("23999");
    Click(dialog, "Change port");
    EXPECT_TRUE(ui.SawText("New port number"));
    EXPECT_TRUE(ShowsLabel(dialog, "Port: 23999"));
  }
  AppSettings() = saved;
  unsetenv("KELVO_HOME");
}
