#include "data/CItemDialogs.h"

#include <algorithm>
#include <array>

#include "data/CDuplicateFinder.h"
#include "data/MessagePrint.h"
#include "network/NetworkHelpers.h"
#include "schedule/OleDate.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

// Multi-line fields (comments, category lists) hold several stored strings.
constexpr int kLongField = 65535;
constexpr int kDayCountMax = 36500;
constexpr int kHoursBeforeMax = 8760;

stEditField Field(const char* pName, std::string sValue, int nMaxLen = int(MAX_STORED_STRING) - 1,
                  int nMin = 0, int nMax = 0) {
  stEditField f;
  f.sName = pName;
  f.sValue = std::move(sValue);
  f.nMaxLen = nMaxLen;
  f.nMin = nMin;
  f.nMax = nMax;
  return f;
}

std::string Value(const stEditForm& form, const char* pName) {
  const std::string* p = form.Find(pName);
  return p ? *p : std::string();
}

// Lines of a multi-line value; a final line break ends the last line.
std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> sa;
  size_t nStart = 0;
  while (nStart < s.size()) {
    size_t nEnd = s.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = s.size();
    std::string sLine = s.substr(nStart, nEnd - nStart);
    if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    sa.push_back(std::move(sLine));
    nStart = nEnd + 1;
  }
  return sa;
}

std::string JoinLines(const std::vector<std::string>& sa) {
  std::string s;
  for (size_t i = 0; i < sa.size(); ++i) s += (i ? "\n" : "") + sa[i];
  return s;
}

bool ParseFlag(const std::string& s, int32_t& n) {
  const std::string t = Trim(s);
  if (t != "0" && t != "1") return false;
  n = t == "1";
  return true;
}

bool ParseNumber(const std::string& s, long long nMin, long long nMax, int32_t& n) {
  long long v = 0;
  if (!ParseInt(Trim(s), v) || v < nMin || v > nMax) return false;
  n = int32_t(v);
  return true;
}

std::string DateText(double dDate) { return FormatDateTime(dDate, kDateTimeFormat); }

// A date and time the dialog shows in a date field; its value stays the text
// ParseDateTimeText reads.
stEditField DateTimeField(const char* pName, double dDate) {
  stEditField f = Field(pName, DateText(dDate), 32);
  f.kind = eFieldKind::DateTime;
  return f;
}

// A user choice "%i: %s" (or a bare number); 0xFFFFFFFF for none or "<None>".
bool ParseUserChoice(const std::string& sText, uint32_t& nUser) {
  const std::string t = Trim(sText);
  nUser = DB_NONE;
  if (t.empty() || t == kNoneChoice) return true;
  long long n = 0;
  if (!ParseInt(t.substr(0, t.find(':')), n) || n < 0 || n > 255) return false;
  nUser = uint32_t(n);
  return true;
}

}  // namespace

bool ParseDateTimeText(const std::string& sText, double& dDate) {
  const std::string s = Trim(sText);
  const size_t nSpace = s.find(' ');
  std::vector<std::string> saDate;
  if (ParseString(s.substr(0, nSpace), "/", saDate) != 3) return false;
  long long m = 0, d = 0, y = 0;
  if (!ParseInt(saDate[0], m) || !ParseInt(saDate[1], d) || !ParseInt(saDate[2], y)) return false;
  if (y < 100) y += 2000;
  long long h = 0, mi = 0, sec = 0;
  if (nSpace != std::string::npos) {
    std::string sTime = ToUpper(Trim(s.substr(nSpace + 1)));
    int nHalf = 0;  // 1 AM, 2 PM
    if (sTime.size() > 2 && (sTime.ends_with("AM") || sTime.ends_with("PM"))) {
      nHalf = sTime.ends_with("AM") ? 1 : 2;
      sTime = Trim(sTime.substr(0, sTime.size() - 2));
    }
    std::vector<std::string> saTime;
    const int n = ParseString(sTime, ":", saTime);
    if (n < 2 || n > 3 || !ParseInt(saTime[0], h) || !ParseInt(saTime[1], mi) ||
        (n == 3 && !ParseInt(saTime[2], sec)))
      return false;
    if (nHalf) {
      if (h < 1 || h > 12) return false;
      h = h % 12 + (nHalf == 2 ? 12 : 0);
    }
  }
  const long long nMax = 1LL << 30;
  if (m < 0 || d < 0 || y < 0 || h < 0 || mi < 0 || sec < 0 || y > nMax) return false;
  dDate = MakeOleDate(int(y), int(m), int(d), int(h), int(mi), int(sec));
  return IsValidOleDate(dDate);
}

