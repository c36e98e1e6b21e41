#pragma once
// Helpers of the LAN tests: a private loopback range per test (127.X.Y.n, so
// tests running at the same time never meet), a free port, identities of
// in-process servers and polling with a generous deadline.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "network/LanSettings.h"

class CLoopbackRange {
 public:
  CLoopbackRange();
  // 127.X.Y.n
  std::string Address(int n) const;
  std::string Port() const { return m_sPort; }

 private:
  int m_nSecond;
  int m_nThird;
  std::string m_sPort;
};

// The identity of copy n of the range: computer "PCn" at address n.
stLanIdentity MakeIdentity(const CLoopbackRange& range, int n, const std::string& sListPath);

// Writes a computer list file with the given copies ("PCn:address").
void WriteList(const std::string& sPath, const CLoopbackRange& range, const std::vector<int>& naCopies);

// Polls fn until it is true or nSeconds passed.
bool WaitUntil(const std::function<bool()>& fn, int nSeconds = 15);

// A raw TCP client bound to a source address, for forged and framed input.
class CRawClient {
 public:
  CRawClient(const std::string& sSource, const std::string& sTo, const std::string& sPort);
  ~CRawClient();
  bool Connected() const { return m_nFd >= 0; }
  bool Send(const std::string& sBytes);
  // True when the other end closed the connection within the deadline.
  bool WaitForClose(int nSeconds = 15);
  void Close();

 private:
  int m_nFd = -1;
};

// A foreign copy made of raw sockets at one address: it listens on the port
// (where a copy it greets connects back) and sends raw bytes on its own
// connection to one copy.
class CRawPeer {
 public:
  CRawPeer(const std::string& sAddress, const std::string& sTo, const std::string& sPort);
  ~CRawPeer();
  bool Listening() const { return m_nListen >= 0; }
  bool Send(const std::string& sBytes) { return m_client.Send(sBytes); }
  // The next message text (without "~\n") that arrived on a connection made
  // to this peer; empty when none came within the deadline.
  std::string NextMessage(int nSeconds = 15);

 private:
  int m_nListen = -1;
  std::vector<int> m_naAccepted;
  std::string m_sPending;
  CRawClient m_client;
};

// Number of open descriptors of this process.
int OpenDescriptorCount();
