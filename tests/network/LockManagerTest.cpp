// Log-on, the lock manager's choice and its protocol between copies in one
// test process (each with its own engine, server and loopback address), and
// a forked copy that dies holding a lock.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <thread>

#include "LanTestHelpers.h"
#include "common/TestCommon.h"
#include "engine/CDbEngine.h"
#include "network/CLockManager.h"
#include "network/CUserListModel.h"
#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

// The database lies on PC2's share: PC2 is the lock manager.
const std::string kDatabase = "//PC2/share/ROOT.dbm";

// Members in the order their lives nest: the poster outlives the server's
// threads, the engine outlives its link.
struct stCopy {
  CQueuedPoster m_poster;
  CDbEngine m_engine;
  CLockManager m_lan;
  int m_nRefreshRequests = 0;

  void Setup(const stLanIdentity& identity) {
    m_lan.SetIdentity(identity);
    m_lan.SetPoster(&m_poster);
    m_lan.SetRefreshRequest([this] { ++m_nRefreshRequests; });
    std::vector<stUserListEntry> users;
    m_engine.m_nUserNumber = m_lan.InitializeUserList(users);
  }
  int LogOn() { return m_lan.StartLanServer(m_engine, kDatabase); }
  // What the engine's lock wait does around its request.
  void BeginWait(uint8_t nTable, uint32_t nKey) {
    m_engine.RefreshState().BeginLockWait();
    m_lan.ClearReceivedGrants();
    m_lan.SendLockRequest(nTable, nKey);
  }
  void EndWait() { m_engine.RefreshState().EndLockWait(); }
};