// ---- helpers ----

std::string CItemDialogs::GetPersonName(uint32_t nCode, bool bLastFirst, std::string* pLast,
                                        std::string* pFirst) const {
  const auto* p = static_cast<const CPerson*>(GetPointer(TABLE_PERSON, nCode));
  if (!p) return StrFormat("Person code %u", nCode);
  if (pLast) *pLast = p->m_sLastName;
  if (pFirst) *pFirst = p->m_sFirstName;
  if (bLastFirst) return StrFormat("%s, %s", p->m_sLastName.c_str(), p->m_sFirstName.c_str());
  return StrFormat("%s %s", p->m_sFirstName.c_str(), p->m_sLastName.c_str());
}

uint32_t CItemDialogs::SelectPerson(uint32_t /*nCurrent*/, char cType, bool bAllowNone) {
  if (m_caPersonIndex.empty()) {
    GetResponse("No persons specified", MB_OK);
    return DB_NONE;
  }
  std::vector<std::string> saItems;
  std::vector<uint32_t> naCodes;
  if (bAllowNone) {
    saItems.push_back("<none>");
    naCodes.push_back(DB_NONE);
  }
  for (const stIndex& e : m_caPersonIndex) {
    const auto& p = static_cast<const CPerson&>(*e.m_pItem);
    if (cType && p.m_cType != cType) continue;
    saItems.push_back(StrFormat("%s, %s", p.m_sLastName.c_str(), p.m_sFirstName.c_str()));
    naCodes.push_back(e.m_nCode);
  }
  DataRefreshOff("Select person");
  const auto chosen = GetUi().ChooseFromList("Select person", saItems, false);
  DataRefreshOn("Select person");
  if (!chosen || chosen->empty() || (*chosen)[0] < 0 || size_t((*chosen)[0]) >= naCodes.size())
    return DB_NONE;
  return naCodes[size_t((*chosen)[0])];
}

int CItemDialogs::LoadPersonComboMenu(std::vector<stComboItem>& items, uint32_t nSelected) const {
  items.clear();
  items.push_back({kNoneChoice, DB_NONE});
  int nPos = 0;
  for (const stIndex& e : m_caPersonIndex) {
    const auto& p = static_cast<const CPerson&>(*e.m_pItem);
    if (e.m_nCode == nSelected) nPos = int(items.size());
    items.push_back({StrFormat("%s, %s", p.m_sLastName.c_str(), p.m_sFirstName.c_str()), e.m_nCode});
  }
  return nPos;
}

std::string CItemDialogs::GetAlarmUserName(uint32_t nUser) const {
  if (nUser == m_nUserNumber) return GetThisComputerName();
  for (const stUser& u : m_caUsers)
    if (uint32_t(u.m_nUserNumber) == nUser) return u.m_sName;
  return "Unknown user";
}

std::string CItemDialogs::GetCategoryName(uint32_t nCode) const {
  const auto* p = static_cast<const CCategory*>(GetPointer(TABLE_CATEGORY, nCode));
  return p ? p->m_sName : std::string();
}

std::string CItemDialogs::CategoriesText(const std::vector<uint32_t>& naCodes) const {
  std::vector<std::string> sa;
  for (uint32_t n : naCodes) {
    const std::string s = GetCategoryName(n);
    if (!s.empty()) sa.push_back(s);
  }
  return JoinLines(sa);
}

