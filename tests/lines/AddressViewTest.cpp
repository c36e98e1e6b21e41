// The address view without a window on a real database: its lines and
// filters, the status keys, the e-mail hand-off with each recipient class,
// the exports it offers, the label and two copies changing one person.

#include <gtest/gtest.h>

#include "items/ItemTestCopies.h"
#include "support/CConfigFile.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tests/lines/TestLines.h"
#include "tests/print/PrintTestSupport.h"
#include "views/CAddressView.h"
#include "views/CLabelPrint.h"
#include "views/ViewKeys.h"

namespace {

class CMailFrame : public CViewFrame {
 public:
  int RunMailClient(const std::vector<std::string>& saArgs) override {
    m_saArgs = saArgs;
    return m_nExit;
  }
  void PrintLabel(CTableManager&, const std::string& sText) override { m_sLabel = sText; }
  std::vector<std::string> m_saArgs;
  int m_nExit = 0;
  std::string m_sLabel;
};

class AddressView : public ::testing::Test {
 protected:
  AddressView() : m_db(m_group.Open(2).Db()), m_view(&m_db, &m_frame) {
    m_nFriends = AddCategory(m_db, m_ui, "Friends");
    AddCategory(m_db, m_ui, "Work");
    m_nMuller = Add({{ItemField::kLastName, "Müller"},
                     {ItemField::kFirstName, "Jörg"},
                     {ItemField::kHomePhone, "555-1"},
                     {ItemField::kEmail, "jm@example.org"},
                     {ItemField::kCategories, "Friends"}});
    m_nAcme = Add({{ItemField::kType, "B"},
                   {ItemField::kLastName, "Acme Ltd"},
                   {ItemField::kHomePhone, "555-2"},
                   {ItemField::kEmail, "info@acme.example"},
                   {ItemField::kCategories, "Work"}});
    m_nOneil = Add({{ItemField::kLastName, "O'Neil; Jr"},
                    {ItemField::kFirstName, "Pat"},
                    {ItemField::kAddress1, "Flat 2=B"},
                    {ItemField::kCity, "Cork"},
                    {ItemField::kZip, "T12"},
                    {ItemField::kCellPhone, "555-3"}});
    m_view.EnterView();
  }
  uint32_t Add(std::vector<stEditField> fields) {
    m_ui.QueueEdit(std::move(fields));
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(m_db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false, {}, &nCode), eItemResult::Done);
    return nCode;
  }
  std::vector<std::string> Lines() { return PaintedLines(m_view); }
  void Highlight(uint32_t nCode) {
    if (!HighlightCode(m_view, nCode)) FAIL() << "person " << nCode << " is not listed";
  }

  CScratchFolder m_folder;
  CHookUi m_ui;
  CCopyGroup m_group{m_folder.File("addresses")};
  CTableManager& m_db;
  CMailFrame m_frame;
  CAddressView m_view;
  CRefreshingFrame m_refreshing{m_view, TABLE_PERSON};
  uint32_t m_nFriends = 0, m_nMuller = 0, m_nAcme = 0, m_nOneil = 0;
};

TEST_F(AddressView, ListsFiltersAndStatusKeys) {
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"Name\tPhone\tEmail", "Acme Ltd\t555-2\tinfo@acme.example",
                                      "Müller, Jörg\t555-1\tjm@example.org", "O'Neil; Jr, Pat\t\t"}));
  // With diagnostics on every line ends with its code and sequence.
  SetDiagnosticLevel(1);
  char cStatus = 0;
  const std::string sLine = m_view.GetLine(0, HINT_PAINT, cStatus).m_sText;
  SetDiagnosticLevel(0);
  EXPECT_NE(sLine.find(StrFormat(" [code %u, seq ", m_nAcme)), std::string::npos) << sLine;
  // One category; every category is no filter at all; nothing chosen keeps the filter.
  m_ui.QueueChoice({0});
  m_view.SelectCategories();
  EXPECT_EQ(m_view.SelectedCategories(), std::vector<uint32_t>{m_nFriends});
  EXPECT_EQ(m_view.MaxLines(), 1);
  m_ui.QueueChoice({});
  m_view.SelectCategories();
  EXPECT_TRUE(m_ui.SawText("None selected"));
  EXPECT_EQ(m_view.MaxLines(), 1);
  m_ui.QueueChoice({0, 1});
  m_view.SelectCategories();
  EXPECT_TRUE(m_view.SelectedCategories().empty());
  EXPECT_EQ(m_view.MaxLines(), 3);
  // 'I' makes the highlighted person inactive, in the file too; it leaves
  // the active list and comes back with All; 'A' makes it active again.
  Highlight(m_nMuller);
  m_view.KeyDown('I', false);
  EXPECT_EQ(m_view.MaxLines(), 2);
  CTableManager& other = m_group.Open(3).Db();
  ASSERT_NE(PersonOf(other, m_nMuller), nullptr);
  EXPECT_EQ(PersonOf(other, m_nMuller)->m_cStatus, 0);
  m_view.SelectAll();
  EXPECT_EQ(m_view.MaxLines(), 3);
  Highlight(m_nMuller);
  m_view.KeyDown('A', false);
  EXPECT_EQ(PersonOf(m_db, m_nMuller)->m_cStatus, 'A');
  // Another database clears the filters; commands on an empty list do nothing.
  m_view.DatabaseChanged();
  EXPECT_FALSE(m_view.ShowAll());
  CAddressView empty(nullptr, &m_frame);
  empty.EnterView();
  empty.EditLine();
  empty.DeletePerson();
  empty.KeyDown('I', false);
  empty.EmailHighlighted();
  EXPECT_EQ(empty.HighlightedCode(), DB_NONE);
}

