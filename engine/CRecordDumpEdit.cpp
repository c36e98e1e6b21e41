#include "engine/CRecordDumpEdit.h"

#include <optional>

#include "engine/CDbEngine.h"
#include "engine/CRecordDump.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr uint32_t kDataLenOffset = 18;

std::string Entry(size_t i, uint8_t nByte, const char* pSuffix) {
  if (nByte < 32) return StrFormat("%6i[%3i]%s", int(i), int(nByte), pSuffix);
  return StrFormat("%6i[%3i]%s%s", int(i), int(nByte), CRecordDump::ByteCharacter(nByte).c_str(), pSuffix);
}

}  // namespace

CRecordDumpEdit::CRecordDumpEdit(CDbEngine& engine, uint32_t nLoc) : m_engine(engine), m_nLoc(nLoc) {}

bool CRecordDumpEdit::Open() {
  m_aData.clear();
  m_bDataRead = false;
  CSharedFile* pFile = m_engine.FileHandle();
  if (m_engine.ReadFileBlockNoLock(pFile, m_nLoc, m_aHeader.data(), DB_HEADER_LEN) != DB_HEADER_LEN)
    return false;
  const uint32_t nBlkLen = UnpackHeader(m_aHeader.data()).nBlkLen;
  std::vector<uint8_t> block(nBlkLen);
  m_bDataRead = nBlkLen == 0 ||
                m_engine.ReadFileBlockNoLock(pFile, m_nLoc + DB_HEADER_LEN, block.data(), nBlkLen) == nBlkLen;
  if (m_bDataRead) m_aData = std::move(block);
  return true;
}

uint32_t CRecordDumpEdit::DataLen() const {
  return uint32_t(m_aHeader[kDataLenOffset]) | uint32_t(m_aHeader[kDataLenOffset + 1]) << 8;
}

std::vector<std::string> CRecordDumpEdit::HeaderEntries() const {
  std::vector<std::string> sa;
  for (size_t i = 0; i < m_aHeader.size(); ++i) sa.push_back(Entry(i, m_aHeader[i], ""));
  return sa;
}

std::vector<std::string> CRecordDumpEdit::DataEntries() const {
  std::vector<std::string> sa;
  const uint32_t nDataLen = DataLen();
  for (size_t i = 0; i < m_aData.size(); ++i)
    sa.push_back(Entry(i, m_aData[i], i < nDataLen ? " Data" : " Not data"));
  return sa;
}

bool CRecordDumpEdit::AskByte(uint8_t* pBytes, size_t nCount, int nIndex) {
  if (nIndex < 0 || size_t(nIndex) >= nCount) {
    GetResponse("No item selected", MB_OK);
    return false;
  }
  uint8_t& nByte = pBytes[nIndex];
  const std::string sOld = std::to_string(nByte);
  std::optional<std::string> sAnswer;
  {
    CBusyScope busy;
    sAnswer = GetUi().InputText("New value", sOld);
  }
  if (!sAnswer || Trim(*sAnswer) == sOld) return false;
  long long n = -1;
  if (!ParseInt(Trim(*sAnswer), n) || n < 0 || n > 255) {
    GetResponse("A byte holds a value from 0 to 255.", MB_OK);
    return false;
  }
  nByte = uint8_t(n);
  return true;
}

bool CRecordDumpEdit::EditHeaderByte(int nIndex) {
  return AskByte(m_aHeader.data(), m_aHeader.size(), nIndex);
}

bool CRecordDumpEdit::EditDataByte(int nIndex) { return AskByte(m_aData.data(), m_aData.size(), nIndex); }

int CRecordDumpEdit::Write() {
  const uint32_t nSize = uint32_t(m_aData.size());
  const bool bOk =
      m_engine.WriteDbHeader(m_nLoc, UnpackHeader(m_aHeader.data()), 1) == DB_HEADER_LEN &&
      (nSize == 0 || m_engine.WriteDbBlock(m_nLoc + DB_HEADER_LEN, m_aData.data(), nSize, 1) == nSize);
  if (!bOk) GetResponse("Could not write record to file.", MB_OK);
  return bOk ? 1 : 0;
}
