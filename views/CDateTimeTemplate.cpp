#include "views/CDateTimeTemplate.h"

#include <algorithm>

#include "schedule/OleDate.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

namespace {
constexpr const char* kEmptyWithTime = "00/00/0000-00:00AM";
constexpr const char* kEmptyDate = "00/00/0000";
// A date without time reads back at this hour.
constexpr int kDateOnlyHour = 8;
}  // namespace

CDateTimeTemplate::CDateTimeTemplate(bool bWithTime) { SetInitial(0.0, bWithTime); }

void CDateTimeTemplate::SetInitial(double dDate, bool bWithTime) {
  m_bWithTime = bWithTime;
  m_sText = bWithTime ? "00/00/2000-00:00AM" : "00/00/2000";
  m_nCaret = 0;
  SetDateTime(dDate == 0.0 ? GetCurrentDateTime() : dDate);
}

void CDateTimeTemplate::SetDateTime(double dDate) {
  stDateTime dt;
  if (dDate == 0.0 || !SplitOleDate(dDate, dt)) {
    Clear();
    return;
  }
  FormatYear(dt.nYear);
  FormatMonth(dt.nMonth);
  FormatDayOfMonth(dt.nDay);
  if (!m_bWithTime) return;
  FormatHour(dt.nHour);
  FormatMin(dt.nMinute);
}

void CDateTimeTemplate::SetCurrent() {
  if (GetResponse("Are you sure you want to reset to the current date/time?", MB_YESNO) == IDYES)
    SetDateTime(GetCurrentDateTime());
}

void CDateTimeTemplate::AskClear() {
  if (GetResponse("Are you sure you want to clear and set all to zero?", MB_YESNO) == IDYES) Clear();
}

void CDateTimeTemplate::Clear() { m_sText = m_bWithTime ? kEmptyWithTime : kEmptyDate; }

void CDateTimeTemplate::SetDay(double dDate) {
  stDateTime dt;
  if (!SplitOleDate(dDate, dt)) return;
  FormatYear(dt.nYear);
  FormatMonth(dt.nMonth);
  FormatDayOfMonth(dt.nDay);
}

double CDateTimeTemplate::GetDate() const {
  if (IsCleared()) return 0.0;
  const int nHour = m_bWithTime ? Hour24() : kDateOnlyHour;
  const int nMinute = m_bWithTime ? Part(kMinute, 2) : 0;
  return MakeOleDate(Part(kYear, 4), Part(kMonth, 2), Part(kDay, 2), nHour, nMinute);
}

bool CDateTimeTemplate::IsValid() const { return IsValidOleDate(GetDate()); }

std::string CDateTimeTemplate::GetDateString() const {
  const double dDate = GetDate();
  if (dDate == 0.0) return "No date";
  return FormatDateTime(dDate, m_bWithTime ? "%A %B %d, %Y, %I:%M%p" : "%A %B %d, %Y");
}

void CDateTimeTemplate::MoveRight() {
  const int nStep = m_nCaret == 1 || m_nCaret == 4 || m_nCaret == 9 || m_nCaret == 12 ? 2 : 1;
  m_nCaret = std::min(m_nCaret + nStep, GetLastCaret());
}

void CDateTimeTemplate::MoveLeft() {
  const int nStep = m_nCaret == 3 || m_nCaret == 6 || m_nCaret == 11 || m_nCaret == 14 ? 2 : 1;
  m_nCaret = std::max(m_nCaret - nStep, 0);
}

bool CDateTimeTemplate::TypeChar(char c) {
  if (c >= '0' && c <= '9') {
    // The marker takes only A and P.
    if (m_bWithTime && m_nCaret == kMarker) return true;
    if (IsSeparator(m_nCaret)) ++m_nCaret;
    m_sText[size_t(m_nCaret)] = c;
    MoveRight();
    return true;
  }
  if (!m_bWithTime) return false;
  if (c == 'a' || c == 'A' || c == 'p' || c == 'P') {
    m_sText[kMarker] = c == 'a' || c == 'A' ? 'A' : 'P';
    m_nCaret = kMarker;
    return true;
  }
  return false;
}

