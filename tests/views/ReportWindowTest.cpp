// The report window: a report written by the program opens in it with its
// text, font and tab stops; search, font change, saving under another name,
// printing, and the program waiting while it is open.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "app/CQtPrintSystem.h"
#include "app/CReportWindow.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "tests/views/ViewsTestApp.h"

namespace {

const std::vector<std::string> kLines = {
    "Record at 1024 is sound.", "{Smith\\}", "M\xC3\xBCller", "Col1\tCol2\tCol3", "",
    "Price \xE2\x82\xAC 5 and \xF0\x9F\x98\x80", "last line"};

class ReportWindow : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
  // Writes kLines as the report file without showing it.
  void WriteReport(const stFormatRecord* pFormat) {
    CReportsRTF::SetReportViewer(nullptr);
    CReportsRTF report(pFormat, CReportsRTF::REPORT_LINES, kLines);
    ASSERT_TRUE(report.Written());
  }
  std::vector<std::string> ShownLines(const CReportWindow& window) const {
    std::vector<std::string> sa;
    for (const QString& s : window.TextEdit()->toPlainText().split('\n')) sa.push_back(s.toStdString());
    return sa;
  }

  CScratchProgramFolder m_home;
  CTestUi m_ui;
};

TEST_F(ReportWindow, ShowsTheLinesInTheReportFont) {
  stFormatRecord f = TestFormat(1, 120, {0.5, 2.25});
  f.m_sFaceName = "Times New Roman";
  f.m_bBold = 1;
  WriteReport(&f);
  CReportWindow window;
  ASSERT_TRUE(window.Load(CReportsRTF::DefaultPath()));
  EXPECT_EQ(ShownLines(window), kLines);
  EXPECT_EQ(window.ReportFont().family(), "Times New Roman");
  EXPECT_DOUBLE_EQ(window.ReportFont().pointSizeF(), 12.0);
  EXPECT_TRUE(window.ReportFont().bold());
  const auto tabs = window.TextEdit()->document()->defaultTextOption().tabs();
  ASSERT_EQ(tabs.size(), 2);
  EXPECT_NEAR(tabs[0].position, 0.5 * window.TextEdit()->logicalDpiX(), 0.01);
  EXPECT_NEAR(tabs[1].position, 2.25 * window.TextEdit()->logicalDpiX(), 0.01);
  EXPECT_TRUE(window.TextEdit()->isReadOnly());
  // A file that is not a report is refused.
  ASSERT_TRUE(WriteFileAtomic(m_home.File("bad.rtf"), "{\\rtf1 unbalanced"));
  EXPECT_FALSE(window.Load(m_home.File("bad.rtf")));
  EXPECT_FALSE(window.Load(m_home.File("missing.rtf")));
}

TEST_F(ReportWindow, SearchGoesRoundTheDocument) {
  WriteReport(nullptr);
  CReportWindow window;
  ASSERT_TRUE(window.Load(CReportsRTF::DefaultPath()));
  EXPECT_TRUE(window.FindText("line", false));
  EXPECT_EQ(window.TextEdit()->textCursor().selectedText(), "line");
  EXPECT_EQ(window.TextEdit()->textCursor().blockNumber(), 6);
  // From the last match on, the search goes round to the start.
  EXPECT_TRUE(window.FindText("Record", false));
  EXPECT_EQ(window.TextEdit()->textCursor().blockNumber(), 0);
  EXPECT_TRUE(window.FindText("M\xC3\xBCller", true));
  EXPECT_EQ(window.TextEdit()->textCursor().blockNumber(), 2);
  EXPECT_FALSE(window.FindText("absent", false));
  EXPECT_EQ(window.TextEdit()->textCursor().blockNumber(), 2);
  // Through the window's find field and button.
  QPushButton* pNext = nullptr;
  for (QPushButton* p : window.findChildren<QPushButton*>())
    if (p->text() == "Find &next") pNext = p;
  ASSERT_TRUE(pNext);
  window.findChild<QLineEdit*>("FindText")->setText("absent");
  pNext->click();
  EXPECT_EQ(window.findChild<QLabel*>("ReportStatus")->text(), "Not found");
  window.findChild<QLineEdit*>("FindText")->setText("Col2");
  pNext->click();
  EXPECT_EQ(window.findChild<QLabel*>("ReportStatus")->text(), "");
  EXPECT_EQ(window.TextEdit()->textCursor().selectedText(), "Col2");
}

