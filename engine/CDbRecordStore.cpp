#include "engine/CDbRecordStore.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr int kPlacementRounds = 3;   // list rebuilds before a write gives up
constexpr uint32_t kProgressEvery = 4096;  // headers between progress updates
constexpr uint32_t kHeaderWindow = 1 << 20;  // bytes read at a time by a header-only rebuild
constexpr uint32_t kWalkPrefetch = 4096;     // bytes ahead of the header walk asked into the cache

}  // namespace

CDbRecordStore::CDbRecordStore() {
  m_cBuffer = new uint8_t[DB_BUFFER_SIZE]();
  StoreAllocateMem(m_cBuffer, "m_cBuffer in CDbEngine constructor");
}

CDbRecordStore::~CDbRecordStore() {
  DeleteAllocateMem(m_cBuffer);
  delete[] m_cBuffer;
  FreeFileBuffer();
}

// ---------------------------------------------------------------- list ----

bool CDbRecordStore::LinkOk(uint32_t nLoc, uint32_t nNext, uint32_t nFileSize) {
  // The next header must lie after this one and fit completely in the file.
  return nLoc < nNext && uint64_t(nNext) + DB_HEADER_LEN <= nFileSize;
}

void CDbRecordStore::ShowOrReport(const std::string& sText, std::string* pReport) {
  KTRACE("%s\n", sText.c_str());
  if (pReport)
    *pReport = sText;
  else
    GetResponse(sText, MB_OK);
}

uint32_t CDbRecordStore::MakeFileHeaderArray(CDialogWaitBox* pBox, bool bFreeBuffer,
                                             std::string* pReport) {
  // A rebuild that fails keeps the list it replaces: an empty list would
  // tell every caller that the file holds no records.
  std::vector<stDataHeader> caOld = std::move(m_caDataHeaders);
  m_caDataHeaders.clear();
  // The index of the old list serves the new one when the file holds the
  // same headers (a refresh that rebuilds the list to read the whole file
  // at once mostly finds it unchanged): no rebuild of it then.
  CHeaderIndex oldIndex = std::move(m_index);
  m_index.Invalidate();
  FreeFileBuffer();
  const uint32_t nSize = GetFileSizeFromHandle(m_pFile.get());
  auto fnLoadError = [&](int nError) {
    m_caDataHeaders = std::move(caOld);
    m_index.Invalidate();
    FreeFileBuffer();
    ShowOrReport(StrFormat("Can't load file. Error %u: %s", unsigned(nError), std::strerror(nError)),
                 pReport);
    return DB_NONE;
  };
  if (nSize == DB_NONE) return fnLoadError(m_pFile ? m_pFile->LastError() : EBADF);
  if (pBox) {
    pBox->ChangeText("Allocate memory for loading file into buffer");
    pBox->SetDenominator(nSize);
    pBox->ChangeText(StrFormat("Loading file into buffer, size %u", nSize));
  }
  // A caller that keeps the whole-file buffer reads its records from it; a
  // rebuild that only needs the headers reads the file through a window.
  const bool bKeep = !bFreeBuffer;
  int nError = 0;
  if (bKeep && !LoadFileBuffer(nSize, nError)) {
    if (nError != ENOMEM) return fnLoadError(nError);
    m_caDataHeaders = std::move(caOld);
    ShowOrReport("Can't allocate memory for loading file.", pReport);
    return DB_NONE;
  }
  if (pBox) pBox->ChangeText("Reading record headers");
  m_caDataHeaders.reserve(nSize / 128 + 16);
  stReadWindow window;
  auto fnHeaderBytes = [&](uint32_t nLoc) -> const uint8_t* {
    return bKeep ? m_pFileBuffer.get() + nLoc : WindowBytes(nLoc, nSize, window);
  };
  // The walk stops at the last record, at a file that ends before a complete
  // header, and at the first invalid link; links only go forward, so it ends.
  uint32_t nLoc = DB_FIRST_RECORD_LOC;
  while (uint64_t(nLoc) + DB_HEADER_LEN <= nSize) {
    if (pBox && m_caDataHeaders.size() % kProgressEvery == 0) pBox->UpdateProgress(nLoc);
    // The buffer is far larger than the caches and the walk reads a few bytes
    // of every record: asking for the bytes a page ahead halves its time.
    if (bKeep && nSize - nLoc > kWalkPrefetch)
      __builtin_prefetch(m_pFileBuffer.get() + nLoc + kWalkPrefetch);
    const uint8_t* p = fnHeaderBytes(nLoc);
    if (!p) return fnLoadError(m_pFile->LastError() ? m_pFile->LastError() : ENODATA);
    stDataHeader h = UnpackHeader(p);
    h.nCurrLoc = nLoc;
    m_caDataHeaders.push_back(h);
    if (h.nNextLoc == DB_NONE) break;
    if (FoundEofError(nSize, nLoc, m_caDataHeaders.back(), "MakeFileHeaderArray")) break;
    nLoc = h.nNextLoc;
  }
  if (pReport) pReport->clear();
  if (oldIndex.IsValidFor(caOld.size()) && m_caDataHeaders == caOld) m_index = std::move(oldIndex);
  return nSize;
}

