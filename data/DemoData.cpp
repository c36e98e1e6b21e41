#include "data/DemoData.h"

#include <algorithm>
#include <random>

#include "data/CDatabase.h"
#include "schedule/OleDate.h"
#include "support/StringUtil.h"

namespace {

uint32_t CodeAt(const CDatabase& db, uint8_t nTable, size_t nPos) {
  return (*db.PtrToIndexArray(nTable))[nPos].m_nCode;
}

std::unique_ptr<CPerson> MakePerson(const char* pLast, const char* pFirst, const char* pAddress,
                                    const char* pCity, const char* pState, const char* pZip,
                                    const char* pHome, const char* pCell, const char* pEmail,
                                    std::vector<uint32_t> naCategories,
                                    std::vector<std::string> saComments) {
  auto p = std::make_unique<CPerson>();
  p->m_sLastName = pLast;
  p->m_sFirstName = pFirst;
  p->m_sAddress1 = pAddress;
  p->m_sCity = pCity;
  p->m_sState = pState;
  p->m_sZip = pZip;
  p->m_sCountry = "USA";
  p->m_sHomePhone = pHome;
  p->m_sCellPhone = pCell;
  p->m_sEmail = pEmail;
  p->m_naCategories = std::move(naCategories);
  p->m_saComments = std::move(saComments);
  return p;
}

std::unique_ptr<CScheduleRecord> MakeSchedule(const std::string& sText, char cRepeat, double dStart,
                                              uint32_t nContact, std::vector<uint32_t> naCategories) {
  auto s = std::make_unique<CScheduleRecord>();
  s->m_sDescription = sText;
  s->m_cRepeatType = cRepeat;
  s->m_dStart = dStart;
  s->m_nContact = nContact;
  s->m_naCategories = std::move(naCategories);
  return s;
}

std::unique_ptr<CLogRecord> MakeLog(const std::string& sText, uint8_t cKind, double dDate,
                                    uint32_t nContact, std::vector<uint32_t> naCategories) {
  auto l = std::make_unique<CLogRecord>(dDate);
  l->m_sText = sText;
  l->m_cKind = cKind;
  l->m_nContact = nContact;
  l->m_naCategories = std::move(naCategories);
  return l;
}

}  // namespace

bool AppendGeneratedItem(CDatabase& db, uint8_t nTable, std::unique_ptr<CDataRecord> pItem) {
  const uint32_t nCode = db.GetNextKey(nTable);
  if (nCode == DB_NONE) return false;
  const uint32_t nSequence = uint32_t(db.PtrToIndexArray(nTable)->size());
  CDatabase::SetItemCode(nTable, *pItem, nCode);
  CDatabase::SetItemSequence(nTable, *pItem, nSequence);
  const uint32_t nLoc = db.WriteEncodedRecord(nTable, nCode, [&](stRecordBuffer& b) {
    return CDatabase::EncodeItem(nTable, *pItem, b);
  });
  if (nLoc == DB_NONE) return false;
  db.AddIndex(nTable, std::move(pItem), nCode, nSequence, nLoc, INSERT_AT_END, DB_NONE);
  return true;
}

