#include "comms/CModemPort.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
  const auto n = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return n < 0 ? 0 : int(n);
}

speed_t SpeedOf(int nBaud) {
  static const std::pair<int, speed_t> kSpeeds[] = {{300, B300},       {1200, B1200},     {2400, B2400},
                                                    {4800, B4800},     {9600, B9600},     {19200, B19200},
                                                    {38400, B38400},   {57600, B57600},   {115200, B115200},
                                                    {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& [n, speed] : kSpeeds)
    if (n == nBaud) return speed;
  return B115200;
}

bool ProcessAlive(int nPid) { return nPid > 0 && (kill(nPid, 0) == 0 || errno == EPERM); }

// The process id a lock file names (ASCII, as every program writes it
// today); 0 when it holds none.
int LockFilePid(const std::string& sFile) {
  std::string sText;
  if (!ReadWholeFile(sFile, sText) || sText.size() > 64) return 0;
  long long n = 0;
  return ParseInt(Trim(sText), n) && n > 0 && n <= INT_MAX ? int(n) : 0;
}

bool InGroup(gid_t gid) {
  if (getegid() == gid) return true;
  const int nCount = getgroups(0, nullptr);
  if (nCount <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(nCount));
  const int nGot = getgroups(nCount, groups.data());
  for (int i = 0; i < nGot; ++i)
    if (groups[size_t(i)] == gid) return true;
  return false;
}

std::string NoAccessMessage(const std::string& sPath) {
  struct stat st {};
  if (stat(sPath.c_str(), &st) != 0) return CModemPort::AccessMessage(sPath, "", true);
  const group* pGroup = getgrgid(st.st_gid);
  const std::string sGroup = pGroup ? pGroup->gr_name : std::to_string(st.st_gid);
  return CModemPort::AccessMessage(sPath, sGroup, InGroup(st.st_gid));
}

}  // namespace

std::string CModemPort::LockFileName(const std::string& sRealPath) {
  std::string sName = sRealPath.rfind("/dev/", 0) == 0 ? sRealPath.substr(5) : FileNameOf(sRealPath);
  for (char& c : sName)
    if (c == '/') c = '_';
  return "LCK.." + sName;
}

std::string CModemPort::AccessMessage(const std::string& sPath, const std::string& sGroup, bool bMember) {
  if (bMember || sGroup.empty()) return "You may not use the modem " + sPath + ": permission denied.";
  return "You may not use the modem " + sPath + ": it belongs to the group '" + sGroup +
         "', which your user is not in. Add the user to it (sudo usermod -aG " + sGroup +
         " $USER) and log in again.";
}

std::string CModemPort::InUseMessage(const std::string& sPath, int nHolderPid) {
  if (nHolderPid > 0)
    return "The modem " + sPath + " is held by another program (process " + std::to_string(nHolderPid) + ").";
  return "The modem " + sPath + " is held by another program.";
}

