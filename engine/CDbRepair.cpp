#include "engine/CDbRepair.h"

#include <algorithm>

#include "engine/CDbEngine.h"
#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

const char* const kCaller = "TestAndRepairDatabase";

// A status byte as it can stand in a report line (a NUL would cut it).
char Printable(char c) { return (c >= 0x20 && c <= 0x7E) ? c : '?'; }

// The user a key belongs to, 0 when the key does not name one (the range of
// user 0, and 0xFFFFFFFF).
uint8_t KeyUser(uint32_t nKey) { return nKey == DB_NONE ? 0 : uint8_t((nKey >> 24) + 1); }

uint16_t ClampBlock(int64_t n) { return uint16_t(std::clamp<int64_t>(n, 0, DB_MAX_BLOCK)); }

}  // namespace

CDbRepair::CDbRepair(CDbEngine& engine) : m_engine(engine), m_scan(engine) {}

void CDbRepair::Fault(const std::string& sLine) {
  m_pReport->push_back(sLine);
  ++m_nProblems;
  KTRACE("%s: %s\n", kCaller, sLine.c_str());
}

void CDbRepair::Note(const std::string& sLine) { m_pReport->push_back(sLine); }

bool CDbRepair::WriteUnderHold(uint32_t nLoc, const stDataHeader* pExpected,
                               const uint8_t* pBytes, uint32_t nSize) {
  if (!m_engine.HoldRange(nLoc, DB_HEADER_LEN, kCaller)) return false;
  CSharedFile* pFile = m_engine.FileHandle();
  uint8_t c[DB_HEADER_LEN];
  bool bOk =
      !pExpected || (m_engine.LockedAccessFileBlock(CDbFileAccess::eAccess::Read, pFile, nLoc, c,
                                                    DB_HEADER_LEN, kCaller) == DB_HEADER_LEN &&
                     UnpackHeader(c) == *pExpected);
  if (bOk) {
    std::copy(pBytes, pBytes + nSize, c);
    // The engine's rule: locked, flushed and verified while others are on
    // line, a plain write otherwise; the repair flushes once at its end.
    bOk = m_engine.WriteDbBlock(nLoc, c, nSize, 1) == nSize;
  }
  m_engine.ReleaseRange(nLoc, DB_HEADER_LEN);
  if (bOk) m_bWrote = true;
  return bOk;
}

bool CDbRepair::WriteHeader(uint32_t nLoc, const stDataHeader& expected,
                            const stDataHeader& header) {
  uint8_t c[DB_HEADER_LEN];
  PackHeader(header, c);
  return WriteUnderHold(nLoc, &expected, c, DB_HEADER_LEN);
}

bool CDbRepair::ClearDelimiters(const stFoundHeader& orphan) {
  const uint8_t cZero[2] = {0, 0};
  return WriteUnderHold(orphan.nLoc, &orphan.header, cZero, 2);
}

void CDbRepair::WriteFailed() {
  // Stop writing: the rest is reported as a test would report it.
  Note(" Could not write record to file.");
  m_bRepair = false;
}

void CDbRepair::ApplyFix(size_t i, const stDataHeader& h, const std::string& sRepairLine) {
  stFoundHeader& entry = m_chain[i];
  if (m_bRepair) {
    if (WriteHeader(entry.nLoc, entry.header, h))
      Note(sRepairLine);
    else
      WriteFailed();
  }
  entry.header = h;
}

long CDbRepair::ChainEntryBefore(uint32_t nLoc) const {
  auto it = std::lower_bound(m_chain.begin(), m_chain.end(), nLoc,
                             [](const stFoundHeader& f, uint32_t n) { return f.nLoc < n; });
  return long(it - m_chain.begin()) - 1;
}

bool CDbRepair::InChain(uint32_t nLoc) const {
  const long i = ChainEntryBefore(nLoc) + 1;
  return size_t(i) < m_chain.size() && m_chain[size_t(i)].nLoc == nLoc;
}

bool CDbRepair::IsDuplicate(const stDataHeader& h) const {
  return IsLiveStatus(h.cStatus) && m_liveKeys.count({h.nTable, h.nKey}) > 0;
}

void CDbRepair::NoteLiveKey(const stDataHeader& h) {
  if (IsLiveStatus(h.cStatus)) m_liveKeys.insert({h.nTable, h.nKey});
}

// Where the space of chain entry i ends: the next chain header, or for the
// last record the end of the file.
uint32_t CDbRepair::SpaceLimit(size_t i) const {
  return i + 1 < m_chain.size() ? m_chain[i + 1].nLoc : m_nFileSize;
}