std::string CItemDialogs::CategoriesFromText(const std::string& sText,
                                             std::vector<uint32_t>& naCodes) const {
  std::vector<uint32_t> na;
  for (const std::string& sLine : SplitLines(sText)) {
    const std::string sName = Trim(sLine);
    if (sName.empty()) continue;
    auto it = std::find_if(m_caCategoryIndex.begin(), m_caCategoryIndex.end(), [&](const stIndex& e) {
      return static_cast<const CCategory&>(*e.m_pItem).m_sName == sName;
    });
    if (it == m_caCategoryIndex.end()) return "Unknown category: " + sName;
    if (!CDataRecord::IsCodeInList(na, it->m_nCode)) na.push_back(it->m_nCode);
  }
  naCodes = std::move(na);
  return "";
}

std::string CItemDialogs::ContactFromText(const std::string& sText, uint32_t& nCode) const {
  const std::string t = Trim(sText);
  nCode = DB_NONE;
  if (t.empty() || t == kNoneChoice) return "";
  for (const stIndex& e : m_caPersonIndex)
    if (GetPersonName(e.m_nCode, true) == t) {
      nCode = e.m_nCode;
      return "";
    }
  return "Unknown person: " + t;
}

std::string CItemDialogs::UserChoiceText(uint32_t nUser) const {
  if (nUser > 255) return "";
  return StrFormat("%u: %s", nUser, GetAlarmUserName(nUser).c_str());
}
namespace {
// What a form's take answers for a button that did its work (Print) and
// leaves the dialog open; never shown.
constexpr const char* kShowFormAgain = "\x01";
}  // namespace


eItemResult CItemDialogs::RunForm(stEditForm& form,
                                  const std::function<std::string(const stEditForm&)>& fnTake) {
  DataRefreshOff(form.sDialog);
  int nAnswer = IDCANCEL;
  for (;;) {
    nAnswer = GetUi().EditItem(form);
    if (nAnswer != IDOK) break;
    const std::string sWhy = fnTake(form);
    if (sWhy.empty()) break;
    if (sWhy != kShowFormAgain) GetResponse(sWhy, MB_OK);
  }
  DataRefreshOn(form.sDialog);
  return nAnswer == IDOK ? eItemResult::Done : eItemResult::Cancelled;
}

// ---- the dialogs ----

eItemResult CItemDialogs::EditItemPointer(uint8_t nTable, CDataRecord& item, bool bNew,
                                          const stEditExtra& extra) {
  switch (nTable) {
    case TABLE_CATEGORY: return EditCategory(static_cast<CCategory&>(item), bNew);
    case TABLE_PERSON: return EditPerson(static_cast<CPerson&>(item), bNew);
    case TABLE_SCHEDULE: return EditSchedule(static_cast<CScheduleRecord&>(item), bNew, extra.dDate);
    case TABLE_LOG: return EditLog(static_cast<CLogRecord&>(item), bNew, extra.cKind);
    default: return eItemResult::Cancelled;
  }
}

eItemResult CItemDialogs::EditCategory(CCategory& category, bool bNew) {
  if (bNew) AssignNewCode(TABLE_CATEGORY, category);
  stEditForm form{"Category", "Category", {Field(ItemField::kName, category.m_sName)}};
  return RunForm(form, [&](const stEditForm& f) {
    category.m_sName = Value(f, ItemField::kName);
    return std::string();
  });
}