const uint8_t* CDbRecordStore::WindowBytes(uint32_t nLoc, uint32_t nFileSize,
                                           stReadWindow& window) {
  if (nLoc < window.nLoc || nLoc + DB_HEADER_LEN > uint64_t(window.nLoc) + window.nLen) {
    window.aBytes.resize(kHeaderWindow);
    window.nLoc = nLoc;
    window.nLen = std::min<uint32_t>(kHeaderWindow, nFileSize - nLoc);
    if (ReadFileBlockNoLock(m_pFile.get(), nLoc, window.aBytes.data(), window.nLen) !=
        window.nLen) {
      window.nLen = 0;
      return nullptr;
    }
  }
  return window.aBytes.data() + (nLoc - window.nLoc);
}

bool CDbRecordStore::WindowedHeader(uint32_t nLoc, uint32_t nFileSize, stReadWindow& window,
                                    stDataHeader& h) {
  const uint8_t* p = WindowBytes(nLoc, nFileSize, window);
  if (p) h = UnpackHeader(p);
  return p != nullptr;
}

void CDbRecordStore::EnsureIndex() const {
  if (m_index.IsValidFor(m_caDataHeaders.size())) return;
  m_index.Build(m_caDataHeaders, [this](size_t i) { return BlockCapacity(i); });
}

uint32_t CDbRecordStore::BlockCapacity(size_t nIndex) const {
  const stDataHeader& h = m_caDataHeaders[nIndex];
  if (nIndex + 1 >= m_caDataHeaders.size()) return h.nBlkLen;
  const uint32_t nNext = m_caDataHeaders[nIndex + 1].nCurrLoc;
  if (nNext < h.nCurrLoc + DB_HEADER_LEN) return 0;
  return std::min<uint32_t>(h.nBlkLen, nNext - h.nCurrLoc - DB_HEADER_LEN);
}

void CDbRecordStore::AppendEntry(const stDataHeader& header) {
  const bool bIndexed = m_index.IsValidFor(m_caDataHeaders.size());
  m_caDataHeaders.push_back(header);
  if (!bIndexed) return;
  const size_t n = m_caDataHeaders.size() - 1;
  if (n > 0) {  // the old last block now ends at a next header
    m_index.Remove(uint32_t(n - 1), m_caDataHeaders[n - 1]);
    m_index.Add(uint32_t(n - 1), m_caDataHeaders[n - 1], BlockCapacity(n - 1));
  }
  m_index.Add(uint32_t(n), header, BlockCapacity(n));
  m_index.SetSize(m_caDataHeaders.size());
}

void CDbRecordStore::ReplaceEntry(size_t nIndex, const stDataHeader& header) {
  const bool bIndexed = m_index.IsValidFor(m_caDataHeaders.size());
  if (bIndexed) m_index.Remove(uint32_t(nIndex), m_caDataHeaders[nIndex]);
  m_caDataHeaders[nIndex] = header;
  if (bIndexed) m_index.Add(uint32_t(nIndex), header, BlockCapacity(nIndex));
}

void CDbRecordStore::ReplaceOrRebuildEntry(uint32_t nLoc, const stDataHeader& header) {
  stDataHeader h = header;
  h.nCurrLoc = nLoc;
  const int i = LocateHeaderInList(nLoc);
  if (i >= 0) {
    ReplaceEntry(size_t(i), h);
  } else if (!m_caDataHeaders.empty() && m_caDataHeaders.back().nCurrLoc >= nLoc) {
    MakeFileHeaderArray(nullptr, 1, nullptr);
  } else {
    AppendEntry(h);
  }
}

int CDbRecordStore::LocateHeaderInList(uint32_t nLoc, size_t nHint) const {
  if (nHint < m_caDataHeaders.size() && m_caDataHeaders[nHint].nCurrLoc == nLoc) return int(nHint);
  auto it = std::lower_bound(m_caDataHeaders.begin(), m_caDataHeaders.end(), nLoc,
                             [](const stDataHeader& h, uint32_t n) { return h.nCurrLoc < n; });
  if (it == m_caDataHeaders.end() || it->nCurrLoc != nLoc) return -1;
  return int(it - m_caDataHeaders.begin());
}

int CDbRecordStore::ReadDbHeader(uint32_t nLoc, stDataHeader& header, bool bLock) {
  uint8_t a[DB_HEADER_LEN];
  if (ReadDbBlock(nLoc, a, DB_HEADER_LEN, bLock) != DB_HEADER_LEN) return 0;
  header = UnpackHeader(a);
  return 1;
}

int CDbRecordStore::ReadHeaderFromFile(uint32_t nLoc, stDataHeader& header) {
  uint8_t a[DB_HEADER_LEN];
  if (ReadFileBlockNoLock(m_pFile.get(), nLoc, a, DB_HEADER_LEN) != DB_HEADER_LEN) return 0;
  header = UnpackHeader(a);
  return 1;
}

