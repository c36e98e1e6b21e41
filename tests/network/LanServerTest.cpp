// The LAN messenger between copies, with several servers on loopback
// addresses of one test process, raw sockets for framed and forged input, and
// forked processes for copies that die.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <memory>
#include <thread>

#include "LanTestHelpers.h"
#include "common/TestCommon.h"
#include "network/CLanServer.h"
#include "network/LanMessage.h"
#include "network/NetworkHelpers.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

// One in-process copy: its server, inbound queue and poster.
struct stCopy {
  stLanIdentity m_identity;
  CInboundQueue m_queue;
  CQueuedPoster m_poster;
  std::unique_ptr<CLanServer> m_pServer;
  std::vector<std::string> m_saSeen;

  int Start(int nUser) {
    m_pServer = std::make_unique<CLanServer>(m_identity);
    return m_pServer->OnNewLanServer(&m_poster, "HOST.ROOT.DBM", uint8_t(nUser), &m_queue, nullptr);
  }
  // Everything queued so far, in arrival order.
  const std::vector<std::string>& Seen() {
    for (auto& s : m_queue.Take(1000)) m_saSeen.push_back(s);
    return m_saSeen;
  }
  int Count(const std::string& sText) {
    const auto& s = Seen();
    return int(std::count(s.begin(), s.end(), sText));
  }
  bool Saw(const std::string& sText) { return Count(sText) > 0; }
  stNetworkName Peer(const std::string& sName) const {
    for (const auto& p : m_pServer->GetPeers())
      if (p.m_sName == sName) return p;
    return {};
  }
  bool Knows(const std::string& sName, int nUser) const {
    const stNetworkName p = Peer(sName);
    return p.m_nConnected == 1 && p.m_nUserNumber == nUser;
  }
};

class LanServerTest : public ::testing::Test {
 protected:
  // Copy n is "PCn" at address n of the range, with its own list file.
  stCopy& Copy(int n, const std::vector<int>& naList) {
    auto& p = m_copies[n];
    p = std::make_unique<stCopy>();
    const std::string sList = m_folder.File(StrFormat("Kelvo%d.usr", n));
    WriteList(sList, m_range, naList);
    p->m_identity = MakeIdentity(m_range, n, sList);
    return *p;
  }
  std::string Address(int n) const { return m_range.Address(n); }

  CTestUi m_ui;
  CScratchFolder m_folder;
  CLoopbackRange m_range;
  std::map<int, std::unique_ptr<stCopy>> m_copies;
};

}  // namespace

TEST_F(LanServerTest, LogOnAndLogOffBetweenThreeCopies) {
  stCopy& a = Copy(2, {2, 3, 4});
  stCopy& b = Copy(3, {2, 3, 4});
  stCopy& c = Copy(4, {2, 3, 4});
  ASSERT_EQ(a.Start(2), 1);
  EXPECT_EQ(a.m_pServer->Port(), std::stoi(m_range.Port()));
  // Nobody else runs yet: both peers stay in the table, off line, unknown.
  ASSERT_EQ(a.m_pServer->GetPeers().size(), 2u);
  EXPECT_EQ(a.Peer("PC3").m_nConnected, 0);
  EXPECT_EQ(a.Peer("PC3").m_nUserNumber, 255);
  EXPECT_EQ(a.Peer("PC3").Socket(), -1);
  EXPECT_EQ(a.Peer("PC3").m_sError, "Error 10061:Connection refused");
  EXPECT_EQ(a.m_pServer->ConnectedCount(), 0);

  ASSERT_EQ(b.Start(3), 1);
  ASSERT_TRUE(WaitUntil([&] { return a.Knows("PC3", 3) && b.Knows("PC2", 2); }));
  ASSERT_EQ(c.Start(4), 1);
  ASSERT_TRUE(WaitUntil([&] {
    return a.Knows("PC4", 4) && b.Knows("PC4", 4) && c.Knows("PC2", 2) && c.Knows("PC3", 3);
  }));
  for (auto* p : {&a, &b, &c}) EXPECT_EQ(p->m_pServer->ConnectedCount(), 2);
  EXPECT_TRUE(a.Saw("PC3:3:LOG_ON"));
  EXPECT_TRUE(a.Saw("PC4:4:LOG_ON"));
  EXPECT_TRUE(b.Saw("PC2:2:LOG_ON_ACKNOWLEDGE"));
  EXPECT_TRUE(b.Saw("PC4:4:LOG_ON"));
  EXPECT_TRUE(WaitUntil([&] {
    return c.Saw("PC2:2:LOG_ON_ACKNOWLEDGE") && c.Saw("PC3:3:LOG_ON_ACKNOWLEDGE");
  }));
  EXPECT_GE(a.m_poster.PostCount(MAINFRAME_MESSAGES_WAITING), 1);

  b.m_pServer->DeleteLanServer();
  EXPECT_EQ(b.m_pServer->ReaderCount(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return a.Saw("PC3:3:LOG_OFF") && c.Saw("PC3:3:LOG_OFF"); }));
  EXPECT_EQ(a.m_pServer->ConnectedCount(), 1);
  EXPECT_EQ(a.Peer("PC3").m_nConnected, 0);
  EXPECT_EQ(a.Peer("PC3").Socket(), -1);
  // The closed connection after the log-off is not a second log-off.
  ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 1; }));
  EXPECT_EQ(a.Count("PC3:3:LOG_OFF"), 1);
}

