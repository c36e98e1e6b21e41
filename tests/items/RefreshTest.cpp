#include <gtest/gtest.h>

#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

namespace {

class Refresh : public CCopiesTest {
 protected:
  Refresh() : CCopiesTest("refresh") {}
  // B takes in what A announced, as its message handler does.
  void Deliver() {
    EXPECT_FALSE(B().RefreshState().Notices().empty());
    EXPECT_EQ(B().RefreshOnNotice(), 1);
    EXPECT_TRUE(B().RefreshState().Notices().empty());
    ExpectSameTables(A(), B(), "after the refresh");
  }
};

}  // namespace

TEST_F(Refresh, CopyBReadsExactlyWhatCopyAChanged) {
  const uint32_t nP = AddPerson(A(), m_ui, "Park", "Pia");
  const uint32_t nQ = AddPerson(A(), m_ui, "Quinn", "Quo");
  const uint32_t nS = AddSchedule(A(), m_ui, "Dentist", "O", "03/04/2025 10:15AM");
  AddLogEvent(A(), m_ui, "Called", "01/02/2025 09:00AM");
  Deliver();

  // A changed person: B replaces that one object and no other.
  const CDataRecord* pQBefore = B().GetPointer(TABLE_PERSON, nQ);
  m_ui.QueueEdit({{ItemField::kCity, "Oslo"}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  Deliver();
  EXPECT_EQ(PersonOf(B(), nP)->m_sCity, "Oslo");
  EXPECT_EQ(B().GetPointer(TABLE_PERSON, nQ), pQBefore);

  // A deleted schedule item.
  ASSERT_EQ(A().DeleteTableItem(TABLE_SCHEDULE, nS, 0), eItemResult::Done);
  Deliver();
  EXPECT_EQ(ScheduleOf(B(), nS), nullptr);

  // A new log entry, newest first.
  const uint32_t nL = AddLogEvent(A(), m_ui, "Visited", "06/07/2025 02:30PM");
  Deliver();
  EXPECT_EQ(CodesOf(B(), TABLE_LOG).front(), nL);

  // A whole table rewritten: B re-reads every person.
  for (uint32_t nCode : CodesOf(A(), TABLE_PERSON))
    ASSERT_EQ(A().SaveModifiedItem(TABLE_PERSON, nCode, [](CDataRecord& r) {
      static_cast<CPerson&>(r).m_sState = "NY";
      return true;
    }), 1);
  B().RefreshState().SetNotices({{2, TABLE_PERSON, DB_NONE}});
  Deliver();
  EXPECT_NE(B().GetPointer(TABLE_PERSON, nQ), pQBefore);
  EXPECT_EQ(PersonOf(B(), nQ)->m_sState, "NY");

  // The whole-database flag reloads everything, whatever else is listed.
  AddCategory(A(), m_ui, "Work");
  B().RefreshState().SetNotices(
      {{2, TABLE_PERSON, nQ}, {2, TABLE_ALL, 0}, {2, TABLE_LOG, SEQUENCE_CODE}});
  Deliver();
  EXPECT_EQ(B().m_caCategoryIndex.size(), 1u);
  ExpectConsistent(B(), "after the reload");
}

TEST_F(Refresh, HeaderNoticesSurviveARebuiltHeaderList) {
  const uint32_t nP = AddPerson(A(), m_ui, "Park", "Pia");
  Deliver();
  // An edit in place is announced by its header alone.
  m_ui.QueueEdit({{ItemField::kEmail, "pia@example.com"}});
  ASSERT_EQ(A().EditTableItem(TABLE_PERSON, nP), eItemResult::Done);
  ASSERT_FALSE(B().RefreshState().Notices().empty());
  for (const stRefreshFlag& f : B().RefreshState().Notices()) EXPECT_EQ(f.nTable, TABLE_HEADER);
  // A notice that asks for a rebuilt header list comes with it.
  B().RefreshState().QueueNotice({2, TABLE_HEADER, DB_NONE});
  Deliver();
  EXPECT_EQ(PersonOf(B(), nP)->m_sEmail, "pia@example.com");
}

TEST_F(Refresh, SkippedRefreshesAreRetried) {
  AddPerson(A(), m_ui, "Park", "Pia");
  // A dialog is up in B: the notice waits, the timer does nothing, and the
  // refresh runs when the dialog closes.
  B().DataRefreshOff("CDialogTest");
  EXPECT_EQ(B().RefreshOnNotice(), 0);
  EXPECT_TRUE(B().RefreshState().IsRefreshOwed());
  EXPECT_EQ(B().RetryOwedRefresh(), 0);
  EXPECT_TRUE(B().m_caPersonIndex.empty());
  B().DataRefreshOn("CDialogTest");
  EXPECT_TRUE(B().RefreshState().Notices().empty());
  ExpectSameTables(A(), B(), "after the dialog");

  // While refresh is off a write still refreshes first.
  AddPerson(A(), m_ui, "Quinn", "Quo");
  B().DataRefreshOff("CDialogTest");
  AddPerson(B(), m_ui, "Roe", "Ray");
  B().DataRefreshOn("CDialogTest");
  EXPECT_EQ(B().m_caPersonIndex.size(), 3u);
  EXPECT_EQ(A().RefreshOnNotice(), 1);
  ExpectSameTables(A(), B(), "after B's write");

  // A holds the database lock: B's refresh waits in a wait box until the
  // user gives up; the flags stay and the timer's retry succeeds later.
  AddPerson(A(), m_ui, "Stone", "Sue");
  ASSERT_EQ(A().LockDatabase("hold"), 1);
  m_ui.QueueAbortPress(3);
  m_ui.QueueAnswer(IDYES);  // "Are you sure you want to abort operation?"
  EXPECT_EQ(B().RefreshOnNotice(), 0);
  EXPECT_TRUE(B().RefreshState().IsRefreshOwed());
  EXPECT_FALSE(B().RefreshState().Notices().empty());
  A().UnlockDatabase();
  EXPECT_EQ(B().RetryOwedRefresh(), 1);
  EXPECT_FALSE(B().RefreshState().IsRefreshOwed());
  ExpectSameTables(A(), B(), "after the retry");

  // A write that cannot get the lock gives 2 and writes nothing over the
  // memory it could not bring up to date.
  AddPerson(A(), m_ui, "Tate", "Tom");
  ASSERT_EQ(A().LockDatabase("hold"), 1);
  const size_t nRecords = B().m_caDataHeaders.size();
  B().DataRefreshOff("CDialogTest");
  m_ui.QueueEdit({{ItemField::kLastName, "Late"}});
  m_ui.QueueAbortPress(3);
  m_ui.QueueAnswer(IDYES);
  EXPECT_EQ(B().AddTableItem(TABLE_PERSON, DB_NONE, nullptr, 0), eItemResult::Cancelled);
  EXPECT_EQ(B().m_caDataHeaders.size(), nRecords);
  EXPECT_FALSE(B().RefreshState().Notices().empty());
  A().UnlockDatabase();
  B().DataRefreshOn("CDialogTest");
  EXPECT_FALSE(B().RefreshState().IsRefreshOwed());
  ExpectSameTables(A(), B(), "after the refused write");
  ExpectFileMatches(m_group, A(), "end");
}

TEST_F(Refresh, AFailedReloadClosesTheDatabase) {
  AddPerson(A(), m_ui, "Park", "Pia");
  Deliver();
  // A record of the person table that does not decode.
  ASSERT_EQ(A().LockDatabase("damage"), 1);
  std::fill(A().m_cBuffer, A().m_cBuffer + 12, 0xEE);
  ASSERT_NE(A().WriteRecord(12, TABLE_PERSON, A().GetNextKey(TABLE_PERSON), 0, 0), DB_NONE);
  A().UnlockDatabase();
  B().RefreshState().SetNotices({{2, TABLE_ALL, 0}});
  m_ui.QueueAnswer(IDNO);  // "... Do you want to try to continue?"
  EXPECT_EQ(B().RefreshOnNotice(), 0);
  EXPECT_FALSE(B().IsFileLoaded());
  EXPECT_FALSE(B().IsDatabaseOpen());
  EXPECT_TRUE(B().m_caPersonIndex.empty());
  // B gave up its database lock on the way out.
  EXPECT_EQ(A().IsDbLocked(LOCK_BY_ANYONE), 0);
}

TEST_F(Refresh, AnItemThatVanishedDuringTheDialogIsReported) {
  const uint32_t nP = AddPerson(A(), m_ui, "Park", "Pia");
  Deliver();
  m_ui.BeforeNextEdit([&] {
    // Another copy takes the record away in spite of B's lock (as a copy
    // alone on the file clears locks left behind).
    const uint32_t nLoc = A().GetItemFileLoc(TABLE_PERSON, nP, 0, 0);
    ASSERT_EQ(A().ChangeStatus(nLoc, STATUS_USED, 1), 1);
    ASSERT_EQ(A().DeleteTableItem(TABLE_PERSON, nP, 0), eItemResult::Done);
  });
  m_ui.QueueEdit({{ItemField::kCity, "Rome"}});
  m_ui.ClearShown();
  EXPECT_EQ(B().EditTableItem(TABLE_PERSON, nP), eItemResult::Cancelled);
  EXPECT_TRUE(m_ui.SawText("Error in retrieving item to edit."));
  EXPECT_EQ(PersonOf(B(), nP), nullptr);
  ExpectSameTables(A(), B(), "after the vanished edit");
}