TEST_F(AddressView, MailGoesToTheChosenAddressesInTheirClass) {
  // One person, as copy recipient.
  Highlight(m_nMuller);
  m_ui.QueueChoice({1});
  m_view.EmailHighlighted();
  EXPECT_EQ(m_frame.m_saArgs, std::vector<std::string>{"mailto:?cc=jm@example.org"});
  EXPECT_TRUE(m_ui.SawText("The call succeeded. If you clicked 'Send' the message was put in out box."));
  // A group as blind copies; no mail system shows nothing; a failure says so.
  m_ui.ClearShown();
  m_frame.m_nExit = 3;
  m_ui.QueueChoice({0, 1});
  m_ui.QueueChoice({2});
  m_view.EmailGroup();
  EXPECT_EQ(m_frame.m_saArgs, std::vector<std::string>{"mailto:?bcc=info@acme.example&bcc=jm@example.org"});
  EXPECT_TRUE(m_ui.Messages().empty());
  m_frame.m_nExit = 4;
  m_ui.QueueChoice({0, 1});
  m_ui.QueueChoice({0});
  m_view.EmailGroup();
  EXPECT_EQ(m_frame.m_saArgs, std::vector<std::string>{"mailto:info@acme.example,jm@example.org"});
  EXPECT_TRUE(m_ui.SawText("One or more unspecified errors occurred. No message was sent. "));
  // A stored address cannot add headers: it is refused and nothing is run.
  ASSERT_EQ(m_db.SaveModifiedItem(TABLE_PERSON, m_nAcme,
                                  [](CDataRecord& r) {
                                    static_cast<CPerson&>(r).m_sEmail =
                                        "a@b.example?subject=x&attach=/etc/passwd";
                                    return true;
                                  }),
            1);
  m_view.UpdateView();
  m_frame.m_saArgs.clear();
  Highlight(m_nAcme);
  m_ui.QueueChoice({0});
  m_view.EmailHighlighted();
  EXPECT_TRUE(m_frame.m_saArgs.empty());
  // Percent-encoding keeps an address one address.
  std::string sRefused;
  EXPECT_EQ(CMailHandOff::MailtoUrl({{MAIL_TO, "", "a b,c%@x.example"}}, sRefused),
            "mailto:a%20b%2Cc%25@x.example");
}

TEST_F(AddressView, LabelTextAndLabelPrinting) {
  Highlight(m_nOneil);
  m_view.PrintLabel();
  EXPECT_EQ(m_frame.m_sLabel, "Pat O'Neil; Jr\r\nFlat 2=B\r\nCork,  T12\r\n");
  CScratchProgramFolder home;
  CTestPrintSystem printers;
  stAppSettings saved = AppSettings();
  CLabelPrint print(m_db);
  EXPECT_EQ(print.Print(m_frame.m_sLabel), 0);
  EXPECT_TRUE(m_ui.SawText("No printer selected"));
  m_ui.QueueChoice({1});
  ASSERT_TRUE(print.ChoosePrinter());
  EXPECT_EQ(AppSettings().sLabelPrinterLine, "LABELPRINTER|Plotter");
  EXPECT_EQ(print.Print(m_frame.m_sLabel), 0);
  EXPECT_TRUE(m_ui.SawText("No label layout specified"));
  m_ui.QueueEdit({{"Left margin", "0.5"}, {"Top margin", "0.25"}, {"Landscape", "0"}});
  ASSERT_TRUE(print.EditLayout());
  EXPECT_EQ(AppSettings().sLabelPrinterLayoutLine, "LABELPRINTERLAYOUT|0.500000|0.250000|0.000000|0");
  EXPECT_EQ(CLabelPrint::LayoutOfLine(AppSettings().sLabelPrinterLayoutLine), print.Layout());
  EXPECT_EQ(print.Print("Pat O'Neil\r\n\r\nCork"), 1);
  EXPECT_EQ(printers.m_saOpened.back(), "Plotter");
  std::vector<std::string> saTexts;
  for (const auto& t : printers.Last().PageTexts(1)) saTexts.push_back(t.sText);
  EXPECT_EQ(saTexts,
            (std::vector<std::string>{"Pat O'Neil", "Cork"}));  // the empty line is kept as a blank run
  EXPECT_EQ(printers.Last().PagesEnded(), 1);
  AppSettings() = saved;
}

