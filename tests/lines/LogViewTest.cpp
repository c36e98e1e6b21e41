// The event log view without a window on a real database: its columns and
// colours, the notes mode and the filters (the person filter never matches a
// message's user number, notes never show outside the notes mode), adding,
// messages, editing, deleting and printing, a list that outlives another
// copy's delete, and rebuilds that never write to the file.

#include <gtest/gtest.h>

#include "data/MessagePrint.h"
#include "items/ItemTestCopies.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tests/lines/TestLines.h"
#include "tests/print/PrintTestSupport.h"
#include "views/CLogView.h"

namespace {

class LogView : public ::testing::Test {
 protected:
  LogView() : m_db(m_group.Open(2).Db()), m_view(&m_db, nullptr) {
    m_nFriends = AddCategory(m_db, m_ui, "Friends");
    AddCategory(m_db, m_ui, "Work");
    m_nCurie = AddPerson(m_db, m_ui, "Curie", "Marie");
    m_nLong = AddEvent({{ItemField::kDescription, std::string(60, 'x')},
                        {ItemField::kDate, "03/05/2024 10:00AM"},
                        {ItemField::kContact, "Curie, Marie"},
                        {ItemField::kCategories, "Friends"}});
    m_nTwoLines = AddEvent(
        {{ItemField::kDescription, "+Call back\nabout the roof"}, {ItemField::kDate, "03/06/2024 09:15AM"}});
    m_nNote = AddEvent({{ItemField::kDescription, "*Keys under the mat"},
                        {ItemField::kUndated, "1"},
                        {ItemField::kContact, "Curie, Marie"}});
  }
  uint32_t AddEvent(std::vector<stEditField> fields) {
    m_ui.QueueEdit(std::move(fields));
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(m_db.AddTableItem(TABLE_LOG, DB_NONE, nullptr, true, {}, &nCode), eItemResult::Done);
    return nCode;
  }
  void Enter(int nMode) {
    m_view.SetMode(nMode);
    m_view.EnterView();
  }
  std::vector<std::string> Lines() { return PaintedLines(m_view); }
  char StatusOfLine(int i) {
    char cStatus = 'x';
    m_view.GetLine(i, HINT_PAINT, cStatus);
    return cStatus;
  }
  void Highlight(uint32_t nCode) {
    if (!HighlightCode(m_view, nCode)) FAIL() << "entry " << nCode << " is not listed";
  }

  CScratchFolder m_folder;
  CHookUi m_ui;
  CCopyGroup m_group{m_folder.File("log")};
  CTableManager& m_db;
  CLogView m_view;
  uint32_t m_nFriends = 0, m_nCurie = 0, m_nLong = 0, m_nTwoLines = 0, m_nNote = 0;
};

}  // namespace

TEST_F(LogView, ColumnsColoursAndTheNotesMode) {
  Enter(LOG_NORMAL);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"Date\tContact\tDescription", "03/06/2024 09:15AM\t\t+Call back",
                                      "03/05/2024 10:00AM\tCurie, Marie\t" + std::string(40, 'x') + "..."}));
  EXPECT_EQ(StatusOfLine(0), LINE_RED);
  EXPECT_EQ(StatusOfLine(1), 0);
  // Characters are counted, not bytes; a line ends at CR or LF.
  std::string sUmlauts;
  for (int i = 0; i < 40; ++i) sUmlauts += "ü";
  EXPECT_EQ(CLogView::Description(sUmlauts), sUmlauts);
  sUmlauts += "üüüüü";
  EXPECT_EQ(CLogView::Description(sUmlauts), sUmlauts.substr(0, 80) + "...");
  EXPECT_EQ(CLogView::Description("short\r\nsecond"), "short");
  EXPECT_EQ(CLogView::Description("!" + std::string(70, 'y') + "\rnext"), "!" + std::string(70, 'y'));
  EXPECT_EQ(CLogView::StatusOf("!done"), LINE_GREEN);

  // Notes only in the notes mode, dated "Undated note".
  Enter(LOG_NOTES);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Date\tContact\tDescription",
                                               "Undated note\tCurie, Marie\t*Keys under the mat"}));
  EXPECT_EQ(StatusOfLine(0), LINE_BLUE);
  // Add in the notes mode makes a note, in the normal log an event.
  m_ui.QueueEdit({{ItemField::kNote, "Second note"}});
  m_view.AddEntry();
  EXPECT_EQ(m_view.MaxLines(), 2);
  const CLogRecord* pNewNote =
      LogOf(m_db, m_view.Codes().back() == m_nNote ? m_view.Codes().front() : m_view.Codes().back());
  ASSERT_NE(pNewNote, nullptr);
  EXPECT_EQ(pNewNote->m_cKind, CLogRecord::KIND_NOTE);
  m_view.ExitView();
  EXPECT_EQ(m_view.Mode(), LOG_NORMAL);
  Enter(LOG_NORMAL);
  m_ui.QueueEdit({{ItemField::kDescription, "Met the plumber"}, {ItemField::kDate, "03/07/2024 08:00AM"}});
  m_view.AddEntry();
  ASSERT_EQ(m_view.MaxLines(), 3);
  const CLogRecord* pEvent = LogOf(m_db, m_view.Codes().front());
  ASSERT_NE(pEvent, nullptr);
  EXPECT_EQ(pEvent->m_sText, "Met the plumber");
  EXPECT_EQ(pEvent->m_cKind, CLogRecord::KIND_EVENT);
}

