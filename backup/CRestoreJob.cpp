#include "backup/CRestoreJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "backup/BackupFiles.h"
#include "backup/CZipArchive.h"
#include "engine/CDbEngine.h"
#include "engine/CDbRepair.h"
#include "engine/CSharedFile.h"
#include "support/FileUtil.h"
#include "support/IoFault.h"
#include "support/StringUtil.h"

namespace {

constexpr size_t kReportLines = 6;
constexpr int kMaxKeptCopies = 10000;

std::string SystemText(int nErr) { return StrFormat("Error %i: %s", nErr, std::strerror(nErr)); }

bool WriteAll(int nFd, const char* p, size_t nSize) {
  while (nSize > 0) {
    const ssize_t n = FaultableWrite(nFd, p, nSize);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    nSize -= size_t(n);
  }
  return true;
}

// Opens a file and holds it exclusively; null when another copy has it open.
std::unique_ptr<CSharedFile> HoldFile(const std::string& sPath) {
  auto pFile = std::make_unique<CSharedFile>();
  if (!pFile->OpenExisting(sPath) || pFile->TakePresence(true) != IO_OK) return nullptr;
  return pFile;
}

}  // namespace

CRestoreJob::CRestoreJob(std::string sDbPath, std::string sBackup)
    : m_sDbPath(std::move(sDbPath)), m_sBackup(std::move(sBackup)) {}

CRestoreJob::~CRestoreJob() = default;

bool CRestoreJob::Fail(const std::string& sText) {
  m_sError = sText;
  return false;
}

bool CRestoreJob::Prepare() {
  m_bPlainCopy = IsPlainCopyName(m_sBackup);
  const std::string sCannot = StrFormat("Can't restore from %s.\n", m_sBackup.c_str());
  if (!m_bPlainCopy && !HasZipSignature(m_sBackup))
    return Fail(sCannot + "The file is neither a ZIP archive nor a database copy (.BAK, .BK*).");
  m_pTemp = std::make_unique<CTempFile>(FolderOf(m_sDbPath), FileNameOf(m_sDbPath));
  if (!m_pTemp->IsCreated()) return Fail(sCannot + SystemText(errno));
  if (!(m_bPlainCopy ? CopyInto(m_pTemp->Fd()) : UnpackInto(m_pTemp->Fd()))) return false;
  if (!m_pTemp->Close()) return Fail(sCannot + SystemText(errno));
  return VerifyDatabase();
}

