// The Qt print target and print system: jobs printed to real PDF files and
// read back with pdftotext, printers that are not there, and the print
// set-up through Qt's print dialog.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPrintDialog>
#include <QSpinBox>

#include "app/CQtPrintSystem.h"
#include "print/Printing.h"
#include "support/StringUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "tests/views/ViewsTestApp.h"

namespace {

constexpr double kPt = 72.0;  // PDF points per inch

class QtPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    m_pSystem = &CQtPrintSystem::Install();
    m_pSystem->SetPdfFile(m_sPdf);
    m_setup.sPrinter = CQtPrintSystem::kPdfPrinter;
    m_layout = CPageLayout::DefaultLayout(0);  // margins 0.5 / 0.75 / 0.75 inch, pages from 1
  }
  void TearDown() override { CQtPrintSystem::Uninstall(); }

  std::vector<stPdfPage> Pages() const { return ReadPdf(m_sPdf); }

  CScratchProgramFolder m_home;
  CTestUi m_ui;
  std::string m_sPdf = m_home.File("out.pdf");
  CQtPrintSystem* m_pSystem = nullptr;
  stPrinterSetup m_setup;
  stPageLayout m_layout;
};

int NumberAfterPage(const stPdfPage& page) {
  const stPdfWord* pWord = page.Find("Page");
  if (!pWord) return -1;
  const auto line = page.LineOf(*pWord);
  for (size_t i = 0; i + 1 < line.size(); ++i)
    if (line[i].sText == "Page") return std::stoi(line[i + 1].sText);
  return -1;
}

TEST_F(QtPrint, MultiPageListHasHeadersNumbersFooterAndColumns) {
  const stFormatRecord f = TestFormat(0, 100, {2.0, 4.0});
  std::vector<stFmtString> lines = {{&f, FMT_HEADER, "Name\tCity\tPhone"}};
  for (int i = 0; i < 150; ++i)
    lines.push_back({&f, FMT_LINE, StrFormat("Person%03d\tCity%03d\tPhone%03d", i, i, i)});
  WriteLines(lines);
  ASSERT_EQ(PrintBlock(m_setup, m_layout, false, "Footer text", -1), 1);

  const auto pages = Pages();
  ASSERT_GE(pages.size(), 3u);
  int nNext = 0;
  for (size_t p = 0; p < pages.size(); ++p) {
    const stPdfPage& page = pages[p];
    SCOPED_TRACE("page " + std::to_string(p + 1));
    // The header opens every page at the top margin.
    const stPdfWord* pName = page.Find("Name");
    ASSERT_TRUE(pName);
    EXPECT_NEAR(pName->x0, 0.5 * kPt, 1.5);
    EXPECT_NEAR(pName->y0, 0.75 * kPt, 3.0);
    EXPECT_EQ(NumberAfterPage(page), int(p) + 1);
    const stPdfWord* pFooter = page.Find("Footer");
    ASSERT_TRUE(pFooter);
    // The footer band holds the footer and the page number, nothing else.
    for (const auto& w : page.words) {
      if (w.y0 >= pFooter->y0 - 0.5) {
        EXPECT_TRUE(w.sText == "Footer" || w.sText == "text" || w.sText == "Page" ||
                    w.sText == std::to_string(p + 1))
            << w.sText;
      } else {
        EXPECT_LT(w.y1, pFooter->y0) << w.sText;
      }
    }
    EXPECT_LT(pFooter->y1, page.dHeight - 0.2 * kPt);
    // Body lines follow each other; columns start at the tab stops.
    for (const auto& w : page.words) {
      if (w.sText.rfind("Person", 0) != 0) continue;
      EXPECT_EQ(w.sText, StrFormat("Person%03d", nNext));
      const auto row = page.LineOf(w);
      ASSERT_EQ(row.size(), 3u);
      EXPECT_EQ(row[1].sText, StrFormat("City%03d", nNext));
      EXPECT_NEAR(row[1].x0, (0.5 + 2.0) * kPt, 1.5);
      EXPECT_EQ(row[2].sText, StrFormat("Phone%03d", nNext));
      EXPECT_NEAR(row[2].x0, (0.5 + 4.0) * kPt, 1.5);
      ++nNext;
    }
  }
  EXPECT_EQ(nNext, 150);
}

