#include "comms/CDialerLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

void CDialerLoop::WatchExtra(int nFd, std::function<void()> fn) {
  m_nExtraFd = nFd;
  m_fnExtra = std::move(fn);
}

void CDialerLoop::StartTimer(int nTimer, int nMs) {
  m_timers[nTimer] = Clock::now() + std::chrono::milliseconds(std::max(nMs, 0));
}

void CDialerLoop::DisplayStatus(const std::string& sLine) {
  m_saStatus.push_back(sLine);
  if (m_fnStatus) m_fnStatus(sLine);
}

void CDialerLoop::ShowButtons(bool bDialShown, bool bHangupShown) {
  m_bDialShown = bDialShown;
  m_bHangupShown = bHangupShown;
}

bool CDialerLoop::RunDueTimer() {
  const auto now = Clock::now();
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second > now) continue;
    const int nTimer = it->first;
    m_timers.erase(it);
    if (m_pDriven) m_pDriven->OnTimer(nTimer);
    return true;
  }
  return false;
}

bool CDialerLoop::RunUntil(const std::function<bool()>& fnDone, int nMaxMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(nMaxMs);
  for (;;) {
    if (fnDone()) return true;
    if (RunDueTimer()) continue;
    auto wake = end;
    for (const auto& [nTimer, due] : m_timers) wake = std::min(wake, due);
    const auto now = Clock::now();
    if (now >= end) return false;
    const int nWaitMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count()) + 1;
    pollfd fds[2] = {{m_nPortFd, POLLIN, 0}, {m_nExtraFd, POLLIN, 0}};
    const int nReady = poll(fds, 2, nWaitMs);
    if (nReady < 0 && errno != EINTR) return false;
    if (nReady <= 0) continue;
    // A closed port reports POLLHUP or POLLERR, which the read then tells.
    if (fds[0].fd >= 0 && fds[0].revents && m_pDriven) m_pDriven->OnPortReadable();
    if (fds[1].fd >= 0 && fds[1].revents && m_fnExtra && m_nExtraFd == fds[1].fd) m_fnExtra();
  }
}
