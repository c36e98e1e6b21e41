#include "comms/CFtpTransfer.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultPort = 21;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// "host", "host:port", "[v6]" or "[v6]:port" into the URL's authority
// ("host:port", brackets kept); false when the text cannot be a server.
bool ServerAuthority(const std::string& sServer, std::string& sOut) {
  const std::string s = Trim(sServer);
  std::string sHost = s, sPort;
  if (!s.empty() && s[0] == '[') {
    const size_t nClose = s.find(']');
    if (nClose == std::string::npos) return false;
    sHost = s.substr(0, nClose + 1);
    if (nClose + 1 < s.size()) {
      if (s[nClose + 1] != ':') return false;
      sPort = s.substr(nClose + 2);
    }
  } else if (std::count(s.begin(), s.end(), ':') == 1) {
    sHost = s.substr(0, s.find(':'));
    sPort = s.substr(s.find(':') + 1);
  } else if (s.find(':') != std::string::npos) {
    sHost = "[" + s + "]";  // a bare IPv6 address
  }
  if (sHost.empty() || sHost.find_first_of("/@?# \t\\") != std::string::npos) return false;
  long long nPort = kDefaultPort;
  if (s.find(':') != std::string::npos && sHost[0] != '[' && sPort.empty()) return false;
  if (!sPort.empty() && (!ParseInt(sPort, nPort) || nPort < 1 || nPort > 65535)) return false;
  sOut = sHost + ":" + std::to_string(nPort);
  return true;
}

// The folder's segments escaped for the URL; a leading "/" makes the path
// absolute rather than below the log-on folder.
std::string EscapedPath(CURL* pCurl, const std::string& sFolder, const std::string& sName) {
  std::string sPath = !sFolder.empty() && sFolder[0] == '/' ? "/%2F" : "/";
  std::vector<std::string> saParts;
  ParseString(sFolder, "/", saParts);
  saParts.push_back(sName);
  for (const std::string& sPart : saParts) {
    if (sPart.empty()) continue;
    char* p = curl_easy_escape(pCurl, sPart.c_str(), int(sPart.size()));
    if (p) sPath += p + std::string(sPart == saParts.back() ? "" : "/");
    curl_free(p);
  }
  return sPath;
}

// The options every request shares: address, account, mode and limits.
// False when the server text is no server.
bool SetCommonOptions(CURL* pCurl, const stFtpRequest& request, const std::string& sName,
                      char* pErrorBuffer) {
  std::string sAuthority;
  if (!ServerAuthority(request.sServer, sAuthority)) return false;
  const std::string sUrl = "ftp://" + sAuthority + EscapedPath(pCurl, request.sRemoteFolder, sName);
  curl_easy_setopt(pCurl, CURLOPT_URL, sUrl.c_str());
  curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, pErrorBuffer);
  curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, "ftp");
  if (!request.sUser.empty()) {
    curl_easy_setopt(pCurl, CURLOPT_USERNAME, request.sUser.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PASSWORD, request.sPassword.c_str());
  }
  if (!request.bPassive) curl_easy_setopt(pCurl, CURLOPT_FTPPORT, "-");
  const long nTimeout = std::max(1, request.nTimeoutSeconds);
  curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT, nTimeout);
  curl_easy_setopt(pCurl, CURLOPT_SERVER_RESPONSE_TIMEOUT, nTimeout);
  curl_easy_setopt(pCurl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(pCurl, CURLOPT_LOW_SPEED_TIME, nTimeout);
  curl_easy_setopt(pCurl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_MULTICWD));
  return true;
}

// Which step a failure belongs to, as the messages name it.
const char* FailureFormat(CURLcode code, bool bLoggedOn, bool bDownload) {
  switch (code) {
    case CURLE_FAILED_INIT:
      return "Failed in call to InternetOpen, Error:%d\n";
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_LOGIN_DENIED:
    case CURLE_WEIRD_SERVER_REPLY:
      return "Failed in call to InternetConnect, Error:%d\n";
    case CURLE_REMOTE_ACCESS_DENIED:
      return "Failed in changing directory, Error:%d\n";
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
      return "Failed in call to FtpOpenFile, Error:%d\n";
    default:
      if (!bLoggedOn) return "Failed in call to InternetConnect, Error:%d\n";
      return bDownload ? "Failed in call to InternetReadFile, Error:%d\n"
                       : "Failed in call to InternetWriteFile, Error:%d\n";
  }
}

