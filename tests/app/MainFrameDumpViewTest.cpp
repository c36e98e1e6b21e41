// The record dump view in the main frame: View database opens it on the open
// database, or, with none open, on another file that is only looked at; its
// commands stand in the menu, e&Xit returns to the schedule view, and the
// record dump dialog writes the byte edited in it.

#include <QLabel>
#include <QListWidget>
#include <QtTest/QTest>

#include "QtTestApp.h"
#include "app/CMainFrame.h"
#include "app/CQtUserInterface.h"
#include "app/CommandIds.h"
#include "common/TestCommon.h"
#include "data/CTableManager.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "views/CDatabaseView.h"
#include "views/CDialogRecordDump.h"
#include "views/CLineView.h"

namespace {

std::string FileBytes(const std::string& sPath) {
  std::string s;
  return ReadWholeFile(sPath, s) ? s : std::string();
}

class MainFrameDump : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    m_savedSettings = AppSettings();
    AppSettings() = stAppSettings();
    AppSettings().sComputerName = "TESTPC";
    AppSettings().bShowMaximized = false;
    AppSettings().nNetworkDisable = 1;
    setenv("XDG_DATA_HOME", m_folder.Path().c_str(), 1);
    setenv("KELVO_HOME", m_folder.Path().c_str(), 1);
    m_pUi = std::make_unique<CTestUi>();
    m_pFrame = std::make_unique<CMainFrame>(VIEW_SCHEDULE, "", &m_qtUi, [] { return true; });
    ASSERT_TRUE(m_pFrame->OnCreate());
    m_pFrame->show();
  }
  void TearDown() override {
    m_pFrame.reset();
    m_pUi.reset();
    unsetenv("XDG_DATA_HOME");
    unsetenv("KELVO_HOME");
    AppSettings() = m_savedSettings;
  }
  CDatabaseView& Dump() {
    return static_cast<CDatabaseView&>(static_cast<CLineView*>(m_pFrame->View(VIEW_DATABASE))->Source());
  }
  // Creates a database with File New and closes it again; its path.
  std::string MadeDatabase() {
    m_pUi->QueueInput("Dump");
    m_pFrame->OnCommand(ID_FILE_NEW);
    EXPECT_TRUE(m_pFrame->IsDatabaseOpen());
    return m_folder.File("kelvo/Dump.dbm");
  }

  CScratchFolder m_folder;
  stAppSettings m_savedSettings;
  CQtUserInterface m_qtUi;
  std::unique_ptr<CTestUi> m_pUi;
  std::unique_ptr<CMainFrame> m_pFrame;
};

}  // namespace

TEST_F(MainFrameDump, AnotherFileIsShownAndLeftAsItWas) {
  const std::string sPath = MadeDatabase();
  m_pFrame->OnCommand(ID_FILE_CLOSE);
  ASSERT_FALSE(m_pFrame->IsDatabaseOpen());
  const std::string sBefore = FileBytes(sPath);

  m_pUi->QueueFile(sPath);
  m_pFrame->OnCommand(ID_VIEW_DATABASE);
  ASSERT_EQ(m_pFrame->CurrentView(), VIEW_DATABASE);
  EXPECT_TRUE(Dump().ShowsOtherFile());
  EXPECT_GT(Dump().MaxLines(), 0);
  char cStatus = 0;
  EXPECT_EQ(Dump().GetLine(0, HINT_PAINT, cStatus).m_sText.substr(0, 11), "[1024.USED,");
  // The view's commands stand in the menu; the ones that change the file
  // need the open database.
  const stCommand* pDelete = m_pFrame->ViewCommands().Find(ID_DUMP_DELETE);
  ASSERT_NE(pDelete, nullptr);
  EXPECT_EQ(pDelete->sText, "&Delete record");
  EXPECT_FALSE(CCommandTable::IsEnabled(*pDelete, m_pFrame->IsDatabaseOpen()));
  ASSERT_NE(m_pFrame->ViewCommands().Find(ID_DUMP_SHOW), nullptr);
  m_pFrame->OnCommand(ID_DUMP_DELETE);
  EXPECT_EQ(m_pFrame->Pane(2)->text().toStdString(), "Text");

  m_pFrame->OnCommand(ID_DUMP_EXIT);
  EXPECT_EQ(m_pFrame->CurrentView(), VIEW_SCHEDULE);
  EXPECT_FALSE(Dump().ShowsOtherFile());
  EXPECT_EQ(FileBytes(sPath), sBefore);  // not marked open, nothing cleared
  EXPECT_TRUE(m_pUi->Messages().empty());
}

TEST_F(MainFrameDump, TheDialogWritesTheEditedByte) {
  const std::string sPath = MadeDatabase();
  const stCommand* pRow = m_pFrame->FrameCommands().Find(ID_VIEW_DATABASE);
  ASSERT_NE(pRow, nullptr);
  EXPECT_EQ(pRow->sText, "&View database");
  m_pFrame->OnCommand(ID_VIEW_DATABASE);
  ASSERT_EQ(m_pFrame->CurrentView(), VIEW_DATABASE);
  CDatabaseView& dump = Dump();
  EXPECT_FALSE(dump.ShowsOtherFile());
  EXPECT_EQ(size_t(dump.MaxLines()), m_pFrame->Database()->m_caDataHeaders.size());
  const uint32_t nLoc = dump.Locations()[0];

  // Reserved byte 35 of the first header, edited in the dialog, then OK.
  WhenModal<CDialogRecordDump>([&](CDialogRecordDump* pDialog) {
    EXPECT_EQ(pDialog->HeaderList()->count(), 36);
    EXPECT_EQ(pDialog->HeaderList()->item(0)->text().toStdString(), "     0[ 85]U");
    pDialog->HeaderList()->setCurrentRow(35);
    m_pUi->QueueInput("7");
    pDialog->EditHeader();
    EXPECT_EQ(pDialog->HeaderList()->item(35)->text().toStdString(), "    35[  7]");
    QTest::keyClick(pDialog, Qt::Key_Return);  // moves on, does not close
    EXPECT_TRUE(pDialog->isVisible());
    pDialog->accept();
  });
  m_pFrame->OnCommand(ID_DUMP_EDIT);
  EXPECT_EQ(FileBytes(sPath)[nLoc + 35], '\x07');
  EXPECT_TRUE(m_pUi->Messages().empty());
  EXPECT_TRUE(m_pFrame->IsDatabaseOpen());
}
