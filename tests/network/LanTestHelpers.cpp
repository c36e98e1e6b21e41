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

namespace {

int ListenAt(const std::string& sAddress, const std::string& sPort) {
  const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int nOn = 1;
  setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  inet_pton(AF_INET, sAddress.c_str(), &at.sin_addr);
  at.sin_port = htons(uint16_t(std::stoi(sPort)));
  if (bind(nFd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(nFd, 4) != 0) {
    close(nFd);
    return -1;
  }
  return nFd;
}

}  // namespace

// Listening first: the copy greeted on the client connection connects back.
CRawPeer::CRawPeer(const std::string& sAddress, const std::string& sTo, const std::string& sPort)
    : m_nListen(ListenAt(sAddress, sPort)), m_client(sAddress, sTo, sPort) {}

CRawPeer::~CRawPeer() {
  for (int nFd : m_naAccepted) close(nFd);
  if (m_nListen >= 0) close(m_nListen);
}

std::string CRawPeer::NextMessage(int nSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
  while (m_sPending.find("~\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    std::vector<pollfd> fds{{m_nListen, POLLIN, 0}};
    for (int nFd : m_naAccepted) fds.push_back({nFd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 20) <= 0) continue;
    if (fds[0].revents & POLLIN) m_naAccepted.push_back(accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC));
    for (size_t i = 1; i < fds.size(); ++i)
      if (fds[i].revents & POLLIN) {
        char c[1024];
        const ssize_t n = ::recv(fds[i].fd, c, sizeof c, MSG_DONTWAIT);
        if (n > 0) m_sPending.append(c, size_t(n));
      }
  }
  const size_t nEnd = m_sPending.find("~\n");
  if (nEnd == std::string::npos) return "";
  const std::string s = m_sPending.substr(0, nEnd);
  m_sPending.erase(0, nEnd + 2);
  return s;
}

int OpenDescriptorCount() {
  int n = 0;
  if (DIR* p = opendir("/proc/self/fd")) {
    while (readdir(p)) ++n;
    closedir(p);
  }
  return n - 3;  // ".", ".." and the directory's own descriptor
}