class LockManagerTest : public ::testing::Test {
 protected:
  stCopy& Copy(int n, const std::vector<int>& naList) {
    auto& p = m_copies[n];
    p = std::make_unique<stCopy>();
    const std::string sList = m_folder.File(StrFormat("Kelvo%d.usr", n));
    WriteList(sList, m_range, naList);
    p->Setup(MakeIdentity(m_range, n, sList));
    return *p;
  }
  // Copies 2 to nCount + 1, each listing the others, logged on in that
  // order (copy 2 becomes the lock manager) and seen on line by every one.
  void AllOnLine(int nCount) {
    for (int n = 2; n < 2 + nCount; ++n) {
      std::vector<int> naOthers;
      for (int m = 2; m < 2 + nCount; ++m)
        if (m != n) naOthers.push_back(m);
      Copy(n, naOthers);
    }
    for (auto& [n, p] : m_copies) ASSERT_EQ(p->LogOn(), 1) << "copy " << n;
    for (auto& [n, p] : m_copies)
      ASSERT_TRUE(PumpUntil([&] { return p->m_engine.CountOnLine() == unsigned(nCount); }));
  }
  stCopy& Of(int n) { return *m_copies.at(n); }
  // Drains every copy's queue until the condition holds.
  bool PumpUntil(const std::function<bool()>& fn) {
    return WaitUntil([&] {
      for (auto& [n, p] : m_copies) p->m_lan.OnMessage();
      return fn();
    });
  }
  // A whole lock wait of c for (table, key): true when it was granted.
  bool Take(stCopy& c, uint8_t nTable, uint32_t nKey) {
    c.BeginWait(nTable, nKey);
    const bool bGranted = Granted(c);
    c.EndWait();
    return bGranted;
  }
  bool Granted(stCopy& c) {
    return PumpUntil([&] { return !c.m_lan.ReceivedGrants().empty(); }) &&
           c.m_lan.TakeGrantFromLockManager();
  }
  void Settle() {
    // Two rounds of every queue after the other copies went quiet.
    for (int i = 0; i < 20; ++i) {
      for (auto& [n, p] : m_copies) p->m_lan.OnMessage();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  CTestUi m_ui;
  CScratchFolder m_folder;
  CLoopbackRange m_range;
  std::map<int, std::unique_ptr<stCopy>> m_copies;
};

}  // namespace

TEST_F(LockManagerTest, ThreeCopiesLogOnAndFollowEachOther) {
  stCopy& a = Copy(2, {3, 4});
  stCopy& b = Copy(3, {2, 4});
  stCopy& c = Copy(4, {2, 3});
  ASSERT_EQ(a.LogOn(), 1);
  EXPECT_TRUE(a.m_lan.IsThisTheLockManager());
  EXPECT_TRUE(a.m_lan.LockMngrOnLine());
  EXPECT_EQ(a.m_engine.LockManagerLink(), &a.m_lan);
  ASSERT_EQ(b.LogOn(), 1);
  EXPECT_EQ(b.m_lan.LockMngrName(), "PC2");
  EXPECT_FALSE(b.m_lan.IsThisTheLockManager());
  ASSERT_EQ(c.LogOn(), 1);
  ASSERT_TRUE(PumpUntil([&] {
    return a.m_engine.CountOnLine() == 3 && b.m_engine.CountOnLine() == 3 &&
           c.m_engine.CountOnLine() == 3;
  }));
  EXPECT_EQ(b.m_lan.IsOnline("PC4"), 1);
  EXPECT_EQ(b.m_lan.IsOnline(uint8_t(4)), 1);
  EXPECT_EQ(b.m_lan.IsOnline(uint8_t(3)), 1);
  EXPECT_EQ(b.m_lan.IsOnline("PC9"), 0);

  c.m_lan.EndLanServer();
  EXPECT_EQ(c.m_engine.LockManagerLink(), nullptr);
  EXPECT_EQ(c.m_lan.UserNumber(), 0);
  ASSERT_TRUE(PumpUntil([&] {
    return a.m_engine.CountOnLine() == 2 && b.m_engine.CountOnLine() == 2;
  }));
  EXPECT_EQ(b.m_lan.IsOnline("PC4"), 0);
}

TEST_F(LockManagerTest, ADuplicateUserNumberIsRefusedEvenWhenItsAnswerIsLate) {
  stCopy& a = Copy(2, {5});
  ASSERT_EQ(a.LogOn(), 1);
  // PC5 at 127.X.Y.5 answers a log-on only a second later, with user number 5.
  CLoopbackRange other;
  const int nListen = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(std::stoi(m_range.Port())));
  inet_pton(AF_INET, m_range.Address(5).c_str(), &addr.sin_addr);
  ASSERT_EQ(bind(nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(nListen, 4), 0);
  std::unique_ptr<CRawClient> pAnswer;
  std::thread latePeer([&] {
    const int nFd = accept(nListen, nullptr, nullptr);
    std::string sIn;
    char c[256];
    ssize_t n;
    while (sIn.find("LOG_ON~\n") == std::string::npos && (n = recv(nFd, c, sizeof c, 0)) > 0)
      sIn.append(c, size_t(n));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    pAnswer = std::make_unique<CRawClient>(m_range.Address(5), other.Address(5), m_range.Port());
    pAnswer->Send("PC5:5:LOG_ON_ACKNOWLEDGE~\n");
    close(nFd);
  });
  // The twin's address ends in 5 as well, in another part of the loopback range.
  stCopy& twin = Copy(15, {2, 5});
  stLanIdentity id = twin.m_lan.Identity();
  id.m_sComputerName = "PC5B";
  id.m_sHostAddress = id.m_sListenAddress = other.Address(5);
  twin.m_lan.SetIdentity(id);
  std::vector<stUserListEntry> users;
  twin.m_engine.m_nUserNumber = twin.m_lan.InitializeUserList(users);
  ASSERT_EQ(twin.m_engine.m_nUserNumber, 5);
  EXPECT_EQ(twin.LogOn(), 0);
  EXPECT_TRUE(m_ui.SawText("Duplicate user. Abort."));
  latePeer.join();
  close(nListen);
  twin.m_lan.EndLanServer();
}

TEST_F(LockManagerTest, LockManagerAbsentAtLogOn) {
  stCopy& c = Copy(4, {2, 3});
  // Nobody is on line: the question; No means working alone.
  m_ui.QueueAnswer(IDNO);
  ASSERT_EQ(c.LogOn(), 1);
  const std::string sAsked = m_ui.Messages().back();
  EXPECT_EQ(sAsked.rfind("READ THIS CAREFULLY\nAn error (Error 10061:Connection refused) was "
                         "encountered in linking to server computer: PC2.\n", 0),
            0u)
      << sAsked;
  EXPECT_NE(sAsked.find("(1) the computer PC2 is turned on"), std::string::npos);
  EXPECT_FALSE(c.m_lan.LockMngrOnLine());
  // Another copy now finds a user on line but no lock manager: refused.
  stCopy& b = Copy(3, {2, 4});
  EXPECT_EQ(b.LogOn(), 0);
  EXPECT_TRUE(m_ui.SawText(
      "The local area network server PC2 is not on line (does not have the database open)\nbut "
      "another user is on line. Your log-on will be aborted because two users can\nnot share the "
      "database unless the server is on line to coordinate access"));
  b.m_lan.EndLanServer();
  // Yes to the question abandons the log-on.
  c.m_lan.EndLanServer();
  m_ui.QueueAnswer(IDYES);
  stCopy& d = Copy(5, {2});
  EXPECT_EQ(d.LogOn(), 0);
}

TEST_F(LockManagerTest, LockManagerGoesOffLineAndComesBack) {
  stCopy& a = Copy(2, {3, 4});
  stCopy& b = Copy(3, {2, 4});
  ASSERT_EQ(a.LogOn(), 1);
  ASSERT_EQ(b.LogOn(), 1);
  ASSERT_TRUE(PumpUntil([&] { return b.m_engine.CountOnLine() == 2; }));
  // B is alone once PC2 goes: it may keep working.
  m_ui.QueueAnswer(IDNO);
  a.m_lan.EndLanServer();
  ASSERT_TRUE(PumpUntil([&] { return !b.m_lan.LockMngrOnLine(); }));
  EXPECT_TRUE(m_ui.SawText("Server PC2 off-line. Close database?\n"));
  EXPECT_EQ(b.m_poster.PostCount(MAINFRAME_CLOSE_DATABASE), 0);
  ASSERT_EQ(a.LogOn(), 1);
  ASSERT_TRUE(PumpUntil([&] { return b.m_lan.LockMngrOnLine(); }));
  EXPECT_TRUE(m_ui.SawText("Server PC2 coming on-line.\n"));

  // With a third copy on line the database must be closed.
  stCopy& c = Copy(4, {2, 3});
  ASSERT_EQ(c.LogOn(), 1);
  ASSERT_TRUE(PumpUntil([&] { return b.m_engine.CountOnLine() == 3; }));
  a.m_lan.EndLanServer();
  ASSERT_TRUE(PumpUntil([&] {
    return b.m_poster.PostCount(MAINFRAME_CLOSE_DATABASE) == 1 &&
           c.m_poster.PostCount(MAINFRAME_CLOSE_DATABASE) == 1;
  }));
  EXPECT_TRUE(m_ui.SawText("Server PC2 off-line. Database must be closed.\n"));
  EXPECT_FALSE(b.m_lan.LockMngrOnLine());
}

TEST_F(LockManagerTest, TwoCopiesAskForOneRecordAndTheSecondWaitsForTheUnlock) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(3));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  stCopy& c = Of(4);

  ASSERT_TRUE(Take(b, 6, 100));
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC3", 6, 100}}));
  c.BeginWait(6, 100);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  EXPECT_TRUE(c.m_lan.ReceivedGrants().empty());
  EXPECT_TRUE(a.m_lan.IsLockGrantedToOther(6, 100));
  // Another record is granted at once, also while the first is held.
  ASSERT_TRUE(Take(b, 6, 101));
  // A copy asking again for what it holds is granted, nothing more stored.
  ASSERT_TRUE(Take(b, 6, 100));
  EXPECT_EQ(a.m_lan.GrantedLocks().size(), 2u);

  b.m_lan.SendUnlockNotice(6, 100);
  ASSERT_TRUE(Granted(c));
  c.EndWait();
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC3", 6, 101}, {"PC4", 6, 100}}));
  EXPECT_TRUE(a.m_lan.LockRequestQueue().empty());
}

