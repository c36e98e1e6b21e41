#include "network/CLanServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "network/LanMessage.h"
#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"
#include "support/CDialogWaitBox.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

namespace {

constexpr int kListenBacklog = 10;
constexpr int kAcceptPollMs = 1000;
constexpr int kAcceptBackoffMs = 100;
constexpr int kStartPollMs = 10;

// An outgoing socket never receives data, so a readable one has seen the
// peer's close or reset: the connection is dead.
bool IsSocketAlive(const SocketPtr& pSocket) {
  if (!pSocket) return false;
  pollfd fd{pSocket->Fd(), POLLIN, 0};
  return poll(&fd, 1, 0) == 0;
}

}  // namespace

void TraceMessage(const char* pWhat, const std::string& sWho, const std::string& sText) {
  if (DiagOn())
    WriteDiagnosticMsg(StrFormat("%s %s %s: %s\n", TraceTime().c_str(), pWhat, sWho.c_str(),
                                 DisplayMessage(sText).c_str()));
}

CLanServer::CLanServer(stLanIdentity identity) : m_identity(std::move(identity)) {}

CLanServer::~CLanServer() { DeleteLanServer(); }

uint16_t CLanServer::ChoosePort(const std::string& sName) const {
  long long nPort = 0;
  if (!m_identity.m_sPortText.empty()) {
    if (ParseInt(m_identity.m_sPortText, nPort) && nPort > 0 && nPort <= 65535)
      return uint16_t(nPort);
    KTRACE("LAN port setting '%s' is not a port number; the derived port is used\n",
           m_identity.m_sPortText.c_str());
  }
  return PortFromName(sName);
}

int CLanServer::OnNewLanServer(CMainFramePoster* pPoster, const std::string& sName,
                               uint8_t nUserNumber, CInboundQueue* pQueue,
                               CDialogWaitBox* pWaitBox) {
  if (m_serverThread.joinable() || m_bRunning) return 0;
  if (m_identity.m_sListenAddress.empty()) {
    m_identity.m_sListenAddress = SelectAdapter("");
    AppSettings().sLanServerAddress = m_identity.m_sListenAddress;
  }
  m_nPort = ChoosePort(sName);
  m_nUserNumber = nUserNumber;
  m_pPoster = pPoster;
  m_pQueue = pQueue;
  SetServerError("");
  if (pWaitBox)
    pWaitBox->ChangeText(StrFormat("Initialize local area network listening function on IP address %s",
                                   m_identity.m_sListenAddress.c_str()));
  m_nWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_bStopping = false;
  // The table is complete before the first message can arrive, so every
  // early greeting finds its peer.
  LoadPeerTable();
  m_serverThread = std::thread(&CLanServer::ServerThread, this);
  // The listener must accept before any peer is greeted: a greeted peer
  // connects back at once.
  if (!WaitForListening(pWaitBox)) return 0;
  m_bRunning = true;
  return GetNetworkUsers(pWaitBox) ? 1 : 0;
}

bool CLanServer::WaitForListening(CDialogWaitBox* pWaitBox) {
  for (;;) {
    std::string sError;
    {
      std::lock_guard<std::mutex> lock(m_serverMutex);
      if (m_pListenSocket) return true;
      sError = m_sServerError;
    }
    if (!sError.empty()) {
      GetResponse(sError, MB_OK);
      return false;
    }
    if (pWaitBox && pWaitBox->TestForAbort()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartPollMs));
  }
}

void CLanServer::SetServerError(const std::string& sError) {
  std::lock_guard<std::mutex> lock(m_serverMutex);
  m_sServerError = sError;
}

std::string CLanServer::ServerError() const {
  std::lock_guard<std::mutex> lock(m_serverMutex);
  return m_sServerError;
}