TEST_F(AddressView, AnotherCopyEditsThePersonThisOneDeletesOrDeactivates) {
  CTableManager& b = m_group.Open(3).Db();
  // While B's edit dialog is open, A's view deletes the person and makes it
  // inactive: both are refused, and B's edit is saved.
  Highlight(m_nOneil);
  std::vector<std::string> saShown;
  m_ui.BeforeNextEdit([&] {
    m_ui.QueueAnswer(IDYES);
    m_view.DeletePerson();
    m_view.KeyDown('I', false);
    saShown = m_ui.Messages();
  });
  m_ui.QueueEdit({{ItemField::kCity, "Dublin"}});
  ASSERT_EQ(b.EditTableItem(TABLE_PERSON, m_nOneil), eItemResult::Done);
  EXPECT_EQ(saShown, (std::vector<std::string>{"Person table locked by another user",
                                               "This data item is locked by another user."}));
  // A takes in B's notice as its message handler does; the view follows.
  m_db.RefreshOnNotice();
  ASSERT_NE(m_db.GetPointer(TABLE_PERSON, m_nOneil), nullptr);
  EXPECT_EQ(PersonOf(m_db, m_nOneil)->m_sCity, "Dublin");
  EXPECT_EQ(PersonOf(m_db, m_nOneil)->m_cStatus, 'A');
  EXPECT_EQ(m_view.MaxLines(), 3);
  // Once B is done, A's status key finds the person by code and saves it.
  Highlight(m_nOneil);
  m_view.KeyDown('I', false);
  b.RefreshOnNotice();
  EXPECT_EQ(PersonOf(b, m_nOneil)->m_cStatus, 0);
  EXPECT_EQ(PersonOf(b, m_nOneil)->m_sCity, "Dublin");
  EXPECT_EQ(m_view.MaxLines(), 2);
  ExpectSameTables(m_db, b, "after the status key");
}

}  // namespace

TEST_F(AddressView, ExportsAndImportsVCardsThroughItsMenu) {
  const std::string sOut = m_folder.File("out.vcf");
  m_ui.QueueChoice({0, 1, 2});  // vCard 4.0 offers every person of the list
  m_ui.QueueFile(sOut);
  m_view.DoExport('4');
  std::string sText;
  ASSERT_TRUE(ReadWholeFile(sOut, sText));
  EXPECT_EQ(sText.find("BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:org\r\nFN:Acme Ltd\r\n"), 0u) << sText;
  EXPECT_NE(sText.find("\r\nN:O'Neil\\; Jr;Pat;;;\r\nADR:;;Flat 2=B;Cork;;T12;\r\nTEL;TYPE=cell:555-3\r\n"),
            std::string::npos);

  const std::string sIn = m_folder.File("in.vcf");
  ASSERT_TRUE(WriteFileAtomic(sIn,
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:MULLER;Jorg\r\nADR:;;;Ulm;;;\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:New;Nina\r\nEND:VCARD\r\n"));
  m_ui.QueueFile(sIn);
  m_ui.QueueAnswer(IDOK);    // after the preview
  m_ui.QueueChoice({0});     // merge
  m_view.ImportVCard();
  EXPECT_TRUE(m_ui.SawText("2 persons in the file: 1 new, 1 likely duplicates.\n"
                           "MULLER, Jorg may be a duplicate of M\xC3\xBCller, J\xC3\xB6rg (same name)."));
  EXPECT_TRUE(m_ui.SawText("1 added, 1 merged, 0 skipped."));
  EXPECT_EQ(Lines().size(), 5u);  // the header and four persons
  EXPECT_EQ(static_cast<const CPerson*>(m_db.GetPointer(TABLE_PERSON, m_nMuller))->m_sCity, "Ulm");
  m_ui.QueueFile(sIn);
  m_ui.QueueAnswer(IDCANCEL);  // the preview cancelled: nothing changes
  m_view.ImportVCard();
  EXPECT_EQ(m_db.PtrToIndexArray(TABLE_PERSON)->size(), 4u);
}
