// The LAN coordination where peers fail: waits that end when the lock
// manager goes, peers that may not grant, one-way connections, restarts.
// Real copies on loopback; foreign peers send raw bytes.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "SessionFixture.h"

namespace {

using LanHardening = SessionTest;

}  // namespace

// A copy waiting for the database lock when the lock manager dies: the wait
// is denied at once and the database is closed, whatever the holder does.
TEST_F(LanHardening, ALockWaitEndsWhenTheLockManagerGoes) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  b->Send("holddb 40000");
  ASSERT_TRUE(b->WaitForText("HELD"));
  c->Send("add person Last name=Waiting");
  ASSERT_TRUE(c->WaitForText("WAIT: Database locked by User code 3.")) << testing::PrintToString(c->Seen());
  a->Kill();
  EXPECT_EQ(c->ReadReply(nullptr, 15), "FAIL add") << Transcript(*c);
  EXPECT_TRUE(c->SawText("MESSAGE: Server PC2 off-line. Database must be closed.\\n"));
  EXPECT_TRUE(c->WaitForText("CLOSED", 10)) << Transcript(*c);
}

// The holder of the database lock dies instead: the lock manager clears
// the lock it left in the file, and the waiting copy saves.
TEST_F(LanHardening, ADatabaseLockOfACopyThatDiedIsCleared) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  b->Send("holddb 40000");
  ASSERT_TRUE(b->WaitForText("HELD"));
  c->Send("add person Last name=Waiting");
  ASSERT_TRUE(c->WaitForText("WAIT: Database locked by User code 3.")) << testing::PrintToString(c->Seen());
  b->Kill();
  EXPECT_EQ(c->ReadReply(nullptr, 15).rfind("OK ", 0), 0u) << Transcript(*c);
  EXPECT_EQ(a->Command("add person Last name=After").rfind("OK ", 0), 0u);
  EXPECT_TRUE(ListBecomes(*c, "person", List(*a, "person")));
}

// A foreign peer's lock request: the lock manager grants it, a copy that is
// not the lock manager drops it.
TEST_F(LanHardening, OnlyTheLockManagerGrants) {
  auto a = Start(2, {3, 4});
  auto b = Start(3, {2, 4});
  ASSERT_TRUE(a->IsOpen() && b->IsOpen());
  ASSERT_EQ(b->Command("waitusers 2"), "OK 2");
  const std::string sRequest = "PC4:L:4:6:-1:1~\n";
  {
    CRawPeer peer(m_range.Address(4), m_range.Address(3), m_range.Port());
    ASSERT_TRUE(peer.Listening());
    ASSERT_TRUE(peer.Send("PC4:4:LOG_ON~\n"));
    EXPECT_EQ(peer.NextMessage(), "PC3:3:LOG_ON_ACKNOWLEDGE");
    ASSERT_TRUE(peer.Send(sRequest + "TEST_PING~\n"));
    // The ping is handled after the request, so any grant was sent before it.
    ASSERT_TRUE(b->WaitForText("MESSAGE: Received test ping"));
    EXPECT_EQ(peer.NextMessage(2), "");
  }
  CRawPeer peer(m_range.Address(4), m_range.Address(2), m_range.Port());
  ASSERT_TRUE(peer.Send("PC4:4:LOG_ON~\n"));
  EXPECT_EQ(peer.NextMessage(), "PC2:2:LOG_ON_ACKNOWLEDGE");
  ASSERT_TRUE(peer.Send(sRequest));
  EXPECT_EQ(peer.NextMessage().rfind("PC2:l:2:6:-1:", 0), 0u);
}

// One-way connections: a listed computer that takes the greeting but never
// answers fails the log-on; a log-on with the copy's own number is refused
// (answered, never taken on).
TEST_F(LanHardening, APeerHeardOneWayOnlyIsNoPeer) {
  auto a = Start(2, {3, 4});
  ASSERT_TRUE(a->IsOpen());
  {
    CRawPeer mute(m_range.Address(4), m_range.Address(2), m_range.Port());
    ASSERT_TRUE(mute.Listening());
    auto b = Start(3, {2, 4});
    EXPECT_EQ(b->OpenReply(), "FAIL open");
    EXPECT_TRUE(b->SawText("MESSAGE: Computer PC4 is on line but did not answer the log-on")) << Transcript(*b);
  }
  CRawPeer twin(m_range.Address(4), m_range.Address(2), m_range.Port());
  ASSERT_TRUE(twin.Send("PC4:2:LOG_ON~\n"));
  EXPECT_EQ(twin.NextMessage(), "PC2:2:LOG_ON_ACKNOWLEDGE");
  ASSERT_TRUE(twin.Send("TEST_PING~\n"));
  ASSERT_TRUE(a->WaitForText("MESSAGE: Received test ping"));
  std::vector<std::string> saUsers;
  EXPECT_EQ(a->Command("users", &saUsers), "OK 1");
  EXPECT_NE(std::find(saUsers.begin(), saUsers.end(), "peer PC4 " + m_range.Address(4) + " 0 255"), saUsers.end())
      << testing::PrintToString(saUsers);
}

// Killed and started again at once, several times: the made-up log-off of
// the dead connection never drops the new one.
TEST_F(LanHardening, AFastRestartIsNotDroppedByItsOwnDeath) {
  stThree three;
  ASSERT_TRUE(StartThree(three));
  auto& [a, b, c] = three;
  for (int nRound = 0; nRound < 3; ++nRound) {
    c->Kill();
    c = Start(4, {2, 3});
    ASSERT_TRUE(c->IsOpen()) << c->OpenReply();
    EXPECT_EQ(a->Command("waitusers 3"), "OK 3") << nRound;
    EXPECT_EQ(b->Command("waitusers 3"), "OK 3") << nRound;
    EXPECT_EQ(c->Command("waitusers 3"), "OK 3") << nRound;
  }
}