TEST_F(ReportWindow, SavesUnderAnotherNameInTheFontShown) {
  WriteReport(nullptr);
  CReportWindow window;
  ASSERT_TRUE(window.Load(CReportsRTF::DefaultPath()));
  // Unchanged: the very bytes of the report.
  ASSERT_TRUE(window.SaveAs(m_home.File("copy.rtf")));
  std::string sOriginal, sCopy;
  ASSERT_TRUE(ReadWholeFile(CReportsRTF::DefaultPath(), sOriginal));
  ASSERT_TRUE(ReadWholeFile(m_home.File("copy.rtf"), sCopy));
  EXPECT_EQ(sCopy, sOriginal);
  // In another font: the document reads back with that font and the same lines.
  QFont font("Arial");
  font.setPointSizeF(14);
  font.setBold(true);
  window.SetReportFont(font);
  EXPECT_EQ(window.TextEdit()->document()->defaultFont().family(), "Arial");
  ASSERT_TRUE(window.SaveAs(m_home.File("arial.rtf")));
  CReportsRTF::stReport report;
  ASSERT_TRUE(CReportsRTF::ReadReport(m_home.File("arial.rtf"), report));
  EXPECT_EQ(report.sFaceName, "Arial");
  EXPECT_EQ(report.nHalfPoints, 28);
  EXPECT_TRUE(report.bBold);
  EXPECT_EQ(report.saLines, kLines);
  // A face name cannot break the document.
  window.SetReportFont(QFont("Evil;}{\\f9 Face"));
  ASSERT_TRUE(window.SaveAs(m_home.File("evil.rtf")));
  ASSERT_TRUE(CReportsRTF::ReadReport(m_home.File("evil.rtf"), report));
  EXPECT_EQ(report.saLines, kLines);
  EXPECT_FALSE(window.SaveAs(m_home.File("no/folder/x.rtf")));
}

TEST_F(ReportWindow, PrintsThroughTheEngine) {
  WriteReport(nullptr);
  CQtPrintSystem& system = CQtPrintSystem::Install();
  system.SetPdfFile(m_home.File("report.pdf"));
  AppSettings().printerView.sPrinter = CQtPrintSystem::kPdfPrinter;
  CReportWindow window;
  ASSERT_TRUE(window.Load(CReportsRTF::DefaultPath()));
  m_ui.QueueEdit({});
  EXPECT_EQ(window.Print(), 1);
  CQtPrintSystem::Uninstall();
  AppSettings().printerView = {};
  const auto pages = ReadPdf(m_home.File("report.pdf"));
  ASSERT_EQ(pages.size(), 1u);
  const stPdfWord* pCol = pages[0].Find("Col1");
  ASSERT_TRUE(pCol);
  const auto row = pages[0].LineOf(*pCol);
  ASSERT_EQ(row.size(), 3u);
  // The built-in report format's stops are at 1, 2, 3 ... inches.
  EXPECT_NEAR(row[1].x0 - row[0].x0, 72.0, 1.5);
  EXPECT_NEAR(row[2].x0 - row[0].x0, 144.0, 1.5);
  EXPECT_TRUE(pages[0].Find("{Smith\\}"));
  EXPECT_TRUE(pages[0].Find("M\xC3\xBCller"));
}

TEST_F(ReportWindow, TheProgramWaitsUntilTheWindowIsClosed) {
  CReportWindow::Install();
  bool bShown = false;
  std::vector<std::string> saShown;
  WhenModal<CReportWindow>([&](CReportWindow* p) {
    bShown = true;
    saShown = ShownLines(*p);
    p->accept();
  });
  {
    CReportsRTF report(nullptr, CReportsRTF::REPORT_LINES, kLines);
    // The constructor returned: the window was shown and closed.
    EXPECT_TRUE(report.Written());
    EXPECT_TRUE(bShown);
  }
  CReportWindow::Uninstall();
  EXPECT_EQ(saShown, kLines);
  // A report file that cannot be read is said so.
  ASSERT_TRUE(WriteFileAtomic(m_home.File("bad.rtf"), "not rtf"));
  CReportWindow::ShowReport(m_home.File("bad.rtf"));
  EXPECT_TRUE(m_ui.SawText("Cannot read report file " + m_home.File("bad.rtf")));
}

}  // namespace
