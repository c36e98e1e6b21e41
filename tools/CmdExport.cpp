// kelvotool export FILE persons --format tab|csv|blackberry|labels|vcard21|vcard3|vcard4
//                   [--category NAME] [--out PATH]
// writes the persons the address view would offer for that export (active,
// with an e-mail, or for every format but csv an e-mail or a home phone; for
// vCard 3.0 and 4.0 every person), in name order, of the category or of all,
// to PATH or to standard output.
// kelvotool export FILE schedule --format vcs [--category NAME] [--out PATH]
// writes the schedule items the schedule view would offer (every scheduled
// item) as a vCalendar 1.0 file, in the view's order. The database is only
// read.
// kelvotool export FILE schedule --format ics [--tz ZONE] [--category NAME] [--out PATH]
// writes every item, unscheduled ones too, as iCalendar 2.0, with floating
// local times or in the time zone ZONE of the system's zone database; the
// items whose repeat rule is only the nearest are named on stderr.

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>

#include "data/CDatabase.h"
#include "data/ItemSortKeys.h"
#include "exchange/CContactExport.h"
#include "exchange/CExportFile.h"
#include "exchange/CICalendarImport.h"
#include "exchange/CICalendarTimeZone.h"
#include "exchange/CScheduleExport.h"
#include "schedule/Recurrence.h"
#include "exchange/CVCardWriter.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "tools/CToolCommands.h"

namespace {

const char kUsage[] =
    "usage: kelvotool export FILE persons --format tab|csv|blackberry|labels|vcard21|vcard3|vcard4 [--category NAME] "
    "[--out PATH]\n"
    "       kelvotool export FILE schedule --format vcs [--category NAME] [--out PATH]\n"
    "       kelvotool export FILE schedule --format ics [--tz ZONE] [--category NAME] [--out PATH]";

// The schedule's one format, among the kinds of the contact exports.
constexpr char kVCalendar = 'C';
constexpr char kICalendar = 'I';

// vCard 3.0 and 4.0 ('3', '4') carry every field of every person.
bool IsNewVCard(char cKind) { return cKind == '3' || cKind == '4'; }

char KindOfFormat(bool bSchedule, const std::string& sFormat) {
  static const std::map<std::string, char> kKinds = {
      {"tab", 'T'}, {"csv", 'E'}, {"blackberry", 'B'}, {"labels", 'L'}, {"vcard21", 'V'},
      {"vcard3", '3'}, {"vcard4", '4'}};
  if (bSchedule) return sFormat == "vcs" ? kVCalendar : sFormat == "ics" ? kICalendar : 0;
  const auto it = kKinds.find(sFormat);
  return it == kKinds.end() ? 0 : it->second;
}

struct stExportArgs {
  std::string sFile, sCategory, sOut, sZone;
  char cKind = 0;
  bool bSchedule = false, bCategory = false, bOut = false;
};

bool ParseArgs(const std::vector<std::string>& args, stExportArgs& a) {
  if (args.size() < 2 || (args[1] != "persons" && args[1] != "schedule")) return false;
  a.sFile = args[0];
  a.bSchedule = args[1] == "schedule";
  for (size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return false;
    const std::string& sValue = args[i + 1];
    if (args[i] == "--format" && !a.cKind) {
      a.cKind = KindOfFormat(a.bSchedule, sValue);
      if (!a.cKind) return false;
    } else if (args[i] == "--category" && !a.bCategory) {
      a.sCategory = sValue;
      a.bCategory = true;
    } else if (args[i] == "--tz" && a.bSchedule && a.sZone.empty() && !sValue.empty()) {
      a.sZone = sValue;
    } else if (args[i] == "--out" && !a.bOut && !sValue.empty()) {
      a.sOut = sValue;
      a.bOut = true;
    } else {
      return false;
    }
  }
  return a.cKind != 0 && (a.sZone.empty() || a.cKind == kICalendar);
}

// The codes of the categories of that name.
std::vector<uint32_t> CategoryCodes(const CDatabase& db, const std::string& sName) {
  std::vector<uint32_t> na;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_CATEGORY))
    if (static_cast<const CCategory&>(*e.m_pItem).m_sName == sName) na.push_back(e.m_nCode);
  return na;
}

// Whether an item (person or schedule item) is in the category asked for.
template <class Item>
bool InCategory(const Item& item, const stExportArgs& a, const std::vector<uint32_t>& naCategories) {
  return !a.bCategory || std::any_of(naCategories.begin(), naCategories.end(),
                                     [&](uint32_t n) { return item.IsCategorySelected(n); });
}

