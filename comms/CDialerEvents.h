#pragma once
// The small event seam between the dialer's modem talk and whatever runs
// it. The talk never waits by itself: it asks its host to report when the
// port has bytes and when a timer runs out, and returns at once. The Qt
// dialer implements the host with a socket notifier and timers; the headless
// tool and the tests with a poll() loop (CDialerLoop).

#include <string>

// The dialer's timers: the modem command's time limit and the redial wait.
enum eDialerTimer : int {
  TIMER_MODEM = 1,
  TIMER_REDIAL = 2,
};

class CDialerEvents {
 public:
  virtual ~CDialerEvents() = default;
  // Reports readable bytes on this descriptor from now on; -1 stops reports.
  virtual void WatchPort(int nFd) = 0;
  // Starts (or restarts) the timer to run out once after nMs; a stop makes
  // sure it never runs out.
  virtual void StartTimer(int nTimer, int nMs) = 0;
  virtual void StopTimer(int nTimer) = 0;
  // Appends a line to the status text.
  virtual void DisplayStatus(const std::string& sLine) = 0;
  // Which of the "&Dial" and "Hang up" buttons are shown.
  virtual void ShowButtons(bool bDialShown, bool bHangupShown) = 0;
};

// What the host drives: the dialer's answers to the reports above.
class CDialerDriven {
 public:
  virtual ~CDialerDriven() = default;
  virtual void OnPortReadable() = 0;
  virtual void OnTimer(int nTimer) = 0;
};
