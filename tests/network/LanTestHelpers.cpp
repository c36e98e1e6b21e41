#include "LanTestHelpers.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "network/NetworkHelpers.h"
#include "support/StringUtil.h"

CLoopbackRange::CLoopbackRange() {
  std::random_device rd;
  std::mt19937 gen(rd());
  m_nSecond = std::uniform_int_distribution<int>(10, 250)(gen);
  m_nThird = std::uniform_int_distribution<int>(0, 250)(gen);
  // A port the kernel hands out is free now; the range's addresses are our own.
  const int nFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, Address(1).c_str(), &addr.sin_addr);
  bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t nLen = sizeof addr;
  getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
  m_sPort = std::to_string(ntohs(addr.sin_port));
  close(nFd);
}

std::string CLoopbackRange::Address(int n) const {
  return StrFormat("127.%d.%d.%d", m_nSecond, m_nThird, n);
}

stLanIdentity MakeIdentity(const CLoopbackRange& range, int n, const std::string& sListPath) {
  stLanIdentity id;
  id.m_sComputerName = StrFormat("PC%d", n);
  id.m_sHostAddress = range.Address(n);
  id.m_sListenAddress = range.Address(n);
  id.m_sPortText = range.Port();
  id.m_sComputerListPath = sListPath;
  return id;
}

void WriteList(const std::string& sPath, const CLoopbackRange& range, const std::vector<int>& naCopies) {
  std::vector<std::string> saLines;
  for (int n : naCopies) saLines.push_back(StrFormat("PC%d:%s", n, range.Address(n).c_str()));
  WriteComputerList(sPath, saLines);
}

bool WaitUntil(const std::function<bool()>& fn, int nSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (fn()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return fn();
}

CRawClient::CRawClient(const std::string& sSource, const std::string& sTo, const std::string& sPort) {
  m_nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{}, to{};
  from.sin_family = to.sin_family = AF_INET;
  inet_pton(AF_INET, sSource.c_str(), &from.sin_addr);
  inet_pton(AF_INET, sTo.c_str(), &to.sin_addr);
  to.sin_port = htons(uint16_t(std::stoi(sPort)));
  if (bind(m_nFd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      connect(m_nFd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
    Close();
}

CRawClient::~CRawClient() { Close(); }

bool CRawClient::Send(const std::string& sBytes) {
  return m_nFd >= 0 && ::send(m_nFd, sBytes.data(), sBytes.size(), MSG_NOSIGNAL) == ssize_t(sBytes.size());
}

bool CRawClient::WaitForClose(int nSeconds) {
  return WaitUntil([this] {
    pollfd fd{m_nFd, POLLIN, 0};
    if (poll(&fd, 1, 10) <= 0) return false;
    char c[256];
    return ::recv(m_nFd, c, sizeof c, MSG_DONTWAIT) <= 0;
  }, nSeconds);
}

void CRawClient::Close() {
  if (m_nFd >= 0) close(m_nFd);
  m_nFd = -1;
}

int OpenDescriptorCount() {
  int n = 0;
  if (DIR* p = opendir("/proc/self/fd")) {
    while (readdir(p)) ++n;
    closedir(p);
  }
  return n - 3;  // ".", ".." and the directory's own descriptor
}
