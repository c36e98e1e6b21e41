#include "BackupTestHelpers.h"

#include <dirent.h>
#include <unzip.h>
#include <zlib.h>

#include "support/CConfigFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

int CBackupUi::MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                          int nDefault) {
  if (m_fnOnOverwriteQuestion && sText.rfind("Are you sure?", 0) == 0) m_fnOnOverwriteQuestion();
  return CTestUi::MessageBox(sText, sCaption, nButtons, nDefault);
}

void CBackupFixture::SetUp() {
  AppSettings().sBackup.clear();
  m_sRoot = m_folder.File("Office");
  ASSERT_EQ(m_db.OpenDatabase(m_sRoot, 0), 1);
  AddPersons(3);
  m_ui.ClearShown();
}

void CBackupFixture::TearDown() {
  if (m_db.IsDatabaseOpen()) m_db.CloseDatabase();
}

void CBackupFixture::AddPersons(int nCount) {
  for (int i = 0; i < nCount; ++i) {
    CPerson person;
    person.m_sLastName = "Person " + std::to_string(++m_nAdded);
    ASSERT_EQ(m_db.AddTableItem(TABLE_PERSON, DB_NONE, &person, false), eItemResult::Done);
  }
}

std::vector<std::string> CBackupFixture::FolderNames() const {
  std::vector<std::string> sa;
  DIR* p = opendir(m_folder.Path().c_str());
  while (const dirent* e = p ? readdir(p) : nullptr)
    if (e->d_name[0] != '.' || e->d_name[1] > '.') sa.push_back(e->d_name);
  if (p) closedir(p);
  std::sort(sa.begin(), sa.end());
  return sa;
}

std::string ReadFileBytes(const std::string& sPath) {
  std::ifstream f(sPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteFileBytes(const std::string& sPath, const std::string& sBytes) {
  std::ofstream(sPath, std::ios::binary) << sBytes;
}

std::string ArchiveEntry(const std::string& sZip) {
  unzFile uf = unzOpen64(sZip.c_str());
  std::string sOut;
  if (uf && unzGoToFirstFile(uf) == UNZ_OK && unzOpenCurrentFile(uf) == UNZ_OK) {
    char c[65536];
    for (int n; (n = unzReadCurrentFile(uf, c, sizeof c)) > 0;) sOut.append(c, size_t(n));
    if (unzCloseCurrentFile(uf) != UNZ_OK) sOut.clear();
  }
  if (uf) unzClose(uf);
  return sOut;
}

uint32_t U32Of(const std::string& s, size_t nAt) {
  uint32_t n = 0;
  for (int i = 3; i >= 0; --i) n = (n << 8) | uint8_t(s.at(nAt + size_t(i)));
  return n;
}

namespace {
void Put(std::string& s, uint64_t n, int nBytes) {
  for (int i = 0; i < nBytes; ++i) s += char((n >> (8 * i)) & 0xFF);
}
}  // namespace

std::string RawZip(const std::vector<stRawEntry>& entries) {
  std::string sZip, sCentral;
  for (const stRawEntry& e : entries) {
    const uint32_t nCrc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.sData.data()),
                                         uInt(e.sData.size())));
    const uint64_t nSize = e.nClaimedSize == ~0ULL ? e.sData.size() : e.nClaimedSize;
    const bool bZip64 = nSize >= 0xFFFFFFFFULL;
    const size_t nOffset = sZip.size();
    const auto fnCommon = [&](std::string& s) {
      Put(s, 20, 2), Put(s, e.nFlags, 2), Put(s, e.nMethod, 2), Put(s, 0, 2), Put(s, 0x21, 2);
      Put(s, nCrc, 4), Put(s, e.sData.size(), 4), Put(s, bZip64 ? 0xFFFFFFFF : nSize, 4);
      Put(s, e.sName.size(), 2), Put(s, bZip64 ? 12 : 0, 2);
    };
    Put(sZip, 0x04034b50, 4), fnCommon(sZip);
    sZip += e.sName;
    if (bZip64) Put(sZip, 1, 2), Put(sZip, 8, 2), Put(sZip, nSize, 8);
    sZip += e.sData;
    Put(sCentral, 0x02014b50, 4), Put(sCentral, 20, 2), fnCommon(sCentral);
    Put(sCentral, 0, 2), Put(sCentral, 0, 2), Put(sCentral, 0, 2), Put(sCentral, 0, 4);
    Put(sCentral, nOffset, 4);
    sCentral += e.sName;
    if (bZip64) Put(sCentral, 1, 2), Put(sCentral, 8, 2), Put(sCentral, nSize, 8);
  }
  const size_t nCentralAt = sZip.size();
  sZip += sCentral;
  Put(sZip, 0x06054b50, 4), Put(sZip, 0, 4), Put(sZip, entries.size(), 2);
  Put(sZip, entries.size(), 2), Put(sZip, sCentral.size(), 4), Put(sZip, nCentralAt, 4);
  Put(sZip, 0, 2);
  return sZip;
}
