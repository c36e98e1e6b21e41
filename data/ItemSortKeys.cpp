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

std::string ScheduleSortKey(const CScheduleRecord& item) {
  const char* pGroup = ScheduleGroup(item.m_cRepeatType);
  if (!pGroup) return "AAA";
  return std::string(pGroup) + FormatDateTime(item.m_dStart, "%Y/%m/%d/%H:%M") +
         item.m_sDescription;
}

double LogSortDate(const CLogRecord& entry) {
  return entry.m_cKind == CLogRecord::KIND_NOTE ? UNDATED_NOTE_SORT_DATE : entry.m_dDate;
}
