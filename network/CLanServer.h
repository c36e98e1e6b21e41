#pragma once
// The peer-to-peer text messenger between copies that share one database.
// Each copy listens on one port and keeps one outgoing connection to every
// other computer of its computer list; it only sends on the connections it
// opened and only receives on the ones it accepted. A server thread accepts,
// one reader thread per accepted connection reassembles "~\n"-framed
// messages, checks them, applies log-on messages to the peer table and hands
// everything to the user-interface thread through the inbound queue and the
// main window's private message (code 1).

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "network/CInboundQueue.h"
#include "network/CListeningThreadMemoryBuffer.h"
#include "network/CMainFramePoster.h"
#include "network/CPeerSender.h"
#include "network/CSocket.h"
#include "network/LanSettings.h"

class CDialogWaitBox;

// One other computer of the computer list.
struct stNetworkName {
  std::string m_sName;       // computer name, upper case
  std::string m_sAddress;    // dotted IPv4 address; empty: looked up by name
  int m_nConnected = 0;      // 1 while the outgoing connection is usable
  uint8_t m_nUserNumber = 255;  // as the peer announced it; 255 = not known yet
  SocketPtr m_pSocket;       // the outgoing connection, none when not connected
  std::string m_sError;      // last failure in connecting; empty after success
  unsigned m_nGeneration = 0;  // counts the log-ons taken from this peer

  int Socket() const { return m_pSocket ? m_pSocket->Fd() : -1; }
};

// Writes one line of message traffic to DIAGNOSE_MSG.TXT: what happened
// ("Sent to", "Received from"), the other side and the message.
void TraceMessage(const char* pWhat, const std::string& sWho, const std::string& sText);

class CLanServer {
 public:
  static constexpr int kConnectTimeoutMs = 3000;
  static constexpr size_t kMaxConnections = 64;
  // Computers taken into the peer table from their log-on, at most.
  static constexpr size_t kMaxLearnedPeers = 255;

  explicit CLanServer(stLanIdentity identity = CurrentLanIdentity());
  ~CLanServer();
  CLanServer(const CLanServer&) = delete;
  CLanServer& operator=(const CLanServer&) = delete;

  // Listens on the port derived from sName (or the port setting), then
  // greets every computer of the list. 1 when listening, 0 on failure or abort.
  int OnNewLanServer(CMainFramePoster* pPoster, const std::string& sName, uint8_t nUserNumber,
                     CInboundQueue* pQueue, CDialogWaitBox* pWaitBox);
  // Sends the log-off and stops every thread; none outlives this call.
  void DeleteLanServer();

  // Sends to every connected peer, in peer order; failures are not recorded.
  void Broadcast(const std::string& sText);
  // Sends to the first connected peer of that name; 0 when there is none or
  // the send failed (the peer is then off line).
  int SendOne(const std::string& sComputer, const std::string& sText);

  // Applies a log-on, log-on answer, log-off or switch-user text to the peer
  // table. With a generation, only while the peer has not logged on since.
  // False when nothing was applied (unknown sender, or a newer generation).
  bool LogOnOrOff(const std::string& sText, int nGeneration = -1);

  std::vector<stNetworkName> GetPeers() const;
  int ConnectedCount() const;
  bool IsRunning() const { return m_bRunning; }
  const std::string& ComputerName() const { return m_identity.m_sComputerName; }
  const std::string& ListenAddress() const { return m_identity.m_sListenAddress; }
  uint16_t Port() const { return m_nPort; }
  uint8_t UserNumber() const { return m_nUserNumber; }
  std::string ServerError() const;
  // Accepted connections whose reader still runs.
  size_t ReaderCount() const;

 private:
  struct stConnection {
    SocketPtr m_pSocket;
    std::unique_ptr<CListeningThreadMemoryBuffer> m_pBuffer;
    std::string m_sSourceAddress;
    std::string m_sLoggedOnAs;  // sender of the connection's first log-on (m_connMutex)
    std::thread m_thread;
    std::atomic<bool> m_bFinished{false};
  };

  uint16_t ChoosePort(const std::string& sName) const;
  void ServerThread();
  void SetServerError(const std::string& sError);
  bool WaitForListening(CDialogWaitBox* pWaitBox);
  void AcceptOne(int nListenFd);
  void ReapReaders(bool bAll);
  void ListenThread(stConnection* pConn);
  void HandleReceived(stConnection* pConn, std::vector<std::string>& saTexts);
  bool AcceptText(stConnection* pConn, const std::string& sText, std::vector<std::string>& saOut);
  // Answers a log-on that carries this copy's own user number without taking
  // the sender on.
  void RefuseTwin(const std::string& sSender, const std::string& sSource);
  bool IsFromPeer(const std::string& sSender, const std::string& sSource);
  bool IsFromAnyPeer(const std::string& sSource);
  bool LearnPeer(const std::string& sSender, const std::string& sSource);
  void TagConnection(stConnection* pConn, const std::string& sSender, const std::string& sCommand,
                     std::vector<std::string>& saOut);
  void ConnectionEnded(stConnection* pConn);
  void LoadPeerTable();
  // Connects to every listed computer at once and greets it; false when the
  // wait box was aborted.
  bool GetNetworkUsers(CDialogWaitBox* pWaitBox);
  void SetupSender(stNetworkName& peer);
  void ConnectBack(const std::string& sName);
  // Stores a new outgoing connection unless the peer has a live one; the
  // connection to send on (none when neither exists) and the peer's index.
  SocketPtr AdoptConnection(const stNetworkName& fresh, int& nIndex);
  // Queues the text for the peer's sender; an indexed send that fails marks
  // the peer off line. 0 when there is no socket or too much waits.
  int DoSend(const SocketPtr& pSocket, const std::string& sTo, const std::string& sText, int nIndex);
  CPeerSender& SenderFor(const std::string& sTo);
  // After a send, on the peer's sender thread.
  void Sent(const std::string& sTo, const SocketPtr& pSocket, const std::string& sText, bool bSent,
            bool bIndexed);
  void RecountLocked();
  int FindPeerLocked(const std::string& sName) const;
  void Wake();

  stLanIdentity m_identity;
  uint16_t m_nPort = 0;
  uint8_t m_nUserNumber = 0;
  CMainFramePoster* m_pPoster = nullptr;
  CInboundQueue* m_pQueue = nullptr;
  std::atomic<bool> m_bRunning{false};
  std::atomic<bool> m_bStopping{false};
  int m_nWakeFd = -1;

  std::thread m_serverThread;
  mutable std::mutex m_serverMutex;  // listening socket and server error text
  SocketPtr m_pListenSocket;
  std::string m_sServerError;

  mutable std::mutex m_connMutex;
  std::list<std::unique_ptr<stConnection>> m_connections;
  // Connections that answered a twin's log-on (m_connMutex), the newest few.
  static constexpr size_t kMaxRefusedTwins = 8;
  std::deque<SocketPtr> m_caRefusedTwins;

  mutable std::mutex m_peersMutex;
  std::vector<stNetworkName> m_caPeers;
  int m_nConnectedCount = 0;
  size_t m_nLearnedPeers = 0;

  std::mutex m_listFileMutex;

  std::mutex m_sendersMutex;
  std::map<std::string, std::unique_ptr<CPeerSender>> m_senders;  // by peer name
};
