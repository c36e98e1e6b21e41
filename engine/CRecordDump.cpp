#include "engine/CRecordDump.h"

#include <algorithm>

#include "engine/CDbEngine.h"
#include "engine/CIntegrityScan.h"
#include "support/StringUtil.h"

CRecordDump::CRecordDump(CDbEngine& engine) : m_engine(engine) {}

std::vector<uint32_t> CRecordDump::ChainLocations(CDialogWaitBox* pBox) {
  std::vector<uint32_t> naLocs;
  CIntegrityScan(m_engine).FindAllHeaders(naLocs, pBox);
  return naLocs;
}

bool CRecordDump::ReadPlain(uint32_t nLoc, uint8_t* pBuffer, uint32_t nCount) {
  return m_engine.ReadFileBlockNoLock(m_engine.FileHandle(), nLoc, pBuffer, nCount) == nCount;
}

std::string CRecordDump::ReadErrorText(uint32_t nLoc, int nTable, uint32_t nKey) {
  return StrFormat("Error in reading from file location %u, table %i, key %i", nLoc, nTable, int(nKey));
}

std::string CRecordDump::HeaderReadErrorText(uint32_t nLoc) { return ReadErrorText(nLoc, 0, DB_NONE); }

std::string CRecordDump::ByteCharacter(uint8_t nByte) {
  const char c = char(nByte);
  return nByte < 128 ? std::string(1, c) : DecodeStoredText(std::string_view(&c, 1));
}

std::string CRecordDump::DisplayBuffer(const uint8_t* pBytes, uint32_t nCount) {
  std::string sText;
  sText.reserve(nCount);
  for (uint32_t i = 0; i < nCount; ++i)
    sText += pBytes[i] < 32 ? StrFormat("[%i]", int(pBytes[i])) : ByteCharacter(pBytes[i]);
  return sText;
}

std::string CRecordDump::TablePart(const stDataHeader& h) const {
  const std::string sKey =
      h.nSubTable ? StrFormat("key %u/%u", h.nKey, unsigned(h.nSubTable)) : StrFormat("key %u", h.nKey);
  if (h.nTable >= 1 && h.nTable < DB_TABLE_NAMES)
    return StrFormat("[%s, %s]", m_engine.GetTableName(h.nTable).c_str(), sKey.c_str());
  return StrFormat("[Table %u/%u, %s]", unsigned(h.nTable), unsigned(h.nSubTable), sKey.c_str());
}

std::string CRecordDump::DisplayDatabaseRecord(uint32_t nLoc) {
  uint8_t c[DB_HEADER_LEN];
  if (!ReadPlain(nLoc, c, DB_HEADER_LEN)) return HeaderReadErrorText(nLoc);
  const stDataHeader h = UnpackHeader(c);
  const std::string sOne = h.nNextLoc == DB_NONE
                               ? StrFormat("[%u%s, size %u, used %u, LAST]", nLoc, StatusLabel(h.cStatus),
                                           unsigned(h.nBlkLen), unsigned(h.nDataLen))
                               : StrFormat("[%u%s, size %u, used %u, next %u]", nLoc, StatusLabel(h.cStatus),
                                           unsigned(h.nBlkLen), unsigned(h.nDataLen), h.nNextLoc);
  std::string sLine =
      StrFormat("%s %s[%s]", sOne.c_str(), TablePart(h).c_str(), m_engine.GetUserName(h.nUser).c_str());
  if (h.nDataLen == 0) return sLine;
  // All DataLen bytes are read, so a record whose data run past the end of
  // the file shows the error rather than the part that is there.
  std::vector<uint8_t> data(h.nDataLen);
  if (!ReadPlain(nLoc + DB_HEADER_LEN, data.data(), h.nDataLen))
    return sLine + ReadErrorText(nLoc + DB_HEADER_LEN, h.nTable, h.nKey);
  return sLine + DisplayBuffer(data.data(), std::min<uint32_t>(h.nDataLen, kShownData));
}

std::string CRecordDump::HeaderFieldsText(uint32_t nLoc) {
  uint8_t c[DB_HEADER_LEN];
  if (m_engine.LockedAccessFileBlock(CDbFileAccess::eAccess::Read, m_engine.FileHandle(), nLoc, c,
                                     DB_HEADER_LEN, "HeaderFieldsText") != DB_HEADER_LEN)
    return HeaderReadErrorText(nLoc);
  const stDataHeader h = UnpackHeader(c);
  return StrFormat(
      " Delims %i %i, Next %u, Prev %u, BlkLen %u, DataLen %u, Table main %u, sub %u, key %u, sub %u, "
      "Usr %u, status %s ",
      int(h.cDelims[0]), int(h.cDelims[1]), h.nNextLoc, h.nPrevLoc, unsigned(h.nBlkLen), unsigned(h.nDataLen),
      unsigned(h.nTable), unsigned(h.nSubTable), h.nKey, h.nSubKey, unsigned(h.nUser),
      ByteCharacter(uint8_t(h.cStatus)).c_str());
}