bool WriteDemoItems(CDatabase& db) {
  bool bOk = true;
  for (const char* p : {"Family", "Friends", "Work", "Clients", "Doctors"}) {
    auto c = std::make_unique<CCategory>();
    c->m_sName = p;
    bOk = bOk && AppendGeneratedItem(db, TABLE_CATEGORY, std::move(c));
  }
  if (!bOk) return false;
  const auto cat = [&](size_t n) { return CodeAt(db, TABLE_CATEGORY, n); };
  auto mueller = MakePerson("M\xC3\xBCller", "J\xC3\xBCrgen", "Hauptstra\xC3\x9F" "e 5", "Hamburg",
                            "", "20095", "+49 40 5550123", "", "juergen.mueller@example.de", {cat(1)},
                            {"Met at the trade fair in Hanover."});
  mueller->m_sCountry = "Germany";
  bOk = AppendGeneratedItem(db, TABLE_PERSON,
                   MakePerson("Miller", "Anna", "12 Elm Street", "Springfield", "IL", "62704",
                              "217-555-0142", "217-555-0199", "anna.miller@example.com",
                              {cat(0)}, {"Sister-in-law.", "Birthday dinner every March."})) &&
        AppendGeneratedItem(db, TABLE_PERSON, std::move(mueller)) &&
        AppendGeneratedItem(db, TABLE_PERSON,
                   MakePerson("Kowalski", "\xC5\x81ukasz", "88 Harbor Road", "Chicago", "IL",
                              "60601", "312-555-0110", "312-555-0187", "lukasz.k@example.com",
                              {cat(2)}, {"Project lead, building B.", "Prefers calls after 10am."})) &&
        AppendGeneratedItem(db, TABLE_PERSON,
                   MakePerson("Chen", "Grace", "400 Oak Avenue", "Portland", "OR", "97205",
                              "503-555-0163", "503-555-0121", "grace.chen@example.com",
                              {cat(1), cat(3)}, {})) &&
        AppendGeneratedItem(db, TABLE_PERSON,
                   MakePerson("Patel", "Ravi", "17 Medical Plaza", "Springfield", "IL", "62701",
                              "", "217-555-0177", "office@patel-clinic.example.com", {cat(4)},
                              {"Family doctor.", "Office hours Mon-Fri 8-5."}));
  if (!bOk) return false;
  auto business = MakePerson("Acme Office Supply", "", "1 Industrial Way", "Springfield", "IL",
                             "62702", "", "", "orders@acme.example.com", {cat(3)},
                             {"Account number 44-1029."});
  business->m_cType = 'B';
  business->m_sWorkPhone = "217-555-0100";
  business->m_sFax = "217-555-0101";
  auto child = MakePerson("Miller", "Tom", "12 Elm Street", "Springfield", "IL", "62704",
                          "217-555-0142", "", "", {cat(0)}, {});
  child->m_cStatus = 'D';
  child->m_nDependentOn = CodeAt(db, TABLE_PERSON, 0);
  if (!AppendGeneratedItem(db, TABLE_PERSON, std::move(business)) ||
      !AppendGeneratedItem(db, TABLE_PERSON, std::move(child)))
    return false;

  const auto person = [&](size_t n) { return CodeAt(db, TABLE_PERSON, n); };
  const double dToday = GetCurrentDate() - 0.5;  // midnight today
  stDateTime now;
  SplitOleDate(dToday, now);
  const double dBirthday = MakeOleDate(now.nYear, now.nMonth, std::min(now.nDay + 9, 28), 0, 0);
  auto meeting = MakeSchedule("Team meeting", 'W', dToday + 1 + 10.0 / 24, DB_NONE, {cat(2)});
  meeting->m_nAlarmEnabled = 1;
  meeting->m_nHoursBefore = 1;
  meeting->m_nAlarmUser = db.m_nUserNumber;
  auto pills = MakeSchedule("Refill prescription", 'D', dToday + 3 + 9.0 / 24, person(4), {cat(4)});
  pills->m_nDayCount = 30;
  auto rent = MakeSchedule("Pay rent", 'M', MakeOleDate(now.nYear, now.nMonth, 1, 9, 0), DB_NONE, {});
  rent->m_nEndDateSet = 1;
  rent->m_dEnd = rent->m_dStart + 365;
  // The second Thursday of this month (GetDayOfWeek: 5), one of the days 8 to 14.
  double dClub = MakeOleDate(now.nYear, now.nMonth, 8, 19, 0);
  while (GetDayOfWeek(dClub) != 5) dClub += 1;
  bOk = AppendGeneratedItem(db, TABLE_SCHEDULE, MakeSchedule("Dentist appointment", 'O',
                                                    dToday + 2 + 14.5 / 24, person(4), {cat(4)})) &&
        AppendGeneratedItem(db, TABLE_SCHEDULE, std::move(meeting)) &&
        AppendGeneratedItem(db, TABLE_SCHEDULE, std::move(pills)) && AppendGeneratedItem(db, TABLE_SCHEDULE, std::move(rent)) &&
        AppendGeneratedItem(db, TABLE_SCHEDULE, MakeSchedule("Anna's birthday", 'Y', dBirthday, person(0), {cat(0)})) &&
        AppendGeneratedItem(db, TABLE_SCHEDULE, MakeSchedule("Book club", 'm', dClub, person(3), {cat(1)})) &&
        AppendGeneratedItem(db, TABLE_SCHEDULE, MakeSchedule("Clean out the garage", 'U', 0.0, DB_NONE, {})) &&
        AppendGeneratedItem(db, TABLE_LOG, MakeLog("Called about the quarterly order.", CLogRecord::KIND_EVENT,
                                          dToday - 2 + 11.25 / 24, person(5), {cat(3)})) &&
        AppendGeneratedItem(db, TABLE_LOG, MakeLog("Sent the project plan for review.", CLogRecord::KIND_EVENT,
                                          dToday - 1 + 16.0 / 24, person(2), {cat(2)})) &&
        AppendGeneratedItem(db, TABLE_LOG, MakeLog("Lunch with Grace, talked about the new office.",
                                          CLogRecord::KIND_EVENT, dToday - 5 + 12.5 / 24, person(3),
                                          {cat(1)})) &&
        AppendGeneratedItem(db, TABLE_LOG, MakeLog("Gift ideas: garden tools, a cookbook.", CLogRecord::KIND_NOTE,
                                          0.0, DB_NONE, {cat(0)})) &&
        AppendGeneratedItem(db, TABLE_LOG, MakeLog("Annual check-up done, next one in a year.",
                                          CLogRecord::KIND_EVENT, dToday - 20 + 9.0 / 24, person(4),
                                          {cat(4)}));
  return bOk;
}

