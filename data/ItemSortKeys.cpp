#include "data/ItemSortKeys.h"

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

 private:
  static int Upper(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : uint8_t(c); }
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

int ComparePersonKeys(const CPerson& a, const CPerson& b) {
  const CPersonKeyBytes ka(a), kb(b);
  for (size_t i = 0;; ++i) {
    const int ca = ka.At(i), cb = kb.At(i);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca < 0) return 0;
  }
}

std::string ScheduleSortKey(const CScheduleRecord& item) {
  const char* pGroup = ScheduleGroup(item.m_cRepeatType);
  if (!pGroup) return "AAA";
  return std::string(pGroup) + FormatDateTime(item.m_dStart, "%Y/%m/%d/%H:%M") +
         item.m_sDescription;
}

double LogSortDate(const CLogRecord& entry) {
  return entry.m_cKind == CLogRecord::KIND_NOTE ? UNDATED_NOTE_SORT_DATE : entry.m_dDate;
}
