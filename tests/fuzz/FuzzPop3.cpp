// POP3 response parsing: the input is everything a server on loopback
// sends; the client logs on and reads the statistics, the list, the IDs,
// a header and a message.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "FuzzSupport.h"
#include "comms/CPop3Connection.h"

namespace {

// The listening socket on 127.0.0.1, made once; its port.
int Listener(uint16_t& nPort) {
  static uint16_t s_nPort = 0;
  static const int s_nFd = [] {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof a;
    if (bind(nFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(nFd, 4) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&a), &nLen) != 0)
      abort();
    s_nPort = ntohs(a.sin_port);
    return nFd;
  }();
  nPort = s_nPort;
  return s_nFd;
}

// Sends the bytes to the one client, ends the stream and waits for its close.
void Serve(int nListen, const uint8_t* pData, size_t nSize) {
  const int nFd = accept(nListen, nullptr, nullptr);
  if (nFd < 0) return;
  for (size_t nDone = 0; nDone < nSize;) {
    const ssize_t n = send(nFd, pData + nDone, nSize - nDone, MSG_NOSIGNAL);
    if (n <= 0) break;
    nDone += size_t(n);
  }
  shutdown(nFd, SHUT_WR);
  char c[4096];
  while (recv(nFd, c, sizeof c, 0) > 0) {
  }
  close(nFd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  uint16_t nPort = 0;
  const int nListen = Listener(nPort);
  std::thread server(Serve, nListen, pData, nSize);
  {
    CPop3Connection pop;
    stPop3Limits limits;
    limits.nConnectMs = 1000;
    limits.nIdleMs = 200;
    pop.SetLimits(limits);
    if (pop.Connect("127.0.0.1", "user", "secret", nPort)) {
      int nCount = 0;
      long long nTotal = 0;
      uint32_t nMsgSize = 0;
      std::string sId;
      CPop3Message header, message;
      pop.Statistics(nCount, nTotal);
      pop.List();
      pop.UIDL();
      pop.GetMessageSize(1, nMsgSize);
      pop.GetMessageID(1, sId);
      pop.GetMessageHeader(1, header);
      pop.Retrieve(1, message);
    }
  }  // closes the connection
  server.join();
  return 0;
}
