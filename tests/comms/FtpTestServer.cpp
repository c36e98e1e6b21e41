#include "tests/comms/FtpTestServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
// The first line the child writes: the port it listens on (0 when none came in 15 s).
int ReadPort(int nFd) {
  std::string sLine;
  char c = 0;
  pollfd p{nFd, POLLIN, 0};
  while (poll(&p, 1, 15000) == 1 && read(nFd, &c, 1) == 1 && c != '\n') sLine += c;
  return atoi(sLine.c_str());
}
}  // namespace

CFtpTestServer::CFtpTestServer(int nBytesPerSecond) {
  mkdir(m_home.File("public").c_str(), 0755);
  int aPipe[2];
  if (pipe(aPipe) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, aPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, aPipe[0]);
  const std::string sScript = KELVO_SOURCE_DIR "/tests/comms/ftp_server.py";
  const std::string sRate = std::to_string(nBytesPerSecond);
  const char* argv[] = {"/usr/bin/python3",
                        sScript.c_str(),
                        m_home.Path().c_str(),
                        kUser,
                        kPassword,
                        nBytesPerSecond ? sRate.c_str() : nullptr,
                        nullptr};
  if (posix_spawn(&m_nPid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0) m_nPid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(aPipe[1]);
  if (m_nPid > 0) m_nPort = ReadPort(aPipe[0]);
  close(aPipe[0]);
  EXPECT_GT(m_nPort, 0) << "the FTP server did not start";
}

CFtpTestServer::~CFtpTestServer() { Kill(); }

void CFtpTestServer::Kill() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGKILL);
  int nStatus = 0;
  waitpid(m_nPid, &nStatus, 0);
  m_nPid = -1;
}

stFtpRequest CFtpTestServer::Request(const std::string& sName, const std::string& sLocal,
                                     bool bDownload) const {
  stFtpRequest request;
  request.sLocalPath = sLocal;
  request.sRemoteName = sName;
  request.sRemoteFolder = "public";
  request.bDownload = bDownload;
  request.sServer = "127.0.0.1:" + std::to_string(m_nPort);
  request.sUser = kUser;
  request.sPassword = kPassword;
  request.nTimeoutSeconds = 10;
  return request;
}

CSilentListener::CSilentListener() {
  m_nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t nLen = sizeof a;
  if (bind(m_nFd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(m_nFd, 8) == 0 &&
      getsockname(m_nFd, reinterpret_cast<sockaddr*>(&a), &nLen) == 0)
    m_nPort = ntohs(a.sin_port);
}

CSilentListener::~CSilentListener() { close(m_nFd); }