TEST_F(LogView, FiltersByCategoryAndPersonButNeverAMessagesUserNumber) {
  // A message to user 2 whose user number equals the person's code would
  // match a filter that compared the contact field alone.
  CLogRecord message;
  message.m_cKind = CLogRecord::KIND_UNREAD_MESSAGE;
  message.m_cSender = 3;
  message.m_nContact = m_nCurie;
  message.m_sText = "Lunch?";
  message.m_dDate = MakeOleDate(2024, 3, 8, 12, 0, 0);
  uint32_t nMessage = DB_NONE;
  ASSERT_EQ(m_db.AddTableItem(TABLE_LOG, DB_NONE, &message, false, {}, &nMessage), eItemResult::Done);
  Enter(LOG_NORMAL);
  ASSERT_EQ(m_view.MaxLines(), 3);
  EXPECT_EQ(Lines()[1],
            StrFormat("03/08/2024 12:00PM\tUser code 3 to User code %u\tLunch?", m_nCurie & 0xFF));

  m_ui.QueueChoice({0});  // Friends
  m_view.SelectCategories();
  EXPECT_EQ(m_view.SelectedCategories(), std::vector<uint32_t>{m_nFriends});
  EXPECT_EQ(m_view.Codes(), std::vector<uint32_t>{m_nLong});

  // The person filter replaces the categories; the note with that contact
  // stays hidden in the normal log, the message never matches.
  m_ui.QueueChoice({1});  // "<none>" first, then Curie
  m_view.SelectPersonContacted();
  EXPECT_EQ(m_view.ContactFilter(), m_nCurie);
  EXPECT_EQ(m_view.Codes(), std::vector<uint32_t>{m_nLong});
  m_view.ExitView();
  m_view.SetMode(LOG_NOTES);
  m_view.SetUpLines();
  EXPECT_EQ(m_view.Codes(), std::vector<uint32_t>{m_nNote});
  m_view.SetMode(LOG_NORMAL);
  // A category choice ends the person filter; All ends both.
  m_ui.QueueChoice({1});  // Work: nothing logged under it
  m_view.SelectCategories();
  EXPECT_EQ(m_view.ContactFilter(), DB_NONE);
  EXPECT_EQ(m_view.MaxLines(), 0);
  m_view.SelectAll();
  EXPECT_EQ(m_view.MaxLines(), 3);
  EXPECT_TRUE(m_view.SelectedCategories().empty());
}

TEST_F(LogView, MessagesEditingDeletingAndPrinting) {
  Enter(LOG_NORMAL);
  // A message to a user of the list; a read-mode edit for a message.
  m_db.m_caUsers.push_back({});
  m_db.m_caUsers.back().m_nUserNumber = 3;
  m_db.m_caUsers.back().m_sName = "PC3";
  m_ui.QueueEdit({{ItemField::kTo, "3: PC3"}, {ItemField::kText, "Meeting moved"}});
  m_view.AddMessage();
  ASSERT_EQ(m_view.MaxLines(), 3);
  const uint32_t nMessage = m_view.Codes().front();
  const CLogRecord* p = LogOf(m_db, nMessage);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->m_cKind, CLogRecord::KIND_UNREAD_MESSAGE);
  EXPECT_EQ(p->m_nContact, 3u);
  EXPECT_EQ(Lines()[1].find("\tUser code 2 to User code 3\tMeeting moved"), 18u) << Lines()[1];

  Highlight(m_nTwoLines);
  m_ui.QueueEdit({{ItemField::kDescription, "Called back"}});
  m_view.EditLine();
  EXPECT_EQ(LogOf(m_db, m_nTwoLines)->m_sText, "Called back");
  Highlight(m_nTwoLines);
  m_ui.QueueAnswer(IDNO);
  m_view.DeleteEntry();
  EXPECT_TRUE(m_ui.SawText("Are you sure you want to delete logged data?"));
  EXPECT_EQ(m_view.MaxLines(), 3);
  m_ui.QueueAnswer(IDYES);
  m_view.DeleteEntry();
  EXPECT_EQ(m_view.MaxLines(), 2);
  EXPECT_EQ(LogOf(m_db, m_nTwoLines), nullptr);

  CScratchProgramFolder home;
  CTestPrintSystem printers;
  AppSettings().printerView.sPrinter = "Office";
  m_ui.QueueEdit({});  // the print set-up, as it is
  EXPECT_EQ(m_view.PrintList(), 1);
  AppSettings().printerView = {};
  ASSERT_TRUE(printers.Printed());
  std::string sPrinted;
  for (const auto& t : printers.Last().PageTexts(1)) sPrinted += t.sText + "|";
  EXPECT_NE(sPrinted.find("Date|Contact|Description|"), std::string::npos) << sPrinted;
  EXPECT_NE(sPrinted.find("Meeting moved"), std::string::npos) << sPrinted;
  EXPECT_NE(sPrinted.find("Curie, Marie"), std::string::npos) << sPrinted;
}

