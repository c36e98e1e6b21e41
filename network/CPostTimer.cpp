#include "network/CPostTimer.h"

CPostTimer::~CPostTimer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
  }
  m_cv.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void CPostTimer::FireAt(Clock::time_point tWhen) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bArmed && m_tWhen <= tWhen) return;
    m_bArmed = true;
    m_tWhen = tWhen;
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
  }
  m_cv.notify_all();
}

void CPostTimer::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bStop) {
    if (!m_bArmed) {
      m_cv.wait(lock);
      continue;
    }
    if (Clock::now() < m_tWhen) {
      m_cv.wait_until(lock, m_tWhen);
      continue;
    }
    m_bArmed = false;
    lock.unlock();
    m_fnFire();
    lock.lock();
  }
}
