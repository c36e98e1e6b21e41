#include "data/ItemSortKeys.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/CLogRecord.h"
#include "data/CPerson.h"
#include "data/CScheduleRecord.h"
#include "schedule/OleDate.h"

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return r;
}

std::string PersonSortKey(const CPerson& person) {
  return AsciiUpper(person.m_sLastName) + '\x01' + AsciiUpper(person.m_sFirstName);
}

namespace {

// The bytes of a person's sort key one at a time: last name, separator,
// first name, all in ASCII upper case; -1 past the end.
class CPersonKeyBytes {
 public:
  explicit CPersonKeyBytes(const CPerson& p) : m_last(p.m_sLastName), m_first(p.m_sFirstName) {}
  int At(size_t i) const {
    if (i < m_last.size()) return Upper(m_last[i]);
    if (i == m_last.size()) return 0x01;
    i -= m_last.size() + 1;
    return i < m_first.size() ? Upper(m_first[i]) : -1;
  }

  static int Upper(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : uint8_t(c); }

 private:
  const std::string& m_last;
  const std::string& m_first;
};

const char* ScheduleGroup(char cRepeatType) {
  switch (cRepeatType) {
    case 'O': return "BBB";
    case 'D': return "CCC";
    case 'W': return "DDD";
    case 'M': return "EEE";
    case 'm': return "EEF";
    case 'Y': return "FFF";
    default: return nullptr;
  }
}

}  // namespace

namespace {

int CompareKeyBytes(const CPerson& a, const CPerson& b) {
  const CPersonKeyBytes ka(a), kb(b);
  for (size_t i = 0;; ++i) {
    const int ca = ka.At(i), cb = kb.At(i);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca < 0) return 0;
  }
}

// The first difference of two texts in ASCII upper case within their common
// length: -1 or 1, or 0 when one begins with the other.
int CompareUpperPrefix(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = CPersonKeyBytes::Upper(a[i]), cb = CPersonKeyBytes::Upper(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

}  // namespace

int ComparePersonKeys(const CPerson& a, const CPerson& b) {
  // The keys compared where they differ, without walking them byte by byte
  // through their parts; a last name that begins with the other takes the
  // byte walk (the separator then meets a letter).
  if (const int n = CompareUpperPrefix(a.m_sLastName, b.m_sLastName)) return n;
  if (a.m_sLastName.size() != b.m_sLastName.size()) return CompareKeyBytes(a, b);
  if (const int n = CompareUpperPrefix(a.m_sFirstName, b.m_sFirstName)) return n;
  const size_t na = a.m_sFirstName.size(), nb = b.m_sFirstName.size();
  return na == nb ? 0 : na < nb ? -1 : 1;
}

namespace {

// The starts as their keys write them ("%Y/%m/%d/%H:%M", fixed width, so
// the text order is the order of the parts; "Invalid date/time" for a date
// that cannot be written, which sorts after every date), compared without
// writing them.
int CompareStartKeys(double dA, double dB) {
  // The key's minute never goes down as the date grows, so two writable
  // dates more than a minute and a half apart are in different minutes and
  // in the order of the dates; only closer ones are split. Below the last
  // day no date rounds past the end of the writable range.
  constexpr double kApart = 1.5 / 1440;
  const auto bPlain = [](double d) { return d >= 0.0 && d < double(OLE_LAST_DAY); };
  if (bPlain(dA) && bPlain(dB) && std::fabs(dA - dB) > kApart) return dA < dB ? -1 : 1;
  stDateTime a, b;
  const bool bA = dA >= 0.0 && SplitOleDate(dA, a);
  const bool bB = dB >= 0.0 && SplitOleDate(dB, b);
  if (!bA || !bB) return bA == bB ? 0 : bA ? -1 : 1;
  const int na[] = {a.nYear, a.nMonth, a.nDay, a.nHour, a.nMinute};
  const int nb[] = {b.nYear, b.nMonth, b.nDay, b.nHour, b.nMinute};
  for (size_t i = 0; i < 5; ++i)
    if (na[i] != nb[i]) return na[i] < nb[i] ? -1 : 1;
  return 0;
}

}  // namespace

int CompareScheduleKeys(const CScheduleRecord& a, const CScheduleRecord& b) {
  const char* pA = ScheduleGroup(a.m_cRepeatType);
  const char* pB = ScheduleGroup(b.m_cRepeatType);
  const int nGroup = std::strcmp(pA ? pA : "AAA", pB ? pB : "AAA");
  if (nGroup != 0) return nGroup < 0 ? -1 : 1;
  if (!pA) return 0;  // unscheduled: the group is the whole key
  const int nStart = CompareStartKeys(a.m_dStart, b.m_dStart);
  if (nStart != 0) return nStart;
  const int n = a.m_sDescription.compare(b.m_sDescription);
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

std::string ScheduleSortKey(const CScheduleRecord& item) {
  const char* pGroup = ScheduleGroup(item.m_cRepeatType);
  if (!pGroup) return "AAA";
  return std::string(pGroup) + FormatDateTime(item.m_dStart, "%Y/%m/%d/%H:%M") + item.m_sDescription;
}

double LogSortDate(const CLogRecord& entry) {
  return entry.m_cKind == CLogRecord::KIND_NOTE ? UNDATED_NOTE_SORT_DATE : entry.m_dDate;
}
