#include "backup/CZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "backup/BackupFiles.h"
#include "support/IoFault.h"
#include "support/StringUtil.h"

namespace {

constexpr size_t kChunk = 1 << 16;
constexpr unsigned long kMethodStored = 0;
constexpr unsigned long kHostUnix = 3;
constexpr unsigned long kUnixTypeMask = 0170000;
constexpr unsigned long kUnixLink = 0120000;

std::string ErrnoText(int nErr) { return StrFormat("error %i, %s", nErr, std::strerror(nErr)); }

// Why an entry name may not be taken, empty when it may.
std::string NameProblem(const std::string& sName) {
  if (sName.empty() || sName[0] == '/' || sName[0] == '\\' ||
      (sName.size() > 1 && sName[1] == ':'))
    return StrFormat("The archive entry %s has an absolute name.", sName.c_str());
  std::vector<std::string> saParts;
  ParseString(sName, "/\\", saParts);
  for (const auto& s : saParts)
    if (s == "..") return StrFormat("The archive entry %s has \"..\" in its name.", sName.c_str());
  const std::string sLower = ToLower(sName);
  if (sLower.size() < 5 || sLower.compare(sLower.size() - 4, 4, ".dbm") != 0)
    return StrFormat("The archive entry %s is not a database file (*.dbm).", sName.c_str());
  return "";
}

void SetEntryTime(zip_fileinfo& zi, time_t nTime) {
  struct tm t {};
  localtime_r(&nTime, &t);
  zi.tmz_date.tm_sec = uInt(t.tm_sec);
  zi.tmz_date.tm_min = uInt(t.tm_min);
  zi.tmz_date.tm_hour = uInt(t.tm_hour);
  zi.tmz_date.tm_mday = uInt(t.tm_mday);
  zi.tmz_date.tm_mon = uInt(t.tm_mon);
  zi.tmz_date.tm_year = uInt(t.tm_year + 1900);
}

struct stUnzCloser {
  void operator()(void* p) const { unzClose(p); }
};

}  // namespace

bool CZipArchive::Fail(const std::string& sText) {
  m_sError = sText;
  return false;
}

