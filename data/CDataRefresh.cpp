#include "data/CDataRefresh.h"

#include <algorithm>
#include <unordered_map>

#include "data/BackupOnClose.h"
#include "data/HeapSort.h"
#include "engine/BackOff.h"
#include "support/CDialogWaitBox.h"
#include "support/CFrameServices.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"

namespace {

template <class T>
void AddOnce(std::vector<T>& v, const T& x) {
  if (std::find(v.begin(), v.end(), x) == v.end()) v.push_back(x);
}

bool IsItemTable(uint8_t nTable) {
  return nTable == TABLE_CATEGORY || nTable == TABLE_PERSON || nTable == TABLE_SCHEDULE ||
         nTable == TABLE_LOG;
}

// Reading the stored sequences of a bigger table goes through one read of
// the whole file instead of one read per record.
constexpr size_t kWholeFileSequenceRead = 256;
// From this many sequence patches on, the record area is held once for all
// and neighbouring patches share one read and one write of up to this many bytes.
constexpr size_t kHoldForPatches = 16;
constexpr uint32_t kPatchRunBytes = 256 * 1024;
// The runs go through the file in order, and the disk starts on what lies
// this far behind the current one: no later run changes it again. (A page
// of the kernel's cache holds up to 2 MB; one written back while a later
// run still changes it would go to disk twice.)
constexpr uint32_t kWriteBackLag = 2 * 1024 * 1024;

uint64_t LocAndPos(uint32_t nLoc, uint32_t nPos) { return uint64_t(nLoc) << 32 | nPos; }

// Sorts LocAndPos values by location, equal ones keeping their order: a
// radix sort over the location's four bytes, for the tens of thousands of
// entries a change in the middle of a big table moves.
void SortByLocation(std::vector<uint64_t>& na) {
  std::vector<uint64_t> naOut(na.size());
  for (int nShift = 32; nShift < 64; nShift += 8) {
    size_t naStart[257] = {};
    for (const uint64_t n : na) ++naStart[((n >> nShift) & 0xFF) + 1];
    for (size_t b = 1; b < 257; ++b) naStart[b] += naStart[b - 1];
    for (const uint64_t n : na) naOut[naStart[(n >> nShift) & 0xFF]++] = n;
    na.swap(naOut);
  }
}

// The header at nLoc, found by walking h forward through the header list
// (the locations asked for ascend, as the list does); nullptr when none.
const stDataHeader* HeaderInWalk(const std::vector<stDataHeader>& list, size_t& h, uint32_t nLoc) {
  while (h < list.size() && list[h].nCurrLoc < nLoc) ++h;
  return h < list.size() && list[h].nCurrLoc == nLoc ? &list[h] : nullptr;
}

// Puts the entries in the order of their sequences. A dense sequence (each
// of 0 .. n-1 once, as a writer stores it) places every entry directly;
// anything else takes the heap sort. 1 when the result is dense.
int OrderBySequence(CIndexArray& ia) {
  std::vector<bool> baTaken(ia.size(), false);
  for (const stIndex& e : ia) {
    if (e.m_nSequence >= ia.size() || baTaken[e.m_nSequence]) return HeapSortIndexArray(ia);
    baTaken[e.m_nSequence] = true;
  }
  CIndexArray placed(ia.size());
  for (stIndex& e : ia) placed[e.m_nSequence] = std::move(e);
  ia = std::move(placed);
  return 1;
}

}  // namespace

// ---- lock and refresh ----