std::string AddressText(const sockaddr* pAddress) {
  char a[INET6_ADDRSTRLEN] = {};
  if (pAddress->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(pAddress)->sin_addr, a, sizeof a);
  else if (pAddress->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(pAddress)->sin6_addr, a, sizeof a);
  return a;
}

std::string HostOf(const std::string& sServer) {
  std::string sAuthority;
  if (!ServerAuthority(sServer, sAuthority)) return sServer;
  return sAuthority.substr(0, sAuthority.rfind(':'));
}

size_t AppendToString(char* pData, size_t nSize, size_t nCount, void* pText) {
  static_cast<std::string*>(pText)->append(pData, nSize * nCount);
  return nSize * nCount;
}

}  // namespace

std::string FormatFtpSize(long long nBytes) {
  if (nBytes >= 1024 * 1024) return StrFormat("%0.2f Mbytes", double(nBytes) / (1024.0 * 1024.0));
  if (nBytes >= 1024) return StrFormat("%0.1f Kbytes", double(nBytes) / 1024.0);
  return StrFormat("%d bytes", int(nBytes));
}

stFtpProgressTexts FormatFtpProgress(const stFtpProgress& progress) {
  stFtpProgressTexts texts;
  const bool bKnown = progress.nTotal > 0;
  const std::string sDone = FormatFtpSize(progress.nDone);
  if (bKnown) {
    texts.nPercent = int(std::min<long long>(100, progress.nDone * 100 / progress.nTotal));
    texts.sPercentage = StrFormat("%s%% of %s transferred", std::to_string(texts.nPercent).c_str(),
                                  FormatFtpSize(progress.nTotal).c_str());
  } else {
    texts.sPercentage = sDone + " transferred";
  }
  // No rate, and so no time left, before the clock and the bytes have moved.
  if (progress.dSeconds < 0.001 || progress.nDone <= 0) return texts;
  const double dRate = double(progress.nDone) / progress.dSeconds;
  if (dRate >= 10 * 1024)
    texts.sRate = StrFormat("%0.0f KBytes/Sec", dRate / 1024.0);
  else if (dRate >= 1024)
    texts.sRate = StrFormat("%0.2f KBytes/Sec", dRate / 1024.0);
  else
    texts.sRate = StrFormat("%0.0f Bytes/Sec", dRate);
  if (!bKnown) return texts;
  const long long nLeft = std::max(0LL, progress.nTotal - progress.nDone);
  const int nSecLeft = int(double(nLeft) / dRate + 0.5);
  const std::string sTime = nSecLeft >= 60 ? StrFormat("%d Min, %s Sec", nSecLeft / 60,
                                                       StrFormat("%02d", nSecLeft % 60).c_str())
                                           : StrFormat("%d Sec", nSecLeft);
  const std::string sCopied =
      StrFormat("%s of %s", sDone.c_str(), FormatFtpSize(progress.nTotal).c_str());
  texts.sTimeLeft = StrFormat("%s (%s copied)", sTime.c_str(), sCopied.c_str());
  return texts;
}

bool IsFtpAsciiName(const std::string& sRemoteName) {
  const std::string sName = ToUpper(FileNameOf(sRemoteName));
  const size_t nDot = sName.rfind('.');
  if (nDot == std::string::npos) return false;
  const std::string sExt = sName.substr(nDot);
  for (const char* p : {".HTM", ".HTML", ".TXT", ".CGI", ".PL", ".STU", ".EFO"})
    if (sExt == p) return true;
  return false;
}

// The state of one run of libcurl, seen by its callbacks.
struct CFtpTransfer::stCurlState {
  CURL* pCurl = nullptr;
  bool bAddressReported = false;
  bool bConnectedReported = false;
  bool bInfoReported = false;
  bool bDataReported = false;
  std::string sAddress;
  Clock::time_point dataStart;
  long long nLastDone = -1;
  long long nLastTotal = -2;
};

