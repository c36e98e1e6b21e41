#pragma once
// The byte stream under a POP3 connection: a TCP connection, optionally
// wrapped in TLS, on a non-blocking descriptor. Every wait is a poll() that
// ends at the idle limit, at the deadline of the whole check, or as soon as
// the wake descriptor becomes readable (the check was stopped). Failures carry
// a Winsock-numbered code and a text, as every socket failure of the program.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "network/CSocket.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// How long one connection may wait.
struct stPop3Limits {
  int nConnectMs = 10000;  // the connect itself
  int nIdleMs = 10000;     // any wait for data; long enough for a server's log-on delay
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  int nWakeFd = -1;  // readable: stop at once
};

// Codes beyond the errno mapping.
enum ePop3SocketCode : int {
  POP3_ERR_STOPPED = 10004,   // the check was stopped
  POP3_ERR_OVERSIZE = 10040,  // a reply longer than its cap
  POP3_ERR_PROTOCOL = 10043,  // a reply that is not "+OK"
  POP3_ERR_TLS = 10053,       // TLS handshake or certificate check failed
  POP3_ERR_CLOSED = 10054,    // the server closed the connection
  POP3_ERR_TIMEOUT = 10060,
};

class CPop3Socket {
 public:
  CPop3Socket();
  ~CPop3Socket();
  CPop3Socket(const CPop3Socket&) = delete;
  CPop3Socket& operator=(const CPop3Socket&) = delete;

  // Resolves sHost (dotted address or name) and connects to nPort.
  bool Connect(const std::string& sHost, uint16_t nPort, const stPop3Limits& limits);
  // TLS over the open connection: the server's certificate must chain to the
  // system CAs (or to sCaFile when given) and name sHost.
  bool StartTls(const std::string& sHost, const std::string& sCaFile);
  // Sends every byte; a reset peer gives false, never SIGPIPE.
  bool Send(std::string_view sBytes);
  // Waits for data and appends what arrived, at most nMax bytes.
  bool Receive(std::string& sBuffer, size_t nMax);
  void Close();

  bool IsOpen() const { return m_pSocket != nullptr; }
  bool IsTls() const { return m_pSsl != nullptr; }
  int LastError() const { return m_nLastError; }
  const std::string& LastErrorText() const { return m_sLastError; }

 private:
  // Waits until the descriptor is ready for nEvents (POLLIN or POLLOUT).
  bool WaitFor(short nEvents);
  // Turns a failed TLS call into a wait (true) or a failure (false).
  bool WaitForTls(int nResult);
  bool Fail(int nCode, const std::string& sDetail = "");

  SocketPtr m_pSocket;
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> m_pCtx;
  std::unique_ptr<SSL, void (*)(SSL*)> m_pSsl;
  bool m_bTlsBroken = false;
  stPop3Limits m_limits;
  int m_nLastError = 0;
  std::string m_sLastError;
};