uint32_t CDbRecordStore::WriteDbHeader(uint32_t nLoc, const stDataHeader& header, bool bLock) {
  uint8_t a[DB_HEADER_LEN];
  PackHeader(header, a);
  uint32_t n;
  if (bLock && m_nUsersOnLine > 1)
    n = LockedAccessFileBlock(eAccess::Write, m_pFile.get(), nLoc, a, DB_HEADER_LEN,
                              "WriteDbHeader");
  else
    n = WriteFileBlockUnflushed(m_pFile.get(), nLoc, a, DB_HEADER_LEN);
  if (n == DB_HEADER_LEN) ReplaceOrRebuildEntry(nLoc, header);
  return n;
}

void CDbRecordStore::RestoreHeaderBytes(uint32_t nLoc, const stDataHeader& old) {
  uint8_t a[DB_HEADER_LEN];
  PackHeader(old, a);
  WriteFileBlockUnflushed(m_pFile.get(), nLoc, a, DB_HEADER_LEN);
}

eHeaderChange CDbRecordStore::ChangeHeaderInFile(uint32_t nLoc,
                                                 const std::function<bool(stDataHeader&)>& fnChange,
                                                 const char* pCaller) {
  if (!HoldRange(nLoc, DB_HEADER_LEN, pCaller)) return eHeaderChange::Failed;
  stDataHeader h;
  eHeaderChange nResult = eHeaderChange::Failed;
  if (ReadHeaderFromFile(nLoc, h)) {
    const stDataHeader old = h;
    if (!fnChange(h)) {
      nResult = eHeaderChange::Unchanged;
    } else if (WriteDbHeader(nLoc, h, 1) == DB_HEADER_LEN) {
      nResult = eHeaderChange::Written;
    } else {
      RestoreHeaderBytes(nLoc, old);
    }
  }
  ReleaseRange(nLoc, DB_HEADER_LEN);
  if (nResult == eHeaderChange::Failed) KTRACE("%s: header change at %u failed\n", pCaller, nLoc);
  return nResult;
}

int CDbRecordStore::FoundEofError(uint32_t nFileSize, uint32_t nLoc, stDataHeader& header,
                                  const char* pCaller) {
  const uint32_t nNext = header.nNextLoc;
  if (nNext == DB_NONE || LinkOk(nLoc, nNext, nFileSize)) return 0;
  // The caller's view (a size or a whole-file copy) may be older than the
  // file: a link to a record appended since is not a broken chain.
  const uint32_t nNow = GetFileSizeFromHandle(m_pFile.get());
  stDataHeader current;
  if (nNow != DB_NONE && ReadHeaderFromFile(nLoc, current) &&
      (current.nNextLoc == DB_NONE || LinkOk(nLoc, current.nNextLoc, nNow))) {
    KTRACE("FoundEofError in %s: link at %u changed to %u, walk stops\n", pCaller, nLoc,
           current.nNextLoc);
    return 1;
  }
  // Only a copy that holds the database lock, or is alone, repairs the chain;
  // any other walk stops at the bad link and leaves the file as it is.
  if (m_bReadOnly || nNow == DB_NONE || !(HoldsDatabaseLock() || IsAloneOnFile())) {
    KTRACE("FoundEofError in %s: invalid link %u at %u left for the lock holder\n", pCaller,
           nNext, nLoc);
    return 1;
  }
  const eHeaderChange n = ChangeHeaderInFile(
      nLoc,
      [&](stDataHeader& h) {
        // Bytes without the delimiters or their own location are not a record
        // header (a foreign or badly damaged file): never write into them,
        // leave them to the integrity test.
        if (!IsRecordHeaderAt(h, nLoc)) return false;
        if (h.nNextLoc == DB_NONE || LinkOk(nLoc, h.nNextLoc, nNow)) return false;
        h.nNextLoc = DB_NONE;
        return true;
      },
      pCaller);
  header.nNextLoc = DB_NONE;
  if (n != eHeaderChange::Written) return 1;
  if (uint64_t(nNext) + DB_HEADER_LEN > nNow)
    GetResponse(StrFormat("Invalid end of file marker found (predicted next location %u past end "
                          "of file size %u) and repaired at %u in %s.",
                          nNext, nNow, nLoc, pCaller),
                MB_OK);
  else
    GetResponse(StrFormat("Invalid end of file marker found (predicted next location %u less than "
                          "current location %u) and repaired at %u in %s.",
                          nNext, nLoc, nLoc, pCaller),
                MB_OK);
  return 1;
}

