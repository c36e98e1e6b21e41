#pragma once
// The receive state of one accepted connection: the bytes of one receive and
// the unfinished tail of the stream. A message is a line of text ended by
// "~\n"; messages that straddle receives are reassembled through the leftover.

#include <cstddef>
#include <string>
#include <vector>

class CListeningThreadMemoryBuffer {
 public:
  static constexpr size_t kReceiveSize = 1024;
  static constexpr size_t kMaxLeftover = 64 * 1024;

  // Receives once into the receive buffer; the byte count, 0 at the peer's
  // close, -1 on an error.
  int Receive(int nFd);

  // Adds bytes to the stream and moves every completed message (every "~"
  // removed, empty messages skipped) to saMessages. False when the unfinished
  // tail passed kMaxLeftover: the peer sends bytes that never end a message.
  bool TakeMessages(const char* pBytes, size_t nLength, std::vector<std::string>& saMessages);
  bool TakeReceived(std::vector<std::string>& saMessages);

  const std::string& Leftover() const { return m_sLeftover; }

 private:
  char m_cReceive[kReceiveSize + 1] = {};
  int m_nReceived = 0;
  std::string m_sLeftover;
  std::string m_sWork;
};
