#pragma once
// A copy of the program as a separate process: "kelvotool session FILE" with
// its own program folder, computer name and loopback address, driven over
// its standard input and output.

#include <sys/types.h>

#include <string>
#include <vector>

class CSessionProcess {
 public:
  // saEnv: "NAME=value" entries added to this process's environment.
  CSessionProcess(const std::string& sFile, const std::vector<std::string>& saEnv,
                  const std::vector<std::string>& saArgs);
  ~CSessionProcess();
  CSessionProcess(const CSessionProcess&) = delete;
  CSessionProcess& operator=(const CSessionProcess&) = delete;

  // The reply line (OK... or FAIL...) of the log-on; empty when none came.
  const std::string& OpenReply() const { return m_sOpenReply; }
  bool IsOpen() const { return m_sOpenReply.rfind("OK", 0) == 0; }

  // Sends a command and returns its reply line; the lines before it go to
  // pLines. Empty when no reply came in time or the process ended.
  std::string Command(const std::string& sLine, std::vector<std::string>* pLines = nullptr,
                      int nSeconds = 60);
  void Send(const std::string& sLine);
  std::string ReadReply(std::vector<std::string>* pLines = nullptr, int nSeconds = 60);
  // Reads until a line holding sText came (true) or the time is up.
  bool WaitForText(const std::string& sText, int nSeconds = 30);
  // Every line seen so far that was not a reply.
  const std::vector<std::string>& Seen() const { return m_saSeen; }
  bool SawText(const std::string& sText) const;

  void Kill();
  // Closes the input and waits for the end; the exit status, -1 when killed.
  int Finish(int nSeconds = 30);
  pid_t Pid() const { return m_nPid; }

 private:
  bool ReadLine(std::string& sLine, int nSeconds);

  pid_t m_nPid = -1;
  int m_nIn = -1;
  int m_nOut = -1;
  std::string m_sBuffer;
  std::string m_sOpenReply;
  std::vector<std::string> m_saSeen;
};
