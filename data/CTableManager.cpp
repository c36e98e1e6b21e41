#include "data/CTableManager.h"

#include <algorithm>
#include <cassert>

#include "data/HeapSort.h"
#include "data/ItemSortKeys.h"
#include "data/ScheduleRecurrence.h"
#include "schedule/OleDate.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

// Sorts the index by the keys unless they are in order already; equal keys
// go by code. True when the order changed.
template <class Key, class Before>
bool SortByKeys(CIndexArray& ia, std::vector<Key>& keys, Before bKeyBefore) {
  bool bInOrder = true;
  for (size_t i = 1; i < ia.size() && bInOrder; ++i)
    bInOrder = bKeyBefore(keys[i - 1], keys[i]) ||
               (!bKeyBefore(keys[i], keys[i - 1]) && ia[i - 1].m_nCode < ia[i].m_nCode);
  if (bInOrder) return false;
  HeapSortWithKeys(ia, keys, bKeyBefore, CodeBefore<stIndex>);
  return true;
}

template <class T>
void ListItems(CIndexArray& ia, std::vector<T*>& pa) {
  pa.clear();
  pa.reserve(ia.size());
  for (stIndex& e : ia) pa.push_back(static_cast<T*>(e.m_pItem.get()));
}

}  // namespace

// ---- order ----

bool CTableManager::EntryBefore(uint8_t nTable, const stIndex& a, const stIndex& b) {
  int n = 0;
  switch (nTable) {
    case TABLE_PERSON:
      n = ComparePersonKeys(static_cast<const CPerson&>(*a.m_pItem),
                            static_cast<const CPerson&>(*b.m_pItem));
      break;
    case TABLE_SCHEDULE:
      n = CompareScheduleKeys(static_cast<const CScheduleRecord&>(*a.m_pItem),
                              static_cast<const CScheduleRecord&>(*b.m_pItem));
      break;
    case TABLE_LOG: {  // newest first
      const double da = LogSortDate(static_cast<const CLogRecord&>(*a.m_pItem));
      const double db = LogSortDate(static_cast<const CLogRecord&>(*b.m_pItem));
      n = DateBefore(db, da) ? -1 : DateBefore(da, db) ? 1 : 0;
      break;
    }
    default: break;  // categories keep the order of adding
  }
  return n != 0 ? n < 0 : a.m_nCode < b.m_nCode;
}

bool CTableManager::TableInOrder(uint8_t nTable) const {
  const CIndexArray* p = PtrToIndexArray(nTable);
  if (!p || nTable == TABLE_CATEGORY) return false;
  for (size_t i = 1; i < p->size(); ++i)
    if (!EntryBefore(nTable, (*p)[i - 1], (*p)[i])) return false;
  return true;
}

void CTableManager::SortTable(uint8_t nTable) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return;
  if (TableInOrder(nTable)) {
    // Persons, schedule items and log entries are checked without building keys.
  } else if (nTable == TABLE_PERSON || nTable == TABLE_SCHEDULE) {
    std::vector<std::string> saKeys;
    saKeys.reserve(p->size());
    for (const stIndex& e : *p)
      saKeys.push_back(nTable == TABLE_PERSON
                           ? PersonSortKey(static_cast<const CPerson&>(*e.m_pItem))
                           : ScheduleSortKey(static_cast<const CScheduleRecord&>(*e.m_pItem)));
    SortByKeys(*p, saKeys, TextBefore);
  } else if (nTable == TABLE_LOG) {
    std::vector<double> daKeys;
    daKeys.reserve(p->size());
    for (const stIndex& e : *p) daKeys.push_back(LogSortDate(static_cast<const CLogRecord&>(*e.m_pItem)));
    SortByKeys(*p, daKeys, [](double a, double b) { return DateBefore(b, a); });  // newest first
  }
  if (!TestIndexArray(*p)) StoreTableOrder(nTable);
}

