#include "network/CSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "network/NetworkHelpers.h"

namespace {

constexpr int kUserTimeoutMs = 10000;
constexpr int kSendTimeoutSec = 3;

// Waits for the non-blocking connect to finish; 0 or an errno value.
int WaitForConnect(int nFd, int nTimeoutMs, int nWakeFd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd fds[2] = {{nFd, POLLOUT, 0}, {nWakeFd, POLLIN, 0}};
    const int n = poll(fds, nWakeFd >= 0 ? 2 : 1, int(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (nWakeFd >= 0 && (fds[1].revents & POLLIN)) return EINTR;
    if (fds[0].revents) {
      int nError = 0;
      socklen_t nLen = sizeof nError;
      if (getsockopt(nFd, SOL_SOCKET, SO_ERROR, &nError, &nLen) != 0) return errno;
      return nError;
    }
  }
}

}  // namespace

CSocket::CSocket(int nFd) : m_nFd(nFd) {}

CSocket::~CSocket() {
  if (m_nFd >= 0) ::close(m_nFd);
}

bool CSocket::SendAll(std::string_view sBytes) {
  std::lock_guard<std::mutex> lock(m_sendMutex);
  size_t nDone = 0;
  while (nDone < sBytes.size()) {
    const ssize_t n = ::send(m_nFd, sBytes.data() + nDone, sBytes.size() - nDone, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    nDone += size_t(n);
  }
  return true;
}

void CSocket::Shutdown() {
  if (!m_bShutDown.exchange(true)) ::shutdown(m_nFd, SHUT_RDWR);
}

std::string CSocket::PeerAddress() const {
  sockaddr_in addr{};
  socklen_t nLen = sizeof addr;
  if (getpeername(m_nFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) return "";
  char c[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &addr.sin_addr, c, sizeof c);
  return c;
}

void CSocket::SetKeepAlive(int nFd) {
  const int nOn = 1, nIdle = 5, nInterval = 2, nCount = 3, nUserTimeout = kUserTimeoutMs;
  setsockopt(nFd, SOL_SOCKET, SO_KEEPALIVE, &nOn, sizeof nOn);
  setsockopt(nFd, IPPROTO_TCP, TCP_KEEPIDLE, &nIdle, sizeof nIdle);
  setsockopt(nFd, IPPROTO_TCP, TCP_KEEPINTVL, &nInterval, sizeof nInterval);
  setsockopt(nFd, IPPROTO_TCP, TCP_KEEPCNT, &nCount, sizeof nCount);
  setsockopt(nFd, IPPROTO_TCP, TCP_USER_TIMEOUT, &nUserTimeout, sizeof nUserTimeout);
  setsockopt(nFd, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
}

SocketPtr CSocket::Connect(const std::string& sAddress, uint16_t nPort, const std::string& sSource,
                           int nTimeoutMs, int nWakeFd, std::string& sError) {
  sockaddr_in to{}, from{};
  if (!FillAddress(sAddress, nPort, to) || !FillAddress(sSource, 0, from)) {
    sError = WsaErrorText(10022);
    return nullptr;
  }
  const int nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (nFd < 0) {
    sError = "Failed to create socket";
    return nullptr;
  }
  auto pSocket = std::make_shared<CSocket>(nFd);
  if (!sSource.empty() && ::bind(nFd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
    sError = WsaErrorMessage();
    return nullptr;
  }
  int nError = 0;
  if (::connect(nFd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
    nError = errno == EINPROGRESS ? WaitForConnect(nFd, nTimeoutMs, nWakeFd) : errno;
  if (nError != 0) {
    sError = WsaErrorText(WsaCodeFromErrno(nError));
    return nullptr;
  }
  const int nFlags = fcntl(nFd, F_GETFL);
  fcntl(nFd, F_SETFL, nFlags & ~O_NONBLOCK);
  const timeval sendLimit{kSendTimeoutSec, 0};
  setsockopt(nFd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  SetKeepAlive(nFd);
  sError.clear();
  return pSocket;
}
