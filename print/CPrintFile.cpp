#include "print/CPrintFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

// The current print file's format copies. A deque keeps every copy at its
// address while more are added.
struct stFormatTable {
  std::deque<stFormatRecord> copies;
  const stFormatRecord* pLastSource = nullptr;
  uint32_t nLastReference = 0;
};

stFormatTable g_formats;
bool g_bJobActive = false;

uint32_t ReferenceOf(const stFormatRecord* pFormat) {
  if (!pFormat) return 0xFFFFFFFF;
  stFormatTable& t = g_formats;
  if (pFormat == t.pLastSource && t.copies[t.nLastReference] == *pFormat) return t.nLastReference;
  uint32_t n = 0;
  while (n < t.copies.size() && !(t.copies[n] == *pFormat)) ++n;
  if (n == t.copies.size()) t.copies.push_back(*pFormat);
  t.pLastSource = pFormat;
  t.nLastReference = n;
  return n;
}

void PutU16(uint8_t* p, uint16_t n) {
  p[0] = uint8_t(n);
  p[1] = uint8_t(n >> 8);
}

void PutU32(uint8_t* p, uint32_t n) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(n >> (8 * i));
}

}  // namespace

CPrintFile::CPrintFile(std::FILE* pFile, bool bWriting, long long nSize)
    : m_pFile(pFile), m_bWriting(bWriting), m_nSize(nSize) {}

CPrintFile::~CPrintFile() {
  if (m_pFile) std::fclose(m_pFile);
}

std::string CPrintFile::DefaultPath() { return ProgramFile("PRNTFILE.PRN"); }

std::unique_ptr<CPrintFile> CPrintFile::OpenPrintFile(const std::string& sPath) {
  if (g_bJobActive) {
    KTRACE("Print file %s not rewritten: a print job is reading it", sPath.c_str());
    return nullptr;
  }
  const int fd = ::open(sPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::FILE* pFile = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!pFile) {
    KTRACE("Cannot create print file %s: %s", sPath.c_str(), std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  g_formats = stFormatTable{};
  return std::unique_ptr<CPrintFile>(new CPrintFile(pFile, true, 0));
}

int CPrintFile::WriteFmtString(const stFmtString& line) {
  if (!m_pFile || !m_bWriting || m_bWriteFailed) return 0;
  uint8_t cHead[4 + 1 + 1 + 2 + 4];
  PutU32(cHead, ReferenceOf(line.m_pFormat));
  cHead[4] = uint8_t(line.m_cType);
  size_t nHead = 5;
  const size_t nLength = line.m_sText.size();
  if (nLength < 0xFF) {
    cHead[nHead++] = uint8_t(nLength);
  } else if (nLength < 0xFFFF) {
    cHead[nHead++] = 0xFF;
    PutU16(cHead + nHead, uint16_t(nLength));
    nHead += 2;
  } else if (nLength < 0xFFFFFFFFu) {
    cHead[nHead++] = 0xFF;
    PutU16(cHead + nHead, 0xFFFF);
    PutU32(cHead + nHead + 2, uint32_t(nLength));
    nHead += 6;
  } else {
    m_bWriteFailed = true;  // no length prefix holds it
    return 0;
  }
  if (std::fwrite(cHead, 1, nHead, m_pFile) != nHead ||
      std::fwrite(line.m_sText.data(), 1, nLength, m_pFile) != nLength)
    m_bWriteFailed = true;
  return m_bWriteFailed ? 0 : 1;
}

int CPrintFile::ClosePrintFile() {
  if (!m_pFile || !m_bWriting) return 0;
  stFmtString end;
  end.m_sText = FMT_END_OF_FILE;
  WriteFmtString(end);
  const bool bFlushed = std::fflush(m_pFile) == 0 && fdatasync(fileno(m_pFile)) == 0;
  const bool bClosed = std::fclose(m_pFile) == 0;
  m_pFile = nullptr;
  return !m_bWriteFailed && bFlushed && bClosed ? 1 : 0;
}

std::unique_ptr<CPrintFile> CPrintFile::OpenForReading(const std::string& sPath,
                                                       std::string& sError) {
  const int fd = ::open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  std::FILE* pFile = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr;
  if (!pFile) {
    sError = StrFormat("Cannot open print file %s", sPath.c_str());
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<CPrintFile>(new CPrintFile(pFile, false, (long long)st.st_size));
}

bool CPrintFile::ReadBytes(void* p, size_t n) {
  if ((long long)n > m_nSize - m_nPos || std::fread(p, 1, n, m_pFile) != n) return false;
  m_nPos += (long long)n;
  return true;
}

bool CPrintFile::ReadLength(uint64_t& nLength) {
  uint8_t c[4];
  if (!ReadBytes(c, 1)) return false;
  if (c[0] < 0xFF) {
    nLength = c[0];
    return true;
  }
  if (!ReadBytes(c, 2)) return false;
  nLength = uint64_t(c[0]) | uint64_t(c[1]) << 8;
  if (nLength < 0xFFFF) return true;
  if (!ReadBytes(c, 4)) return false;
  nLength = uint64_t(c[0]) | uint64_t(c[1]) << 8 | uint64_t(c[2]) << 16 | uint64_t(c[3]) << 24;
  return true;
}

int CPrintFile::ReadFmtString(stFmtString& line) {
  if (!m_pFile || m_bWriting || m_eStatus != READ_OK) return 0;
  uint8_t cHead[5];
  uint64_t nLength = 0;
  if (!ReadBytes(cHead, 5) || !ReadLength(nLength) || nLength > uint64_t(m_nSize - m_nPos)) {
    m_eStatus = READ_DAMAGED;
    return 0;
  }
  std::string sText(size_t(nLength), '\0');
  if (!ReadBytes(sText.data(), sText.size())) {
    m_eStatus = READ_DAMAGED;
    return 0;
  }
  if (sText.find(FMT_END_OF_FILE) != std::string::npos) {
    m_eStatus = READ_END_MARKER;
    return 0;
  }
  const uint32_t nReference = uint32_t(cHead[0]) | uint32_t(cHead[1]) << 8 |
                              uint32_t(cHead[2]) << 16 | uint32_t(cHead[3]) << 24;
  line.m_pFormat = JobFormat(nReference);
  line.m_cType = char(cHead[4]);
  line.m_sText = std::move(sText);
  return 1;
}

bool CPrintFile::CheckPrintFile(const std::string& sPath, std::string& sError) {
  auto pFile = OpenForReading(sPath, sError);
  if (!pFile) return false;
  stFmtString line;
  while (pFile->ReadFmtString(line)) {
  }
  if (pFile->Status() == READ_END_MARKER) return true;
  sError = StrFormat("The print file %s is incomplete or damaged. Nothing was printed.",
                     sPath.c_str());
  return false;
}

const stFormatRecord* CPrintFile::JobFormat(uint32_t nReference) {
  return nReference < g_formats.copies.size() ? &g_formats.copies[nReference] : &BuiltInFormat();
}

const stFormatRecord& CPrintFile::BuiltInFormat() {
  static const stFormatRecord kDefault = CFormatRecord::DefaultFormat(0);
  return kDefault;
}

void CPrintFile::SetJobActive(bool bActive) { g_bJobActive = bActive; }

bool CPrintFile::JobActive() { return g_bJobActive; }
