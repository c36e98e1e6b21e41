// The mail list printed to real PDF files through the Qt print system and
// read back with pdftotext -bbox: a label sheet in two columns and three
// rows, envelopes with the return address, and a phone list.

#include <gtest/gtest.h>

#include <map>

#include "app/CQtPrintSystem.h"
#include "lines/MailListTestData.h"
#include "tests/print/PrintTestSupport.h"
#include "tests/views/ViewsTestApp.h"
#include "views/CMailListView.h"

namespace {

constexpr double kPt = 72.0;  // PDF points per inch

class MailListPrint : public ::testing::Test {
 protected:
  MailListPrint() : m_db(m_group.Open(2).Db()), m_naCodes(AddMailPersons(m_db, m_ui)), m_view(&m_db) {
    TestApp();
    CQtPrintSystem::Install().SetPdfFile(m_sPdf);
    stAppSettings& s = AppSettings();
    for (stPrinterSetup* p : {&s.printerMailList, &s.printerMailLabels, &s.printerEnvelopes})
      p->sPrinter = CQtPrintSystem::kPdfPrinter;
    s.mailLabels = LabelLayout();
    s.saReturnAddress = {"Kelvo Office", "1 Return Rd"};
    m_view.EnterView();
    m_ui.QueueChoice({0});  // the category "Mail"
    m_view.OnCategorySelect();
  }
  ~MailListPrint() override {
    m_view.ExitView();
    CQtPrintSystem::Uninstall();
  }

  std::vector<stPdfPage> Print() {
    m_ui.QueueEdit({});  // the print set-up as it comes
    EXPECT_EQ(m_view.OnMaillistPrint(), 1);
    return ReadPdf(m_sPdf);
  }
  // The page a word is on; -1 when none has it.
  static int PageOf(const std::vector<stPdfPage>& pages, const std::string& s) {
    for (size_t p = 0; p < pages.size(); ++p)
      if (pages[p].Find(s)) return int(p);
    return -1;
  }
  double LeftMargin(uint32_t nLayout) const { return m_db.GetPageLayout(nLayout)->m_fLeftMargin; }

