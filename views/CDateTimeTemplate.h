#pragma once
// The digit template behind a date and time field: "MM/DD/YYYY-HH:MMAM" with
// time, "MM/DD/YYYY" without. The user changes it digit by digit or field by
// field; the text always keeps its shape, and its value is read back as an OLE
// date. The Qt field (CDateTime) only draws the text and forwards keys and
// clicks here, so every rule can be checked without a window.
//
// Hours step on the 24-hour value and the A/P marker follows it; formatting a
// value sets the marker both ways, so the shown text always reads back as the
// value it was formatted from. Month and year changes clamp the day to the
// month. Digits can still make an impossible text (month 13, minute 75):
// IsValid reports it, and the dialog refuses OK while it is so.

#include <string>

class CDateTimeTemplate {
 public:
  // What a click at a pixel of the field asks for.
  enum class eClick { Calendar, Current, Clear, Caret };

  // The layout shared with the drawing: three button texts, then one
  // template character every kCharWidth pixels from kTextLeft.
  static constexpr int kButtonWidth = 20;
  static constexpr int kTextLeft = 60;
  static constexpr int kCharWidth = 8;

  explicit CDateTimeTemplate(bool bWithTime = true);

  // Sets the template for a field with or without time, then the value; a
  // date of 0 stands for now.
  void SetInitial(double dDate, bool bWithTime);
  // Formats a date into the fields; 0 (or an invalid date) clears them.
  void SetDateTime(double dDate);
  // Asks "Are you sure you want to reset to the current date/time?"; Yes sets now.
  void SetCurrent();
  // Asks "Are you sure you want to clear and set all to zero?"; Yes clears.
  void AskClear();
  void Clear();
  // Sets year, month and day from a date, keeping the hour, minute and marker.
  void SetDay(double dDate);

  // The value: 0.0 for no date (year 0), OLE_DATE_INVALID for an impossible
  // text; without time the date at 08:00.
  double GetDate() const;
  // True when the text is no date or a real date and time.
  bool IsValid() const;
  bool IsCleared() const { return Part(kYear, 4) == 0; }
  // "%A %B %d, %Y, %I:%M%p" (with time) or "%A %B %d, %Y"; "No date" for 0.
  std::string GetDateString() const;

  const std::string& GetText() const { return m_sText; }
  bool WithTime() const { return m_bWithTime; }
  int GetCaret() const { return m_nCaret; }
  // The last digit position; the caret never goes on the "M" of the marker.
  int GetLastCaret() const { return int(m_sText.size()) - (m_bWithTime ? 2 : 1); }

  // Up and Down arrows: the field under the caret.
  void Increase() { Step(+1); }
  void Decrease() { Step(-1); }
  // Right arrow and Space, Left arrow and Backspace; separators are skipped.
  void MoveRight();
  void MoveLeft();
  // A digit replaces the character at the caret and the caret moves right; A
  // or P (with time) sets the marker and puts the caret on it. False for any
  // other character, which the field ignores.
  bool TypeChar(char c);
  // Adds n minutes to the minute, wrapping within the hour.
  void ChangeMin(int n);

  // What a click at x asks for; a click on the text places the caret.
  eClick ClickAt(int x);
  // The caret on a position, moved off a separator and clamped to the digits.
  void PlaceCaret(int nPos);

 private:
  static constexpr int kMonth = 0;
  static constexpr int kDay = 3;
  static constexpr int kYear = 6;
  static constexpr int kHour = 11;
  static constexpr int kMinute = 14;
  static constexpr int kMarker = 16;

  static bool IsSeparator(int nPos) { return nPos == 2 || nPos == 5 || nPos == 10 || nPos == 13; }
  int Part(int nPos, int nLen) const;
  void FormatPart(int nPos, int nLen, int nValue);
  void FormatYear(int nYear) { FormatPart(kYear, 4, nYear); }
  void FormatMonth(int nMonth) { FormatPart(kMonth, 2, nMonth); }
  void FormatDayOfMonth(int nDay) { FormatPart(kDay, 2, nDay); }
  void FormatMin(int nMinute) { FormatPart(kMinute, 2, nMinute); }
  // Shows a 24-hour value as 12, 1..11 with its marker (0 is 12AM, 12 is 12PM).
  void FormatHour(int nHour24);
  // The hour the text shows, on the 24-hour clock; -1 when it is no hour.
  int Hour24() const;
  // Days in the shown month (31 while the month is impossible).
  int DaysInMonth() const;
  // Keeps the day within the shown month after a month or year change.
  void ClampDay();
  void Step(int nBy);

  bool m_bWithTime = true;
  std::string m_sText;
  int m_nCaret = 0;
};
