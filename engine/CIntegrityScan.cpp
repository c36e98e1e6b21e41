#include "engine/CIntegrityScan.h"

#include <algorithm>

#include "engine/CDbFileAccess.h"
#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"

namespace {

// The scan reads the file in windows that overlap by 35 bytes, so every
// header start lies in exactly one window together with its 36 bytes.
constexpr uint32_t kScanWindow = 65536;
constexpr uint32_t kScanStep = kScanWindow - (DB_HEADER_LEN - 1);

}  // namespace

CIntegrityScan::CIntegrityScan(CDbFileAccess& file) : m_file(file) {}

bool CIntegrityScan::IsValidStatus(char cStatus) {
  return cStatus == STATUS_USED || cStatus == STATUS_DELETED || cStatus == STATUS_MARKDEL ||
         cStatus == STATUS_LOCKED;
}

bool CIntegrityScan::HasDelimiters(const stDataHeader& header) {
  return header.cDelims[0] == HEADER_DELIM && header.cDelims[1] == HEADER_DELIM;
}

bool CIntegrityScan::IsValidUser(const stDataHeader& header) {
  return header.nUser >= 1 || (header.nKey != DB_NONE && header.nKey >= KeyRangeLow(0));
}

const char* CIntegrityScan::BOOLtoOkString(bool bValue) { return bValue ? "Ok" : "Invalid"; }

int CIntegrityScan::TestHeader(uint32_t nLoc, uint32_t nExpectedPrev, uint32_t nExpectedNext,
                               const stDataHeader& h, stHeaderTest& t) {
  t = stHeaderTest();
  t.bStatus = IsValidStatus(h.cStatus);
  t.bUser = IsValidUser(h);
  t.bTable = h.nTable >= DB_FIRST_TABLE && h.nTable <= DB_LAST_TABLE;
  t.bCurrLoc = h.nCurrLoc == nLoc;
  t.bDataLen = h.nDataLen <= h.nBlkLen;
  if (nExpectedPrev != DB_NONE) t.bPrevLink = h.nPrevLoc == nExpectedPrev;
  if (nExpectedNext != DB_NONE) {
    t.bNextLink = h.nNextLoc == nExpectedNext;
    t.bBlockSize = uint64_t(nLoc) + DB_HEADER_LEN + h.nBlkLen <= nExpectedNext;
  }
  t.nErrors = !t.bStatus + !t.bUser + !t.bTable + !t.bPrevLink + !t.bDataLen + !t.bNextLink +
              !t.bBlockSize;
  return t.nErrors;
}

uint32_t CIntegrityScan::ReadFileSize() {
  CSharedFile* pFile = m_file.FileHandle();
  const int64_t nSize = pFile ? pFile->Size() : -1;
  if (nSize < 0) return DB_NONE;
  return uint32_t(std::min<int64_t>(nSize, DB_MAX_LOCATION));
}

bool CIntegrityScan::ReadBlock(uint32_t nLoc, uint8_t* pBuffer, uint32_t nSize) {
  // A locked read waits while another copy holds the range, so a header that
  // is being rewritten at this moment is read once it is whole.
  if (m_file.LockedAccessFileBlock(CDbFileAccess::eAccess::Read, m_file.FileHandle(), nLoc, pBuffer,
                                   nSize, "CIntegrityScan") == nSize)
    return true;
  m_bReadFailed = true;
  m_nFailedLoc = nLoc;
  KTRACE("CIntegrityScan: read of %u bytes at %u failed\n", nSize, nLoc);
  return false;
}

bool CIntegrityScan::ReadHeaderAt(uint32_t nLoc, stDataHeader& header) {
  if (uint64_t(nLoc) + DB_HEADER_LEN > m_nFileSize) return false;
  uint8_t c[DB_HEADER_LEN];
  if (!ReadBlock(nLoc, c, DB_HEADER_LEN)) return false;
  header = UnpackHeader(c);
  return true;
}

bool CIntegrityScan::AcceptAt(uint32_t nLoc, uint32_t nFrom, bool bConfirmed,
                              stDataHeader& header) {
  if (!ReadHeaderAt(nLoc, header)) return false;
  const bool bDelims = HasDelimiters(header);
  const bool bCurrLoc = header.nCurrLoc == nLoc;
  if (bDelims && bCurrLoc) return true;
  return bConfirmed && int(bDelims) + int(bCurrLoc) + int(header.nPrevLoc == nFrom) >= 2;
}

