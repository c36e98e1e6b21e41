#include "CDbFileBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

CDbFileBuilder::CDbFileBuilder() = default;

size_t CDbFileBuilder::Add(uint8_t nTable, uint32_t nKey, const std::string& sData,
                           uint32_t nBlkLen, char cStatus) {
  if (nBlkLen < sData.size()) nBlkLen = uint32_t(sData.size());
  stRecord r;
  r.header.nCurrLoc = m_nEnd;
  r.header.nNextLoc = DB_NONE;
  r.header.nPrevLoc = m_records.empty() ? DB_NONE : m_naLoc.back();
  r.header.nBlkLen = uint16_t(nBlkLen);
  r.header.nDataLen = uint16_t(sData.size());
  r.header.nTable = nTable;
  r.header.nKey = nKey;
  r.header.nUser = UserFromKey(nKey, 1);
  r.header.cStatus = cStatus;
  r.sBlock = sData + std::string(nBlkLen - sData.size(), '\0');
  if (!m_records.empty()) m_records.back().header.nNextLoc = m_nEnd;
  m_naLoc.push_back(m_nEnd);
  m_nEnd += DB_HEADER_LEN + nBlkLen;
  m_records.push_back(std::move(r));
  return m_records.size() - 1;
}

void CDbFileBuilder::AppendRaw(const std::string& sBytes) { m_sTrailing += sBytes; }

std::string CDbFileBuilder::Bytes() const {
  std::string s(DB_HEADER_AREA_SIZE, '\0');
  s[LOC_CLOSED_OK] = 1;
  const std::string sRoot = "test";
  s.replace(LOC_ROOT_NAME, sRoot.size(), sRoot);
  for (size_t i = 0; i < m_records.size(); ++i) {
    s += PackedHeader(m_records[i].header);
    s += m_records[i].sBlock;
  }
  return s + m_sTrailing;
}

bool CDbFileBuilder::Write(const std::string& sPath) const {
  std::ofstream f(sPath, std::ios::binary | std::ios::trunc);
  const std::string s = Bytes();
  f.write(s.data(), std::streamsize(s.size()));
  return bool(f);
}

std::string TestRecordData(int n, size_t nSize) {
  std::string s;
  std::ostringstream os;
  os << "record " << n << " UU U";
  const std::string sSeed = os.str();
  while (s.size() < nSize) s += sSeed + char('a' + n % 26);
  s.resize(nSize);
  return s;
}

std::string PackedHeader(const stDataHeader& header) {
  uint8_t c[DB_HEADER_LEN];
  PackHeader(header, c);
  return std::string(reinterpret_cast<const char*>(c), DB_HEADER_LEN);
}

std::string FileBytes(const std::string& sPath) {
  std::ifstream f(sPath, std::ios::binary);
  std::ostringstream os;
  os << f.rdbuf();
  return os.str();
}

void PatchFile(const std::string& sPath, uint32_t nLoc, const std::string& sBytes) {
  const int fd = ::open(sPath.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << "cannot open " << sPath;
  const ssize_t n = ::pwrite(fd, sBytes.data(), sBytes.size(), off_t(nLoc));
  ::close(fd);
  EXPECT_EQ(n, ssize_t(sBytes.size())) << "cannot patch " << sPath;
}

void PatchHeader(const std::string& sPath, uint32_t nLoc, const stDataHeader& header) {
  PatchFile(sPath, nLoc, PackedHeader(header));
}

stDataHeader HeaderAt(const std::string& sPath, uint32_t nLoc) {
  const std::string s = FileBytes(sPath);
  if (size_t(nLoc) + DB_HEADER_LEN > s.size()) return stDataHeader{{0, 0}};
  return UnpackHeader(reinterpret_cast<const uint8_t*>(s.data()) + nLoc);
}

void TruncateFile(const std::string& sPath, uint32_t nSize) {
  EXPECT_EQ(::truncate(sPath.c_str(), off_t(nSize)), 0) << "cannot truncate " << sPath;
}
