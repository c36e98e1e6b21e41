// kelvotool commands of the table manager:
//   demo FILE          a new database with a handful of realistic items
//   generate FILE --persons N --schedule N --log N
//                      a new database of many generated items (benchmarks)
//   list FILE TABLE    a table's items as canonical text, one line per item
//   info FILE          the tables' item counts and the settings
// FILE may be given with or without ".dbm". list and info only read the file.

#include <iostream>
#include <random>

#include "data/CDatabase.h"
#include "schedule/OleDate.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

class CUiScope {
 public:
  explicit CUiScope(CUserInterface& ui) { SetUi(&ui); }
  ~CUiScope() { SetUi(nullptr); }
  CUiScope(const CUiScope&) = delete;
  CUiScope& operator=(const CUiScope&) = delete;
};

std::string RootOf(const std::string& sFile) {
  const std::string sExt = ".dbm";
  if (sFile.size() > sExt.size() && sFile.compare(sFile.size() - sExt.size(), sExt.size(), sExt) == 0)
    return sFile.substr(0, sFile.size() - sExt.size());
  return sFile;
}

// ---- canonical text ----

std::string Quote(const std::string& s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F)
          r += StrFormat("\\x%02X", c);
        else
          r += char(c);
    }
  }
  return r + "\"";
}

std::string Code(uint32_t n) { return n == DB_NONE ? "none" : std::to_string(n); }

std::string Char(char c) {
  if (c == 0) return "0";
  if (c > 0x20 && c < 0x7F) return std::string(1, c);
  return StrFormat("\\x%02X", unsigned(uint8_t(c)));
}

std::string Num(double d) { return FormatDouble(d); }

std::string List(const std::vector<uint32_t>& na) {
  std::string s = "[";
  for (size_t i = 0; i < na.size(); ++i) s += (i ? "," : "") + std::to_string(na[i]);
  return s + "]";
}

std::string List(const std::vector<double>& da) {
  std::string s = "[";
  for (size_t i = 0; i < da.size(); ++i) s += (i ? "," : "") + Num(da[i]);
  return s + "]";
}

std::string List(const std::vector<std::string>& sa) {
  std::string s = "[";
  for (size_t i = 0; i < sa.size(); ++i) s += (i ? "," : "") + Quote(sa[i]);
  return s + "]";
}

std::string Text(const CCategory& c) {
  return "code=" + Code(c.m_nCode) + " seq=" + Code(c.m_nSequence) +
         " flag=" + std::to_string(c.m_cFlag) + " name=" + Quote(c.m_sName);
}

std::string Text(const CPerson& p) {
  return "code=" + Code(p.m_nCode) + " seq=" + Code(p.m_nSequence) +
         " flag=" + std::to_string(p.m_cFlag) + " type=" + Char(p.m_cType) +
         " status=" + Char(p.m_cStatus) + " dependent=" + Code(p.m_nDependentOn) +
         " last=" + Quote(p.m_sLastName) + " first=" + Quote(p.m_sFirstName) +
         " address1=" + Quote(p.m_sAddress1) + " address2=" + Quote(p.m_sAddress2) +
         " city=" + Quote(p.m_sCity) + " state=" + Quote(p.m_sState) + " zip=" + Quote(p.m_sZip) +
         " country=" + Quote(p.m_sCountry) + " home=" + Quote(p.m_sHomePhone) +
         " work=" + Quote(p.m_sWorkPhone) + " cell=" + Quote(p.m_sCellPhone) +
         " fax=" + Quote(p.m_sFax) + " email=" + Quote(p.m_sEmail) +
         " comments=" + List(p.m_saComments) + " categories=" + List(p.m_naCategories);
}

std::string Text(const CScheduleRecord& s) {
  return "code=" + Code(s.m_nCode) + " seq=" + Code(s.m_nSequence) +
         " version=" + std::to_string(s.m_cReadVersion) + " description=" + Quote(s.m_sDescription) +
         " repeat=" + Char(s.m_cRepeatType) + " start=" + Num(s.m_dStart) +
         " end_set=" + std::to_string(s.m_nEndDateSet) + " end=" + Num(s.m_dEnd) +
         " alarm=" + std::to_string(s.m_nAlarmEnabled) + " alarm_user=" + Code(s.m_nAlarmUser) +
         " hours_before=" + std::to_string(s.m_nHoursBefore) + " alarm_done=" + Num(s.m_dAlarmDone) +
         " contact=" + Code(s.m_nContact) + " day_count=" + std::to_string(s.m_nDayCount) +
         " categories=" + List(s.m_naCategories);
}

