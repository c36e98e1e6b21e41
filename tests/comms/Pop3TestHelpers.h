#pragma once
// Servers for the mail check tests, all on loopback: a real dovecot POP3
// server with a private configuration, and a scripted server that answers
// each command as a test case says (a hostile server).

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comms/CEmailCheck.h"
#include "tests/common/TestCommon.h"

// dovecot with one mailbox per user, plain text allowed on loopback; with
// bTls a certificate for "localhost" and 127.0.0.1 (signed by CaFile()), STLS
// on Port() and TLS from the start on TlsPort().
class CDovecotServer {
 public:
  explicit CDovecotServer(const std::map<std::string, std::string>& users, bool bTls = false);
  ~CDovecotServer();
  bool Started() const { return m_nPid > 0; }
  int Port() const { return m_nPort; }
  int TlsPort() const { return m_nTlsPort; }
  std::string CaFile() const { return m_dir.File("ca.pem"); }
  // A message file in the user's maildir ("new"), its text with LF line ends.
  void AddMessage(const std::string& sUser, const std::string& sName, const std::string& sText);
  // Message files left in the user's maildir (new and cur).
  int MessageCount(const std::string& sUser) const;

 private:
  CScratchFolder m_dir;
  int m_nPid = -1;
  int m_nPort = 0;
  int m_nTlsPort = 0;
  unsigned m_nUid = 0, m_nGid = 0;
};

// One scripted connection as the server sees it.
class CScriptedPeer {
 public:
  explicit CScriptedPeer(int nFd) : m_nFd(nFd) {}
  bool Send(const std::string& s);  // false once the client is gone
  void SendByteByByte(const std::string& s);
  // The close that ends the session is abortive (RST).
  void Reset();

 private:
  int m_nFd;
};

// Answers one command line ("" for the greeting); false ends the session.
using Pop3Script = std::function<bool(CScriptedPeer& peer, const std::string& sCommand)>;

// A mailbox's ordinary answers: greeting, USER, PASS, NOOP, STAT, LIST,
// UIDL, RETR (dot-stuffed), QUIT; CAPA and anything else get "-ERR".
bool MailboxAnswer(CScriptedPeer& peer, const std::string& sCommand,
                   const std::vector<std::string>& saMessages);
// The message "Subject: Message N" for a scripted mailbox.
std::string NumberedMessage(int n);

class CScriptedPop3Server {
 public:
  explicit CScriptedPop3Server(Pop3Script script);
  ~CScriptedPop3Server();
  int Port() const { return m_nPort; }
  // The commands received so far, in order.
  std::vector<std::string> Commands() const;

 private:
  void Serve();

  Pop3Script m_script;
  int m_nListenFd = -1;
  int m_nPort = 0;
  std::atomic<int> m_nSessionFd{-1};
  std::atomic<bool> m_bStop{false};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_saCommands;
  std::thread m_thread;
};

// A host that queues the check's posts and runs them on the test's thread.
class CTestMailHost : public CMailCheckHost {
 public:
  void PostToUi(std::function<void()> fn) override;
  void SetCheckTitle(const std::string& sTitle) override { m_saTitles.push_back(sTitle); }
  void ListChanged() override { ++m_nListChanges; }
  void SetMainTitle(const std::string& sTitle) override { m_sMainTitle = sTitle; }
  void CheckEnded() override { ++m_nChecksEnded; }
  void DeleteEnded(int nDeleted, int nNotDeleted) override {
    m_nDeleted = nDeleted;
    m_nNotDeleted = nNotDeleted;
    ++m_nDeletesEnded;
  }
  // Runs posts until fn is true (false after a generous deadline).
  bool RunUntil(const std::function<bool()>& fn);
  // Runs the posts waiting now.
  void RunPosted();

  std::vector<std::string> m_saTitles;
  std::string m_sMainTitle = "normal";
  int m_nListChanges = 0, m_nChecksEnded = 0, m_nDeletesEnded = 0;
  int m_nDeleted = -1, m_nNotDeleted = -1;

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_queue;
};

// The account string of a loopback server.
std::string LoopbackAccount(int nPort, const std::string& sUser, const std::string& sPassword,
                            const std::string& sKeys = "");
