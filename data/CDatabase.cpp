#include "data/CDatabase.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <thread>
#include <unordered_map>

#include "data/HeapSort.h"
#include "engine/CDbRepair.h"
#include "engine/CSharedFile.h"
#include "network/NetworkHelpers.h"
#include "support/CDialogWaitBox.h"
#include "support/CFrameServices.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr uint8_t kItemTables[] = {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG};
constexpr size_t kProgressEvery = 256;
// From this many records on, a load decodes its items on several threads.
constexpr size_t kParallelDecodeFrom = 20000;
constexpr unsigned kMaxDecodeThreads = 4;
constexpr size_t kAddPrefetch = 32;  // items ahead of the one put in its table
// The database whose refresh suspension the question helper drives.
const CDatabase* g_pRefreshHookOwner = nullptr;

// Calls fn with the item as its own record class; false for a table that has
// no item class.
template <class Item, class F>
bool VisitItem(uint8_t nTable, Item& item, F fn) {
  using Base = std::remove_reference_t<Item>;
  constexpr bool bConst = std::is_const_v<Base>;
  auto as = [&](auto* pTag) -> auto& {
    using T = std::remove_pointer_t<decltype(pTag)>;
    using Q = std::conditional_t<bConst, const T, T>;
    return static_cast<Q&>(item);
  };
  switch (nTable) {
    case TABLE_CATEGORY: fn(as(static_cast<CCategory*>(nullptr))); return true;
    case TABLE_PERSON: fn(as(static_cast<CPerson*>(nullptr))); return true;
    case TABLE_SCHEDULE: fn(as(static_cast<CScheduleRecord*>(nullptr))); return true;
    case TABLE_LOG: fn(as(static_cast<CLogRecord*>(nullptr))); return true;
    default: return false;
  }
}

uint32_t Encode(const CCategory& r, stRecordBuffer& b) { return r.LoadBufferCategory(b); }
uint32_t Encode(const CPerson& r, stRecordBuffer& b) { return r.LoadBufferPerson(b); }
uint32_t Encode(const CScheduleRecord& r, stRecordBuffer& b) { return r.LoadBufferSchedule(b); }
uint32_t Encode(const CLogRecord& r, stRecordBuffer& b) { return r.LoadBufferLog(b); }
// Decoding is always into a new item, which is dropped when it fails: the
// tables that may hold many thousand items decode in place.
int Decode(CCategory& r, stRecordBuffer& b) { return r.ReadBufferCategory(b); }
int Decode(CPerson& r, stRecordBuffer& b) { return r.ReadBufferPersonInPlace(b); }
int Decode(CScheduleRecord& r, stRecordBuffer& b) { return r.ReadBufferScheduleInPlace(b); }
int Decode(CLogRecord& r, stRecordBuffer& b) { return r.ReadBufferLogInPlace(b); }

// A new item; a log entry about to be decoded needs no clock reading. Every
// member of the item classes has its initialiser: the zero fill that
// make_unique adds before them would be written over at once.
std::unique_ptr<CDataRecord> MakeItem(uint8_t nTable, bool bForDecode) {
  switch (nTable) {
    case TABLE_CATEGORY: return std::make_unique_for_overwrite<CCategory>();
    case TABLE_PERSON: return std::make_unique_for_overwrite<CPerson>();
    case TABLE_SCHEDULE: return std::make_unique_for_overwrite<CScheduleRecord>();
    case TABLE_LOG: return bForDecode ? std::make_unique<CLogRecord>(0.0) : std::make_unique<CLogRecord>();
    default: return nullptr;
  }
}

std::string LoadText(const char* pFormat, const std::string& sTable, const stDataHeader& h) {
  return StrFormat(pFormat, sTable.c_str(), h.nKey, h.nCurrLoc);
}

// True when the entries already stand in the order the sort by sequence
// gives (a file written by this program almost always is).
bool IsInSequenceOrder(const CIndexArray& ia) {
  for (size_t i = 1; i < ia.size(); ++i) {
    const stIndex& a = ia[i - 1];
    const stIndex& b = ia[i];
    if (a.m_nSequence > b.m_nSequence || (a.m_nSequence == b.m_nSequence && a.m_nCode > b.m_nCode))
      return false;
  }
  return true;
}

void SortBySequence(CIndexArray& ia) {
  if (!IsInSequenceOrder(ia)) HeapSortIndexArray(ia);
}

}  // namespace

CDatabase::CDatabase() = default;

CDatabase::~CDatabase() {
  if (m_bDatabaseOpen || m_bFileLoaded) CloseDatabase();
  RemoveRefreshHook();
}

// ---- the item codec by table ----

uint32_t CDatabase::ItemCode(uint8_t nTable, const CDataRecord& item) {
  uint32_t n = DB_NONE;
  VisitItem(nTable, item, [&](const auto& r) { n = r.m_nCode; });
  return n;
}

uint32_t CDatabase::ItemSequence(uint8_t nTable, const CDataRecord& item) {
  uint32_t n = DB_NONE;
  VisitItem(nTable, item, [&](const auto& r) { n = r.m_nSequence; });
  return n;
}