// A writer's unlock notice waits its pause on the timer while the writer
// goes on: the lock manager keeps the lock from the next copy until the
// notice arrives, and a writer that asks again meanwhile is served after
// the copy that asked first. A hold that wrote nothing gives the lock back at
// once, and a notice still held back can be taken back by its own copy.
TEST_F(LockManagerTest, AHeldBackUnlockNoticeServesTheWaitingCopiesInOrder) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(3));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  stCopy& c = Of(4);
  ASSERT_TRUE(Take(b, 6, 100));
  c.BeginWait(6, 100);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  b.m_lan.SendUnlockNotice(6, 100);
  EXPECT_EQ(b.m_lan.HeldBackCount(), 1u);
  b.BeginWait(6, 100);  // B wants the record again before its notice went
  EXPECT_EQ(b.m_lan.HeldBackCount(), 2u);
  EXPECT_FALSE(b.m_lan.TakeBackUnlockNotice(6, 100));  // its request is behind the notice
  // Until the notice arrives the record stays B's: C cannot read under it.
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC3", 6, 100}}));
  EXPECT_TRUE(c.m_lan.ReceivedGrants().empty());
  ASSERT_TRUE(Granted(c));
  c.EndWait();
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC4", 6, 100}}));
  EXPECT_EQ(a.m_lan.LockRequestQueue(), (std::vector<stLockSpec>{{"PC3", 6, 100}}));
  EXPECT_EQ(b.m_lan.HeldBackCount(), 0u);
  EXPECT_TRUE(b.m_lan.ReceivedGrants().empty());
  // C only read: its notice goes at once, and B gets the record.
  c.m_lan.SendUnlockNoticeAfterRead(6, 100);
  EXPECT_EQ(c.m_lan.HeldBackCount(), 0u);
  ASSERT_TRUE(Granted(b));
  b.EndWait();
  // B's next notice, taken back before it went: B still holds the record.
  b.m_lan.SendUnlockNotice(6, 100);
  ASSERT_TRUE(b.m_lan.TakeBackUnlockNotice(6, 100));
  EXPECT_EQ(b.m_lan.HeldBackCount(), 0u);
  for (auto& [n, p] : m_copies) p->m_lan.OnMessage();
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC3", 6, 100}}));
  // The notice that ends the retaken hold goes once the earlier pause is over.
  b.m_lan.SendUnlockNoticeAfterRead(6, 100);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.GrantedLocks().empty(); }));
  EXPECT_EQ(b.m_lan.HeldBackCount(), 0u);
}

