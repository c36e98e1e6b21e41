// The per-table rules: order, deletion questions, lookups, categories, the
// unscheduled list, purge and move to the log, alarm users and messages.

#include <gtest/gtest.h>

#include "engine/CSharedFile.h"
#include "items/ItemTestCopies.h"
#include "schedule/OleDate.h"
#include "support/StringUtil.h"

namespace {

class TableRules : public CCopiesTest {
 protected:
  TableRules() : CCopiesTest("rules", 1) {}
  void SetUp() override {
    SetClockOverride(MakeOleDate(2025, 6, 15, 12, 0));
    CCopiesTest::SetUp();
  }
  void TearDown() override { SetClockOverride(0.0); }
};

}  // namespace

TEST_F(TableRules, DisplayOrderOfEachTable) {
  // Schedule: unscheduled first, then one-time, then the repeating kinds.
  const uint32_t nW = AddSchedule(A(), m_ui, "Weekly", "W", "01/01/2024 09:00AM");
  const uint32_t nO = AddSchedule(A(), m_ui, "Once", "O", "06/01/2024 09:00AM");
  const uint32_t nU = AddSchedule(A(), m_ui, "Someday", "U", "01/01/2030 09:00AM");
  const uint32_t nY = AddSchedule(A(), m_ui, "Birthday", "Y", "01/01/2000 09:00AM");
  EXPECT_EQ(CodesOf(A(), TABLE_SCHEDULE), (std::vector<uint32_t>{nU, nO, nW, nY}));

  // Persons: upper case, last name before first name.
  const uint32_t nBob = AddPerson(A(), m_ui, "Smitha", "Bob");
  const uint32_t nSmithBob = AddPerson(A(), m_ui, "Smith", "Bob");
  const uint32_t nAnn = AddPerson(A(), m_ui, "smith", "Ann");
  EXPECT_EQ(CodesOf(A(), TABLE_PERSON), (std::vector<uint32_t>{nAnn, nSmithBob, nBob}));

  // Log: newest first; an undated note stands above every dated entry, on
  // every copy whatever its clock.
  const uint32_t nOld = AddLogEvent(A(), m_ui, "Old", "01/01/2020 10:00AM");
  const uint32_t nTomorrow = AddLogEvent(A(), m_ui, "Tomorrow", "06/16/2025 10:00AM");
  m_ui.QueueEdit({{ItemField::kNote, "Remember"}});
  uint32_t nNote = DB_NONE;
  ASSERT_EQ(A().AddTableItem(TABLE_LOG, DB_NONE, nullptr, 0, {'N', 0.0}, &nNote),
            eItemResult::Done);
  EXPECT_EQ(LogOf(A(), nNote)->m_cKind, CLogRecord::KIND_NOTE);
  EXPECT_EQ(CodesOf(A(), TABLE_LOG), (std::vector<uint32_t>{nNote, nTomorrow, nOld}));

  // The views' lists: persons all or active only.
  m_ui.QueueEdit({{ItemField::kStatus, "I"}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nBob), eItemResult::Done);
  std::vector<CPerson*> pa;
  A().GetPersonPointerArray(pa, 0);
  EXPECT_EQ(pa.size(), 2u);
  A().GetPersonPointerArray(pa, 1);
  EXPECT_EQ(pa.size(), 3u);
  ExpectFileMatches(m_group, A(), "orders");
}

