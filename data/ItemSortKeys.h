#pragma once
// The keys that put persons, schedule items and log entries in display order.
// Every copy of the program builds the same key from the same item, whatever
// its locale or clock, so two copies never disagree about the order and
// re-sort each other's tables.

#include <string>
#include <string_view>

class CPerson;
class CScheduleRecord;
class CLogRecord;

// Upper case of the ASCII letters only: the locale never changes a key.
std::string AsciiUpper(std::string_view s);

// Last name, a separator below every printable character, first name, in
// upper case: "SMITH\x01ANN" sorts before "SMITHA\x01BOB".
std::string PersonSortKey(const CPerson& person);
// The order of PersonSortKey(a) and PersonSortKey(b) (-1, 0, 1), found
// without building either key.
int ComparePersonKeys(const CPerson& a, const CPerson& b);

// A group by repeat type, then the start as "%Y/%m/%d/%H:%M", then the
// description; unscheduled items have the key "AAA" alone and come first.
std::string ScheduleSortKey(const CScheduleRecord& item);
// The order of ScheduleSortKey(a) and ScheduleSortKey(b) (-1, 0, 1), found
// without building either key.
int CompareScheduleKeys(const CScheduleRecord& a, const CScheduleRecord& b);

// Where an undated note sorts among dated entries: later than every real
// date, the same on every copy.
inline constexpr double UNDATED_NOTE_SORT_DATE = 2958466.0;  // the day after 31 December 9999

// The entry's date; an undated note counts as UNDATED_NOTE_SORT_DATE. Newest first.
double LogSortDate(const CLogRecord& entry);