void CDatabase::SetItemCode(uint8_t nTable, CDataRecord& item, uint32_t nCode) {
  VisitItem(nTable, item, [&](auto& r) { r.m_nCode = nCode; });
}

void CDatabase::SetItemSequence(uint8_t nTable, CDataRecord& item, uint32_t nSequence) {
  VisitItem(nTable, item, [&](auto& r) { r.m_nSequence = nSequence; });
}

uint32_t CDatabase::EncodeItem(uint8_t nTable, const CDataRecord& item, stRecordBuffer& b) {
  uint32_t n = 0;
  if (!VisitItem(nTable, item, [&](const auto& r) { n = Encode(r, b); })) b.Fail("not an item table");
  return n;
}

int CDatabase::DecodeItem(uint8_t nTable, CDataRecord& item, stRecordBuffer& b) {
  int n = 0;
  VisitItem(nTable, item, [&](auto& r) { n = Decode(r, b); });
  return n;
}

std::unique_ptr<CDataRecord> CDatabase::GetNewItemPointer(uint8_t nTable) { return MakeItem(nTable, false); }

// ---- tables ----

CIndexArray* CDatabase::PtrToIndexArray(uint8_t nTable) {
  switch (nTable) {
    case TABLE_CATEGORY: return &m_caCategoryIndex;
    case TABLE_PERSON: return &m_caPersonIndex;
    case TABLE_SCHEDULE: return &m_caScheduleIndex;
    case TABLE_LOG: return &m_caLogIndex;
    default: return nullptr;
  }
}

const CIndexArray* CDatabase::PtrToIndexArray(uint8_t nTable) const {
  return const_cast<CDatabase*>(this)->PtrToIndexArray(nTable);
}

void CDatabase::ClearTable(uint8_t nTable) {
  if (CIndexArray* p = PtrToIndexArray(nTable)) p->clear();
}

uint32_t CDatabase::LocateIndex(uint8_t nTable, uint32_t nCode) const {
  const CIndexArray* p = PtrToIndexArray(nTable);
  if (!p || nCode == DB_NONE || p->empty()) return DB_NONE;
  // Codes are handed out in order, so an item's code is often near its position.
  const size_t nStart = nCode < p->size() ? nCode : 0;
  for (size_t i = nStart + 1; i-- > 0;)
    if ((*p)[i].m_nCode == nCode) return uint32_t(i);
  for (size_t i = nStart + 1; i < p->size(); ++i)
    if ((*p)[i].m_nCode == nCode) return uint32_t(i);
  return DB_NONE;
}

CDataRecord* CDatabase::GetPointer(uint8_t nTable, uint32_t nCode) const {
  const uint32_t nPos = LocateIndex(nTable, nCode);
  return nPos == DB_NONE ? nullptr : (*PtrToIndexArray(nTable))[nPos].m_pItem.get();
}

void CDatabase::AddIndex(uint8_t nTable, std::unique_ptr<CDataRecord> pItem, uint32_t nCode,
                         uint32_t nSequence, uint32_t nFileLoc, uint32_t nInsertAtCode,
                         uint32_t nInsertAtPos) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return;
  stIndex entry{nCode, nSequence, nFileLoc, std::move(pItem)};
  uint32_t nPos = nInsertAtPos;
  if (nPos == DB_NONE) {
    if (nInsertAtCode == INSERT_AT_END) {
      p->push_back(std::move(entry));
      return;
    }
    if (nInsertAtCode == DB_NONE) {
      const uint32_t nSame = LocateIndex(nTable, nCode);
      if (nSame != DB_NONE) {
        (*p)[nSame] = std::move(entry);
        return;
      }
    } else {
      nPos = LocateIndex(nTable, nInsertAtCode);
    }
  }
  if (nPos < p->size())
    p->insert(p->begin() + nPos, std::move(entry));
  else
    p->push_back(std::move(entry));
}

void CDatabase::ChangeSequenceInObject(uint8_t nTable, uint32_t nPos, uint32_t nSequence) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p || nPos >= p->size()) {
    GetResponse(StrFormat("Error in refreshing sequence in %s. Please do manual refresh.",
                          GetTableName(nTable).c_str()),
                MB_OK);
    return;
  }
  SetItemSequence(nTable, *(*p)[nPos].m_pItem, nSequence);
}

int CDatabase::SaveTableSequence(uint8_t nTable, bool bSetRefreshFlag, CDialogWaitBox* pBox) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return 1;
  if (pBox) pBox->SetDenominator(double(p->size()));
  bool bChanged = false;
  int nOk = 1;
  for (size_t i = 0; i < p->size(); ++i) {
    stIndex& e = (*p)[i];
    if (pBox && i % kProgressEvery == 0) pBox->UpdateProgress(double(i));
    if (e.m_nSequence == i) continue;
    e.m_nSequence = uint32_t(i);
    SetItemSequence(nTable, *e.m_pItem, uint32_t(i));
    // The sequence is the first field of every item record: only its 4
    // bytes change, the record is not rewritten.
    if (SetIntAt(e.m_nFileLoc + DB_HEADER_LEN, uint32_t(i), 1) != 4) nOk = 0;
    bChanged = true;
  }
  if (bChanged) LockAndFlush(FileHandle());
  if (bChanged && bSetRefreshFlag) SetRefreshFlags(nTable, SEQUENCE_CODE, DB_NONE);
  return nOk;
}