TEST_F(LanServerTest, SendOneAndBroadcastReachTheirPeers) {
  stCopy& a = Copy(2, {3});
  stCopy& b = Copy(3, {2});
  ASSERT_EQ(a.Start(2), 1);
  ASSERT_EQ(b.Start(3), 1);
  ASSERT_TRUE(WaitUntil([&] { return a.Knows("PC3", 3) && b.Knows("PC2", 2); }));
  EXPECT_EQ(a.m_pServer->SendOne("PC3", "TEST_PING"), 1);
  EXPECT_EQ(a.m_pServer->SendOne("NOBODY", "TEST_PING"), 0);
  EXPECT_EQ(a.m_pServer->SendOne("PC3", "bad~text"), 0);
  b.m_pServer->Broadcast("PC3:M:3:6:77:1");
  ASSERT_TRUE(WaitUntil([&] { return b.Saw("TEST_PING") && a.Saw("PC3:M:3:6:77:1"); }));
  EXPECT_EQ(a.m_pServer->ConnectedCount(), 1);
}

TEST_F(LanServerTest, FailedBroadcastKeepsThePeerAndFailedSendOneDropsIt) {
  // PC5 is a bare listener that accepts the greeting and then goes away.
  const int nListen = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(std::stoi(m_range.Port())));
  inet_pton(AF_INET, Address(5).c_str(), &addr.sin_addr);
  ASSERT_EQ(bind(nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(nListen, 4), 0);
  stCopy& a = Copy(2, {5});
  ASSERT_EQ(a.Start(2), 1);
  ASSERT_EQ(a.Peer("PC5").m_nConnected, 1);
  const int nAccepted = accept(nListen, nullptr, nullptr);
  ASSERT_GE(nAccepted, 0);
  close(nAccepted);
  close(nListen);
  for (int i = 0; i < 20; ++i) a.m_pServer->Broadcast("TEST_PING");
  EXPECT_EQ(a.Peer("PC5").m_nConnected, 1);
  // The peer's sender finds the connection gone; from then on SendOne fails.
  EXPECT_TRUE(WaitUntil([&] { return a.m_pServer->SendOne("PC5", "TEST_PING") == 0; }));
  EXPECT_EQ(a.Peer("PC5").m_nConnected, 0);
  EXPECT_EQ(a.Peer("PC5").Socket(), -1);
  EXPECT_EQ(a.m_pServer->ConnectedCount(), 0);
}

TEST_F(LanServerTest, FramedInputFromAListedPeerIsQueuedExactly) {
  stCopy& a = Copy(2, {3});
  ASSERT_EQ(a.Start(2), 1);
  const std::string sStream =
      "PC3:L:3:6:-1:1~\nPC3:M:3:254:1024:2~\nhello~\nPC3:L:3:99:1:3~\nPC4:L:4:6:1:4~\n"
      "PC3:u:3:6:-1:5~\nPC3:L:3~\n";
  {
    CRawClient peer(Address(3), Address(2), m_range.Port());
    ASSERT_TRUE(peer.Connected());
    // One byte per send at first, so receives end at every position, also
    // between "~" and the line feed.
    for (size_t i = 0; i < 40; ++i) {
      ASSERT_TRUE(peer.Send(sStream.substr(i, 1)));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(peer.Send(sStream.substr(40)));
  }
  ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 0; }));
  EXPECT_EQ(a.Seen(), (std::vector<std::string>{"PC3:L:3:6:-1:1", "PC3:M:3:254:1024:2",
                                                "PC3:u:3:6:-1:5"}));
  // Nothing logged on over that connection, so its end is no log-off.
}