void CTableManager::StoreTableOrder(uint8_t nTable) {
  if (DbLockDepth() > 0) {
    SaveTableSequence(nTable, true);
    return;
  }
  if (!IsFileLoaded() || RefreshState().IsRefreshing()) return;
  // Sequences are stored only under the database lock, on top of the
  // current state: the refresh may bring changes, so the table is sorted
  // again once the lock is held.
  CBusyScope busy;
  if (!LockAndRefreshDatabase("save sequence")) return;
  SortTable(nTable);
  UnlockDatabase();
}

void CTableManager::SortRecordsPerson() { SortTable(TABLE_PERSON); }
void CTableManager::SortRecordsSchedule() { SortTable(TABLE_SCHEDULE); }
void CTableManager::SortRecordsLog() { SortTable(TABLE_LOG); }

int CTableManager::RestoreTableOrder(uint8_t nTable, uint32_t nCode) {
  assert(HoldsDatabaseLock());
  CIndexArray* p = PtrToIndexArray(nTable);
  const uint32_t nPos = LocateIndex(nTable, nCode);
  if (!p || nPos == DB_NONE) return 1;
  // Only the changed item can be out of place: the rest stands in the order
  // the last sort or the last writer stored (the views' lists check the
  // whole table). So the item is tested against its neighbours only, and
  // when it is out of place it moves to the place a binary search finds
  // among the rest, where a sort puts it. Categories keep the order of adding.
  auto before = [&](const stIndex& a, const stIndex& b) { return EntryBefore(nTable, a, b); };
  const bool bInPlace = nTable == TABLE_CATEGORY ||
                        ((nPos == 0 || before((*p)[nPos - 1], (*p)[nPos])) &&
                         (nPos + 1 >= p->size() || before((*p)[nPos], (*p)[nPos + 1])));
  if (!bInPlace) {
    stIndex moved = std::move((*p)[nPos]);
    p->erase(p->begin() + nPos);
    p->insert(std::upper_bound(p->begin(), p->end(), moved, before), std::move(moved));
  }
  // Only the entries between the old and the new place changed their
  // sequence; the store writes just those.
  return SaveTableSequence(nTable, true);
}

void CTableManager::OnTableRefreshed(uint8_t nTable) {
  if (nTable == TABLE_SCHEDULE || nTable == TABLE_ALL) ShowUnscheduled();
  CItemDialogs::OnTableRefreshed(nTable);
}

// ---- lists ----

void CTableManager::GetPersonPointerArray(std::vector<CPerson*>& pa, bool bAll) {
  SortRecordsPerson();
  ListItems(m_caPersonIndex, pa);
  if (!bAll) std::erase_if(pa, [](const CPerson* p) { return p->m_cStatus != 'A'; });
}

void CTableManager::GetSchedulePointerArray(std::vector<CScheduleRecord*>& pa) {
  SortRecordsSchedule();
  ListItems(m_caScheduleIndex, pa);
}

void CTableManager::GetLogPointerArray(std::vector<CLogRecord*>& pa) {
  SortRecordsLog();
  ListItems(m_caLogIndex, pa);
}

void CTableManager::GetCategoryList(std::vector<CCategory*>& pa) { ListItems(m_caCategoryIndex, pa); }

// ---- lookups ----

CPerson* CTableManager::FoundPersonInList(const std::string& sLast, const std::string& sFirst) {
  for (stIndex& e : m_caPersonIndex) {
    auto* p = static_cast<CPerson*>(e.m_pItem.get());
    if (p->m_sLastName == sLast && p->m_sFirstName == sFirst) return p;
  }
  return nullptr;
}

namespace {
std::string TrimRight(const std::string& s) {
  const size_t n = s.find_last_not_of(" \t\r\n\f\v");
  return n == std::string::npos ? std::string() : s.substr(0, n + 1);
}
}  // namespace

bool CTableManager::FoundLogInList(const std::string& sText) const {
  const std::string sWanted = TrimRight(sText);
  return std::any_of(m_caLogIndex.begin(), m_caLogIndex.end(), [&](const stIndex& e) {
    return TrimRight(static_cast<const CLogRecord&>(*e.m_pItem).m_sText) == sWanted;
  });
}