// A computer not in the list is learned from its log-on only with a proper
// name, and a learned name is never moved to another address.
TEST_F(LanHardening, LearnedPeersNeedAProperNameAndKeepTheirAddress) {
  auto a = Start(2, {3});
  ASSERT_TRUE(a->IsOpen());
  CRawPeer nine(m_range.Address(9), m_range.Address(2), m_range.Port());
  ASSERT_TRUE(nine.Send("A-NAME-OF-SIXTEEN:9:LOG_ON~\nPC9:9:LOG_ON~\n"));
  EXPECT_EQ(nine.NextMessage(), "PC2:2:LOG_ON_ACKNOWLEDGE");
  CRawPeer ten(m_range.Address(10), m_range.Address(2), m_range.Port());
  ASSERT_TRUE(ten.Send("PC9:10:LOG_ON~\nPC10:10:LOG_ON~\n"));
  EXPECT_EQ(ten.NextMessage(), "PC2:2:LOG_ON_ACKNOWLEDGE");
  std::vector<std::string> saUsers;
  EXPECT_EQ(a->Command("waitusers 3"), "OK 3");
  a->Command("users", &saUsers);
  std::vector<std::string> saPeers;
  for (const auto& s : saUsers)
    if (s.rfind("peer ", 0) == 0) saPeers.push_back(s);
  EXPECT_EQ(saPeers, (std::vector<std::string>{"peer PC3 " + m_range.Address(3) + " 0 255",
                                               "peer PC9 " + m_range.Address(9) + " 1 9",
                                               "peer PC10 " + m_range.Address(10) + " 1 10"}));
}

// In diagnostic mode every message sent and received is a line of
// DIAGNOSE_MSG.TXT: log-on, lock request and grant, data-modified notice.
TEST_F(LanHardening, MessageTrafficGoesToTheMessageTrace) {
  m_sExtraConfig = "DIAGNOSTIC|1\n";
  auto a = Start(2, {3});
  auto b = Start(3, {2});
  ASSERT_TRUE(a->IsOpen() && b->IsOpen());
  ASSERT_EQ(a->Command("waitusers 2"), "OK 2");
  const std::string sAdded = b->Command("add person Last name=Traced");
  ASSERT_EQ(sAdded.rfind("OK ", 0), 0u) << sAdded;
  ASSERT_TRUE(ListBecomes(*a, "person", List(*b, "person")));
  for (auto* p : {b.get(), a.get()}) {
    p->Command("quit");
    EXPECT_EQ(p->Finish(), 0);
  }
  std::string sB, sA;
  ASSERT_TRUE(ReadWholeFile(m_folder.File("home3/DIAGNOSE_MSG.TXT"), sB));
  ASSERT_TRUE(ReadWholeFile(m_folder.File("home2/DIAGNOSE_MSG.TXT"), sA));
  const std::string sFromA = "Received from " + m_range.Address(2) + ": ";
  const std::string sFromB = "Received from " + m_range.Address(3) + ": ";
  for (const std::string& s : {std::string(" Sent to PC2: PC3:3:LOG_ON\n"), sFromA + "PC2:2:LOG_ON_ACKNOWLEDGE\n",
                               std::string("PC3:MSG_REQUESTLOCK database"), sFromA + "[PC2#",
                               std::string("PC2:MSG_GRANTLOCK database"), std::string(" Sent to PC2: [PC3#"),
                               std::string("PC3:MSG_DATAMODIFIED"), std::string(" Sent to PC2: PC3:3:LOG_OFF\n")})
    EXPECT_NE(sB.find(s), std::string::npos) << s << "\n" << sB;
  for (const std::string& s : {sFromB + "PC3:3:LOG_ON\n", sFromB + "[PC3#", std::string(" Sent to PC3: [PC2#")})
    EXPECT_NE(sA.find(s), std::string::npos) << s << "\n" << sA;
}

// Names that take the name service long to answer and a listed computer that
// drops packets never hold up the timer: its 100 ms ticks keep their pace.
TEST_F(LanHardening, TheTimerNeverWaitsForTheNetwork) {
  // PC5's listener has a full queue: connects to it hang until their limit.
  const int nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(uint16_t(std::stoi(m_range.Port())));
  inet_pton(AF_INET, m_range.Address(5).c_str(), &at.sin_addr);
  ASSERT_EQ(bind(nListen, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(nListen, 0), 0);
  CRawClient filler(m_range.Address(20), m_range.Address(5), m_range.Port());
  auto a = Start(2, {3});
  auto b = Start(3, {2, 5});
  ASSERT_TRUE(a->IsOpen() && b->IsOpen());
  // Name-only lines, resolved by the name service.
  std::ofstream(m_folder.File("home3/Kelvo.usr"), std::ios::app) << "NOSUCHPC1\nNOSUCHPC2\nNOSUCHPC3\nNOSUCHPC4\n";
  const std::string sGap = b->Command("tickgap 3000");
  ASSERT_EQ(sGap.rfind("OK maxgap=", 0), 0u) << sGap;
  EXPECT_LT(std::stoi(sGap.substr(10)), 300) << sGap;
  close(nListen);
}
