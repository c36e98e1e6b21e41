// The date and time field as a window: arrow, digit and keypad keys, clicks
// on its buttons and far right of the text, the month calendar, and the field
// inside the item edit dialog (Enter moves on, OK refused while a date is
// impossible, the value read back as the form's text).

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "QtTestApp.h"
#include "app/CDialogEditItem.h"
#include "common/TestCommon.h"
#include "data/CItemDialogs.h"
#include "schedule/OleDate.h"
#include "views/CDateTime.h"

namespace {

// The x of a template character, inside its cell.
int CharX(int nPos) { return CDateTimeTemplate::kTextLeft + nPos * CDateTimeTemplate::kCharWidth + 3; }

class DateTimeField : public ::testing::Test {
 protected:
  void SetUp() override { m_field.resize(400, 24); }
  void TearDown() override { SetClockOverride(0.0); }

  void Click(int x) { QTest::mouseClick(&m_field, Qt::LeftButton, {}, QPoint(x, 10)); }
  void Key(Qt::Key key, int nTimes = 1) {
    for (int i = 0; i < nTimes; ++i) QTest::keyClick(&m_field, key);
  }

  QApplication& m_app = TestApp();  // before the field
  CTestUi m_ui;
  CDateTime m_field;
};

TEST_F(DateTimeField, ArrowKeysStepTheHourThroughTheDay) {
  m_field.SetInitial(MakeOleDate(2004, 2, 28, 11, 30), true);
  int nChanges = 0;
  QObject::connect(&m_field, &CDateTime::Changed, [&] { ++nChanges; });
  Click(CharX(12));
  for (int k = 1; k <= 24; ++k) {
    Key(Qt::Key_Up);
    ASSERT_EQ(m_field.GetDate(), MakeOleDate(2004, 2, 28, (11 + k) % 24, 30)) << k;
  }
  for (int k = 1; k <= 24; ++k) {
    Key(Qt::Key_Down);
    ASSERT_EQ(m_field.GetDate(), MakeOleDate(2004, 2, 28, (11 - k + 24) % 24, 30)) << k;
  }
  EXPECT_EQ(nChanges, 48);
  EXPECT_EQ(m_field.Template().GetText(), "02/28/2004-11:30AM");
  // Right, Space, Left and Backspace move the caret over the separators.
  Key(Qt::Key_Right);
  Key(Qt::Key_Space);
  EXPECT_EQ(m_field.Template().GetCaret(), 15);
  Key(Qt::Key_Left);
  Key(Qt::Key_Backspace);
  EXPECT_EQ(m_field.Template().GetCaret(), 12);
  Key(Qt::Key_F5);  // other keys change nothing
  EXPECT_EQ(nChanges, 48);
}

TEST_F(DateTimeField, DigitAndKeypadKeysFillTheTemplate) {
  m_field.SetInitial(MakeOleDate(2004, 2, 28, 11, 30), true);
  Click(CDateTimeTemplate::kTextLeft);
  QTest::keyClicks(&m_field, "12312005");
  QTest::keyClick(&m_field, Qt::Key_0, Qt::KeypadModifier);
  QTest::keyClick(&m_field, Qt::Key_7, Qt::KeypadModifier);
  QTest::keyClicks(&m_field, "4599p");  // the 9 falls on the marker and is ignored
  EXPECT_EQ(m_field.Template().GetText(), "12/31/2005-07:45PM");
  EXPECT_EQ(m_field.GetDate(), MakeOleDate(2005, 12, 31, 19, 45));
  QTest::keyClicks(&m_field, "a");
  EXPECT_EQ(m_field.GetDate(), MakeOleDate(2005, 12, 31, 7, 45));
  EXPECT_EQ(m_field.GetDateString(), "Saturday December 31, 2005, 07:45AM");
  // Clicks right of the text keep the caret on the marker.
  for (const int x : {CharX(17), CharX(40), 399}) {
    Click(CharX(0));
    Click(x);
    EXPECT_EQ(m_field.Template().GetCaret(), 16) << x;
  }
  m_field.SetInitial(MakeOleDate(2004, 2, 28), false);
  Click(399);
  EXPECT_EQ(m_field.Template().GetCaret(), 9);
  Key(Qt::Key_5);
  EXPECT_EQ(m_field.GetDate(), MakeOleDate(2005, 2, 28, 8, 0));
}

TEST_F(DateTimeField, CurrentAndClearButtonsAskFirst) {
  SetClockOverride(MakeOleDate(2024, 3, 5, 9, 15, 42));
  m_field.SetInitial(MakeOleDate(2004, 7, 1, 15, 0), true);  // a PM field, a morning now
  m_ui.QueueAnswer(IDYES);
  Click(25);
  EXPECT_EQ(m_field.Template().GetText(), "03/05/2024-09:15AM");
  EXPECT_EQ(m_field.GetDate(), MakeOleDate(2024, 3, 5, 9, 15));
  m_ui.QueueAnswer(IDYES);
  Click(45);
  EXPECT_EQ(m_field.GetDate(), 0.0);
  EXPECT_EQ(m_field.GetDateString(), "No date");
  EXPECT_EQ(m_ui.Messages(),
            (std::vector<std::string>{"Are you sure you want to reset to the current date/time?",
                                      "Are you sure you want to clear and set all to zero?"}));
}

TEST_F(DateTimeField, MonthCalendarStartsOnSundayAndKeepsTheTime) {
  m_field.SetInitial(MakeOleDate(2004, 1, 31, 18, 5), true);
  bool bSeen = false;
  WhenModal<QDialog>([&](QDialog* pDialog) {
    auto* pCalendar = pDialog->findChild<QCalendarWidget*>();
    ASSERT_NE(pCalendar, nullptr);
    bSeen = true;
    EXPECT_EQ(pCalendar->firstDayOfWeek(), Qt::Sunday);
    EXPECT_EQ(pCalendar->locale().language(), QLocale::English);
    EXPECT_EQ(pCalendar->selectedDate(), QDate(2004, 1, 31));
    pCalendar->setSelectedDate(QDate(2004, 2, 29));
    pDialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  Click(5);
  EXPECT_TRUE(bSeen);
  EXPECT_EQ(m_field.GetDate(), MakeOleDate(2004, 2, 29, 18, 5));

  // Cancel leaves the field; a cleared field opens on today.
  SetClockOverride(MakeOleDate(2024, 3, 5, 9, 15));
  m_field.SetDateTime(0.0);
  WhenModal<QDialog>([&](QDialog* pDialog) {
    auto* pCalendar = pDialog->findChild<QCalendarWidget*>();
    ASSERT_NE(pCalendar, nullptr);
    EXPECT_EQ(pCalendar->selectedDate(), QDate(2024, 3, 5));
    pDialog->reject();
  });
  Click(5);
  EXPECT_EQ(m_field.GetDate(), 0.0);
}

class DateTimeDialog : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
  static stEditForm Form() {
    stEditForm form{"Schedule event", "Schedule event", {}};
    form.fields = {{"Start", "02/28/2004 11:30AM", 32}, {"Description", "Dentist", 64}};
    form.fields[0].kind = eFieldKind::DateTime;
    return form;
  }
  CTestUi m_ui;
};

TEST_F(DateTimeDialog, ReturnInsideTheFieldMovesOnAndOkWaitsForAPossibleDate) {
  stEditForm form = Form();
  CDialogEditItem dialog(form, nullptr);
  auto* pStart = qobject_cast<CDateTime*>(dialog.Editor(0));
  auto* pText = qobject_cast<QLineEdit*>(dialog.Editor(1));
  ASSERT_NE(pStart, nullptr);
  ASSERT_NE(pText, nullptr);
  EXPECT_EQ(pStart->GetDate(), MakeOleDate(2004, 2, 28, 11, 30));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  pStart->setFocus();
  QTest::keyClick(pStart, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
  EXPECT_TRUE(pText->hasFocus());

  // Month 13 is impossible: the OK button is off and accepting is refused.
  auto* pOk = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  pStart->setFocus();
  QTest::mouseClick(pStart, Qt::LeftButton, {}, QPoint(CharX(0), 10));
  QTest::keyClicks(pStart, "13");
  EXPECT_FALSE(pStart->IsValid());
  EXPECT_FALSE(pOk->isEnabled());
  pText->setFocus();
  QTest::keyClick(pText, Qt::Key_Return);
  dialog.accept();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(pStart->hasFocus());

  QTest::mouseClick(pStart, Qt::LeftButton, {}, QPoint(CharX(0), 10));
  QTest::keyClicks(pStart, "03");
  EXPECT_TRUE(pOk->isEnabled());
  pText->setFocus();
  QTest::keyClick(pText, Qt::Key_Return);  // Return elsewhere is the default button
  EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
  dialog.TakeValues(form);
  EXPECT_EQ(*form.Find("Start"), "03/28/2004 11:30AM");
  double dDate = 0.0;
  ASSERT_TRUE(ParseDateTimeText(*form.Find("Start"), dDate));
  EXPECT_EQ(dDate, pStart->GetDate());
}

TEST_F(DateTimeDialog, ClearedFieldTravelsAsNoText) {
  stEditForm form = Form();
  form.fields[0].sValue = "no date at all";
  SetClockOverride(MakeOleDate(2024, 3, 5, 21, 40));
  CDialogEditItem dialog(form, nullptr);
  auto* pStart = qobject_cast<CDateTime*>(dialog.Editor(0));
  ASSERT_NE(pStart, nullptr);
  EXPECT_EQ(pStart->GetDate(), MakeOleDate(2024, 3, 5, 21, 40));  // starts at now
  SetClockOverride(0.0);
  m_ui.QueueAnswer(IDYES);
  QTest::mouseClick(pStart, Qt::LeftButton, {}, QPoint(45, 10));
  dialog.TakeValues(form);
  EXPECT_EQ(*form.Find("Start"), "");
  EXPECT_EQ(*form.Find("Description"), "Dentist");
}

}  // namespace