int CDatabase::TestIndices(uint8_t nTable, CIndexArray& ia, bool bRepair) {
  if (!PtrToIndexArray(nTable)) return 1;
  const std::string sTable = GetTableName(nTable);
  // Duplicate codes: every later entry of a code pairs with the one before
  // it; the earlier one is kept. Reported from the end of the table down.
  std::vector<std::pair<size_t, size_t>> pairs;     // (kept, surplus)
  std::vector<std::pair<uint32_t, size_t>> byCode;  // (code, position): one allocation
  byCode.reserve(ia.size());
  for (size_t j = 0; j < ia.size(); ++j) byCode.emplace_back(ia[j].m_nCode, j);
  if (!std::is_sorted(byCode.begin(), byCode.end())) std::sort(byCode.begin(), byCode.end());
  for (size_t k = 1; k < byCode.size(); ++k)
    if (byCode[k].first == byCode[k - 1].first) pairs.emplace_back(byCode[k - 1].second, byCode[k].second);
  std::sort(pairs.begin(), pairs.end(), [](auto& a, auto& b) { return a.first > b.first; });
  std::vector<bool> baSurplus(ia.size(), false);
  for (const auto& [i, j] : pairs) {
    m_saLoadReport.push_back(
        StrFormat("Duplicate key in table %s, key %u, indices %u and %u, file locations %u and %u.\nItem at "
                  "location %u will be marked as deleted.",
                  sTable.c_str(), ia[i].m_nCode, unsigned(i), unsigned(j), ia[i].m_nFileLoc, ia[j].m_nFileLoc,
                  ia[j].m_nFileLoc));
    baSurplus[j] = true;
  }
  if (bRepair && !pairs.empty()) {
    std::unordered_map<uint32_t, int> keptLocs;
    for (size_t k = 0; k < ia.size(); ++k)
      if (!baSurplus[k]) ++keptLocs[ia[k].m_nFileLoc];
    CIndexArray kept;
    kept.reserve(ia.size() - pairs.size());
    for (size_t k = 0; k < ia.size(); ++k) {
      // Two entries for one record: dropping the entry is enough, the record
      // stays. A surplus record is kept in the file as "#" for the integrity
      // test, never freed.
      if (baSurplus[k] && !keptLocs.count(ia[k].m_nFileLoc)) DeleteRecord(ia[k].m_nFileLoc, 0, 1);
      if (!baSurplus[k]) kept.push_back(std::move(ia[k]));
    }
    ia = std::move(kept);
  }
  const bool bLocationsOk = TestIndexLocations(nTable, ia, bRepair);
  bool bWrong = false;
  for (size_t i = 0; i < ia.size(); ++i) {
    if (ia[i].m_nSequence == i) continue;
    m_saLoadReport.push_back(
        StrFormat("Invalid sequence index in table %s, key %u, file location %u, sequence %u should be %u\n",
                  sTable.c_str(), ia[i].m_nCode, ia[i].m_nFileLoc, ia[i].m_nSequence, unsigned(i)));
    bWrong = true;
  }
  if (bWrong && bRepair) {
    CDialogWaitBox* pBox = StartWaitBox(StrFormat("Repair sequence for %s", sTable.c_str()));
    SaveTableSequence(nTable, false, pBox);
    EndWaitBox(pBox);
  }
  return pairs.empty() && bLocationsOk && !bWrong ? 1 : 0;
}

bool CDatabase::IsLiveRecordAt(uint32_t nLoc, uint8_t nTable, uint32_t nKey) const {
  const int i = LocateHeaderInList(nLoc);
  if (i < 0) return false;
  return IsLiveRecordOf(m_caDataHeaders[size_t(i)], nTable, nKey);
}

bool CDatabase::TestIndexLocations(uint8_t nTable, CIndexArray& ia, bool bRepair) {
  // Every entry must name the file location of a live record of its table
  // and key; the repair points it at the record the file holds for the key,
  // or drops an entry whose record is gone.
  bool bOk = true;
  const std::string sTable = GetTableName(nTable);
  // A table loaded from a file written in its own order lies in the file
  // header after header: the one after the last found is tried first.
  size_t nNextHeader = 0;
  for (size_t i = 0; i < ia.size();) {
    stIndex& e = ia[i];
    const int h = LocateHeaderInList(e.m_nFileLoc, nNextHeader);
    if (h >= 0 && IsLiveRecordOf(m_caDataHeaders[size_t(h)], nTable, e.m_nCode)) {
      nNextHeader = size_t(h) + 1;
      ++i;
      continue;
    }
    bOk = false;
    const uint32_t nLoc = GetItemFileLoc(nTable, e.m_nCode, 0, 0);
    m_saLoadReport.push_back(
        StrFormat("Index entry of table %s, key %u points to file location %u, which holds no live record "
                  "of that key.",
                  sTable.c_str(), e.m_nCode, e.m_nFileLoc));
    if (bRepair && nLoc != DB_NONE) e.m_nFileLoc = nLoc;
    if (bRepair && nLoc == DB_NONE) {
      ia.erase(ia.begin() + long(i));
      continue;
    }
    ++i;
  }
  return bOk;
}