std::string Text(const CLogRecord& l) {
  return "code=" + Code(l.m_nCode) + " seq=" + Code(l.m_nSequence) +
         " version=" + std::to_string(l.m_cReadVersion) + " kind=" + std::to_string(l.m_cKind) +
         " sender=" + std::to_string(l.m_cSender) + " contact=" + Code(l.m_nContact) +
         " text=" + Quote(l.m_sText) + " date=" + Num(l.m_dDate) +
         " categories=" + List(l.m_naCategories);
}

std::string FontText(const stFormatRecord& f) {
  return "face=" + Quote(f.m_sFaceName) + " size=" + std::to_string(f.m_nSize) +
         " scale=" + Num(f.m_fHeightScale) + " charset=" + std::to_string(f.m_cCharSet) +
         " bold=" + std::to_string(f.m_bBold) + " italics=" + std::to_string(f.m_bItalics) +
         " underline=" + std::to_string(f.m_bUnderline) +
         " strikeout=" + std::to_string(f.m_bStrikeOut) + " center=" + std::to_string(f.m_bCenter) +
         " colour=" + std::to_string(f.m_nTextColour);
}

std::string ParametersText(const stVarData& v) {
  std::string s;
  for (const auto& r : CVarData::Ranges()) {
    std::string sLabel = r.m_pLabel;
    for (char& c : sLabel)
      if (c == '\n') c = ' ';
    s += (s.empty() ? "" : " ") + Quote(sLabel) + "=" + std::to_string(v.*r.m_pField);
  }
  return s;
}

// Prints the lines of one table; false for an unknown table name.
bool PrintTable(const CDatabase& db, const std::string& sTable) {
  const auto items = [&](uint8_t nTable, auto fnLine) {
    for (const auto& e : *db.PtrToIndexArray(nTable)) std::cout << fnLine(*e.m_pItem) << "\n";
  };
  if (sTable == "categories" || sTable == "5") {
    items(TABLE_CATEGORY, [](const CDataRecord& r) { return Text(static_cast<const CCategory&>(r)); });
  } else if (sTable == "persons" || sTable == "6") {
    items(TABLE_PERSON, [](const CDataRecord& r) { return Text(static_cast<const CPerson&>(r)); });
  } else if (sTable == "schedule" || sTable == "8") {
    items(TABLE_SCHEDULE, [](const CDataRecord& r) { return Text(static_cast<const CScheduleRecord&>(r)); });
  } else if (sTable == "log" || sTable == "9") {
    items(TABLE_LOG, [](const CDataRecord& r) { return Text(static_cast<const CLogRecord&>(r)); });
  } else if (sTable == "formats" || sTable == "3") {
    for (uint32_t n = 0; n < db.FormatCount(); ++n) {
      const stFormatRecord& f = *db.GetFormat(n);
      std::cout << "code=" << f.m_nCode << " name=" << Quote(db.GetFormatName(n)) << " "
                << FontText(f) << " tabs=" << List(f.m_daTabStops) << "\n";
    }
  } else if (sTable == "layouts" || sTable == "4") {
    for (uint32_t n = 0; n < db.PageLayoutCount(); ++n) {
      const stPageLayout& l = *db.GetPageLayout(n);
      std::cout << "code=" << l.m_nCode << " left=" << Num(l.m_fLeftMargin)
                << " top=" << Num(l.m_fTopMargin) << " bottom=" << Num(l.m_fBottomMargin)
                << " page_flag=" << l.m_nPageFlag << " landscape=" << l.m_nLandscape << " "
                << FontText(l.m_stPageFont) << "\n";
    }
  } else if (sTable == "parameters" || sTable == "2") {
    std::cout << ParametersText(db.GetVarData()) << "\n";
  } else {
    return false;
  }
  return true;
}

// Loads a file for reading; problems go to stderr.
int LoadForReading(CDatabase& db, const std::string& sFile) {
  std::vector<std::string> saProblems;
  const int nOk = db.OpenDatabaseForReading(RootOf(sFile), saProblems);
  for (const auto& s : saProblems) std::cerr << "kelvotool: " << s << "\n";
  return nOk;
}

// ---- writing new databases ----