TEST_F(LockManagerTest, TheLockManagerLocksForItselfThroughItsOwnQueue) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(2));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  a.BeginWait(255, 0xFFFFFFFF);
  // The request waits in its own queue; one drain takes only what was there.
  EXPECT_EQ(a.m_lan.InboundQueue().Size(), 1u);
  a.m_lan.OnMessage();
  EXPECT_EQ(a.m_lan.InboundQueue().Size(), 1u);  // the grant, for the next drain
  a.m_lan.OnMessage();
  ASSERT_EQ(a.m_lan.ReceivedGrants().size(), 1u);
  EXPECT_EQ(a.m_lan.ReceivedGrants()[0], (stLockSpec{"PC2", 255, 0xFFFFFFFF}));
  EXPECT_TRUE(a.m_lan.TakeGrantFromLockManager());
  a.EndWait();
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC2", 255, 0xFFFFFFFF}}));
  // B's request for the database lock waits, and gets it at A's unlock.
  b.BeginWait(255, 0xFFFFFFFF);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  a.m_lan.SendUnlockNotice(255, 0xFFFFFFFF);
  ASSERT_TRUE(Granted(b));
  b.EndWait();
}

TEST_F(LockManagerTest, EveryFreeQueuedRequestIsGrantedAtAnUnlock) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(4));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  stCopy& c = Of(4);
  stCopy& d = Of(5);
  for (uint32_t nKey : {1u, 2u, 3u}) {
    ASSERT_TRUE(Take(a, 6, nKey));
  }
  b.BeginWait(6, 1);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  c.BeginWait(6, 2);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 2; }));
  d.BeginWait(6, 3);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 3; }));
  // Only the youngest of the three becomes free: it is granted at once.
  a.m_lan.SendUnlockNotice(6, 3);
  ASSERT_TRUE(Granted(d));
  EXPECT_EQ(a.m_lan.LockRequestQueue(), (std::vector<stLockSpec>{{"PC3", 6, 1}, {"PC4", 6, 2}}));
  EXPECT_FALSE(b.m_lan.TakeGrantFromLockManager());
}