CFtpTransfer::CFtpTransfer(const stFtpRequest& request, CFtpEvents* pEvents)
    : m_request(request), m_pEvents(pEvents ? pEvents : &m_noEvents) {
  SetFtpMode();
}

CFtpTransfer::~CFtpTransfer() { FinishLocal(false); }

void CFtpTransfer::SetFtpMode() { m_bAscii = IsFtpAsciiName(m_request.sRemoteName); }

int CFtpTransfer::Fail(const char* pFormat, int nError) {
  m_sError = StrFormat(pFormat, nError);
  KTRACE("FTP %s: %s", m_request.sRemoteName.c_str(), m_sError.c_str());
  return 0;
}

std::string CFtpTransfer::StartText() const {
  return StrFormat(m_request.bDownload ? "%s from %s" : "%s to %s", m_request.sRemoteName.c_str(),
                   m_request.sServer.c_str());
}

std::string CFtpTransfer::ProblemText() const {
  if (m_request.bDownload)
    return StrFormat("Problem in downloading %s to %s.", m_request.sRemoteName.c_str(),
                     m_request.sLocalPath.c_str());
  return StrFormat("Problem in uploading %s to %s.", m_request.sLocalPath.c_str(),
                   m_request.sRemoteName.c_str());
}

int CFtpTransfer::Start() {
  m_sError.clear();
  const std::string& sLocal = m_request.sLocalPath;
  if (!m_request.bDownload) {
    m_pLocal = std::fopen(sLocal.c_str(), "rb");
    struct stat st {};
    if (!m_pLocal || fstat(fileno(m_pLocal), &st) != 0 || !S_ISREG(st.st_mode)) {
      const int nError = m_pLocal ? EISDIR : errno;
      FinishLocal(false);
      return Fail("Failed to open the file to upload, Error:%d\n", nError);
    }
    m_nLocalSize = st.st_size;
    return 1;
  }
  struct stat st {};
  const bool bExists = stat(sLocal.c_str(), &st) == 0;
  if (bExists &&
      GetResponse(StrFormat("The file %s already exists.\nDo you want to replace it?", sLocal.c_str()),
                  MB_YESNO) != IDYES)
    return 0;
  // The download lands beside the target so that the final rename stays on
  // one file system; the replaced file keeps its permissions.
  std::string sTemplate = JoinPath(FolderOf(sLocal), "." + FileNameOf(sLocal) + ".XXXXXX");
  const int nFd = mkstemp(sTemplate.data());
  if (nFd < 0) return Fail("Failed to open the file to download into, Error:%d\n", errno);
  fchmod(nFd, bExists ? (st.st_mode & 07777) : 0644);
  m_sTempPath = sTemplate;
  m_pLocal = fdopen(nFd, "wb");
  if (!m_pLocal) {
    const int nError = errno;
    close(nFd);
    FinishLocal(false);
    return Fail("Failed to open the file to download into, Error:%d\n", nError);
  }
  return 1;
}

void CFtpTransfer::FinishLocal(bool bSuccess) {
  if (m_pLocal) std::fclose(m_pLocal);
  m_pLocal = nullptr;
  if (!bSuccess && !m_sTempPath.empty()) unlink(m_sTempPath.c_str());
  m_sTempPath.clear();
}

bool CFtpTransfer::DownloadComplete(long long nServerSize) const {
  // In ASCII mode the line ends change on the way, so only binary sizes compare.
  return m_bAscii || nServerSize < 0 || nServerSize == m_nWritten;
}

size_t CFtpTransfer::OnWrite(char* pData, size_t nSize, size_t nCount, void* pThis) {
  auto* p = static_cast<CFtpTransfer*>(pThis);
  const size_t nWritten = std::fwrite(pData, nSize, nCount, p->m_pLocal);
  p->m_nWritten += (long long)(nWritten * nSize);
  return nWritten * nSize;
}

size_t CFtpTransfer::OnRead(char* pData, size_t nSize, size_t nCount, void* pThis) {
  auto* p = static_cast<CFtpTransfer*>(pThis);
  const size_t nRead = std::fread(pData, 1, nSize * nCount, p->m_pLocal);
  if (nRead == 0 && std::ferror(p->m_pLocal)) return CURL_READFUNC_ABORT;
  return nRead;
}

