// Print jobs end to end on recording printers: page headers, page numbers
// and footers, blocks, page breaks, inline codes, the print set-up dialog,
// copies, pauses, aborts and printers that fail.

#include <gtest/gtest.h>

#include <fstream>

#include "print/Printing.h"
#include "support/StringUtil.h"
#include "tests/print/PrintTestSupport.h"

namespace {

// 300 dpi letter paper; a 10-point line is 42 pixels high.
constexpr int kLine = 42;

class PrintJob : public ::testing::Test {
 protected:
  stPrinterSetup Setup(const std::string& sPrinter = "Office,winspool,LPT1:") {
    stPrinterSetup s;
    s.sPrinter = sPrinter;
    return s;
  }
  // Layout 2: no margins, no page numbers.
  static stPageLayout Plain() { return CPageLayout::DefaultLayout(2); }

  stFmtString Line(const std::string& sText, char cType = '-') { return {&m_format, cType, sText}; }
  std::vector<stFmtString> Numbered(int nCount, const std::string& sPrefix = "Line") {
    std::vector<stFmtString> v;
    for (int i = 0; i < nCount; ++i) v.push_back(Line(StrFormat("%s %03d", sPrefix.c_str(), i)));
    return v;
  }
  // The texts of a page, blank runs left out.
  std::vector<std::string> PageTexts(int nPage) {
    std::vector<std::string> v;
    for (const auto& t : m_printers.Last().PageTexts(nPage)) v.push_back(t.sText);
    return v;
  }