void CLanServer::ServerThread() {
  const int nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (nFd < 0) {
    SetServerError("Failed to set up server socket, invalid socket");
    return;
  }
  auto pListen = std::make_shared<CSocket>(nFd);
  const int nOn = 1;
  setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(m_nPort);
  const std::string& sAddress = m_identity.m_sListenAddress;
  const bool bAddressOk =
      sAddress.empty() ? (addr.sin_addr.s_addr = htonl(INADDR_ANY), true)
                       : inet_pton(AF_INET, sAddress.c_str(), &addr.sin_addr) == 1;
  if (!bAddressOk) errno = EINVAL;
  if (!bAddressOk || ::bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    SetServerError(StrFormat("Failed to set up server socket, failed to bind %s, port %u, %s",
                             sAddress.c_str(), unsigned(m_nPort), WsaErrorMessage().c_str()));
    return;
  }
  if (::listen(nFd, kListenBacklog) != 0) {
    SetServerError(StrFormat("Failed to set up server socket, failed in 'listen' call, %s",
                             WsaErrorMessage().c_str()));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_serverMutex);
    m_pListenSocket = pListen;
  }
  KTRACE("LAN server listening on %s port %u\n", sAddress.c_str(), unsigned(m_nPort));
  while (!m_bStopping) {
    ReapReaders(false);
    pollfd fds[2] = {{nFd, POLLIN, 0}, {m_nWakeFd, POLLIN, 0}};
    if (poll(fds, 2, kAcceptPollMs) < 0 && errno != EINTR) break;
    if (m_bStopping) break;
    if (fds[0].revents & POLLIN) AcceptOne(nFd);
  }
}

void CLanServer::AcceptOne(int nListenFd) {
  sockaddr_in from{};
  socklen_t nLen = sizeof from;
  const int nFd = accept4(nListenFd, reinterpret_cast<sockaddr*>(&from), &nLen, SOCK_CLOEXEC);
  if (nFd < 0) {
    if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) return;
    // Out of descriptors or memory: wait a little instead of spinning.
    KTRACE("LAN server accept failed: %s\n", WsaErrorMessage().c_str());
    pollfd fd{m_nWakeFd, POLLIN, 0};
    poll(&fd, 1, kAcceptBackoffMs);
    return;
  }
  char cSource[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &from.sin_addr, cSource, sizeof cSource);
  if (ReaderCount() >= kMaxConnections) {
    KTRACE("LAN server refused a connection from %s: too many connections\n", cSource);
    ::close(nFd);
    return;
  }
  CSocket::SetKeepAlive(nFd);
  auto pConn = std::make_unique<stConnection>();
  pConn->m_pSocket = std::make_shared<CSocket>(nFd);
  pConn->m_pBuffer = std::make_unique<CListeningThreadMemoryBuffer>();
  pConn->m_sSourceAddress = cSource;
  std::lock_guard<std::mutex> lock(m_connMutex);
  stConnection* p = pConn.get();
  m_connections.push_back(std::move(pConn));
  p->m_thread = std::thread(&CLanServer::ListenThread, this, p);
}