uint8_t CDbRepair::RepairedUser(const stDataHeader& h) const {
  if (const uint8_t n = KeyUser(h.nKey)) return n;
  return m_engine.m_nUserNumber ? m_engine.m_nUserNumber : 1;
}

void CDbRepair::CheckFirstHeader() {
  if (!m_scan.FirstHeaderInvalid()) return;
  Fault(StrFormat("First record header at %u is invalid.", DB_FIRST_RECORD_LOC));
  // The first header can only live at 1024, so what is there now is a broken
  // header: a header of kept deleted data takes its place, up to the first
  // header the scan found, so that the records behind it can be linked again.
  uint32_t nLimit = m_nFileSize;
  for (const auto& c : m_candidates)
    if (c.nLoc >= DB_FIRST_RECORD_LOC + DB_HEADER_LEN) {
      nLimit = c.nLoc;
      break;
    }
  stDataHeader h;
  h.nCurrLoc = DB_FIRST_RECORD_LOC;
  h.nBlkLen = ClampBlock(int64_t(nLimit) - DB_FIRST_RECORD_LOC - DB_HEADER_LEN);
  h.nTable = TABLE_DATABASE;
  h.nKey = DB_NONE;
  h.nUser = RepairedUser(h);
  h.cStatus = STATUS_MARKDEL;
  if (m_bRepair) {
    uint8_t c[DB_HEADER_LEN];
    PackHeader(h, c);
    if (!WriteUnderHold(DB_FIRST_RECORD_LOC, nullptr, c, DB_HEADER_LEN)) {
      WriteFailed();
      return;
    }
    Note(StrFormat(" First record header rebuilt as deleted data, block size %u.", h.nBlkLen));
  }
  m_chain.insert(m_chain.begin(), {DB_FIRST_RECORD_LOC, h});
}

void CDbRepair::CheckChainEnds() {
  if (m_chain.empty()) return;
  stDataHeader h = m_chain.front().header;
  if (h.nPrevLoc != DB_NONE) {
    const uint32_t nOld = h.nPrevLoc;
    Fault(StrFormat("First record pointer to previous record wrong (%u).", nOld));
    h.nPrevLoc = DB_NONE;
    ApplyFix(0, h, StrFormat(" First record pointer to previous record repaired (%u).", nOld));
  }
  h = m_chain.back().header;
  if (h.nNextLoc != DB_NONE) {
    const uint32_t nOld = h.nNextLoc;
    Fault(StrFormat("Last record pointer to following record wrong (%u).", nOld));
    h.nNextLoc = DB_NONE;
    ApplyFix(m_chain.size() - 1, h,
             StrFormat(" Last record pointer to following record repaired (%u).", nOld));
  }
}