  CSettingsGuard m_settings;
  CScratchProgramFolder m_home;
  CHookUi m_ui;
  CCopyGroup m_group{m_home.File("mail")};
  CTableManager& m_db;
  std::vector<uint32_t> m_naCodes;
  CMailListView m_view;
  std::string m_sPdf = m_home.File("mail.pdf");
};

TEST_F(MailListPrint, LabelSheetInTwoColumnsAndThreeRows) {
  m_view.OnMaillistMailabels();
  // The layout dialog names the paper of the printer the labels go to.
  const std::string sPaper = CMailListView::PaperText(MAIL_LABELS);
  EXPECT_NE(sPaper.find(" in) on Print to PDF"), std::string::npos) << sPaper;
  const auto pages = Print();
  // The sheets are of that paper.
  ASSERT_FALSE(pages.empty());
  const QSizeF paper = QPrinter(QPrinter::HighResolution).pageLayout().pageSize().size(QPageSize::Point);
  EXPECT_NEAR(pages[0].dWidth, paper.width(), 1.0);
  EXPECT_NEAR(pages[0].dHeight, paper.height(), 1.0);
  // Seven labels, six to a sheet: two sheets, none blank.
  ASSERT_EQ(pages.size(), 2u);
  for (const auto& page : pages) EXPECT_FALSE(page.words.empty());
  // No label is split: each person's name and address are on one sheet, in
  // the order of the list.
  const std::map<std::string, std::string> nameAndStreet = {
      {"Alpha", "Elm"},  {"Bravo", "~Bold"},   {"Charlie", "Oak"}, {"Delta", "Pine"},
      {"Echo", "Birch"}, {"Foxtrot", "Cedar"}, {"Golf", "Maple"}};
  for (const auto& [sName, sStreet] : nameAndStreet) {
    SCOPED_TRACE(sName);
    EXPECT_GE(PageOf(pages, sName), 0);
    EXPECT_EQ(PageOf(pages, sName), PageOf(pages, sStreet));
  }
  EXPECT_EQ(PageOf(pages, "Foxtrot"), 0);
  EXPECT_EQ(PageOf(pages, "Golf"), 1);
  for (const char* p : {"Hotel", "India", "Juliet"}) EXPECT_EQ(PageOf(pages, p), -1) << p;
  // Column 1 at the page's left margin plus the left offset; column 2 one
  // column spacing further.
  const stPdfWord* pAnn = pages[0].Find("Ann");
  const stPdfWord* pBob = pages[0].Find("Bob");
  ASSERT_TRUE(pAnn && pBob);
  EXPECT_NEAR(pAnn->x0, (LeftMargin(2) + 0.25) * kPt, 1.0);
  EXPECT_NEAR(pBob->x0, pAnn->x0 + 3.0 * kPt, 1.0);
  EXPECT_NEAR(pBob->y0, pAnn->y0, 0.5);
  const stPdfWord* pGus = pages[1].Find("Gus");
  ASSERT_TRUE(pGus);
  EXPECT_NEAR(pGus->x0, pAnn->x0, 1.0);
  EXPECT_NEAR(pGus->y0, pAnn->y0, 1.0);  // the top line opens the second sheet too
  // The rows follow each other six lines apart.
  const stPdfWord* pCharlie = pages[0].Find("Charlie");
  const stPdfWord* pFay = pages[0].Find("Fay");
  ASSERT_TRUE(pCharlie && pFay);
  EXPECT_NEAR(pFay->y0 - pCharlie->y0, pCharlie->y0 - pAnn->y0, 0.5);
  // Person data printed as written: "~B" and a line "<" are text.
  const stPdfWord* pBold = pages[0].Find("~Bold");
  ASSERT_TRUE(pBold);
  EXPECT_NEAR(pBold->x0, pBob->x0, 1.0);
  const stPdfWord* pLess = pages[0].Find("<");
  ASSERT_TRUE(pLess);
  EXPECT_NEAR(pLess->x0, pBob->x0, 1.0);
  EXPECT_GT(pLess->y0, pBold->y0);
}

TEST_F(MailListPrint, EnvelopesWithTheReturnAddress) {
  AppSettings().envelopes.sFontFace = "Liberation Mono";
  AppSettings().envelopes.nSize = 110;
  AppSettings().envelopes.fLeftMargin = 0.3;
  AppSettings().envelopes.fAddressIndent = 3.5;
  AppSettings().envelopes.nLinesBeforeAddress = 4;
  AppSettings().envelopes.cTopLines = 1;  // layout 3 has no top margin
  m_view.OnMaillistEnvelopes();
  const auto pages = Print();
  // One envelope a sheet, nothing after the last.
  ASSERT_EQ(pages.size(), 7u);
  const char* kNames[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf"};
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(kNames[i]);
    const stPdfWord* pReturn = pages[i].Find("Kelvo");
    const stPdfWord* pRoad = pages[i].Find("Return");
    const stPdfWord* pName = pages[i].Find(kNames[i]);
    ASSERT_TRUE(pReturn && pRoad && pName) << [&] {
      std::string sWords;
      for (const auto& w : pages[i].words) sWords += w.sText + " ";
      return sWords;
    }();
    EXPECT_NEAR(pReturn->x0, (LeftMargin(3) + 0.3) * kPt, 1.0);
    EXPECT_GT(pRoad->y0, pReturn->y0);
    // The address one indent right of the return address, below the blank lines.
    const auto nameLine = pages[i].LineOf(*pName);
    ASSERT_FALSE(nameLine.empty());
    EXPECT_NEAR(nameLine.front().x0, (LeftMargin(3) + 0.3 + 3.5) * kPt, 1.0);
    const double dLine = pRoad->y0 - pReturn->y0;
    EXPECT_NEAR(pName->y0 - pRoad->y0, 5 * dLine, 1.0);
  }
  EXPECT_TRUE(pages[1].Find("~Bold"));
  EXPECT_TRUE(pages[1].Find("<"));
}

TEST_F(MailListPrint, PhoneListOnOnePage) {
  AppSettings().phoneList.sFontFace = "Liberation Mono";
  AppSettings().phoneList.cColumns = 1;
  m_view.OnMaillistPhonelist();
  const auto pages = Print();
  ASSERT_EQ(pages.size(), 1u);
  double dLastY = -1.0;
  for (int i = 1; i <= 7; ++i) {
    const stPdfWord* pPhone = pages[0].Find("555-010" + std::to_string(i));
    ASSERT_TRUE(pPhone) << i;
    EXPECT_GT(pPhone->y0, dLastY);
    EXPECT_NEAR(pPhone->x0, (LeftMargin(1) + 0.1) * kPt, 1.0);
    dLastY = pPhone->y0;
  }
  EXPECT_FALSE(pages[0].Find("555-0108"));
}

}  // namespace