// Reports each step once as libcurl reaches it.
void CFtpTransfer::ReportPhase(long long nDone) {
  stCurlState& state = *m_pCurl;
  curl_off_t nConnect = 0, nPre = 0, nStart = 0;
  curl_easy_getinfo(state.pCurl, CURLINFO_CONNECT_TIME_T, &nConnect);
  curl_easy_getinfo(state.pCurl, CURLINFO_PRETRANSFER_TIME_T, &nPre);
  curl_easy_getinfo(state.pCurl, CURLINFO_STARTTRANSFER_TIME_T, &nStart);
  if (nConnect > 0 && !state.bConnectedReported) {
    state.bConnectedReported = true;
    m_pEvents->OnStatus(StrFormat("Connected to %s", state.sAddress.c_str()));
  }
  if (nPre > 0 && !state.bInfoReported) {
    state.bInfoReported = true;
    m_pEvents->OnStatus("Getting file information");
  }
  if ((nStart > 0 || nDone > 0) && !state.bDataReported) {
    state.bDataReported = true;
    state.dataStart = Clock::now();
    m_pEvents->OnStatus(m_request.bDownload ? "Retrieving the file" : "Uploading the file");
  }
}

int CFtpTransfer::OnProgress(long long nDone, long long nTotal) {
  if (m_pEvents->AbortRequested()) {
    if (!m_bAborted) m_pEvents->OnStatus("Aborting transfer");
    m_bAborted = true;
    return 1;
  }
  ReportPhase(nDone);
  stCurlState& state = *m_pCurl;
  if (!state.bDataReported) return 0;
  stFtpProgress progress;
  progress.nDone = nDone;
  progress.nTotal = m_request.bDownload ? (nTotal > 0 ? nTotal : -1) : m_nLocalSize;
  if (progress.nDone == state.nLastDone && progress.nTotal == state.nLastTotal) return 0;
  state.nLastDone = progress.nDone;
  state.nLastTotal = progress.nTotal;
  progress.dSeconds = std::chrono::duration<double>(Clock::now() - state.dataStart).count();
  m_pEvents->OnProgress(progress);
  return 0;
}

