#include "tests/comms/FakeModem.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

CFakeModem::CFakeModem() {
  m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_nMaster < 0) return;
  if (grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0 || !ptsname(m_nMaster)) {
    close(m_nMaster);
    m_nMaster = -1;
    return;
  }
  m_sPath = ptsname(m_nMaster);
  m_nSlave = open(m_sPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  // Raw from the start: the line discipline must not echo or translate
  // what the modem sends before the code under test sets the line up.
  termios tio{};
  if (m_nSlave >= 0 && tcgetattr(m_nSlave, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(m_nSlave, TCSANOW, &tio);
  }
  m_thread = std::thread([this] { Run(); });
}

CFakeModem::~CFakeModem() {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_nSlave >= 0) close(m_nSlave);
  if (m_nMaster >= 0) close(m_nMaster);
}

void CFakeModem::Answer(const std::string& sPrefix, const std::string& sReply) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_rules[sPrefix] = sReply;
}

std::string CFakeModem::Written() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sWritten;
}

std::vector<std::string> CFakeModem::Commands() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> sa;
  for (const auto& [sCommand, when] : m_commands) sa.push_back(sCommand);
  return sa;
}

std::vector<CFakeModem::Clock::time_point> CFakeModem::TimesOf(const std::string& sPrefix) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<Clock::time_point> times;
  for (const auto& [sCommand, when] : m_commands)
    if (sCommand.rfind(sPrefix, 0) == 0) times.push_back(when);
  return times;
}

void CFakeModem::Run() {
  char cBuf[256];
  while (!m_bStop) {
    pollfd p{m_nMaster, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    const ssize_t n = read(m_nMaster, cBuf, sizeof cBuf);
    if (n <= 0) continue;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = cBuf[i];
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sWritten += c;
      }
      if (m_bEcho) Send(std::string(1, c));
      if (c == '\r') {
        OnCommand(m_sCommand);
        m_sCommand.clear();
      } else if (c != '\n') {
        m_sCommand += c;
      }
    }
  }
}

void CFakeModem::OnCommand(const std::string& sCommand) {
  std::string sReply = "OK";
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.emplace_back(sCommand, Clock::now());
    size_t nBest = 0;
    for (const auto& [sPrefix, sRule] : m_rules)
      if (sCommand.rfind(sPrefix, 0) == 0 && sPrefix.size() >= nBest) {
        nBest = sPrefix.size();
        sReply = sRule;
      }
  }
  if (sCommand.rfind("ATE0", 0) == 0) m_bEcho = false;
  if (!sReply.empty()) Send(Reply(sReply));
}

std::string CFakeModem::Reply(const std::string& sWord) const {
  static const std::map<std::string, std::string> kDigits = {
      {"OK", "0"},    {"CONNECT", "1"},     {"RING", "2"}, {"NO CARRIER", "3"},
      {"ERROR", "4"}, {"NO DIALTONE", "6"}, {"BUSY", "7"}, {"NO ANSWER", "8"}};
  const auto it = kDigits.find(sWord);
  if (m_bDigits && it != kDigits.end()) return it->second + "\r";
  return "\r\n" + sWord + "\r\n";
}

void CFakeModem::Send(const std::string& sBytes) {
  size_t nDone = 0;
  while (nDone < sBytes.size()) {
    const ssize_t n = write(m_nMaster, sBytes.data() + nDone, sBytes.size() - nDone);
    if (n <= 0) return;
    nDone += size_t(n);
  }
}