TEST_F(TableRules, TheDialogsRefuseWhatTheyCannotStore) {
  m_ui.QueueEdit({{ItemField::kDescription, ""}});
  m_ui.QueueEdit({{ItemField::kDescription, "Gym"}, {ItemField::kRepeatType, "D"},
                  {ItemField::kDayCount, "0"}});
  m_ui.QueueEdit({{ItemField::kDayCount, "3"}, {ItemField::kAlarmEnabled, "1"}});
  m_ui.QueueEdit({{ItemField::kAlarmUser, "2"}, {ItemField::kStart, "02/30/2025 10:00AM"}});
  m_ui.QueueEdit({{ItemField::kStart, "02/28/2025 10:15AM"}});
  uint32_t nCode = DB_NONE;
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0, {}, &nCode), eItemResult::Done);
  const auto msgs = m_ui.Messages();
  for (const char* p : {"Please enter description.", "Please enter a day count of 1 or more.",
                        "No user selected for alarm.", "Invalid date: 02/30/2025 10:00AM"})
    EXPECT_NE(std::find(msgs.begin(), msgs.end(), p), msgs.end()) << p;
  const CScheduleRecord* p = ScheduleOf(A(), nCode);
  EXPECT_EQ(p->m_nDayCount, 3);
  EXPECT_EQ(p->m_nAlarmUser, 2u);
  EXPECT_EQ(FormatDateTime(p->m_dStart, kDateTimeFormat), "02/28/2025 10:15AM");

  // A new item from a chosen date is a one-time item at that date.
  m_ui.QueueEdit({{ItemField::kDescription, "Call"}});
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0,
                             {0, MakeOleDate(2025, 7, 1, 8, 30)}, &nCode),
            eItemResult::Done);
  EXPECT_EQ(ScheduleOf(A(), nCode)->m_cRepeatType, 'O');
  EXPECT_EQ(ScheduleOf(A(), nCode)->m_dStart, MakeOleDate(2025, 7, 1, 8, 30));

  // A log event without text is refused; an undated one becomes a note.
  m_ui.QueueEdit({{ItemField::kDescription, " "}});
  m_ui.QueueEdit({{ItemField::kDescription, "Idea"}, {ItemField::kUndated, "1"}});
  ASSERT_EQ(A().AddTableItem(TABLE_LOG, DB_NONE, nullptr, 0, {}, &nCode), eItemResult::Done);
  EXPECT_EQ(LogOf(A(), nCode)->m_cKind, CLogRecord::KIND_NOTE);
  EXPECT_EQ(LogOf(A(), nCode)->m_dDate, 0.0);

  // A dependent person names the person depended on from the list.
  const uint32_t nParent = AddPerson(A(), m_ui, "Lee", "Pat");
  m_ui.QueueEdit({{ItemField::kLastName, "Lee"}, {ItemField::kFirstName, "Kim"},
                  {ItemField::kStatus, "D"}, {ItemField::kComments, "one\ntwo\n\nfour"}});
  m_ui.QueueChoice({1});  // "<none>", then "Lee, Pat"
  ASSERT_EQ(A().AddTableItem(TABLE_PERSON, DB_NONE, nullptr, 0, {}, &nCode), eItemResult::Done);
  EXPECT_EQ(PersonOf(A(), nCode)->m_nDependentOn, nParent);
  EXPECT_EQ(PersonOf(A(), nCode)->m_saComments,
            (std::vector<std::string>{"one", "two", "", "four"}));
  // Back to active clears the link.
  m_ui.QueueEdit({{ItemField::kStatus, "A"}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nCode), eItemResult::Done);
  EXPECT_EQ(PersonOf(A(), nCode)->m_nDependentOn, DB_NONE);
  ExpectFileMatches(m_group, A(), "dialogs");
}