namespace {

// The thirteen text fields of a person, in dialog order.
std::array<std::pair<const char*, std::string*>, 13> PersonTexts(CPerson& p) {
  return {{{ItemField::kLastName, &p.m_sLastName},   {ItemField::kFirstName, &p.m_sFirstName},
           {ItemField::kAddress1, &p.m_sAddress1},   {ItemField::kAddress2, &p.m_sAddress2},
           {ItemField::kCity, &p.m_sCity},           {ItemField::kState, &p.m_sState},
           {ItemField::kZip, &p.m_sZip},             {ItemField::kCountry, &p.m_sCountry},
           {ItemField::kHomePhone, &p.m_sHomePhone}, {ItemField::kWorkPhone, &p.m_sWorkPhone},
           {ItemField::kCellPhone, &p.m_sCellPhone}, {ItemField::kFax, &p.m_sFax},
           {ItemField::kEmail, &p.m_sEmail}}};
}

std::string StatusText(char cStatus) {
  return cStatus == 'A' ? "A" : cStatus == 'D' ? "D" : "I";
}

// Whether the person is to be saved although it may duplicate another: the
// user is told which one and why, and decides.
bool SaveDespiteDuplicate(const CItemDialogs& db, const CPerson& person) {
  std::string sWhy;
  const uint32_t nOther =
      CDuplicateFinder::FindInTable(person, *db.PtrToIndexArray(TABLE_PERSON), person.m_nCode, &sWhy);
  if (nOther == DB_NONE) return true;
  const std::string sName =
      person.m_cType == 'B' ? person.m_sLastName : person.m_sLastName + ", " + person.m_sFirstName;
  return GetResponse(StrFormat("%s may be a duplicate of %s (%s). Save it anyway?", sName.c_str(),
                               db.GetPersonName(nOther, true).c_str(), sWhy.c_str()),
                     MB_YESNO, 0, IDYES) == IDYES;
}

}  // namespace

eItemResult CItemDialogs::EditPerson(CPerson& person, bool bNew) {
  if (bNew) AssignNewCode(TABLE_PERSON, person);
  stEditForm form{"Address data", "Address data", {}};
  form.fields.push_back(Field(ItemField::kType, std::string(1, person.m_cType), 1));
  form.fields.push_back(Field(ItemField::kStatus, StatusText(person.m_cStatus), 1));
  for (auto& [pName, pText] : PersonTexts(person)) form.fields.push_back(Field(pName, *pText));
  form.fields.push_back(Field(ItemField::kComments, JoinLines(person.m_saComments), kLongField));
  form.fields.push_back(Field(ItemField::kCategories, CategoriesText(person.m_naCategories), kLongField));
  return RunForm(form, [&](const stEditForm& f) {
    CPerson t = person;
    const std::string sType = Trim(Value(f, ItemField::kType));
    if (sType != "P" && sType != "B") return "Invalid type: " + sType;
    const std::string sStatus = Trim(Value(f, ItemField::kStatus));
    if (sStatus != "A" && sStatus != "D" && sStatus != "I") return "Invalid status: " + sStatus;
    t.m_cType = sType[0];
    for (auto& [pName, pText] : PersonTexts(t)) *pText = Value(f, pName);
    if (t.m_cType == 'B') t.m_sFirstName.clear();  // a business has only a name
    t.m_saComments = SplitLines(Value(f, ItemField::kComments));
    for (const std::string& s : t.m_saComments)
      if (s.size() >= MAX_STORED_STRING)
        return StrFormat("A comment line is longer than %u bytes.", MAX_STORED_STRING - 1);
    const std::string sWhy = CategoriesFromText(Value(f, ItemField::kCategories), t.m_naCategories);
    if (!sWhy.empty()) return sWhy;
    const char cStatus = sStatus == "I" ? 0 : sStatus[0];
    if (cStatus == 'D' && (person.m_cStatus != 'D' || person.m_nDependentOn == DB_NONE))
      t.m_nDependentOn = SelectPerson(person.m_nDependentOn, 0, true);
    t.SetStatus(cStatus);
    if ((bNew || CDuplicateFinder::KeysDiffer(person, t)) && !SaveDespiteDuplicate(*this, t))
      return std::string(kShowFormAgain);
    person = std::move(t);
    return std::string();
  });
}

