#pragma once
// A real FTP server (pyftpdlib) on 127.0.0.1 for the transfer tests: user
// "kelvo" with a password, a home folder holding "public", optionally
// throttled so a test can act in the middle of a transfer. Also a listener
// that accepts connections and never answers.

#include <sys/types.h>

#include <string>

#include "comms/FtpRequest.h"
#include "tests/common/TestCommon.h"

class CFtpTestServer {
 public:
  explicit CFtpTestServer(int nBytesPerSecond = 0);
  ~CFtpTestServer();
  bool Started() const { return m_nPort > 0; }
  int Port() const { return m_nPort; }
  // The server's own copy of a file below its home ("public/a.txt").
  std::string HomeFile(const std::string& sName) const { return m_home.File(sName); }
  // A request for a file in "public" with the right password.
  stFtpRequest Request(const std::string& sName, const std::string& sLocal, bool bDownload) const;
  void Kill();

  static constexpr const char* kUser = "kelvo";
  static constexpr const char* kPassword = "s3|cret Pw";

 private:
  CScratchFolder m_home;
  pid_t m_nPid = -1;
  int m_nPort = 0;
};

// A listening socket on loopback whose connections are never answered.
class CSilentListener {
 public:
  CSilentListener();
  ~CSilentListener();
  int Port() const { return m_nPort; }

 private:
  int m_nFd = -1;
  int m_nPort = 0;
};