int CDataRefresh::LockAndRefreshDatabase(const std::string& sReason, uint8_t nTable, bool bRefreshOnly) {
  CRefreshState& state = RefreshState();
  const bool bNested = state.HoldsDatabaseLock();
  // A refresh asked for from an event while this copy is writing (it holds
  // the database lock) would free objects the write is using: it waits.
  if ((bRefreshOnly && (state.IsRefreshSuspended() || bNested)) || state.IsRefreshing() ||
      state.IsWaitingForLock()) {
    state.OweRefresh();
    KTRACE("LockAndRefreshDatabase %s skipped\n", sReason.c_str());
    return 0;
  }
  const bool bOuterInLockAndRefresh = state.EnterLockAndRefresh();
  auto done = [&](int nResult) {
    state.LeaveLockAndRefresh(bOuterInLockAndRefresh);
    return nResult;
  };
  if (!LockDatabase(sReason, nTable)) {
    state.OweRefresh();
    return done(0);
  }
  if (bNested) {
    // Memory was brought up to date when the outer write took the lock; a
    // notice that arrived since is refreshed once that write is done.
    if (state.HasNotices()) state.OweRefresh();
    return done(1);
  }
  if (!state.HasNotices()) {
    state.ClearOwedRefresh();
  } else {
    CDialogWaitBox* pBox = StartWaitBox("Waiting to refresh database.", true);
    int nDone = 0;
    for (int nRound = 0; !(nDone = DoRefresh(pBox)) && IsFileLoaded() && !pBox->TestForAbort(); ++nRound)
      BackOffWait(nRound);
    EndWaitBox(pBox);
    if (!nDone) {
      // Aborted or failed: memory is not current, so nothing may be written
      // over it. The flags stay for the next try.
      state.OweRefresh();
      UnlockDatabase();
      return done(0);
    }
  }
  if (bRefreshOnly) UnlockDatabase();
  return done(1);
}

int CDataRefresh::RetryOwedRefresh() {
  if (!RefreshState().IsRefreshDue() || !IsFileLoaded()) return 0;
  return LockAndRefreshDatabase("refresh database", 0, true);
}

int CDataRefresh::RefreshOnNotice() {
  if (!RefreshState().HasNotices() || RefreshState().IsInLockAndRefresh() || !IsFileLoaded()) return 0;
  return LockAndRefreshDatabase("refresh database", 0, true);
}

void CDataRefresh::RefreshAfterLockWait() {
  if (IsFileLoaded()) LockAndRefreshDatabase("refresh database", 0, true);
}

// ---- the refresh itself ----

CDataRefresh::stRefreshPlan CDataRefresh::TakeRefreshPlan() {
  stRefreshPlan plan;
  const std::vector<stRefreshFlag>& flags = RefreshState().Notices();
  std::vector<stRefreshFlag> kept;
  for (size_t i = flags.size(); i-- > 0;) {
    const stRefreshFlag& f = flags[i];
    if (f.nTable == TABLE_ALL) {
      plan.bReload = true;
      return plan;
    }
    if (f.nTable == TABLE_HEADER) {
      if (f.nKey == DB_NONE)
        plan.bRebuild = true;
      else
        AddOnce(plan.naHeaderLocs, f.nKey);
    } else if (f.nKey == DB_NONE) {
      AddOnce(plan.naWholeTables, f.nTable);
      plan.bRebuild = true;
    } else if (f.nKey == SEQUENCE_CODE) {
      AddOnce(plan.naSequenceTables, f.nTable);
    } else {
      kept.push_back(f);
    }
  }
  std::reverse(kept.begin(), kept.end());
  RefreshState().SetNotices(std::move(kept));
  return plan;
}