TEST_F(TableRules, CategoriesAskOnlyWhenUsedAndAreFoundOrAddedByName) {
  const uint32_t nUsed = AddCategory(A(), m_ui, "Golf");
  const uint32_t nFree = AddCategory(A(), m_ui, "Chess");
  AddPerson(A(), m_ui, "Ray", "Sam", "Golf");
  std::vector<uint32_t> naCodes;
  EXPECT_EQ(A().CategoryListLines(naCodes), (std::vector<std::string>{"Golf", "Chess (not used)"}));
  EXPECT_EQ(A().CategoryListCommand(CTableManager::eCategoryCommand::Delete, -1, naCodes),
            eItemResult::Cancelled);
  EXPECT_TRUE(m_ui.SawText("No Category selected"));
  // The unused one goes without a question.
  m_ui.ClearShown();
  EXPECT_EQ(A().CategoryListCommand(CTableManager::eCategoryCommand::Delete, 1, naCodes),
            eItemResult::Done);
  EXPECT_TRUE(m_ui.Messages().empty());
  EXPECT_EQ(CategoryOf(A(), nFree), nullptr);
  // The used one asks; No keeps it.
  m_ui.QueueAnswer(IDNO);
  EXPECT_EQ(A().DeleteTableItem(TABLE_CATEGORY, nUsed, 1), eItemResult::Cancelled);
  EXPECT_TRUE(A().IsCategoryUsed(nUsed));
  // Found by name, or added at the end.
  EXPECT_EQ(A().FoundCategoryInList("Golf"), nUsed);
  const uint32_t nNew = A().FoundCategoryInList("Tennis");
  ASSERT_NE(nNew, DB_NONE);
  EXPECT_EQ(CodesOf(A(), TABLE_CATEGORY).back(), nNew);
  EXPECT_EQ(CategoryOf(A(), nNew)->m_sName, "Tennis");
  // A person's category list names unknown categories as an error.
  m_ui.QueueEdit({{ItemField::kLastName, "Ng"}, {ItemField::kCategories, "Golf\nPolo"}});
  m_ui.QueueEdit({{ItemField::kCategories, "Golf\nTennis"}});
  uint32_t nPerson = DB_NONE;
  ASSERT_EQ(A().AddTableItem(TABLE_PERSON, DB_NONE, nullptr, 0, {}, &nPerson), eItemResult::Done);
  EXPECT_TRUE(m_ui.SawText("Unknown category: Polo"));
  EXPECT_EQ(PersonOf(A(), nPerson)->m_naCategories, (std::vector<uint32_t>{nUsed, nNew}));
  // Lookups by text.
  EXPECT_EQ(A().FoundPersonInList("Ng", ""), PersonOf(A(), nPerson));
  EXPECT_EQ(A().FoundPersonInList("ng", ""), nullptr);
  AddLogEvent(A(), m_ui, "Met at the club  ", "01/01/2025 10:00AM");
  EXPECT_TRUE(A().FoundLogInList("Met at the club\t"));
  EXPECT_FALSE(A().FoundLogInList("Met at the"));
  EXPECT_EQ(A().GetPersonName(nPerson, 1), "Ng, ");
  EXPECT_EQ(A().GetPersonName(12345, 1), "Person code 12345");
  ExpectFileMatches(m_group, A(), "categories");
}

TEST_F(TableRules, PurgeAndMoveToLog) {
  // Now is 06/15/2025 12:00.
  const uint32_t nPastOnce = AddSchedule(A(), m_ui, "Past once", "O", "06/01/2025 09:00AM");
  AddSchedule(A(), m_ui, "Future once", "O", "07/01/2025 09:00AM");
  m_ui.QueueEdit({{ItemField::kDescription, "Ended weekly"}, {ItemField::kRepeatType, "W"},
                  {ItemField::kStart, "01/06/2025 06:00PM"}, {ItemField::kEndDateSet, "1"},
                  {ItemField::kEnd, "03/31/2025 11:59PM"}});
  uint32_t nEnded = DB_NONE;
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0, {}, &nEnded), eItemResult::Done);
  AddSchedule(A(), m_ui, "Open weekly", "W", "01/06/2025 06:00PM");
  // A one-time item in the future is not cut off by a stored end date.
  m_ui.QueueEdit({{ItemField::kDescription, "Once, old end"}, {ItemField::kRepeatType, "O"},
                  {ItemField::kStart, "08/01/2025 09:00AM"}, {ItemField::kEndDateSet, "1"},
                  {ItemField::kEnd, "01/01/2025 09:00AM"}});
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0), eItemResult::Done);

  m_ui.QueueChoice({});  // Cancel
  EXPECT_EQ(A().PurgeSchedule(CTableManager::ePurgeMode::Delete), eItemResult::Cancelled);
  const auto& shown = m_ui.Shown();
  auto it = std::find_if(shown.rbegin(), shown.rend(), [](const auto& s) { return s.sKind == "choice"; });
  ASSERT_NE(it, shown.rend());
  EXPECT_EQ(it->sCaption, "Select one or more items to delete");
  EXPECT_EQ(it->sText, "Past once, 06/01/2025\nEnded weekly, 01/06/2025 - 03/31/2025\n");
  EXPECT_EQ(A().m_caScheduleIndex.size(), 5u);

  // Move both to the log.
  m_ui.QueueChoice({0, 1});
  EXPECT_EQ(A().PurgeSchedule(CTableManager::ePurgeMode::Move), eItemResult::Done);
  EXPECT_EQ(A().m_caScheduleIndex.size(), 3u);
  ASSERT_EQ(A().m_caLogIndex.size(), 2u);
  EXPECT_EQ(ScheduleOf(A(), nPastOnce), nullptr);
  EXPECT_EQ(ScheduleOf(A(), nEnded), nullptr);
  std::vector<std::string> saTexts;
  for (const stIndex& e : A().m_caLogIndex) saTexts.push_back(static_cast<const CLogRecord&>(*e.m_pItem).m_sText);
  EXPECT_EQ(saTexts, (std::vector<std::string>{"Past once", "Ended weekly"}));  // newest first
  m_ui.ClearShown();
  EXPECT_EQ(A().PurgeSchedule(CTableManager::ePurgeMode::Delete), eItemResult::Cancelled);
  EXPECT_TRUE(m_ui.SawText("No out of date items found."));
  ExpectFileMatches(m_group, A(), "after the purge");
}