TEST_F(LanServerTest, ForgedMessagesFromAnUnlistedAddressChangeNothing) {
  stCopy& a = Copy(2, {3});
  stCopy& b = Copy(3, {2});
  ASSERT_EQ(a.Start(2), 1);
  ASSERT_EQ(b.Start(3), 1);
  ASSERT_TRUE(WaitUntil([&] { return a.Knows("PC3", 3); }));
  a.Seen();
  const size_t nBefore = a.m_saSeen.size();
  {
    CRawClient forger(Address(9), Address(2), m_range.Port());
    ASSERT_TRUE(forger.Connected());
    ASSERT_TRUE(forger.Send("PC3:l:3:6:-1:1~\nPC3:u:3:6:-1:2~\nPC3:3:LOG_OFF~\nTEST_PING~\n"
                            "PC3:M:3:6:5:3~\nPC9:9:LOG_OFF~\n"));
  }
  ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 1; }));
  EXPECT_EQ(a.Seen().size(), nBefore);
  EXPECT_TRUE(a.Knows("PC3", 3));
  EXPECT_EQ(a.m_pServer->ConnectedCount(), 1);
  EXPECT_EQ(a.m_pServer->GetPeers().size(), 1u);
}

TEST_F(LanServerTest, EndlessBytesWithoutMessageEndDisconnect) {
  stCopy& a = Copy(2, {3});
  ASSERT_EQ(a.Start(2), 1);
  CRawClient peer(Address(3), Address(2), m_range.Port());
  ASSERT_TRUE(peer.Connected());
  const std::string sChunk(4096, 'x');
  for (int i = 0; i < 20; ++i) peer.Send(sChunk);
  EXPECT_TRUE(peer.WaitForClose());
  ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 0; }));
  EXPECT_TRUE(a.Seen().empty());
}

TEST_F(LanServerTest, AConnectionThatEndsWithoutLogOffCountsAsItsLogOff) {
  stCopy& a = Copy(2, {3});
  ASSERT_EQ(a.Start(2), 1);
  {
    CRawClient peer(Address(3), Address(2), m_range.Port());
    ASSERT_TRUE(peer.Send("PC3:3:LOG_ON~\n"));
    ASSERT_TRUE(WaitUntil([&] { return a.Saw("PC3:3:LOG_ON"); }));
    // Nothing listens at PC3, so the connect-back failed.
    EXPECT_EQ(a.Peer("PC3").m_nUserNumber, 3);
    EXPECT_EQ(a.Peer("PC3").m_nConnected, 0);
    EXPECT_EQ(a.Peer("PC3").m_sError, "Error 10061:Connection refused");
  }
  ASSERT_TRUE(WaitUntil([&] { return a.Saw("PC3:3:LOG_OFF"); }));
  EXPECT_EQ(a.Seen(), (std::vector<std::string>{"PC3:3:LOG_ON", "PC3:3:LOG_OFF"}));
}

TEST_F(LanServerTest, TheSameNameLoggingOnAgainEndsItsOldConnection) {
  stCopy& a = Copy(2, {3});
  ASSERT_EQ(a.Start(2), 1);
  CRawClient oldCopy(Address(3), Address(2), m_range.Port());
  ASSERT_TRUE(oldCopy.Send("PC3:3:LOG_ON~\n"));
  ASSERT_TRUE(WaitUntil([&] { return a.Saw("PC3:3:LOG_ON"); }));
  CRawClient newCopy(Address(3), Address(2), m_range.Port());
  ASSERT_TRUE(newCopy.Send("PC3:3:LOG_ON~\n"));
  EXPECT_TRUE(oldCopy.WaitForClose());
  ASSERT_TRUE(WaitUntil([&] { return a.Count("PC3:3:LOG_ON") == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 1; }));
  EXPECT_EQ(a.Seen(), (std::vector<std::string>{"PC3:3:LOG_ON", "PC3:3:LOG_OFF", "PC3:3:LOG_ON"}));
  // A message claiming another sender over the new copy's connection is dropped.
  ASSERT_TRUE(newCopy.Send("PC9:M:9:6:1:1~\nPC3:M:3:6:1:2~\n"));
  ASSERT_TRUE(WaitUntil([&] { return a.Saw("PC3:M:3:6:1:2"); }));
  EXPECT_EQ(a.Seen().size(), 4u);
}