int CDbRecordStore::UpdateHeader(uint32_t nLoc, std::vector<stRefreshFlag>& refreshList) {
  stDataHeader h;
  if (nLoc == DB_NONE || !ReadDbHeader(nLoc, h, 1)) {
    MakeFileHeaderArray(nullptr, 1, nullptr);
    return 0;
  }
  if (h.cStatus == STATUS_LOCKED) h.cStatus = STATUS_USED;
  h.nCurrLoc = nLoc;
  const stRefreshFlag flag{h.nUser, h.nTable, h.nKey};
  if (std::find(refreshList.begin(), refreshList.end(), flag) == refreshList.end())
    refreshList.push_back(flag);
  const int i = LocateHeaderInList(nLoc);
  if (i >= 0) {
    // A changed link that no longer reaches the next entry means the list
    // is out of step with the chain.
    if (size_t(i) + 1 < m_caDataHeaders.size() && h.nNextLoc != m_caDataHeaders[i + 1].nCurrLoc) {
      MakeFileHeaderArray(nullptr, 1, nullptr);
      return 0;
    }
    ReplaceEntry(size_t(i), h);
    return 1;
  }
  if (!m_caDataHeaders.empty() && (m_caDataHeaders.back().nNextLoc != nLoc ||
                                   h.nPrevLoc != m_caDataHeaders.back().nCurrLoc)) {
    MakeFileHeaderArray(nullptr, 1, nullptr);
    return 0;
  }
  AppendEntry(h);
  return 1;
}

// ------------------------------------------------------------- finding ----

int CDbRecordStore::GetHeaderLoc(uint8_t nTable, uint32_t nKey, uint8_t nSubTable) const {
  EnsureIndex();
  if (const std::vector<uint32_t>* p = m_index.Find(nTable, nKey, nSubTable))
    for (uint32_t i : *p)
      if (IsLiveStatus(m_caDataHeaders[i].cStatus)) return int(i);
  return -1;
}

uint32_t CDbRecordStore::GetItemFileLoc(uint8_t nTable, uint32_t nKey, uint8_t nSubTable,
                                        bool bIncludeMarked) {
  EnsureIndex();
  if (const std::vector<uint32_t>* p = m_index.Find(nTable, nKey, nSubTable))
    for (uint32_t i : *p) {
      const char c = m_caDataHeaders[i].cStatus;
      if (IsLiveStatus(c) || (bIncludeMarked && c == STATUS_MARKDEL))
        return m_caDataHeaders[i].nCurrLoc;
    }
  return DB_NONE;
}

char CDbRecordStore::GetTableAndKey(uint32_t nLoc, uint8_t& nTable, uint32_t& nKey) {
  stDataHeader h;
  if (!ReadDbHeader(nLoc, h, 1)) return 0;
  nTable = h.nTable;
  nKey = h.nKey;
  return h.cStatus;
}

void CDbRecordStore::GetFileLocations(std::vector<uint32_t>& naLocs) const {
  for (const stDataHeader& h : m_caDataHeaders)
    if (IsLiveStatus(h.cStatus) && h.nSubTable == 0) naLocs.push_back(h.nCurrLoc);
}

void CDbRecordStore::GetFileLocations(uint8_t nTable, std::vector<uint32_t>& naLocs) const {
  for (const stDataHeader& h : m_caDataHeaders)
    if (IsLiveStatus(h.cStatus) && h.nSubTable == 0 && h.nTable == nTable)
      naLocs.push_back(h.nCurrLoc);
}

void CDbRecordStore::GetFileLocations(uint8_t nTable, uint32_t nKey, uint8_t nSubTable,
                                      std::vector<uint32_t>& naLocs) const {
  for (const stDataHeader& h : m_caDataHeaders)
    if (IsLiveStatus(h.cStatus) && h.nTable == nTable && h.nKey == nKey &&
        (nSubTable == 255 || h.nSubTable == nSubTable))
      naLocs.push_back(h.nCurrLoc);
}

// ------------------------------------------------------------- writing ----

void CDbRecordStore::ShowWriteFailure() { GetResponse("Could not write record to file.", MB_OK); }

void CDbRecordStore::NoteChangedHeader(uint32_t nLoc) { m_naChangedHeaders.push_back(nLoc); }

void CDbRecordStore::ResyncHeaderList() {
  std::string sIgnored;
  MakeFileHeaderArray(nullptr, 1, &sIgnored);
}

uint32_t CDbRecordStore::GetNextFree(uint32_t nSize, stDataHeader& header, stPlacement& place) {
  place = stPlacement();
  if (m_caDataHeaders.empty()) {
    header.nCurrLoc = DB_FIRST_RECORD_LOC;
    header.nNextLoc = header.nPrevLoc = DB_NONE;
    header.nBlkLen = uint16_t(nSize);
    return DB_FIRST_RECORD_LOC;
  }
  EnsureIndex();
  auto fnTake = [&](size_t i, ePlace nPlace) {
    place.nPlace = nPlace;
    place.chosen = m_caDataHeaders[i];
    header.nCurrLoc = place.chosen.nCurrLoc;
    header.nNextLoc = place.chosen.nNextLoc;
    header.nPrevLoc = place.chosen.nPrevLoc;
    header.nBlkLen = uint16_t(BlockCapacity(i));  // never past the next header
    return header.nCurrLoc;
  };
  // The same item with room enough is rewritten in place; smaller live
  // copies of it become free space once the new copy is in the file.
  if (const std::vector<uint32_t>* p = m_index.Find(header.nTable, header.nKey, header.nSubTable))
    for (uint32_t i : *p) {
      const stDataHeader& e = m_caDataHeaders[i];
      if (!IsLiveStatus(e.cStatus) || e.nSubKey != header.nSubKey) continue;
      if (BlockCapacity(i) >= nSize) return fnTake(i, PLACE_SAME_ITEM);
      place.naOldCopies.push_back(e.nCurrLoc);
    }
  const long nFree = m_index.BestFree(nSize);
  if (nFree >= 0) return fnTake(size_t(nFree), PLACE_FREE_BLOCK);
  place.nPlace = PLACE_APPEND;
  place.last = m_caDataHeaders.back();
  const uint64_t nNew = uint64_t(place.last.nCurrLoc) + DB_HEADER_LEN + place.last.nBlkLen;
  if (nNew + DB_HEADER_LEN + nSize > uint64_t(DB_MAX_LOCATION) + 1) return DB_NONE;
  header.nCurrLoc = uint32_t(nNew);
  header.nNextLoc = DB_NONE;
  header.nPrevLoc = place.last.nCurrLoc;
  header.nBlkLen = uint16_t(nSize);
  return header.nCurrLoc;
}

