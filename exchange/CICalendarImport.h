#pragma once
// Importing schedule items from an iCalendar file into the open database,
// and the database's side of the export (names of categories and persons).
// Every item the reader can map is added through the item operations (locks,
// refresh, notices to the other copies); its categories are found by name and
// added when missing, its contact is the person of that name when exactly one
// has it, and its alarm goes to this copy's user. Items the reader refuses
// are not added; they and the items that differ from the file are listed in
// the summary with the reason. An item the schedule holds already is not
// added again.

#include <string>
#include <string_view>
#include <vector>

#include "exchange/CICalendarWriter.h"

class CDatabase;
class CTableManager;

struct stICalendarSummary {
  size_t nImported = 0, nInexact = 0, nRefused = 0, nFailed = 0;
  size_t nAlready = 0;  // the same text, start and repetition as an item of the schedule
  std::vector<std::string> saLines;  // one per item not imported exactly
  // "Imported %zu schedule items (%zu not exactly); %zu not imported.", how many
  // were there already, and the lines.
  std::string Text() const;
};

class CICalendarImport {
 public:
  // False, with sError, when the text is no iCalendar; nothing is added then.
  static bool Import(CTableManager& db, std::string_view sText, stICalendarSummary& summary,
                     std::string& sError, const std::string& sZoneDir = "/usr/share/zoneinfo");
  // The export's names from the database, which the UIDs name by its file name.
  static stICalendarOptions ExportOptions(const CDatabase& db);
};
