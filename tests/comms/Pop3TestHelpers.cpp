#include "tests/comms/Pop3TestHelpers.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <grp.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "support/FileUtil.h"
#include "support/StringUtil.h"

extern char** environ;

namespace {

int ListenOnLoopback(int& nPort) {
  const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t nLen = sizeof addr;
  if (bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(nFd, 4) != 0 ||
      getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
    close(nFd);
    return -1;
  }
  nPort = ntohs(addr.sin_port);
  return nFd;
}

int FreePort() {
  int nPort = 0;
  const int nFd = ListenOnLoopback(nPort);
  if (nFd >= 0) close(nFd);
  return nPort;
}

bool CanConnect(int nPort) {
  const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(nPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool bOk = connect(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(nFd);
  return bOk;
}

int CountFiles(const std::string& sFolder) {
  int n = 0;
  if (DIR* p = opendir(sFolder.c_str())) {
    while (dirent* e = readdir(p))
      if (e->d_name[0] != '.') ++n;
    closedir(p);
  }
  return n;
}

}  // namespace

CDovecotServer::CDovecotServer(const std::map<std::string, std::string>& users, bool bTls) {
  const std::string& d = m_dir.Path();
  // dovecot never runs mail processes as root: as root the mailboxes belong
  // to its own user; otherwise everything runs as the test's user.
  const bool bRoot = geteuid() == 0;
  const passwd* pw = bRoot ? getpwnam("dovecot") : getpwuid(geteuid());
  if (!pw) return;
  m_nUid = pw->pw_uid;
  m_nGid = pw->pw_gid;
  const std::string sSelf = pw->pw_name;
  const group* pGroup = getgrgid(pw->pw_gid);
  const std::string sGroup = pGroup ? pGroup->gr_name : sSelf;
  if (chmod(d.c_str(), 0755) != 0) return;  // the mail processes walk down to the mailboxes
  std::string sPasswd;
  for (const auto& [sUser, sPassword] : users) {
    sPasswd += sUser + ":{PLAIN}" + sPassword + "\n";
    for (const char* pSub : {"", "/Maildir", "/Maildir/new", "/Maildir/cur", "/Maildir/tmp"}) {
      const std::string sPath = d + "/home/" + sUser + pSub;
      MakeFolder(d + "/home", 0755);
      MakeFolder(sPath, 0700);
      if (chown(sPath.c_str(), m_nUid, m_nGid) != 0) return;
    }
  }
  WriteFileAtomic(d + "/passwd", sPasswd, 0644);
  m_nPort = FreePort();
  m_nTlsPort = bTls ? FreePort() : 0;
  if (bTls && RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                         "-nodes -days 2 -subj /CN=localhost -addext "
                         "subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" + d +
                         "/key.pem' -out '" + d + "/ca.pem' 2>/dev/null") != 0)
    return;
  std::string sConf = StrFormat(
      "base_dir = %s/run\nstate_dir = %s/state\nlog_path = %s/dovecot.log\n"
      "protocols = pop3\nlisten = 127.0.0.1, 127.0.0.2\ndisable_plaintext_auth = no\n"
      "auth_mechanisms = plain\nfirst_valid_uid = %u\n"
      "default_internal_user = %s\ndefault_internal_group = %s\ndefault_login_user = %s\n"
      "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %s/passwd\n}\n"
      "userdb {\n  driver = static\n  args = uid=%u gid=%u home=%s/home/%%u\n}\n"
      "mail_location = maildir:~/Maildir\n"
      "service anvil {\n  chroot =\n}\n"
      "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    port = %d\n  }\n"
      "  inet_listener pop3s {\n    port = %d\n  }\n}\n",
      d.c_str(), d.c_str(), d.c_str(), m_nUid, bRoot ? "dovecot" : sSelf.c_str(),
      bRoot ? "dovecot" : sGroup.c_str(), bRoot ? "dovenull" : sSelf.c_str(), d.c_str(), m_nUid, m_nGid, d.c_str(), m_nPort,
      m_nTlsPort);
  sConf += bTls ? "ssl = yes\nssl_cert = <" + d + "/ca.pem\nssl_key = <" + d + "/key.pem\n"
                : std::string("ssl = no\n");
  WriteFileAtomic(d + "/dovecot.conf", sConf, 0644);
  const std::string sConfPath = d + "/dovecot.conf";
  const char* argv[] = {"/usr/sbin/dovecot", "-F", "-c", sConfPath.c_str(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return;
  m_nPid = pid;
  for (int i = 0; i < 200 && !CanConnect(m_nPort); ++i) usleep(50000);
}

CDovecotServer::~CDovecotServer() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGTERM);
  int nStatus = 0;
  waitpid(m_nPid, &nStatus, 0);
}

void CDovecotServer::AddMessage(const std::string& sUser, const std::string& sName,
                                const std::string& sText) {
  const std::string sPath = m_dir.Path() + "/home/" + sUser + "/Maildir/new/" + sName;
  WriteFileAtomic(sPath, sText, 0600);
  if (chown(sPath.c_str(), m_nUid, m_nGid) != 0) ADD_FAILURE() << "chown " << sPath;
}

int CDovecotServer::MessageCount(const std::string& sUser) const {
  const std::string sBox = m_dir.Path() + "/home/" + sUser + "/Maildir/";
  return CountFiles(sBox + "new") + CountFiles(sBox + "cur");
}

bool CScriptedPeer::Send(const std::string& s) {
  size_t nDone = 0;
  while (nDone < s.size()) {
    const ssize_t n = ::send(m_nFd, s.data() + nDone, s.size() - nDone, MSG_NOSIGNAL);
    if (n <= 0) return false;
    nDone += size_t(n);
  }
  return true;
}

void CScriptedPeer::SendByteByByte(const std::string& s) {
  const int nOn = 1;
  setsockopt(m_nFd, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
  for (char c : s) {
    if (::send(m_nFd, &c, 1, MSG_NOSIGNAL) != 1) return;
    usleep(200);
  }
}

void CScriptedPeer::Reset() {
  const linger l{1, 0};
  setsockopt(m_nFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

std::string NumberedMessage(int n) {
  return StrFormat("From: sender%d@example.org\r\nSubject: Message %d\r\n\r\nBody of message %d\r\n",
                   n, n, n);
}

bool MailboxAnswer(CScriptedPeer& peer, const std::string& sCommand,
                   const std::vector<std::string>& saMessages) {
  const std::string sVerb = ToUpper(sCommand.substr(0, sCommand.find(' ')));
  long long n = 0;
  const bool bNumber = ParseInt(Trim(sCommand.substr(sVerb.size())), n) && n >= 1 &&
                       n <= (long long)saMessages.size();
  if (sCommand.empty()) {
    peer.Send("+OK scripted\r\n");
  } else if (sVerb == "USER" || sVerb == "PASS" || sVerb == "NOOP") {
    peer.Send("+OK\r\n");
  } else if (sVerb == "STAT") {
    size_t nTotal = 0;
    for (const std::string& s : saMessages) nTotal += s.size();
    peer.Send(StrFormat("+OK %zu %zu\r\n", saMessages.size(), nTotal));
  } else if (sVerb == "LIST" || sVerb == "UIDL") {
    std::string s = "+OK\r\n";
    for (size_t i = 0; i < saMessages.size(); ++i)
      s += sVerb == "LIST" ? StrFormat("%zu %zu\r\n", i + 1, saMessages[i].size())
                           : StrFormat("%zu uid-%zu\r\n", i + 1, i + 1);
    peer.Send(s + ".\r\n");
  } else if (sVerb == "RETR" && bNumber) {
    peer.Send("+OK\r\n" + saMessages[size_t(n - 1)] + ".\r\n");
  } else if (sVerb == "QUIT") {
    peer.Send("+OK bye\r\n");
    return false;
  } else {
    peer.Send("-ERR not here\r\n");
  }
  return true;
}

CScriptedPop3Server::CScriptedPop3Server(Pop3Script script) : m_script(std::move(script)) {
  m_nListenFd = ListenOnLoopback(m_nPort);
  m_thread = std::thread([this] { Serve(); });
}

CScriptedPop3Server::~CScriptedPop3Server() {
  m_bStop = true;
  shutdown(m_nListenFd, SHUT_RDWR);
  const int nFd = m_nSessionFd.load();
  if (nFd >= 0) shutdown(nFd, SHUT_RDWR);
  m_thread.join();
  close(m_nListenFd);
}

std::vector<std::string> CScriptedPop3Server::Commands() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_saCommands;
}

void CScriptedPop3Server::Serve() {
  while (!m_bStop) {
    const int nFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (nFd < 0) return;
    m_nSessionFd = nFd;
    CScriptedPeer peer(nFd);
    std::string sIn;
    bool bGoOn = m_script(peer, "");
    while (bGoOn && !m_bStop) {
      const size_t nEnd = sIn.find("\r\n");
      if (nEnd == std::string::npos) {
        char c[4096];
        const ssize_t n = recv(nFd, c, sizeof c, 0);
        if (n <= 0) break;
        sIn.append(c, size_t(n));
        continue;
      }
      const std::string sCommand = sIn.substr(0, nEnd);
      sIn.erase(0, nEnd + 2);
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_saCommands.push_back(sCommand);
      }
      bGoOn = m_script(peer, sCommand);
    }
    m_nSessionFd = -1;
    close(nFd);
  }
}

void CTestMailHost::PostToUi(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queue.push_back(std::move(fn));
  m_cv.notify_one();
}

void CTestMailHost::RunPosted() {
  std::deque<std::function<void()>> queue;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    queue.swap(m_queue);
  }
  for (auto& fn : queue) fn();
}

bool CTestMailHost::RunUntil(const std::function<bool()>& fn) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!fn()) {
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (!m_cv.wait_until(lock, deadline, [this] { return !m_queue.empty(); })) return false;
    }
    RunPosted();
  }
  return true;
}

std::string LoopbackAccount(int nPort, const std::string& sUser, const std::string& sPassword,
                            const std::string& sKeys) {
  std::string s = StrFormat("127.0.0.1:%d`%s`%s", nPort, sUser.c_str(), sPassword.c_str());
  return sKeys.empty() ? s : s + "`" + sKeys;
}