int CDataRefresh::DoRefresh(CDialogWaitBox* pBox) {
  CRefreshState& state = RefreshState();
  state.BeginRefresh();
  if (pBox) pBox->ChangeText("Refreshing database due to changes by another user.");
  // Notices that arrive while this refresh runs (its wait boxes process
  // events) stay for the next one: only those present now are consumed.
  const std::vector<stRefreshFlag> saved = state.Notices();
  const stRefreshPlan plan = TakeRefreshPlan();
  bool bReload = plan.bReload;
  if (!bReload && plan.bRebuild) {
    if (MakeFileHeaderArray(nullptr, 1, nullptr) == DB_NONE) {
      bReload = true;
    } else {
      // The rebuilt list replaces the changed headers; what they changed is
      // found through their locations and the records' new places.
      FlagsFromHeaders(plan.naHeaderLocs);
      FlagsForMovedItems();
    }
  } else if (!bReload) {
    std::vector<uint32_t> naLocs = plan.naHeaderLocs;
    std::sort(naLocs.begin(), naLocs.end());
    std::vector<stRefreshFlag> flags = state.TakeNotices();
    for (uint32_t nLoc : naLocs)
      if (!UpdateHeader(nLoc, flags)) {
        bReload = true;
        break;
      }
    state.PutBackNotices(std::move(flags));
    // A record another copy deleted may have been reused for a new one at
    // once: its header then names the new item only, and the deleted item
    // is found by the location it stood at.
    if (!bReload) FlagsForMovedItems(&naLocs);
  }
  int nDone = 1;
  if (bReload) {
    nDone = RefreshDatabase();
    if (nDone)
      state.ClearNotices();
    else if (IsFileLoaded())
      state.SetNotices(saved);
  } else if (!RunPartialRefresh(plan, state.TakeNotices())) {
    // Owed again with every notice it was to pay.
    state.SetNotices(saved);
    nDone = 0;
  }
  state.EndRefresh();
  if (nDone && state.HasNotices()) state.OweRefresh();
  SetBackupOnClose();
  return nDone;
}

int CDataRefresh::RunPartialRefresh(const stRefreshPlan& plan, const std::vector<stRefreshFlag>& flags) {
  auto isWhole = [&](uint8_t t) {
    return std::find(plan.naWholeTables.begin(), plan.naWholeTables.end(), t) != plan.naWholeTables.end();
  };
  for (uint8_t t : plan.naWholeTables) RefreshTable(t, DB_NONE);
  std::vector<stRefreshFlag> done;
  for (const stRefreshFlag& f : flags) {
    if (f.nKey == SEQUENCE_CODE || isWhole(f.nTable)) continue;
    const stRefreshFlag key{0, f.nTable, f.nKey};
    if (std::find(done.begin(), done.end(), key) != done.end()) continue;
    done.push_back(key);
    RefreshTable(f.nTable, f.nKey);
  }
  int nOk = 1;
  for (uint8_t t : plan.naSequenceTables)
    if (!isWhole(t) && !RefreshTable(t, SEQUENCE_CODE)) nOk = 0;
  return nOk;
}

void CDataRefresh::FlagsFromHeaders(const std::vector<uint32_t>& naLocs) {
  for (uint32_t nLoc : naLocs) {
    const int i = LocateHeaderInList(nLoc);
    if (i < 0) continue;
    const stDataHeader& h = m_caDataHeaders[size_t(i)];
    RefreshState().AddNoticeOnce({h.nUser, h.nTable, h.nKey});
  }
}

void CDataRefresh::FlagsForMovedItems(const std::vector<uint32_t>* pLocs) {
  for (uint8_t t : {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG}) {
    const CIndexArray& ia = *PtrToIndexArray(t);
    std::vector<uint64_t> entries;  // file location above, position below
    for (size_t i = 0; i < ia.size(); ++i)
      if (!pLocs || std::binary_search(pLocs->begin(), pLocs->end(), ia[i].m_nFileLoc))
        entries.push_back(LocAndPos(ia[i].m_nFileLoc, uint32_t(i)));
    // The entries in file order: one walk over the header list checks them all.
    SortByLocation(entries);
    size_t h = 0;
    for (const uint64_t n : entries) {
      const stIndex& e = ia[uint32_t(n)];
      const stDataHeader* pHeader = HeaderInWalk(m_caDataHeaders, h, e.m_nFileLoc);
      if (!pHeader || !IsLiveRecordOf(*pHeader, t, e.m_nCode)) RefreshState().AddNoticeOnce({0, t, e.m_nCode});
    }
  }
}

int CDataRefresh::RefreshDatabase() {
  if (!LockDatabase("refresh entire database")) return 0;
  CDialogWaitBox* pBox = StartWaitBox("Refreshing database.");
  ClearDatabase();
  CreateDefaultFonts();
  CreateDefaultPageLayouts();
  const int nLoaded = LoadDatabaseFile(pBox);
  EndWaitBox(pBox);
  if (!nLoaded) {
    // The load closed the file; the database goes with it, LAN server and all.
    m_bFileLoaded = false;
    CloseDatabase();
    OnTableRefreshed(TABLE_ALL);
    return 0;
  }
  UnlockDatabase();
  OnTableRefreshed(TABLE_ALL);
  return 1;
}

