#include "SessionProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

extern char** environ;

namespace {

bool IsReply(const std::string& s) { return s.rfind("OK", 0) == 0 || s.rfind("FAIL", 0) == 0; }

}  // namespace

CSessionProcess::CSessionProcess(const std::string& sFile, const std::vector<std::string>& saEnv,
                                 const std::vector<std::string>& saArgs) {
  int naIn[2], naOut[2];
  if (pipe2(naIn, O_CLOEXEC) != 0 || pipe2(naOut, O_CLOEXEC) != 0) return;
  std::vector<std::string> saArgv = {KELVOTOOL_PATH, "session", sFile};
  saArgv.insert(saArgv.end(), saArgs.begin(), saArgs.end());
  std::vector<std::string> saEnvp;
  // The given entries replace this process's own of the same names.
  const auto fnGiven = [&](const std::string& sEntry) {
    const std::string sName = sEntry.substr(0, sEntry.find('=') + 1);
    return std::any_of(saEnv.begin(), saEnv.end(), [&](const std::string& s) { return s.rfind(sName, 0) == 0; });
  };
  for (char** p = environ; *p; ++p)
    if (!fnGiven(*p)) saEnvp.push_back(*p);
  saEnvp.insert(saEnvp.end(), saEnv.begin(), saEnv.end());
  std::vector<char*> argv, envp;
  for (auto& s : saArgv) argv.push_back(s.data());
  for (auto& s : saEnvp) envp.push_back(s.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  m_nPid = fork();
  if (m_nPid == 0) {
    dup2(naIn[0], 0);
    dup2(naOut[1], 1);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(naIn[0]);
  close(naOut[1]);
  m_nIn = naIn[1];
  m_nOut = naOut[0];
  m_sOpenReply = ReadReply(nullptr, 60);
}

CSessionProcess::~CSessionProcess() {
  if (m_nPid > 0) Finish(10);
  if (m_nOut >= 0) close(m_nOut);
}

bool CSessionProcess::ReadLine(std::string& sLine, int nSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
  for (;;) {
    const size_t nEnd = m_sBuffer.find('\n');
    if (nEnd != std::string::npos) {
      sLine = m_sBuffer.substr(0, nEnd);
      m_sBuffer.erase(0, nEnd + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (m_nOut < 0 || left.count() <= 0) return false;
    pollfd fd{m_nOut, POLLIN, 0};
    if (poll(&fd, 1, int(left.count())) <= 0) continue;
    char c[4096];
    const ssize_t n = read(m_nOut, c, sizeof c);
    if (n <= 0) return false;
    m_sBuffer.append(c, size_t(n));
  }
}

std::string CSessionProcess::ReadReply(std::vector<std::string>* pLines, int nSeconds) {
  std::string sLine;
  while (ReadLine(sLine, nSeconds)) {
    if (IsReply(sLine)) return sLine;
    m_saSeen.push_back(sLine);
    // Wait boxes are only seen, never part of a command's output.
    if (pLines && sLine.rfind("WAIT: ", 0) != 0) pLines->push_back(sLine);
  }
  return "";
}

void CSessionProcess::Send(const std::string& sLine) {
  const std::string s = sLine + "\n";
  if (m_nIn >= 0 && write(m_nIn, s.data(), s.size()) != ssize_t(s.size())) {
    close(m_nIn);
    m_nIn = -1;
  }
}

std::string CSessionProcess::Command(const std::string& sLine, std::vector<std::string>* pLines,
                                     int nSeconds) {
  Send(sLine);
  return ReadReply(pLines, nSeconds);
}

bool CSessionProcess::WaitForText(const std::string& sText, int nSeconds) {
  if (SawText(sText)) return true;
  std::string sLine;
  while (ReadLine(sLine, nSeconds)) {
    m_saSeen.push_back(sLine);
    if (sLine.find(sText) != std::string::npos) return true;
  }
  return false;
}

bool CSessionProcess::SawText(const std::string& sText) const {
  for (const auto& s : m_saSeen)
    if (s.find(sText) != std::string::npos) return true;
  return false;
}

void CSessionProcess::Kill() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGKILL);
  waitpid(m_nPid, nullptr, 0);
  m_nPid = -1;
  if (m_nIn >= 0) close(m_nIn);
  m_nIn = -1;
}

int CSessionProcess::Finish(int nSeconds) {
  if (m_nPid <= 0) return -1;
  if (m_nIn >= 0) close(m_nIn);
  m_nIn = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
  int nStatus = 0;
  while (waitpid(m_nPid, &nStatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      Kill();
      return -1;
    }
    std::string sLine;
    if (ReadLine(sLine, 1))
      m_saSeen.push_back(sLine);
    else
      usleep(10000);
  }
  m_nPid = -1;
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}