// The persons to export, in the address view's name order (equal names by code).
std::vector<const CPerson*> ChosenPersons(const CDatabase& db, const stExportArgs& a,
                                          const std::vector<uint32_t>& naCategories) {
  std::vector<const CPerson*> pa;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_PERSON)) {
    const auto& p = static_cast<const CPerson&>(*e.m_pItem);
    if (InCategory(p, a, naCategories) && (IsNewVCard(a.cKind) || CContactExport::IsEligible(a.cKind, p)))
      pa.push_back(&p);
  }
  std::sort(pa.begin(), pa.end(), [](const CPerson* x, const CPerson* y) {
    const int n = ComparePersonKeys(*x, *y);
    return n != 0 ? n < 0 : x->m_nCode < y->m_nCode;
  });
  return pa;
}

// The schedule items to export, in the schedule view's order (equal keys by code).
std::vector<const CScheduleRecord*> ChosenItems(const CDatabase& db, const stExportArgs& a,
                                                const std::vector<uint32_t>& naCategories) {
  std::vector<const CScheduleRecord*> pa;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_SCHEDULE)) {
    const auto& s = static_cast<const CScheduleRecord&>(*e.m_pItem);
    if (InCategory(s, a, naCategories) &&
        (CScheduleExport::IsExportable(s) || (a.cKind == kICalendar && s.m_cRepeatType == REPEAT_UNSCHEDULED)))
      pa.push_back(&s);
  }
  std::sort(pa.begin(), pa.end(), [](const CScheduleRecord* x, const CScheduleRecord* y) {
    const int n = CompareScheduleKeys(*x, *y);
    return n != 0 ? n < 0 : x->m_nCode < y->m_nCode;
  });
  return pa;
}

// The iCalendar text; the items written with the nearest rule go to stderr.
std::string ICalendarText(const CDatabase& db, const CICalendarTimeZone* pZone,
                          const std::vector<const CScheduleRecord*>& pa) {
  stICalendarOptions opt = CICalendarImport::ExportOptions(db);
  opt.pZone = pZone;
  std::vector<stICalendarNote> saNotes;
  std::string sText = CICalendarWriter::Text(pa, opt, saNotes);
  for (const stICalendarNote& n : saNotes)
    std::cerr << "not exactly: " << n.sDescription << ": " << n.sReason << "\n";
  return sText;
}

// The export's bytes and the number of records in them.
std::string ExportText(const CDatabase& db, const stExportArgs& a, const std::vector<uint32_t>& naCategories,
                       const CICalendarTimeZone* pZone, size_t& nCount) {
  if (a.bSchedule) {
    const std::vector<const CScheduleRecord*> pa = ChosenItems(db, a, naCategories);
    nCount = pa.size();
    if (a.cKind == kICalendar) return ICalendarText(db, pZone, pa);
    return CScheduleExport::Text(pa);
  }
  const std::vector<const CPerson*> pa = ChosenPersons(db, a, naCategories);
  nCount = pa.size();
  if (IsNewVCard(a.cKind)) return CVCardWriter(db, a.cKind - '0').Text(pa);
  return CContactExport::Text(a.cKind, pa);
}

const CToolCommand kExport(
    "export",
    "export FILE persons --format tab|csv|blackberry|labels|vcard21|vcard3|vcard4 [--category NAME] [--out PATH]\n"
    "  export FILE schedule --format vcs [--category NAME] [--out PATH]\n"
    "  export FILE schedule --format ics [--tz ZONE] [--category NAME] [--out PATH]",
    [](const std::vector<std::string>& args) -> int {
      stExportArgs a;
      if (!ParseArgs(args, a)) return ToolError(kUsage);
      CTerminalUi ui(IDNO);
      CScopedUi scope(ui);
      CDatabase db;
      if (!ToolLoadForReading(db, a.sFile)) return ToolError("cannot read " + ToolDbmPath(a.sFile));
      CICalendarTimeZone zone;
      std::string sError;
      if (!a.sZone.empty() && !zone.Load(a.sZone, sError)) return ToolError(sError);
      const std::vector<uint32_t> naCategories = CategoryCodes(db, a.sCategory);
      if (a.bCategory && naCategories.empty())
        return ToolError("no category '" + a.sCategory + "' in " + ToolDbmPath(a.sFile));
      size_t nCount = 0;
      const std::string sText = ExportText(db, a, naCategories, a.sZone.empty() ? nullptr : &zone, nCount);
      const bool bOk = a.bOut ? CExportFile::Save(a.sOut, sText, sError)
                              : CExportFile::WriteDescriptor(STDOUT_FILENO, sText, "standard output", sError);
      if (!bOk) return ToolError(sError);
      if (a.bOut)
        std::cout << nCount << (a.bSchedule ? " schedule items" : " persons") << " written to " << a.sOut
                  << "\n";
      return TOOL_OK;
    });

}  // namespace