int CDataRefresh::RefreshTable(uint8_t nTable, uint32_t nCode) {
  m_saLoadReport.clear();
  int nOk = 1;
  switch (nTable) {
    case TABLE_FLAGS: ReadConfigurationTable(); break;
    case TABLE_PARAMETERS: ReadVarRecord(); break;
    case TABLE_FONT:
      if (nCode == DB_NONE)
        ReadFormatRecordTable();
      else
        ReadFormatRecord(nCode);
      break;
    case TABLE_PAGELAYOUT:
      if (nCode == DB_NONE)
        ReadPageLayoutTable();
      else
        ReadPageLayoutRecord(nCode);
      break;
    default:
      if (!IsItemTable(nTable)) return 1;
      if (nCode == DB_NONE)
        ReadTable(nTable, nullptr);
      else if (nCode == SEQUENCE_CODE)
        nOk = ReadTableSequence(nTable, nullptr);
      else
        RefreshItem(nTable, nCode);
  }
  OnTableRefreshed(nTable);
  if (!m_saLoadReport.empty()) ShowReport(m_saLoadReport);
  return nOk;
}

void CDataRefresh::OnTableRefreshed(uint8_t nTable) { FrameServices().TableRefreshed(nTable); }

void CDataRefresh::RemoveEntryAt(uint8_t nTable, uint32_t nPos) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (p && nPos < p->size()) p->erase(p->begin() + nPos);
}

void CDataRefresh::RefreshItem(uint8_t nTable, uint32_t nCode) {
  const bool bNew = LocateIndex(nTable, nCode) == DB_NONE;
  const int i = GetHeaderLoc(nTable, nCode, 0);
  if (i >= 0) {
    const stDataHeader h = m_caDataHeaders[size_t(i)];
    if (LoadTableRecordFromFile(h, DB_NONE)) {
      if (bNew) MoveToSequencePlace(nTable, LocateIndex(nTable, nCode));
      return;
    }
  }
  // Deleted by another user, or unreadable: the item leaves memory. The
  // deleting copy's sequence notice closes the gap.
  RemoveEntryAt(nTable, LocateIndex(nTable, nCode));
}

void CDataRefresh::MoveToSequencePlace(uint8_t nTable, uint32_t nPos) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p || nPos >= p->size()) return;
  // A new item stands where its sequence puts it until the writer's
  // sequence notice renumbers the rest.
  for (; nPos > 0 && (*p)[nPos - 1].m_nSequence > (*p)[nPos].m_nSequence; --nPos)
    std::swap((*p)[nPos - 1], (*p)[nPos]);
}