TEST_F(LanServerTest, AnUnlistedComputerOfTheSubnetIsLearnt) {
  stCopy& a = Copy(2, {});
  stCopy& b = Copy(3, {2});
  ASSERT_EQ(a.Start(2), 1);
  EXPECT_TRUE(a.m_pServer->GetPeers().empty());
  ASSERT_EQ(b.Start(3), 1);
  ASSERT_TRUE(WaitUntil([&] { return a.Knows("PC3", 3) && b.Knows("PC2", 2); }));
  std::vector<std::string> saList;
  ASSERT_TRUE(ReadComputerList(a.m_identity.m_sComputerListPath, saList));
  EXPECT_EQ(saList, (std::vector<std::string>{"PC3:" + Address(3)}));
}

TEST_F(LanServerTest, ABusyPortIsReportedAndStartFails) {
  stCopy& a = Copy(2, {});
  ASSERT_EQ(a.Start(2), 1);
  stCopy& twin = Copy(7, {});
  twin.m_identity.m_sListenAddress = Address(2);
  EXPECT_EQ(twin.Start(7), 0);
  EXPECT_TRUE(m_ui.SawText(StrFormat(
      "Failed to set up server socket, failed to bind %s, port %s, Error 10048:Address already "
      "in use (protocol/IP address/port)",
      Address(2).c_str(), m_range.Port().c_str())));
  twin.m_pServer->DeleteLanServer();
}

