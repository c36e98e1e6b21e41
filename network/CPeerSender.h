#pragma once
// Sends the messages for one peer on a thread of its own, in the order they
// were given, so that a peer whose connection is full or gone holds up only
// this thread (a send can take the socket's send limit), never the caller.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "network/CSocket.h"

class CPeerSender {
 public:
  // Messages waiting for one peer, at most; more are refused.
  static constexpr size_t kMaxWaiting = 1024;
  // Told of every message after its send, on the sender's thread.
  using SentFn = std::function<void(const SocketPtr& pSocket, const std::string& sText, bool bSent,
                                    bool bIndexed)>;

  explicit CPeerSender(SentFn fnSent);
  // Sends what is still waiting, then ends the thread.
  ~CPeerSender();
  CPeerSender(const CPeerSender&) = delete;
  CPeerSender& operator=(const CPeerSender&) = delete;

  // Queues the text ("~\n" is added) for pSocket; false when too many wait.
  bool Post(SocketPtr pSocket, std::string sText, bool bIndexed);

 private:
  struct stItem {
    SocketPtr m_pSocket;
    std::string m_sText;
    bool m_bIndexed;
  };
  void Run();

  SentFn m_fnSent;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<stItem> m_items;
  bool m_bStop = false;
  std::thread m_thread;
};