int CDataRefresh::ReadTableSequence(uint8_t nTable, CDialogWaitBox* pBox) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return 1;
  std::vector<uint32_t> naLocs;
  GetFileLocations(nTable, naLocs);
  const bool bWholeFile = naLocs.size() >= kWholeFileSequenceRead;
  if (bWholeFile) {
    // A rebuild that fails keeps the list and the table as they are; the
    // refresh is owed and tried again.
    std::string sReport;
    if (MakeFileHeaderArray(nullptr, 0, &sReport) == DB_NONE) {
      KTRACE("ReadTableSequence %s: %s\n", GetTableName(nTable).c_str(), sReport.c_str());
      RefreshState().OweRefresh();
      return 0;
    }
    naLocs.clear();
    GetFileLocations(nTable, naLocs);
  }
  std::unordered_map<uint32_t, uint32_t> positions;
  for (size_t i = 0; i < p->size(); ++i) positions.emplace((*p)[i].m_nCode, uint32_t(i));
  std::vector<bool> baSeen(p->size(), false);
  bool bComplete = true;
  if (pBox) pBox->SetDenominator(double(naLocs.size()));
  size_t h = 0;  // the locations come from the header list, in its order: one walk finds them
  for (size_t n = 0; n < naLocs.size(); ++n) {
    const stDataHeader* pHeader = HeaderInWalk(m_caDataHeaders, h, naLocs[n]);
    if (!pHeader) continue;
    const stDataHeader& hd = *pHeader;
    // A record this copy has not read yet (its notice is still on its way)
    // has no entry to take the sequence; it is read in by the next refresh.
    auto it = positions.find(hd.nKey);
    uint8_t a[4];
    if (it == positions.end() || ReadDbBlock(naLocs[n] + DB_HEADER_LEN, a, 4, 1) != 4) {
      RefreshState().AddNoticeOnce({hd.nUser, nTable, hd.nKey});
      bComplete = false;
      continue;
    }
    stIndex& e = (*p)[it->second];
    baSeen[it->second] = true;
    e.m_nSequence = GetUint32(a);
    e.m_nFileLoc = naLocs[n];
    SetItemSequence(nTable, *e.m_pItem, e.m_nSequence);
  }
  // Items whose records are gone (their notices are on the way) go too.
  for (size_t i = 0; i < p->size(); ++i)
    if (!baSeen[i]) {
      RefreshState().AddNoticeOnce({0, nTable, (*p)[i].m_nCode});
      bComplete = false;
    }
  if (bWholeFile) {
    FreeFileBuffer();
    FlagsForMovedItems();
  }
  if (pBox) pBox->ChangeText(StrFormat("Sorting %s", GetTableName(nTable).c_str()));
  // Only a copy that holds the whole table may repair its stored sequence;
  // one that misses records would write a wrong one.
  if (!OrderBySequence(*p) && bComplete) SaveTableSequence(nTable, true);
  if (RefreshState().HasNotices()) RefreshState().OweRefresh();
  return 1;
}

int CDataRefresh::SaveTableSequence(uint8_t nTable, bool bSetRefreshFlag, CDialogWaitBox* pBox) {
  CIndexArray* p = PtrToIndexArray(nTable);
  if (!p) return 1;
  if (DbLockDepth() == 0) {
    KTRACE("SaveTableSequence %s refused: the database is not locked\n", GetTableName(nTable).c_str());
    return 0;
  }
  const std::vector<uint32_t> naMoved = MovedInFileOrder(nTable);
  if (naMoved.empty()) return 1;
  // The database lock keeps every other writer out, so the patches are plain
  // writes, flushed with the rest of the lock's writes when it is given up
  // (no other copy reads them before). Many of them are made while the
  // record area is held, so that neighbouring patches can share one read
  // and one write of the bytes between them.
  const uint32_t nFileSize = GetFileSizeFromHandle(FileHandle());
  const uint32_t nArea =
      nFileSize == DB_NONE || nFileSize <= DB_FIRST_RECORD_LOC ? 0 : nFileSize - DB_FIRST_RECORD_LOC;
  const bool bHeld = naMoved.size() >= kHoldForPatches && nArea &&
                     HoldRange(DB_FIRST_RECORD_LOC, nArea, "SaveTableSequence");
  int nOk = bHeld ? PatchSequenceRuns(nTable, naMoved, pBox) : PatchSequences(nTable, naMoved);
  if (bHeld) ReleaseRange(DB_FIRST_RECORD_LOC, nArea);
  SetBackupOnClose();
  if (bSetRefreshFlag) SetRefreshFlags(nTable, SEQUENCE_CODE, DB_NONE);
  return nOk;
}