void CLanServer::ReapReaders(bool bAll) {
  std::list<std::unique_ptr<stConnection>> done;
  {
    std::lock_guard<std::mutex> lock(m_connMutex);
    for (auto it = m_connections.begin(); it != m_connections.end();) {
      if (bAll || (*it)->m_bFinished) {
        if (bAll) (*it)->m_pSocket->Shutdown();
        done.push_back(std::move(*it));
        it = m_connections.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& pConn : done)
    if (pConn->m_thread.joinable()) pConn->m_thread.join();
}

size_t CLanServer::ReaderCount() const {
  std::lock_guard<std::mutex> lock(m_connMutex);
  return size_t(std::count_if(m_connections.begin(), m_connections.end(),
                              [](const auto& p) { return !p->m_bFinished; }));
}

void CLanServer::ListenThread(stConnection* pConn) {
  std::vector<std::string> saTexts;
  while (!m_bStopping) {
    if (pConn->m_pBuffer->Receive(pConn->m_pSocket->Fd()) <= 0) break;
    saTexts.clear();
    const bool bOk = pConn->m_pBuffer->TakeReceived(saTexts);
    HandleReceived(pConn, saTexts);
    if (!bOk) {
      KTRACE("LAN connection from %s sent %zu bytes without a message end: disconnected\n",
             pConn->m_sSourceAddress.c_str(), pConn->m_pBuffer->Leftover().size());
      pConn->m_pSocket->Shutdown();
      break;
    }
  }
  ConnectionEnded(pConn);
  pConn->m_bFinished = true;
}

void CLanServer::HandleReceived(stConnection* pConn, std::vector<std::string>& saTexts) {
  std::vector<std::string> saAccepted;
  for (const auto& sText : saTexts) AcceptText(pConn, sText, saAccepted);
  if (saAccepted.empty() || !m_pQueue) return;
  m_pQueue->Append(saAccepted);
  if (m_pPoster) m_pPoster->PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
}

bool CLanServer::AcceptText(stConnection* pConn, const std::string& sText,
                            std::vector<std::string>& saOut) {
  const std::string& sSource = pConn->m_sSourceAddress;
  TraceMessage("Received from", sSource, sText);
  const stLanTextCheck check = CheckLanText(sText);
  if (check.m_nKind == LAN_TEXT_INVALID) {
    KTRACE("LAN message from %s dropped (%s): %s\n", sSource.c_str(), check.m_sWhy.c_str(),
           sText.c_str());
    return false;
  }
  if (check.m_nKind == LAN_TEXT_PING || check.m_nKind == LAN_TEXT_AUTOTEST) {
    if (!IsFromAnyPeer(sSource)) {
      KTRACE("LAN message from %s dropped (not a listed computer): %s\n", sSource.c_str(),
             sText.c_str());
      return false;
    }
    saOut.push_back(sText);
    return true;
  }
  const bool bLogOn = check.m_nKind == LAN_TEXT_LOG && check.m_sCommand == LOG_ON;
  if (bLogOn && check.m_nUserNumber == m_nUserNumber) {
    RefuseTwin(check.m_sSender, sSource);
    return false;
  }
  std::string sTag;
  {
    std::lock_guard<std::mutex> lock(m_connMutex);
    sTag = pConn->m_sLoggedOnAs;
  }
  const bool bKnown = (sTag.empty() || sTag == check.m_sSender) &&
                      (IsFromPeer(check.m_sSender, sSource) ||
                       (bLogOn && sTag.empty() && LearnPeer(check.m_sSender, sSource)));
  if (!bKnown) {
    KTRACE("LAN message from %s dropped (sender does not match the connection): %s\n",
           sSource.c_str(), sText.c_str());
    return false;
  }
  if (check.m_nKind == LAN_TEXT_LOG) {
    TagConnection(pConn, check.m_sSender, check.m_sCommand, saOut);
    LogOnOrOff(sText);
  }
  saOut.push_back(sText);
  return true;
}

void CLanServer::RefuseTwin(const std::string& sSender, const std::string& sSource) {
  // A second copy with this copy's user number would own the same record
  // keys and lock bytes: it is not taken on. It gets the answer on a
  // connection of its own, so that its duplicate test sees the number.
  KTRACE("LAN log-on of %s from %s refused: it has this copy's user number %u\n", sSender.c_str(),
         sSource.c_str(), unsigned(m_nUserNumber));
  stNetworkName twin;
  twin.m_sName = sSender;
  twin.m_sAddress = sSource;
  SetupSender(twin);
  if (!twin.m_pSocket) return;
  // Sent here on the reader's thread: a twin gets no sender thread of its
  // own, however many names refused log-ons come with.
  const std::string sAnswer = FormatLogOnMessage(ComputerName(), m_nUserNumber, LOG_ON_ACKNOWLEDGE);
  TraceMessage(twin.m_pSocket->SendAll(sAnswer + "~\n") ? "Sent to" : "Not sent to", sSender, sAnswer);
  // Kept open: its end would count at the twin as this copy's log-off, and
  // the twin's duplicate test would no longer see this copy.
  std::lock_guard<std::mutex> lock(m_connMutex);
  m_caRefusedTwins.push_back(twin.m_pSocket);
  if (m_caRefusedTwins.size() > kMaxRefusedTwins) m_caRefusedTwins.pop_front();
}

bool CLanServer::IsFromPeer(const std::string& sSender, const std::string& sSource) {
  std::string sAddress;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    const int nIndex = FindPeerLocked(sSender);
    if (nIndex < 0) return false;
    sAddress = m_caPeers[size_t(nIndex)].m_sAddress;
  }
  if (sAddress.empty() || !IsDottedAddress(sAddress)) sAddress = ResolveName(sSender);
  return !sAddress.empty() && sAddress == sSource;
}

bool CLanServer::IsFromAnyPeer(const std::string& sSource) {
  std::lock_guard<std::mutex> lock(m_peersMutex);
  return std::any_of(m_caPeers.begin(), m_caPeers.end(),
                     [&](const stNetworkName& p) { return p.m_sAddress == sSource; });
}

bool CLanServer::LearnPeer(const std::string& sSender, const std::string& sSource) {
  const std::string& sLocal = m_identity.OwnAddress();
  if (!IsComputerName(sSender) || sSender == m_identity.m_sComputerName || sSource == sLocal ||
      !IsSameSubnet(sLocal, sSource))
    return false;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    // A known name is never moved to another address: the computer of that
    // name may be on line, and its messages would go to the other one.
    if (FindPeerLocked(sSender) >= 0) {
      KTRACE("LAN computer %s at %s not learned: the name is known at another address\n", sSender.c_str(),
             sSource.c_str());
      return false;
    }
    if (m_nLearnedPeers >= kMaxLearnedPeers) {
      KTRACE("LAN computer %s at %s not learned: %zu computers were learned already\n", sSender.c_str(),
             sSource.c_str(), m_nLearnedPeers);
      return false;
    }
    ++m_nLearnedPeers;
    stNetworkName peer;
    peer.m_sName = sSender;
    peer.m_sAddress = sSource;
    m_caPeers.push_back(peer);
  }
  std::lock_guard<std::mutex> lock(m_listFileMutex);
  std::vector<std::string> saLines;
  ReadComputerList(m_identity.m_sComputerListPath, saLines);
  for (const auto& sLine : saLines) {
    std::string sName, sAddress;
    SplitComputerNameAndAddress(sLine, sName, sAddress);
    if (sName == sSender) return true;
  }
  saLines.push_back(sSender + ":" + sSource);
  if (WriteComputerList(m_identity.m_sComputerListPath, saLines))
    KTRACE("LAN computer %s at %s added to the computer list\n", sSender.c_str(), sSource.c_str());
  else
    KTRACE("LAN computer %s at %s learned, but the computer list %s could not be written: %s\n",
           sSender.c_str(), sSource.c_str(), m_identity.m_sComputerListPath.c_str(), std::strerror(errno));
  return true;
}

