#include "comms/CPop3Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "network/NetworkHelpers.h"
#include "support/Diagnostic.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kChunk = 32768;

int BioFd(BIO* pBio) { return int(reinterpret_cast<intptr_t>(BIO_get_data(pBio))); }

bool WouldBlock(int nErrno) { return nErrno == EAGAIN || nErrno == EWOULDBLOCK || nErrno == EINTR; }

// TLS records go through these instead of OpenSSL's own socket calls, so a
// send to a reset peer uses MSG_NOSIGNAL like every other send.
int BioWrite(BIO* pBio, const char* p, int n) {
  BIO_clear_retry_flags(pBio);
  const ssize_t r = ::send(BioFd(pBio), p, size_t(n), MSG_NOSIGNAL);
  if (r < 0 && WouldBlock(errno)) BIO_set_retry_write(pBio);
  return int(r);
}

int BioRead(BIO* pBio, char* p, int n) {
  BIO_clear_retry_flags(pBio);
  const ssize_t r = ::recv(BioFd(pBio), p, size_t(n), 0);
  if (r < 0 && WouldBlock(errno)) BIO_set_retry_read(pBio);
  return int(r);
}

long BioCtrl(BIO*, int nCmd, long, void*) { return nCmd == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* pBio) {
  BIO_set_init(pBio, 1);
  return 1;
}

BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* pMethod = [] {
    BIO_METHOD* p = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "pop3 socket");
    BIO_meth_set_write(p, BioWrite);
    BIO_meth_set_read(p, BioRead);
    BIO_meth_set_ctrl(p, BioCtrl);
    BIO_meth_set_create(p, BioCreate);
    return p;
  }();
  return pMethod;
}

std::string TlsErrorText() {
  const unsigned long nError = ERR_get_error();
  ERR_clear_error();
  if (nError == 0) return "";
  char c[256] = {};
  ERR_error_string_n(nError, c, sizeof c);
  return c;
}

bool IsAddress(const std::string& sHost) {
  unsigned char a[16];
  return inet_pton(AF_INET, sHost.c_str(), a) == 1 || inet_pton(AF_INET6, sHost.c_str(), a) == 1;
}

}  // namespace

CPop3Socket::CPop3Socket() : m_pCtx(nullptr, SSL_CTX_free), m_pSsl(nullptr, SSL_free) {}

CPop3Socket::~CPop3Socket() { Close(); }

bool CPop3Socket::Fail(int nCode, const std::string& sDetail) {
  m_nLastError = nCode;
  m_sLastError = WsaErrorText(nCode);
  if (!sDetail.empty()) m_sLastError += " (" + sDetail + ")";
  return false;
}

bool CPop3Socket::Connect(const std::string& sHost, uint16_t nPort, const stPop3Limits& limits) {
  Close();
  m_limits = limits;
  int nCode = 0;
  const std::string sAddress = IsDottedAddress(sHost) ? sHost : ResolveName(sHost, &nCode);
  if (sAddress.empty()) return Fail(nCode ? nCode : 11001, sHost);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limits.deadline -
                                                                          Clock::now());
  const int nLimit = int(std::clamp<long long>(left.count(), 0, limits.nConnectMs));
  std::string sError;
  m_pSocket = CSocket::Connect(sAddress, nPort, "", nLimit, limits.nWakeFd, sError);
  if (!m_pSocket) {
    m_nLastError = 10061;
    m_sLastError = sError;
    return false;
  }
  const int nFd = m_pSocket->Fd();
  fcntl(nFd, F_SETFL, fcntl(nFd, F_GETFL) | O_NONBLOCK);
  return true;
}

bool CPop3Socket::WaitFor(short nEvents) {
  for (;;) {
    const auto now = Clock::now();
    long long nLeft = m_limits.nIdleMs;
    if (m_limits.deadline != Clock::time_point::max())
      nLeft = std::min<long long>(
          nLeft, std::chrono::duration_cast<std::chrono::milliseconds>(m_limits.deadline - now)
                     .count());
    if (nLeft <= 0) return Fail(POP3_ERR_TIMEOUT);
    pollfd fds[2] = {{m_pSocket->Fd(), nEvents, 0}, {m_limits.nWakeFd, POLLIN, 0}};
    const int n = ::poll(fds, m_limits.nWakeFd >= 0 ? 2 : 1, int(nLeft));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(WsaCodeFromErrno(errno));
    if (n == 0) return Fail(POP3_ERR_TIMEOUT);
    if (m_limits.nWakeFd >= 0 && (fds[1].revents & POLLIN)) return Fail(POP3_ERR_STOPPED);
    return true;  // ready, or an error the next call reports
  }
}

bool CPop3Socket::WaitForTls(int nResult) {
  const int nSslError = SSL_get_error(m_pSsl.get(), nResult);
  switch (nSslError) {
    case SSL_ERROR_WANT_READ: return WaitFor(POLLIN);
    case SSL_ERROR_WANT_WRITE: return WaitFor(POLLOUT);
    case SSL_ERROR_ZERO_RETURN: return Fail(POP3_ERR_CLOSED);
    case SSL_ERROR_SYSCALL:
      m_bTlsBroken = true;
      ERR_clear_error();
      return Fail(errno && nResult < 0 ? WsaCodeFromErrno(errno) : POP3_ERR_CLOSED);
    default: {
      m_bTlsBroken = true;
      std::string sDetail = TlsErrorText();
      const long nVerify = SSL_get_verify_result(m_pSsl.get());
      if (nVerify != X509_V_OK) sDetail = X509_verify_cert_error_string(nVerify);
      return Fail(POP3_ERR_TLS, sDetail);
    }
  }
}

