#pragma once
// The serial port of a modem: opened without becoming the controlling
// terminal and without waiting for carrier, raw 8N1 with a hang-up when it
// is closed, and locked against every other program the usual two ways (a
// UUCP "LCK.." file in the lock folder, which older serial programs honour,
// and flock on the device, which newer ones use). Reads never block; writes
// wait for room with poll() for a bounded time.

#include <chrono>
#include <string>

enum eModemOpen : int {
  MODEM_OPEN_OK = 0,
  MODEM_OPEN_IN_USE = 1,     // another program (or another opener here) holds the port
  MODEM_OPEN_NO_ACCESS = 2,  // permission denied
  MODEM_OPEN_NOT_FOUND = 3,
  MODEM_OPEN_FAILED = 4,  // not a serial device, or another error
};

struct stModemOpen {
  eModemOpen result = MODEM_OPEN_FAILED;
  std::string sMessage;  // a sentence for the user, empty when opened
};

class CModemPort {
 public:
  CModemPort() = default;
  ~CModemPort() { Close(); }
  CModemPort(const CModemPort&) = delete;
  CModemPort& operator=(const CModemPort&) = delete;

  // Opens and locks the device (a symbolic link such as a /dev/serial/by-id
  // name locks the device it names). The lock file goes to sLockFolder; a
  // folder this user cannot write leaves only the flock.
  stModemOpen Open(const std::string& sPath, int nBaud, const std::string& sLockFolder);
  // Writes all bytes, waiting at most nTimeoutMs for room; false on time-out
  // or error.
  bool Write(const std::string& sBytes, int nTimeoutMs);
  // Waits until there is something to read or the time is up; false when
  // the time ran out first.
  bool WaitReadable(std::chrono::steady_clock::time_point end);
  // Appends what can be read now; false when the device went away.
  bool ReadAvailable(std::string& sOut);
  // Waits at most nMs for the written bytes to leave, then discards the
  // rest, drops the line (the modem hangs up) and releases both locks.
  void Close(int nDrainMs = 0);

  int Fd() const { return m_nFd; }
  bool IsOpen() const { return m_nFd >= 0; }

  // "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
  static std::string LockFileName(const std::string& sRealPath);
  // The message for a device this user may not open: names the group that
  // owns it when the user is not in that group.
  static std::string AccessMessage(const std::string& sPath, const std::string& sGroup, bool bMember);
  static std::string InUseMessage(const std::string& sPath, int nHolderPid);

 private:
  // 0 locked (or no lock folder to use), else the live holder's process id
  // (-1 when it cannot be told).
  int TakeLockFile(const std::string& sRealPath, const std::string& sLockFolder);
  stModemOpen SetLine(int nBaud);

  int m_nFd = -1;
  std::string m_sLockFile;  // the lock file this port made, empty when none
};