// Appends a new item at the end of its table: the next key of this copy,
// the next display position. False when it could not be written.
bool AppendItem(CDatabase& db, uint8_t nTable, std::unique_ptr<CDataRecord> pItem) {
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

// Creates the database; fails when the file exists already.
int CreateDatabase(CDatabase& db, const std::string& sFile) {
  const std::string sRoot = RootOf(sFile);
  if (FileExists(sRoot + ".dbm")) {
    ToolError(sRoot + ".dbm exists already");
    return 0;
  }
  if (!db.OpenDatabase(sRoot, 0)) return 0;
  return db.LockDatabase("create items");
}

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

bool WriteDemoItems(CDatabase& db) {
  bool bOk = true;
  for (const char* p : {"Family", "Friends", "Work", "Clients", "Doctors"}) {
    auto c = std::make_unique<CCategory>();
    c->m_sName = p;
    bOk = bOk && AppendItem(db, TABLE_CATEGORY, std::move(c));
  }
  if (!bOk) return false;
  const auto cat = [&](size_t n) { return CodeAt(db, TABLE_CATEGORY, n); };
  auto mueller = MakePerson("M\xC3\xBCller", "J\xC3\xBCrgen", "Hauptstra\xC3\x9F" "e 5", "Hamburg",
                            "", "20095", "+49 40 5550123", "", "juergen.mueller@example.de", {cat(1)},
                            {"Met at the trade fair in Hanover."});
  mueller->m_sCountry = "Germany";
  bOk = AppendItem(db, TABLE_PERSON,
                   MakePerson("Miller", "Anna", "12 Elm Street", "Springfield", "IL", "62704",
                              "217-555-0142", "217-555-0199", "anna.miller@example.com",
                              {cat(0)}, {"Sister-in-law.", "Birthday dinner every March."})) &&
        AppendItem(db, TABLE_PERSON, std::move(mueller)) &&
        AppendItem(db, TABLE_PERSON,
                   MakePerson("Kowalski", "\xC5\x81ukasz", "88 Harbor Road", "Chicago", "IL",
                              "60601", "312-555-0110", "312-555-0187", "lukasz.k@example.com",
                              {cat(2)}, {"Project lead, building B.", "Prefers calls after 10am."})) &&
        AppendItem(db, TABLE_PERSON,
                   MakePerson("Chen", "Grace", "400 Oak Avenue", "Portland", "OR", "97205",
                              "503-555-0163", "503-555-0121", "grace.chen@example.com",
                              {cat(1), cat(3)}, {})) &&
        AppendItem(db, TABLE_PERSON,
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
  if (!AppendItem(db, TABLE_PERSON, std::move(business)) ||
      !AppendItem(db, TABLE_PERSON, std::move(child)))
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
  bOk = AppendItem(db, TABLE_SCHEDULE, MakeSchedule("Dentist appointment", 'O',
                                                    dToday + 2 + 14.5 / 24, person(4), {cat(4)})) &&
        AppendItem(db, TABLE_SCHEDULE, std::move(meeting)) &&
        AppendItem(db, TABLE_SCHEDULE, std::move(pills)) && AppendItem(db, TABLE_SCHEDULE, std::move(rent)) &&
        AppendItem(db, TABLE_SCHEDULE, MakeSchedule("Anna's birthday", 'Y', dBirthday, person(0), {cat(0)})) &&
        AppendItem(db, TABLE_SCHEDULE, MakeSchedule("Clean out the garage", 'U', 0.0, DB_NONE, {})) &&
        AppendItem(db, TABLE_LOG, MakeLog("Called about the quarterly order.", CLogRecord::KIND_EVENT,
                                          dToday - 2 + 11.25 / 24, person(5), {cat(3)})) &&
        AppendItem(db, TABLE_LOG, MakeLog("Sent the project plan for review.", CLogRecord::KIND_EVENT,
                                          dToday - 1 + 16.0 / 24, person(2), {cat(2)})) &&
        AppendItem(db, TABLE_LOG, MakeLog("Lunch with Grace, talked about the new office.",
                                          CLogRecord::KIND_EVENT, dToday - 5 + 12.5 / 24, person(3),
                                          {cat(1)})) &&
        AppendItem(db, TABLE_LOG, MakeLog("Gift ideas: garden tools, a cookbook.", CLogRecord::KIND_NOTE,
                                          0.0, DB_NONE, {cat(0)})) &&
        AppendItem(db, TABLE_LOG, MakeLog("Annual check-up done, next one in a year.",
                                          CLogRecord::KIND_EVENT, dToday - 20 + 9.0 / 24, person(4),
                                          {cat(4)}));
  return bOk;
}

// Deterministic generated data: several phones and e-mail addresses, a
// comment of a few lines, one to three categories per item.
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
    if (!AppendItem(db, TABLE_CATEGORY, std::move(c))) return false;
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
    if (!AppendItem(db, TABLE_PERSON, std::move(p))) return false;
  }
  const double dBase = MakeOleDate(2024, 1, 1);
  static const char kRepeat[] = {'O', 'D', 'W', 'M', 'm', 'Y', 'U'};
  for (long long i = 0; i < nSchedule; ++i) {
    auto s = MakeSchedule(StrFormat("Appointment %lld with %s", i, pick(kLast)), pick(kRepeat),
                          dBase + R(730) + (8 + R(10)) / 24.0, DB_NONE, categories());
    s->m_nAlarmEnabled = int32_t(R(2));
    s->m_nHoursBefore = int32_t(R(24));
    if (!AppendItem(db, TABLE_SCHEDULE, std::move(s))) return false;
  }
  for (long long i = 0; i < nLog; ++i) {
    auto l = MakeLog(StrFormat("Call %lld: discussed the order with %s %s.", i, pick(kFirst), pick(kLast)),
                     CLogRecord::KIND_EVENT, dBase + R(730) + (R(1440)) / 1440.0, DB_NONE,
                     categories());
    if (!AppendItem(db, TABLE_LOG, std::move(l))) return false;
  }
  return true;
}