bool CPop3Socket::StartTls(const std::string& sHost, const std::string& sCaFile) {
  if (!m_pSocket) return Fail(10057);
  m_pCtx.reset(SSL_CTX_new(TLS_client_method()));
  if (!m_pCtx) return Fail(POP3_ERR_TLS, TlsErrorText());
  SSL_CTX_set_min_proto_version(m_pCtx.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(m_pCtx.get(), SSL_VERIFY_PEER, nullptr);
  const int nLoaded = sCaFile.empty()
                          ? SSL_CTX_set_default_verify_paths(m_pCtx.get())
                          : SSL_CTX_load_verify_locations(m_pCtx.get(), sCaFile.c_str(), nullptr);
  if (nLoaded != 1) return Fail(POP3_ERR_TLS, "no certificate authorities: " + TlsErrorText());
  m_pSsl.reset(SSL_new(m_pCtx.get()));
  BIO* pBio = m_pSsl ? BIO_new(SocketBioMethod()) : nullptr;
  if (!pBio) return Fail(POP3_ERR_TLS, TlsErrorText());
  BIO_set_data(pBio, reinterpret_cast<void*>(intptr_t(m_pSocket->Fd())));
  SSL_set_bio(m_pSsl.get(), pBio, pBio);
  // The certificate must name the host the user configured: a DNS name, or
  // an IP address for a server given by its address.
  if (IsAddress(sHost)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl.get()), sHost.c_str());
  } else {
    SSL_set_tlsext_host_name(m_pSsl.get(), sHost.c_str());
    SSL_set1_host(m_pSsl.get(), sHost.c_str());
  }
  for (;;) {
    const int n = SSL_connect(m_pSsl.get());
    if (n == 1) break;
    if (!WaitForTls(n)) {
      KTRACE("POP3 TLS with %s failed: %s\n", sHost.c_str(), m_sLastError.c_str());
      m_pSsl.reset();
      return false;
    }
  }
  KTRACE("POP3 TLS with %s: %s, %s\n", sHost.c_str(), SSL_get_version(m_pSsl.get()),
         SSL_get_cipher_name(m_pSsl.get()));
  return true;
}

bool CPop3Socket::Send(std::string_view sBytes) {
  if (!m_pSocket) return Fail(10057);
  size_t nDone = 0;
  while (nDone < sBytes.size()) {
    const size_t nLeft = sBytes.size() - nDone;
    if (m_pSsl) {
      const int n = SSL_write(m_pSsl.get(), sBytes.data() + nDone, int(std::min(nLeft, kChunk)));
      if (n > 0) {
        nDone += size_t(n);
      } else if (!WaitForTls(n)) {
        return false;
      }
      continue;
    }
    const ssize_t n = ::send(m_pSocket->Fd(), sBytes.data() + nDone, nLeft, MSG_NOSIGNAL);
    if (n > 0) {
      nDone += size_t(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && WouldBlock(errno)) {
      if (!WaitFor(POLLOUT)) return false;
    } else {
      return Fail(WsaCodeFromErrno(errno));
    }
  }
  return true;
}

bool CPop3Socket::Receive(std::string& sBuffer, size_t nMax) {
  if (!m_pSocket) return Fail(10057);
  const size_t nWant = std::min(nMax, kChunk);
  if (nWant == 0) return Fail(POP3_ERR_OVERSIZE);
  const size_t nOld = sBuffer.size();
  sBuffer.resize(nOld + nWant);
  for (;;) {
    if (m_pSsl) {
      // Decrypted bytes may already wait inside TLS, so read before polling.
      const int n = SSL_read(m_pSsl.get(), sBuffer.data() + nOld, int(nWant));
      if (n > 0) {
        sBuffer.resize(nOld + size_t(n));
        return true;
      }
      if (!WaitForTls(n)) break;
      continue;
    }
    const ssize_t n = ::recv(m_pSocket->Fd(), sBuffer.data() + nOld, nWant, 0);
    if (n > 0) {
      sBuffer.resize(nOld + size_t(n));
      return true;
    }
    if (n == 0) {
      Fail(POP3_ERR_CLOSED);
      break;
    }
    if (WouldBlock(errno)) {
      if (errno == EINTR || WaitFor(POLLIN)) continue;
    } else {
      Fail(WsaCodeFromErrno(errno));
    }
    break;
  }
  sBuffer.resize(nOld);
  return false;
}

void CPop3Socket::Close() {
  // One close notice without waiting for the reply; never after a fatal error.
  if (m_pSsl && !m_bTlsBroken) SSL_shutdown(m_pSsl.get());
  m_bTlsBroken = false;
  m_pSsl.reset();
  m_pCtx.reset();
  if (m_pSocket) m_pSocket->Shutdown();
  m_pSocket.reset();
}
