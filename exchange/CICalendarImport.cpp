#include "exchange/CICalendarImport.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "data/CTableManager.h"
#include "exchange/CICalendarReader.h"
#include "schedule/OleDate.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

std::string PersonName(const CPerson& p) { return Trim(p.m_sFirstName + " " + p.m_sLastName); }

// The one person of that name; none when no one or several have it.
uint32_t ContactCode(const CDatabase& db, const std::string& sName) {
  uint32_t nFound = DB_NONE;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_PERSON))
    if (!sName.empty() && PersonName(static_cast<const CPerson&>(*e.m_pItem)) == sName) {
      if (nFound != DB_NONE) return DB_NONE;
      nFound = e.m_nCode;
    }
  return nFound;
}

std::string Label(const stICalendarItem& r) {
  const std::string s = r.item.m_sDescription.substr(0, r.item.m_sDescription.find('\n'));
  return s.empty() ? "(no summary)" : s;
}

// What makes two schedule items the same appointment to a user: the text,
// the start to the second and the repetition, each only where it counts (an
// unscheduled item has no dates, a one-time item no end, only a daily
// repetition its day count).
using ItemKey = std::tuple<std::string, long long, char, long long, int32_t>;
ItemKey KeyOf(const CScheduleRecord& s) {
  auto seconds = [](double d) { return std::llround(d * 86400.0); };
  const char c = s.m_cRepeatType;
  const bool bRepeats = c != 'U' && c != 'O';
  return {s.m_sDescription, c == 'U' ? 0 : seconds(s.m_dStart), c,
          bRepeats && s.m_nEndDateSet ? seconds(s.m_dEnd) : -1, c == 'D' ? s.m_nDayCount : 1};
}

}  // namespace

std::string stICalendarSummary::Text() const {
  std::string s = StrFormat("Imported %zu schedule items (%zu not exactly); %zu not imported.", nImported,
                            nInexact, nRefused + nFailed);
  if (nAlready) s += StrFormat(" %zu were in the schedule already.", nAlready);
  for (const std::string& sLine : saLines) s += "\n" + sLine;
  return s;
}

bool CICalendarImport::Import(CTableManager& db, std::string_view sText, stICalendarSummary& summary,
                              std::string& sError, const std::string& sZoneDir) {
  std::vector<stICalendarItem> items;
  if (!CICalendarReader::ReadItems(sText, items, sError, sZoneDir)) return false;
  // A file imported twice, or exported and read back, adds nothing again.
  std::set<ItemKey> existing;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_SCHEDULE))
    existing.insert(KeyOf(static_cast<const CScheduleRecord&>(*e.m_pItem)));
  for (stICalendarItem& r : items) {
    if (r.sRefused.empty() && !existing.insert(KeyOf(r.item)).second) {
      ++summary.nAlready;
      continue;
    }
    if (!r.sRefused.empty()) {
      ++summary.nRefused;
      summary.saLines.push_back("Not imported: " + Label(r) + ": " + r.sRefused + ".");
      continue;
    }
    CScheduleRecord& s = r.item;
    for (const std::string& sName : r.saCategories) {
      const uint32_t nCode = db.FoundCategoryInList(sName);
      if (nCode != DB_NONE && !s.IsCategorySelected(nCode)) s.m_naCategories.push_back(nCode);
      if (nCode == DB_NONE) r.saInexact.push_back("the category " + sName + " could not be added");
    }
    s.m_nContact = ContactCode(db, r.sContact);
    if (!r.sContact.empty() && s.m_nContact == DB_NONE)
      r.saInexact.push_back("no single person is named " + r.sContact);
    if (s.m_nAlarmEnabled) s.m_nAlarmUser = db.m_nUserNumber;
    if (db.AddTableItem(TABLE_SCHEDULE, DB_NONE, &s, false) != eItemResult::Done) {
      ++summary.nFailed;
      summary.saLines.push_back("Not imported: " + Label(r) + ": it could not be saved.");
      continue;
    }
    ++summary.nImported;
    if (r.saInexact.empty()) continue;
    ++summary.nInexact;
    std::string sLine = "Not exactly: " + Label(r) + ": ";
    for (size_t i = 0; i < r.saInexact.size(); ++i) sLine += (i ? "; " : "") + r.saInexact[i];
    summary.saLines.push_back(sLine + ".");
  }
  return true;
}

stICalendarOptions CICalendarImport::ExportOptions(const CDatabase& db) {
  stICalendarOptions opt;
  opt.sDatabase = FileNameOf(db.DatabaseName());
  std::time_t nNow = std::time(nullptr);
  std::tm tmUtc{};
  gmtime_r(&nNow, &tmUtc);
  opt.dStamp = MakeOleDate(tmUtc.tm_year + 1900, tmUtc.tm_mon + 1, tmUtc.tm_mday, tmUtc.tm_hour, tmUtc.tm_min,
                           tmUtc.tm_sec);
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_CATEGORY))
    opt.saCategories[e.m_nCode] = static_cast<const CCategory&>(*e.m_pItem).m_sName;
  for (const stIndex& e : *db.PtrToIndexArray(TABLE_PERSON))
    opt.saContacts[e.m_nCode] = PersonName(static_cast<const CPerson&>(*e.m_pItem));
  return opt;
}
