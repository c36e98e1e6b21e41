#pragma once
// The main window's private message (0x0401, the first user message) as an
// interface: the core posts codes to it from any thread and the main window
// handles them on its own thread. The Qt main frame queues a call onto the
// GUI thread; headless tools and tests use CQueuedPoster and drain it.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

constexpr int WM_KELVO_PRIVATE = 0x0401;

// Codes of the private message.
enum eMainFrameCode : int {
  MAINFRAME_MESSAGES_WAITING = 1,  // LAN messages wait in the inbound queue
  MAINFRAME_CLOSE_DATABASE = 2,    // the lock manager is gone: close the database
  MAINFRAME_AUTO_TEST = 3,         // run one step of the locking self-test
};

class CMainFramePoster {
 public:
  virtual ~CMainFramePoster() = default;
  // Safe from any thread; never blocks for long.
  virtual void PostMainFrameMessage(int nCode) = 0;
};

// A poster that keeps the codes until its owner drains them.
class CQueuedPoster : public CMainFramePoster {
 public:
  void PostMainFrameMessage(int nCode) override;
  // Takes every code posted so far, oldest first.
  std::vector<int> Drain();
  // Waits until a code is posted or the time is up; true when one is waiting.
  bool WaitForPost(std::chrono::milliseconds timeout);
  // Counts posts of one code since the start (drained or not).
  int PostCount(int nCode) const;

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<int> m_naCodes;
  std::vector<int> m_naCounts;
};
