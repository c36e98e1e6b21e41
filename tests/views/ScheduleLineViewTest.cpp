// The schedule view in its Qt window under offscreen Qt, made by the view
// factory: the painted columns of every repeat type with their colours, and
// the edit round trip through the schedule edit dialog opened by a right
// click, OK and Cancel.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>

#include "app/CDialogEditItem.h"
#include "app/CQtUserInterface.h"
#include "common/TestCommon.h"
#include "data/CTableManager.h"
#include "data/DemoData.h"
#include "network/NetworkHelpers.h"
#include "schedule/OleDate.h"
#include "tests/views/ViewsTestApp.h"
#include "views/CKelvoView.h"
#include "views/CLineView.h"
#include "views/CScheduleView.h"

namespace {

std::unique_ptr<CScheduleRecord> Item(const char* pText, char cType, double dStart) {
  auto p = std::make_unique<CScheduleRecord>();
  p->m_sDescription = pText;
  p->m_cRepeatType = cType;
  p->m_dStart = dStart;
  return p;
}

// Types into a text field of the edit dialog, single-line or multi-line.
void SetText(QWidget* pEditor, const QString& sText) {
  if (auto* pLine = qobject_cast<QLineEdit*>(pEditor)) pLine->setText(sText);
  if (auto* pText = qobject_cast<QPlainTextEdit*>(pEditor)) pText->setPlainText(sText);
}

class ScheduleLineView : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    SetUi(&m_ui);
    ASSERT_EQ(m_db.OpenDatabase(m_sName, 0), 1);
    ASSERT_TRUE(m_db.LockDatabase("test"));
    auto pDaily = Item("*Pills", 'D', MakeOleDate(2024, 1, 2, 8, 0));
    pDaily->m_nDayCount = 3;
    pDaily->m_nAlarmEnabled = 1;
    pDaily->m_nAlarmUser = uint32_t(m_db.m_nUserNumber);
    pDaily->m_nHoursBefore = 2;
    auto pWeekly = Item("!Stand-up", 'W', MakeOleDate(2024, 1, 3, 9, 0));
    pWeekly->m_nEndDateSet = 1;
    pWeekly->m_dEnd = MakeOleDate(2024, 6, 26, 9, 0);
    auto pOnce = Item("+Dentist", 'O', MakeOleDate(2024, 3, 5, 14, 30));
    pOnce->m_nEndDateSet = 1;
    pOnce->m_dEnd = MakeOleDate(2024, 12, 31);
    auto pSomeday = Item("Someday", 'U', MakeOleDate(2024, 1, 5, 10, 0));
    pSomeday->m_nAlarmEnabled = 1;
    pSomeday->m_nAlarmUser = uint32_t(m_db.m_nUserNumber);
    for (auto* pp : {&pDaily, &pWeekly, &pOnce, &pSomeday})
      ASSERT_TRUE(AppendGeneratedItem(m_db, TABLE_SCHEDULE, std::move(*pp)));
    ASSERT_TRUE(AppendGeneratedItem(m_db, TABLE_SCHEDULE, Item("Rent", 'M', MakeOleDate(2024, 1, 15, 9, 0))));
    ASSERT_TRUE(AppendGeneratedItem(m_db, TABLE_SCHEDULE, Item("Club", 'm', MakeOleDate(2024, 1, 9, 19, 0))));
    ASSERT_TRUE(AppendGeneratedItem(m_db, TABLE_SCHEDULE, Item("Birthday", 'Y', MakeOleDate(2024, 2, 10))));
    m_db.UnlockDatabase();
    m_pView.reset(
        dynamic_cast<CLineView*>(CreateKelvoView(VIEW_SCHEDULE, nullptr, m_db, CViewFrame::None())));
    ASSERT_NE(m_pView, nullptr);
    m_pView->resize(900, 400);
    m_pView->EnterView();
    Paint();
  }
  void TearDown() override {
    m_pView.reset();
    m_db.CloseDatabase();
    SetUi(nullptr);
  }

  void Paint() { m_pView->grab(); }
  CScheduleView& Source() { return static_cast<CScheduleView&>(m_pView->Source()); }
  const stPageLineRecord* Row(int nLine) {
    for (const auto& rec : Source().PageLines())
      if (rec.m_nIndex == nLine) return &rec;
    return nullptr;
  }
  int RowY(int nLine) {
    int y = Source().HeaderHeight();
    for (const auto& rec : Source().PageLines())
      if (rec.m_nIndex >= 0) {
        if (rec.m_nIndex == nLine) return y + rec.m_nHeight / 2;
        y += rec.m_nHeight;
      }
    return -1;
  }
  // Right-clicks a line; the dialog it opens gets fn.
  void EditRow(int nLine, std::function<void(CDialogEditItem*)> fn) {
    const int y = RowY(nLine);
    ASSERT_GE(y, 0);
    WhenModal<CDialogEditItem>(std::move(fn));
    SendMouse(*m_pView, QEvent::MouseButtonPress, {40, y}, Qt::RightButton);
    Paint();
  }

  CScratchFolder m_folder;
  std::string m_sName = m_folder.File("plan");
  CQtUserInterface m_ui;
  CTableManager m_db;
  std::unique_ptr<CLineView> m_pView;
};