void CDbRepair::CheckRecord(size_t i) {
  const uint32_t nLoc = m_chain[i].nLoc;
  const bool bFirst = i == 0;
  const bool bLast = i + 1 == m_chain.size();
  stDataHeader h = m_chain[i].header;

  if (!CIntegrityScan::HasDelimiters(h)) {
    Fault(StrFormat("Record at %u has invalid delimiters.", nLoc));
    h.cDelims[0] = h.cDelims[1] = HEADER_DELIM;
    ApplyFix(i, h, " Delimiters set to UU.");
  }
  if (h.nCurrLoc != nLoc) {
    Fault(StrFormat("Record at %u has invalid current location %u.", nLoc, h.nCurrLoc));
    h.nCurrLoc = nLoc;
    ApplyFix(i, h, StrFormat(" Current location set to %u.", nLoc));
  }
  // Records whose status or table is broken are kept ("#"), never freed: a
  // free block would be reused and its data overwritten.
  if (!CIntegrityScan::IsValidStatus(h.cStatus)) {
    Fault(StrFormat("Record at %u has invalid status %c.", nLoc, Printable(h.cStatus)));
    h.cStatus = STATUS_MARKDEL;
    ApplyFix(i, h, StrFormat(" Record marked as deleted status %c.", h.cStatus));
  }
  if (!CIntegrityScan::IsValidUser(h)) {
    Fault(StrFormat("Record at %u has invalid user number %i.", nLoc, int(h.nUser)));
    h.nUser = RepairedUser(h);
    ApplyFix(i, h, StrFormat(" User code reset to %u.", unsigned(h.nUser)));
  }
  const uint8_t nKeyUser = KeyUser(h.nKey);
  if (h.cStatus != STATUS_DELETED && nKeyUser != 0 && h.nUser != nKeyUser) {
    Fault(StrFormat("Record at %u, table %u, created by user %i but key %u out of range %u-%u.",
                    nLoc, unsigned(h.nTable), int(h.nUser), h.nKey, KeyRangeLow(h.nUser),
                    KeyRangeEnd(h.nUser)));
    h.nUser = nKeyUser;
    ApplyFix(i, h, StrFormat(" User code reset to %u.", unsigned(h.nUser)));
  }
  if (IsLiveStatus(h.cStatus) && (h.nTable < DB_FIRST_TABLE || h.nTable > DB_LAST_TABLE)) {
    Fault(StrFormat("Record at %u has invalid table index %u", nLoc, unsigned(h.nTable)));
    h.cStatus = STATUS_MARKDEL;
    ApplyFix(i, h, StrFormat(" Record marked as deleted status %c.", h.cStatus));
  }
  const bool bDataTooLong = h.cStatus != STATUS_MARKDEL && h.nDataLen > h.nBlkLen;
  if (bDataTooLong)
    Fault(StrFormat("Record at %u has data block larger (%u) than storage block (%u).", nLoc,
                    unsigned(h.nDataLen), unsigned(h.nBlkLen)));
  if (!bFirst && h.nPrevLoc != m_chain[i - 1].nLoc) {
    Fault(StrFormat("Record at %u has invalid pointer %u to previous record at %u.", nLoc,
                    h.nPrevLoc, m_chain[i - 1].nLoc));
    h.nPrevLoc = m_chain[i - 1].nLoc;
    ApplyFix(i, h, StrFormat(" Pointer to previous record set to %u.", h.nPrevLoc));
  }
  if (!bLast && h.nNextLoc != m_chain[i + 1].nLoc) {
    Fault(StrFormat("Record at %u has invalid pointer %u to following record at %u.", nLoc,
                    h.nNextLoc, m_chain[i + 1].nLoc));
    h.nNextLoc = m_chain[i + 1].nLoc;
    ApplyFix(i, h, StrFormat(" Pointer to next record set to %u.", h.nNextLoc));
  }
  CheckBlock(i, h, bDataTooLong);
}

// The block of a record must end where the next header begins (the last
// record's within the file). A block that overlaps the next header is cut
// back when the data fit before it; a record whose data do not fit is kept
// as deleted data with its stated lengths (never reused). A gap is closed as
// far as a 16-bit block length reaches.
void CDbRepair::CheckBlock(size_t i, stDataHeader& h, bool bDataTooLong) {
  const uint32_t nLoc = m_chain[i].nLoc;
  const bool bLast = i + 1 == m_chain.size();
  const int64_t nAvail = int64_t(SpaceLimit(i)) - nLoc - DB_HEADER_LEN;
  const bool bKept = h.cStatus == STATUS_MARKDEL;
  const bool bOver = !bKept && h.nBlkLen > nAvail;
  const bool bGap = !bLast && h.nBlkLen < std::min<int64_t>(nAvail, DB_MAX_BLOCK);
  if (bOver)
    Fault(StrFormat("Record at %u has invalid indicated block size %u > %i available.", nLoc,
                    unsigned(h.nBlkLen), int(nAvail)));
  if (bGap)
    Fault(StrFormat("Record at %u has invalid indicated block size %u < %i available.", nLoc,
                    unsigned(h.nBlkLen), int(nAvail)));
  if (!bOver && !bGap && !bDataTooLong) return;
  if (!bKept && h.nDataLen > nAvail) {
    h.cStatus = STATUS_MARKDEL;
    ApplyFix(i, h, StrFormat(" Record marked as deleted status %c.", h.cStatus));
    return;
  }
  if (bKept || !bLast)
    h.nBlkLen = ClampBlock(nAvail);
  else
    h.nBlkLen = std::max<uint16_t>(h.nDataLen, ClampBlock(std::min<int64_t>(h.nBlkLen, nAvail)));
  ApplyFix(i, h, StrFormat(" Block size set to %u.", unsigned(h.nBlkLen)));
}

void CDbRepair::CheckTrailingBytes() {
  uint64_t nEnd = DB_FIRST_RECORD_LOC;
  if (!m_chain.empty()) {
    const stFoundHeader& last = m_chain.back();
    nEnd = uint64_t(last.nLoc) + DB_HEADER_LEN + last.header.nBlkLen;
  }
  if (m_nFileSize > nEnd)
    Note("!!Error: File contains data past valid records. Try clearing deleted data to repair.");
}