  CScratchProgramFolder m_home;
  CTestUi m_ui;
  CTestPrintSystem m_printers;
  stFormatRecord m_format = TestFormat(2, 100, {2.0});
};

TEST_F(PrintJob, MultiPageListWithHeaderPageNumbersAndFooter) {
  std::vector<stFmtString> lines{Line("Name\tPhone", 'H')};
  for (int i = 0; i < 200; ++i) lines.push_back(Line(StrFormat("Person %03d\t555-%04d", i, i)));
  WriteLines(lines);
  const stPageLayout layout = CPageLayout::DefaultLayout(0);  // margins 0.5/0.75/0.75, page numbers from 1
  ASSERT_EQ(PrintBlock(Setup(), layout, false, "Confidential", -1), 1);
  const CRecordingTarget& t = m_printers.Last();
  EXPECT_EQ(m_printers.m_saOpened, std::vector<std::string>{"Office"});
  EXPECT_EQ(t.DocumentName(), "Dorvatch print job");
  EXPECT_EQ(t.DocumentsEnded(), 1);
  // Text height 3300 - 2 x 225; header and its blank line 84; three page-font
  // lines reserved: 62 body lines a page.
  ASSERT_EQ(t.PagesEnded(), 4);
  const int nTop = 225, nTextBottom = 3300 - 225, nFooterY = nTextBottom - kLine;
  std::vector<std::string> saPersons;
  for (int p = 1; p <= 4; ++p) {
    const auto texts = t.PageTexts(p);
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[0].sText, "Name");
    EXPECT_EQ(texts[0].y, nTop);
    bool bFooter = false, bNumber = false;
    for (const auto& d : texts) {
      if (d.sText == "Confidential") {
        bFooter = true;
        EXPECT_EQ(d.x, 150);  // the footer is not centred
        EXPECT_EQ(d.y, nFooterY);
      } else if (d.sText == StrFormat("Page %i", p)) {
        bNumber = true;
        EXPECT_EQ(d.y, nTextBottom);
        EXPECT_GT(d.x, 150);  // centred
      } else {
        EXPECT_LE(d.y + kLine, nFooterY - kLine) << "body text in the footer band: " << d.sText;
        if (d.sText.rfind("Person", 0) == 0) saPersons.push_back(d.sText);
        if (d.sText.rfind("555-", 0) == 0) {
          EXPECT_EQ(d.x, 150 + 600);
        }
      }
    }
    EXPECT_TRUE(bFooter) << p;
    EXPECT_TRUE(bNumber) << p;
  }
  ASSERT_EQ(saPersons.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(saPersons[size_t(i)], StrFormat("Person %03d", i));
  EXPECT_EQ(t.PageTexts(1).size(), 2u + 62 * 2 + 2);
  EXPECT_TRUE(m_ui.SawText("Initializing print job"));
  EXPECT_TRUE(m_ui.SawText("Printing page 4"));
}

TEST_F(PrintJob, OnlyPageNumbersReserveTwoLines) {
  WriteLines(Numbered(200));
  ASSERT_EQ(PrintBlock(Setup(), CPageLayout::DefaultLayout(0), false, "", -1), 1);
  // 2850 - 2 x 42 = 2766: 65 lines a page.
  EXPECT_EQ(m_printers.Last().PagesEnded(), 4);
  EXPECT_EQ(PageTexts(1).size(), 65u + 1);
  EXPECT_EQ(PageTexts(1).back(), "Page 1");
  EXPECT_EQ(PageTexts(4).back(), "Page 4");
}

TEST_F(PrintJob, HeadersStartPages) {
  WriteLines({Line("a"), Line("Head1", 'H'), Line("b"), Line("Head2", 'H'), Line("c")});
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  ASSERT_EQ(m_printers.Last().PagesEnded(), 2);
  // The first header does not break the page; the next one does.
  EXPECT_EQ(PageTexts(1), (std::vector<std::string>{"Head1", "a", "b"}));
  EXPECT_EQ(PageTexts(2), (std::vector<std::string>{"Head2", "c"}));
}

TEST_F(PrintJob, PageBreaks) {
  WriteLines({Line("Head", 'H'), Line("x"), Line("^"), Line("^"), Line("y")});
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  ASSERT_EQ(m_printers.Last().PagesEnded(), 3);
  EXPECT_EQ(PageTexts(1), (std::vector<std::string>{"Head", "x"}));
  EXPECT_EQ(PageTexts(2), std::vector<std::string>{"Head"});  // "^" after a page: the header alone
  EXPECT_EQ(PageTexts(3), (std::vector<std::string>{"Head", "y"}));
}

TEST_F(PrintJob, BlocksStayTogether) {
  // 3300 / 42: 78 lines fit a page of layout 2.
  std::vector<stFmtString> lines = Numbered(70);
  lines.push_back(Line("<"));
  for (const auto& l : Numbered(10, "Block")) lines.push_back(l);
  lines.push_back(Line(">"));
  lines.push_back(Line("after"));
  lines.push_back(Line("<"));
  lines.push_back(Line("never printed"));  // no ">" before the end: dropped
  WriteLines(lines);
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  ASSERT_EQ(m_printers.Last().PagesEnded(), 2);
  EXPECT_EQ(PageTexts(1).size(), 70u);
  const auto page2 = PageTexts(2);
  ASSERT_EQ(page2.size(), 11u);
  EXPECT_EQ(page2.front(), "Block 000");
  EXPECT_EQ(page2.back(), "after");
}

TEST_F(PrintJob, OverTallBlockFillsPagesWithoutLeavingThePage) {
  std::vector<stFmtString> lines{Line("<")};
  for (const auto& l : Numbered(200, "Tall")) lines.push_back(l);
  lines.push_back(Line(">"));
  WriteLines(lines);
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  const CRecordingTarget& t = m_printers.Last();
  // Without margins the line that would run over would leave the paper: it
  // goes to the next page instead (78 + 78 + 44).
  ASSERT_EQ(t.PagesEnded(), 3);
  for (const auto& d : t.Texts()) EXPECT_LE(d.y + kLine, 3300) << d.sText;
  EXPECT_EQ(PageTexts(1).size(), 78u);
  EXPECT_EQ(PageTexts(3).size(), 44u);
}

TEST_F(PrintJob, OverTallBlockKeepsTheOverflowingLineWhereItFits) {
  stPageLayout layout = Plain();
  layout.m_fTopMargin = 1.0f;
  layout.m_fBottomMargin = 1.0f;  // text height 2700: 64 lines, the 65th runs into the margin
  std::vector<stFmtString> lines{Line("<")};
  for (const auto& l : Numbered(100, "Tall")) lines.push_back(l);
  lines.push_back(Line(">"));
  WriteLines(lines);
  ASSERT_EQ(PrintBlock(Setup(), layout, false, "", -1), 1);
  ASSERT_EQ(m_printers.Last().PagesEnded(), 2);
  EXPECT_EQ(PageTexts(1).size(), 65u);
  EXPECT_EQ(PageTexts(2).size(), 35u);
}

TEST_F(PrintJob, NoBlankPagesFromOverflow) {
  stFormatRecord huge = TestFormat(11, 10000);  // one line taller than the page
  WriteLines({{&huge, '-', "Huge"}, Line("small")});
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  ASSERT_EQ(m_printers.Last().PagesEnded(), 2);
  EXPECT_EQ(PageTexts(1), std::vector<std::string>{"Huge"});
  EXPECT_EQ(PageTexts(2), std::vector<std::string>{"small"});
}

TEST_F(PrintJob, InlineCodesPrintAsRuns) {
  WriteLines({Line("~Bbold~b plain")});
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  const auto texts = m_printers.Last().PageTexts(1);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].sText, "bold");
  EXPECT_EQ(texts[0].font.nWeight, 700);
  EXPECT_EQ(texts[1].sText, " plain");
  EXPECT_EQ(texts[1].font.nWeight, 400);
}