void CLanServer::TagConnection(stConnection* pConn, const std::string& sSender,
                               const std::string& sCommand, std::vector<std::string>& saOut) {
  std::vector<SocketPtr> stale;
  {
    std::lock_guard<std::mutex> lock(m_connMutex);
    if (sCommand == LOG_OFF) {
      pConn->m_sLoggedOnAs.clear();
      return;
    }
    if (sCommand == LOG_ON)
      for (auto& p : m_connections)
        if (p.get() != pConn && p->m_sLoggedOnAs == sSender) {
          p->m_sLoggedOnAs.clear();
          stale.push_back(p->m_pSocket);
        }
    if (pConn->m_sLoggedOnAs.empty()) pConn->m_sLoggedOnAs = sSender;
  }
  if (stale.empty()) return;
  // The sender started again: whatever its old copy held is gone.
  uint8_t nUser = 255;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    const int nIndex = FindPeerLocked(sSender);
    if (nIndex >= 0) nUser = m_caPeers[size_t(nIndex)].m_nUserNumber;
  }
  const std::string sLogOff = FormatLogOnMessage(sSender, nUser, LOG_OFF);
  KTRACE("LAN computer %s logged on again: its old connection counts as its log-off\n",
         sSender.c_str());
  LogOnOrOff(sLogOff);
  saOut.push_back(sLogOff);
  for (auto& p : stale) p->Shutdown();
}

void CLanServer::ConnectionEnded(stConnection* pConn) {
  if (m_bStopping) return;
  std::string sSender;
  uint8_t nUser = 255;
  int nGeneration = -1;
  {
    std::lock_guard<std::mutex> lock(m_connMutex);
    sSender.swap(pConn->m_sLoggedOnAs);
    for (const auto& p : m_connections)
      if (p.get() != pConn && !p->m_bFinished && p->m_sLoggedOnAs == sSender) sSender.clear();
    if (sSender.empty()) return;
    // Taken while a new connection of the sender can not yet be tagged: a
    // log-on that comes after this point counts as a new generation.
    std::lock_guard<std::mutex> peers(m_peersMutex);
    const int nIndex = FindPeerLocked(sSender);
    if (nIndex >= 0) {
      nUser = m_caPeers[size_t(nIndex)].m_nUserNumber;
      nGeneration = int(m_caPeers[size_t(nIndex)].m_nGeneration);
    }
  }
  const std::string sLogOff = FormatLogOnMessage(sSender, nUser, LOG_OFF);
  if (nGeneration >= 0 && !LogOnOrOff(sLogOff, nGeneration)) {
    KTRACE("LAN connection of %s ended after it logged on again: its new connection stays\n",
           sSender.c_str());
    return;
  }
  KTRACE("LAN connection of %s ended without a log-off: handled as its log-off\n", sSender.c_str());
  if (!m_pQueue) return;
  m_pQueue->Append(sLogOff);
  if (m_pPoster) m_pPoster->PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
}