// ---- loading ----

int CDatabase::ReadBufferFromFileIntoMemory(const stDataHeader& header, CDataRecord* pItem) {
  stRecordBuffer b(m_cBuffer, 0);
  if (!pItem || !ReadPayload(header, b)) return 0;
  if (!DecodeItem(header.nTable, *pItem, b)) {
    KTRACE("ReadBufferFromFileIntoMemory: %s key %u at %u: %s\n", GetTableName(header.nTable).c_str(),
           header.nKey, header.nCurrLoc, b.m_sFailure.c_str());
    return 0;
  }
  // Every writer stores an item under its own code; a payload that names
  // another code is not the record its header says it is.
  return ItemCode(header.nTable, *pItem) == header.nKey;
}

void CDatabase::NoteLoadedItem(uint8_t nTable, const CDataRecord& item) {
  if (nTable != TABLE_LOG) return;
  const auto& log = static_cast<const CLogRecord&>(item);
  if (log.m_cKind == CLogRecord::KIND_UNREAD_MESSAGE && log.m_nContact == m_nUserNumber)
    m_naPendingMessages.push_back(log.m_nCode);
}

int CDatabase::LoadTableRecordFromFile(const stDataHeader& header, uint32_t nInsertAtCode) {
  std::unique_ptr<CDataRecord> pItem = MakeItem(header.nTable, true);
  if (!pItem) return 1;  // mail lists and unknown tables hold nothing to load
  if (!ReadBufferFromFileIntoMemory(header, pItem.get())) return 0;
  AddLoadedItem(header, std::move(pItem), nInsertAtCode);
  return 1;
}

void CDatabase::AddLoadedItem(const stDataHeader& header, std::unique_ptr<CDataRecord> pItem,
                              uint32_t nInsertAtCode) {
  NoteLoadedItem(header.nTable, *pItem);
  const uint32_t nCode = ItemCode(header.nTable, *pItem);
  const uint32_t nSequence = ItemSequence(header.nTable, *pItem);
  AddIndex(header.nTable, std::move(pItem), nCode, nSequence, header.nCurrLoc, nInsertAtCode, DB_NONE);
}

std::unique_ptr<CDataRecord> CDatabase::DecodeFromFileBuffer(const stDataHeader& header) const {
  if (!IsLiveStatus(header.cStatus) || !IsPayloadPlausible(header)) return nullptr;
  const uint64_t nStart = uint64_t(header.nCurrLoc) + DB_HEADER_LEN;
  if (!m_pFileBuffer || nStart + header.nDataLen > m_nFileBufferSize) return nullptr;
  std::unique_ptr<CDataRecord> pItem = MakeItem(header.nTable, true);
  if (!pItem) return nullptr;
  // Decoding only reads the bytes: the view points into the buffer itself.
  stRecordBuffer b(m_pFileBuffer.get() + nStart, header.nDataLen);
  if (!DecodeItem(header.nTable, *pItem, b) || ItemCode(header.nTable, *pItem) != header.nKey) return nullptr;
  return pItem;
}

std::vector<std::unique_ptr<CDataRecord>> CDatabase::DecodeItemRecords() const {
  const size_t nCount = m_caDataHeaders.size();
  std::vector<std::unique_ptr<CDataRecord>> items(nCount);
  // A slice that runs out of memory stops; the load decodes what is left
  // one record at a time and reports the record it could not hold.
  const auto fnSlice = [&](size_t nFrom, size_t nTo) noexcept {
    try {
      for (size_t i = nFrom; i < nTo; ++i) items[i] = DecodeFromFileBuffer(m_caDataHeaders[i]);
    } catch (const std::bad_alloc&) {
    }
  };
  const unsigned nThreads = nCount < kParallelDecodeFrom
                                ? 1
                                : std::clamp(std::thread::hardware_concurrency(), 1u, kMaxDecodeThreads);
  std::vector<std::thread> threads;
  size_t nMine = nCount;  // what the threads that could not be started leave to this one
  for (unsigned t = 1; t < nThreads; ++t) {
    const size_t nFrom = nCount * t / nThreads, nTo = nCount * (t + 1) / nThreads;
    try {
      threads.emplace_back(fnSlice, nFrom, nTo);
      if (t == 1) nMine = nFrom;
    } catch (const std::system_error&) {
      fnSlice(nFrom, nTo);
    }
  }
  fnSlice(0, nMine);
  for (std::thread& th : threads) th.join();
  return items;
}

int CDatabase::ReadDataItemIntoMemory(const stDataHeader& header) {
  switch (header.nTable) {
    case TABLE_FLAGS: return LoadConfigurationTableFromFile(header);
    case TABLE_PARAMETERS: return LoadVarRecordFromFile(header);
    case TABLE_FONT: return LoadFormatRecordFromFile(header);
    case TABLE_PAGELAYOUT: return LoadPageLayoutRecordFromFile(header);
    default: return LoadTableRecordFromFile(header, INSERT_AT_END);
  }
}