stModemOpen CModemPort::Open(const std::string& sPath, int nBaud, const std::string& sLockFolder) {
  Close();
  stModemOpen out;
  char cReal[PATH_MAX];
  if (!realpath(sPath.c_str(), cReal)) {
    out.result = errno == EACCES ? MODEM_OPEN_NO_ACCESS : MODEM_OPEN_NOT_FOUND;
    out.sMessage =
        out.result == MODEM_OPEN_NO_ACCESS ? NoAccessMessage(sPath) : "The modem " + sPath + " is not there.";
    return out;
  }
  const std::string sReal = cReal;
  // Without O_NOCTTY the port could become this program's terminal; without
  // O_NONBLOCK the open would wait for a carrier that a voice call never has.
  const int nFd = open(sReal.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (nFd < 0) {
    const int nErr = errno;
    out.result = nErr == EACCES || nErr == EPERM   ? MODEM_OPEN_NO_ACCESS
                 : nErr == EBUSY                   ? MODEM_OPEN_IN_USE
                 : nErr == ENOENT || nErr == ENXIO ? MODEM_OPEN_NOT_FOUND
                                                   : MODEM_OPEN_FAILED;
    out.sMessage = out.result == MODEM_OPEN_NO_ACCESS ? NoAccessMessage(sReal)
                   : out.result == MODEM_OPEN_IN_USE
                       ? InUseMessage(sPath, 0)
                       : "The modem " + sPath + " cannot be opened: " + std::strerror(nErr) + ".";
    return out;
  }
  m_nFd = nFd;
  // The lock file first: it names the holder, which the flock cannot.
  if (const int nHolder = TakeLockFile(sReal, sLockFolder); nHolder != 0) {
    Close();
    return {MODEM_OPEN_IN_USE, InUseMessage(sPath, nHolder)};
  }
  if (flock(m_nFd, LOCK_EX | LOCK_NB) != 0) {
    Close();
    return {MODEM_OPEN_IN_USE, InUseMessage(sPath, 0)};
  }
  out = SetLine(nBaud);
  if (out.result != MODEM_OPEN_OK) {
    out.sMessage = "The modem " + sPath + " " + out.sMessage;
    Close();
  }
  return out;
}

int CModemPort::TakeLockFile(const std::string& sRealPath, const std::string& sLockFolder) {
  if (sLockFolder.empty()) return 0;
  const std::string sLock = JoinPath(sLockFolder, LockFileName(sRealPath));
  // The file is written under a name of its own and linked to the lock's
  // name, so nobody ever reads a half-written lock.
  const std::string sTemp = JoinPath(sLockFolder, "LTMP." + std::to_string(getpid()));
  char cPid[16];
  const int nLen = snprintf(cPid, sizeof cPid, "%10d\n", int(getpid()));
  const int nTemp = open(sTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (nTemp < 0) {
    PrintDiagn("Modem lock folder %s not usable (%s); flock only", sLockFolder.c_str(), std::strerror(errno));
    return 0;
  }
  const bool bWritten = write(nTemp, cPid, size_t(nLen)) == nLen;
  close(nTemp);
  int nHolder = 0;
  for (int nTry = 0; bWritten && nTry < 2; ++nTry) {
    if (link(sTemp.c_str(), sLock.c_str()) == 0) {
      m_sLockFile = sLock;
      nHolder = 0;
      break;
    }
    if (errno != EEXIST) break;
    const int nPid = LockFilePid(sLock);
    if (ProcessAlive(nPid)) {
      nHolder = nPid;
      break;
    }
    // A lock left behind by a program that ended.
    PrintDiagn("Modem lock %s of process %d is stale; removed", sLock.c_str(), nPid);
    unlink(sLock.c_str());
    nHolder = -1;
  }
  unlink(sTemp.c_str());
  return nHolder;
}

stModemOpen CModemPort::SetLine(int nBaud) {
  termios tio{};
  if (tcgetattr(m_nFd, &tio) != 0) return {MODEM_OPEN_FAILED, "is not a serial device."};
  cfmakeraw(&tio);
  tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
  // CLOCAL: no carrier is needed to talk to the modem; HUPCL: closing the
  // port drops DTR, which hangs the modem up whatever state it is in.
  tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, SpeedOf(nBaud));
  cfsetospeed(&tio, SpeedOf(nBaud));
  if (tcsetattr(m_nFd, TCSANOW, &tio) != 0)
    return {MODEM_OPEN_FAILED, std::string("cannot be set up: ") + std::strerror(errno) + "."};
  tcflush(m_nFd, TCIOFLUSH);
  return {MODEM_OPEN_OK, ""};
}

bool CModemPort::Write(const std::string& sBytes, int nTimeoutMs) {
  if (m_nFd < 0) return false;
  const auto end = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
  size_t nDone = 0;
  while (nDone < sBytes.size()) {
    const ssize_t n = write(m_nFd, sBytes.data() + nDone, sBytes.size() - nDone);
    if (n > 0) {
      nDone += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    pollfd p{m_nFd, POLLOUT, 0};
    const int nLeft = MsLeft(end);
    if (nLeft == 0 || poll(&p, 1, nLeft) <= 0 || (p.revents & (POLLERR | POLLNVAL))) return false;
  }
  return true;
}

bool CModemPort::WaitReadable(Clock::time_point end) {
  if (m_nFd < 0) return false;
  for (;;) {
    pollfd p{m_nFd, POLLIN, 0};
    const int n = poll(&p, 1, MsLeft(end));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

bool CModemPort::ReadAvailable(std::string& sOut) {
  if (m_nFd < 0) return false;
  char cBuf[512];
  for (;;) {
    const ssize_t n = read(m_nFd, cBuf, sizeof cBuf);
    if (n > 0) {
      sOut.append(cBuf, size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // With VMIN 0 an empty read means "nothing now"; EIO means the device
    // (or the other end of a pseudo-terminal) is gone. Nothing at all while
    // poll said readable is a hang-up, which poll's flags tell.
    if (n < 0 && errno == EAGAIN) return true;
    if (n == 0) {
      pollfd p{m_nFd, POLLIN, 0};
      return !(poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)));
    }
    return false;
  }
}

void CModemPort::Close(int nDrainMs) {
  if (m_nFd >= 0) {
    const auto end = Clock::now() + std::chrono::milliseconds(nDrainMs);
    int nQueued = 0;
    while (MsLeft(end) > 0 && ioctl(m_nFd, TIOCOUTQ, &nQueued) == 0 && nQueued > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // What has not left by now is dropped, so the close never waits for it.
    tcflush(m_nFd, TCIOFLUSH);
    close(m_nFd);
    m_nFd = -1;
  }
  if (!m_sLockFile.empty()) {
    if (LockFilePid(m_sLockFile) == int(getpid())) unlink(m_sLockFile.c_str());
    m_sLockFile.clear();
  }
}
