#pragma once
// The inbound queue of LAN message texts: reader threads append complete
// messages, the user-interface thread takes them oldest first. The lock is
// held only for one append or take.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CInboundQueue {
 public:
  void Append(const std::string& sText);
  void Append(const std::vector<std::string>& saTexts);
  // Takes at most nMax texts, oldest first.
  std::vector<std::string> Take(size_t nMax);
  // Takes the oldest text; false when the queue is empty.
  bool TakeOne(std::string& sText);
  size_t Size() const;
  // Waits until a text is queued or the time is up; true when one waits.
  bool WaitForText(std::chrono::milliseconds timeout);
  void Clear();

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::string> m_saTexts;
};
