#include "schedule/Recurrence.h"

#include <cmath>

#include "schedule/DateHelpers.h"
#include "schedule/OleDate.h"

namespace {

// The type the expansion works with: an every-N-days item without a usable
// day count would never advance, so it stands for its start alone.
char EffectiveType(const stRecurrence& rec) {
  if (rec.cRepeatType == REPEAT_DAYS && rec.nDayCount < 1) return REPEAT_ONCE;
  return rec.cRepeatType;
}

// A date on a scale that grows with time. OLE dates before 30 December 1899
// keep their time of day as a positive fraction of a negative day, so their
// doubles do not order by time; values outside the calendar stay as they are
// and act as open bounds.
double Linear(double dDate) {
  long long nDay = 0, nMs = 0;
  if (!OleDateToSerial(dDate, nDay, nMs)) return dDate;
  return double(nDay) + double(nMs) / 86400000.0;
}

// 'D' and 'W': start + k steps for the k that fall strictly after the window
// start and not after the window end. The first k is computed, not walked to,
// so an old daily item costs only the dates it shows.
void ExpandBySteps(double dStart, long long nStepDays, double dWindowStart, double dWindowEnd,
                   bool bFirstOnly, std::vector<double>& faDates) {
  long long nDay = 0, nMs = 0;
  if (!OleDateToSerial(dStart, nDay, nMs)) return;
  auto Occurrence = [&](long long k) { return OleDateFromSerial(nDay + k * nStepDays, nMs); };
  const double dLinearStart = Linear(dStart), dLinearFrom = Linear(dWindowStart);
  const double dLinearTo = Linear(dWindowEnd);
  long long k = 0;
  if (dLinearFrom >= dLinearStart) {
    const double dSteps = std::floor((dLinearFrom - dLinearStart) / double(nStepDays));
    if (dSteps > double(OLE_LAST_DAY - OLE_FIRST_DAY)) return;  // window after the calendar
    k = (long long)dSteps;
    while (k > 0 && Linear(Occurrence(k - 1)) > dLinearFrom) --k;
    while (IsValidOleDate(Occurrence(k)) && Linear(Occurrence(k)) <= dLinearFrom) ++k;
  }
  for (;; ++k) {
    const double d = Occurrence(k);
    if (!IsValidOleDate(d) || Linear(d) > dLinearTo) break;
    faDates.push_back(d);
    if (bFirstOnly) break;
  }
}

double NextByMonths(char cType, double d) {
  switch (cType) {
    case REPEAT_MONTHLY: return IncrementDateExt(d, 0, 1);
    case REPEAT_YEARLY: return IncrementDateExt(d, 1, 0);
    default: return IncrementDayExt(d, 0, 1);
  }
}

// 'M', 'm' and 'Y': each occurrence steps from the one before, so a day
// clamped at a short month stays clamped.
void ExpandByMonths(char cType, double dStart, double dWindowStart, double dWindowEnd,
                    bool bFirstOnly, std::vector<double>& faDates) {
  const double dLinearStart = Linear(dStart), dLinearFrom = Linear(dWindowStart);
  const double dLinearTo = Linear(dWindowEnd);
  double d = dStart;
  while (IsValidOleDate(d) && Linear(d) <= dLinearTo) {
    if (Linear(d) >= dLinearFrom && Linear(d) >= dLinearStart) {
      faDates.push_back(d);
      if (bFirstOnly) break;
    }
    const double dNext = NextByMonths(cType, d);
    if (!IsValidOleDate(dNext) || Linear(dNext) <= Linear(d)) break;
    d = dNext;
  }
}

}  // namespace

bool IsRepeatingType(char cRepeatType) {
  switch (cRepeatType) {
    case REPEAT_DAYS:
    case REPEAT_WEEKLY:
    case REPEAT_MONTHLY:
    case REPEAT_MONTHDAY:
    case REPEAT_YEARLY: return true;
    default: return false;
  }
}

bool RecurrenceIsOver(const stRecurrence& rec, double dNow) {
  const char cType = EffectiveType(rec);
  if (cType == REPEAT_ONCE) return Linear(rec.dStart) < Linear(dNow);
  return IsRepeatingType(cType) && rec.nEndDateSet == 1 && Linear(rec.dEnd) < Linear(dNow);
}

int ExpandRecurrence(const stRecurrence& rec, double dWindowStart, double dWindowEnd,
                     bool bFirstOnly, std::vector<double>& faDates) {
  faDates.clear();
  const char cType = EffectiveType(rec);
  if (!IsValidOleDate(rec.dStart) || std::isnan(dWindowStart) || std::isnan(dWindowEnd))
    return 0;
  double dEnd = dWindowEnd;
  if (IsRepeatingType(cType) && rec.nEndDateSet == 1 && Linear(rec.dEnd) < Linear(dEnd))
    dEnd = rec.dEnd;
  switch (cType) {
    case REPEAT_ONCE:
      if (Linear(dWindowStart) <= Linear(rec.dStart) && Linear(rec.dStart) <= Linear(dEnd))
        faDates.push_back(rec.dStart);
      break;
    case REPEAT_DAYS:
    case REPEAT_WEEKLY:
      ExpandBySteps(rec.dStart, cType == REPEAT_WEEKLY ? 7 : rec.nDayCount, dWindowStart, dEnd,
                    bFirstOnly, faDates);
      break;
    case REPEAT_MONTHLY:
    case REPEAT_MONTHDAY:
    case REPEAT_YEARLY:
      ExpandByMonths(cType, rec.dStart, dWindowStart, dEnd, bFirstOnly, faDates);
      break;
    default: break;  // 'U' and unknown types have no dates
  }
  return int(faDates.size());
}
