#pragma once
// The dialer's events for programs without a window: one poll() loop over
// the modem port (and, for the tool, its standard input) and the timers.
// The status lines are kept, and handed to a listener as they come.

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "comms/CDialerEvents.h"

class CDialerLoop : public CDialerEvents {
 public:
  void SetDriven(CDialerDriven* pDriven) { m_pDriven = pDriven; }
  // Called with every status line as it is shown.
  void SetStatusListener(std::function<void(const std::string&)> fn) { m_fnStatus = std::move(fn); }
  // One more descriptor to watch; fn runs when it is readable. -1 for none.
  void WatchExtra(int nFd, std::function<void()> fn);

  // Runs the reports until fnDone says so (checked before every wait) or
  // nMaxMs have passed; true when fnDone ended it.
  bool RunUntil(const std::function<bool()>& fnDone, int nMaxMs);

  const std::vector<std::string>& Statuses() const { return m_saStatus; }
  bool DialShown() const { return m_bDialShown; }
  bool HangupShown() const { return m_bHangupShown; }
  bool TimerRunning(int nTimer) const { return m_timers.count(nTimer) > 0; }

  // CDialerEvents
  void WatchPort(int nFd) override { m_nPortFd = nFd; }
  void StartTimer(int nTimer, int nMs) override;
  void StopTimer(int nTimer) override { m_timers.erase(nTimer); }
  void DisplayStatus(const std::string& sLine) override;
  void ShowButtons(bool bDialShown, bool bHangupShown) override;

 private:
  using Clock = std::chrono::steady_clock;
  // Runs out the first due timer; false when none is due.
  bool RunDueTimer();

  CDialerDriven* m_pDriven = nullptr;
  std::function<void(const std::string&)> m_fnStatus;
  int m_nPortFd = -1;
  int m_nExtraFd = -1;
  std::function<void()> m_fnExtra;
  std::map<int, Clock::time_point> m_timers;
  std::vector<std::string> m_saStatus;
  bool m_bDialShown = true;
  bool m_bHangupShown = false;
};