TEST_F(LockManagerTest, AbandonedWaitsAndStrayGrantsGiveTheLockBack) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(3));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  stCopy& c = Of(4);
  ASSERT_TRUE(Take(a, 8, 7));
  // B gives up while queued: its request leaves the queue.
  b.BeginWait(8, 7);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  b.EndWait();
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().empty(); }));
  // C is granted while it gives up: the late grant is handed back.
  c.BeginWait(8, 7);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  c.EndWait();
  a.m_lan.SendUnlockNotice(8, 7);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.GrantedLocks().empty() && a.m_lan.LockRequestQueue().empty(); }));
  Settle();
  EXPECT_TRUE(a.m_lan.GrantedLocks().empty());
  EXPECT_FALSE(c.m_lan.TakeGrantFromLockManager());
  // A grant nobody asked for is refused at once.
  a.m_lan.ProcessUserLockRequest({"PC3", 9, 42});
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.GrantedLocks().empty(); }));
  // A grant for another table and key does not satisfy a wait.
  ASSERT_TRUE(Take(b, 9, 43));
  ASSERT_TRUE(Take(a, 9, 45));
  c.BeginWait(9, 45);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  a.m_lan.ProcessUserLockRequest({"PC4", 9, 44});
  Settle();
  EXPECT_FALSE(c.m_lan.TakeGrantFromLockManager());
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC3", 9, 43}, {"PC2", 9, 45}}));
  c.EndWait();
}

TEST_F(LockManagerTest, ChangesAreAnnouncedAsRefreshFlags) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(3));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  stCopy& c = Of(4);
  // The rewritten header at 4096 stands for the record; 2048 is another.
  b.m_lan.SendDataModified(6, 100, 4096, {2048, 4096});
  ASSERT_TRUE(PumpUntil([&] {
    return a.m_engine.RefreshState().Notices().size() == 2 &&
           c.m_engine.RefreshState().Notices().size() == 2;
  }));
  EXPECT_EQ(a.m_engine.RefreshState().Notices(),
            (std::vector<stRefreshFlag>{{3, 254, 2048}, {3, 254, 4096}}));
  EXPECT_GE(a.m_nRefreshRequests, 1);
  EXPECT_TRUE(b.m_engine.RefreshState().Notices().empty());
  // A new record's header is not among the changed ones: both notices go.
  b.m_lan.SendDataModified(8, 0x02000001, 8192, {1024});
  ASSERT_TRUE(PumpUntil([&] { return a.m_engine.RefreshState().Notices().size() == 4; }));
  EXPECT_EQ(a.m_engine.RefreshState().Notices()[2], (stRefreshFlag{3, 254, 1024}));
  EXPECT_EQ(a.m_engine.RefreshState().Notices()[3], (stRefreshFlag{3, 8, 0x02000001}));
}

TEST_F(LockManagerTest, PingAndAutoTest) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(2));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  b.m_lan.Server()->Broadcast(TEST_PING);
  ASSERT_TRUE(PumpUntil([&] { return m_ui.SawText("Received test ping"); }));
  b.m_lan.Server()->Broadcast(AUTO_TEST);
  b.m_lan.Server()->Broadcast(TEST_PING);
  ASSERT_TRUE(PumpUntil([&] { return m_ui.Messages().size() >= 2; }));
  EXPECT_EQ(a.m_poster.PostCount(MAINFRAME_AUTO_TEST), 0);
  a.m_lan.SetAutoTest(true);
  b.m_lan.Server()->Broadcast(AUTO_TEST);
  ASSERT_TRUE(PumpUntil([&] { return a.m_poster.PostCount(MAINFRAME_AUTO_TEST) == 1; }));
  EXPECT_EQ(b.m_lan.CreateMessage('M', 6, 1).substr(0, 10), "PC3:M:3:6:");
  CLockManager lonely;
  EXPECT_EQ(lonely.CreateMessage('M', 6, 1), "");
}

