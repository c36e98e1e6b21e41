#pragma once
// One FTP transfer as the program asks for it: a single file up or down,
// with the account and the modes. The transfer engine (CFtpTransfer) runs it;
// the window that shows its progress, or a headless caller, waits for it.

#include <string>

struct stFtpRequest {
  std::string sLocalPath;
  std::string sRemoteName;
  std::string sRemoteFolder;  // empty: the log-on folder
  bool bDownload = false;
  std::string sServer;  // "host" or "host:port"
  std::string sUser;    // empty: anonymous log-on
  std::string sPassword;
  bool bPassive = true;
  bool bModeless = false;
  // Seconds allowed for the connection and for each answer of the server; a
  // transfer that moves no byte for this long fails as well.
  int nTimeoutSeconds = 30;
};