void CDatabase::ReserveItemTables() {
  size_t naCount[DB_LAST_TABLE + 1] = {};
  for (const stDataHeader& h : m_caDataHeaders)
    if (h.nTable <= DB_LAST_TABLE && IsLiveStatus(h.cStatus)) ++naCount[h.nTable];
  for (uint8_t t : kItemTables) PtrToIndexArray(t)->reserve(naCount[t]);
}

int CDatabase::ReadDatabaseIntoMemory(CDialogWaitBox* pBox, std::string& sError) {
  m_naPendingMessages.clear();
  m_saLoadReport.clear();
  m_sChainNote.clear();
  for (uint8_t t : kItemTables) ClearTable(t);
  std::string sReport;
  const uint32_t nFileSize = MakeFileHeaderArray(pBox, 0, &sReport);
  if (nFileSize == DB_NONE) {
    sError = sReport;
    return 0;
  }
  // The walk over the file's bytes stopped at a link it had to cut: the
  // last header as the file held it still points on.
  if (!m_caDataHeaders.empty()) {
    uint8_t a[DB_HEADER_LEN];
    const stDataHeader& last = m_caDataHeaders.back();
    if (ReadDbBlock(last.nCurrLoc, a, DB_HEADER_LEN, 0) == DB_HEADER_LEN &&
        UnpackHeader(a).nNextLoc != DB_NONE)
      m_sChainNote =
          LoadText("EOF Error loading %s, key %u, file location %u", GetTableName(last.nTable), last);
  }
  if (pBox) {
    pBox->ChangeText("Loading data");
    pBox->SetDenominator(double(m_caDataHeaders.size() + 9));
  }
  ReserveItemTables();
  // The items are decoded first; the walk below puts them in their tables
  // in file order. A record that did not decode is read again by the walk,
  // which reports it as before.
  std::vector<std::unique_ptr<CDataRecord>> decoded = DecodeItemRecords();
  std::vector<bool> baFormatSeen(FORMAT_COUNT, false), baLayoutSeen(PAGE_LAYOUT_COUNT, false);
  for (size_t i = 0; i < m_caDataHeaders.size(); ++i) {
    stDataHeader h = m_caDataHeaders[i];
    if (pBox && i % kProgressEvery == 0) pBox->UpdateProgress(double(i));
    m_stLoadingHeader = h;  // named by the error text should anything unexpected happen
    // The items were made on other threads: their code and sequence are
    // asked into this one's cache a few items ahead.
    if (i + kAddPrefetch < decoded.size() && decoded[i + kAddPrefetch])
      __builtin_prefetch(decoded[i + kAddPrefetch].get());
    if (decoded[i]) {
      AddLoadedItem(h, std::move(decoded[i]), INSERT_AT_END);
    } else if (IsLiveStatus(h.cStatus)) {
      if (!ReadDataItemIntoMemory(h)) {
        sError = LoadText("Error loading %s, key %u, file location %u", GetTableName(h.nTable), h);
        if (GetResponse(sError + "\nDo you want to try to continue?", MB_YESNO) != IDYES) {
          FreeFileBuffer();
          return 0;
        }
      }
      if (h.nTable == TABLE_FONT && h.nKey < FORMAT_COUNT) baFormatSeen[h.nKey] = true;
      if (h.nTable == TABLE_PAGELAYOUT && h.nKey < PAGE_LAYOUT_COUNT) baLayoutSeen[h.nKey] = true;
    }
    if (h.nNextLoc == DB_NONE) break;
    if (FoundEofError(nFileSize, h.nCurrLoc, h, "ReadDatabaseIntoMemory")) {
      m_sChainNote = LoadText("EOF Error loading %s, key %u, file location %u", GetTableName(h.nTable), h);
      break;
    }
  }
  FreeFileBuffer();
  // Behind a cut chain the missing settings records most likely still lie
  // in the file; a record appended now would overwrite them before the
  // integrity test can link them back. Memory keeps the defaults meanwhile.
  if (m_sChainNote.empty()) WriteMissingSettings(baFormatSeen, baLayoutSeen);
  if (pBox) pBox->ChangeText("Sort tables");
  for (uint8_t t : kItemTables) SortBySequence(*PtrToIndexArray(t));
  if (pBox) pBox->UpdateProgress(double(m_caDataHeaders.size() + 9));
  CountOnLine();
  if (IsAloneOnFile())
    for (uint8_t t : kItemTables) TestIndices(t, *PtrToIndexArray(t), true);
  if (!m_saLoadReport.empty()) ShowReport(m_saLoadReport);
  sError.clear();
  return 1;
}

void CDatabase::InitializeDatabaseMemory() {
  for (uint8_t t : kItemTables) ClearTable(t);
  m_naPendingMessages.clear();
  m_ConFig = CConFigTable();
  m_VarData = stVarData();
  CreateDefaultFonts();
  CreateDefaultPageLayouts();
}

int CDatabase::InitializeDatabaseFile() {
  InitializeDatabaseMemory();
  return WriteDefaultSettingsRecords();
}

void CDatabase::ReleaseDatabaseLock() {
  while (DbLockDepth() > 0) UnlockDatabase();
}