bool CLanServer::LogOnOrOff(const std::string& sText, int nGeneration) {
  const stLanTextCheck check = CheckLanText(sText);
  if (check.m_nKind != LAN_TEXT_LOG) return false;
  SocketPtr pOld;
  stNetworkName answerOn;
  int nIndex = -1;
  bool bConnectBack = false;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    nIndex = FindPeerLocked(check.m_sSender);
    if (nIndex < 0) return false;
    stNetworkName& peer = m_caPeers[size_t(nIndex)];
    if (nGeneration >= 0 && peer.m_nGeneration != unsigned(nGeneration)) return false;
    if (check.m_sCommand == LOG_ON) ++peer.m_nGeneration;
    peer.m_nUserNumber = uint8_t(check.m_nUserNumber);
    if (check.m_sCommand == LOG_OFF) {
      pOld = std::move(peer.m_pSocket);
      peer.m_nConnected = 0;
    } else if (check.m_sCommand == LOG_ON) {
      // A live connection stays (both copies started together); a dead one
      // is closed before the new one opens.
      if (peer.m_nConnected && IsSocketAlive(peer.m_pSocket)) {
        answerOn = peer;
      } else {
        pOld = std::move(peer.m_pSocket);
        peer.m_nConnected = 0;
        bConnectBack = true;
      }
    }
    RecountLocked();
  }
  pOld.reset();
  if (bConnectBack) {
    ConnectBack(check.m_sSender);
  } else if (answerOn.m_pSocket) {
    DoSend(answerOn.m_pSocket, answerOn.m_sName, FormatLogOnMessage(ComputerName(), m_nUserNumber, LOG_ON_ACKNOWLEDGE),
           nIndex);
  }
  return true;
}

void CLanServer::ConnectBack(const std::string& sName) {
  stNetworkName peer;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    const int nIndex = FindPeerLocked(sName);
    if (nIndex < 0) return;
    peer = m_caPeers[size_t(nIndex)];
  }
  SetupSender(peer);
  int nIndex = -1;
  const SocketPtr pSocket = AdoptConnection(peer, nIndex);
  if (pSocket)
    DoSend(pSocket, sName, FormatLogOnMessage(ComputerName(), m_nUserNumber, LOG_ON_ACKNOWLEDGE), nIndex);
}

SocketPtr CLanServer::AdoptConnection(const stNetworkName& fresh, int& nIndex) {
  SocketPtr pOld, pUse;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    nIndex = FindPeerLocked(fresh.m_sName);
    if (nIndex < 0) return nullptr;
    stNetworkName& stored = m_caPeers[size_t(nIndex)];
    // A live connection that another thread opened meanwhile is kept:
    // closing it would look like this copy's end to the peer.
    if (stored.m_nConnected && IsSocketAlive(stored.m_pSocket)) return stored.m_pSocket;
    stored.m_sError = fresh.m_sError;
    if (fresh.m_nConnected) {
      pOld = std::move(stored.m_pSocket);
      stored.m_pSocket = fresh.m_pSocket;
      stored.m_sAddress = fresh.m_sAddress;
      stored.m_nConnected = 1;
      pUse = fresh.m_pSocket;
    }
    RecountLocked();
  }
  return pUse;
}

void CLanServer::LoadPeerTable() {
  std::vector<std::string> saLines;
  GetNetWorkComputers(saLines, m_identity.m_sComputerListPath, m_identity.m_sComputerName,
                      m_identity.OwnAddress());
  std::lock_guard<std::mutex> lock(m_peersMutex);
  m_caPeers.clear();
  m_nConnectedCount = 0;
  for (const auto& sLine : saLines) {
    stNetworkName peer;
    SplitComputerNameAndAddress(sLine, peer.m_sName, peer.m_sAddress);
    m_caPeers.push_back(peer);
  }
}