TEST_F(ScheduleLineView, PaintsTheColumnsOfEveryRepeatType) {
  const std::string sMe = GetThisComputerName();
  std::vector<std::string> saTexts;
  std::string sStatus;
  for (const auto& rec : Source().PageLines()) {
    saTexts.push_back(rec.m_sText);
    if (rec.m_nIndex >= 0) sStatus += rec.m_cStatus ? rec.m_cStatus : '0';
  }
  EXPECT_EQ(saTexts, (std::vector<std::string>{
                         "Type\tDescription\tStart\tEnd\tAlarm",
                         "Unscheduled\tSomeday\tNone\tNone\tNone",
                         "One time\t+Dentist\t03/05/2024 02:30PM\tNone\tNone",
                         "Daily\t*Pills\t01/02/2024 08:00AM\tNone\t" + sMe + ": 01/02/2024 06:00AM",
                         "Weekly\t!Stand-up\t01/03/2024 09:00AM\t06/26/2024 09:00AM\tNone",
                         "Monthly (date)\tRent\t01/15/2024 09:00AM\tNone\tNone",
                         "Monthly (day)\tClub\t01/09/2024 07:00PM\tNone\tNone",
                         "Yearly\tBirthday\t02/10/2024 12:00AM\tNone\tNone",
                     }));
  // The highlight (line 0) draws as highlighted; the marked descriptions in their colours.
  EXPECT_EQ(sStatus, "HREB000");
  EXPECT_EQ(m_pView->StatusText(), "Text");
  EXPECT_EQ(m_pView->TitleLabel(), "SCHEDULE");
}

TEST_F(ScheduleLineView, EditsAnItemThroughTheScheduleDialog) {
  const uint32_t nCode = (*m_db.PtrToIndexArray(TABLE_SCHEDULE))[2].m_nCode;
  const CScheduleRecord before = *static_cast<CScheduleRecord*>(m_db.GetPointer(TABLE_SCHEDULE, nCode));
  ASSERT_EQ(before.m_sDescription, "*Pills");
  std::string sTitle;
  EditRow(2, [&](CDialogEditItem* pDialog) {
    sTitle = pDialog->windowTitle().toStdString();
    SetText(pDialog->Editor(0), QString::fromUtf8("*Pills, caf\xC3\xA9"));
    if (auto* pDays = qobject_cast<QSpinBox*>(pDialog->Editor(5))) pDays->setValue(4);
    pDialog->accept();
  });
  EXPECT_EQ(sTitle, "Schedule event");
  const auto* pAfter = static_cast<CScheduleRecord*>(m_db.GetPointer(TABLE_SCHEDULE, nCode));
  ASSERT_NE(pAfter, nullptr);
  EXPECT_EQ(pAfter->m_sDescription, "*Pills, caf\xC3\xA9");
  EXPECT_EQ(pAfter->m_nDayCount, 4);
  // What the dialog did not touch comes back as it was, dates included.
  CScheduleRecord expected = before;
  expected.m_sDescription = pAfter->m_sDescription;
  expected.m_nDayCount = 4;
  expected.m_daDates = pAfter->m_daDates;
  EXPECT_EQ(*pAfter, expected);
  ASSERT_NE(Row(2), nullptr);
  EXPECT_EQ(Row(2)->m_sText.rfind("Daily\t*Pills, caf\xC3\xA9\t01/02/2024 08:00AM\tNone\t", 0), 0u);

  // Cancel keeps the item; the file holds the saved edit for every copy.
  EditRow(2, [](CDialogEditItem* pDialog) {
    SetText(pDialog->Editor(0), "Changed");
    pDialog->reject();
  });
  EXPECT_EQ(static_cast<CScheduleRecord*>(m_db.GetPointer(TABLE_SCHEDULE, nCode))->m_sDescription,
            "*Pills, caf\xC3\xA9");
  CTableManager other;
  m_pView->ExitView();
  m_db.CloseDatabase();
  ASSERT_EQ(other.OpenDatabase(m_sName, 0), 1);
  const auto* pStored = static_cast<CScheduleRecord*>(other.GetPointer(TABLE_SCHEDULE, nCode));
  ASSERT_NE(pStored, nullptr);
  EXPECT_EQ(pStored->m_sDescription, "*Pills, caf\xC3\xA9");
  EXPECT_EQ(pStored->m_dStart, before.m_dStart);
  other.CloseDatabase();
}

}  // namespace