uint32_t CTableManager::FoundCategoryInList(const std::string& sName) {
  for (const stIndex& e : m_caCategoryIndex)
    if (static_cast<const CCategory&>(*e.m_pItem).m_sName == sName) return e.m_nCode;
  CCategory category;
  category.m_sName = sName;
  uint32_t nCode = DB_NONE;
  return AddTableItem(TABLE_CATEGORY, DB_NONE, &category, false, {}, &nCode) == eItemResult::Done
             ? nCode
             : DB_NONE;
}

// ---- categories ----

std::vector<std::pair<uint8_t, uint32_t>> CTableManager::ItemsUsingCategory(uint32_t nCode) const {
  std::vector<std::pair<uint8_t, uint32_t>> items;
  for (const stIndex& e : m_caPersonIndex)
    if (static_cast<const CPerson&>(*e.m_pItem).IsCategorySelected(nCode))
      items.emplace_back(TABLE_PERSON, e.m_nCode);
  for (const stIndex& e : m_caScheduleIndex)
    if (static_cast<const CScheduleRecord&>(*e.m_pItem).IsCategorySelected(nCode))
      items.emplace_back(TABLE_SCHEDULE, e.m_nCode);
  for (const stIndex& e : m_caLogIndex)
    if (static_cast<const CLogRecord&>(*e.m_pItem).IsCategorySelected(nCode))
      items.emplace_back(TABLE_LOG, e.m_nCode);
  return items;
}

bool CTableManager::IsCategoryUsed(uint32_t nCode) const { return !ItemsUsingCategory(nCode).empty(); }

std::vector<std::string> CTableManager::CategoryListLines(std::vector<uint32_t>& naCodes) const {
  std::vector<std::string> saLines;
  naCodes.clear();
  for (const stIndex& e : m_caCategoryIndex) {
    const std::string& sName = static_cast<const CCategory&>(*e.m_pItem).m_sName;
    saLines.push_back(IsCategoryUsed(e.m_nCode) ? sName : StrFormat("%s (not used)", sName.c_str()));
    naCodes.push_back(e.m_nCode);
  }
  return saLines;
}

eItemResult CTableManager::CategoryListCommand(eCategoryCommand nCommand, int nSelected,
                                               const std::vector<uint32_t>& naCodes) {
  if (nCommand == eCategoryCommand::Add)
    return AddTableItem(TABLE_CATEGORY, DB_NONE, nullptr, false);
  if (nSelected < 0 || size_t(nSelected) >= naCodes.size()) {
    GetResponse("No Category selected", MB_OK);
    return eItemResult::Cancelled;
  }
  const uint32_t nCode = naCodes[size_t(nSelected)];
  if (nCommand == eCategoryCommand::Delete) return DeleteTableItem(TABLE_CATEGORY, nCode, true);
  return EditTableItem(TABLE_CATEGORY, nCode);
}

// ---- per-table deletion rules ----

bool CTableManager::OKtoDeleteItem(uint8_t nTable, uint32_t nCode) {
  std::string sQuestion;
  switch (nTable) {
    case TABLE_CATEGORY:
      if (!IsCategoryUsed(nCode)) return true;
      sQuestion = "Category is reference in database. Are you sure you want to delete it?";
      break;
    case TABLE_PERSON: sQuestion = "Are you sure you want to delete person and associated data?"; break;
    case TABLE_SCHEDULE: {
      const auto* p = static_cast<const CScheduleRecord*>(GetPointer(TABLE_SCHEDULE, nCode));
      sQuestion = StrFormat("Are you sure you want to delete schedule item: %s?",
                            p ? p->m_sDescription.c_str() : "");
      break;
    }
    case TABLE_LOG: sQuestion = "Are you sure you want to delete logged data?"; break;
    default: return false;
  }
  return GetResponse(sQuestion, MB_YESNO) == IDYES;
}