bool CLanServer::GetNetworkUsers(CDialogWaitBox* pWaitBox) {
  std::vector<stNetworkName> caPeers;
  for (const auto& peer : GetPeers())
    if (!peer.m_nConnected) caPeers.push_back(peer);  // a connected one greeted this copy first
  // Every computer is tried at once, each on a thread of its own (a name to
  // resolve, a computer that drops packets), while the wait box stays alive.
  std::atomic<size_t> nDone{0};
  std::vector<std::thread> threads;
  for (auto& peer : caPeers)
    threads.emplace_back([this, &peer, &nDone] {
      SetupSender(peer);
      ++nDone;
    });
  bool bAborted = false;
  size_t nShown = caPeers.size();
  while (nDone < caPeers.size() && !bAborted) {
    const size_t nNow = nDone;
    if (pWaitBox && nNow != nShown && nNow < caPeers.size()) {
      nShown = nNow;
      pWaitBox->ChangeText(StrFormat("Test for computer %s on-line", caPeers[nNow].m_sName.c_str()));
    }
    bAborted = pWaitBox && pWaitBox->TestForAbort();
    if (bAborted) Wake();  // the connects still running give up
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartPollMs));
  }
  for (auto& th : threads) th.join();
  if (bAborted) return false;
  const std::string sLogOn = FormatLogOnMessage(ComputerName(), m_nUserNumber, LOG_ON);
  for (auto& peer : caPeers) {
    int nIndex = -1;
    // Greeted only on this copy's own new connection; one the peer's
    // greeting made already carried the answer.
    const SocketPtr pSocket = AdoptConnection(peer, nIndex);
    if (pSocket && pSocket == peer.m_pSocket) DoSend(pSocket, peer.m_sName, sLogOn, nIndex);
  }
  return true;
}

void CLanServer::SetupSender(stNetworkName& peer) {
  peer.m_pSocket.reset();
  peer.m_nConnected = 0;
  std::string sAddress;
  in_addr parsed{};
  if (!peer.m_sAddress.empty() && inet_pton(AF_INET, peer.m_sAddress.c_str(), &parsed) == 1) {
    char c[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &parsed, c, sizeof c);
    if (peer.m_sAddress != c) {
      peer.m_sError = StrFormat("Failed to convert IP address for %s:%s", peer.m_sName.c_str(),
                                peer.m_sAddress.c_str());
      return;
    }
    sAddress = c;
  } else {
    sAddress = ResolveName(peer.m_sName);
    if (sAddress.empty()) {
      peer.m_sError = StrFormat("Failed to get IP address for %s", peer.m_sName.c_str());
      return;
    }
    peer.m_sAddress = sAddress;
  }
  std::string sError;
  peer.m_pSocket = CSocket::Connect(sAddress, m_nPort, m_identity.m_sListenAddress,
                                    kConnectTimeoutMs, m_nWakeFd, sError);
  peer.m_nConnected = peer.m_pSocket ? 1 : 0;
  peer.m_sError = sError;
}

int CLanServer::DoSend(const SocketPtr& pSocket, const std::string& sTo, const std::string& sText,
                       int nIndex) {
  if (!IsSendableText(sText)) {
    KTRACE("LAN message not sent: it holds \"~\" or a line feed\n");
    return 0;
  }
  if (!pSocket) {
    TraceMessage("Not sent to", sTo, sText);
    return 0;
  }
  // The peer's own thread sends: a full or dead connection never holds up
  // the caller (the user-interface thread).
  if (SenderFor(sTo).Post(pSocket, sText, nIndex >= 0)) return 1;
  TraceMessage("Not sent (too many waiting) to", sTo, sText);
  return 0;
}

CPeerSender& CLanServer::SenderFor(const std::string& sTo) {
  std::lock_guard<std::mutex> lock(m_sendersMutex);
  std::unique_ptr<CPeerSender>& pSender = m_senders[sTo];
  if (!pSender)
    pSender = std::make_unique<CPeerSender>(
        [this, sTo](const SocketPtr& pSocket, const std::string& sText, bool bSent, bool bIndexed) {
          Sent(sTo, pSocket, sText, bSent, bIndexed);
        });
  return *pSender;
}

