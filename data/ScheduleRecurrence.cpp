#include "data/ScheduleRecurrence.h"

stRecurrence RecurrenceOf(const CScheduleRecord& item) {
  stRecurrence rec;
  rec.cRepeatType = item.m_cRepeatType;
  rec.dStart = item.m_dStart;
  rec.nEndDateSet = item.m_nEndDateSet;
  rec.dEnd = item.m_dEnd;
  rec.nDayCount = item.m_nDayCount;
  return rec;
}

int ExpandDateArray(CScheduleRecord& item, double dWindowStart, double dWindowEnd, bool bFirstOnly) {
  return ExpandRecurrence(RecurrenceOf(item), dWindowStart, dWindowEnd, bFirstOnly, item.m_daDates);
}

bool IsOutOfDate(const CScheduleRecord& item, double dNow) {
  return RecurrenceIsOver(RecurrenceOf(item), dNow);
}
