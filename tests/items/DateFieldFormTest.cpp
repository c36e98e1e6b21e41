// The edit forms mark their dates for the date and time field, and take back
// what that field gives: a date-time text, or no text for a cleared field.

#include <gtest/gtest.h>

#include <map>

#include "items/ItemTestCopies.h"
#include "schedule/OleDate.h"

namespace {

// Notes the kind of every field of each form shown.
class CKindsUi : public CHookUi {
 public:
  int EditItem(stEditForm& form) override {
    for (const stEditField& f : form.fields) m_kinds[form.sDialog + "/" + f.sName] = f.kind;
    return CHookUi::EditItem(form);
  }
  std::map<std::string, eFieldKind> m_kinds;
};

TEST(DateFieldForm, ScheduleAndLogDatesAreDateTimeFieldsAndAClearedOneIsRefused) {
  CScratchFolder folder;
  CKindsUi ui;
  CCopyGroup group(folder.File("dates"));
  CTableManager& db = group.Open(2).Db();

  // A cleared end date while the end applies is refused, then mended.
  ui.QueueEdit({{ItemField::kDescription, "Course"},
                {ItemField::kRepeatType, "W"},
                {ItemField::kStart, "02/28/2004 11:30PM"},
                {ItemField::kEndDateSet, "1"},
                {ItemField::kEnd, ""}});
  ui.QueueEdit({{ItemField::kEnd, "03/27/2004 08:00AM"}});
  uint32_t nCode = DB_NONE;
  ASSERT_EQ(db.AddTableItem(TABLE_SCHEDULE, DB_NONE, nullptr, 0, {}, &nCode), eItemResult::Done);
  EXPECT_TRUE(ui.SawText("Invalid date: "));
  const CScheduleRecord* pItem = ScheduleOf(db, nCode);
  ASSERT_NE(pItem, nullptr);
  EXPECT_EQ(pItem->m_dStart, MakeOleDate(2004, 2, 28, 23, 30));
  EXPECT_EQ(pItem->m_dEnd, MakeOleDate(2004, 3, 27, 8, 0));

  const uint32_t nLog = AddLogEvent(db, ui, "Call", "03/01/2004 12:05AM");
  EXPECT_EQ(LogOf(db, nLog)->m_dDate, MakeOleDate(2004, 3, 1, 0, 5));

  const std::map<std::string, eFieldKind> dates = {{"Schedule event/Start", eFieldKind::DateTime},
                                                   {"Schedule event/End", eFieldKind::DateTime},
                                                   {"Log event/Date", eFieldKind::DateTime}};
  ASSERT_GT(ui.m_kinds.size(), dates.size());
  for (const auto& [sField, kind] : ui.m_kinds) {
    const auto it = dates.find(sField);
    EXPECT_EQ(kind, it == dates.end() ? eFieldKind::Text : it->second) << sField;
  }
}

}  // namespace
