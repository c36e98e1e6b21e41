// The mail list view without a window on a real database: labels in rows
// and columns with sheet breaks, phone lists, envelopes with the return
// address, the person and category choice, the order by ZIP, the layout
// dialog and the layouts read from Kelvo.cfg brought into range, printing
// through the print engine (blocks, literal person data, the fit warning),
// and two copies sharing the mail list table.

#include <gtest/gtest.h>

#include "lines/MailListTestData.h"
#include "support/CFrameServices.h"
#include "support/StringUtil.h"
#include "tests/print/PrintTestSupport.h"
#include "views/CMailListView.h"

namespace {

// Rebuilds the view when the persons were re-read, as the main frame does.
class CRefreshingFrame : public CFrameServices {
 public:
  explicit CRefreshingFrame(CScrollBase& view) : m_view(view) { SetFrameServices(this); }
  ~CRefreshingFrame() override { SetFrameServices(nullptr); }
  void TableRefreshed(int nTable) override {
    if (nTable == TABLE_PERSON || nTable == 255) m_view.UpdateView();
  }

 private:
  CScrollBase& m_view;
};

// Keeps the last form an edit dialog was opened on.
class CFormUi : public CHookUi {
 public:
  int EditItem(stEditForm& form) override {
    m_lastForm = form;
    return CHookUi::EditItem(form);
  }
  bool SawTextStarting(const std::string& s) const {
    for (const std::string& m : Messages())
      if (m.rfind(s, 0) == 0) return true;
    return false;
  }
  stEditForm m_lastForm;
};

class MailListView : public ::testing::Test {
 protected:
  MailListView() : m_db(m_group.Open(2).Db()), m_naCodes(AddMailPersons(m_db, m_ui)), m_view(&m_db) {
    AppSettings().mailLabels = LabelLayout();
    AppSettings().saReturnAddress = {"Kelvo Office", "1 Return Rd"};
    m_view.EnterView();
  }
  ~MailListView() override { m_view.ExitView(); }

  std::vector<std::string> Texts() const {
    std::vector<std::string> sa;
    for (const stMailLine& l : m_view.Lines()) sa.push_back(l.nBlock < 0 ? "^" : l.sText);
    return sa;
  }
  // Chooses the category "Mail" (the first of the list).
  void ChooseMail() {
    m_ui.QueueChoice({0});
    m_view.OnCategorySelect();
  }