bool CDbRecordStore::IsLockedByOtherInFile(const stDataHeader& f) {
  // Locks of other users are live while any other copy has the file open;
  // a copy alone meets only locks left behind.
  return f.cStatus == STATUS_LOCKED && f.nLockOwner != m_nUserNumber && !IsAloneOnFile();
}

void CDbRecordStore::ShowRecordLocked(uint8_t nTable, uint32_t nKey) {
  GetResponse(StrFormat("Access denied. Record %u in %s locked by another user.", nKey,
                        GetTableName(nTable).c_str()),
              MB_OK);
}

bool CDbRecordStore::OldCopiesLockedByOther(stPlacement& place) {
  for (uint32_t nOld : place.naOldCopies) {
    stDataHeader f;
    if (ReadHeaderFromFile(nOld, f) && IsLockedByOtherInFile(f)) place.bLockedByOther = true;
  }
  return place.bLockedByOther;
}

uint32_t CDbRecordStore::AppendLocation(stPlacement& place, stDataHeader& header, uint32_t nSize) {
  // Records behind a cut chain still lie after the last block; an append
  // there would overwrite what the integrity test can link back in. It goes
  // to the real end of the file instead.
  const uint64_t nEnd = uint64_t(place.last.nCurrLoc) + DB_HEADER_LEN + place.last.nBlkLen;
  const uint32_t nFileSize = GetFileSizeFromHandle(m_pFile.get());
  stDataHeader f;
  if (nFileSize == DB_NONE || nFileSize <= nEnd || !ReadHeaderFromFile(uint32_t(nEnd), f) ||
      !IsRecordHeaderAt(f, uint32_t(nEnd)))
    return header.nCurrLoc;
  if (uint64_t(nFileSize) + DB_HEADER_LEN + nSize > uint64_t(DB_MAX_LOCATION) + 1) return DB_NONE;
  KTRACE("WriteRecord: a record lies behind the last one at %u; appending at %u\n",
         unsigned(nEnd), nFileSize);
  place.nAppendAt = nFileSize;
  header.nCurrLoc = nFileSize;
  return nFileSize;
}

bool CDbRecordStore::PlacementStillValid(stPlacement& place, bool bAcceptLongerFile) {
  const bool bAtEnd = place.nPlace == PLACE_APPEND || place.nPlace == PLACE_FIRST;
  const uint32_t nSize = bAtEnd ? GetFileSizeFromHandle(m_pFile.get()) : 0;
  if (nSize == DB_NONE) return false;
  // An empty list fits only a file without a first header: a longer file
  // means the list could not be built, and 1024 holds a record.
  if (place.nPlace == PLACE_FIRST) return nSize < DB_FIRST_RECORD_LOC + DB_HEADER_LEN;
  stDataHeader f;
  const stDataHeader& want = place.nPlace == PLACE_APPEND ? place.last : place.chosen;
  if (!ReadHeaderFromFile(want.nCurrLoc, f)) return false;
  place.inFile = f;
  if (f.nBlkLen != want.nBlkLen || f.nNextLoc != want.nNextLoc) return false;
  switch (place.nPlace) {
    case PLACE_SAME_ITEM:
      if (!IsLiveStatus(f.cStatus) || f.nTable != want.nTable || f.nKey != want.nKey ||
          f.nSubTable != want.nSubTable || f.nSubKey != want.nSubKey)
        return false;
      place.bLockedByOther = IsLockedByOtherInFile(f);
      return !place.bLockedByOther;
    case PLACE_FREE_BLOCK:
      return f.cStatus == STATUS_DELETED;
    default: {
      // An append needs the end of the chain, and (unless the list was just
      // rebuilt) a file that ends at the last block: anything longer may be
      // another copy's append whose link is not written yet.
      const uint64_t nEnd = place.nAppendAt ? place.nAppendAt
                                            : uint64_t(want.nCurrLoc) + DB_HEADER_LEN + want.nBlkLen;
      return f.nNextLoc == DB_NONE && (nSize <= nEnd || (bAcceptLongerFile && !place.nAppendAt));
    }
  }
}