eItemResult CItemDialogs::EditSchedule(CScheduleRecord& item, bool bNew, double dDate) {
  if (bNew) {
    AssignNewCode(TABLE_SCHEDULE, item);
    if (dDate != 0.0) {
      item.m_dStart = dDate;
      item.m_cRepeatType = 'O';
    }
  }
  std::string sContact = kNoneChoice;
  if (item.m_nContact != DB_NONE) sContact = GetPersonName(item.m_nContact, true);
  stEditForm form{"Schedule event", "Schedule event", {}};
  form.fields = {Field(ItemField::kDescription, item.m_sDescription),
                 Field(ItemField::kRepeatType, std::string(1, item.m_cRepeatType), 1),
                 DateTimeField(ItemField::kStart, item.m_dStart),
                 Field(ItemField::kEndDateSet, std::to_string(item.m_nEndDateSet), 1, 0, 1),
                 DateTimeField(ItemField::kEnd, item.m_dEnd),
                 Field(ItemField::kDayCount, std::to_string(item.m_nDayCount), 6, 1, kDayCountMax),
                 Field(ItemField::kContact, sContact),
                 Field(ItemField::kAlarmEnabled, std::to_string(item.m_nAlarmEnabled), 1, 0, 1),
                 Field(ItemField::kAlarmUser,
                       item.m_nAlarmUser == DB_NONE ? kNoneChoice : UserChoiceText(item.m_nAlarmUser)),
                 Field(ItemField::kHoursBefore, std::to_string(item.m_nHoursBefore), 5, 0, kHoursBeforeMax),
                 Field(ItemField::kCategories, CategoriesText(item.m_naCategories), kLongField)};
  return RunForm(form, [&](const stEditForm& f) {
    CScheduleRecord t = item;
    t.m_sDescription = Value(f, ItemField::kDescription);
    if (Trim(t.m_sDescription).empty()) return std::string("Please enter description.");
    const std::string sType = Trim(Value(f, ItemField::kRepeatType));
    if (sType.size() != 1 || std::string("ODWMmYU").find(sType[0]) == std::string::npos)
      return "Invalid repeat type: " + sType;
    t.m_cRepeatType = sType[0];
    if (!ParseDateTimeText(Value(f, ItemField::kStart), t.m_dStart))
      return "Invalid date: " + Value(f, ItemField::kStart);
    if (!ParseFlag(Value(f, ItemField::kEndDateSet), t.m_nEndDateSet))
      return "Invalid end date flag: " + Value(f, ItemField::kEndDateSet);
    if (t.m_nEndDateSet && !ParseDateTimeText(Value(f, ItemField::kEnd), t.m_dEnd))
      return "Invalid date: " + Value(f, ItemField::kEnd);
    // An every-N-days item needs N of 1 or more, or it would never move on.
    if (!ParseNumber(Value(f, ItemField::kDayCount), 1, kDayCountMax, t.m_nDayCount))
      return std::string("Please enter a day count of 1 or more.");
    std::string sWhy = ContactFromText(Value(f, ItemField::kContact), t.m_nContact);
    if (!sWhy.empty()) return sWhy;
    if (!ParseFlag(Value(f, ItemField::kAlarmEnabled), t.m_nAlarmEnabled))
      return "Invalid alarm flag: " + Value(f, ItemField::kAlarmEnabled);
    if (!ParseUserChoice(Value(f, ItemField::kAlarmUser), t.m_nAlarmUser))
      return "Unknown user: " + Value(f, ItemField::kAlarmUser);
    if (t.m_nAlarmEnabled && t.m_nAlarmUser == DB_NONE)
      return std::string("No user selected for alarm.");
    if (!ParseNumber(Value(f, ItemField::kHoursBefore), 0, kHoursBeforeMax, t.m_nHoursBefore))
      return "Invalid hours before: " + Value(f, ItemField::kHoursBefore);
    sWhy = CategoriesFromText(Value(f, ItemField::kCategories), t.m_naCategories);
    if (!sWhy.empty()) return sWhy;
    item = std::move(t);
    return std::string();
  });
}

