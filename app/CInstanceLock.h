#pragma once
// One copy of the program per computer name: an open-file-description write
// lock on "KelvoMutex.<COMPUTER>.lock" in the program folder. The lock dies
// with the process (also by a crash or SIGKILL), and the descriptor is never
// inherited by a program this copy starts.

#include <string>

class CInstanceLock {
 public:
  CInstanceLock() = default;
  ~CInstanceLock();
  CInstanceLock(const CInstanceLock&) = delete;
  CInstanceLock& operator=(const CInstanceLock&) = delete;

  // True when this process now holds the lock (or already held it); false
  // when another copy holds it or the lock file cannot be opened.
  bool Acquire(const std::string& sFolder, const std::string& sComputerName);
  void Release();
  bool Held() const { return m_nFd >= 0; }
  // The error of opening the lock file in the last Acquire; 0 when it opened
  // (a false Acquire then means another copy holds the lock).
  int OpenError() const { return m_nOpenError; }

  static std::string LockFileName(const std::string& sComputerName);

 private:
  int m_nFd = -1;
  int m_nOpenError = 0;
};
