#pragma once
// One FTP transfer of a single file, up or down, over libcurl, and the
// listing of a remote folder. No window: the progress window and the
// headless tool both watch it through CFtpEvents.
//
// The transfer has two steps. Start opens the local side on the caller's
// thread (the overwrite question is asked there); Transfer talks to the
// server and may run on a worker thread. A download is written into a
// temporary file beside the target that replaces it only when the server
// reported the whole file, so a failed or aborted download leaves the old
// file as it was.

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "comms/FtpRequest.h"

// Where a transfer stands: bytes done, the file's size (-1 while unknown)
// and the seconds since the data began to flow.
struct stFtpProgress {
  long long nDone = 0;
  long long nTotal = -1;
  double dSeconds = 0.0;
};

// The window's texts for a progress report. nPercent is -1 when the size is
// unknown (the bar then shows activity only); a text is empty when it
// cannot be known yet (no rate before the first bytes).
struct stFtpProgressTexts {
  int nPercent = -1;
  std::string sPercentage;  // "%s%% of %s transferred"
  std::string sTimeLeft;    // "%d Min, %s Sec (%s of %s copied)"
  std::string sRate;        // "%0.2f KBytes/Sec"
};
stFtpProgressTexts FormatFtpProgress(const stFtpProgress& progress);
// "%0.2f Mbytes", "%0.1f Kbytes" or "%d bytes".
std::string FormatFtpSize(long long nBytes);

// ASCII for the web and text types, by the file name's final extension.
bool IsFtpAsciiName(const std::string& sRemoteName);

// What the transfer reports, called on the thread that runs Transfer.
class CFtpEvents {
 public:
  virtual ~CFtpEvents() = default;
  // "Resolving name: %s", "Connected to %s", "Retrieving the file", ...
  virtual void OnStatus(const std::string& /*sText*/) {}
  virtual void OnProgress(const stFtpProgress& /*progress*/) {}
  // Asked between blocks; true stops the transfer, which then fails.
  virtual bool AbortRequested() { return false; }
};

class CFtpTransfer {
 public:
  explicit CFtpTransfer(const stFtpRequest& request, CFtpEvents* pEvents = nullptr);
  ~CFtpTransfer();
  CFtpTransfer(const CFtpTransfer&) = delete;
  CFtpTransfer& operator=(const CFtpTransfer&) = delete;

  // Opens the local file: for a download asks whether an existing file is to
  // be replaced and creates the temporary file, for an upload opens the file
  // for reading. 1 when the transfer can begin; 0 when it failed (the text in
  // GetError) or the user declined (GetError empty).
  int Start();
  // Runs the transfer after a successful Start. 1 when the whole file was
  // moved (and a download is in place), 0 otherwise.
  int Transfer();
  // The failure text, e.g. "Failed in call to InternetConnect, Error:67\n";
  // empty after success, a declined replacement or an abort.
  const std::string& GetError() const { return m_sError; }
  bool WasAborted() const { return m_bAborted; }
  // "Problem in downloading %s to %s." or "Problem in uploading %s to %s.".
  std::string ProblemText() const;
  // "%s from %s" (download) or "%s to %s" (upload): the file and the server.
  std::string StartText() const;
  bool IsAscii() const { return m_bAscii; }

  // The names in a remote folder (the request's folder; its file name is
  // ignored). 1 on success, else 0 with the failure text in *pError.
  static int ListFolder(const stFtpRequest& request, std::vector<std::string>& saNames,
                        std::string* pError = nullptr);

 private:
  struct stCurlState;
  void SetFtpMode();
  int Fail(const char* pFormat, int nError);
  void FinishLocal(bool bSuccess);
  bool DownloadComplete(long long nServerSize) const;

  static size_t OnWrite(char* pData, size_t nSize, size_t nCount, void* pThis);
  static size_t OnRead(char* pData, size_t nSize, size_t nCount, void* pThis);
  // libcurl's progress report: the bytes moved and the size the server gave
  // (0 or -1 unknown). Non-zero aborts.
  int OnProgress(long long nDone, long long nTotal);
  void ReportPhase(long long nDone);

  stFtpRequest m_request;
  CFtpEvents* m_pEvents;
  CFtpEvents m_noEvents;
  bool m_bAscii = false;
  std::FILE* m_pLocal = nullptr;
  std::string m_sTempPath;  // the download's temporary file
  long long m_nLocalSize = -1;  // the upload's size
  long long m_nWritten = 0;
  std::string m_sError;
  bool m_bAborted = false;
  stCurlState* m_pCurl = nullptr;
};

// The whole transfer without a window: Start, then Transfer. 1 on success;
// on failure *pError (when given) holds the failure text followed by the
// "Problem in ..." line, or is empty when the user declined to replace the
// local file.
int RunFtpTransfer(const stFtpRequest& request, CFtpEvents* pEvents = nullptr,
                   std::string* pError = nullptr);