eItemResult CItemDialogs::EditLog(CLogRecord& entry, bool bNew, char cKind) {
  if (bNew) {
    AssignNewCode(TABLE_LOG, entry);
    entry.m_cKind = CLogRecord::KindFromToken(cKind);
  }
  if (entry.m_cKind == CLogRecord::KIND_NOTE) {
    stEditForm form{"Note", "Note", {Field(ItemField::kNote, entry.m_sText)}};
    return RunForm(form, [&](const stEditForm& f) {
      entry.m_sText = Value(f, ItemField::kNote);
      return std::string();
    });
  }
  if (entry.m_cKind == CLogRecord::KIND_UNREAD_MESSAGE || entry.m_cKind == CLogRecord::KIND_READ_MESSAGE)
    return EditUserMessage(entry, cKind == 'M');
  std::string sContact = kNoneChoice;
  if (entry.m_nContact != DB_NONE) sContact = GetPersonName(entry.m_nContact, true);
  stEditForm form{"Log event", "Log event", {}};
  form.fields = {Field(ItemField::kDescription, entry.m_sText),
                 DateTimeField(ItemField::kDate, entry.m_dDate),
                 Field(ItemField::kUndated, "0", 1, 0, 1), Field(ItemField::kContact, sContact),
                 Field(ItemField::kCategories, CategoriesText(entry.m_naCategories), kLongField)};
  return RunForm(form, [&](const stEditForm& f) {
    CLogRecord t = entry;
    t.m_sText = Value(f, ItemField::kDescription);
    if (Trim(t.m_sText).empty()) return std::string("Please enter description.");
    int32_t nUndated = 0;
    if (!ParseFlag(Value(f, ItemField::kUndated), nUndated))
      return "Invalid undated flag: " + Value(f, ItemField::kUndated);
    if (nUndated) {
      t.m_cKind = CLogRecord::KIND_NOTE;
      t.m_dDate = 0.0;
    } else if (!ParseDateTimeText(Value(f, ItemField::kDate), t.m_dDate)) {
      return "Invalid date: " + Value(f, ItemField::kDate);
    }
    std::string sWhy = ContactFromText(Value(f, ItemField::kContact), t.m_nContact);
    if (!sWhy.empty()) return sWhy;
    sWhy = CategoriesFromText(Value(f, ItemField::kCategories), t.m_naCategories);
    if (!sWhy.empty()) return sWhy;
    entry = std::move(t);
    return std::string();
  });
}

eItemResult CItemDialogs::EditUserMessage(CLogRecord& entry, bool bSend) {
  stEditForm form{"Message to user", "Message to user", {}};
  const uint8_t nFrom = bSend ? m_nUserNumber : entry.m_cSender;
  form.fields = {Field(ItemField::kFrom, GetUserName(nFrom)),
                 Field(ItemField::kSent, DateText(bSend ? GetCurrentTimeMillisec() : entry.m_dDate)),
                 Field(ItemField::kTo, bSend ? UserChoiceText(entry.m_nContact) : std::string()),
                 Field(ItemField::kText, entry.m_sText)};
  if (!bSend) form.fields.push_back(Field(ItemField::kAction, "Mark as read"));
  return RunForm(form, [&](const stEditForm& f) {
    const std::string sText = Value(f, ItemField::kText);
    // A received message also has "Print": the text goes to paper and the
    // dialog stays open, the record unchanged.
    const std::string sAction = Trim(Value(f, ItemField::kAction));
    if (!bSend && sAction == "Print") {
      PrintMessageText(sText);
      return std::string(kShowFormAgain);
    }
    const bool bReply = bSend || sAction == "Send reply";
    if (!bReply) {
      if (!Trim(sText).empty()) entry.m_cKind = CLogRecord::KIND_READ_MESSAGE;
      return std::string();
    }
    if (bSend && Trim(sText).empty()) return std::string("Please enter message.");
    uint32_t nTo = DB_NONE;
    if (!ParseUserChoice(Value(f, ItemField::kTo), nTo) || nTo == DB_NONE)
      return std::string("Please select user recipient.");
    entry.m_sText = sText;
    entry.m_cKind = CLogRecord::KIND_UNREAD_MESSAGE;
    entry.m_cSender = m_nUserNumber;
    entry.m_nContact = nTo;
    entry.m_dDate = GetCurrentTimeMillisec();
    return std::string();
  });
}