bool CRestoreJob::CopyInto(int nFd) {
  const std::string sCannot = StrFormat("Can't restore from %s.\n", m_sBackup.c_str());
  const int nIn = ::open(m_sBackup.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (nIn < 0) return Fail(sCannot + SystemText(errno));
  if (::fstat(nIn, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(nIn);
    return Fail(sCannot + "It is not a file.");
  }
  std::vector<char> cBuffer(1 << 20);
  unsigned long long nTotal = 0;
  bool bOk = true;
  for (;;) {
    const ssize_t n = FaultableRead(nIn, cBuffer.data(), cBuffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) bOk = Fail(sCannot + SystemText(errno));
    if (n <= 0) break;
    nTotal += size_t(n);
    if (nTotal > kMaxDatabaseBytes) {
      bOk = Fail(sCannot + "It is larger than a database file can be.");
      break;
    }
    if (!WriteAll(nFd, cBuffer.data(), size_t(n))) {
      bOk = Fail(sCannot + SystemText(errno));
      break;
    }
  }
  ::close(nIn);
  return bOk;
}

bool CRestoreJob::UnpackInto(int nFd) {
  CZipArchive archive;
  if (archive.UnZipFile(nFd, m_sBackup)) return true;
  return Fail(StrFormat("Error in unZIPping %s\n%s", m_sBackup.c_str(), archive.Error().c_str()));
}

bool CRestoreJob::VerifyDatabase() {
  const std::string sCannot = StrFormat("Can't restore from %s.\n", m_sBackup.c_str());
  uint8_t a[DB_FIRST_RECORD_LOC + DB_HEADER_LEN] = {};
  const int nFd = ::open(m_pTemp->Path().c_str(), O_RDONLY | O_CLOEXEC);
  const ssize_t nRead = nFd < 0 ? -1 : ::pread(nFd, a, sizeof a, 0);
  if (nFd >= 0) ::close(nFd);
  if (nRead != ssize_t(sizeof a)) return Fail(sCannot + "It is too short for a database file.");
  if (GetUint32(a + LOC_FORMAT_VERSION) != DB_FORMAT_VERSION)
    return Fail(sCannot + StrFormat("Its database has format version %u, not %u.",
                                    GetUint32(a + LOC_FORMAT_VERSION), DB_FORMAT_VERSION));
  if (a[DB_FIRST_RECORD_LOC] != HEADER_DELIM || a[DB_FIRST_RECORD_LOC + 1] != HEADER_DELIM)
    return Fail(sCannot + "It holds no database record at location 1024.");
  CDbEngine engine;
  if (!engine.OpenDBForReading(m_pTemp->Path())) return Fail(sCannot + "It cannot be read.");
  std::vector<std::string> saReport;
  const int nClean = CDbRepair(engine).TestAndRepairDatabase(0, saReport);
  engine.CloseDB();
  if (nClean) return true;
  std::string sText = sCannot + "Its database fails the integrity test:";
  for (size_t i = 0; i < saReport.size() && i < kReportLines; ++i) sText += "\n" + saReport[i];
  return Fail(sText);
}

bool CRestoreJob::KeepOldFile() {
  const std::string sRoot = m_sDbPath.substr(0, m_sDbPath.size() - 4);
  for (int n = 1; n <= kMaxKeptCopies; ++n) {
    const std::string sKept = StrFormat("%s.BK%i", sRoot.c_str(), n);
    if (FileExists(sKept)) continue;
    if (::link(m_sDbPath.c_str(), sKept.c_str()) != 0) {
      if (errno == EEXIST) continue;
      // File systems without hard links get a copy.
      const stCopyResult r = CopyFileDurably(m_sDbPath, sKept);
      if (r.nError)
        return Fail(StrFormat("Can't keep %s as %s.\n%s", m_sDbPath.c_str(), sKept.c_str(),
                              SystemText(r.nError).c_str()));
    }
    m_sKeptAs = sKept;
    return true;
  }
  return Fail(StrFormat("Can't keep %s: too many .BK copies.", m_sDbPath.c_str()));
}

bool CRestoreJob::Replace(std::unique_ptr<CSharedFile>& pHeld) {
  if (!m_pTemp || !m_pTemp->IsCreated()) return Fail("No backup was prepared.");
  const bool bOldFile = pHeld != nullptr;
  if (bOldFile && !KeepOldFile()) return false;
  if (bOldFile) m_pTemp->SetModeOf(m_sDbPath);
  std::unique_ptr<CSharedFile> pNew = HoldFile(m_pTemp->Path());
  bool bPlaced = false;
  int nErr = EIO;
  if (pNew) {
    // Without an old file the name must still be free: a link never
    // replaces a file another copy just created.
    bPlaced = bOldFile ? m_pTemp->RenameTo(m_sDbPath)
                       : ::link(m_pTemp->Path().c_str(), m_sDbPath.c_str()) == 0;
    nErr = errno;
  }
  if (!bPlaced) {
    if (!m_sKeptAs.empty()) ::unlink(m_sKeptAs.c_str());
    m_sKeptAs.clear();
    return Fail(StrFormat("Can't replace %s.\n%s", m_sDbPath.c_str(), SystemText(nErr).c_str()));
  }
  SyncFolder(FolderOf(m_sDbPath));
  pHeld = std::move(pNew);
  return true;
}

bool CRestoreJob::PutBack(std::unique_ptr<CSharedFile>& pHeld) {
  if (m_sKeptAs.empty()) return Fail("There is no previous database to put back.");
  if (!pHeld) pHeld = HoldFile(m_sDbPath);
  std::unique_ptr<CSharedFile> pOld = pHeld ? HoldFile(m_sKeptAs) : nullptr;
  if (!pOld)
    return Fail(StrFormat("Another copy of Kelvo has opened %s; the previous database is kept as %s.",
                          m_sDbPath.c_str(), m_sKeptAs.c_str()));
  if (std::rename(m_sKeptAs.c_str(), m_sDbPath.c_str()) != 0)
    return Fail(StrFormat("Can't put %s back.\n%s", m_sKeptAs.c_str(), SystemText(errno).c_str()));
  SyncFolder(FolderOf(m_sDbPath));
  m_sKeptAs.clear();
  pHeld = std::move(pOld);
  return true;
}