TEST_F(LockManagerTest, UserNumberZeroAndDisabledNetworking) {
  stCopy& z = Copy(2, {});
  stLanIdentity id = z.m_lan.Identity();
  id.m_sHostAddress = id.m_sListenAddress = StrFormat("127.%d.0.0", 200);
  z.m_lan.SetIdentity(id);
  std::vector<stUserListEntry> users;
  z.m_engine.m_nUserNumber = z.m_lan.InitializeUserList(users);
  EXPECT_EQ(z.m_engine.m_nUserNumber, 0);
  EXPECT_EQ(z.LogOn(), 0);
  EXPECT_TRUE(m_ui.SawText(
      "This computer's user number is 0 (address 127.200.0.0). A database can not be shared from "
      "an address that ends in 0."));
  EXPECT_EQ(z.m_lan.Server(), nullptr);
  AppSettings().nNetworkDisable = 1;
  stCopy& off = Copy(3, {2});
  EXPECT_EQ(off.LogOn(), 1);
  AppSettings().nNetworkDisable = 0;
  EXPECT_EQ(off.m_lan.Server(), nullptr);
  EXPECT_FALSE(off.m_lan.LockMngrOnLine());
}

TEST_F(LockManagerTest, UserListIsSortedWithNumbersFromAddressesOrPositions) {
  const std::string sList = m_folder.File("Kelvo.usr");
  WriteComputerList(sList, {"ZED:10.0.0.9", "BRAVO", "ALPHA:10.0.0.7"});
  stLanIdentity id;
  id.m_sComputerName = "ME";
  id.m_sHostAddress = id.m_sListenAddress = "10.0.0.4";
  id.m_sComputerListPath = sList;
  std::vector<stUserListEntry> users;
  EXPECT_EQ(BuildUserList(id, users), 4);
  ASSERT_EQ(users.size(), 4u);
  EXPECT_EQ(users[0].m_sName, "ALPHA");
  EXPECT_EQ(users[0].m_nUserNumber, 7);
  EXPECT_EQ(users[1].m_sName, "BRAVO");
  EXPECT_EQ(users[1].m_nUserNumber, 1 + 4 + 1);  // position + own number + 1
  EXPECT_EQ(users[2].m_sName, "ME");
  EXPECT_EQ(users[2].m_nUserNumber, 4);
  EXPECT_EQ(users[3].m_nNameCheck, GetCRC("ZED"));
}