TEST_F(TableRules, MoveToLogKeepsTheItemWhenAWriteFails) {
  const uint32_t nCat = AddCategory(A(), m_ui, "Work");
  AddPerson(A(), m_ui, "Boss", "Big");
  // A weekly item asks with the log dialog; a one-time one never does.
  m_ui.QueueEdit({{ItemField::kDescription, "Review"}, {ItemField::kRepeatType, "W"},
                  {ItemField::kStart, "06/02/2025 09:00AM"}, {ItemField::kContact, "Boss, Big"},
                  {ItemField::kCategories, "Work"}});
  uint32_t nWeekly = DB_NONE;
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0, {}, &nWeekly), eItemResult::Done);
  m_ui.QueueEdit({}, false);
  EXPECT_EQ(A().MoveScheduleItemToLog(nWeekly, 1), eItemResult::Cancelled);
  EXPECT_NE(ScheduleOf(A(), nWeekly), nullptr);
  EXPECT_TRUE(A().m_caLogIndex.empty());

  for (int nNth = 1;; ++nNth) {
    ASSERT_LT(nNth, 40);
    const uint32_t nOnce = AddSchedule(A(), m_ui, "Lunch", "O", "06/03/2025 12:30PM", "Work");
    const size_t nLog = A().m_caLogIndex.size();
    CSharedFile::InjectFault(IO_CALL_PWRITE, nNth);
    const eItemResult n = A().MoveScheduleItemToLog(nOnce, true);
    CSharedFile::ClearFaults();
    StoreSequences(A());
    ExpectConsistent(A(), StrFormat("move, write %d", nNth));
    if (n == eItemResult::Cancelled) {
      // Whatever write failed, the schedule item is still there.
      EXPECT_NE(ScheduleOf(A(), nOnce), nullptr) << nNth;
      ASSERT_EQ(A().DeleteTableItem(TABLE_SCHEDULE, nOnce, 0), eItemResult::Done);
      continue;
    }
    EXPECT_EQ(ScheduleOf(A(), nOnce), nullptr);
    ASSERT_EQ(A().m_caLogIndex.size(), nLog + 1);
    break;
  }
  const CLogRecord& log = static_cast<const CLogRecord&>(*A().m_caLogIndex[0].m_pItem);
  EXPECT_EQ(log.m_sText, "Lunch");
  EXPECT_EQ(log.m_dDate, MakeOleDate(2025, 6, 3, 12, 30));
  EXPECT_EQ(log.m_naCategories, std::vector<uint32_t>{nCat});
  ExpectFileMatches(m_group, A(), "after the sweep");
}