TEST_F(PrintJob, DialogCopiesAndPageNumbers) {
  WriteLines(Numbered(100));
  m_ui.QueueEdit({{"Printer", "Plotter"},
                  {"Number of copies", "2"},
                  {"Print page numbers", "1"},
                  {"Starting page number", "5"}});
  ASSERT_EQ(PrintBlock(Setup(), Plain(), true, "", -1), 1);
  EXPECT_EQ(m_printers.m_saOpened, std::vector<std::string>{"Plotter"});
  const CRecordingTarget& t = m_printers.Last();
  EXPECT_EQ(t.DocumentsEnded(), 2);
  ASSERT_EQ(t.PagesEnded(), 4);
  // Each copy counts from the starting page number.
  EXPECT_EQ(PageTexts(1).back(), "Page 5");
  EXPECT_EQ(PageTexts(2).back(), "Page 6");
  EXPECT_EQ(PageTexts(3).back(), "Page 5");
  EXPECT_EQ(PageTexts(4).back(), "Page 6");
  // Without a bottom margin the number moves up onto the paper.
  EXPECT_EQ(t.PageTexts(1).back().y, 3300 - kLine);
  EXPECT_TRUE(m_ui.SawText("Printing page 4"));

  // Cancel, and no copies: nothing printed, nothing said.
  m_printers.m_saOpened.clear();
  m_ui.QueueEdit({}, false);
  EXPECT_EQ(PrintBlock(Setup(), Plain(), true, "", -1), 0);
  m_ui.QueueEdit({{"Number of copies", "0"}});
  EXPECT_EQ(PrintBlock(Setup(), Plain(), true, "", -1), 0);
  EXPECT_TRUE(m_printers.m_saOpened.empty());
  EXPECT_TRUE(m_ui.Messages().empty());

  // A copies argument of 0 shows the dialog too; 0 or more prints no page numbers.
  m_ui.QueueEdit({{"Number of copies", "1"}, {"Print page numbers", "1"}});
  ASSERT_EQ(PrintBlock(Setup(), CPageLayout::DefaultLayout(0), false, "", 0), 1);
  for (const auto& s : PageTexts(1)) EXPECT_EQ(s.find("Page"), std::string::npos);
  ASSERT_EQ(PrintBlock(Setup(), CPageLayout::DefaultLayout(0), false, "", 3), 1);
  EXPECT_EQ(m_printers.Last().DocumentsEnded(), 3);
  for (const auto& s : PageTexts(1)) EXPECT_EQ(s.find("Page"), std::string::npos);
}

TEST_F(PrintJob, PrinterFailuresAreReported) {
  WriteLines(Numbered(100));
  m_printers.m_bRefuse = true;
  EXPECT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 0);
  EXPECT_TRUE(m_ui.SawText("Error in printing. [The printer Office is not available]  Check printer status."));
  m_printers.m_bRefuse = false;

  EXPECT_EQ(PrintBlock(Setup("Ghost,winspool,LPT1:"), Plain(), false, "", -1), 0);
  EXPECT_TRUE(m_ui.SawText("Error in printing. [The printer Ghost is not available]  Check printer status."));

  // The printer goes away after the first page.
  m_printers.m_sFailCall = "EndPage";
  m_printers.m_nFailAfter = 2;
  EXPECT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 0);
  EXPECT_TRUE(m_ui.SawText("Error in printing. [The printer is not available]  Check printer status."));
  EXPECT_EQ(m_printers.Last().PagesEnded(), 1);
  m_printers.m_sFailCall.clear();

  // No printer named and no default printer.
  m_printers.m_sDefault.clear();
  EXPECT_EQ(PrintBlock(Setup(""), Plain(), false, "", -1), 0);
  EXPECT_TRUE(m_ui.SawText("Error in printing. [No printer is selected]  Check printer status."));
  m_printers.m_sDefault = "Office";
  m_printers.m_saOpened.clear();
  stPageLayout landscape = Plain();
  landscape.m_nLandscape = 1;
  EXPECT_EQ(PrintBlock(Setup("DEFAULT"), landscape, false, "", -1), 1);
  EXPECT_EQ(m_printers.m_saOpened, std::vector<std::string>{"Office"});
  EXPECT_TRUE(m_printers.m_bLandscape);
}

