#pragma once
// The lock under which a copy shifts the backup generations of a database
// and renames its new archive into place: an OFD write lock on the byte
// 2^32 + 1 of the database file (beside the presence byte, beyond every data
// location), so two copies that back up at once never shift the same files.
// Only renames happen under it, so a waiting copy waits briefly.

#include <string>

class CRotationLock {
 public:
  static constexpr unsigned long long kRotationByte = (1ULL << 32) + 1;

  // Waits for the lock on the database file sDbPath.
  explicit CRotationLock(const std::string& sDbPath);
  ~CRotationLock();
  CRotationLock(const CRotationLock&) = delete;
  CRotationLock& operator=(const CRotationLock&) = delete;

  // False (errno set) when the file could not be opened or locked.
  bool IsLocked() const { return m_bLocked; }

 private:
  int m_nFd = -1;
  bool m_bLocked = false;
};