bool CDbRepair::RestoreOrphan(size_t iPrev, const stFoundHeader& orphan) {
  const size_t iNext = iPrev + 1;
  const bool bHasNext = iNext < m_chain.size();
  const uint32_t nLoc = orphan.nLoc;
  // The orphan first (unreachable until its predecessor points at it), then
  // the record behind it, then the predecessor.
  stDataHeader o = orphan.header;
  o.nPrevLoc = m_chain[iPrev].nLoc;
  o.nNextLoc = bHasNext ? m_chain[iNext].nLoc : DB_NONE;
  if (!WriteHeader(nLoc, orphan.header, o)) return false;
  if (bHasNext) {
    stDataHeader n = m_chain[iNext].header;
    n.nPrevLoc = nLoc;
    if (!WriteHeader(m_chain[iNext].nLoc, m_chain[iNext].header, n)) return false;
    m_chain[iNext].header = n;
  }
  stDataHeader r = m_chain[iPrev].header;
  r.nNextLoc = nLoc;
  r.nBlkLen = ClampBlock(int64_t(nLoc) - m_chain[iPrev].nLoc - DB_HEADER_LEN);
  if (!WriteHeader(m_chain[iPrev].nLoc, m_chain[iPrev].header, r)) return false;
  m_chain[iPrev].header = r;
  m_chain.insert(m_chain.begin() + long(iNext), {nLoc, o});
  return true;
}

void CDbRepair::CheckOrphan(size_t k) {
  const stFoundHeader& orphan = m_candidates[k];
  const uint32_t c = orphan.nLoc;
  const stDataHeader& h = orphan.header;
  ++m_nProblems;

  const long iPrev = ChainEntryBefore(c);
  std::string sLineA = StrFormat(
      "Record header at file location %u not found by normal linked list search method.", c);
  std::string sLineB;
  bool bOffer = false;
  if (iPrev >= 0) {
    const stFoundHeader& r = m_chain[size_t(iPrev)];
    sLineA += StrFormat(" Inside of record at %u", r.nLoc);
    const uint64_t nDataEnd = uint64_t(r.nLoc) + 35 + r.header.nDataLen;
    const uint64_t nBlockEnd = uint64_t(r.nLoc) + 35 + r.header.nBlkLen;
    if (c <= nDataEnd)
      sLineB = StrFormat(" Within data record ending at %u", unsigned(nDataEnd));
    else if (c <= nBlockEnd)
      sLineB = StrFormat(" Within data storage block ending at %u, but not within data ending at %u",
                         unsigned(nBlockEnd), unsigned(nDataEnd));
    else
      sLineB = StrFormat(" Following data storage block ending at %u", unsigned(nBlockEnd));
    // Never offered when it lies in the record's data or its header would
    // reach into the next header.
    bOffer = c > nDataEnd && uint64_t(c) + DB_HEADER_LEN <= SpaceLimit(size_t(iPrev));
  }
  Note(sLineA);
  if (!sLineB.empty()) Note(sLineB);

  const bool bDuplicate = IsDuplicate(h);
  stHeaderTest t;
  CIntegrityScan::TestHeader(c, k ? m_candidates[k - 1].nLoc : DB_NONE,
                             k + 1 < m_candidates.size() ? m_candidates[k + 1].nLoc : DB_NONE, h,
                             t);
  Note(StrFormat(" Header data: Table %u(%s)/%u, key %u(%s)/%u, Usr %u(%s), status %c(%s)",
                 unsigned(h.nTable), CIntegrityScan::BOOLtoOkString(t.bTable),
                 unsigned(h.nSubTable), h.nKey, bDuplicate ? " duplicate" : "", h.nSubKey,
                 unsigned(h.nUser), CIntegrityScan::BOOLtoOkString(t.bUser), Printable(h.cStatus),
                 CIntegrityScan::BOOLtoOkString(t.bStatus)));
  Note(StrFormat(" NextLoc %u(%s), PrevLoc %u(%s), BlkLen %u(%s), DataLen %u(%s)", h.nNextLoc,
                 CIntegrityScan::BOOLtoOkString(t.bNextLink), h.nPrevLoc,
                 CIntegrityScan::BOOLtoOkString(t.bPrevLink), unsigned(h.nBlkLen),
                 CIntegrityScan::BOOLtoOkString(t.bBlockSize), unsigned(h.nDataLen),
                 CIntegrityScan::BOOLtoOkString(t.bDataLen)));
  if (!m_bRepair || !bOffer) return;

  const std::string sTable = m_engine.GetTableName(h.nTable);
  const std::string sLineC =
      bDuplicate ? StrFormat(" Restoring record will cause duplicate key in %s, not recommended!",
                             sTable.c_str())
                 : StrFormat(" Restoring record will not cause duplicate key in %s", sTable.c_str());
  const int nAnswer = GetResponse(
      StrFormat("%s\n%s\n%s\nClick Yes to restore record into database\nClick No to remove "
                "record\nClick Cancel to make no change",
                sLineA.c_str(), sLineB.c_str(), sLineC.c_str()),
      MB_YESNOCANCEL);
  if (nAnswer == IDYES) {
    if (!RestoreOrphan(size_t(iPrev), orphan)) {
      WriteFailed();
      return;
    }
    Note(" Record restored to database");
    // The restored header meets every check of a chain record at once, so
    // that the next test finds nothing.
    CheckRecord(size_t(iPrev) + 1);
    NoteLiveKey(m_chain[size_t(iPrev) + 1].header);
  } else if (nAnswer == IDNO) {
    if (!ClearDelimiters(orphan)) {
      WriteFailed();
      return;
    }
    Note(" Record cleared from database");
  }
}