void CDatabase::AbandonDatabaseFile() {
  // CloseDB clears all locks and marks the file closed properly only when
  // this copy is the one user on line; counting a second user (without the
  // link that would recount) leaves both as they are, which is what a file
  // that did not load needs: its next open must still offer the test.
  CLockManagerLink* pLink = LockManagerLink();
  SetLockManagerLink(nullptr);
  SetUsersOnLine(2);
  CloseDB();
  SetUsersOnLine(1);
  SetLockManagerLink(pLink);
}

void CDatabase::AbandonAfterFailure() {
  FreeFileBuffer();
  InitializeDatabaseMemory();
  m_bAloneWhenLoadFailed = IsAloneOnFile();
  ReleaseDatabaseLock();
  AbandonDatabaseFile();
}

int CDatabase::LoadDatabaseFile(CDialogWaitBox* pBox) {
  std::string sError;
  int nOk = 0;
  m_stLoadingHeader = stDataHeader();
  try {
    nOk = ReadDatabaseIntoMemory(pBox, sError);
  } catch (const std::bad_alloc&) {
    sError = LoadText("Unknown error, last loading %s, key %u, file location %u",
                      GetTableName(m_stLoadingHeader.nTable), m_stLoadingHeader) +
             "\nOut of memory.";
  }
  if (nOk) return 1;
  AbandonAfterFailure();
  GetResponse(sError.empty() ? std::string("Error in loading data from database file.") : sError, MB_OK);
  return 0;
}

int CDatabase::ReinitializeDatabaseFile(const std::string& sPath) {
  // Another copy may still have the file open; replacing it under that copy
  // would split the database in two. The exclusive presence lock proves the
  // file is ours alone and keeps it so while it is renamed.
  CSharedFile probe;
  if (!m_bAloneWhenLoadFailed || !probe.OpenExisting(sPath) || probe.TakePresence(true) != IO_OK) {
    GetResponse(StrFormat("The database file %s is in use by another copy of Kelvo.\nIt cannot be "
                          "initialized now.",
                          sPath.c_str()),
                MB_OK);
    return 0;
  }
  const std::string sRoot = sPath.substr(0, sPath.size() - 4);
  std::string sBackup;
  for (int n = 1;; ++n) {
    sBackup = StrFormat("%s.BK%i", sRoot.c_str(), n);
    if (!FileExists(sBackup)) break;
  }
  if (std::rename(sPath.c_str(), sBackup.c_str()) != 0) {
    GetResponse(StrFormat("Can't rename %s to %s.", sPath.c_str(), sBackup.c_str()), MB_OK);
    return 0;
  }
  probe.Close();
  m_sChainNote.clear();  // the new file has a whole chain
  KTRACE("ReinitializeDatabaseFile: old file kept as %s\n", sBackup.c_str());
  if (OpenDB(sPath, true) == eOpenResult::Failed) return 0;
  if (!ClaimUserNumber()) {
    AbandonDatabaseFile();
    return 0;
  }
  const int nLocked = LockDatabase("initialize database");
  const int nOk = nLocked && InitializeDatabaseFile();
  if (nLocked) UnlockDatabase();
  return nOk;
}

int CDatabase::RunIntegrityTest() {
  std::vector<std::string> saReport;
  CDbRepair repair(*this);
  const int nOk = repair.TestAndRepairDatabase(0, saReport);
  if (!nOk) ShowReport(saReport);
  return nOk;
}

void CDatabase::AskIntegrityTest(const std::string& sQuestion) {
  if (GetResponse(sQuestion, MB_YESNO) == IDYES) RunIntegrityTest();
}

bool CDatabase::HasLocksLeftBehind() {
  for (const stDataHeader& h : m_caDataHeaders)
    if (h.cStatus == STATUS_LOCKED) return true;
  uint8_t a[LOC_LOCK_AREA_END - LOC_LOCKALLTABLES_FLAG];
  if (ReadDbBlock(LOC_LOCKALLTABLES_FLAG, a, sizeof a, 1) != sizeof a) return true;
  return std::any_of(std::begin(a), std::end(a), [](uint8_t c) { return c != 0; });
}

int CDatabase::CheckFileAfterLoad(eOpenResult nOpenResult) {
  const std::string sChainQuestion =
      m_sChainNote +
      "\nThe end of the record chain was repaired there.\nDo you want to run the "
      "database integrity tests?";
  // Alone from the test to the last write of the locks: a copy that opens
  // the file meanwhile waits, and its lock bytes are never cleared.
  if (!BeginAloneSection()) {
    if (!m_sChainNote.empty()) AskIntegrityTest(sChainQuestion);
    return 1;
  }
  const bool bUnlocked = !HasLocksLeftBehind() || UnlockAllRecords();
  EndAloneSection();
  if (!bUnlocked) {
    ClearDatabase();
    AbandonDatabaseFile();
    m_bFileLoaded = false;
    SetUsersOnLine(0);
    GetResponse("Error in unlocking all records. Run test and repair.", MB_OK);
    return 0;
  }
  if (!m_sChainNote.empty())
    AskIntegrityTest(sChainQuestion);
  else if (nOpenResult == eOpenResult::NotClosedProperly && WasAloneAtOpen())
    AskIntegrityTest(
        "Data file was not closed properly on last access.\nDo you want to run the database "
        "integrity tests?");
  return 1;
}