TEST_F(QtPrint, BlocksBreaksAndInlineCodes) {
  const stFormatRecord f = TestFormat(0, 120);
  std::vector<stFmtString> lines;
  for (int i = 0; i < 45; ++i) lines.push_back({&f, FMT_LINE, StrFormat("Fill%02d", i)});
  // A block that does not fit the rest of page 1 moves to page 2 whole.
  lines.push_back({&f, FMT_LINE, "<"});
  for (int i = 0; i < 12; ++i) lines.push_back({&f, FMT_LINE, StrFormat("Kept%02d", i)});
  lines.push_back({&f, FMT_LINE, ">"});
  lines.push_back({&f, FMT_LINE, "^"});
  lines.push_back({&f, FMT_LINE, "~Bbold~b plain ~Iitalic~i"});
  // A block taller than a page fills pages line by line.
  lines.push_back({&f, FMT_LINE, "<"});
  for (int i = 0; i < 90; ++i) lines.push_back({&f, FMT_LINE, StrFormat("Tall%02d", i)});
  lines.push_back({&f, FMT_LINE, ">"});
  WriteLines(lines);
  m_layout.m_nPageFlag = 0;
  ASSERT_EQ(PrintBlock(m_setup, m_layout, false, "", -1), 1);

  const auto pages = Pages();
  ASSERT_GE(pages.size(), 4u);
  auto PageOf = [&](const std::string& s) {
    for (size_t p = 0; p < pages.size(); ++p)
      if (pages[p].Find(s)) return int(p);
    return -1;
  };
  EXPECT_EQ(PageOf("Fill00"), 0);
  EXPECT_EQ(PageOf("Fill44"), 0);
  EXPECT_EQ(PageOf("Kept00"), 1);
  EXPECT_EQ(PageOf("Kept11"), 1);
  // "^" starts a new page for what follows.
  EXPECT_EQ(PageOf("bold"), 2);
  const stPdfWord* pBold = pages[2].Find("bold");
  ASSERT_TRUE(pBold);
  const auto codeLine = pages[2].LineOf(*pBold);
  ASSERT_EQ(codeLine.size(), 3u);
  EXPECT_EQ(codeLine[1].sText, "plain");
  EXPECT_EQ(codeLine[2].sText, "italic");
  for (const auto& page : pages)
    for (const auto& w : page.words) EXPECT_EQ(w.sText.find('~'), std::string::npos) << w.sText;
  // The tall block: every line once, in order, over more than one page, none
  // below the bottom margin.
  int nNext = 0;
  for (const auto& page : pages)
    for (const auto& w : page.words)
      if (w.sText.rfind("Tall", 0) == 0) {
        EXPECT_EQ(w.sText, StrFormat("Tall%02d", nNext++));
        EXPECT_LT(w.y1, page.dHeight - 0.5 * kPt);
      }
  EXPECT_EQ(nNext, 90);
  EXPECT_GT(PageOf("Tall89"), PageOf("Tall00"));
  // The runs after "~B" and "~I" are set in the bold and italic faces.
  std::string sFonts;
  ASSERT_EQ(RunCommand("pdffonts '" + m_sPdf + "'", &sFonts), 0);
  EXPECT_NE(sFonts.find("Bold"), std::string::npos) << sFonts;
  EXPECT_NE(sFonts.find("Italic"), std::string::npos) << sFonts;
}

TEST_F(QtPrint, LandscapeAndCopies) {
  const stFormatRecord f = TestFormat(0, 100);
  WriteLines({{&f, FMT_LINE, "Wide"}});
  m_layout.m_nLandscape = 1;
  // Two copies through the dialog (the engine's form, answered by the script).
  m_ui.QueueEdit({{"Number of copies", "2"}});
  ASSERT_EQ(PrintBlock(m_setup, m_layout, true, "", -1), 1);
  // Both copies are in the one PDF file, each on its own landscape sheet.
  const auto pages = Pages();
  ASSERT_EQ(pages.size(), 2u);
  for (const auto& page : pages) {
    EXPECT_GT(page.dWidth, page.dHeight);
    EXPECT_TRUE(page.Find("Wide"));
  }
}