void CDbRepair::CheckOrphans() {
  if (m_pBox) m_pBox->ChangeText("Testing record integrity");
  m_liveKeys.clear();
  for (const auto& f : m_chain) NoteLiveKey(f.header);
  for (size_t k = 0; k < m_candidates.size(); ++k)
    if (!InChain(m_candidates[k].nLoc)) CheckOrphan(k);
}

void CDbRepair::ReportHead(bool bAlone) {
  if (m_bRepair) {
    Note("Test and repair linked list structure.");
    Note("(Note: If this does not solve problems you should try clearing deleted data.)");
  } else {
    Note("Test linked list structure [To repair problems use menu item 'Repair linked list']");
  }
  if (!bAlone)
    Note("Other copies have this database open: repair needs the others to close the file.");
  else if (m_bRepairRefused)
    Note("The database could not be locked for repair: the file was only tested.");
  Note("");
}

void CDbRepair::RunChecks() {
  m_chain = m_scan.WalkChain(m_pBox);
  if (!m_scan.ReadFailed()) m_candidates = m_scan.ScanDelimiters(m_pBox);
  m_nFileSize = m_scan.FileSize();
  if (m_scan.ReadFailed()) {
    // An unreadable header inside the file is not the end of the chain: what
    // was found is incomplete, so nothing is judged or repaired from it.
    m_bReadFailed = true;
    m_bRepair = false;
    Fault(StrFormat("Could not read the file at location %u; the test stopped and nothing was "
                    "changed.",
                    m_scan.FailedLocation()));
    return;
  }
  CheckFirstHeader();
  CheckChainEnds();
  m_pBox->ChangeText("Test linked list structure of records");
  m_pBox->SetDenominator(double(m_chain.size()));
  for (size_t i = 0; i < m_chain.size(); ++i) {
    m_pBox->UpdateProgress(double(i));
    CheckRecord(i);
  }
  CheckTrailingBytes();
  CheckOrphans();
}

void CDbRepair::FinishWrites() {
  // The handle is asked again: a broken one may have been reopened meanwhile.
  CSharedFile* pFile = m_engine.FileHandle();
  if (!pFile || pFile->Flush() != IO_OK) Fault("Could not write record to file.");
  // The table manager reloads from the rebuilt list; the other copies (none
  // while repairing) are told that the whole database changed.
  m_engine.MakeFileHeaderArray(nullptr, 1, nullptr);
  m_engine.SetRefreshFlags(TABLE_ALL, DB_NONE, DB_NONE);
}

int CDbRepair::TestAndRepairDatabase(bool bRepair, std::vector<std::string>& saReport) {
  m_pReport = &saReport;
  m_chain.clear();
  m_candidates.clear();
  m_nProblems = 0;
  m_bRepair = m_bRepairRefused = m_bReadFailed = m_bWrote = false;
  CSharedFile* pFile = m_engine.FileHandle();
  if (!m_engine.IsOpen() || !pFile) {
    m_bReadFailed = true;
    Fault("Can't read from file.");
    return 0;
  }
  // Only a copy alone on the file writes, and only under the database lock.
  const bool bAlone = m_engine.IsAloneOnFile();
  const bool bLocked =
      bRepair && bAlone && !pFile->IsReadOnly() && m_engine.LockDatabase("Repair linked list") == 1;
  m_bRepair = bLocked;
  m_bRepairRefused = bRepair && !m_bRepair;

  m_pBox = StartWaitBox("Collect data to test linked list structure");
  ReportHead(bAlone);
  RunChecks();
  EndWaitBox(m_pBox);
  m_pBox = nullptr;
  if (m_bWrote) FinishWrites();
  if (bLocked) m_engine.UnlockDatabase();
  if (m_nProblems) return 0;
  Note("No problems found.");
  return 1;
}
