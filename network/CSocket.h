#pragma once
// A stream socket owned by reference-counted objects: a descriptor that one
// thread gives up is closed only when no other thread still sends or reads on
// it, so it can never be reused under another thread's send.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class CSocket;
using SocketPtr = std::shared_ptr<CSocket>;

class CSocket {
 public:
  explicit CSocket(int nFd);
  ~CSocket();
  CSocket(const CSocket&) = delete;
  CSocket& operator=(const CSocket&) = delete;

  int Fd() const { return m_nFd; }

  // Sends every byte (looping over short sends) under the socket's send lock;
  // a reset peer gives false, never SIGPIPE. errno tells why on failure.
  bool SendAll(std::string_view sBytes);

  // Ends both directions, which wakes a thread blocked in receive or accept.
  void Shutdown();

  // The dotted address of the other end; empty when unknown.
  std::string PeerAddress() const;

  // Keepalive with a short user time-out, so a dead peer is found.
  static void SetKeepAlive(int nFd);

  // Connects to sAddress:nPort from sSource (any address when empty) with a
  // time limit; a readable nWakeFd ends the wait at once. On failure sError
  // holds the socket error text and the result is null.
  static SocketPtr Connect(const std::string& sAddress, uint16_t nPort, const std::string& sSource,
                           int nTimeoutMs, int nWakeFd, std::string& sError);

 private:
  const int m_nFd;
  std::mutex m_sendMutex;
  std::atomic<bool> m_bShutDown{false};
};