  CSettingsGuard m_settings;
  CScratchFolder m_folder;
  CFormUi m_ui;
  CCopyGroup m_group{m_folder.File("mail")};
  CTableManager& m_db;
  std::vector<uint32_t> m_naCodes;
  CMailListView m_view;
};

TEST_F(MailListView, LabelsInRowsAndColumnsWithSheetBreaks) {
  EXPECT_TRUE(m_view.TableLocked());
  EXPECT_TRUE(m_db.IsTableLocked(LOCK_BY_ANYONE, TABLE_MAILLIST));
  m_view.OnMaillistMailabels();
  ChooseMail();
  const std::vector<std::string> sa = Texts();
  // Seven cells in two columns: four rows of six lines, a break after three
  // rows, the top line opening each sheet, nothing after the last row.
  ASSERT_EQ(sa.size(), 1u + 3 * 6 + 1 + 1 + 6);
  EXPECT_EQ(sa[0], " ");
  EXPECT_EQ(sa[1], "\tAnn Alpha\tBob Bravo\t");
  EXPECT_EQ(sa[2], "\t1 Elm St\t~Bold Street 7\t");
  EXPECT_EQ(sa[3], "\tSpringfield, IL 62704\t<\t");
  EXPECT_EQ(sa[4], "\t\tShelbyville, IL 62565\t");
  EXPECT_EQ(sa[5], "\t\t\t");
  // A person without a city gets no city line; one without a first name is
  // named by the last name alone.
  EXPECT_EQ(sa[7], "\tCharlie\tDora Delta\t");
  EXPECT_EQ(sa[8], "\t3 Oak Ave\t4 Pine Rd\t");
  EXPECT_EQ(sa[9], "\tOgdenville, IL 62001\t\t");
  EXPECT_EQ(sa[19], "^");
  EXPECT_EQ(sa[20], " ");
  EXPECT_EQ(sa[21], "\tGus Golf\t");  // the last row's second cell stays empty
  // The blocks: the top line with the first row of its sheet, then one per row.
  std::vector<int> naBlocks;
  for (const stMailLine& l : m_view.Lines()) naBlocks.push_back(l.nBlock);
  EXPECT_EQ(naBlocks[0], naBlocks[1]);
  EXPECT_EQ(naBlocks[6], naBlocks[1]);
  EXPECT_NE(naBlocks[7], naBlocks[6]);
  EXPECT_EQ(CMailListFormat::LinesPerSheet(m_view.Lines()), 1 + 3 * 6);
  // Shown as printed: literal data lines, the break as a rule.
  char cStatus = 0;
  EXPECT_EQ(m_view.GetLine(-1, HINT_PAINT, cStatus).m_cType, FMT_HEADER);
  EXPECT_EQ(m_view.GetLine(2, HINT_PAINT, cStatus).m_cType, FMT_LITERAL);
  const std::string sBreak = m_view.GetLine(19, HINT_PAINT, cStatus).m_sText;
  EXPECT_EQ(sBreak.size(), 80u);
  EXPECT_EQ(sBreak.substr(35, 10), "PAGE BREAK");
  EXPECT_EQ(sBreak.find_first_not_of('-'), 35u);
  // The tab stops: the left offset and one per column.
  EXPECT_EQ(m_view.Format().m_daTabStops, (std::vector<double>{0.25, 3.25, 6.25}));
  EXPECT_EQ(m_view.Format().m_sFaceName, "Liberation Mono");
  EXPECT_EQ(m_view.Format().m_nCode, DB_NONE);
  // Choosing nothing keeps the filter.
  m_ui.QueueChoice(std::vector<int>{});
  m_view.OnCategorySelect();
  EXPECT_TRUE(m_ui.SawText("None selected"));
  EXPECT_EQ(m_view.Lines().size(), 27u);
  // Two rows a sheet: the fourth row fills the second sheet, and though
  // persons that are not chosen follow, no break and no top line come after.
  AppSettings().mailLabels.cRows = 2;
  m_view.OnMaillistMailabels();
  std::vector<std::string> saTwo = Texts();
  ASSERT_EQ(saTwo.size(), 2u * (1 + 2 * 6) + 1);
  EXPECT_EQ(saTwo[13], "^");
  EXPECT_EQ(saTwo.back(), "		");
  // No rows limit: no breaks at all; no persons chosen: no lines at all.
  AppSettings().mailLabels.cRows = 0;
  m_view.OnMaillistMailabels();
  saTwo = Texts();
  EXPECT_EQ(saTwo.size(), 1u + 4 * 6);
  EXPECT_EQ(std::count(saTwo.begin(), saTwo.end(), "^"), 0);
  m_ui.QueueChoice({2});
  m_view.OnCategorySelect();
  EXPECT_TRUE(m_view.Lines().empty());
  EXPECT_EQ(m_view.MaxLines(), 0);
}

TEST_F(MailListView, PhoneListEnvelopesPersonsAndOrder) {
  // Everyone, by name, with the phones.
  AppSettings().phoneList.sFontFace = "Liberation Mono";
  AppSettings().phoneList.cColumns = 1;
  m_view.OnMaillistPhonelist();
  EXPECT_EQ(m_view.Kind(), MAIL_PHONE_LIST);
  std::vector<std::string> sa = Texts();
  ASSERT_EQ(sa.size(), 10u * 6);
  EXPECT_EQ(sa[0], "\tAnn Alpha\t");
  EXPECT_EQ(sa[3], "\t555-0101\t");
  EXPECT_EQ(sa[54], "\tJo Juliet\t");
  // By ZIP: the person without a ZIP first, then ascending.
  m_view.OnViewSortbyZip();
  EXPECT_EQ(Texts()[0], "\tDora Delta\t");
  EXPECT_EQ(Texts()[6], "\tCharlie\t");
  m_view.OnViewSortbyName();
  EXPECT_EQ(Texts()[0], "\tAnn Alpha\t");
  // One person; every category again clears it.
  m_ui.QueueChoice({4});  // "Alpha, Ann", "Bravo, Bob", ... as the picker lists them
  m_view.OnStudentSelect();
  EXPECT_EQ(m_view.SelectedPerson(), m_naCodes[4]);
  EXPECT_EQ(Texts()[0], "\tEd Echo\t");
  EXPECT_EQ(Texts().size(), 6u);
  m_ui.QueueChoice({0, 1, 2});
  m_view.OnCategorySelect();
  EXPECT_EQ(m_view.SelectedPerson(), DB_NONE);
  EXPECT_TRUE(m_view.SelectedCategories().empty());
  EXPECT_EQ(Texts().size(), 60u);

  // Envelopes: top lines, the return address at the first stop, the lines
  // before the address, the address at the second; a break between two
  // envelopes, none after the last.
  AppSettings().envelopes.sFontFace = "Liberation Mono";
  AppSettings().envelopes.cTopLines = 1;
  AppSettings().envelopes.nLinesBeforeAddress = 3;
  AppSettings().envelopes.fAddressIndent = 4.0;
  ChooseMail();
  m_view.OnMaillistEnvelopes();
  sa = Texts();
  ASSERT_GT(sa.size(), 11u);
  EXPECT_EQ(std::vector<std::string>(sa.begin(), sa.begin() + 11),
            (std::vector<std::string>{" ", "\tKelvo Office", "\t1 Return Rd", " ", " ", " ", "\t\tAnn Alpha",
                                      "\t\t1 Elm St", "\t\tSpringfield, IL 62704", "^", " "}));
  EXPECT_EQ(std::count(sa.begin(), sa.end(), "^"), 6);
  EXPECT_NE(sa.back(), "^");
  EXPECT_EQ(m_view.Format().m_daTabStops, (std::vector<double>{0.1, 4.1}));
  // Without the return address the address follows the top and blank lines.
  AppSettings().envelopes.nPrintReturnAddress = 0;
  m_view.OnMaillistEnvelopes();
  EXPECT_EQ(Texts()[4], "\t\tAnn Alpha");
  EXPECT_EQ(CMailListFormat::LinesPerSheet(m_view.Lines()), 1 + 3 + 4);  // Bravo's four address lines
}

TEST_F(MailListView, LayoutDialogAndLayoutsFromTheConfigurationFile) {
  // 40 lines per row and no columns, a long face and huge counts: brought
  // into range on reading, and the lines are laid out from that.
  stAppSettings read;
  const std::string sFace(40, 'F');
  const auto report = CConfigFile::Parse(
      "MAILLABELS|" + sFace + "|90|1.0|0|7|0|0|250|0.1|0|300|40|3.0|-5|0.5|9\nPHONELIST|Arial|120\n", read);
  EXPECT_FALSE(report.bReadError);
  EXPECT_EQ(read.mailLabels.cLinesPerRow, 12);
  EXPECT_EQ(read.mailLabels.cColumns, 1);
  EXPECT_EQ(read.mailLabels.cTopLines, 99);
  EXPECT_EQ(read.mailLabels.cRows, 99);
  EXPECT_EQ(read.mailLabels.cStyle[1], 1);
  EXPECT_EQ(read.mailLabels.nLinesBeforeAddress, 0);
  EXPECT_EQ(read.mailLabels.nPrintReturnAddress, 1);
  EXPECT_EQ(read.mailLabels.sFontFace, std::string(31, 'F'));
  // A short line: what is missing takes the defaults.
  EXPECT_EQ(read.phoneList.sFontFace, "Arial");
  EXPECT_EQ(read.phoneList.nSize, 120);
  EXPECT_EQ(read.phoneList.cColumns, 2);
  EXPECT_EQ(read.phoneList.cLinesPerRow, 6);
  AppSettings().mailLabels = read.mailLabels;
  m_view.OnMaillistMailabels();
  ASSERT_EQ(Texts().size(), 99u + 10 * 12);
  EXPECT_EQ(Texts()[99], "\tAnn Alpha\t");
  EXPECT_EQ(m_view.Format().m_daTabStops.size(), 2u);

  // The dialog says which paper; its values are kept in range.
  m_ui.QueueEdit({{"Lines per row", "40"}, {"Columns", "3"}, {"Rows", "0"}, {"Top lines", "0"}});
  ASSERT_TRUE(m_view.OnMaillistEdit());
  const stEditForm& form = m_ui.m_lastForm;
  EXPECT_EQ(form.sTitle, "Mail labels layout");
  ASSERT_TRUE(form.Find("Paper"));
  EXPECT_EQ(*form.Find("Paper"), "No printer");
  EXPECT_EQ(AppSettings().mailLabels.cLinesPerRow, 12);
  EXPECT_EQ(AppSettings().mailLabels.cColumns, 3);
  EXPECT_EQ(Texts()[0], "\tAnn Alpha\tBob Bravo\tCharlie\t");
  // The envelope dialog edits the return address, split at any line break.
  m_view.OnMaillistEnvelopes();
  m_ui.QueueEdit({{"Return address", "Line one\r\nLine two\rLine three\nLine four\n\n"}});
  ASSERT_TRUE(m_view.OnMaillistEdit());
  EXPECT_EQ(AppSettings().saReturnAddress,
            (std::vector<std::string>{"Line one", "Line two", "Line three", "Line four"}));
  m_ui.QueueEdit({}, false);
  EXPECT_FALSE(m_view.OnMaillistEdit());
}

TEST_F(MailListView, PrintsRowsAsBlocksAndPersonDataLiterally) {
  CScratchProgramFolder home;
  CTestPrintSystem printers;
  m_view.OnMaillistMailabels();
  ChooseMail();
  EXPECT_EQ(CMailListView::PaperText(MAIL_LABELS), "The printer's paper on Office");
  m_ui.QueueEdit({});  // the print dialog as it comes
  ASSERT_EQ(m_view.OnMaillistPrint(), 1);
  const CRecordingTarget& t = printers.Last();
  EXPECT_EQ(t.PagesEnded(), 2);
  std::vector<std::string> saPage1, saPage2;
  for (const auto& d : t.PageTexts(1)) saPage1.push_back(d.sText);
  for (const auto& d : t.PageTexts(2)) saPage2.push_back(d.sText);
  EXPECT_NE(std::find(saPage1.begin(), saPage1.end(), "~Bold Street 7"), saPage1.end());
  EXPECT_NE(std::find(saPage1.begin(), saPage1.end(), "<"), saPage1.end());
  EXPECT_NE(std::find(saPage1.begin(), saPage1.end(), "Fay Foxtrot"), saPage1.end());
  EXPECT_EQ(saPage2.front(), "Gus Golf");
  for (const auto& d : t.Texts()) EXPECT_EQ(d.font.nWeight, 400) << d.sText;
  // A sheet that cannot fit the page: the user is asked first; No prints nothing.
  AppSettings().mailLabels.cTopLines = 99;
  AppSettings().mailLabels.cLinesPerRow = 12;
  m_view.OnMaillistMailabels();
  const size_t nOpened = printers.m_saOpened.size();
  m_ui.QueueEdit({});
  m_ui.QueueAnswer(IDNO);
  EXPECT_EQ(m_view.OnMaillistPrint(), 0);
  EXPECT_EQ(printers.m_saOpened.size(), nOpened + 1);
  EXPECT_TRUE(m_ui.SawTextStarting("A sheet needs 135 lines but the page holds only "));
  EXPECT_EQ(printers.Last().PagesEnded(), 0);  // the printer was asked its page, nothing more
  // No lines: nothing to print.
  m_ui.QueueChoice({2});
  m_view.OnCategorySelect();
  EXPECT_EQ(m_view.OnMaillistPrint(), 0);
}

TEST_F(MailListView, KelvotoolLaysOutAndWritesThePrintFile) {
  CScratchProgramFolder home;
  ASSERT_TRUE(CConfigFile::WriteFile(home.File("Kelvo.cfg"), AppSettings()));
  const std::string sTool = std::string(KELVOTOOL_PATH) + " maillist '" + m_group.FilePath() + "' ";
  // The labels of the category, as the view lays them out.
  std::string sOut;
  ASSERT_EQ(RunCommand(sTool + "labels --category Mail 2>/dev/null", &sOut), 0);
  m_view.OnMaillistMailabels();
  ChooseMail();
  std::string sExpected;
  for (const stMailLine& l : m_view.Lines())
    sExpected += (l.nBlock < 0 ? CMailListView::PageBreakText() : l.sText) + "\n";
  EXPECT_EQ(sOut, sExpected);
  // One person's envelope, sorted by ZIP makes no difference there.
  ASSERT_EQ(
      RunCommand(sTool + StrFormat("envelopes --person %u --sort zip 2>/dev/null", m_naCodes[2]), &sOut), 0);
  EXPECT_EQ(sOut,
            "\tKelvo Office\n\t1 Return Rd\n \n \n\t\tCharlie\n\t\t3 Oak Ave\n\t\tOgdenville, IL 62001\n");
  // The print file: blocks around each row, data lines literal, the break.
  const std::string sPrn = home.File("labels.prn");
  ASSERT_EQ(RunCommand(sTool + "labels --category Mail --print-file '" + sPrn + "' 2>/dev/null", &sOut), 0);
  EXPECT_EQ(sOut, "27 lines written to " + sPrn + "\n");
  std::string sError;
  auto pFile = CPrintFile::OpenForReading(sPrn, sError);
  ASSERT_TRUE(pFile) << sError;
  std::vector<std::string> saRecords;
  stFmtString line;
  while (pFile->ReadFmtString(line)) {
    if (line.m_cType == FMT_LITERAL) {
      EXPECT_FALSE(IsControlLine(line));
    }
    saRecords.push_back(line.m_cType == FMT_LITERAL ? "T" : line.m_sText);
  }
  EXPECT_EQ(pFile->Status(), CPrintFile::READ_END_MARKER);
  std::vector<std::string> saExpected;
  auto row = [&saExpected](int nLines) {
    saExpected.push_back("<");
    saExpected.insert(saExpected.end(), size_t(nLines), "T");
    saExpected.push_back(">");
  };
  row(7), row(6), row(6);
  saExpected.push_back("^");
  row(7);
  EXPECT_EQ(saRecords, saExpected);
  // Wrong use.
  EXPECT_EQ(RunCommand(sTool + "posters 2>/dev/null"), 2);
  EXPECT_EQ(RunCommand(sTool + "labels --category Nowhere 2>/dev/null"), 2);
}

TEST_F(MailListView, TwoCopiesShareTheMailListTable) {
  // B lists the persons in its mail list while A edits and deletes them.
  CTableManager& b = m_group.Open(3).Db();
  m_view.ExitView();
  EXPECT_FALSE(m_db.IsTableLocked(LOCK_BY_ANYONE, TABLE_MAILLIST));
  CMailListView viewB(&b);
  CRefreshingFrame refreshing(viewB);
  viewB.EnterView();
  ASSERT_TRUE(viewB.TableLocked());
  EXPECT_TRUE(m_db.IsTableLocked(LOCK_BY_OTHER, TABLE_MAILLIST));
  AppSettings().phoneList.sFontFace = "Liberation Mono";
  AppSettings().phoneList.cColumns = 1;
  viewB.OnMaillistPhonelist();
  m_ui.QueueChoice({0});
  viewB.OnCategorySelect();
  ASSERT_EQ(viewB.Lines().size(), 7u * 6);
  // A's own view cannot have the table: it shows nothing.
  m_ui.QueueAbortPress(3);
  m_ui.QueueAnswer(IDYES);  // abort the wait for the table
  m_view.EnterView();
  EXPECT_TRUE(m_view.ViewLocked());
  EXPECT_FALSE(m_view.TableLocked());
  EXPECT_EQ(m_view.MaxLines(), 0);
  m_view.ExitView();
  EXPECT_TRUE(m_db.IsTableLocked(LOCK_BY_OTHER, TABLE_MAILLIST));
  // A edits one person and deletes two; B takes the notices in and lays
  // its persons out again from their codes.
  m_ui.QueueEdit({{ItemField::kFirstName, "Annie"}});
  ASSERT_EQ(m_db.EditTableItem(TABLE_PERSON, m_naCodes[0]), eItemResult::Done);
  m_ui.QueueAnswer(IDYES);
  ASSERT_EQ(m_db.DeleteTableItem(TABLE_PERSON, m_naCodes[1], true), eItemResult::Done);
  m_ui.QueueAnswer(IDYES);
  ASSERT_EQ(m_db.DeleteTableItem(TABLE_PERSON, m_naCodes[6], true), eItemResult::Done);
  b.RefreshOnNotice();
  ASSERT_EQ(viewB.Lines().size(), 5u * 6);
  EXPECT_EQ(viewB.Lines()[0].sText, "\tAnnie Alpha\t");
  EXPECT_EQ(viewB.Lines()[6].sText, "\tCharlie\t");
  // B's chosen person goes away: nothing is left to lay out.
  m_ui.QueueChoice({2});
  viewB.OnStudentSelect();
  ASSERT_EQ(viewB.SelectedPerson(), m_naCodes[3]);
  m_ui.QueueAnswer(IDYES);
  ASSERT_EQ(m_db.DeleteTableItem(TABLE_PERSON, m_naCodes[3], true), eItemResult::Done);
  b.RefreshOnNotice();
  EXPECT_TRUE(viewB.Lines().empty());
  // B leaves the view and closes: A can lock table 7.
  viewB.ExitView();
  EXPECT_FALSE(b.IsTableLocked(LOCK_BY_ANYONE, TABLE_MAILLIST));
  for (CTestCopy* p : m_group.Copies())
    if (&p->Db() == &b) m_group.Close(*p);
  EXPECT_EQ(m_db.LockTable(TABLE_MAILLIST), 1);
  m_db.UnlockTable(TABLE_MAILLIST);
  // A view destroyed while entered gives the table back too.
  {
    CMailListView entered(&m_db);
    entered.EnterView();
    EXPECT_TRUE(entered.TableLocked());
  }
  EXPECT_FALSE(m_db.IsTableLocked(LOCK_BY_ANYONE, TABLE_MAILLIST));
}

}  // namespace