int FinishNew(CDatabase& db, bool bOk, const std::string& sFile) {
  db.UnlockDatabase();
  db.CloseDatabase();
  if (!bOk) return ToolError("could not write the items to " + RootOf(sFile) + ".dbm");
  std::cout << RootOf(sFile) << ".dbm\n";
  return TOOL_OK;
}

bool ParseCount(const std::string& s, long long& n) { return ParseInt(s, n) && n >= 0 && n <= 10000000; }

const CToolCommand kDemo("demo", "demo FILE            create a demo database with sample items",
                         [](const std::vector<std::string>& args) -> int {
                           if (args.size() != 1) return ToolError("usage: kelvotool demo FILE");
                           CTerminalUi ui(IDNO);
                           CUiScope scope(ui);
                           MakeFolder(FolderOf(args[0]));
                           CDatabase db;
                           if (!CreateDatabase(db, args[0])) return TOOL_ERROR;
                           return FinishNew(db, WriteDemoItems(db), args[0]);
                         });

const CToolCommand kGenerate(
    "generate", "generate FILE --persons N --schedule N --log N  create a database of generated items",
    [](const std::vector<std::string>& args) -> int {
      long long naCounts[3] = {0, 0, 0};
      const char* kFlags[3] = {"--persons", "--schedule", "--log"};
      std::string sFile;
      for (size_t i = 0; i < args.size(); ++i) {
        int nFlag = -1;
        for (int f = 0; f < 3; ++f)
          if (args[i] == kFlags[f]) nFlag = f;
        if (nFlag < 0 && sFile.empty() && args[i].rfind("--", 0) != 0) {
          sFile = args[i];
          continue;
        }
        if (nFlag < 0 || i + 1 >= args.size() || !ParseCount(args[++i], naCounts[nFlag]))
          return ToolError("usage: kelvotool generate FILE --persons N --schedule N --log N");
      }
      if (sFile.empty()) return ToolError("usage: kelvotool generate FILE --persons N --schedule N --log N");
      CTerminalUi ui(IDNO);
      CUiScope scope(ui);
      CDatabase db;
      if (!CreateDatabase(db, sFile)) return TOOL_ERROR;
      return FinishNew(db, WriteGeneratedItems(db, naCounts[0], naCounts[1], naCounts[2]), sFile);
    });

const CToolCommand kList(
    "list", "list FILE TABLE      print a table (categories, persons, schedule, log, formats, layouts, parameters)",
    [](const std::vector<std::string>& args) -> int {
      if (args.size() != 2) return ToolError("usage: kelvotool list FILE TABLE");
      CTerminalUi ui(IDNO);
      CUiScope scope(ui);
      CDatabase db;
      if (!LoadForReading(db, args[0])) return TOOL_ERROR;
      if (!PrintTable(db, args[1])) return ToolError("unknown table '" + args[1] + "'");
      return TOOL_OK;
    });

const CToolCommand kInfo("info", "info FILE            item counts and settings of a database",
                         [](const std::vector<std::string>& args) -> int {
                           if (args.size() != 1) return ToolError("usage: kelvotool info FILE");
                           CTerminalUi ui(IDNO);
                           CUiScope scope(ui);
                           CDatabase db;
                           if (!LoadForReading(db, args[0])) return TOOL_ERROR;
                           std::cout << "Database: " << RootOf(args[0]) << ".dbm\n";
                           std::cout << "Records: " << db.m_caDataHeaders.size() << "\n";
                           for (uint8_t t : {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG})
                             std::cout << db.GetTableName(t) << ": "
                                       << db.PtrToIndexArray(t)->size() << "\n";
                           std::cout << "Parameters: " << ParametersText(db.GetVarData()) << "\n";
                           std::cout << "Formats: " << db.FormatCount()
                                     << ", page layouts: " << db.PageLayoutCount() << "\n";
                           return TOOL_OK;
                         });

}  // namespace
