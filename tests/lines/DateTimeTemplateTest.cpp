// The digit template of the date and time field without a window: hour steps
// on the 24-hour clock, the current-time and clear questions, digits at every
// position, clicks, month and day steps with the day clamped, and read-back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestCommon.h"
#include "schedule/OleDate.h"
#include "views/CDateTimeTemplate.h"

namespace {

constexpr int kHourPos = 11;

class DateTimeTemplate : public ::testing::Test {
 protected:
  void TearDown() override { SetClockOverride(0.0); }

  static CDateTimeTemplate At(int y, int m, int d, int h, int mi, bool bWithTime = true) {
    CDateTimeTemplate field;
    field.SetInitial(MakeOleDate(y, m, d, h, mi), bWithTime);
    return field;
  }
  CTestUi m_ui;
};

TEST_F(DateTimeTemplate, HoursStepOnTheTwentyFourHourClockThroughAWholeDay) {
  for (const int nStartHour : {0, 11, 12, 23}) {
    for (const int nBy : {+1, -1}) {
      CDateTimeTemplate field = At(2004, 2, 28, nStartHour, 30);
      field.PlaceCaret(kHourPos);
      for (int k = 1; k <= 24; ++k) {
        nBy > 0 ? field.Increase() : field.Decrease();
        const int nHour = ((nStartHour + nBy * k) % 24 + 24) % 24;
        ASSERT_EQ(field.GetDate(), MakeOleDate(2004, 2, 28, nHour, 30))
            << "start " << nStartHour << " step " << nBy << " count " << k << " text " << field.GetText();
        EXPECT_EQ(field.GetText()[16], nHour >= 12 ? 'P' : 'A');
        EXPECT_EQ(field.GetCaret(), kHourPos);
      }
      EXPECT_EQ(field.GetText(), At(2004, 2, 28, nStartHour, 30).GetText());
    }
  }
  CDateTimeTemplate field = At(2004, 2, 28, 11, 30);
  field.PlaceCaret(kHourPos + 1);
  field.Increase();
  EXPECT_EQ(field.GetText(), "02/28/2004-12:30PM");
  EXPECT_EQ(field.GetDate(), MakeOleDate(2004, 2, 28, 12, 30));
  field = At(2004, 2, 28, 23, 30);
  EXPECT_EQ(field.GetText(), "02/28/2004-11:30PM");
  field.PlaceCaret(kHourPos);
  field.Increase();
  EXPECT_EQ(field.GetText(), "02/28/2004-12:30AM");  // within the same day
  EXPECT_EQ(field.GetDate(), MakeOleDate(2004, 2, 28, 0, 30));
  field = At(2004, 2, 28, 12, 30);
  field.PlaceCaret(kHourPos);
  field.Decrease();
  EXPECT_EQ(field.GetText(), "02/28/2004-11:30AM");
  // A typed hour above 12 is impossible; a step takes it as a 24-hour value.
  field.PlaceCaret(kHourPos);
  field.TypeChar('1');
  field.TypeChar('9');
  EXPECT_FALSE(field.IsValid());
  field.PlaceCaret(kHourPos);
  field.Increase();
  EXPECT_EQ(field.GetText(), "02/28/2004-08:30PM");
  EXPECT_TRUE(field.IsValid());
}

TEST_F(DateTimeTemplate, CurrentTimeAsksAndStoresNowOnAmAndPmFields) {
  const double dMorning = MakeOleDate(2024, 3, 5, 9, 15, 42);
  const double dEvening = MakeOleDate(2024, 3, 5, 21, 40, 7);
  struct stCase {
    double dField, dNow;
    const char* pShown;
  };
  const std::vector<stCase> cases = {{MakeOleDate(2004, 7, 1, 15, 0), dMorning, "03/05/2024-09:15AM"},
                                     {MakeOleDate(2004, 7, 1, 3, 0), dEvening, "03/05/2024-09:40PM"}};
  for (const stCase& c : cases) {
    SetClockOverride(c.dNow);
    CDateTimeTemplate field;
    field.SetInitial(c.dField, true);
    const std::string sBefore = field.GetText();
    m_ui.QueueAnswer(IDNO);
    field.SetCurrent();
    EXPECT_EQ(field.GetText(), sBefore);
    m_ui.QueueAnswer(IDYES);
    field.SetCurrent();
    EXPECT_EQ(field.GetText(), c.pShown);
    EXPECT_EQ(field.GetDate(), GetCurrentDateTime());
  }
  EXPECT_EQ(m_ui.Messages(),
            std::vector<std::string>(4, "Are you sure you want to reset to the current date/time?"));
  // A date of 0 starts the field at now.
  CDateTimeTemplate field;
  field.SetInitial(0.0, true);
  EXPECT_EQ(field.GetDate(), GetCurrentDateTime());
}

TEST_F(DateTimeTemplate, DigitsAtEveryPosition) {
  // Where the caret goes after a digit at each digit position.
  const std::vector<std::pair<int, int>> next = {{0, 1},   {1, 3},   {3, 4},  {4, 6},   {6, 7},
                                                 {7, 8},   {8, 9},   {9, 11}, {11, 12}, {12, 14},
                                                 {14, 15}, {15, 16}, {16, 16}};
  for (const auto& [nPos, nNext] : next) {
    CDateTimeTemplate field = At(2004, 2, 28, 11, 30);
    std::string sExpected = field.GetText();
    field.PlaceCaret(nPos);
    ASSERT_EQ(field.GetCaret(), nPos);
    EXPECT_TRUE(field.TypeChar('7'));
    if (nPos != 16) sExpected[size_t(nPos)] = '7';  // the marker takes no digit
    EXPECT_EQ(field.GetText(), sExpected) << "position " << nPos;
    EXPECT_EQ(field.GetCaret(), nNext) << "position " << nPos;
  }
  CDateTimeTemplate date = At(2004, 2, 28, 0, 0, false);
  date.PlaceCaret(9);
  date.TypeChar('9');
  EXPECT_EQ(date.GetText(), "02/28/2009");
  EXPECT_EQ(date.GetCaret(), 9);
  EXPECT_FALSE(date.TypeChar('P'));  // no marker without time
  EXPECT_EQ(date.GetDate(), MakeOleDate(2009, 2, 28, 8, 0));

  // Typing 1 and 2 on the month makes December and leaves the caret on the day.
  CDateTimeTemplate month(false);
  month.SetInitial(MakeOleDate(2000, 1, 1), false);
  month.PlaceCaret(0);
  month.TypeChar('1');
  month.TypeChar('2');
  EXPECT_EQ(month.GetText(), "12/01/2000");
  EXPECT_EQ(month.GetCaret(), 3);

  CDateTimeTemplate field = At(2004, 2, 28, 11, 30);
  EXPECT_TRUE(field.TypeChar('p'));
  EXPECT_EQ(field.GetCaret(), 16);
  EXPECT_EQ(field.GetDate(), MakeOleDate(2004, 2, 28, 23, 30));
  field.Increase();  // the marker toggles
  EXPECT_EQ(field.GetText(), "02/28/2004-11:30AM");
  EXPECT_FALSE(field.TypeChar('x'));
  EXPECT_EQ(field.GetText(), "02/28/2004-11:30AM");
}

TEST_F(DateTimeTemplate, CaretSkipsSeparatorsAndStaysOnTheDigits) {
  CDateTimeTemplate field = At(2004, 2, 28, 11, 30);
  std::vector<int> naRight;
  for (int i = 0; i < 14; ++i) {
    field.MoveRight();
    naRight.push_back(field.GetCaret());
  }
  EXPECT_EQ(naRight, (std::vector<int>{1, 3, 4, 6, 7, 8, 9, 11, 12, 14, 15, 16, 16, 16}));
  std::vector<int> naLeft;
  for (int i = 0; i < 14; ++i) {
    field.MoveLeft();
    naLeft.push_back(field.GetCaret());
  }
  EXPECT_EQ(naLeft, (std::vector<int>{15, 14, 12, 11, 9, 8, 7, 6, 4, 3, 1, 0, 0, 0}));
}

TEST_F(DateTimeTemplate, ClicksPickAButtonOrPlaceTheCaretWithinTheTemplate) {
  CDateTimeTemplate field = At(2004, 2, 28, 11, 30);
  field.PlaceCaret(4);
  EXPECT_EQ(field.ClickAt(0), CDateTimeTemplate::eClick::Calendar);
  EXPECT_EQ(field.ClickAt(19), CDateTimeTemplate::eClick::Calendar);
  EXPECT_EQ(field.ClickAt(20), CDateTimeTemplate::eClick::Current);
  EXPECT_EQ(field.ClickAt(39), CDateTimeTemplate::eClick::Current);
  EXPECT_EQ(field.ClickAt(40), CDateTimeTemplate::eClick::Clear);
  EXPECT_EQ(field.ClickAt(59), CDateTimeTemplate::eClick::Clear);
  EXPECT_EQ(field.GetCaret(), 4);  // the buttons leave the caret
  const std::vector<std::pair<int, int>> clicks = {
      {60, 0},           {67, 0},           {68, 1},           {60 + 2 * 8, 3}, {60 + 13 * 8 + 7, 14},
      {60 + 16 * 8, 16}, {60 + 17 * 8, 16}, {60 + 18 * 8, 16}, {5000, 16}};
  for (const auto& [x, nCaret] : clicks) {
    EXPECT_EQ(field.ClickAt(x), CDateTimeTemplate::eClick::Caret);
    EXPECT_EQ(field.GetCaret(), nCaret) << "x " << x;
  }
  field.TypeChar('5');  // a digit on the far right changes nothing
  EXPECT_EQ(field.GetText(), "02/28/2004-11:30AM");
  CDateTimeTemplate date = At(2004, 2, 28, 0, 0, false);
  date.ClickAt(5000);
  EXPECT_EQ(date.GetCaret(), 9);
  date.ClickAt(60 + 10 * 8);
  EXPECT_EQ(date.GetCaret(), 9);
}

TEST_F(DateTimeTemplate, StepsWrapTheirFieldAndMonthOrYearStepsClampTheDay) {
  // Start (year, month, day, minute), caret, steps (+1 up, -1 down), the text after each.
  struct stCase {
    int y, m, d, mi, nCaret;
    std::vector<int> naSteps;
    std::vector<std::string> saTexts;
  };
  const std::vector<stCase> cases = {
      {2004, 1, 31, 5, 0, {1, 1, 1}, {"02/29/2004-10:05AM", "03/29/2004-10:05AM", "04/29/2004-10:05AM"}},
      {2005, 1, 31, 5, 1, {1}, {"02/28/2005-10:05AM"}},
      {2004, 3, 31, 5, 0, {-1}, {"02/29/2004-10:05AM"}},
      {2004, 2, 29, 5, 9, {1, -1}, {"02/28/2005-10:05AM", "02/28/2004-10:05AM"}},
      {2004, 12, 15, 5, 0, {1, -1}, {"01/15/2004-10:05AM", "12/15/2004-10:05AM"}},
      {2004, 2, 28, 5, 3, {1, 1, -1}, {"02/29/2004-10:05AM", "02/01/2004-10:05AM", "02/29/2004-10:05AM"}},
      {2004, 2, 28, 59, 15, {1, -1}, {"02/28/2004-10:00AM", "02/28/2004-10:59AM"}}};
  for (const stCase& c : cases) {
    CDateTimeTemplate field = At(c.y, c.m, c.d, 10, c.mi);
    field.PlaceCaret(c.nCaret);
    for (size_t i = 0; i < c.naSteps.size(); ++i) {
      c.naSteps[i] > 0 ? field.Increase() : field.Decrease();
      EXPECT_EQ(field.GetText(), c.saTexts[i]) << c.m << "/" << c.d << "/" << c.y << " step " << i;
    }
  }
}

TEST_F(DateTimeTemplate, ImpossibleTextsAreInvalidNotNoDate) {
  CDateTimeTemplate field = At(2004, 5, 10, 10, 5);
  for (const char* pMonth : {"13", "00"}) {
    field.PlaceCaret(0);
    field.TypeChar(pMonth[0]);
    field.TypeChar(pMonth[1]);
    EXPECT_FALSE(field.IsValid()) << pMonth;
    EXPECT_EQ(field.GetDate(), OLE_DATE_INVALID);
    EXPECT_EQ(field.GetDateString(), "Invalid date/time");
  }
  field.PlaceCaret(0);
  field.Increase();  // 00 up gives January
  EXPECT_TRUE(field.IsValid());
  EXPECT_EQ(field.GetDate(), MakeOleDate(2004, 1, 10, 10, 5));
  field.PlaceCaret(14);
  field.TypeChar('7');
  EXPECT_FALSE(field.IsValid());  // minute 75
  field.PlaceCaret(14);
  field.TypeChar('0');
  EXPECT_EQ(field.GetDateString(), "Saturday January 10, 2004, 10:05AM");
}

TEST_F(DateTimeTemplate, ClearAsksAndReadsBackAsNoDate) {
  for (const bool bWithTime : {true, false}) {
    CDateTimeTemplate field = At(2004, 2, 28, 18, 45, bWithTime);
    const std::string sBefore = field.GetText();
    m_ui.QueueAnswer(IDNO);
    field.AskClear();
    EXPECT_EQ(field.GetText(), sBefore);
    EXPECT_EQ(field.GetDate(), MakeOleDate(2004, 2, 28, bWithTime ? 18 : 8, bWithTime ? 45 : 0));
    m_ui.QueueAnswer(IDYES);
    field.AskClear();
    EXPECT_EQ(field.GetText(), bWithTime ? "00/00/0000-00:00AM" : "00/00/0000");
    EXPECT_TRUE(field.IsCleared());
    EXPECT_TRUE(field.IsValid());
    EXPECT_EQ(field.GetDate(), 0.0);
    EXPECT_EQ(field.GetDateString(), "No date");
    // A day from the calendar fills a cleared field again.
    field.SetDay(MakeOleDate(2010, 6, 1, 12, 0));
    EXPECT_EQ(field.GetDate(), MakeOleDate(2010, 6, 1, bWithTime ? 0 : 8, 0));
  }
  EXPECT_EQ(m_ui.Messages(),
            std::vector<std::string>(4, "Are you sure you want to clear and set all to zero?"));
  CDateTimeTemplate field = At(2004, 2, 28, 18, 45);
  field.SetDateTime(0.0);
  EXPECT_EQ(field.GetDateString(), "No date");
  field.SetDateTime(MakeOleDate(2004, 2, 28, 18, 45));
  EXPECT_EQ(field.GetDateString(), "Saturday February 28, 2004, 06:45PM");
}

}  // namespace
