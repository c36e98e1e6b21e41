#pragma once
// The program's POP3 client (RFC 1939). One connection logs on to one
// mailbox, reads its statistics, list, IDs and messages, and logs off. Port
// 995 is TLS from the start; on any other port the connection changes to TLS
// with STLS when the server offers it, and stays plain only when the server
// offers nothing else.
//
// Sizes claimed by the server never drive allocations, and every reply is
// capped. After a time-out, an oversize reply or bytes nobody asked for, the
// connection sends QUIT and closes, so one message's text can never be read
// as the reply to the next command. Results: 1 for done, 0 for failed.

#include <cstdint>
#include <map>
#include <string>

#include "comms/CPop3Message.h"
#include "comms/CPop3Socket.h"

// Caps on what one reply may hold.
constexpr size_t kPop3MaxStatusLine = 8 * 1024;
constexpr size_t kPop3MaxListReply = 4 * 1024 * 1024;  // LIST, UIDL, CAPA
constexpr size_t kPop3MaxMessage = 20 * 1024 * 1024;   // RETR, TOP
constexpr size_t kPop3MaxReserve = 64 * 1024;          // reserved up front at most

constexpr int kPop3Port = 110;
constexpr int kPop3TlsPort = 995;

class CPop3Connection {
 public:
  CPop3Connection() = default;
  ~CPop3Connection() { Disconnect(); }
  CPop3Connection(const CPop3Connection&) = delete;
  CPop3Connection& operator=(const CPop3Connection&) = delete;

  void SetLimits(const stPop3Limits& limits) { m_limits = limits; }
  // Certificate authorities to trust instead of the system's (a private CA).
  void SetCaFile(const std::string& sCaFile) { m_sCaFile = sCaFile; }
  // The port that means TLS from the start (995).
  void SetTlsPort(int nPort) { m_nTlsPort = nPort; }

  // Connects, reads the greeting, secures the connection and logs on.
  int Connect(const std::string& sServer, const std::string& sUser, const std::string& sPassword,
              int nPort = kPop3Port);
  // Sends QUIT when the connection is in step, reads the answer and closes.
  // 1 when the answer was good.
  int Disconnect();
  int Noop();
  int Reset();
  int Statistics(int& nCount, long long& nSize);
  int List();
  int UIDL();
  int GetMessageSize(int n, uint32_t& nSize);
  int GetMessageID(int n, std::string& sId);
  // The number the server gives the message with that ID now; 0 when none.
  int FindMessageByID(const std::string& sId);
  int Retrieve(int n, CPop3Message& message);
  int GetMessageHeader(int n, CPop3Message& message);
  int Delete(int n);

  // The text received with the last failure (or the failure's description
  // when nothing was received).
  const std::string& GetLastCommandResponse() const { return m_sLastCommandResponse; }
  int GetLastError() const { return m_nLastError; }
  bool IsConnected() const { return m_bConnected; }
  bool IsSecure() const { return m_socket.IsTls(); }
  int MessageCount() const { return m_nNumberMail; }

 private:
  // Sends one command and reads its reply; the data lines of a multi-line
  // reply (dots unstuffed, each line ending in CR LF) go to pData.
  bool Command(const std::string& sCommand, bool bMultiLine = false, size_t nReserve = 0,
               size_t nCap = kPop3MaxListReply, std::string* pData = nullptr);
  bool ReadReply(bool bMultiLine, size_t nReserve, size_t nCap, std::string* pData);
  // Reads the status line into sIn; its end (the CR LF) goes to nLineEnd.
  bool ReadStatusLine(std::string& sIn, size_t& nLineEnd);
  // The stream can no longer be trusted: QUIT without waiting, then close.
  bool Abandon(int nCode, const std::string& sReceived);
  bool Failed(int nCode, const std::string& sReceived);
  bool StartTls(const std::string& sServer);
  bool EnsureList();
  bool ValidNumber(int n);
  int ReadMessage(const char* pCommand, int n, CPop3Message& message);
  void ClearState();

  CPop3Socket m_socket;
  stPop3Limits m_limits;
  std::string m_sCaFile;
  int m_nTlsPort = kPop3TlsPort;
  bool m_bConnected = false;
  int m_nNumberMail = 0;
  long long m_nTotalSize = 0;
  bool m_bStatRead = false;
  bool m_bListRead = false;
  bool m_bUidlRead = false;
  std::map<int, uint32_t> m_naSizes;       // by message number, from LIST
  std::map<int, std::string> m_saMsgIds;   // by message number, from UIDL
  std::string m_sLastCommandResponse;
  int m_nLastError = 0;
};