TEST_F(LockManagerTest, ACopyKilledWhileHoldingALockReleasesIt) {
  stCopy& a = Copy(2, {3, 4});
  stCopy& c = Copy(4, {2, 3});
  const std::string sListB = m_folder.File("KelvoB.usr");
  WriteList(sListB, m_range, {2, 4});
  const stLanIdentity idB = MakeIdentity(m_range, 3, sListB);
  ASSERT_EQ(a.LogOn(), 1);
  ASSERT_EQ(c.LogOn(), 1);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child copy logs on, takes the record and tells the parent.
    close(fds[0]);
    CTestUi ui;
    stCopy b;
    b.Setup(idB);
    if (b.LogOn() != 1) _exit(1);
    b.BeginWait(6, 100);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!b.m_lan.TakeGrantFromLockManager() && std::chrono::steady_clock::now() < deadline) {
      b.m_lan.OnMessage();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (write(fds[1], "G", 1) != 1) _exit(1);
    for (;;) {
      b.m_lan.OnMessage();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  close(fds[1]);
  char cByte = 0;
  ASSERT_TRUE(PumpUntil([&] {
    pollfd fd{fds[0], POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && read(fds[0], &cByte, 1) == 1;
  }));
  close(fds[0]);
  ASSERT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC3", 6, 100}}));
  c.BeginWait(6, 100);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(Granted(c));
  c.EndWait();
  EXPECT_EQ(a.m_lan.GrantedLocks(), (std::vector<stLockSpec>{{"PC4", 6, 100}}));
  EXPECT_EQ(a.m_lan.IsOnline("PC3"), 0);
  ASSERT_TRUE(PumpUntil([&] { return c.m_lan.IsOnline("PC3") == 0; }));
  EXPECT_EQ(a.m_engine.CountOnLine(), 2u);
}

TEST_F(LockManagerTest, UserListDialogShowsAndGuardsTheNetworkSettings) {
  AppSettings().sLanServerPort = m_range.Port();
  AppSettings().sLanServerAddress = m_range.Address(2);
  stCopy& a = Copy(2, {3, 4});
  stCopy& b = Copy(3, {2, 4});
  ASSERT_EQ(a.LogOn(), 1);
  ASSERT_EQ(b.LogOn(), 1);
  ASSERT_TRUE(PumpUntil([&] { return a.m_engine.CountOnLine() == 2; }));
  CUserListModel model(&a.m_lan);
  EXPECT_EQ(model.HeaderText(), "Lock manager: PC2");
  EXPECT_EQ(model.ListLines(), (std::vector<std::string>{"PC3:" + m_range.Address(3) + " on-line",
                                                         "PC4:" + m_range.Address(4) + " off-line"}));
  EXPECT_EQ(model.AddressText(), "This IP address: " + m_range.Address(2));
  EXPECT_EQ(model.PortText(), "Port: " + m_range.Port());
  // Two users on line: nothing may change under the other copy.
  EXPECT_EQ(model.ChangePort(), 0);
  EXPECT_EQ(model.ChangeAddress(), 0);
  EXPECT_EQ(model.ResetComputerList(), 0);
  EXPECT_TRUE(m_ui.SawText("Can't change port while other users on-line."));
  EXPECT_TRUE(m_ui.SawText("Can't change address while other users on-line."));
  EXPECT_TRUE(m_ui.SawText("Can't reset computer list while other users on-line."));
  EXPECT_EQ(AppSettings().sLanServerPort, m_range.Port());
  EXPECT_EQ(a.m_lan.Server()->Port(), std::stoi(m_range.Port()));

  // Alone, a new address restarts the server there.
  b.m_lan.EndLanServer();
  ASSERT_TRUE(PumpUntil([&] { return a.m_engine.CountOnLine() == 1; }));
  m_ui.QueueInput(m_range.Address(12));
  EXPECT_EQ(model.ChangeAddress(), 1);
  ASSERT_NE(a.m_lan.Server(), nullptr);
  EXPECT_EQ(a.m_lan.Server()->ListenAddress(), m_range.Address(12));
  EXPECT_EQ(AppSettings().sLanServerAddress, m_range.Address(12));

  EXPECT_EQ(model.SaveComputerListText("pc3:10.0.0.3\r\n\n  PC7  \n"), 1);
  EXPECT_EQ(model.ComputerListText(), "PC3:10.0.0.3\nPC7\n");
  EXPECT_NE(model.AdapterListText().find("IP Address: 127.0.0.1\n"), std::string::npos);

  CUserListModel none(nullptr);
  EXPECT_EQ(none.HeaderText(), "File sharing off");
  AppSettings().sLanServerPort.clear();
  EXPECT_EQ(none.PortText(), "DORVATCH selected port");
  AppSettings().sLanServerAddress.clear();
}

TEST_F(LockManagerTest, NoticesArrivingDuringARefreshWaitForTheNextOne) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(2));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  a.m_engine.RefreshState().BeginRefresh();
  b.m_lan.SendDataModified(6, 7, 2048, {2048});
  ASSERT_TRUE(PumpUntil([&] { return a.m_engine.RefreshState().IsRefreshOwed(); }));
  // The refresh under way does not see it, and cannot clear it away.
  EXPECT_TRUE(a.m_engine.RefreshState().Notices().empty());
  a.m_lan.OnMessage();
  EXPECT_TRUE(a.m_engine.RefreshState().Notices().empty());
  a.m_engine.RefreshState().EndRefresh();
  // The next lock wait (the owed refresh's) finds it in the list.
  EXPECT_TRUE(a.m_engine.IsLockManagerOnLine());
  EXPECT_EQ(a.m_engine.RefreshState().Notices(), (std::vector<stRefreshFlag>{{3, 254, 2048}}));
}

TEST_F(LockManagerTest, NoticesHeldBackForAFileThatClosedAreDropped) {
  stCopy& a = Copy(2, {3});
  stCopy& b = Copy(3, {2});
  const std::string sPath = m_folder.File("HELD.dbm");
  ASSERT_EQ(a.m_engine.OpenDB(sPath, true), eOpenResult::Opened);
  ASSERT_EQ(a.LogOn(), 1);
  ASSERT_EQ(b.LogOn(), 1);
  ASSERT_TRUE(PumpUntil([&] { return a.m_engine.CountOnLine() == 2; }));
  // A refresh that ends by closing the file (its reload failed) held one back.
  a.m_engine.RefreshState().BeginRefresh();
  b.m_lan.SendDataModified(6, 7, 2048, {2048});
  ASSERT_TRUE(PumpUntil([&] { return a.m_engine.RefreshState().IsRefreshOwed(); }));
  a.m_engine.CloseDB();
  a.m_engine.RefreshState().EndRefresh();
  ASSERT_EQ(a.m_engine.OpenDB(sPath, false), eOpenResult::NotClosedProperly);
  // The next lock wait of the file opened now finds nothing of the old one.
  EXPECT_TRUE(a.m_engine.IsLockManagerOnLine());
  EXPECT_TRUE(a.m_engine.RefreshState().Notices().empty());
  a.m_engine.CloseDB();
}