TEST_F(TableRules, UnscheduledListAndAlarmUsers) {
  m_ui.QueueEdit({{ItemField::kDescription, "Paint"}, {ItemField::kRepeatType, "U"}});
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0), eItemResult::Done);
  m_ui.QueueEdit({{ItemField::kDescription, "Not mine"}, {ItemField::kRepeatType, "U"},
                  {ItemField::kAlarmUser, "7"}});
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0), eItemResult::Done);
  m_ui.QueueEdit({{ItemField::kDescription, "Fix roof"}, {ItemField::kRepeatType, "U"},
                  {ItemField::kAlarmUser, "2"}});
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0), eItemResult::Done);
  EXPECT_EQ(A().UnscheduledText(), "Paint, Fix roof");

  m_ui.ClearShown();
  A().TestAndRepairAlarmUsers();
  EXPECT_TRUE(m_ui.SawText("No items found."));
  m_ui.QueueEdit({{ItemField::kDescription, "Pills"}, {ItemField::kRepeatType, "D"},
                  {ItemField::kAlarmEnabled, "1"}, {ItemField::kAlarmUser, "9"}});
  uint32_t nPills = DB_NONE;
  ASSERT_EQ(A().AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0, {}, &nPills), eItemResult::Done);
  m_ui.QueueChoice({0});
  A().TestAndRepairAlarmUsers();
  EXPECT_EQ(ScheduleOf(A(), nPills)->m_nAlarmUser, 2u);
  EXPECT_EQ(A().GetAlarmUserName(9), "Unknown user");
  ExpectFileMatches(m_group, A(), "alarm users");
}

TEST_F(TableRules, MessagesThatArriveWhileOthersAreShownStayPending) {
  CTestCopy& b = m_group.Open(3);
  auto send = [&](const std::string& sText) {
    m_ui.QueueEdit({{ItemField::kTo, "2"}, {ItemField::kText, sText}});
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(b.Db().AddTableItem(TABLE_LOG, DB_NONE, nullptr, 0, {'M', 0.0}, &nCode),
              eItemResult::Done);
    return nCode;
  };
  const uint32_t n1 = send("Lunch?");
  EXPECT_EQ(LogOf(b.Db(), n1)->m_cKind, CLogRecord::KIND_UNREAD_MESSAGE);
  EXPECT_EQ(LogOf(b.Db(), n1)->m_cSender, 3);
  ASSERT_EQ(A().RefreshOnNotice(), 1);
  EXPECT_EQ(A().m_naPendingMessages, std::vector<uint32_t>{n1});
  uint32_t n2 = DB_NONE;
  m_ui.BeforeNextEdit([&] {
    n2 = send("Now?");
    m_ui.QueueEdit({});  // "Mark as read"
  });
  A().CheckForMessages();
  // The first was marked as read; the second arrived while it was shown
  // (read in when the dialog closed) and waits for the next round.
  EXPECT_EQ(LogOf(A(), n1)->m_cKind, CLogRecord::KIND_READ_MESSAGE);
  EXPECT_EQ(A().m_naPendingMessages, std::vector<uint32_t>{n2});
  m_ui.QueueEdit({{ItemField::kAction, "Send reply"}, {ItemField::kTo, "3: COPY3"},
                  {ItemField::kText, "Yes"}});
  A().CheckForMessages();
  EXPECT_TRUE(A().m_naPendingMessages.empty());
  const CLogRecord* pReply = LogOf(A(), n2);
  EXPECT_EQ(pReply->m_cKind, CLogRecord::KIND_UNREAD_MESSAGE);
  EXPECT_EQ(pReply->m_nContact, 3u);
  EXPECT_EQ(pReply->m_cSender, 2);
  ASSERT_EQ(b.Db().RefreshOnNotice(), 1);
  EXPECT_EQ(b.Db().m_naPendingMessages.back(), n2);
}