int CZipArchive::ZipFile(const std::string& sSource, const std::string& sZip,
                         const std::string& sEntryName) {
  m_sError.clear();
  const int nIn = ::open(sSource.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (nIn < 0 || ::fstat(nIn, &st) != 0) {
    m_sError = ErrnoText(errno);
    if (nIn >= 0) ::close(nIn);
    return ZIP_CANNOT_ADD;
  }
  zipFile zf = zipOpen64(sZip.c_str(), APPEND_STATUS_CREATE);
  if (!zf) {
    m_sError = ErrnoText(errno ? errno : EIO);
    ::close(nIn);
    return ZIP_CANNOT_CREATE;
  }
  zip_fileinfo zi{};
  SetEntryTime(zi, st.st_mtime);
  const int nZip64 = uint64_t(st.st_size) >= 0xFFFFFFFFULL ? 1 : 0;
  bool bOk = zipOpenNewFileInZip4_64(zf, sEntryName.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr,
                                     Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                                     DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0,
                                     nZip64) == ZIP_OK;
  std::vector<char> cBuffer(kChunk);
  while (bOk) {
    const ssize_t n = FaultableRead(nIn, cBuffer.data(), cBuffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) m_sError = ErrnoText(errno);
    if (n <= 0) {
      bOk = n == 0;
      break;
    }
    bOk = zipWriteInFileInZip(zf, cBuffer.data(), unsigned(n)) == ZIP_OK;
  }
  ::close(nIn);
  // Both closes write: the entry's sizes and CRC, then the central directory.
  bOk = zipCloseFileInZip(zf) == ZIP_OK && bOk;
  bOk = zipClose(zf, nullptr) == ZIP_OK && bOk;
  if (!bOk && m_sError.empty()) m_sError = ErrnoText(errno ? errno : EIO);
  return bOk ? ZIP_DONE : ZIP_CANNOT_ADD;
}

bool CZipArchive::ReadEntry(const std::string& sZip,
                            const std::function<bool(const char*, size_t)>& fnSink) {
  m_sError.clear();
  m_sEntryName.clear();
  m_nEntrySize = 0;
  if (!HasZipSignature(sZip)) return Fail("The file is not a ZIP archive.");
  std::unique_ptr<void, stUnzCloser> uf(unzOpen64(sZip.c_str()));
  if (!uf) return Fail("The archive is damaged or incomplete.");
  unz_global_info64 gi{};
  if (unzGetGlobalInfo64(uf.get(), &gi) != UNZ_OK || unzGoToFirstFile(uf.get()) != UNZ_OK)
    return Fail("The archive is damaged or incomplete.");
  if (gi.number_entry != 1)
    return Fail(StrFormat("The archive holds %llu files instead of one database file.",
                          (unsigned long long)gi.number_entry));
  unz_file_info64 info{};
  char cName[1024] = {};
  if (unzGetCurrentFileInfo64(uf.get(), &info, cName, sizeof cName, nullptr, 0, nullptr, 0) !=
          UNZ_OK ||
      info.size_filename >= sizeof cName)
    return Fail("The archive is damaged or incomplete.");
  m_sEntryName = cName;
  if (const std::string s = NameProblem(m_sEntryName); !s.empty()) return Fail(s);
  if ((info.version >> 8) == kHostUnix && ((info.external_fa >> 16) & kUnixTypeMask) == kUnixLink)
    return Fail(StrFormat("The archive entry %s is a link.", cName));
  if (info.flag & 1) return Fail(StrFormat("The archive entry %s is encrypted.", cName));
  if (info.compression_method != kMethodStored && info.compression_method != Z_DEFLATED)
    return Fail(StrFormat("The archive entry %s uses compression method %lu, which is not supported.",
                          cName, info.compression_method));
  if (info.uncompressed_size > kMaxDatabaseBytes)
    return Fail(StrFormat("The archive entry %s is too large (%llu bytes).", cName,
                          (unsigned long long)info.uncompressed_size));
  if (unzOpenCurrentFile(uf.get()) != UNZ_OK) return Fail("The archive is damaged or incomplete.");
  std::vector<char> cBuffer(kChunk);
  uint64_t nTotal = 0;
  bool bOk = true;
  for (;;) {
    const int n = unzReadCurrentFile(uf.get(), cBuffer.data(), unsigned(cBuffer.size()));
    if (n < 0) bOk = Fail(StrFormat("The archive entry %s is damaged (error %i).", cName, n));
    if (n <= 0) break;
    nTotal += unsigned(n);
    if (nTotal > info.uncompressed_size) {
      bOk = Fail(StrFormat("The archive entry %s holds more data than it states.", cName));
      break;
    }
    if (!fnSink(cBuffer.data(), size_t(n))) {
      bOk = false;
      break;
    }
  }
  // Closing the entry after its end checks the CRC.
  const int nClose = unzCloseCurrentFile(uf.get());
  if (!bOk) return false;
  if (nClose == UNZ_CRCERROR)
    return Fail(StrFormat("The archive entry %s is damaged (CRC error).", cName));
  if (nClose != UNZ_OK || nTotal != info.uncompressed_size)
    return Fail(StrFormat("The archive entry %s is damaged or incomplete.", cName));
  m_nEntrySize = nTotal;
  return true;
}

bool CZipArchive::TestArchive(const std::string& sZip) {
  return ReadEntry(sZip, [](const char*, size_t) { return true; });
}

bool CZipArchive::UnZipFile(int nTargetFd, const std::string& sZip) {
  return ReadEntry(sZip, [&](const char* p, size_t nSize) {
    while (nSize > 0) {
      const ssize_t n = FaultableWrite(nTargetFd, p, nSize);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail("Cannot write the unpacked database: " + ErrnoText(n < 0 ? errno : EIO));
      p += n;
      nSize -= size_t(n);
    }
    return true;
  });
}