TEST_F(PrintJob, UnsoundPrintFileIsRefused) {
  std::ofstream(CPrintFile::DefaultPath(), std::ios::binary) << "not a print file at all";
  EXPECT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 0);
  EXPECT_TRUE(m_printers.m_saOpened.empty());
  ASSERT_EQ(m_ui.Messages().size(), 1u);
  EXPECT_NE(m_ui.Messages()[0].find("incomplete or damaged"), std::string::npos);
}

TEST_F(PrintJob, PauseRepeatAndAbort) {
  WriteLines(Numbered(100));
  stPrinterSetup setup = Setup();
  setup.nPauseAfterPage = 1;
  stPageLayout layout = Plain();
  layout.m_nPageFlag = 1;
  m_ui.QueueChoice({2});  // repeat page 1
  m_ui.QueueChoice({0});
  m_ui.QueueChoice({0});
  ASSERT_EQ(PrintBlock(setup, layout, false, "", -1), 1);
  ASSERT_EQ(m_printers.Last().PagesEnded(), 3);
  EXPECT_EQ(PageTexts(1).back(), "Page 1");
  EXPECT_EQ(PageTexts(2).back(), "Page 1");
  EXPECT_EQ(PageTexts(3).back(), "Page 2");

  m_ui.QueueChoice({1});  // abort after the first page
  EXPECT_EQ(PrintBlock(setup, layout, false, "", -1), 0);
  EXPECT_EQ(m_printers.Last().PagesEnded(), 1);
  EXPECT_EQ(m_printers.Last().DocumentsEnded(), 1);

  // Abort from the wait box in the middle of the first page.
  m_ui.QueueAbortPress(40);
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(PrintBlock(Setup(), layout, false, "", -1), 0);
  EXPECT_EQ(m_printers.Last().PagesEnded(), 1);
  EXPECT_LT(PageTexts(1).size(), 60u);
  EXPECT_EQ(m_ui.Messages().size(), 1u);  // only the abort question
}

TEST_F(PrintJob, ANestedJobIsRefused) {
  WriteLines(Numbered(10));
  int nNested = -1;
  m_ui.SetEventHook([&] {
    if (nNested == -1) nNested = PrintBlock(Setup(), Plain(), false, "", -1);
  });
  ASSERT_EQ(PrintBlock(Setup(), Plain(), false, "", -1), 1);
  EXPECT_EQ(nNested, 0);
  EXPECT_EQ(m_printers.Last().PageTexts(1).size(), 10u);
}

TEST_F(PrintJob, TextFilesAndArrays) {
  const std::string sText = m_home.File("notes.txt");
  std::ofstream(sText, std::ios::binary) << "line one   \n\tindented\r\n" << std::string(1500, 'w')
                                         << "\nM\xFCller\n";
  ASSERT_EQ(PrintTextFile(sText, m_format, Setup(), Plain(), false, "notes.txt"), 1);
  const auto texts = PageTexts(1);
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[0], "notes.txt");
  EXPECT_EQ(texts[1], "line one");
  EXPECT_EQ(texts[2], "indented");
  EXPECT_EQ(texts[3], std::string(1023, 'w'));
  EXPECT_EQ(texts[4], std::string(477, 'w'));
  EXPECT_EQ(texts[5], "M\xC3\xBCller");
  EXPECT_EQ(m_printers.Last().PageTexts(1)[2].x, 600);
  m_printers.m_saOpened.clear();
  EXPECT_EQ(PrintTextFile(m_home.File("missing.txt"), m_format, Setup(), Plain(), false, ""), 0);
  EXPECT_TRUE(m_printers.m_saOpened.empty());
  EXPECT_TRUE(m_ui.Messages().empty());

  ASSERT_EQ(PrintFmtStringArray({Line("Title", 'H'), Line("one"), Line("two")}, Setup(), Plain(), false), 1);
  EXPECT_EQ(PageTexts(1), (std::vector<std::string>{"Title", "one", "two"}));
  std::string sError;
  EXPECT_TRUE(CPrintFile::CheckPrintFile(m_home.File("PRNTFILE.PRN"), sError));  // stays on disk
}

TEST_F(PrintJob, PrinterHelpers) {
  std::vector<std::string> sa;
  EXPECT_EQ(GetPrinterList(sa), 2);
  EXPECT_EQ(sa[1], "Plotter");
  EXPECT_EQ(GetDefaultPrinterSpec(), "Office");
  EXPECT_EQ(PrinterNameOf("HP LaserJet,winspool,Ne01:"), "HP LaserJet");
  EXPECT_EQ(PrinterNameOf("Plain"), "Plain");
  m_ui.QueueChoice({1});
  EXPECT_EQ(SelectPrinter(), "Plotter");
  m_ui.QueueChoice({});
  EXPECT_EQ(SelectPrinter(), "");
}

}  // namespace