int CDbRecordStore::LinkAppendedRecord(const stPlacement& place, uint32_t nNewLoc) {
  // The old last header is held since it was checked: link from those bytes.
  stDataHeader h = place.inFile;
  h.nNextLoc = nNewLoc;
  if (WriteDbHeader(place.last.nCurrLoc, h, 1) != DB_HEADER_LEN) {
    RestoreHeaderBytes(place.last.nCurrLoc, place.inFile);
    return 0;
  }
  NoteChangedHeader(place.last.nCurrLoc);
  return 1;
}

bool CDbRecordStore::WriteAtPlacement(const stPlacement& place, stDataHeader& h, uint32_t nSize) {
  const uint32_t nLoc = h.nCurrLoc;
  const bool bInPlace = place.nPlace == PLACE_SAME_ITEM;
  // An in-place rewrite overwrites the only copy: keep its bytes, so that a
  // failure can put the old record back as it was.
  std::vector<uint8_t> aOld(bInPlace ? place.inFile.nDataLen : 0);
  if (!aOld.empty() &&
      ReadFileBlockNoLock(m_pFile.get(), nLoc + DB_HEADER_LEN, aOld.data(), uint32_t(aOld.size())) !=
          aOld.size())
    return false;
  auto fnUndoData = [&] {
    if (!aOld.empty())
      WriteFileBlockUnflushed(m_pFile.get(), nLoc + DB_HEADER_LEN, aOld.data(), uint32_t(aOld.size()));
    // An append that is not linked leaves bytes past the end of the chain,
    // which the next open takes for a damaged end: cut them off again while
    // the file still ends with this block (the held range keeps others out).
    const int64_t nEnd = place.nPlace == PLACE_APPEND ? m_pFile->Size() : -1;
    if (nEnd > int64_t(nLoc) && nEnd <= int64_t(nLoc) + DB_HEADER_LEN + nSize) m_pFile->Truncate(nLoc);
  };
  // Data first, then the header, then the link: a failure at any step
  // leaves the chain as it was.
  if (nSize && WriteDbBlock(nLoc + DB_HEADER_LEN, m_cBuffer, nSize, 1) != nSize) {
    fnUndoData();
    return false;
  }
  if (WriteDbHeader(nLoc, h, 1) != DB_HEADER_LEN) {
    if (place.nPlace == PLACE_SAME_ITEM || place.nPlace == PLACE_FREE_BLOCK)
      RestoreHeaderBytes(nLoc, place.inFile);
    fnUndoData();
    return false;
  }
  NoteChangedHeader(nLoc);
  if (place.nPlace != PLACE_APPEND || LinkAppendedRecord(place, nLoc)) return true;
  // Not linked: without its delimiters the header cannot be taken for a
  // record that was lost, and linked in beside the copy that stays live.
  const uint8_t aNone[2] = {0, 0};
  WriteFileBlockUnflushed(m_pFile.get(), nLoc, aNone, sizeof aNone);
  fnUndoData();
  return false;
}

bool CDbRecordStore::FreeOldCopies(const stPlacement& place, const stDataHeader& h) {
  bool bOk = true;
  for (uint32_t nOld : place.naOldCopies) {
    const eHeaderChange n = ChangeHeaderInFile(
        nOld,
        [&](stDataHeader& o) {
          if (!IsLiveStatus(o.cStatus) || o.nTable != h.nTable || o.nKey != h.nKey ||
              o.nSubTable != h.nSubTable || o.nSubKey != h.nSubKey)
            return false;  // no longer this item's old copy
          o.cStatus = STATUS_DELETED;
          return true;
        },
        "WriteRecord");
    if (n == eHeaderChange::Written) NoteChangedHeader(nOld);
    bOk = bOk && n != eHeaderChange::Failed;
  }
  return bOk;
}