TEST_F(LanServerTest, APeerThatNeverAnswersCannotStallStartOrStop) {
  // A listener whose queue is full: connects to it hang until their limit.
  const int nListen = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(std::stoi(m_range.Port())));
  inet_pton(AF_INET, Address(5).c_str(), &addr.sin_addr);
  ASSERT_EQ(bind(nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(nListen, 0), 0);
  // With a backlog of 0 the first connection fills the queue.
  CRawClient filler(Address(20), Address(5), m_range.Port());
  ASSERT_TRUE(filler.Connected());

  stCopy& a = Copy(2, {5});
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(a.Start(2), 1);
  const double dStart =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(a.Peer("PC5").m_nConnected, 0);
  EXPECT_EQ(a.Peer("PC5").m_sError, "Error 10060:Connection timed out");
  EXPECT_LT(dStart, 10.0);

  // PC5 greets; the connect-back hangs in the reader until the stop wakes it.
  CRawClient greeter(Address(5), Address(2), m_range.Port());
  ASSERT_TRUE(greeter.Send("PC5:5:LOG_ON~\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto stop = std::chrono::steady_clock::now();
  a.m_pServer->DeleteLanServer();
  const double dStop = std::chrono::duration<double>(std::chrono::steady_clock::now() - stop).count();
  EXPECT_LT(dStop, 2.0);
  EXPECT_EQ(a.m_pServer->ReaderCount(), 0u);
  close(nListen);
}

TEST_F(LanServerTest, StartAndStopLeakNoDescriptors) {
  stCopy& a = Copy(2, {3, 4});
  stCopy& b = Copy(3, {2, 4});
  stCopy& c = Copy(4, {2, 3});
  const int nBefore = OpenDescriptorCount();
  for (int nRound = 0; nRound < 3; ++nRound) {
    ASSERT_EQ(a.Start(2), 1);
    ASSERT_EQ(b.Start(3), 1);
    ASSERT_EQ(c.Start(4), 1);
    ASSERT_TRUE(WaitUntil([&] {
      return a.m_pServer->ConnectedCount() == 2 && b.m_pServer->ConnectedCount() == 2 &&
             c.m_pServer->ConnectedCount() == 2;
    }));
    for (auto* p : {&b, &a, &c}) p->m_pServer.reset();
  }
  EXPECT_EQ(OpenDescriptorCount(), nBefore);
}

TEST_F(LanServerTest, AKilledCopyGoesOffLineAndBroadcastsToItSurvive) {
  stCopy& a = Copy(2, {3});
  const std::string sListB = m_folder.File("KelvoB.usr");
  WriteList(sListB, m_range, {2});
  const stLanIdentity idB = MakeIdentity(m_range, 3, sListB);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    CInboundQueue queue;
    CQueuedPoster poster;
    CLanServer server(idB);
    if (!server.OnNewLanServer(&poster, "HOST.ROOT.DBM", 3, &queue, nullptr)) _exit(1);
    for (;;) pause();
  }
  ASSERT_EQ(a.Start(2), 1);
  ASSERT_TRUE(WaitUntil([&] { return a.Knows("PC3", 3); }));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(WaitUntil([&] { return a.Saw("PC3:3:LOG_OFF"); }));
  EXPECT_EQ(a.Peer("PC3").m_nConnected, 0);
  for (int i = 0; i < 10; ++i) a.m_pServer->Broadcast("TEST_PING");
  EXPECT_EQ(a.m_pServer->ConnectedCount(), 0);
}

// Each copy's view of its peers, for failure reports.
std::string Dump(const std::vector<stCopy*>& copies) {
  std::string s;
  for (auto* p : copies) {
    s += p->m_identity.m_sComputerName + " readers " + std::to_string(p->m_pServer->ReaderCount()) + ":";
    for (const auto& peer : p->m_pServer->GetPeers())
      s += StrFormat(" %s(%d,%d,%s)", peer.m_sName.c_str(), peer.m_nConnected,
                     int(peer.m_nUserNumber), peer.m_sError.c_str());
    s += "\n";
  }
  return s;
}

TEST_F(LanServerTest, CopiesStartedTogetherAgreeOnTheirPeers) {
  stCopy& a = Copy(2, {3, 4});
  stCopy& b = Copy(3, {2, 4});
  stCopy& c = Copy(4, {2, 3});
  std::mt19937 gen(20240601);
  const int nBefore = OpenDescriptorCount();
  for (int nRound = 0; nRound < 20; ++nRound) {
    std::vector<std::thread> starters;
    int naResults[3] = {0, 0, 0};
    int n = 0;
    for (auto* p : {&a, &b, &c}) {
      const int nDelay = std::uniform_int_distribution<int>(0, 40)(gen);
      const int nUser = 2 + n;
      int* pResult = &naResults[n++];
      p->m_pServer = std::make_unique<CLanServer>(p->m_identity);
      starters.emplace_back([p, nDelay, nUser, pResult] {
        std::this_thread::sleep_for(std::chrono::milliseconds(nDelay));
        *pResult = p->m_pServer->OnNewLanServer(&p->m_poster, "HOST.ROOT.DBM", uint8_t(nUser),
                                                &p->m_queue, nullptr);
      });
    }
    for (auto& t : starters) t.join();
    for (int r : naResults) ASSERT_EQ(r, 1);
    ASSERT_TRUE(WaitUntil([&] {
      return a.Knows("PC3", 3) && a.Knows("PC4", 4) && b.Knows("PC2", 2) && b.Knows("PC4", 4) &&
             c.Knows("PC2", 2) && c.Knows("PC3", 3);
    })) << "round " << nRound << "\n" << Dump({&a, &b, &c});
    // Every copy reads each other copy on one connection.
    ASSERT_TRUE(WaitUntil([&] {
      return a.m_pServer->ReaderCount() == 2 && b.m_pServer->ReaderCount() == 2 &&
             c.m_pServer->ReaderCount() == 2;
    })) << "round " << nRound;
    std::vector<stCopy*> order = {&a, &b, &c};
    std::shuffle(order.begin(), order.end(), gen);
    for (auto* p : order) p->m_pServer.reset();
    for (auto* p : order) p->m_queue.Clear();
  }
  EXPECT_EQ(OpenDescriptorCount(), nBefore);
}

// Computers learned from their log-on are capped: the 256th and later ones
// are refused, however many addresses greet this copy.
TEST_F(LanServerTest, LearnedComputersAreCapped) {
  stCopy& a = Copy(2, {});
  ASSERT_EQ(a.Start(2), 1);
  CLoopbackRange more;
  const size_t nTries = CLanServer::kMaxLearnedPeers + 5;
  for (size_t i = 0; i < nTries; ++i) {
    // One greeting at a time, closed only once it was accepted: every one is read.
    CRawClient greeter(i < 200 ? Address(int(10 + i)) : more.Address(int(i - 190)), Address(2), m_range.Port());
    ASSERT_TRUE(greeter.Send(StrFormat("L%zu:%zu:LOG_ON~\n", i, 10 + i % 200)));
    ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 1; }));
    greeter.Close();
    ASSERT_TRUE(WaitUntil([&] { return a.m_pServer->ReaderCount() == 0; }));
  }
  EXPECT_EQ(a.m_pServer->GetPeers().size(), CLanServer::kMaxLearnedPeers);
  EXPECT_EQ(a.Peer(StrFormat("L%zu", nTries - 1)).m_sName, "");
}