TEST_F(QtPrint, PrintersThatAreNotThereGiveTheMessage) {
  const stFormatRecord f = TestFormat(0, 100);
  WriteLines({{&f, FMT_LINE, "Nothing"}});
  const auto saPrinters = m_pSystem->PrinterList();
  EXPECT_EQ(saPrinters.back(), CQtPrintSystem::kPdfPrinter);
  EXPECT_FALSE(m_pSystem->DefaultPrinter().empty());

  stPrinterSetup gone = m_setup;
  gone.sPrinter = "Gone Printer,driver,port";
  EXPECT_EQ(PrintBlock(gone, m_layout, false, "", -1), 0);
  EXPECT_TRUE(m_ui.SawText("Error in printing. [The printer Gone Printer is not available]  Check printer status."));

  // A PDF file that cannot be written: refused, nothing reported as printed.
  m_pSystem->SetPdfFile(m_home.File("no/such/folder/out.pdf"));
  m_ui.ClearShown();
  EXPECT_EQ(PrintBlock(m_setup, m_layout, false, "", -1), 0);
  const auto saShown = m_ui.Messages();
  ASSERT_EQ(saShown.size(), 1u);
  EXPECT_EQ(saShown[0].rfind("Error in printing. [", 0), 0u) << saShown[0];
  EXPECT_NE(saShown[0].find("cannot be written"), std::string::npos) << saShown[0];

  // Without a chosen file the PDF printer asks for one; Cancel prints nothing.
  m_pSystem->SetPdfFile("");
  m_ui.QueueFile("");
  m_ui.ClearShown();
  EXPECT_EQ(PrintBlock(m_setup, m_layout, false, "", -1), 0);
  EXPECT_TRUE(m_ui.SawText("Error in printing. [No PDF file was chosen]  Check printer status."));
  // With a file chosen the job prints there.
  m_ui.QueueFile(m_home.File("chosen.pdf"));
  EXPECT_EQ(PrintBlock(m_setup, m_layout, false, "", -1), 1);
  const auto pages = ReadPdf(m_home.File("chosen.pdf"));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].Find("Nothing"));
}

TEST_F(QtPrint, PrintSetupThroughQtDialog) {
  stEditForm form;
  form.sDialog = "Print setup";
  form.fields = {{"Printer", CQtPrintSystem::kPdfPrinter, 255},
                 {"Printers", "", 65535},
                 {"Number of copies", "3", 3, 0, 100},
                 {"Pause after each page", "0", 1, 0, 1},
                 {"Delay after page", "0", 1, 0, 1},
                 {"Seconds", "0", 4, 0, 3600},
                 {"Print page numbers", "0", 1, 0, 1},
                 {"Starting page number", "1", 5, 0, 99999}};
  bool bSeen = false;
  WhenModal<QPrintDialog>([&](QPrintDialog* p) {
    bSeen = true;
    p->findChild<QCheckBox*>("Print page numbers")->setChecked(true);
    p->findChild<QSpinBox*>("Starting page number")->setValue(7);
    p->findChild<QCheckBox*>("Delay after page")->setChecked(true);
    p->findChild<QSpinBox*>("Seconds")->setValue(2);
    p->accept();
  });
  ASSERT_EQ(m_pSystem->EditPrintSetup(form, nullptr), IDOK);
  EXPECT_TRUE(bSeen);
  EXPECT_EQ(*form.Find("Printer"), CQtPrintSystem::kPdfPrinter);
  EXPECT_EQ(*form.Find("Number of copies"), "3");
  EXPECT_EQ(*form.Find("Print page numbers"), "1");
  EXPECT_EQ(*form.Find("Starting page number"), "7");
  EXPECT_EQ(*form.Find("Delay after page"), "1");
  EXPECT_EQ(*form.Find("Seconds"), "2");
  EXPECT_EQ(*form.Find("Pause after each page"), "0");
  // The file named in the dialog is where the next PDF job goes.
  EXPECT_EQ(m_pSystem->PdfFile(), m_sPdf);

  WhenModal<QPrintDialog>([](QPrintDialog* p) { p->reject(); });
  EXPECT_EQ(m_pSystem->EditPrintSetup(form, nullptr), IDCANCEL);
}

}  // namespace
