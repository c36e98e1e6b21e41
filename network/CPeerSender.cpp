#include "network/CPeerSender.h"

CPeerSender::CPeerSender(SentFn fnSent) : m_fnSent(std::move(fnSent)), m_thread(&CPeerSender::Run, this) {}

CPeerSender::~CPeerSender() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
  }
  m_cv.notify_one();
  m_thread.join();
}

bool CPeerSender::Post(SocketPtr pSocket, std::string sText, bool bIndexed) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_items.size() >= kMaxWaiting) return false;
    m_items.push_back({std::move(pSocket), std::move(sText), bIndexed});
  }
  m_cv.notify_one();
  return true;
}

void CPeerSender::Run() {
  for (;;) {
    stItem item;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_cv.wait(lock, [this] { return m_bStop || !m_items.empty(); });
      if (m_items.empty()) return;  // stopping, and everything was sent
      item = std::move(m_items.front());
      m_items.pop_front();
    }
    const bool bSent = item.m_pSocket->SendAll(item.m_sText + "~\n");
    m_fnSent(item.m_pSocket, item.m_sText, bSent, item.m_bIndexed);
  }
}