uint32_t CDbRecordStore::WriteRecord(uint32_t nSize, uint8_t nTable, uint32_t nKey,
                                     uint8_t nSubTable, uint32_t nSubKey) {
  if (nSize > DB_MAX_BLOCK || !m_pFile || m_bReadOnly) {
    ShowWriteFailure();
    return DB_NONE;
  }
  for (int nRound = 0; nRound < kPlacementRounds; ++nRound) {
    stDataHeader h;
    h.nTable = nTable;
    h.nSubTable = nSubTable;
    h.nKey = nKey;
    h.nSubKey = nSubKey;
    stPlacement place;
    uint32_t nLoc = GetNextFree(nSize, h, place);
    if (nLoc != DB_NONE && place.nPlace == PLACE_APPEND) nLoc = AppendLocation(place, h, nSize);
    if (nLoc == DB_NONE) break;
    if (OldCopiesLockedByOther(place)) {
      ShowRecordLocked(nTable, nKey);
      return DB_NONE;
    }
    h.nDataLen = uint16_t(nSize);
    h.nUser = GetUserFromKey(nKey);
    h.cStatus = STATUS_USED;
    h.nLockOwner = 0;
    // One held range from the chosen header (the last one for an append) to
    // the end of the new data: no other copy changes it between the check
    // and the writes, and the writes need no locks of their own.
    const uint32_t nHold = place.nPlace == PLACE_APPEND ? place.last.nCurrLoc : nLoc;
    const uint32_t nHoldLen = nLoc + DB_HEADER_LEN + nSize - nHold;
    if (!HoldRange(nHold, nHoldLen, "WriteRecord")) break;
    // The list may lag behind the file: check the choice, rebuild and choose again.
    const bool bValid = PlacementStillValid(place, nRound > 0);
    if (bValid && place.nPlace != PLACE_APPEND && place.nPlace != PLACE_FIRST)
      h.nPrevLoc = place.inFile.nPrevLoc;
    const bool bWritten = bValid && WriteAtPlacement(place, h, nSize);
    ReleaseRange(nHold, nHoldLen);
    if (place.bLockedByOther) {  // nothing was written
      ShowRecordLocked(nTable, nKey);
      return DB_NONE;
    }
    if (!bValid) {
      KTRACE("WriteRecord: list out of step at %u, rebuilding\n", nLoc);
      ResyncHeaderList();
      continue;
    }
    if (!bWritten) break;
    if (!FreeOldCopies(place, h)) {
      // The old copy stays the live one: take the new copy back out (a
      // failure of that says so itself).
      if (ChangeStatus(nLoc, STATUS_DELETED, 1)) ShowWriteFailure();
      ResyncHeaderList();
      return DB_NONE;
    }
    return nLoc;
  }
  ShowWriteFailure();
  ResyncHeaderList();
  return DB_NONE;
}

eRewriteResult CDbRecordStore::RewriteRecord(uint32_t nLoc, uint32_t nSize, uint8_t nTable,
                                             uint32_t nKey, uint8_t nSubTable, uint32_t nSubKey,
                                             bool bLock) {
  if (nLoc == DB_NONE || m_bReadOnly) return eRewriteResult::NotWritten;
  // The header is held from the read to the write, so a lock another copy
  // sets meanwhile is not overwritten by a stale copy.
  if (!HoldRange(nLoc, DB_HEADER_LEN, "RewriteRecord")) return eRewriteResult::NotWritten;
  eRewriteResult nResult = eRewriteResult::NotWritten;
  stDataHeader h;
  const bool bRead = ReadHeaderFromFile(nLoc, h);
  const bool bLocked = bRead && IsLockedByOtherInFile(h);
  if (bRead && !bLocked && (nSize == DB_NONE || nSize <= h.nDataLen)) {
    const stDataHeader old = h;
    h.nTable = nTable;
    h.nSubTable = nSubTable;
    h.nKey = nKey;
    h.nSubKey = nSubKey;
    if (nSize != DB_NONE) h.nDataLen = uint16_t(nSize);
    h.cStatus = STATUS_USED;
    h.nUser = GetUserFromKey(nKey);
    const bool bData = nSize == DB_NONE || nSize == 0 ||
                       WriteDbBlock(nLoc + DB_HEADER_LEN, m_cBuffer, nSize, bLock) == nSize;
    if (!bData) {
      ShowWriteFailure();
    } else if (WriteDbHeader(nLoc, h, bLock) != DB_HEADER_LEN) {
      RestoreHeaderBytes(nLoc, old);
      ShowWriteFailure();
      nResult = eRewriteResult::HeaderFailed;
    } else {
      NoteChangedHeader(nLoc);
      nResult = eRewriteResult::Written;
    }
  }
  ReleaseRange(nLoc, DB_HEADER_LEN);
  if (bLocked) ShowRecordLocked(h.nTable, h.nKey);
  if (nResult == eRewriteResult::HeaderFailed) ResyncHeaderList();
  return nResult;
}

uint32_t CDbRecordStore::ReadRecord(uint32_t nLoc, bool bLock, uint32_t* pKey, uint32_t* pSubKey,
                                    uint8_t* pSubTable) {
  if (nLoc == DB_NONE) return 0;
  // Header and data in one access when the list says how long the data is:
  // one lock and one read, and both parts from the same moment.
  const int i = LocateHeaderInList(nLoc);
  const uint32_t nGuess = i >= 0 ? m_caDataHeaders[i].nDataLen : 0;
  uint8_t aSmall[DB_HEADER_LEN + 512];
  std::vector<uint8_t> aBig(nGuess > 512 ? DB_HEADER_LEN + nGuess : 0);
  uint8_t* p = aBig.empty() ? aSmall : aBig.data();
  stDataHeader h;
  const bool bOne = ReadDbBlock(nLoc, p, DB_HEADER_LEN + nGuess, bLock) == DB_HEADER_LEN + nGuess &&
                    (h = UnpackHeader(p)).nDataLen <= nGuess;
  if (bOne)
    std::memcpy(m_cBuffer, p + DB_HEADER_LEN, h.nDataLen);
  else if (!ReadRecordInTwoSteps(nLoc, bLock, h))
    return 0;
  if (pKey) *pKey = h.nKey;
  if (pSubKey) *pSubKey = h.nSubKey;
  if (pSubTable) *pSubTable = h.nSubTable;
  return h.nDataLen;
}

