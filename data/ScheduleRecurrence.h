#pragma once
// The schedule item's view of the recurrence expansion (schedule/Recurrence.h):
// its repeat fields as an stRecurrence, the expansion into its own date array,
// and the out-of-date test of the purge.

#include "data/CScheduleRecord.h"
#include "schedule/Recurrence.h"

stRecurrence RecurrenceOf(const CScheduleRecord& item);

// Replaces the item's expanded dates with its occurrences in the window
// (ascending; bFirstOnly stops after the first). Returns their number.
int ExpandDateArray(CScheduleRecord& item, double dWindowStart, double dWindowEnd, bool bFirstOnly);

// True when the item can fall due no more at dNow: a repeating item past its
// end date, a one-time item past its start.
bool IsOutOfDate(const CScheduleRecord& item, double dNow);