bool CTableManager::DeleteItemInFile(uint8_t nTable, uint32_t nCode, uint32_t nFileLoc) {
  assert(HoldsDatabaseLock());
  if (nTable == TABLE_CATEGORY) {
    const auto items = ItemsUsingCategory(nCode);
    // An item another user has locked would keep the code after the
    // category is gone: refuse before anything is changed.
    for (const auto& [t, c] : items)
      if (IsLockedByOther(t, c)) {
        GetResponse(StrFormat("%s locked by another user", GetTableName(t).c_str()), MB_OK);
        return false;
      }
    for (const auto& [t, c] : items) {
      const uint32_t nCategory = nCode;
      const uint8_t nItemTable = t;  // clang 14 cannot capture a structured binding
      const int n = SaveModifiedItem(t, c, [&](CDataRecord& item) {
        bool bChanged = false;
        auto drop = [&](std::vector<uint32_t>& na) {
          bChanged = std::erase(na, nCategory) > 0;
        };
        if (nItemTable == TABLE_PERSON) drop(static_cast<CPerson&>(item).m_naCategories);
        if (nItemTable == TABLE_SCHEDULE) drop(static_cast<CScheduleRecord&>(item).m_naCategories);
        if (nItemTable == TABLE_LOG) drop(static_cast<CLogRecord&>(item).m_naCategories);
        return bChanged;
      });
      if (!n && GetPointer(t, c)) return false;  // still holds the code: keep the category
    }
  }
  return CItemDialogs::DeleteItemInFile(nTable, nCode, nFileLoc);
}

// ---- schedule ----

std::vector<const CScheduleRecord*> CTableManager::UnscheduledItems() const {
  std::vector<const CScheduleRecord*> pa;
  for (const stIndex& e : m_caScheduleIndex) {
    const auto& r = static_cast<const CScheduleRecord&>(*e.m_pItem);
    if (r.m_cRepeatType != 'U') continue;
    if (r.m_nAlarmUser != DB_NONE && r.m_nAlarmUser != m_nUserNumber) continue;
    pa.push_back(&r);
  }
  return pa;
}

void CTableManager::ShowUnscheduled() {
  std::string s;
  for (const CScheduleRecord* p : UnscheduledItems()) {
    if (!s.empty()) s += ", ";
    s += p->m_sDescription;
  }
  m_sUnscheduled = std::move(s);
}

eItemResult CTableManager::PurgeSchedule(ePurgeMode nMode) {
  const double dNow = GetCurrentTimeMillisec();
  std::vector<uint32_t> naCodes;
  std::vector<std::string> saLines;
  for (const stIndex& e : m_caScheduleIndex) {
    const auto& r = static_cast<const CScheduleRecord&>(*e.m_pItem);
    if (!IsOutOfDate(r, dNow)) continue;
    const std::string sStart = FormatDateTime(r.m_dStart, "%m/%d/%Y");
    if (IsRepeatingType(r.m_cRepeatType) && r.m_nEndDateSet)
      saLines.push_back(StrFormat("%s, %s - %s", r.m_sDescription.c_str(), sStart.c_str(),
                                  FormatDateTime(r.m_dEnd, "%m/%d/%Y").c_str()));
    else
      saLines.push_back(StrFormat("%s, %s", r.m_sDescription.c_str(), sStart.c_str()));
    naCodes.push_back(e.m_nCode);
  }
  if (naCodes.empty()) {
    GetResponse("No out of date items found.", MB_OK);
    return eItemResult::Cancelled;
  }
  const char* pTitle = nMode == ePurgeMode::Move ? "Select one or more items to move"
                                                 : "Select one or more items to delete";
  DataRefreshOff(pTitle);
  const auto chosen = GetUi().ChooseFromList(pTitle, saLines, true);
  DataRefreshOn(pTitle);
  if (!chosen || chosen->empty()) return eItemResult::Cancelled;
  // Codes, not positions: every deletion changes the table.
  std::vector<uint32_t> naChosen;
  for (int i : *chosen)
    if (i >= 0 && size_t(i) < naCodes.size()) naChosen.push_back(naCodes[size_t(i)]);
  for (uint32_t nCode : naChosen) {
    if (nMode == ePurgeMode::Move)
      MoveScheduleItemToLog(nCode, false);
    else
      DeleteTableItem(TABLE_SCHEDULE, nCode, false);
  }
  return naChosen.empty() ? eItemResult::Cancelled : eItemResult::Done;
}