// Closing the database ends what the lock manager knew of it: a lock granted
// and a request queued for the old file do not hold the next one.
TEST_F(LockManagerTest, TheListsEndWithTheServer) {
  ASSERT_NO_FATAL_FAILURE(AllOnLine(3));
  stCopy& a = Of(2);
  stCopy& b = Of(3);
  stCopy& c = Of(4);
  ASSERT_TRUE(Take(b, 6, 100));
  c.BeginWait(6, 100);
  ASSERT_TRUE(PumpUntil([&] { return a.m_lan.LockRequestQueue().size() == 1; }));
  a.m_lan.EndLanServer();
  EXPECT_TRUE(a.m_lan.GrantedLocks().empty());
  EXPECT_TRUE(a.m_lan.LockRequestQueue().empty());
  c.EndWait();
}

// A restart that the user gives up at the lock manager's warning leaves no
// server running.
TEST_F(LockManagerTest, ARestartGivenUpEndsTheServer) {
  stCopy& c = Copy(4, {2, 3});
  m_ui.QueueAnswer(IDNO);  // work alone
  ASSERT_EQ(c.LogOn(), 1);
  ASSERT_NE(c.m_lan.Server(), nullptr);
  m_ui.QueueAnswer(IDYES);  // abort this time
  EXPECT_EQ(c.m_lan.RestartLanServer(), 0);
  EXPECT_EQ(c.m_lan.Server(), nullptr);
  EXPECT_EQ(c.m_engine.LockManagerLink(), nullptr);
}

// The user list's actions report what failed instead of reporting success.
TEST_F(LockManagerTest, UserListFailuresAreReported) {
  stCopy& a = Copy(2, {3});
  CUserListModel model(&a.m_lan);
  // A database open without sharing still has its (empty) lock manager line.
  EXPECT_EQ(model.HeaderText(), "Lock manager: ");
  AppSettings().sLanServerPort = "7000";
  m_ui.QueueInput("70000");
  EXPECT_EQ(model.ChangePort(), 0);
  EXPECT_TRUE(m_ui.SawText("70000 is not a port number. Enter 1 to 65535, or nothing for the selected port."));
  EXPECT_EQ(AppSettings().sLanServerPort, "7000");
  AppSettings().sLanServerPort.clear();

  stLanIdentity id = a.m_lan.Identity();
  id.m_sComputerListPath = m_folder.File("missing/Kelvo.usr");
  a.m_lan.SetIdentity(id);
  EXPECT_EQ(model.SaveComputerListText("PC3\n"), 0);
  EXPECT_TRUE(m_ui.SawText("Cannot write the computer list " + id.m_sComputerListPath + ": No such file or directory"));
  const auto fnShown = [&](const std::string& sStart) {
    const auto& sa = m_ui.Messages();
    return std::any_of(sa.begin(), sa.end(), [&](const std::string& s) { return s.rfind(sStart, 0) == 0; });
  };
  EXPECT_EQ(model.ResetComputerList(), 0);
  EXPECT_TRUE(fnShown("Cannot write the computer list " + id.m_sComputerListPath + ": "));
  // A list that can not be deleted (a folder stands in its place).
  id.m_sComputerListPath = m_folder.File("folder.usr");
  MakeFolder(id.m_sComputerListPath);
  MakeFolder(id.m_sComputerListPath + "/inside");
  a.m_lan.SetIdentity(id);
  EXPECT_EQ(model.ResetComputerList(), 0);
  EXPECT_TRUE(fnShown("Cannot delete the computer list " + id.m_sComputerListPath + ": "));
}
