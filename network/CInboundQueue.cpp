#include "network/CInboundQueue.h"

void CInboundQueue::Append(const std::string& sText) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_saTexts.push_back(sText);
  }
  m_cv.notify_all();
}

void CInboundQueue::Append(const std::vector<std::string>& saTexts) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_saTexts.insert(m_saTexts.end(), saTexts.begin(), saTexts.end());
  }
  m_cv.notify_all();
}

bool CInboundQueue::WaitForText(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_for(lock, timeout, [&] { return !m_saTexts.empty(); });
}

std::vector<std::string> CInboundQueue::Take(size_t nMax) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const size_t n = std::min(nMax, m_saTexts.size());
  std::vector<std::string> saOut(std::make_move_iterator(m_saTexts.begin()),
                                 std::make_move_iterator(m_saTexts.begin() + long(n)));
  m_saTexts.erase(m_saTexts.begin(), m_saTexts.begin() + long(n));
  return saOut;
}

bool CInboundQueue::TakeOne(std::string& sText) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_saTexts.empty()) return false;
  sText = std::move(m_saTexts.front());
  m_saTexts.pop_front();
  return true;
}

size_t CInboundQueue::Size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_saTexts.size();
}

void CInboundQueue::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_saTexts.clear();
}