bool WriteGeneratedItems(CDatabase& db, long long nPersons, long long nSchedule, long long nLog) {
  static const char* kFirst[] = {"Anna", "Ben", "Clara", "David", "Emma", "Felix", "Grace", "Hugo",
                                 "Ines", "Jonas", "Kira", "Liam", "Mia", "Noah", "Olga", "Paul"};
  static const char* kLast[] = {"Miller", "Schmidt", "Chen", "Patel", "Novak", "Garcia", "Kim",
                                "Rossi", "Dubois", "Larsen", "Silva", "Okafor", "Tanaka", "Weber"};
  static const char* kCity[] = {"Springfield", "Portland", "Chicago", "Austin", "Denver", "Boston"};
  std::mt19937 rng(20240601);
  const auto R = [&](uint32_t n) { return unsigned(rng() % n); };
  const auto pick = [&](auto& a) { return a[R(uint32_t(sizeof a / sizeof a[0]))]; };
  const auto phone = [&] { return StrFormat("%03u-555-%04u", 200 + R(700), R(10000)); };
  for (const char* p : {"Family", "Friends", "Work", "Clients", "Suppliers", "Doctors", "Club", "Press"}) {
    auto c = std::make_unique<CCategory>();
    c->m_sName = p;
    if (!AppendGeneratedItem(db, TABLE_CATEGORY, std::move(c))) return false;
  }
  const auto categories = [&] {
    std::vector<uint32_t> na;
    for (uint32_t n = R(3) + 1; n > 0; --n) na.push_back(CodeAt(db, TABLE_CATEGORY, R(8)));
    return na;
  };
  for (long long i = 0; i < nPersons; ++i) {
    const std::string sFirst = pick(kFirst), sLast = pick(kLast);
    auto p = MakePerson(sLast.c_str(), sFirst.c_str(),
                        StrFormat("%u %s Street", 1 + R(999), pick(kLast)).c_str(), pick(kCity),
                        "IL", StrFormat("%05u", R(100000)).c_str(), phone().c_str(),
                        phone().c_str(),
                        StrFormat("%s.%s%lld@example.com", ToLower(sFirst).c_str(),
                                  ToLower(sLast).c_str(), i)
                            .c_str(),
                        categories(),
                        {StrFormat("Customer since %u.", 1990 + R(35)), "Prefers e-mail.",
                         StrFormat("Account %u-%u.", R(1000), R(10000))});
    p->m_sWorkPhone = phone();
    if (!AppendGeneratedItem(db, TABLE_PERSON, std::move(p))) return false;
  }
  const double dBase = MakeOleDate(2024, 1, 1);
  static const char kRepeat[] = {'O', 'D', 'W', 'M', 'm', 'Y', 'U'};
  for (long long i = 0; i < nSchedule; ++i) {
    auto s = MakeSchedule(StrFormat("Appointment %lld with %s", i, pick(kLast)), pick(kRepeat),
                          dBase + R(730) + (8 + R(10)) / 24.0, DB_NONE, categories());
    s->m_nAlarmEnabled = int32_t(R(2));
    s->m_nHoursBefore = int32_t(R(24));
    if (!AppendGeneratedItem(db, TABLE_SCHEDULE, std::move(s))) return false;
  }
  for (long long i = 0; i < nLog; ++i) {
    auto l = MakeLog(StrFormat("Call %lld: discussed the order with %s %s.", i, pick(kFirst), pick(kLast)),
                     CLogRecord::KIND_EVENT, dBase + R(730) + (R(1440)) / 1440.0, DB_NONE,
                     categories());
    if (!AppendGeneratedItem(db, TABLE_LOG, std::move(l))) return false;
  }
  return true;
}