TEST_F(LogView, KeepsCodesAcrossAnotherCopysDeleteAndRebuildsWithoutWriting) {
  CTestCopy& other = m_group.Open(3);
  Enter(LOG_NORMAL);
  ASSERT_EQ(m_view.MaxLines(), 2);
  ASSERT_EQ(other.Db().DeleteTableItem(TABLE_LOG, m_nTwoLines, false), eItemResult::Done);
  ASSERT_EQ(m_db.RefreshOnNotice(), 1);
  // The list was built before the refresh: the gone entry is an empty line.
  const std::vector<std::string> saLines = Lines();
  EXPECT_EQ(saLines[1], "");
  EXPECT_EQ(saLines[2].substr(0, 18), "03/05/2024 10:00AM");
  m_view.SetHighlight(0);
  EXPECT_EQ(m_view.HighlightedCode(), DB_NONE);
  m_view.EditLine();  // nothing to edit, nothing asked

  // Rebuilds in both modes with a clock that moves on leave the file as it is.
  std::string sBefore, sAfter;
  ASSERT_TRUE(ReadWholeFile(m_group.FilePath(), sBefore));
  for (int i = 0; i < 100; ++i) {
    SetClockOverride(MakeOleDate(2024, 3, 5, 8, 0, 0) + i * 0.37);
    m_view.SetMode(i % 2 ? LOG_NOTES : LOG_NORMAL);
    m_view.EnterView();
    Lines();
  }
  SetClockOverride(0.0);
  ASSERT_TRUE(ReadWholeFile(m_group.FilePath(), sAfter));
  EXPECT_TRUE(sBefore == sAfter);
  ExpectConsistent(m_db, "after the rebuilds");
}

namespace {

// A received message printed from its dialog: every line of its text as
// written (a "^" line is no page break), the dialog open again after it and
// the record unchanged until it is marked as read.
TEST_F(LogView, ReceivedMessagePrintsFromItsDialog) {
  Enter(LOG_NORMAL);
  m_db.m_caUsers.push_back({});
  m_db.m_caUsers.back().m_nUserNumber = 3;
  m_db.m_caUsers.back().m_sName = "PC3";
  m_ui.QueueEdit({{ItemField::kTo, "3: PC3"}, {ItemField::kText, "Meeting moved\r\n^\r\nRoom 4"}});
  m_view.AddMessage();
  const uint32_t nMessage = m_view.Codes().front();

  CScratchProgramFolder home;
  CTestPrintSystem printers;
  AppSettings().printerView.sPrinter = "Office";
  SetMessagePrinter([this](const std::string& sText) { CLogView::PrintMessage(&m_db, sText); });
  m_ui.QueueEdit({{ItemField::kAction, "Print"}});
  m_ui.QueueEdit({});  // the print set-up, as it is
  m_ui.QueueEdit({{ItemField::kAction, "Mark as read"}});
  EXPECT_EQ(m_db.EditTableItem(TABLE_LOG, nMessage, {'E', 0.0}), eItemResult::Done);
  SetMessagePrinter(nullptr);
  AppSettings().printerView = {};
  ASSERT_TRUE(printers.Printed());
  std::string sPrinted;
  for (const auto& t : printers.Last().PageTexts(1)) sPrinted += t.sText + "|";
  EXPECT_EQ(sPrinted, "Meeting moved|^|Room 4|");
  EXPECT_EQ(LogOf(m_db, nMessage)->m_cKind, CLogRecord::KIND_READ_MESSAGE);
  EXPECT_EQ(LogOf(m_db, nMessage)->m_sText, "Meeting moved\r\n^\r\nRoom 4");
  EXPECT_FALSE(PrintMessageText("no printer installed"));
}

}  // namespace