int CDatabase::OpenDatabaseFile(const std::string& sName) {
  if (sName.empty()) return 0;
  const std::string sPath = sName + ".dbm";
  const bool bExists = FileExists(sPath);
  CDialogWaitBox* pBox = StartWaitBox("Initialize database.");
  InitializeDatabaseMemory();
  pBox->ChangeText("Open database file");
  const eOpenResult nOpen = OpenDB(sPath, !bExists);
  RefreshState().DisallowRefresh();  // opening the file reset the refresh state
  if (nOpen == eOpenResult::Failed) {
    EndWaitBox(pBox);
    return 0;
  }
  // Two copies under one user number would take each other's locks for
  // their own and hand out the same keys.
  if (!ClaimUserNumber()) {
    AbandonDatabaseFile();
    EndWaitBox(pBox);
    return 0;
  }
  // A new file is locked too: another copy that opens it while it is being
  // initialised waits for the settings records.
  if (!LockDatabase("load database")) {
    AbandonDatabaseFile();
    EndWaitBox(pBox);
    return 0;
  }
  int nInitialized = 1;
  if (!bExists) {
    pBox->ChangeText("Initialize new database");
    nInitialized = InitializeDatabaseFile();
  }
  const int nLoaded = nInitialized && LoadDatabaseFile(pBox);
  if (nLoaded) UnlockDatabase();
  EndWaitBox(pBox);
  if (!nLoaded) {
    if (!nInitialized) AbandonAfterFailure();
    const int nAnswer = GetResponse(
        StrFormat("Error in loading data from database file %s.\nYou can initialize a new one. If "
                  "an old version exists but has been corrupted,\nthis will overwrite it and then "
                  "you can try to restore from a backup file.\nDo you want to initialize a new "
                  "database?",
                  sPath.c_str()),
        MB_YESNO);
    if (nAnswer != IDYES || !ReinitializeDatabaseFile(sPath)) return 0;
  }
  m_bFileLoaded = true;
  return CheckFileAfterLoad(nLoaded ? nOpen : eOpenResult::Opened);
}

int CDatabase::OpenDatabaseForReading(const std::string& sName, std::vector<std::string>& saProblems) {
  if (m_bDatabaseOpen || m_bFileLoaded) CloseDatabase();
  InitializeDatabaseMemory();
  if (sName.empty() || !OpenDBForReading(sName + ".dbm")) return 0;
  std::string sReport;
  if (MakeFileHeaderArray(nullptr, 0, &sReport) == DB_NONE) {
    saProblems.push_back(sReport);
    CloseDB();
    return 0;
  }
  for (size_t i = 0; i < m_caDataHeaders.size(); ++i) {
    const stDataHeader h = m_caDataHeaders[i];
    if (IsLiveStatus(h.cStatus) && !ReadDataItemIntoMemory(h))
      saProblems.push_back(LoadText("Error loading %s, key %u, file location %u", GetTableName(h.nTable), h));
  }
  FreeFileBuffer();
  for (uint8_t t : kItemTables) SortBySequence(*PtrToIndexArray(t));
  m_sDatabaseName = sName;
  m_bFileLoaded = true;
  return 1;
}

void CDatabase::InitializeUserList() {
  m_caUsers.clear();
  if (m_pNetwork) {
    m_pNetwork->InitializeUserList(*this);
    return;
  }
  // Networking disabled: this computer alone, its user number the last
  // number of its address.
  std::string sHost, sAddress;
  m_nUserNumber = 0;
  stUser user;
  if (GetThisComputerInfo(sHost, sAddress)) {
    std::vector<std::string> saParts;
    if (ParseString(sAddress, ".", saParts) == 4) {
      long long n = 0;
      if (ParseInt(saParts[3], n) && n >= 0 && n <= 255) m_nUserNumber = uint8_t(n);
    }
    user.m_sName = sHost;
  } else {
    user.m_sName = GetThisComputerName();
  }
  user.m_nUserNumber = m_nUserNumber;
  user.m_nNameCheck = GetCRC(user.m_sName);
  m_caUsers.push_back(user);
}

void CDatabase::EndLanServer() {
  if (m_pNetwork) m_pNetwork->EndLanServer(*this);
}

void CDatabase::InstallRefreshHook() {
  g_pRefreshHookOwner = this;
  SetRefreshSuspendHook([this](bool bOn, const std::string& sLabel) {
    if (bOn)
      DataRefreshOn(sLabel);
    else
      DataRefreshOff(sLabel);
  });
}

void CDatabase::RemoveRefreshHook() {
  if (g_pRefreshHookOwner != this) return;
  g_pRefreshHookOwner = nullptr;
  SetRefreshSuspendHook(nullptr);
}