void CLanServer::Sent(const std::string& sTo, const SocketPtr& pSocket, const std::string& sText, bool bSent,
                      bool bIndexed) {
  TraceMessage(bSent ? "Sent to" : "Not sent to", sTo, sText);
  if (bSent || !bIndexed || m_bStopping) return;
  SocketPtr pFailed;
  uint8_t nUser = 255;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    // Only the connection that failed is given up: the entry may hold a newer one.
    const int nIndex = FindPeerLocked(sTo);
    if (nIndex < 0 || m_caPeers[size_t(nIndex)].m_pSocket != pSocket) return;
    pFailed = std::move(m_caPeers[size_t(nIndex)].m_pSocket);
    m_caPeers[size_t(nIndex)].m_nConnected = 0;
    nUser = m_caPeers[size_t(nIndex)].m_nUserNumber;
    RecountLocked();
  }
  // The user-interface thread learns of it as of a log-off (the lock
  // manager's loss is handled there).
  if (!m_pQueue) return;
  m_pQueue->Append(FormatLogOnMessage(sTo, nUser, LOG_OFF));
  if (m_pPoster) m_pPoster->PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
}

void CLanServer::Broadcast(const std::string& sText) {
  for (const auto& peer : GetPeers())
    if (peer.m_nConnected) DoSend(peer.m_pSocket, peer.m_sName, sText, -1);
}

int CLanServer::SendOne(const std::string& sComputer, const std::string& sText) {
  stNetworkName peer;
  int nIndex = -1;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    for (size_t i = 0; i < m_caPeers.size(); ++i)
      if (m_caPeers[i].m_nConnected && m_caPeers[i].m_sName == sComputer) {
        peer = m_caPeers[i];
        nIndex = int(i);
        break;
      }
  }
  return nIndex < 0 ? 0 : DoSend(peer.m_pSocket, sComputer, sText, nIndex);
}

std::vector<stNetworkName> CLanServer::GetPeers() const {
  std::lock_guard<std::mutex> lock(m_peersMutex);
  return m_caPeers;
}

int CLanServer::ConnectedCount() const {
  std::lock_guard<std::mutex> lock(m_peersMutex);
  return m_nConnectedCount;
}

void CLanServer::RecountLocked() {
  m_nConnectedCount = int(std::count_if(m_caPeers.begin(), m_caPeers.end(),
                                        [](const stNetworkName& p) { return p.m_nConnected == 1; }));
}

int CLanServer::FindPeerLocked(const std::string& sName) const {
  for (size_t i = 0; i < m_caPeers.size(); ++i)
    if (m_caPeers[i].m_sName == sName) return int(i);
  return -1;
}

void CLanServer::Wake() {
  if (m_nWakeFd < 0) return;
  const uint64_t nOne = 1;
  [[maybe_unused]] const ssize_t n = ::write(m_nWakeFd, &nOne, sizeof nOne);
}

void CLanServer::DeleteLanServer() {
  if (!m_serverThread.joinable() && m_nWakeFd < 0) return;
  // Stopping first: peers that close their connections on the log-off are
  // not taken for copies that died.
  m_bStopping = true;
  if (m_bRunning) Broadcast(FormatLogOnMessage(ComputerName(), m_nUserNumber, LOG_OFF));
  m_bRunning = false;
  // The senders deliver what waits (the log-off) before the sockets close.
  {
    std::map<std::string, std::unique_ptr<CPeerSender>> senders;
    {
      std::lock_guard<std::mutex> lock(m_sendersMutex);
      senders.swap(m_senders);
    }
  }
  Wake();
  {
    std::lock_guard<std::mutex> lock(m_serverMutex);
    if (m_pListenSocket) m_pListenSocket->Shutdown();
  }
  if (m_serverThread.joinable()) m_serverThread.join();
  ReapReaders(true);
  {
    std::lock_guard<std::mutex> lock(m_connMutex);
    m_caRefusedTwins.clear();
  }
  std::vector<SocketPtr> sockets;
  {
    std::lock_guard<std::mutex> lock(m_peersMutex);
    for (auto& peer : m_caPeers) {
      sockets.push_back(std::move(peer.m_pSocket));
      peer.m_nConnected = 0;
    }
    RecountLocked();
  }
  sockets.clear();
  {
    std::lock_guard<std::mutex> lock(m_serverMutex);
    m_pListenSocket.reset();
  }
  ::close(m_nWakeFd);
  m_nWakeFd = -1;
}