bool CIntegrityScan::NextInWalk(uint32_t nLoc, const stDataHeader& h, stFoundHeader& next) {
  const uint64_t nBlockEnd = uint64_t(nLoc) + DB_HEADER_LEN + h.nBlkLen;
  const uint64_t nLink = h.nNextLoc;
  auto tryAt = [&](uint64_t nAt, bool bConfirmed, stDataHeader& out) {
    if (nAt < uint64_t(nLoc) + DB_HEADER_LEN || nAt + DB_HEADER_LEN > m_nFileSize) return false;
    return AcceptAt(uint32_t(nAt), nLoc, bConfirmed, out);
  };
  stDataHeader hLink, hBlock;
  const bool bLink = nLink != DB_NONE && tryAt(nLink, nLink == nBlockEnd, hLink);
  if (m_bReadFailed) return false;
  // Where the link is missing, the block end is taken only when the record
  // there links back: a chain cut by a bad end-of-file repair is joined again.
  const bool bBlock = nBlockEnd != nLink && tryAt(nBlockEnd, false, hBlock) &&
                      (nLink != DB_NONE || hBlock.nPrevLoc == nLoc);
  if (m_bReadFailed) return false;
  if (!bLink && !bBlock) return false;
  // Both plausible: the nearer one, so that no record is skipped.
  if (bLink && (!bBlock || nLink < nBlockEnd)) {
    next = {uint32_t(nLink), hLink};
  } else {
    next = {uint32_t(nBlockEnd), hBlock};
  }
  return true;
}

std::vector<stFoundHeader> CIntegrityScan::WalkChain(CDialogWaitBox* pBox) {
  std::vector<stFoundHeader> chain;
  m_bReadFailed = false;
  m_nFailedLoc = DB_NONE;
  m_bFirstInvalid = false;
  m_nFileSize = ReadFileSize();
  if (m_nFileSize == DB_NONE) {
    m_bReadFailed = true;
    m_nFileSize = 0;
    return chain;
  }
  if (pBox) {
    pBox->ChangeText("Locating record headers");
    pBox->SetDenominator(m_nFileSize);
  }
  if (uint64_t(DB_FIRST_RECORD_LOC) + DB_HEADER_LEN > m_nFileSize) return chain;
  stFoundHeader cur{DB_FIRST_RECORD_LOC, {}};
  if (!AcceptAt(DB_FIRST_RECORD_LOC, DB_NONE, true, cur.header)) {
    m_bFirstInvalid = !m_bReadFailed;
    return chain;
  }
  chain.push_back(cur);
  stFoundHeader next;
  while (NextInWalk(cur.nLoc, cur.header, next)) {
    if (pBox) pBox->UpdateProgress(next.nLoc);
    chain.push_back(next);
    cur = next;
  }
  return chain;
}

std::vector<stFoundHeader> CIntegrityScan::ScanDelimiters(CDialogWaitBox* pBox) {
  std::vector<stFoundHeader> raw;
  m_bReadFailed = false;
  m_nFailedLoc = DB_NONE;
  m_nFileSize = ReadFileSize();
  if (m_nFileSize == DB_NONE) {
    m_bReadFailed = true;
    m_nFileSize = 0;
    return raw;
  }
  if (pBox) {
    pBox->ChangeText("Locating record headers");
    pBox->SetDenominator(m_nFileSize);
  }
  std::vector<uint8_t> buf(kScanWindow);
  for (uint64_t nPos = DB_FIRST_RECORD_LOC; nPos + DB_HEADER_LEN <= m_nFileSize;
       nPos += kScanStep) {
    const uint32_t nRead = uint32_t(std::min<uint64_t>(kScanWindow, m_nFileSize - nPos));
    if (!ReadBlock(uint32_t(nPos), buf.data(), nRead)) break;
    // Every offset whose 36 bytes lie in this window, also one right after
    // a stray "U": a header is never hidden by the byte before it.
    const uint32_t nEnd = std::min(kScanStep, nRead - (DB_HEADER_LEN - 1));
    for (uint32_t i = 0; i < nEnd; ++i) {
      if (buf[i] != HEADER_DELIM || buf[i + 1] != HEADER_DELIM) continue;
      const stDataHeader h = UnpackHeader(&buf[i]);
      if (h.nCurrLoc == nPos + i) raw.push_back({uint32_t(nPos + i), h});
    }
    if (pBox) pBox->UpdateProgress(double(nPos));
  }
  std::vector<stFoundHeader> kept;
  for (size_t k = 0; k < raw.size(); ++k) {
    stHeaderTest t;
    TestHeader(raw[k].nLoc, k ? raw[k - 1].nLoc : DB_NONE,
               k + 1 < raw.size() ? raw[k + 1].nLoc : DB_NONE, raw[k].header, t);
    if (t.bCurrLoc && t.bStatus && t.bUser && t.bTable && t.bDataLen) kept.push_back(raw[k]);
  }
  return kept;
}

void CIntegrityScan::FindAllHeaders(std::vector<uint32_t>& naChain, CDialogWaitBox* pBox) {
  naChain.clear();
  for (const auto& f : WalkChain(pBox)) naChain.push_back(f.nLoc);
}

void CIntegrityScan::FindHeadersFromDelimiters(std::vector<uint32_t>& naCandidates,
                                               CDialogWaitBox* pBox) {
  naCandidates.clear();
  for (const auto& f : ScanDelimiters(pBox)) naCandidates.push_back(f.nLoc);
}