int CDatabase::OpenDatabase(const std::string& sName, bool bNetworked) {
  RefreshState().DisallowRefresh();
  if (sName.empty()) return 0;
  m_bOpening = true;
  m_sDatabaseName = sName;
  InitializeUserList();
  if (bNetworked && m_pNetwork && !m_pNetwork->StartLanServer(*this, sName + ".dbm")) {
    EndLanServer();
    m_sDatabaseName.clear();
    m_bOpening = false;
    return 0;
  }
  if (!LockManagerLink()) SetUsersOnLine(1);
  CountOnLine();
  InstallRefreshHook();
  if (OpenDatabaseFile(sName)) {
    m_bDatabaseOpen = true;
    m_bOpening = false;
    RefreshState().AllowRefresh();
    return 1;
  }
  m_bOpening = false;
  RemoveRefreshHook();
  GetResponse(StrFormat("Database file could not be opened.\n%s.dbm", sName.c_str()), MB_OK);
  m_sDatabaseName.clear();
  m_bFileLoaded = false;
  EndLanServer();
  return 0;
}

void CDatabase::ClearDatabase() {
  CDialogWaitBox* pBox = StartWaitBox("Closing database.");
  pBox->ChangeText("Clearing format data");
  ClearTableFormat();
  pBox->ChangeText("Clearing page layout data");
  ClearTablePageLayout();
  for (uint8_t t = TABLE_CATEGORY; t <= TABLE_LOG; ++t) {
    pBox->ChangeText(StrFormat("Clearing %s", GetTableName(t).c_str()));
    ClearTable(t);
  }
  m_naPendingMessages.clear();
  EndWaitBox(pBox);
}

void CDatabase::CloseDatabaseFile() {
  if (!m_bFileLoaded) return;
  ClearDatabase();
  ReleaseDatabaseLock();
  CloseDB();
  m_bFileLoaded = false;
}

void CDatabase::CloseDatabase() {
  CloseDatabaseFile();
  EndLanServer();
  RemoveRefreshHook();
  m_bDatabaseOpen = false;
  m_sDatabaseName.clear();
  m_nUserNumber = 0;
}

int CDatabase::ReadTable(uint8_t nTable, CDialogWaitBox* pBox) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return 1;
  ClearTable(nTable);
  std::vector<uint32_t> naLocs;
  GetFileLocations(nTable, naLocs);
  if (pBox) pBox->SetDenominator(double(naLocs.size()));
  for (size_t i = 0; i < naLocs.size(); ++i) {
    if (pBox && i % kProgressEvery == 0) pBox->UpdateProgress(double(i));
    stDataHeader h;
    if (ReadDbHeader(naLocs[i], h, 1)) {
      h.nCurrLoc = naLocs[i];
      LoadTableRecordFromFile(h, INSERT_AT_END);
    }
  }
  if (pBox) pBox->ChangeText(StrFormat("Sorting %s", GetTableName(nTable).c_str()));
  SortBySequence(*p);
  return 1;
}

// ---- refresh ----

int CDatabase::LockAndRefreshDatabase(const std::string& sReason, uint8_t nTable, bool bRefreshOnly) {
  CRefreshState& state = RefreshState();
  state.EnterLockAndRefresh();
  if ((bRefreshOnly && state.IsRefreshSuspended()) || state.IsRefreshing() || state.IsWaitingForLock() ||
      !LockDatabase(sReason, nTable)) {
    state.LeaveLockAndRefresh(false);
    state.OweRefresh();
    return 0;
  }
  if (!state.HasNotices()) {
    state.ClearOwedRefresh();
  } else {
    CDialogWaitBox* pBox = StartWaitBox("Waiting to refresh database.", true);
    int nDone = 0;
    while (!(nDone = DoRefresh(pBox)) && IsFileLoaded() && !pBox->TestForAbort()) {
    }
    EndWaitBox(pBox);
    if (!nDone) {
      // Memory is not current: nothing may be written over it.
      state.LeaveLockAndRefresh(false);
      state.OweRefresh();
      UnlockDatabase();
      return 0;
    }
  }
  state.LeaveLockAndRefresh(false);
  if (bRefreshOnly) UnlockDatabase();
  return 1;
}

int CDatabase::DoRefresh(CDialogWaitBox* pBox) {
  RefreshState().BeginRefresh();
  if (pBox) pBox->ChangeText("Refreshing database due to changes by another user.");
  const int nOk = RefreshDatabase();
  if (nOk) RefreshState().ClearNotices();
  RefreshState().EndRefresh();
  return nOk;
}

int CDatabase::RefreshDatabase() {
  if (!LockDatabase("refresh entire database")) return 0;
  CDialogWaitBox* pBox = StartWaitBox("Refreshing database.");
  ClearDatabase();
  CreateDefaultFonts();
  CreateDefaultPageLayouts();
  const int nLoaded = LoadDatabaseFile(pBox);
  if (nLoaded)
    UnlockDatabase();
  else
    m_bFileLoaded = false;
  EndWaitBox(pBox);
  FrameServices().TableRefreshed(TABLE_ALL);
  return nLoaded;
}

void CDatabase::ShowReport(const std::vector<std::string>& saLines) {
  std::string sText;
  for (const auto& s : saLines) {
    sText += s;
    if (sText.empty() || sText.back() != '\n') sText += '\n';
  }
  GetResponse(sText, MB_OK);
}