std::vector<uint32_t> CDataRefresh::MovedInFileOrder(uint8_t nTable) {
  CIndexArray& ia = *PtrToIndexArray(nTable);
  std::vector<uint64_t> moved;  // file location above, position below
  for (size_t i = 0; i < ia.size(); ++i)
    if (ia[i].m_nSequence != i) moved.push_back(LocAndPos(ia[i].m_nFileLoc, uint32_t(i)));
  SortByLocation(moved);
  // Both the moved entries and the header list are in file order: one walk
  // over the list checks every entry's record.
  bool bRelocated = false;
  size_t h = 0, nKept = 0;
  for (const uint64_t n : moved) {
    uint32_t nLoc = uint32_t(n >> 32);
    const auto i = uint32_t(n);
    stIndex& e = ia[i];
    const stDataHeader* pHeader = HeaderInWalk(m_caDataHeaders, h, nLoc);
    if (!pHeader || !IsLiveRecordOf(*pHeader, nTable, e.m_nCode)) {
      nLoc = GetItemFileLoc(nTable, e.m_nCode, 0, 0);
      if (nLoc == DB_NONE) {  // gone from the file: its refresh removes it
        SetEntrySequence(nTable, e, i);
        continue;
      }
      e.m_nFileLoc = nLoc;
      bRelocated = true;
    }
    moved[nKept++] = LocAndPos(nLoc, i);
  }
  moved.resize(nKept);
  if (bRelocated) SortByLocation(moved);
  std::vector<uint32_t> naMoved;
  naMoved.reserve(moved.size());
  for (const uint64_t n : moved) naMoved.push_back(uint32_t(n));
  return naMoved;
}

void CDataRefresh::SetEntrySequence(uint8_t nTable, stIndex& e, uint32_t nSequence) {
  e.m_nSequence = nSequence;
  SetItemSequence(nTable, *e.m_pItem, nSequence);
}

// The sequence is the first field of every item record: only its 4 bytes
// change, the record is not rewritten. Memory takes the new value only once
// the file has it, so a failed write is tried again next time.
int CDataRefresh::PatchSequences(uint8_t nTable, const std::vector<uint32_t>& naMoved) {
  CIndexArray& ia = *PtrToIndexArray(nTable);
  int nOk = 1;
  for (uint32_t i : naMoved) {
    if (SetIntAt(ia[i].m_nFileLoc + DB_HEADER_LEN, i, 0) == 4)
      SetEntrySequence(nTable, ia[i], i);
    else
      nOk = 0;
  }
  return nOk;
}

int CDataRefresh::PatchSequenceRuns(uint8_t nTable, const std::vector<uint32_t>& naMoved,
                                    CDialogWaitBox* pBox) {
  CIndexArray& ia = *PtrToIndexArray(nTable);
  if (pBox) pBox->SetDenominator(double(naMoved.size()));
  std::vector<uint8_t> aSpan;
  int nOk = 1;
  uint32_t nWrittenBack = 0;  // the disk has been started on everything before
  for (size_t nFirst = 0; nFirst < naMoved.size();) {
    // One run: patches whose bytes lie within kPatchRunBytes of the first.
    const uint32_t nStart = ia[naMoved[nFirst]].m_nFileLoc + DB_HEADER_LEN;
    if (nStart >= nWrittenBack + 2 * kWriteBackLag) {
      FileHandle()->StartWriteBack(nWrittenBack, nStart - kWriteBackLag - nWrittenBack);
      nWrittenBack = nStart - kWriteBackLag;
    }
    size_t nEnd = nFirst + 1;
    while (nEnd < naMoved.size() &&
           uint64_t(ia[naMoved[nEnd]].m_nFileLoc) + DB_HEADER_LEN + 4 - nStart <= kPatchRunBytes)
      ++nEnd;
    const uint32_t nLen = ia[naMoved[nEnd - 1]].m_nFileLoc + DB_HEADER_LEN + 4 - nStart;
    aSpan.resize(nLen);
    bool bDone = ReadDbBlock(nStart, aSpan.data(), nLen, 0) == nLen;
    if (bDone) {
      for (size_t k = nFirst; k < nEnd; ++k)
        PutUint32(aSpan.data() + (ia[naMoved[k]].m_nFileLoc + DB_HEADER_LEN - nStart), naMoved[k]);
      bDone = WriteDbBlock(nStart, aSpan.data(), nLen, 0) == nLen;
    }
    for (size_t k = nFirst; k < nEnd && bDone; ++k) SetEntrySequence(nTable, ia[naMoved[k]], naMoved[k]);
    if (!bDone) nOk = 0;
    if (pBox) pBox->UpdateProgress(double(nEnd));
    nFirst = nEnd;
  }
  return nOk;
}