eItemResult CTableManager::MoveScheduleItemToLog(uint32_t nCode, bool bAsk) {
  const auto* pItem = static_cast<const CScheduleRecord*>(GetPointer(TABLE_SCHEDULE, nCode));
  if (!pItem) return eItemResult::Cancelled;
  CLogRecord entry;
  AssignNewCode(TABLE_LOG, entry);
  entry.m_cKind = CLogRecord::KIND_EVENT;
  entry.m_sText = pItem->m_sDescription;
  entry.m_dDate = pItem->m_dStart;
  entry.m_nContact = pItem->m_nContact;
  entry.m_naCategories = pItem->m_naCategories;
  if (pItem->m_cRepeatType != 'O' && bAsk && EditLog(entry, false, 0) != eItemResult::Done)
    return eItemResult::Cancelled;
  uint32_t nLogCode = DB_NONE;
  // The item goes only once its log entry is stored: a failed add keeps it.
  if (AddTableItem(TABLE_LOG, DB_NONE, &entry, false, {}, &nLogCode) != eItemResult::Done ||
      LocateIndex(TABLE_LOG, nLogCode) == DB_NONE)
    return eItemResult::Cancelled;
  return DeleteTableItem(TABLE_SCHEDULE, nCode, false);
}

void CTableManager::TestAndRepairAlarmUsers() {
  std::vector<uint32_t> naCodes;
  std::vector<std::string> saLines;
  for (const stIndex& e : m_caScheduleIndex) {
    const auto& r = static_cast<const CScheduleRecord&>(*e.m_pItem);
    if (!r.m_nAlarmEnabled) continue;
    saLines.push_back(StrFormat("%s [user code %i]", r.m_sDescription.c_str(), int(r.m_nAlarmUser)));
    naCodes.push_back(e.m_nCode);
  }
  if (naCodes.empty()) {
    GetResponse("No items found.", MB_OK);
    return;
  }
  const char* pTitle = "Select items to reset to current user";
  DataRefreshOff(pTitle);
  const auto chosen = GetUi().ChooseFromList(pTitle, saLines, true);
  DataRefreshOn(pTitle);
  if (!chosen || chosen->empty()) {
    GetResponse("None selected.", MB_OK);
    return;
  }
  std::vector<uint32_t> naChosen;
  for (int i : *chosen)
    if (i >= 0 && size_t(i) < naCodes.size()) naChosen.push_back(naCodes[size_t(i)]);
  const uint32_t nUser = m_nUserNumber;
  for (uint32_t nCode : naChosen)
    SaveModifiedItem(TABLE_SCHEDULE, nCode, [nUser](CDataRecord& item) {
      static_cast<CScheduleRecord&>(item).m_nAlarmUser = nUser;
      return true;
    });
}

// ---- messages ----

void CTableManager::CheckForMessages() {
  std::vector<uint32_t> naCodes = m_naPendingMessages;
  std::vector<uint32_t> naDone;
  for (uint32_t nCode : naCodes) {
    if (CDataRecord::IsCodeInList(naDone, nCode)) continue;
    naDone.push_back(nCode);
    const auto* p = static_cast<const CLogRecord*>(GetPointer(TABLE_LOG, nCode));
    if (p && p->m_cKind == CLogRecord::KIND_UNREAD_MESSAGE && p->m_nContact == m_nUserNumber)
      EditTableItem(TABLE_LOG, nCode, {'E', 0.0});
  }
  // Only what was shown leaves the list: codes that arrived meanwhile stay.
  std::erase_if(m_naPendingMessages,
                [&](uint32_t n) { return CDataRecord::IsCodeInList(naDone, n); });
}