bool CDbRecordStore::ReadRecordInTwoSteps(uint32_t nLoc, bool bLock, stDataHeader& h) {
  if (!ReadDbHeader(nLoc, h, bLock)) return false;
  return h.nDataLen == 0 ||
         ReadDbBlock(nLoc + DB_HEADER_LEN, m_cBuffer, h.nDataLen, bLock) == h.nDataLen;
}

uint32_t CDbRecordStore::ReadTableRecord(uint8_t nTable, uint32_t nKey) {
  return ReadRecord(GetItemFileLoc(nTable, nKey, 0, 0), 1);
}

int CDbRecordStore::DeleteRecord(uint32_t nLoc, bool bFree, bool bLock) {
  NoteChangedHeader(nLoc);
  return ChangeStatus(nLoc, bFree ? STATUS_DELETED : STATUS_MARKDEL, bLock);
}

int CDbRecordStore::ChangeStatus(uint32_t nLoc, char cStatus, bool /*bLock*/) {
  // Always from the file's bytes under a held range (the held write is
  // locked and verified when others are on line).
  // A record another copy has locked is not deleted under it.
  // The message waits until the held range is released.
  std::optional<stDataHeader> locked;
  const eHeaderChange n = ChangeHeaderInFile(
      nLoc,
      [&](stDataHeader& h) {
        if (!IsLiveStatus(cStatus) && IsLockedByOtherInFile(h)) {
          locked = h;
          return false;
        }
        h.cStatus = cStatus;
        return true;
      },
      "ChangeStatus");
  if (locked) ShowRecordLocked(locked->nTable, locked->nKey);
  if (n == eHeaderChange::Failed) ShowWriteFailure();  // else a delete fails without a word
  return n == eHeaderChange::Written ? 1 : 0;
}

uint32_t CDbRecordStore::SetIntAt(uint32_t nLoc, uint32_t nValue, bool bLock) {
  uint8_t a[4];
  PutUint32(a, nValue);
  return WriteDbBlock(nLoc, a, 4, bLock);
}

uint32_t CDbRecordStore::GetIntAt(uint32_t nLoc) {
  uint8_t a[4];
  if (ReadDbBlock(nLoc, a, 4, 1) != 4) return DB_NONE;
  return GetUint32(a);
}

uint32_t CDbRecordStore::SetByteAt(uint32_t nLoc, uint8_t nValue, bool bLock) {
  return WriteDbBlock(nLoc, &nValue, 1, bLock);
}

uint8_t CDbRecordStore::GetByteAt(uint32_t nLoc, bool bLock) {
  uint8_t n = 0;
  m_bLastByteReadFailed = ReadDbBlock(nLoc, &n, 1, bLock) != 1;
  return m_bLastByteReadFailed ? 0xFF : n;
}

// ---------------------------------------------------------------- keys ----

uint32_t CDbRecordStore::GetNextKey(uint8_t nTable) {
  const uint32_t nLow = KeyRangeLow(m_nUserNumber);
  const uint32_t nEnd = KeyRangeEnd(m_nUserNumber);
  EnsureIndex();
  // The highest key over every header of the table, freed ones included, so
  // that a deleted item's code is never handed out again.
  uint32_t nHighest = nLow;
  uint32_t nKey = 0;
  if (m_index.HighestKeyBelow(nTable, nEnd, nKey) && nKey > nHighest) nHighest = nKey;
  if (uint64_t(nHighest) + 1 >= nEnd) {
    GetResponse(StrFormat("No more keys available for user %u in %s.", unsigned(m_nUserNumber),
                          GetTableName(nTable).c_str()),
                MB_OK);
    return DB_NONE;
  }
  return nHighest + 1;
}

uint8_t CDbRecordStore::GetUserFromKey(uint32_t nKey) const {
  return UserFromKey(nKey, m_nUserNumber);
}

// --------------------------------------------------------------- names ----

std::string CDbRecordStore::GetTableName(int nTable) const {
  if (nTable == TABLE_ALL) return "All tables";
  if (nTable == TABLE_DATABASE) return "No tables";
  if (nTable < DB_FIRST_TABLE || nTable > DB_LAST_TABLE) return StrFormat("Bad table index %i", nTable);
  if (size_t(nTable) < m_saTableNames.size() && !m_saTableNames[nTable].empty())
    return m_saTableNames[nTable];
  return DefaultTableName(nTable);
}

void CDbRecordStore::SetTableNames(const std::vector<std::string>& saNames) {
  m_saTableNames = saNames;
}

std::string CDbRecordStore::HeaderDescription(const stDataHeader& h) {
  return StrFormat(
      "Header: Table %i, key %u, CurrLoc %u, Status %c, NextLoc %u, PrevLoc %u, BlkLen %u, "
      "DataLen %u",
      int(h.nTable), h.nKey, h.nCurrLoc, h.cStatus ? h.cStatus : ' ', h.nNextLoc, h.nPrevLoc,
      unsigned(h.nBlkLen), unsigned(h.nDataLen));
}

bool CDbRecordStore::IsAloneOnFile() {
  return m_nUsersOnLine <= 1 && m_pFile && m_pFile->IsAlone();
}
