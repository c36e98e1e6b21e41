// The FTP transfer window on a real server on loopback: a whole upload with
// its texts, and closing or destroying the window in the middle of a
// download, which stops and joins the transfer and keeps the old file.

#include <QProgressBar>
#include <QtTest/QTest>

#include <filesystem>

#include "QtTestApp.h"
#include "app/CFTPTransferDlg.h"
#include "common/TestCommon.h"
#include "support/FileUtil.h"
#include "tests/comms/FtpTestServer.h"

namespace {

// Runs the event loop until fnDone holds (at most 10 s).
bool WaitFor(const std::function<bool()>& fnDone) {
  for (int i = 0; i < 1000 && !fnDone(); ++i) QTest::qWait(10);
  return fnDone();
}

std::string Text(const std::string& sPath) {
  std::string s;
  ReadWholeFile(sPath, s);
  return s;
}

}  // namespace

TEST(FtpTransferDlg, UploadShowsItsTextsAndSucceeds) {
  TestApp();
  CFtpTestServer server;
  ASSERT_TRUE(server.Started());
  CScratchFolder dir;
  const std::string sData(100000, 'k');
  WriteFileAtomic(dir.File("X.PLAN"), sData, 0644);
  CFTPTransferDlg dialog(server.Request("X.PLAN", dir.File("X.PLAN"), false), nullptr);
  EXPECT_EQ("File Upload", dialog.windowTitle());
  EXPECT_EQ("X.PLAN to 127.0.0.1:" + std::to_string(server.Port()), dialog.StatusText().toStdString());
  dialog.show();
  ASSERT_TRUE(dialog.OnInitDialog());
  ASSERT_TRUE(WaitFor([&] { return dialog.isHidden(); }));
  EXPECT_EQ(1, dialog.Result());
  EXPECT_EQ(QDialog::Accepted, dialog.result());
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(sData, Text(server.HomeFile("public/X.PLAN")));
  EXPECT_EQ("Uploading the file", dialog.StatusText().toStdString());
  EXPECT_EQ("100% of 97.7 Kbytes transferred", dialog.PercentageText().toStdString());
  EXPECT_EQ(100, dialog.ProgressBar()->value());
}

TEST(FtpTransferDlg, ClosingOrDestroyingMidTransferStopsAndJoins) {
  TestApp();
  CTestUi ui;
  CFtpTestServer slow(32 * 1024);
  ASSERT_TRUE(slow.Started());
  WriteFileAtomic(slow.HomeFile("public/big.bin"), std::string(2 << 20, 'b'), 0644);
  CScratchFolder dir;
  const std::string sOld = dir.File("big.bin");
  WriteFileAtomic(sOld, "OLD", 0644);

  ui.QueueAnswer(IDYES);
  CFTPTransferDlg dialog(slow.Request("big.bin", sOld, true), nullptr);
  EXPECT_EQ("File Download", dialog.windowTitle());
  dialog.show();
  ASSERT_TRUE(dialog.OnInitDialog());
  ASSERT_TRUE(WaitFor([&] { return !dialog.PercentageText().isEmpty(); }));
  EXPECT_EQ("Retrieving the file", dialog.StatusText().toStdString());
  dialog.close();
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_TRUE(dialog.isHidden());
  EXPECT_EQ(0, dialog.Result());
  EXPECT_EQ("Aborting transfer", dialog.StatusText().toStdString());
  EXPECT_EQ("OLD", Text(sOld));

  // Destroyed with the transfer running (its parent went away).
  ui.QueueAnswer(IDYES);
  auto* pDialog = new CFTPTransferDlg(slow.Request("big.bin", sOld, true), nullptr);
  pDialog->show();
  ASSERT_TRUE(pDialog->OnInitDialog());
  ASSERT_TRUE(WaitFor([&] { return !pDialog->PercentageText().isEmpty(); }));
  delete pDialog;
  QTest::qWait(50);  // queued reports of the stopped thread find no window
  EXPECT_EQ("OLD", Text(sOld));
  size_t nFiles = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++nFiles;
  EXPECT_EQ(1u, nFiles);
}
