#include "network/CMainFramePoster.h"

void CQueuedPoster::PostMainFrameMessage(int nCode) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_naCodes.push_back(nCode);
    if (nCode >= 0 && nCode < 64) {
      if (m_naCounts.size() <= size_t(nCode)) m_naCounts.resize(size_t(nCode) + 1);
      ++m_naCounts[size_t(nCode)];
    }
  }
  m_cv.notify_all();
}

std::vector<int> CQueuedPoster::Drain() {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<int> naCodes(m_naCodes.begin(), m_naCodes.end());
  m_naCodes.clear();
  return naCodes;
}

bool CQueuedPoster::WaitForPost(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_for(lock, timeout, [this] { return !m_naCodes.empty(); });
}

int CQueuedPoster::PostCount(int nCode) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return (nCode >= 0 && size_t(nCode) < m_naCounts.size()) ? m_naCounts[size_t(nCode)] : 0;
}