void CDateTimeTemplate::ChangeMin(int n) {
  int nMinute = Part(kMinute, 2) + n;
  if (nMinute > 59) nMinute = 0;
  if (nMinute < 0) nMinute = 59;
  FormatMin(nMinute);
}

CDateTimeTemplate::eClick CDateTimeTemplate::ClickAt(int x) {
  if (x < kButtonWidth) return eClick::Calendar;
  if (x < 2 * kButtonWidth) return eClick::Current;
  if (x < kTextLeft) return eClick::Clear;
  PlaceCaret((x - kTextLeft) / kCharWidth);
  return eClick::Caret;
}

void CDateTimeTemplate::PlaceCaret(int nPos) {
  m_nCaret = std::clamp(nPos, 0, GetLastCaret());
  if (IsSeparator(m_nCaret)) ++m_nCaret;
}

int CDateTimeTemplate::Part(int nPos, int nLen) const {
  int nValue = 0;
  for (int i = nPos; i < nPos + nLen && size_t(i) < m_sText.size(); ++i)
    nValue = nValue * 10 + (m_sText[size_t(i)] - '0');
  return nValue;
}

void CDateTimeTemplate::FormatPart(int nPos, int nLen, int nValue) {
  for (int i = nPos + nLen - 1; i >= nPos; --i) {
    m_sText[size_t(i)] = char('0' + nValue % 10);
    nValue /= 10;
  }
}

void CDateTimeTemplate::FormatHour(int nHour24) {
  if (!m_bWithTime) return;
  m_sText[kMarker] = nHour24 >= 12 ? 'P' : 'A';
  const int nHour12 = nHour24 % 12;
  FormatPart(kHour, 2, nHour12 == 0 ? 12 : nHour12);
}

int CDateTimeTemplate::Hour24() const {
  const int nHour = Part(kHour, 2);
  if (nHour > 12) return -1;
  return nHour % 12 + (m_sText[kMarker] == 'P' ? 12 : 0);
}

int CDateTimeTemplate::DaysInMonth() const {
  const int nDays = GetNumberOfDaysInMonth(Part(kYear, 4), Part(kMonth, 2));
  return nDays > 0 ? nDays : 31;
}

void CDateTimeTemplate::ClampDay() {
  const int nDays = DaysInMonth();
  if (Part(kDay, 2) > nDays) FormatDayOfMonth(nDays);
}

void CDateTimeTemplate::Step(int nBy) {
  const int c = m_nCaret;
  if (c < kDay) {
    int nMonth = Part(kMonth, 2) + nBy;
    if (nMonth > 12) nMonth = 1;
    if (nMonth < 1) nMonth = 12;
    FormatMonth(nMonth);
    ClampDay();
  } else if (c < kYear) {
    const int nDays = DaysInMonth();
    int nDay = Part(kDay, 2) + nBy;
    if (nDay > nDays) nDay = 1;
    if (nDay < 1) nDay = nDays;
    FormatDayOfMonth(nDay);
  } else if (c < kYear + 4) {
    FormatYear(std::clamp(Part(kYear, 4) + nBy, 0, 9999));
    ClampDay();
  } else if (!m_bWithTime) {
    return;
  } else if (c < kMinute) {
    // A typed hour above 12 counts as a 24-hour value.
    int nHour = Hour24();
    if (nHour < 0) nHour = std::min(Part(kHour, 2), 23);
    FormatHour((nHour + nBy + 24) % 24);
  } else if (c < kMarker) {
    ChangeMin(nBy);
  } else {
    m_sText[kMarker] = m_sText[kMarker] == 'P' ? 'A' : 'P';
  }
}