int CFtpTransfer::Transfer() {
  if (!m_pLocal) return 0;
  InitCurlOnce();
  stCurlState state;
  state.pCurl = curl_easy_init();
  if (!state.pCurl) {
    FinishLocal(false);
    return Fail("Failed in call to InternetOpen, Error:%d\n", CURLE_FAILED_INIT);
  }
  m_pCurl = &state;
  char aError[CURL_ERROR_SIZE] = {};
  CURL* pCurl = state.pCurl;
  m_pEvents->OnStatus(StrFormat("Resolving name: %s", HostOf(m_request.sServer).c_str()));
  CURLcode code = CURLE_URL_MALFORMAT;
  if (SetCommonOptions(pCurl, m_request, m_request.sRemoteName, aError)) {
    curl_easy_setopt(pCurl, CURLOPT_TRANSFERTEXT, m_bAscii ? 1L : 0L);
    curl_easy_setopt(pCurl, CURLOPT_OPENSOCKETFUNCTION, +[](void* pThis, curlsocktype, curl_sockaddr* pAddr) {
      auto* p = static_cast<CFtpTransfer*>(pThis);
      if (!p->m_pCurl->bAddressReported) {
        p->m_pCurl->bAddressReported = true;
        p->m_pCurl->sAddress = AddressText(&pAddr->addr);
        p->m_pEvents->OnStatus(StrFormat("Resolved name to %s", p->m_pCurl->sAddress.c_str()));
        p->m_pEvents->OnStatus(StrFormat("Connecting to %s", p->m_pCurl->sAddress.c_str()));
      }
      return curl_socket_t(socket(pAddr->family, pAddr->socktype | SOCK_CLOEXEC, pAddr->protocol));
    });
    curl_easy_setopt(pCurl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION,
                     +[](void* pThis, curl_off_t nDlTotal, curl_off_t nDlNow, curl_off_t, curl_off_t nUlNow) {
                       auto* p = static_cast<CFtpTransfer*>(pThis);
                       return p->m_request.bDownload ? p->OnProgress(nDlNow, nDlTotal) : p->OnProgress(nUlNow, -1);
                     });
    curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, this);
    if (m_request.bDownload) {
      curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, &CFtpTransfer::OnWrite);
      curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, this);
    } else {
      curl_easy_setopt(pCurl, CURLOPT_UPLOAD, 1L);
      curl_easy_setopt(pCurl, CURLOPT_READFUNCTION, &CFtpTransfer::OnRead);
      curl_easy_setopt(pCurl, CURLOPT_READDATA, this);
      curl_easy_setopt(pCurl, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_nLocalSize));
    }
    code = curl_easy_perform(pCurl);
  }
  curl_off_t nPre = 0, nServerSize = -1;
  curl_easy_getinfo(pCurl, CURLINFO_PRETRANSFER_TIME_T, &nPre);
  curl_easy_getinfo(pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nServerSize);
  curl_easy_cleanup(pCurl);
  m_pCurl = nullptr;

  bool bOk = code == CURLE_OK;
  if (bOk && m_request.bDownload) {
    bOk = DownloadComplete(nServerSize) && std::fflush(m_pLocal) == 0 && fsync(fileno(m_pLocal)) == 0;
    if (!bOk) code = CURLE_PARTIAL_FILE;
  }
  if (bOk && m_request.bDownload) {
    std::fclose(m_pLocal);
    m_pLocal = nullptr;
    bOk = rename(m_sTempPath.c_str(), m_request.sLocalPath.c_str()) == 0;
    if (!bOk) code = CURLE_WRITE_ERROR;
  }
  FinishLocal(bOk);
  if (bOk) return 1;
  KTRACE("FTP %s: curl error %d (%s) %s\n", m_request.sRemoteName.c_str(), int(code),
         curl_easy_strerror(code), aError);
  if (m_bAborted) return 0;
  return Fail(FailureFormat(code, nPre > 0, m_request.bDownload), int(code));
}

int CFtpTransfer::ListFolder(const stFtpRequest& request, std::vector<std::string>& saNames,
                             std::string* pError) {
  saNames.clear();
  InitCurlOnce();
  CURL* pCurl = curl_easy_init();
  if (!pCurl) {
    if (pError) *pError = StrFormat("Failed in call to InternetOpen, Error:%d\n", CURLE_FAILED_INIT);
    return 0;
  }
  char aError[CURL_ERROR_SIZE] = {};
  std::string sText;
  CURLcode code = CURLE_URL_MALFORMAT;
  // The empty name makes the URL end in "/", which libcurl lists.
  if (SetCommonOptions(pCurl, request, "", aError)) {
    curl_easy_setopt(pCurl, CURLOPT_DIRLISTONLY, 1L);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, &AppendToString);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &sText);
    code = curl_easy_perform(pCurl);
  }
  curl_off_t nPre = 0;
  curl_easy_getinfo(pCurl, CURLINFO_PRETRANSFER_TIME_T, &nPre);
  curl_easy_cleanup(pCurl);
  if (code != CURLE_OK) {
    KTRACE("FTP list %s: curl error %d (%s) %s\n", request.sRemoteFolder.c_str(), int(code),
           curl_easy_strerror(code), aError);
    if (pError) *pError = StrFormat(FailureFormat(code, nPre > 0, true), int(code));
    return 0;
  }
  ParseString(sText, "\r\n", saNames);
  saNames.erase(std::remove(saNames.begin(), saNames.end(), std::string()), saNames.end());
  return 1;
}

int RunFtpTransfer(const stFtpRequest& request, CFtpEvents* pEvents, std::string* pError) {
  CFtpTransfer transfer(request, pEvents);
  const int nOk = transfer.Start() && transfer.Transfer();
  if (pError) {
    pError->clear();
    if (!nOk && (!transfer.GetError().empty() || transfer.WasAborted()))
      *pError = transfer.GetError() + transfer.ProblemText();
  }
  return nOk;
}
