#include "network/CListeningThreadMemoryBuffer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

int CListeningThreadMemoryBuffer::Receive(int nFd) {
  do {
    m_nReceived = int(::recv(nFd, m_cReceive, kReceiveSize, 0));
  } while (m_nReceived < 0 && errno == EINTR);
  m_cReceive[m_nReceived > 0 ? m_nReceived : 0] = 0;
  return m_nReceived;
}

bool CListeningThreadMemoryBuffer::TakeReceived(std::vector<std::string>& saMessages) {
  return TakeMessages(m_cReceive, m_nReceived > 0 ? size_t(m_nReceived) : 0, saMessages);
}

bool CListeningThreadMemoryBuffer::TakeMessages(const char* pBytes, size_t nLength,
                                                std::vector<std::string>& saMessages) {
  m_sLeftover.append(pBytes, nLength);
  size_t nStart = 0;
  for (size_t nEnd; (nEnd = m_sLeftover.find("~\n", nStart)) != std::string::npos;
       nStart = nEnd + 2) {
    m_sWork.assign(m_sLeftover, nStart, nEnd - nStart);
    m_sWork.erase(std::remove(m_sWork.begin(), m_sWork.end(), '~'), m_sWork.end());
    if (!m_sWork.empty()) saMessages.push_back(m_sWork);
  }
  m_sLeftover.erase(0, nStart);
  return m_sLeftover.size() <= kMaxLeftover;
}
